#pragma once

#include "OrvalenAccount/DPoPSigner.h"
#include "OrvalenAccount/Internal/OneShotContinuation.h"
#include "OrvalenAccount/LibVersionPolicy.h"
#include "OrvalenAccount/OAuthDriver.h"
#include "OrvalenAccount/OasResponse.h"
#include "OrvalenAccount/OrvalenAccount.h"
#include "OrvalenAccount/OrvalenAccountState.h"
#include "OrvalenAccount/OrvalenAccountStateSubscription.h"
#include "OrvalenAccount/OrvalenConfig.h"
#include "OrvalenAccount/OrvalenDeprecationNotice.h"
#include "OrvalenAccount/StoredSession.h"
#include "Platform/Keychain.h"

#include <QCoro/QCoroTask>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QUuid>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

class AppleIDAuthorizer;
class AuthClient;
class KeychainStorage;
class Preferences;
class QWindow;

// The one handle on the signed-in account. Owns the session store, the device key, the
// identity client and the OAuth driver; publishes the sign-in state (as properties and
// to registered handlers) and runs the interactive sign-in, the launch restore and the
// sign-out. Lives on the GUI thread: every state change and handler call happens there.
//
// Only one interactive sign-in is pending at a time. Starting another, cancelling, or
// signing out ends the pending one as cancelled, and a sign-in that has been ended this
// way never publishes or stores anything afterwards, whatever its requests still bring.
// Cancelling reaches a browser sign-in only until the browser has handed the code back:
// from then on the person has signed in, and the code exchange runs to its end.
class OrvalenAccountManager final : public QObject {
    Q_OBJECT
    Q_PROPERTY(OrvalenAccountState state READ state NOTIFY stateChanged)
    Q_PROPERTY(bool isOffline READ isOffline NOTIFY isOfflineChanged)
    Q_PROPERTY(std::optional<bool> lastAppleSignInIsNewUser READ lastAppleSignInIsNewUser NOTIFY
                   lastAppleSignInIsNewUserChanged)
    Q_PROPERTY(std::optional<LibVersionPolicy> libVersionPolicy READ libVersionPolicy NOTIFY libVersionPolicyChanged)
    Q_PROPERTY(std::optional<OrvalenDeprecationNotice> lastDeprecationNotice READ lastDeprecationNotice NOTIFY
                   lastDeprecationNoticeChanged)

public:
    using State = OrvalenAccountState;
    using StateSubscription = OrvalenAccountStateSubscription;
    using StateHandler = std::function<void(const State &state)>;
    using ProviderHint = OAuthDriver::ProviderHint;

    // The outcome of the launch restore.
    struct LaunchVerification {
        bool isSignedIn = false;
        std::optional<OrvalenAccount> account;
    };

    // What the manager is built over. The defaults are the system's; tests replace parts.
    struct Environment {
        std::shared_ptr<KeychainBackend> keychain;           // the session store's; null: the system keychain
        DPoPSigner::Environment dpop;                        // where the device key lives
        std::shared_ptr<AppleIDAuthorizer> appleAuthorizer;  // null: this system's, which always fails
        std::function<QDateTime()> now;                      // null: the system clock (UTC)
        std::shared_ptr<Preferences> preferences;            // null: Preferences::standard()
    };

    // Keeps a sign-out from revoking the session at the identity service while held (see
    // holdSession()); dropping the last hold lets the revoke go.
    using SessionHold = std::shared_ptr<const void>;

    // Digests (SHA-256, hexadecimal) of the session tokens signed out of whose keychain
    // item the keychain refused to delete; never a token itself.
    static inline const QString signedOutSessionsKey = QStringLiteral("orvalen.signed_out_sessions");

    explicit OrvalenAccountManager(OrvalenConfig config, QObject *parent = nullptr);
    OrvalenAccountManager(OrvalenConfig config, Environment environment, QObject *parent = nullptr);
    // A pending sign-in ends as cancelled for whoever awaits it.
    ~OrvalenAccountManager() override;

    // Published values; each notifies only when a write changes it.
    State state() const { return m_state; }
    bool isOffline() const { return m_isOffline; }
    std::optional<bool> lastAppleSignInIsNewUser() const { return m_lastAppleSignInIsNewUser; }
    std::optional<LibVersionPolicy> libVersionPolicy() const { return m_libVersionPolicy; }
    std::optional<OrvalenDeprecationNotice> lastDeprecationNotice() const { return m_lastDeprecationNotice; }

    // The effective configuration: the given one, with this installation's identifier
    // filled in when it had none.
    const OrvalenConfig &config() const { return m_config; }
    KeychainStorage &storage() const { return *m_storage; }
    OAuthDriver &oauthDriver() const { return *m_oauthDriver; }
    const std::shared_ptr<AuthClient> &authClient() const { return m_authClient; }
    const std::shared_ptr<DPoPSigner> &dpopSigner() const { return m_dpopSigner; }

    // The interactive sign-in. With the systemBrowser scheme the browser road is taken and
    // the window is not used; otherwise the in-app road over the window. Publishes
    // signingIn at once, then signedIn or failed. Throws OrvalenError; a superseded or
    // cancelled sign-in throws authorizationCancelled.
    QCoro::Task<OrvalenAccount> signIn(QWindow *window, std::optional<ProviderHint> provider,
                                       std::optional<QString> installID);
    QCoro::Task<OrvalenAccount> signInViaSystemBrowser(std::optional<ProviderHint> provider,
                                                       std::optional<QString> installID);
    QCoro::Task<OrvalenAccount> signInWithApple(QWindow *window, std::optional<QString> installID);

    // Hands a redirect to the pending OAuth flow: whether the flow took it.
    bool resume(const QUrl &url);
    // Ends the pending OAuth sign-in as cancelled (published as failed with
    // authorizationCancelled) while it waits for the authority: still discovering it, or
    // with its page open in the browser. False when none waits there: nothing pending,
    // the code already handed back and being exchanged, or Sign in with Apple.
    bool cancelSignIn();
    // Whether an interactive sign-in is pending.
    bool isSignInPending() const { return m_attempt.has_value(); }

    // Brings the application forward when the browser hands a sign-in back: the given
    // window, else the focused one, else the first visible window that can take focus,
    // else the first visible one; shown (restored when minimized), raised and activated.
    // Nothing happens when no window qualifies.
    static void activateForAuthReturn(QWindow *bringing);

    // Registers a handler and calls it once at once with the current state. The handler
    // is called on the GUI thread after every transition, as long as the subscription lives;
    // when a handler publishes a newer state meanwhile, the handlers not yet called hear
    // only that one, so that each ends on the current state.
    [[nodiscard]] StateSubscription onStateChange(StateHandler handler);

    // Restores the stored session, its expiry checked against the clock: one still valid
    // is published as signed in as it is, never refreshed early (`forceRefresh` asks for
    // that check, which every restore makes); an expired one is refreshed first, or
    // deleted when it has no refresh token. A definitive refusal of the refresh deletes
    // the session; any other refresh failure keeps the stored account signed in and marks
    // the manager offline. Nothing stored or readable: no change. Returns the restored
    // account. Throws OrvalenError when the refreshed session cannot be stored.
    QCoro::Task<std::optional<OrvalenAccount>> restore(bool forceRefresh);
    // The launch restore: restore(true) with every failure absorbed.
    QCoro::Task<LaunchVerification> reverifyOnLaunch();
    // Revokes the stored session at the identity service (a failure is absorbed), deletes
    // it, and publishes signedOut. Ends a pending sign-in. A sign-in begun meanwhile keeps
    // the session it stored; until it has stored one, signedOut is published all the same,
    // followed by signingIn while it runs. While the session is held (holdSession()), the
    // session is deleted and signedOut published at once, and the revoke waits until the
    // last hold is dropped. A session item the keychain refuses to delete (a locked keyring)
    // is remembered as signed out of, outside the keychain, and no later restore takes it
    // back. Never throws in practice.
    QCoro::Task<void> signOut();
    // Held by work that still presents the stored session's token on requests of its own
    // (the welcome step's consents), for as long as those requests run: a sign-out
    // meanwhile signs the person out at once but revokes the token only once the work is
    // done, so that what it sends is still recorded. GUI thread.
    [[nodiscard]] SessionHold holdSession();

    // The session as stored, from memory: the keychain item is read once (by the launch
    // restore, or by whoever asks first) and the copy follows every write and deletion the
    // manager makes, so that presenting the token never waits for the keychain. Nothing
    // when none is stored or it cannot be read. GUI thread.
    std::optional<StoredSession> storedSession() const;

    // A fresh DPoP proof for one request; nothing without a device key. Throws the
    // signer's OrvalenError.
    std::optional<QString> generateDPoPProof(const QUrl &htu, const QString &htm,
                                             const std::optional<QString> &accessToken) const;
    // The device key's JWK thumbprint; nothing without a device key.
    std::optional<QString> dpopThumbprint() const;

Q_SIGNALS:
    void stateChanged(const OrvalenAccountState &state);
    void isOfflineChanged(bool isOffline);
    void lastAppleSignInIsNewUserChanged(std::optional<bool> value);
    void libVersionPolicyChanged(const std::optional<LibVersionPolicy> &policy);
    void lastDeprecationNoticeChanged(const std::optional<OrvalenDeprecationNotice> &notice);

private:
    enum class Road { systemBrowser, inApp };

    // The pending interactive sign-in: its number, what its caller awaits, and whether it
    // still waits for the authority (the step cancelSignIn() can end).
    struct Attempt {
        quint64 generation = 0;
        OneShotContinuation<OrvalenAccount> outcome;
        bool awaitingAuthority = false;
    };

    // Ends a pending sign-in (cancelled, nothing published), publishes signingIn and
    // registers the new attempt.
    Attempt beginAttempt(bool awaitingAuthority);
    // Whether the pending attempt is still `generation`.
    bool isPending(quint64 generation) const { return m_attempt && m_attempt->generation == generation; }
    // The pending attempt if it is still `generation`, taken out; else nothing.
    std::optional<Attempt> takeAttempt(quint64 generation);
    // Ends the pending attempt, if any, as cancelled without publishing; stops the OAuth
    // flow it may have open. Moves the generation on.
    void abandonAttempt();
    void publishFailure(Attempt attempt, const OrvalenError &error);
    // Ends the attempt `generation`, if it is still pending, with the failure published
    // and thrown to its caller.
    void failAttempt(quint64 generation, std::exception_ptr failure);
    static OrvalenError mapSignInError(std::exception_ptr error);

    QCoro::Task<void> runOAuth(quint64 generation, Road road, QPointer<QWindow> window,
                               std::optional<ProviderHint> provider, std::optional<QString> installID);
    QCoro::Task<void> runApple(quint64 generation, QPointer<QWindow> window, std::optional<QString> installID);

    // Stores the session of a code exchange or refresh, then publishes signedIn with its
    // account. A failed write throws before any state change.
    OrvalenAccount complete(const OasResponse &exchange);
    void transition(const State &state);
    void handleDeprecationNotices(const QList<OrvalenDeprecationNotice> &notices);
    // Deletes the stored session. When the keychain refuses twice, the digests of `tokens`
    // (what the item may hold) are remembered as signed out of and the item is overwritten,
    // where the keychain lets it, with a mark no reader takes for a session; logged.
    static void endStoredSession(KeychainStorage &storage, Preferences &preferences, const QStringList &tokens);
    // The only ways the manager changes its session item; each keeps the copy in memory
    // the item's. A write that fails throws and leaves both as they were; a deletion the
    // keychain refuses leaves an item no restore takes back.
    void storeSession(const StoredSession &session);
    void deleteStoredSession();
    // The tokens the session item may hold: the one in memory and the one last read from or
    // written to the item (they differ after a refresh the keychain would not store).
    QStringList tokensOfStoredSession() const;
    // What the session item holds: nothing when no session, or one signed out of (or the
    // mark left for one), which is then `leftover`.
    struct ItemRead {
        std::optional<StoredSession> session;
        bool leftover = false;
    };
    ItemRead readSessionItem() const;
    // readSessionItem() into memory.
    ItemRead loadSessionItem() const;
    // Reads the item afresh into memory; a leftover of a sign-out is deleted now.
    std::optional<StoredSession> reloadStoredSession();
    Preferences &preferences() const;
    void releaseSessionHold();
    QDateTime now() const;

    void setIsOffline(bool value);
    void setLastAppleSignInIsNewUser(std::optional<bool> value);
    void setLibVersionPolicy(std::optional<LibVersionPolicy> value);
    void setLastDeprecationNotice(std::optional<OrvalenDeprecationNotice> value);

    State m_state;
    std::optional<LibVersionPolicy> m_libVersionPolicy;
    std::optional<OrvalenDeprecationNotice> m_lastDeprecationNotice;
    bool m_isOffline = false;
    std::optional<bool> m_lastAppleSignInIsNewUser;

    OrvalenConfig m_config;
    std::shared_ptr<KeychainStorage> m_storage;
    std::shared_ptr<DPoPSigner> m_dpopSigner;
    std::shared_ptr<AuthClient> m_authClient;
    OAuthDriver *m_oauthDriver = nullptr; // child
    std::shared_ptr<AppleIDAuthorizer> m_appleAuthorizer;
    OrvalenLogger m_logger;
    std::function<QDateTime()> m_now;

    // Guards the handler table only; handlers are called after it is released.
    mutable std::mutex m_lock;
    QHash<QUuid, StateHandler> m_stateChangeHandlers;

    std::shared_ptr<Preferences> m_preferences; // null: Preferences::standard()
    // The stored session as last read or written; unset until the item is first read.
    mutable std::optional<std::optional<StoredSession>> m_storedSession;
    // The token the session item was last read or written with.
    mutable std::optional<QString> m_itemToken;
    // Holds taken by holdSession() and not yet dropped, and the sign-outs waiting for none.
    int m_sessionHolds = 0;
    std::vector<OneShotContinuation<bool>> m_holdsReleased;

    // Moves on with every sign-in start, cancel and sign-out: work begun under an older
    // number has been overtaken and must not publish or store anything.
    quint64 m_generation = 0;
    std::optional<Attempt> m_attempt;
    // Counts transitions: one begun by a handler overtakes the one that called it.
    quint64 m_transitions = 0;
};
