#include "tools/fakes/FakeBrowser.h"

#include "tools/fakes/FakeAuthority.h"

#include <QDesktopServices>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QTimer>
#include <QUrlQuery>

namespace Fakes {

FakeBrowser::FakeBrowser(ResumeHandler resume, QObject *parent) : QObject(parent), m_resume(std::move(resume))
{
    QDesktopServices::setUrlHandler(QStringLiteral("http"), this, "openUrl");
    QDesktopServices::setUrlHandler(QStringLiteral("https"), this, "openUrl");
}

FakeBrowser::~FakeBrowser()
{
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
}

void FakeBrowser::openUrl(const QUrl &url)
{
    m_opened.append(url);
    if (m_mode == Mode::ignore)
        return;

    QUrl page = url;
    if (m_mode == Mode::returnError) {
        QString query = page.query(QUrl::FullyEncoded);
        query += QStringLiteral("&") + FakeAuthority::denyParameter + QStringLiteral("=deny");
        page.setQuery(query, QUrl::StrictMode);
    }
    QNetworkRequest request(page);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    QNetworkReply *reply = m_network.get(request);
    connect(reply, &QNetworkReply::finished, this, [this, reply]() {
        reply->deleteLater();
        const QByteArray location = reply->rawHeader("Location");
        if (location.isEmpty())
            return; // the authority showed an error page: nothing comes back
        handBack(QUrl::fromEncoded(location, QUrl::StrictMode));
    });
}

void FakeBrowser::handBack(QUrl redirect)
{
    if (m_mode == Mode::tamperState) {
        QUrlQuery query(redirect);
        query.removeAllQueryItems(QStringLiteral("state"));
        query.addQueryItem(QStringLiteral("state"), QStringLiteral("forged-state"));
        redirect.setQuery(query);
    } else if (m_mode == Mode::foreignRedirect) {
        redirect.setHost(QStringLiteral("elsewhere"));
    }
    QTimer::singleShot(0, this, [this, redirect]() {
        m_returned.append(redirect);
        m_answers.append(m_resume ? m_resume(redirect) : false);
    });
}

} // namespace Fakes
