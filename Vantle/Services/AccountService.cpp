#include "Vantle/Services/AccountService.h"

#include "OrvalenAccount/Internal/HTTPTransport.h"
#include "OrvalenAccount/KeychainStorage.h"
#include "OrvalenAccount/OrvalenTransportError.h"
#include "Vantle/Services/AccountServiceError.h"
#include "Vantle/Services/DeviceService.h"
#include "Vantle/Services/DiagnosticUploader.h"
#include "Vantle/Services/OrvalenAccountBridge.h"
#include "Vantle/Utilities/Constants.h"
#include "Vantle/Utilities/Log.h"

#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QMetaObject>
#include <QThread>
#include <QWindow>

#include <cmath>
#include <limits>
#include <memory>
#include <utility>

namespace {

const QString appSlug = QStringLiteral("vantle");
// What the events say of this build, truthfully: it runs on Linux; every sign-in goes
// through the default browser; updates are offered by the application's own check of
// its update feed.
const QString platformName = QStringLiteral("linux");
const QString authTransport = QStringLiteral("system_browser");
const QString deliveryChannel = QStringLiteral("update_feed");

template <class... Ts>
struct Overloaded : Ts... {
    using Ts::operator()...;
};
template <class... Ts>
Overloaded(Ts...) -> Overloaded<Ts...>;

QString quoted(const QString &text)
{
    QString escaped = text;
    escaped.replace(QLatin1Char('\\'), QStringLiteral("\\\\")).replace(QLatin1Char('"'), QStringLiteral("\\\""));
    return QLatin1Char('"') + escaped + QLatin1Char('"');
}

QString quotedOrNil(const std::optional<QString> &text)
{
    return text ? quoted(*text) : QStringLiteral("nil");
}

std::optional<QJsonValue> toJson(const QVariant &value);

std::optional<QJsonObject> toJsonObject(const QVariantMap &map)
{
    QJsonObject object;
    for (auto it = map.constBegin(); it != map.constEnd(); ++it) {
        std::optional<QJsonValue> member = toJson(it.value());
        if (!member)
            return std::nullopt;
        object.insert(it.key(), *member);
    }
    return object;
}

// Only what JSON can say: null, booleans, finite numbers, text, lists and maps of these.
// A date, an address or raw bytes would be turned into text by Qt's own conversion, and
// the event would say something other than what the caller gave.
std::optional<QJsonValue> toJson(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::UnknownType:
    case QMetaType::Nullptr:
        return QJsonValue(QJsonValue::Null);
    case QMetaType::Bool:
        return QJsonValue(value.toBool());
    case QMetaType::Int:
    case QMetaType::Short:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::UShort:
    case QMetaType::ULong:
        return QJsonValue(value.toLongLong());
    case QMetaType::ULongLong: {
        const qulonglong number = value.toULongLong();
        if (number > static_cast<qulonglong>(std::numeric_limits<qint64>::max()))
            return std::nullopt;
        return QJsonValue(static_cast<qint64>(number));
    }
    case QMetaType::Double:
    case QMetaType::Float: {
        const double number = value.toDouble();
        if (!std::isfinite(number))
            return std::nullopt;
        return QJsonValue(number);
    }
    case QMetaType::QString:
        return QJsonValue(value.toString());
    case QMetaType::QStringList:
        return QJsonValue(QJsonArray::fromStringList(value.toStringList()));
    case QMetaType::QVariantList: {
        QJsonArray array;
        for (const QVariant &item : value.toList()) {
            std::optional<QJsonValue> converted = toJson(item);
            if (!converted)
                return std::nullopt;
            array.append(*converted);
        }
        return QJsonValue(array);
    }
    case QMetaType::QVariantMap: {
        std::optional<QJsonObject> object = toJsonObject(value.toMap());
        if (!object)
            return std::nullopt;
        return QJsonValue(*object);
    }
    case QMetaType::QVariantHash: {
        const QVariantHash hash = value.toHash();
        QVariantMap map;
        for (auto it = hash.constBegin(); it != hash.constEnd(); ++it)
            map.insert(it.key(), it.value());
        std::optional<QJsonObject> object = toJsonObject(map);
        if (!object)
            return std::nullopt;
        return QJsonValue(*object);
    }
    case QMetaType::QJsonValue:
        return value.toJsonValue();
    case QMetaType::QJsonObject:
        return QJsonValue(value.toJsonObject());
    case QMetaType::QJsonArray:
        return QJsonValue(value.toJsonArray());
    default:
        return std::nullopt;
    }
}

} // namespace

AccountService::AccountService(DeviceService *deviceService, QObject *parent)
    : AccountService(deviceService, Environment{}, parent)
{
}

AccountService::AccountService(DeviceService *deviceService, Environment environment, QObject *parent)
    : QObject(parent), m_deviceService(deviceService), m_environment(std::move(environment))
{
    if (!m_environment.track)
        m_environment.track = [](const QString &event, const Analytics::Properties &properties) {
            Analytics::track(event, properties);
        };
    if (!m_environment.identify)
        m_environment.identify = [](const QString &id) { Analytics::identify(id); };
    if (!m_environment.log) {
        m_environment.log = [log = Log(QStringLiteral("subscription"))](const QString &level, const QString &message) {
            log.emit(level, message);
        };
    }
    if (!m_environment.installID)
        m_environment.installID = [] { return Analytics::cachedInstallID(); };
    if (!m_environment.identityURL)
        m_environment.identityURL = [] { return Constants::Auth::identityURL(); };
}

AccountService::~AccountService() = default;

// ---- observable values --------------------------------------------------------------------

bool AccountService::isAuthenticated() const
{
    return !m_orvalenAccountID.isEmpty() && m_orvalenAccountID.startsWith(QStringLiteral("oa_"));
}

QString AccountService::accountDisplayName() const
{
    if (!m_accountEmail.isEmpty())
        return m_accountEmail;
    if (m_orvalenAccountID.isEmpty())
        return notSignedInText;
    if (m_orvalenAccountID.size() >= 14)
        return m_orvalenAccountID.left(9) + QStringLiteral("...") + m_orvalenAccountID.right(4);
    return m_orvalenAccountID;
}

template <typename Write>
void AccountService::changing(Write write)
{
    const bool wasAuthenticated = isAuthenticated();
    const QString previousName = accountDisplayName();
    write();
    if (isAuthenticated() != wasAuthenticated)
        Q_EMIT isAuthenticatedChanged(isAuthenticated());
    const QString name = accountDisplayName();
    if (name != previousName)
        Q_EMIT accountDisplayNameChanged(name);
}

void AccountService::setOrvalenAccountID(const QString &value)
{
    if (m_orvalenAccountID == value)
        return;
    m_orvalenAccountID = value;
    Q_EMIT orvalenAccountIDChanged(value);
}

void AccountService::setAccountEmail(const QString &value)
{
    if (m_accountEmail == value)
        return;
    m_accountEmail = value;
    Q_EMIT accountEmailChanged(value);
}

void AccountService::setIsAuthenticating(bool value)
{
    if (m_isAuthenticating == value)
        return;
    m_isAuthenticating = value;
    Q_EMIT isAuthenticatingChanged(value);
}

void AccountService::setDidCompleteLaunchRestore(bool value)
{
    if (m_didCompleteLaunchRestore == value)
        return;
    m_didCompleteLaunchRestore = value;
    Q_EMIT didCompleteLaunchRestoreChanged(value);
}

void AccountService::setLastSignInWasNewUser(bool value)
{
    if (m_lastSignInWasNewUser == value)
        return;
    m_lastSignInWasNewUser = value;
    Q_EMIT lastSignInWasNewUserChanged(value);
}

void AccountService::track(const QString &event, const Analytics::Properties &properties) const
{
    m_environment.track(event, properties);
}

void AccountService::identify(const QString &orvalenAccountID) const
{
    m_environment.identify(orvalenAccountID);
}

void AccountService::log(const QString &level, const QString &message) const
{
    m_environment.log(level, message);
}

// ---- the state mirror and the launch restore ------------------------------------------------

void AccountService::attach(OrvalenAccountBridge *bridge)
{
    m_bridge = bridge;
    Q_EMIT bridgeChanged(bridge);
    if (!bridge)
        return;
    connect(bridge, &QObject::destroyed, this, [this]() { Q_EMIT bridgeChanged(nullptr); });

    QPointer<AccountService> self(this);
    m_managerStateSubscription = bridge->manager()->onStateChange([self](const OrvalenAccountState &state) {
        if (!self)
            return;
        // Applied at once on the GUI thread: the sign-in's own continuation, which runs
        // right after the manager publishes, reads the mirrored identifier.
        if (QThread::currentThread() == self->thread()) {
            self->applyManagerState(state);
            return;
        }
        QMetaObject::invokeMethod(
            self.data(),
            [self, state]() {
                if (self)
                    self->applyManagerState(state);
            },
            Qt::QueuedConnection);
    });

    QCoro::Task<void> restoring = runLaunchRestore(self, QPointer<OrvalenAccountBridge>(bridge));
    Q_UNUSED(restoring) // runs on by itself
}

void AccountService::applyManagerState(const OrvalenAccountState &state)
{
    // Identifier and e-mail change together: the display name is notified once, with its
    // final value, never with a mix of the old account and the new one.
    changing([&] { applyManagerStateValues(state); });
}

void AccountService::applyManagerStateValues(const OrvalenAccountState &state)
{
    if (const auto *signingIn = state.as<OrvalenAccountState::SigningIn>()) {
        setIsAuthenticating(signingIn->pending);
    } else if (const OrvalenAccount *account = state.account()) {
        setIsAuthenticating(false);
        setOrvalenAccountID(account->orvalenAccountId.raw);
        setAccountEmail(account->emailPrimary);
    } else if (state.is<OrvalenAccountState::Failed>()) {
        setIsAuthenticating(false);
    } else {
        setOrvalenAccountID(QString());
        setAccountEmail(QString());
        setIsAuthenticating(false);
        setLastSignInWasNewUser(false);
    }
}

QCoro::Task<void> AccountService::runLaunchRestore(QPointer<AccountService> self, QPointer<OrvalenAccountBridge> bridge)
{
    if (bridge) {
        QCoro::Task<OrvalenAccountManager::LaunchVerification> verifying = bridge->manager()->reverifyOnLaunch();
        co_await std::move(verifying);
    }
    if (!self)
        co_return;
    if (self->isAuthenticated())
        self->identify(self->m_orvalenAccountID);
    self->setDidCompleteLaunchRestore(true);
}

// ---- sign-in, sign-out, reset ----------------------------------------------------------------

QWindow *AccountService::signInWindow()
{
    if (QWindow *focused = QGuiApplication::focusWindow())
        return focused;
    const QWindowList windows = QGuiApplication::topLevelWindows();
    for (QWindow *window : windows) {
        if (window->isVisible())
            return window;
    }
    return windows.isEmpty() ? nullptr : windows.first();
}

bool AccountService::extractIsNewUser(const OrvalenAccount &)
{
    // The account record says nothing about being new: every interactive sign-in may have
    // made a new account, and the first-run gate tells them apart by its own list.
    return true;
}

QString AccountService::friendlySignInError(std::exception_ptr error)
{
    QString description;
    try {
        std::rethrow_exception(std::move(error));
    } catch (const OrvalenError &orvalen) {
        if (orvalen.is<OrvalenError::SessionExpired>())
            return signInDidNotCompleteText;
        description = orvalen.message();
    } catch (const std::exception &other) {
        description = QString::fromUtf8(other.what());
    } catch (...) {
    }
    return description.isEmpty() ? signInDidNotCompleteText : description;
}

QString AccountService::errorCaseText(const OrvalenError &error)
{
    using E = OrvalenError;
    return std::visit(
        Overloaded{
            [](const E::ServerError &e) {
                return QStringLiteral("serverError(status: %1, code: %2)").arg(e.status).arg(quotedOrNil(e.code));
            },
            [](const E::MalformedResponse &e) {
                return QStringLiteral("malformedResponse(field: %1)").arg(quotedOrNil(e.field));
            },
            [](const E::AuthorizationFailed &e) {
                return QStringLiteral("authorizationFailed(reason: %1)").arg(quoted(e.reason));
            },
            [](const E::KeychainFailure &e) { return QStringLiteral("keychainFailure(status: %1)").arg(e.status); },
            [](const E::ClientKilled &e) {
                return QStringLiteral("clientKilled(replacement: %1)")
                    .arg(e.replacement ? quoted(e.replacement->toString()) : QStringLiteral("nil"));
            },
            [](const E::RequiresUpgrade &e) {
                return QStringLiteral("requiresUpgrade(minVersion: %1)").arg(quoted(e.minVersion));
            },
            [](const E::DpopUnavailable &e) {
                return QStringLiteral("dpopUnavailable(reason: %1)").arg(quoted(e.reason));
            },
            [](const E::NotSignedIn &) { return QStringLiteral("notSignedIn"); },
            [](const E::SessionExpired &) { return QStringLiteral("sessionExpired"); },
            [](const E::NetworkUnavailable &) { return QStringLiteral("networkUnavailable"); },
            [](const E::AuthorizationCancelled &) { return QStringLiteral("authorizationCancelled"); },
        },
        error.value());
}

QCoro::Task<SignInResult> AccountService::beginSignIn(std::optional<ProviderHint> provider)
{
    QPointer<AccountService> self(this);
    const QPointer<OrvalenAccountBridge> bridge = m_bridge;
    QWindow *window = signInWindow();
    if (!window || !bridge)
        co_return SignInResult::failed(AccountServiceError::unavailableText());

    const quint64 mine = ++m_signInsBegun;
    setIsAuthenticating(true);
    setLastSignInWasNewUser(false);
    const QString hint = provider ? toRaw(*provider) : QStringLiteral("none");
    const Analytics::Properties authProperties{
        {QStringLiteral("source"), QStringLiteral("orvalen_account")},
        {QStringLiteral("auth_transport"), authTransport},
        {QStringLiteral("provider_hint"), hint},
    };
    track(QStringLiteral("auth_started"), authProperties);

    std::optional<OrvalenAccount> account;
    std::exception_ptr failure;
    try {
        QCoro::Task<OrvalenAccount> signingIn = bridge->manager()->signIn(window, provider, std::nullopt);
        account = co_await std::move(signingIn);
    } catch (...) {
        failure = std::current_exception();
    }
    if (!self)
        co_return account ? SignInResult::success() : SignInResult::cancelled();

    if (account) {
        setLastSignInWasNewUser(extractIsNewUser(*account));
        // The manager published signedIn before its sign-in returned, and the mirror applied
        // it right then: the identifier is the new account's.
        identify(m_orvalenAccountID);
        track(QStringLiteral("auth_completed"), authProperties);
        track(QStringLiteral("sign_in_completed"), {{QStringLiteral("method"), QStringLiteral("orvalen_account")}});
        co_return SignInResult::success();
    }

    // A sign-in overtaken by a newer one leaves the busy flag to the newer one.
    if (mine == m_signInsBegun) {
        setIsAuthenticating(false);
        setLastSignInWasNewUser(false);
    }
    Analytics::Properties failedProperties{
        {QStringLiteral("auth_transport"), authTransport},
        {QStringLiteral("provider_hint"), hint},
    };
    try {
        std::rethrow_exception(failure);
    } catch (const OrvalenError &error) {
        if (error.is<OrvalenError::AuthorizationCancelled>()) {
            failedProperties.insert(QStringLiteral("error"), QStringLiteral("cancelled"));
            track(QStringLiteral("auth_failed"), failedProperties);
            log(QStringLiteral("info"), QStringLiteral("sign_in_cancelled provider=") + hint);
            co_return SignInResult::cancelled();
        }
        log(QStringLiteral("error"), QStringLiteral("sign_in_failed error=") + error.message());
        failedProperties.insert(QStringLiteral("error"), errorCaseText(error));
    } catch (const std::exception &error) {
        const QString description = QString::fromUtf8(error.what());
        log(QStringLiteral("error"), QStringLiteral("sign_in_failed error=") + description);
        failedProperties.insert(QStringLiteral("error"), description);
    } catch (...) {
        log(QStringLiteral("error"), QStringLiteral("sign_in_failed error="));
        failedProperties.insert(QStringLiteral("error"), QString());
    }
    track(QStringLiteral("auth_failed"), failedProperties);
    co_return SignInResult::failed(friendlySignInError(failure));
}

void AccountService::signOut()
{
    QCoro::Task<void> signingOut = runSignOut(QPointer<AccountService>(this), m_bridge, QStringLiteral("deactivate"));
    Q_UNUSED(signingOut) // runs on by itself
}

QCoro::Task<void> AccountService::runSignOut(QPointer<AccountService> self, QPointer<OrvalenAccountBridge> bridge,
                                             QString path)
{
    if (!bridge)
        co_return;
    std::optional<QString> failure;
    try {
        QCoro::Task<void> signingOut = bridge->manager()->signOut();
        co_await std::move(signingOut);
    } catch (const std::exception &error) {
        failure = QString::fromUtf8(error.what());
    } catch (...) {
        failure = QString();
    }
    if (failure && self)
        self->log(QStringLiteral("error"), QStringLiteral("sign_out_failed path=%1 error=").arg(path) + *failure);
}

QCoro::Task<void> AccountService::resetAndClearLocalData()
{
    QPointer<AccountService> self(this);
    const QPointer<OrvalenAccountBridge> bridge = m_bridge;
    const std::shared_ptr<KeychainBackend> keychain = m_environment.keychain;
    track(QStringLiteral("settings_reset_local_data"), {{QStringLiteral("app_slug"), appSlug}});

    QCoro::Task<void> signingOut = runSignOut(self, bridge, QStringLiteral("reset_and_clear"));
    co_await std::move(signingOut);

    // Whatever the sign-out did, the account layer's items go; each deletion on its own.
    KeychainStorage storage(appSlug, std::nullopt, keychain);
    for (const QString &key : {KeychainStorage::Keys::session, KeychainStorage::Keys::oidcAuthState,
                               KeychainStorage::Keys::dpopJwkThumbprint})
        storage.deleteData(key);
}

// ---- analytics ----------------------------------------------------------------------------

Analytics::Properties AccountService::analyticsContext() const
{
    return {
        {QStringLiteral("app"), appSlug},
        {QStringLiteral("app_slug"), appSlug},
        {QStringLiteral("platform"), platformName},
        {QStringLiteral("orvalen_account_id"), m_orvalenAccountID},
        {QStringLiteral("auth_state"), isAuthenticated() ? QStringLiteral("signed_in") : QStringLiteral("signed_out")},
    };
}

QVariantMap AccountService::appEventBody(const AppEventInput &input)
{
    QVariantMap merged = input.properties;
    for (auto it = input.context.constBegin(); it != input.context.constEnd(); ++it) {
        if (!merged.contains(it.key()))
            merged.insert(it.key(), it.value());
    }
    merged.insert(QStringLiteral("install_id"), input.installID);
    merged.insert(QStringLiteral("app"), appSlug);
    merged.insert(QStringLiteral("app_slug"), appSlug);
    merged.insert(QStringLiteral("platform"), platformName);
    merged.insert(QStringLiteral("version"), input.appVersion);
    merged.insert(QStringLiteral("app_version"), input.appVersion);
    merged.insert(QStringLiteral("install_channel"), QStringLiteral("direct"));
    merged.insert(QStringLiteral("delivery_channel"), deliveryChannel);
    merged.insert(QStringLiteral("device_id"), input.deviceId);
    if (input.accountID)
        merged.insert(QStringLiteral("orvalen_account_id"), *input.accountID);

    QString distinctID;
    const QVariant given = merged.value(QStringLiteral("distinct_id"));
    if (given.typeId() == QMetaType::QString)
        distinctID = given.toString();
    else if (input.accountID)
        distinctID = *input.accountID;
    else
        distinctID = QStringLiteral("dev_") + input.deviceId;

    QVariantMap body{
        {QStringLiteral("app_slug"), appSlug},
        {QStringLiteral("platform"), platformName},
        {QStringLiteral("event"), input.name},
        {QStringLiteral("distinct_id"), distinctID},
        {QStringLiteral("app_version"), input.appVersion},
        {QStringLiteral("install_channel"), QStringLiteral("direct")},
        {QStringLiteral("delivery_channel"), deliveryChannel},
        {QStringLiteral("install_id"), input.installID},
        {QStringLiteral("properties"), merged},
    };
    if (input.accountID)
        body.insert(QStringLiteral("orvalen_account_id"), *input.accountID);
    return body;
}

void AccountService::mirrorAppEvent(const QString &name, const Analytics::Properties &properties)
{
    std::optional<QString> token;
    if (m_bridge) {
        if (const auto session = m_bridge->currentSession())
            token = session->oas;
    }
    AppEventInput input;
    input.name = name;
    input.properties = properties;
    input.context = analyticsContext();
    input.deviceId = m_deviceService ? m_deviceService->currentDeviceId() : QString();
    input.appVersion = m_deviceService ? m_deviceService->appVersion() : Constants::version();
    input.installID = m_environment.installID();
    if (isAuthenticated())
        input.accountID = m_orvalenAccountID;

    QUrl url = m_environment.identityURL();
    url.setPath(url.path() + appEventsPath);
    QCoro::Task<void> posting =
        postAndForget(url.toString(), appEventBody(input), token, m_environment.network);
    Q_UNUSED(posting) // runs on by itself
}

QCoro::Task<void> AccountService::postAndForget(QString url, QVariantMap body, std::optional<QString> token,
                                                QNetworkAccessManager *network)
{
    try {
        QCoro::Task<QByteArray> posting = postJSON(url, body, token, network);
        co_await std::move(posting);
    } catch (...) {
        // A mirrored event is best effort: dropped, never retried or logged.
    }
}

QCoro::Task<QByteArray> AccountService::postJSON(QString urlString, QVariantMap body,
                                                 std::optional<QString> sessionToken, QNetworkAccessManager *network)
{
    const QUrl url(urlString, QUrl::StrictMode);
    const std::optional<QJsonObject> json = toJsonObject(body);
    if (!url.isValid() || url.isRelative() || url.host().isEmpty() || !json)
        throw AccountServiceError::unavailable();

    HTTPRequest request;
    request.method = QStringLiteral("POST");
    request.url = url;
    request.headers = {qMakePair(QByteArray("Accept"), QByteArray("application/json")),
                       qMakePair(QByteArray("Content-Type"), QByteArray("application/json"))};
    if (sessionToken && !sessionToken->isEmpty()) {
        request.headers.append(qMakePair(QByteArray("Authorization"), "Bearer " + sessionToken->toUtf8()));
        request.headers.append(qMakePair(QByteArray("X-Orvalen-App-Session"), sessionToken->toUtf8()));
    }
    request.body = QJsonDocument(*json).toJson(QJsonDocument::Compact);
    request.timeout = std::chrono::seconds(30);

    HTTPResponse response;
    try {
        response = co_await HTTPTransport::send(network, std::move(request));
    } catch (const OrvalenTransportError &error) {
        throw AccountServiceError::custom(error.description);
    } catch (const NonHTTPResponseError &) {
        throw AccountServiceError::unavailable();
    }
    if (response.isSuccess())
        co_return response.body;
    const std::optional<QString> text = DiagnosticUploader::parseError(response.body);
    if (text && !text->isEmpty())
        throw AccountServiceError::custom(*text);
    throw AccountServiceError::unavailable();
}
