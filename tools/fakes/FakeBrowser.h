#pragma once

#include <QList>
#include <QNetworkAccessManager>
#include <QObject>
#include <QUrl>

#include <functional>

namespace Fakes {

// The person's browser, for as long as it lives: every http(s) address the
// application opens (QDesktopServices::openUrl) comes here. Following a page means
// requesting it, reading the authority's redirect and handing the "vantle://"
// address back to the application on a later turn of the event loop, as the
// desktop would after the browser left the page.
class FakeBrowser final : public QObject {
    Q_OBJECT
public:
    enum class Mode {
        follow,          // the person signs in
        ignore,          // the tab is left open (or closed): nothing comes back
        tamperState,     // the redirect comes back with another state
        returnError,     // the person refuses on the sign-in page
        foreignRedirect, // something else comes back: the same query to another host
    };
    // The application's entry for redirect URLs; answers whether the URL was taken.
    using ResumeHandler = std::function<bool(const QUrl &url)>;

    explicit FakeBrowser(ResumeHandler resume, QObject *parent = nullptr);
    ~FakeBrowser() override;

    void setMode(Mode mode) { m_mode = mode; }
    void setResumeHandler(ResumeHandler resume) { m_resume = std::move(resume); }

    QList<QUrl> openedUrls() const { return m_opened; }
    // What was handed back, and the application's answers, in order.
    QList<QUrl> returnedUrls() const { return m_returned; }
    QList<bool> resumeAnswers() const { return m_answers; }

public Q_SLOTS:
    // Called by QDesktopServices for every http and https address opened.
    void openUrl(const QUrl &url);

private:
    void handBack(QUrl redirect);

    ResumeHandler m_resume;
    Mode m_mode = Mode::follow;
    QNetworkAccessManager m_network;
    QList<QUrl> m_opened;
    QList<QUrl> m_returned;
    QList<bool> m_answers;
};

} // namespace Fakes
