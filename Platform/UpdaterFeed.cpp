#include "Platform/UpdaterFeed.h"

#include <QXmlStreamReader>

namespace UpdaterFeed {

namespace {

UpdaterError unreadable()
{
    return UpdaterError::updater(UpdaterError::Code::feedUnreadable,
                                 QStringLiteral("The update feed could not be read."));
}

bool isPlain(const QXmlStreamReader &xml, QLatin1String name)
{
    return xml.namespaceUri().isEmpty() && xml.name() == name;
}

bool isOurs(const QXmlStreamReader &xml, QLatin1String name)
{
    return xml.namespaceUri() == xmlNamespace && xml.name() == name;
}

QString text(QXmlStreamReader &xml)
{
    return xml.readElementText(QXmlStreamReader::ErrorOnUnexpectedElement).trimmed();
}

UpdaterFeedItem readItem(QXmlStreamReader &xml)
{
    UpdaterFeedItem item;
    while (xml.readNextStartElement()) {
        if (isPlain(xml, QLatin1String("title")))
            item.title = text(xml);
        else if (isPlain(xml, QLatin1String("link")))
            item.link = text(xml);
        else if (isOurs(xml, QLatin1String("version")))
            item.version = text(xml);
        else if (isOurs(xml, QLatin1String("shortVersion")))
            item.shortVersion = text(xml);
        else if (isOurs(xml, QLatin1String("channel")))
            item.channel = text(xml);
        else if (isOurs(xml, QLatin1String("releaseNotes")))
            item.releaseNotes = text(xml);
        else if (isOurs(xml, QLatin1String("signature")))
            item.signature = text(xml);
        else
            xml.skipCurrentElement();
    }
    return item;
}

} // namespace

std::variant<QList<UpdaterFeedItem>, UpdaterError> parse(const QByteArray &bytes)
{
    QXmlStreamReader xml(bytes);
    if (!xml.readNextStartElement() || !isPlain(xml, QLatin1String("rss")))
        return unreadable();
    QList<UpdaterFeedItem> items;
    bool sawChannel = false;
    while (xml.readNextStartElement()) {
        if (!isPlain(xml, QLatin1String("channel"))) {
            xml.skipCurrentElement();
            continue;
        }
        sawChannel = true;
        while (xml.readNextStartElement()) {
            if (isPlain(xml, QLatin1String("item")))
                items.append(readItem(xml));
            else
                xml.skipCurrentElement();
        }
    }
    // Read to the end: a feed cut off or with trailing rubbish is not a feed either.
    while (!xml.atEnd())
        xml.readNext();
    if (xml.hasError() || !sawChannel)
        return unreadable();
    if (items.isEmpty()) {
        return UpdaterError::updater(UpdaterError::Code::feedHasNoItems,
                                     QStringLiteral("The update feed lists no releases."));
    }
    return items;
}

} // namespace UpdaterFeed
