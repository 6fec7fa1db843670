#include "Platform/Deployment.h"

#include <QDir>
#include <QFileInfo>
#include <QtGlobal>

namespace Deployment {

namespace {
QUrl normalised(QUrl url)
{
    QString path = url.path();
    while (path.endsWith(QLatin1Char('/')))
        path.chop(1);
    url.setPath(path);
    return url;
}
} // namespace

bool isWebAddress(const QUrl &url)
{
    const QString scheme = url.scheme();
    return url.isValid() && !url.host().isEmpty()
        && (scheme == QLatin1String("http") || scheme == QLatin1String("https"));
}

QUrl resolve(const char *envName, const char *fallback)
{
    const QString fromEnv = qEnvironmentVariable(envName).trimmed();
    if (!fromEnv.isEmpty()) {
        const QUrl url(fromEnv, QUrl::StrictMode);
        if (isWebAddress(url))
            return normalised(url);
        // A typo here would quietly send a test run or the local stack to the real
        // deployment: say so loudly.
        qWarning("%s is not an absolute http(s) address; using the built-in one", envName);
    }
    return normalised(QUrl(QString::fromUtf8(fallback)));
}

QUrl authorityURL() { return resolve("VANTLE_AUTHORITY_URL", VANTLE_DEFAULT_AUTHORITY_URL); }
QUrl identityURL() { return resolve("VANTLE_IDENTITY_URL", VANTLE_DEFAULT_IDENTITY_URL); }
QUrl ledgerURL() { return resolve("VANTLE_LEDGER_URL", VANTLE_DEFAULT_LEDGER_URL); }
QUrl contactsURL() { return resolve("VANTLE_CONTACTS_URL", VANTLE_DEFAULT_CONTACTS_URL); }
QUrl analyticsURL() { return resolve("VANTLE_ANALYTICS_URL", VANTLE_DEFAULT_ANALYTICS_URL); }
QUrl webURL() { return resolve("VANTLE_WEB_URL", VANTLE_DEFAULT_WEB_URL); }

QString analyticsKey()
{
    const QString fromEnv = qEnvironmentVariable("VANTLE_ANALYTICS_KEY").trimmed();
    return fromEnv.isEmpty() ? QStringLiteral(VANTLE_DEFAULT_ANALYTICS_KEY) : fromEnv;
}

QString launcher(const QString &ownExecutable)
{
    const QString named = qEnvironmentVariable("VANTLE_LAUNCHER");
    const QFileInfo program(named);
    // Written into a file the desktop runs at every login: only a program that is there to
    // run, never a path that depends on the folder the application happened to start in.
    if (!named.isEmpty() && QDir::isAbsolutePath(named) && program.isFile() && program.isExecutable())
        return named;
    return ownExecutable;
}

QString buildVersion()
{
    const QString v = QStringLiteral(VANTLE_BUILD_VERSION);
    return v.isEmpty() ? QStringLiteral("0.1.0") : v;
}

} // namespace Deployment
