#include "OrvalenAccount/OrvalenAccountManager.h"

#include "OrvalenAccount/Internal/AuthClient.h"
#include "OrvalenAccount/KeychainStorage.h"
#include "OrvalenAccount/OrvalenJSON.h"
#include "OrvalenAccount/OrvalenRedaction.h"
#include "OrvalenAccount/SignInWithAppleDriver.h"
#include "Platform/Preferences.h"
#include "Platform/SystemLog.h"

#include <QCryptographicHash>
#include <QGuiApplication>
#include <QMetaObject>
#include <QWindow>

#include <exception>
#include <utility>

namespace {

// What a session item the keychain would not delete is overwritten with, where it lets us.
const QByteArray signedOutMark = QByteArrayLiteral("{\"signed_out\":true}");

// How a session signed out of is remembered outside the keychain: never the token itself.
QString tokenDigest(const QString &oas)
{
    return QString::fromLatin1(QCryptographicHash::hash(oas.toUtf8(), QCryptographicHash::Sha256).toHex());
}

bool isGone(std::int32_t status)
{
    return status == KeychainStatus::success || status == KeychainStatus::itemNotFound;
}

// A refusal after which the stored refresh token is worth nothing.
bool isDefinitiveRefusal(const OrvalenError &error)
{
    if (error.is<OrvalenError::SessionExpired>())
        return true;
    const auto *server = error.as<OrvalenError::ServerError>();
    return server && server->code == QStringLiteral("invalid_grant");
}

void callHandler(const OrvalenAccountManager::StateHandler &handler, const OrvalenAccountState &state)
{
    // A handler's fault stays with the handler: the others still hear of the change.
    try {
        handler(state);
    } catch (...) {
    }
}

bool canTakeFocus(const QWindow *window)
{
    const Qt::WindowType type = window->type();
    return (type == Qt::Window || type == Qt::Dialog) && !(window->flags() & Qt::WindowDoesNotAcceptFocus);
}

} // namespace

OrvalenAccountManager::OrvalenAccountManager(OrvalenConfig config, QObject *parent)
    : OrvalenAccountManager(std::move(config), Environment{}, parent)
{
}

OrvalenAccountManager::OrvalenAccountManager(OrvalenConfig config, Environment environment, QObject *parent)
    : QObject(parent),
      m_config(config.installID ? std::move(config) : config.withAutoInstallID()),
      m_appleAuthorizer(std::move(environment.appleAuthorizer)),
      m_logger(m_config.logger),
      m_now(std::move(environment.now)),
      m_preferences(std::move(environment.preferences))
{
    m_storage = std::make_shared<KeychainStorage>(m_config.appSlug, m_config.keychainAccessGroup,
                                                  std::move(environment.keychain));
    try {
        m_dpopSigner = std::make_shared<DPoPSigner>(std::move(environment.dpop));
    } catch (...) {
        // Without a device key identity requests simply go unbound.
    }
    m_authClient = AuthClient::create(m_config, m_dpopSigner);
    m_oauthDriver = new OAuthDriver(m_config, this);

    QPointer<OrvalenAccountManager> self(this);
    m_authClient->onDeprecationNotice = [self](const QList<OrvalenDeprecationNotice> &notices) {
        if (self)
            self->handleDeprecationNotices(notices);
    };
    m_authClient->currentSessionProvider = [self]() -> std::optional<StoredSession> {
        return self ? self->storedSession() : std::nullopt;
    };
    m_authClient->onSessionRefreshed = [self](const QString &spentRefreshToken, const OasResponse &answer) {
        // Only the session that was refreshed is replaced: one rotated elsewhere, or
        // replaced by a new sign-in meanwhile, stays as it is.
        if (!self)
            return;
        const std::optional<StoredSession> stored = self->storedSession();
        if (!stored || !stored->refreshToken || *stored->refreshToken != spentRefreshToken)
            return;
        const StoredSession refreshed = StoredSession::from(answer, self->now());
        try {
            self->storeSession(refreshed);
        } catch (const std::exception &error) {
            // The refresh still counts, and the token it replaced is spent: every request
            // from now on presents the new one, kept in memory until the next launch, and
            // a sign-out revokes that one.
            self->m_storedSession = std::optional<StoredSession>(refreshed);
            SystemLog::write(SystemLogLevel::error, QStringLiteral("dev.orvalen.account"), QStringLiteral("session"),
                             QStringLiteral("session persist after refresh failed: ") + QString::fromUtf8(error.what()));
        }
    };
}

OrvalenAccountManager::~OrvalenAccountManager()
{
    if (std::optional<Attempt> attempt = std::exchange(m_attempt, std::nullopt))
        attempt->outcome.resumeThrowing(OrvalenError::authorizationCancelled());
    // Nothing can hold a session of a manager that is gone: its sign-outs revoke now.
    for (OneShotContinuation<bool> &waiting : std::exchange(m_holdsReleased, {}))
        waiting.resume(true);
}

QDateTime OrvalenAccountManager::now() const
{
    return m_now ? m_now() : QDateTime::currentDateTimeUtc();
}

// ---- published values ----------------------------------------------------------------

void OrvalenAccountManager::setIsOffline(bool value)
{
    if (m_isOffline == value)
        return;
    m_isOffline = value;
    Q_EMIT isOfflineChanged(value);
}

void OrvalenAccountManager::setLastAppleSignInIsNewUser(std::optional<bool> value)
{
    if (m_lastAppleSignInIsNewUser == value)
        return;
    m_lastAppleSignInIsNewUser = value;
    Q_EMIT lastAppleSignInIsNewUserChanged(value);
}

void OrvalenAccountManager::setLibVersionPolicy(std::optional<LibVersionPolicy> value)
{
    if (m_libVersionPolicy == value)
        return;
    m_libVersionPolicy = std::move(value);
    Q_EMIT libVersionPolicyChanged(m_libVersionPolicy);
}

void OrvalenAccountManager::setLastDeprecationNotice(std::optional<OrvalenDeprecationNotice> value)
{
    if (m_lastDeprecationNotice == value)
        return;
    m_lastDeprecationNotice = std::move(value);
    Q_EMIT lastDeprecationNoticeChanged(m_lastDeprecationNotice);
}

void OrvalenAccountManager::transition(const State &state)
{
    // A slot on stateChanged or a handler that cancels or signs out publishes a newer state
    // from inside this one, and everyone hears that one there: whoever is not yet told of
    // this older state must not hear it after that, or they would end on a state the
    // manager left. So this transition is counted before anyone hears of it.
    const quint64 mine = ++m_transitions;
    const State published = state;
    if (!(m_state == published)) {
        m_state = published;
        Q_EMIT stateChanged(m_state);
    }
    QList<StateHandler> handlers;
    {
        const std::lock_guard<std::mutex> guard(m_lock);
        handlers = m_stateChangeHandlers.values();
    }
    for (const StateHandler &handler : handlers) {
        if (m_transitions != mine)
            break;
        callHandler(handler, published);
    }
}

OrvalenAccountManager::StateSubscription OrvalenAccountManager::onStateChange(StateHandler handler)
{
    const QUuid id = QUuid::createUuid();
    {
        const std::lock_guard<std::mutex> guard(m_lock);
        m_stateChangeHandlers.insert(id, handler);
    }
    callHandler(handler, m_state);
    QPointer<OrvalenAccountManager> self(this);
    return StateSubscription([self, id]() {
        if (!self)
            return;
        const std::lock_guard<std::mutex> guard(self->m_lock);
        self->m_stateChangeHandlers.remove(id);
    });
}

void OrvalenAccountManager::handleDeprecationNotices(const QList<OrvalenDeprecationNotice> &notices)
{
    for (const OrvalenDeprecationNotice &notice : notices) {
        QMetaObject::invokeMethod(
            this,
            [this, notice]() {
                setLastDeprecationNotice(notice);
                if (const auto *client = notice.as<OrvalenDeprecationNotice::Client>()) {
                    LibVersionPolicy policy;
                    policy.minVersion = client->minVersion;
                    policy.currentVersion = client->currentVersion;
                    policy.reason = client->reason;
                    setLibVersionPolicy(policy);
                }
            },
            Qt::QueuedConnection);
    }
}

// ---- the pending sign-in ----------------------------------------------------------------

OrvalenAccountManager::Attempt OrvalenAccountManager::beginAttempt(bool awaitingAuthority)
{
    abandonAttempt();
    Attempt attempt{++m_generation, {}, awaitingAuthority};
    m_attempt = attempt;
    transition(State::signingIn(true));
    return attempt;
}

std::optional<OrvalenAccountManager::Attempt> OrvalenAccountManager::takeAttempt(quint64 generation)
{
    if (!isPending(generation))
        return std::nullopt;
    return std::exchange(m_attempt, std::nullopt);
}

void OrvalenAccountManager::abandonAttempt()
{
    ++m_generation;
    std::optional<Attempt> attempt = std::exchange(m_attempt, std::nullopt);
    if (!attempt)
        return;
    // Its browser page, if one is open, can no longer sign anyone in; one still being
    // discovered never opens.
    m_oauthDriver->cancelInFlight();
    m_oauthDriver->cancelDiscovery();
    attempt->outcome.resumeThrowing(OrvalenError::authorizationCancelled());
}

void OrvalenAccountManager::publishFailure(Attempt attempt, const OrvalenError &error)
{
    transition(State::failed(error));
    attempt.outcome.resumeThrowing(error);
}

void OrvalenAccountManager::failAttempt(quint64 generation, std::exception_ptr failure)
{
    if (std::optional<Attempt> attempt = takeAttempt(generation))
        publishFailure(std::move(*attempt), mapSignInError(std::move(failure)));
}

OrvalenError OrvalenAccountManager::mapSignInError(std::exception_ptr error)
{
    try {
        std::rethrow_exception(std::move(error));
    } catch (const OrvalenError &orvalen) {
        return orvalen;
    } catch (const std::exception &other) {
        return OrvalenError::authorizationFailed(QString::fromUtf8(other.what()));
    } catch (...) {
        return OrvalenError::authorizationFailed(QStringLiteral("unknown error"));
    }
}

bool OrvalenAccountManager::cancelSignIn()
{
    // Once the code is back the exchange finishes what the person did in the browser; a
    // cancel then (a settings window opening or closing, say) must not throw it away,
    // nor turn the signedIn being published into failed.
    if (!m_attempt || !m_attempt->awaitingAuthority)
        return false;
    std::optional<Attempt> attempt = std::exchange(m_attempt, std::nullopt);
    ++m_generation;
    m_oauthDriver->cancelInFlight();
    m_oauthDriver->cancelDiscovery();
    publishFailure(std::move(*attempt), OrvalenError::authorizationCancelled());
    return true;
}

bool OrvalenAccountManager::resume(const QUrl &url)
{
    return m_oauthDriver->resume(url);
}

// ---- sign-in roads -------------------------------------------------------------------

QCoro::Task<OrvalenAccount> OrvalenAccountManager::signIn(QWindow *window, std::optional<ProviderHint> provider,
                                                          std::optional<QString> installID)
{
    const Road road = m_config.preferredScheme == AuthScheme::systemBrowser ? Road::systemBrowser : Road::inApp;
    const Attempt attempt = beginAttempt(true);
    QCoro::Task<void> running = runOAuth(attempt.generation, road, QPointer<QWindow>(window), provider, installID);
    Q_UNUSED(running) // runs on by itself; its outcome arrives through the attempt
    co_return co_await attempt.outcome;
}

QCoro::Task<OrvalenAccount> OrvalenAccountManager::signInViaSystemBrowser(std::optional<ProviderHint> provider,
                                                                          std::optional<QString> installID)
{
    const Attempt attempt = beginAttempt(true);
    QCoro::Task<void> running = runOAuth(attempt.generation, Road::systemBrowser, nullptr, provider, installID);
    Q_UNUSED(running)
    co_return co_await attempt.outcome;
}

QCoro::Task<OrvalenAccount> OrvalenAccountManager::signInWithApple(QWindow *window, std::optional<QString> installID)
{
    const Attempt attempt = beginAttempt(false);
    setLastAppleSignInIsNewUser(std::nullopt);
    QCoro::Task<void> running = runApple(attempt.generation, QPointer<QWindow>(window), installID);
    Q_UNUSED(running)
    co_return co_await attempt.outcome;
}

QCoro::Task<void> OrvalenAccountManager::runOAuth(quint64 generation, Road road, QPointer<QWindow> window,
                                                  std::optional<ProviderHint> provider,
                                                  std::optional<QString> installID)
{
    // A handler hearing signingIn may have ended this attempt already: then no browser
    // page may open for it.
    if (!isPending(generation))
        co_return;
    QPointer<OrvalenAccountManager> self(this);
    const std::shared_ptr<AuthClient> client = m_authClient;
    try {
        QCoro::Task<OAuthAuthorizationResult> authorizing = road == Road::systemBrowser
            ? m_oauthDriver->authorizeViaSystemBrowser(provider)
            : m_oauthDriver->authorize(window.data(), provider);
        const OAuthAuthorizationResult result = co_await std::move(authorizing);
        if (!self || !isPending(generation))
            co_return;
        m_attempt->awaitingAuthority = false;

        AuthClient::ExchangeBody body;
        body.app_slug = m_config.appSlug;
        body.code = result.authorizationCode;
        body.code_verifier = result.codeVerifier;
        body.redirect_uri = m_config.redirectURI.toString(QUrl::FullyEncoded);
        body.client_version = m_config.clientVersion;
        body.install_id = installID ? installID : m_config.installID;
        const QByteArray bytes = OrvalenJSON::serialize(body.toJson());

        const HTTPResponse response =
            co_await client->performWithAuthRecovery(AuthClient::exchangePath, QStringLiteral("POST"), bytes,
                                                     std::nullopt, true, IdentityRequestClass::steady);
        if (!self || !isPending(generation))
            co_return;
        client->mapStatusError(response, AuthClient::exchangePath);

        std::optional<OasResponse> answer;
        try {
            answer = OasResponse::fromJson(OrvalenJSON::parseObject(response.body));
        } catch (const std::exception &) {
        }
        if (!answer) {
            m_config.log(OrvalenLogLevel::error, QStringLiteral("request_decode_failed"),
                         OrvalenRedaction::decodeFailure(AuthClient::exchangePath, QStringLiteral("OasResponse")));
            throw OrvalenError::malformedResponse(QStringLiteral("OasResponse"));
        }
        const OrvalenAccount account = complete(*answer);
        // complete() has published signedIn; a handler may already have begun another sign-in.
        if (std::optional<Attempt> attempt = takeAttempt(generation))
            attempt->outcome.resume(account);
    } catch (...) {
        // A manager that is gone has ended its attempt already.
        if (self)
            failAttempt(generation, std::current_exception());
    }
}

QCoro::Task<void> OrvalenAccountManager::runApple(quint64 generation, QPointer<QWindow> window,
                                                  std::optional<QString> installID)
{
    // A handler hearing signingIn may have ended this attempt already: then no sheet
    // may open for it.
    if (!isPending(generation))
        co_return;
    QPointer<OrvalenAccountManager> self(this);
    const std::shared_ptr<AuthClient> client = m_authClient;
    try {
        // One driver per sign-in; it may go away while the sheet is open.
        auto driver = std::make_unique<SignInWithAppleDriver>(m_config, m_appleAuthorizer);
        QCoro::Task<SignInWithAppleDriver::AppleAuthorization> authorizing = driver->authorize(window.data());
        const SignInWithAppleDriver::AppleAuthorization authorization = co_await std::move(authorizing);
        if (!self || !isPending(generation))
            co_return;

        const AuthClient::AppleAuthcodeResponse answer =
            co_await client->exchangeAppleAuthCode(authorization.authorizationCode, authorization.identityToken,
                                                   installID);
        if (!self || !isPending(generation))
            co_return;
        if (!answer.oas || !answer.orvalen_account_id || !answer.email || !answer.expires_at)
            throw OrvalenError::authorizationFailed(QStringLiteral("apple_authcode_unavailable"));

        const OrvalenAccount account{OrvalenAccountID(*answer.orvalen_account_id), *answer.email, std::nullopt};
        StoredSession session;
        session.oas = *answer.oas;
        session.refreshToken = answer.refresh_token;
        session.expiresAt = *answer.expires_at;
        session.account = account;
        session.appSlug = m_config.appSlug;
        session.issuedAt = now();
        storeSession(session);

        std::optional<Attempt> attempt = takeAttempt(generation);
        if (!attempt)
            co_return;
        setIsOffline(false);
        setLastAppleSignInIsNewUser(answer.is_new_user);
        transition(State::signedIn(account));
        attempt->outcome.resume(account);
    } catch (...) {
        if (self)
            failAttempt(generation, std::current_exception());
    }
}

OrvalenAccount OrvalenAccountManager::complete(const OasResponse &exchange)
{
    storeSession(StoredSession::from(exchange, now()));
    const OrvalenAccount account{exchange.orvalenAccountId, exchange.email, std::nullopt};
    transition(State::signedIn(account));
    return account;
}

// ---- launch restore and sign-out --------------------------------------------------------

// ---- the session kept in memory -----------------------------------------------------------

Preferences &OrvalenAccountManager::preferences() const
{
    return m_preferences ? *m_preferences : Preferences::standard();
}

OrvalenAccountManager::ItemRead OrvalenAccountManager::readSessionItem() const
{
    ItemRead read;
    const std::optional<QByteArray> bytes = m_storage->getData(KeychainStorage::Keys::session);
    if (!bytes)
        return read;
    if (*bytes == signedOutMark) {
        read.leftover = true;
        return read;
    }
    try {
        read.session = StoredSession::fromJson(OrvalenJSON::parseObject(*bytes));
    } catch (const std::exception &) {
        return read;
    }
    if (preferences().stringListValue(signedOutSessionsKey).contains(tokenDigest(read.session->oas))) {
        read.session.reset();
        read.leftover = true;
    }
    return read;
}

OrvalenAccountManager::ItemRead OrvalenAccountManager::loadSessionItem() const
{
    ItemRead read = readSessionItem();
    m_storedSession = read.session;
    m_itemToken = read.session ? std::optional<QString>(read.session->oas) : std::nullopt;
    return read;
}

std::optional<StoredSession> OrvalenAccountManager::storedSession() const
{
    if (!m_storedSession)
        loadSessionItem();
    return *m_storedSession;
}

std::optional<StoredSession> OrvalenAccountManager::reloadStoredSession()
{
    const ItemRead read = loadSessionItem();
    // Signed out of while the keyring refused to let it go: it goes now, and is forgotten
    // once it is gone.
    if (read.leftover && isGone(m_storage->deleteItem(KeychainStorage::Keys::session)))
        preferences().remove(signedOutSessionsKey);
    return read.session;
}

void OrvalenAccountManager::storeSession(const StoredSession &session)
{
    m_storage->setJSON(session, KeychainStorage::Keys::session);
    m_storedSession = std::optional<StoredSession>(session);
    m_itemToken = session.oas;
    // The item holds this session now, and no session signed out of is left in it.
    preferences().remove(signedOutSessionsKey);
}

QStringList OrvalenAccountManager::tokensOfStoredSession() const
{
    QStringList tokens;
    if (const std::optional<StoredSession> stored = storedSession())
        tokens.append(stored->oas);
    if (m_itemToken && !tokens.contains(*m_itemToken))
        tokens.append(*m_itemToken);
    return tokens;
}

void OrvalenAccountManager::deleteStoredSession()
{
    endStoredSession(*m_storage, preferences(), tokensOfStoredSession());
    m_storedSession = std::optional<StoredSession>();
    m_itemToken.reset();
}

OrvalenAccountManager::SessionHold OrvalenAccountManager::holdSession()
{
    struct Hold {
        QPointer<OrvalenAccountManager> manager;
        ~Hold()
        {
            if (manager)
                manager->releaseSessionHold();
        }
    };
    ++m_sessionHolds;
    auto hold = std::make_shared<Hold>();
    hold->manager = this;
    return hold;
}

void OrvalenAccountManager::releaseSessionHold()
{
    if (--m_sessionHolds > 0)
        return;
    for (OneShotContinuation<bool> &waiting : std::exchange(m_holdsReleased, {}))
        waiting.resume(true);
}

QCoro::Task<std::optional<OrvalenAccount>> OrvalenAccountManager::restore(bool forceRefresh)
{
    QPointer<OrvalenAccountManager> self(this);
    const quint64 generation = m_generation;
    // The launch: the one read of the item that does not trust the copy in memory.
    const std::optional<StoredSession> stored = reloadStoredSession();
    if (!stored)
        co_return std::nullopt;

    Q_UNUSED(forceRefresh) // the expiry is always checked; a valid session is never refreshed early
    if (!stored->isExpired(now())) {
        transition(State::signedIn(stored->account));
        co_return std::optional<OrvalenAccount>(stored->account);
    }
    if (!stored->refreshToken) {
        deleteStoredSession();
        co_return std::nullopt;
    }

    const std::shared_ptr<AuthClient> client = m_authClient;
    std::optional<OasResponse> refreshed;
    std::optional<OrvalenError> refusal;
    try {
        refreshed = co_await client->refreshSerialized(*stored->refreshToken);
    } catch (const OrvalenError &error) {
        refusal = error;
    } catch (...) {
        refusal = OrvalenError::networkUnavailable();
    }
    // A sign-in or sign-out that began meanwhile decides the state, and the session.
    if (!self || m_generation != generation)
        co_return std::nullopt;

    if (refreshed) {
        setIsOffline(false);
        co_return std::optional<OrvalenAccount>(complete(*refreshed));
    }
    if (isDefinitiveRefusal(*refusal)) {
        deleteStoredSession();
        co_return std::nullopt;
    }
    setIsOffline(true);
    transition(State::signedIn(stored->account));
    co_return std::optional<OrvalenAccount>(stored->account);
}

QCoro::Task<OrvalenAccountManager::LaunchVerification> OrvalenAccountManager::reverifyOnLaunch()
{
    std::optional<OrvalenAccount> account;
    try {
        QCoro::Task<std::optional<OrvalenAccount>> restoring = restore(true);
        account = co_await std::move(restoring);
    } catch (...) {
        // Whatever failed, the launch goes on signed out.
    }
    LaunchVerification verification;
    verification.isSignedIn = account.has_value();
    verification.account = account;
    co_return verification;
}

QCoro::Task<void> OrvalenAccountManager::signOut()
{
    QPointer<OrvalenAccountManager> self(this);
    abandonAttempt();
    const quint64 generation = m_generation;
    const std::shared_ptr<AuthClient> client = m_authClient;
    const std::shared_ptr<KeychainStorage> storage = m_storage;
    const std::shared_ptr<Preferences> preferences = m_preferences;

    const std::optional<StoredSession> stored = storedSession();
    const QStringList tokens = tokensOfStoredSession();
    if (stored && m_sessionHolds > 0) {
        // Requests under way still present this session's token (the welcome step's
        // consents): the person is signed out here at once, and the identity service
        // hears of it once they are done, so that what they send is still recorded.
        deleteStoredSession();
        transition(State::signedOut());
        const OneShotContinuation<bool> released;
        m_holdsReleased.push_back(released);
        co_await released;
        try {
            co_await client->revokeSession(stored->oas);
        } catch (...) {
            // Signed out all the same.
        }
        co_return;
    }
    if (stored) {
        try {
            co_await client->revokeSession(stored->oas);
        } catch (...) {
            // The session ends here whatever the service said.
        }
    }

    if (!self) {
        // The manager is gone; its session goes all the same.
        endStoredSession(*storage, preferences ? *preferences : Preferences::standard(), tokens);
        co_return;
    }
    if (m_generation != generation) {
        // A sign-in began while the revoke was out: remove only the session revoked here,
        // never one that sign-in may have stored since.
        const std::optional<StoredSession> now = storedSession();
        if (now && (!stored || now->oas != stored->oas))
            co_return; // the newer sign-in has stored its session and published it
        if (now)
            deleteStoredSession();
        // Whoever mirrors the state would otherwise show the account signed out of until
        // that sign-in ends, and for good when it fails or is cancelled.
        transition(State::signedOut());
        if (m_attempt)
            transition(State::signingIn(true));
        co_return;
    }
    deleteStoredSession();
    transition(State::signedOut());
}

void OrvalenAccountManager::endStoredSession(KeychainStorage &storage, Preferences &preferences,
                                             const QStringList &tokens)
{
    const QString &key = KeychainStorage::Keys::session;
    std::int32_t status = storage.deleteItem(key);
    if (isGone(status))
        return;
    // Once more: a keyring that was busy or being unlocked may take it now.
    status = storage.deleteItem(key);
    if (isGone(status))
        return;
    // The item stays; it must never again be taken for a session, or the next launch would
    // restore the account signed out of without asking anyone. A locked keyring refuses
    // the overwrite below as it refused the delete, so what is signed out of is remembered
    // where no keyring can refuse it; the restore deletes the item once it can.
    QStringList digests = preferences.stringListValue(signedOutSessionsKey);
    for (const QString &token : tokens) {
        if (!digests.contains(tokenDigest(token)))
            digests.append(tokenDigest(token));
    }
    preferences.setValue(signedOutSessionsKey, digests);
    preferences.sync();
    QString outcome = QStringLiteral("overwritten");
    try {
        storage.setData(signedOutMark, key);
    } catch (const std::exception &) {
        outcome = QStringLiteral("left in place");
    }
    SystemLog::write(SystemLogLevel::error, QStringLiteral("dev.orvalen.account"), QStringLiteral("session"),
                     QStringLiteral("session delete after sign-out failed: %1; %2")
                         .arg(KeychainStatus::describe(status), outcome));
}

// ---- DPoP -------------------------------------------------------------------------------

std::optional<QString> OrvalenAccountManager::generateDPoPProof(const QUrl &htu, const QString &htm,
                                                                const std::optional<QString> &accessToken) const
{
    if (!m_dpopSigner)
        return std::nullopt;
    return m_dpopSigner->generateProof(htu, htm, accessToken);
}

std::optional<QString> OrvalenAccountManager::dpopThumbprint() const
{
    if (!m_dpopSigner)
        return std::nullopt;
    return m_dpopSigner->jktThumbprint();
}

// ---- bringing the application forward -------------------------------------------------------

void OrvalenAccountManager::activateForAuthReturn(QWindow *bringing)
{
    QWindow *chosen = bringing;
    if (!chosen)
        chosen = QGuiApplication::focusWindow();
    const QWindowList windows = QGuiApplication::topLevelWindows();
    if (!chosen) {
        for (QWindow *window : windows) {
            if (window->isVisible() && canTakeFocus(window)) {
                chosen = window;
                break;
            }
        }
    }
    if (!chosen) {
        for (QWindow *window : windows) {
            if (window->isVisible()) {
                chosen = window;
                break;
            }
        }
    }
    if (!chosen)
        return;
    if (chosen->windowStates() & Qt::WindowMinimized)
        chosen->showNormal();
    else if (!chosen->isVisible())
        chosen->show();
    chosen->raise();
    chosen->requestActivate();
}
