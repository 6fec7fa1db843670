#pragma once

#include "Platform/UpdaterError.h"
#include "Platform/UpdaterFeedItem.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <variant>

// The update feed: an RSS 2.0 document whose items are releases.
//
//   <rss version="2.0" xmlns:vantle="https://orvalen.dev/xmlns/updates">
//     <channel>
//       <title>vantle</title>
//       <item>
//         <title>vantle 1.4</title>
//         <vantle:version>1.4.0</vantle:version>
//         <vantle:shortVersion>1.4</vantle:shortVersion>
//         <vantle:channel>beta</vantle:channel>            (absent: default channel)
//         <vantle:releaseNotes>https://…</vantle:releaseNotes>
//         <link>https://…/download</link>
//         <vantle:signature>base64</vantle:signature>
//       </item>
//     </channel>
//   </rss>
//
// Unknown elements are skipped, so the feed can carry more than this updater reads.
namespace UpdaterFeed {

inline const QString xmlNamespace = QStringLiteral("https://orvalen.dev/xmlns/updates");

// The items in feed order, well formed or not (the updater judges each one), or an error
// of the updater's domain: feedUnreadable for text that is not well-formed XML or not an
// RSS channel, feedHasNoItems for a channel without items.
std::variant<QList<UpdaterFeedItem>, UpdaterError> parse(const QByteArray &xml);

} // namespace UpdaterFeed
