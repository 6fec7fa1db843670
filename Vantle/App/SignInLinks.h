#pragma once

class OrvalenAccountManager;
class QUrl;

// Where the "vantle://" links that the browser hands back go.
namespace SignInLinks {

// Hands a sign-in link to the manager's pending sign-in, unless its state is another
// sign-in's (an old tab's, or a made-up one): that link is refused and the pending sign-in
// waits on for its own, where the account layer would end it as a mismatch. True when the
// sign-in took the link.
bool open(OrvalenAccountManager &manager, const QUrl &url);

} // namespace SignInLinks
