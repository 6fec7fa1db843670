#include "OrvalenAccount/OrvalenError.h"

#include <gtest/gtest.h>

namespace {

TEST(OrvalenError, Messages)
{
    const struct {
        OrvalenError error;
        const char *message; // UTF-8
    } cases[] = {
        {OrvalenError::serverError(500), "Server error (500)."},
        {OrvalenError::serverError(429, QStringLiteral("client_throttled")), "Server error (429 \u2014 client_throttled)."},
        {OrvalenError::serverError(-1, QString()), "Server error (-1 \u2014 )."},
        {OrvalenError::malformedResponse(), "Couldn't read the server response."},
        {OrvalenError::malformedResponse(QStringLiteral("OasResponse")), "Couldn't read the server response (OasResponse)."},
        {OrvalenError::authorizationFailed(QString()), "Sign-in failed: "},
        {OrvalenError::authorizationFailed(QStringLiteral("state mismatch")), "Sign-in failed: state mismatch"},
        {OrvalenError::keychainFailure(-25300), "Couldn't read your stored sign-in (-25300)."},
        {OrvalenError::keychainFailure(0), "Couldn't read your stored sign-in (0)."},
        {OrvalenError::keychainFailure(-2147483647 - 1), "Couldn't read your stored sign-in (-2147483648)."},
        {OrvalenError::clientKilled(), "This version is no longer supported. Please update."},
        {OrvalenError::clientKilled(QUrl(QStringLiteral("https://example.test/download"))),
         "This version is no longer supported. Please update."},
        {OrvalenError::requiresUpgrade(QStringLiteral("2.0")), "Please update to version 2.0 or later."},
        {OrvalenError::dpopUnavailable(QStringLiteral("no key")), "Device security key unavailable: no key"},
        {OrvalenError::notSignedIn(), "Sign in to continue."},
        {OrvalenError::sessionExpired(), "Your session expired. Please sign in again."},
        {OrvalenError::networkUnavailable(), "Can't reach the network. Try again."},
        {OrvalenError::authorizationCancelled(), "Sign-in was cancelled."},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(c.error.message(), QString::fromUtf8(c.message));
        EXPECT_STREQ(c.error.what(), c.message);
    }
}

TEST(OrvalenError, Equality)
{
    const OrvalenError errors[] = {
        OrvalenError::serverError(500),
        OrvalenError::serverError(500, QStringLiteral("x")),
        OrvalenError::serverError(501),
        OrvalenError::malformedResponse(),
        OrvalenError::malformedResponse(QString()),
        OrvalenError::clientKilled(),
        OrvalenError::clientKilled(QUrl(QStringLiteral("https://example.test"))),
        OrvalenError::authorizationFailed(QStringLiteral("a")),
        OrvalenError::dpopUnavailable(QStringLiteral("a")),
        OrvalenError::sessionExpired(),
        OrvalenError::notSignedIn(),
    };
    // Each differs from every other and equals a copy of itself.
    for (size_t i = 0; i < std::size(errors); ++i) {
        for (size_t j = 0; j < std::size(errors); ++j)
            EXPECT_EQ(errors[i] == errors[j], i == j) << i << " vs " << j;
        const OrvalenError copy = errors[i];
        EXPECT_EQ(copy, errors[i]);
    }
    EXPECT_EQ(OrvalenError::clientKilled(QUrl(QStringLiteral("https://example.test"))),
              OrvalenError::clientKilled(QUrl(QStringLiteral("https://example.test"))));
}

} // namespace
