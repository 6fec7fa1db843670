#include "Vantle/App/AppDelegate.h"

#include "Platform/Preferences.h"
#include "Vantle/Utilities/Log.h"

#include <QCoreApplication>
#include <QCoro/QCoroTimer>
#include <QElapsedTimer>
#include <QLockFile>
#include <QProcess>
#include <QUrlQuery>

#include <utility>

QPointer<AppDelegate> AppDelegate::s_shared;

namespace {

using namespace std::chrono_literals;

const Log &lifecycleLog()
{
    static const Log log(QStringLiteral("lifecycle"));
    return log;
}

const Log &authLog()
{
    static const Log log(QStringLiteral("auth"));
    return log;
}

bool isSignInHost(const QString &host)
{
    return host == QLatin1String("auth") || host == QLatin1String("auth-callback") || host == QLatin1String("signed-in");
}

bool hasValue(const QUrlQuery &query, const QString &key)
{
    return !query.queryItemValue(key).isEmpty();
}

} // namespace

AppDelegate::AppDelegate(QString runtimeDirectory, QObject *parent)
    : QObject(parent),
      m_instance(std::move(runtimeDirectory)),
      m_quit([]() { QCoreApplication::quit(); }),
      m_relaunchProgram(QCoreApplication::applicationFilePath())
{
    connect(&m_instance, &SingleInstance::argumentsReceived, this,
            [this](const QStringList &arguments) { receiveArguments(arguments, true); });
}

AppDelegate::~AppDelegate() = default;

AppDelegate *AppDelegate::shared()
{
    return s_shared.data();
}

QCoro::Task<AppDelegate::LaunchRole> AppDelegate::launch(QStringList arguments)
{
    QPointer<AppDelegate> self(this);
    try {
        Preferences &preferences = Preferences::standard();
        const bool relaunched = preferences.boolValue(resetRelaunchPendingKey);
        if (relaunched) {
            preferences.remove(resetRelaunchPendingKey);
            preferences.sync();
        }
        QElapsedTimer clock;
        clock.start();
        const auto waited = [&clock]() { return std::chrono::milliseconds(clock.elapsed()); };
        // A relaunched start only waits for the lock at first, then tries the
        // instance it finds like any other start.
        const auto patience = relaunched ? relaunchPatience + forwardPatience : forwardPatience;

        for (;;) {
            const SingleInstance::Claim claim = m_instance.tryClaim();
            if (claim != SingleInstance::Claim::taken) {
                becomeRunningInstance(arguments);
                co_return LaunchRole::primary;
            }
            // The old instance of a relaunch is on its way out: handing it our
            // arguments would leave nothing running once it is gone.
            if (!relaunched || waited() >= relaunchPatience) {
                // An instance still building itself reads late: wait for its answer
                // rather than send the links twice.
                const bool forwarded =
                    co_await SingleInstance::forward(m_instance.socketPath(), arguments, forwardPatience);
                if (!self)
                    co_return LaunchRole::failed;
                if (forwarded)
                    co_return LaunchRole::forwarded;
            }
            if (waited() >= patience) {
                lifecycleLog().emit(QStringLiteral("error"), QStringLiteral("single_instance_unreachable"));
                co_return LaunchRole::failed;
            }
            co_await QCoro::sleepFor(100ms);
            if (!self)
                co_return LaunchRole::failed;
        }
    } catch (...) {
        co_return LaunchRole::failed;
    }
}

void AppDelegate::adoptInstanceLock(std::unique_ptr<QLockFile> lock)
{
    m_instance.adopt(std::move(lock));
}

void AppDelegate::becomeRunningInstance(const QStringList &arguments)
{
    s_shared = this;
    receiveArguments(arguments, false);
}

void AppDelegate::receiveArguments(const QStringList &arguments, bool fromLaterStart)
{
    bool sawLink = false;
    for (const QString &argument : arguments) {
        const QUrl url(argument, QUrl::StrictMode);
        if (!url.isValid() || url.scheme().isEmpty() || url.isLocalFile())
            continue;
        sawLink = true;
        openUrl(url);
    }
    // Starting the application again while it runs means "show it to me".
    if (fromLaterStart && !sawLink)
        activate();
}

void AppDelegate::setUrlHandler(UrlHandler handler)
{
    m_urlHandler = std::move(handler);
    if (!m_urlHandler)
        return;
    const QList<QUrl> queued = std::exchange(m_queuedUrls, {});
    QPointer<AppDelegate> self(this);
    for (const QUrl &url : queued) {
        if (!self)
            return;
        openUrl(url);
    }
}

void AppDelegate::setActivationHandler(std::function<void()> activate)
{
    m_activate = std::move(activate);
}

void AppDelegate::activate()
{
    if (m_activate)
        m_activate();
}

AppDelegate::UrlOutcome AppDelegate::openUrl(const QUrl &url)
{
    if (url.scheme().compare(QLatin1String("vantle"), Qt::CaseInsensitive) != 0) {
        authLog().emit(QStringLiteral("warn"), QStringLiteral("url_refused reason=scheme"));
        return UrlOutcome::refused;
    }
    const QString host = url.host().toLower();
    if (!isSignInHost(host)) {
        authLog().emit(QStringLiteral("warn"), QStringLiteral("url_refused reason=unknown_host"));
        return UrlOutcome::refused;
    }
    activate();

    // Only the query's shape is checked here; whether the state is the pending
    // sign-in's is the account layer's to decide. A link without it would end the
    // pending sign-in as failed, so it never gets that far.
    const QUrlQuery query(url);
    if (!hasValue(query, QStringLiteral("state"))
        || (!hasValue(query, QStringLiteral("code")) && !hasValue(query, QStringLiteral("error")))) {
        authLog().emit(QStringLiteral("warn"), QStringLiteral("url_refused reason=incomplete host=%1").arg(host));
        return UrlOutcome::refused;
    }
    if (!m_urlHandler) {
        if (m_queuedUrls.size() >= maxQueuedUrls)
            m_queuedUrls.removeFirst();
        m_queuedUrls.append(url);
        return UrlOutcome::queued;
    }
    const bool taken = m_urlHandler(url);
    authLog().emit(QStringLiteral("info"),
                   QStringLiteral("%1 host=%2").arg(taken ? QStringLiteral("url_taken") : QStringLiteral("url_not_taken"), host));
    return taken ? UrlOutcome::taken : UrlOutcome::notTaken;
}

void AppDelegate::relaunchForReset()
{
    // Stored first: the new instance reads it to wait for this one to let go.
    Preferences &preferences = Preferences::standard();
    preferences.setValue(resetRelaunchPendingKey, true);
    preferences.sync();

    QProcess process;
    process.setProgram(m_relaunchProgram);
    process.setArguments({});
    if (process.startDetached()) {
        if (m_quit)
            m_quit();
        return;
    }
    lifecycleLog().emit(QStringLiteral("error"), QStringLiteral("reset relaunch failed domain=QProcess code=%1")
                                                     .arg(static_cast<int>(process.error())));
    // No relaunch is on its way: left behind, the mark would make the next start
    // wait for this instance to quit instead of showing it at once.
    preferences.remove(resetRelaunchPendingKey);
    preferences.sync();
}
