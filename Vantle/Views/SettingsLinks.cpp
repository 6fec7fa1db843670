#include "Vantle/Views/SettingsLinks.h"

#include "Platform/Deployment.h"

#include <QUrlQuery>

namespace SettingsLinks {

namespace {
QUrl page(const QString &path)
{
    QUrl url = site();
    url.setPath(url.path() + path);
    return url;
}
} // namespace

QUrl site() { return Deployment::webURL(); }

QUrl accountPage() { return page(QStringLiteral("/account")); }

QUrl privacyPolicy() { return page(QStringLiteral("/privacy/vantle")); }

QUrl termsOfService() { return page(QStringLiteral("/terms/vantle")); }

QUrl support()
{
    QUrl url = page(QStringLiteral("/contact"));
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("app"), QStringLiteral("vantle"));
    url.setQuery(query);
    return url;
}

QUrl errorReportsPrivacy()
{
    QUrl url = page(QStringLiteral("/privacy"));
    url.setFragment(QStringLiteral("error-reports"));
    return url;
}

} // namespace SettingsLinks
