#include "Platform/UpdaterConfiguration.h"

#include "Platform/Deployment.h"

#include <QUrl>
#include <QtGlobal>

namespace UpdaterConfiguration {

namespace {

QString feedURL()
{
    const QString fromEnv = qEnvironmentVariable("VANTLE_UPDATE_FEED_URL").trimmed();
    if (!fromEnv.isEmpty()) {
        if (Deployment::isWebAddress(QUrl(fromEnv, QUrl::StrictMode)))
            return fromEnv;
        // Same rule as the service addresses: a typo must not quietly send a test run or
        // the local stack to the real feed.
        qWarning("VANTLE_UPDATE_FEED_URL is not an absolute http(s) address; using the built-in one");
    }
    return QStringLiteral(VANTLE_DEFAULT_UPDATE_FEED_URL);
}

QString publicKey()
{
    const QString fromEnv = qEnvironmentVariable("VANTLE_UPDATE_PUBLIC_KEY");
    if (!fromEnv.trimmed().isEmpty())
        return fromEnv;
    return QStringLiteral(VANTLE_DEFAULT_UPDATE_PUBLIC_KEY);
}

} // namespace

QVariantMap infoDictionary()
{
    return {
        {feedURLKey, feedURL()},
        {publicKeyKey, publicKey()},
    };
}

} // namespace UpdaterConfiguration
