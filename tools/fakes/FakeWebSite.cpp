#include "tools/fakes/FakeWebSite.h"

namespace Fakes {

FakeWebSite::FakeWebSite(QObject *parent) : FakeService(parent)
{
    const auto get = QStringLiteral("GET");
    on(get, accountPath,
       page(QStringLiteral("Your Orvalen account"),
            {QStringLiteral("On the real site, this page lists the devices signed in to your account, where you can "
                            "sign one out; it lets you download a copy of your data, and delete your account with "
                            "everything it holds.")}));
    on(get, QStringLiteral("/privacy/vantle"),
       page(QStringLiteral("Vantle Privacy Policy"),
            {QStringLiteral("On the real site, this page is Vantle's privacy policy: what Vantle collects, why, how "
                            "long it is kept, and how to have it deleted.")}));
    on(get, QStringLiteral("/terms/vantle"),
       page(QStringLiteral("Vantle Terms of Service"),
            {QStringLiteral("On the real site, this page holds the terms under which you use Vantle.")}));
    on(get, QStringLiteral("/contact"),
       page(QStringLiteral("Contact support"),
            {QStringLiteral("On the real site, this page is a form that sends your message to the team behind the "
                            "app the link names, who answer by e-mail.")}));
    on(get, QStringLiteral("/privacy"),
       page(QStringLiteral("Privacy at Orvalen"),
            {QStringLiteral("On the real site, this page is Orvalen's privacy notice. Its section on error reports "
                            "says what a report includes, who sees it and how long it is kept.")},
            QStringLiteral("error-reports")));
}

ScriptedAnswer FakeWebSite::hourAuditPage()
{
    return page(QStringLiteral("The Hour Audit on the web"),
                {QStringLiteral("On the real service, this page runs the Hour Audit in the browser. An audit taken "
                                "here creates your categories, and Vantle, which looks for them every 5 seconds "
                                "while it shows the audit, then moves on to your week."),
                 QStringLiteral("Take the Hour Audit in Vantle's window instead.")});
}

ScriptedAnswer FakeWebSite::page(const QString &title, const QStringList &paragraphs, const QString &anchor)
{
    QString body;
    for (const QString &paragraph : paragraphs)
        body += QStringLiteral("<p>%1</p>\n").arg(paragraph.toHtmlEscaped());
    const QString html =
        QStringLiteral("<!doctype html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>%1</title>\n"
                       "</head>\n<body style=\"font: 15px/1.45 system-ui, sans-serif; max-width: 36em; margin: 10vh auto\">\n"
                       "<main%3>\n<h1>%1</h1>\n%2<p><em>This is Vantle's local stack of loopback services, standing in "
                       "for the real one: there is nothing more here.</em></p>\n</main>\n</body>\n</html>\n")
            .arg(title.toHtmlEscaped(), body,
                 anchor.isEmpty() ? QString() : QStringLiteral(" id=\"%1\"").arg(anchor.toHtmlEscaped()));
    ScriptedAnswer answer;
    answer.headers.append(qMakePair(QByteArray("Content-Type"), QByteArray("text/html; charset=utf-8")));
    answer.body = html.toUtf8();
    return answer;
}

} // namespace Fakes
