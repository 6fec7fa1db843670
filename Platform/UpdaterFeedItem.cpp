#include "Platform/UpdaterFeedItem.h"

#include "Platform/Deployment.h"

namespace {
QUrl webAddress(const QString &text)
{
    const QUrl url(text, QUrl::StrictMode);
    return Deployment::isWebAddress(url) ? url : QUrl();
}

bool hasLineBreak(const QString &text)
{
    return text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r'));
}
} // namespace

QByteArray UpdaterFeedItem::signedMessage() const
{
    QByteArray message;
    for (const QString *field : {&version, &shortVersion, &channel, &releaseNotes, &link}) {
        message += field->toUtf8();
        message += '\n';
    }
    return message;
}

QUrl UpdaterFeedItem::downloadURL() const { return webAddress(link); }

QUrl UpdaterFeedItem::releaseNotesURL() const { return webAddress(releaseNotes); }

bool UpdaterFeedItem::isWellFormed() const
{
    for (const QString *field : {&version, &shortVersion, &channel, &releaseNotes, &link}) {
        if (hasLineBreak(*field))
            return false;
    }
    return parsedVersion().has_value() && !downloadURL().isEmpty()
        && (releaseNotes.isEmpty() || !releaseNotesURL().isEmpty());
}
