#pragma once

#include "tools/fakes/FakeService.h"

#include "Platform/UpdaterFeedItem.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace Fakes {

// A loopback update feed: GET /updates/feed.xml answers an RSS feed of the releases it
// holds, each signed with a fixed test Ed25519 key (the same key in every run, so the
// local stack can hand its public key to the application once and for all).
//
// A release can instead be signed with another key, carry a damaged signature or none,
// and the whole feed can be replaced by any text, for the updater's bad-input cases.
class FakeUpdateFeed : public FakeService {
    Q_OBJECT
public:
    static constexpr const char *feedPath = "/updates/feed.xml";
    static constexpr const char *newerPath = "/updates/newer";

    enum class Signing {
        testKey,   // a valid signature under publicKey()
        otherKey,  // a valid signature under a key the application does not hold
        damaged,   // the test key's signature with one byte changed
        none,      // no signature element
    };

    struct Release {
        QString version;
        QString shortVersion;
        QString channel;      // empty: the default channel
        QString releaseNotes; // empty: no element
        QString link;         // empty: "<base>/download/<version>"
        Signing signing = Signing::testKey;
    };

    explicit FakeUpdateFeed(QObject *parent = nullptr);

    QUrl feedURL() const { return url(QString::fromLatin1(feedPath)); }
    // Base64 of the test key's 32 public bytes: what the application is configured with.
    static QString publicKey();
    // Base64 signature of `message` under the test key.
    static QString sign(const QByteArray &message);

    void setReleases(QList<Release> releases) { m_releases = std::move(releases); }
    void addRelease(Release release) { m_releases.append(std::move(release)); }
    QList<Release> releases() const { return m_releases; }

    // The feed of a running application: a release of `currentVersion`, so that a check finds
    // it up to date, and POST /updates/newer, which adds a release newer than any held (its
    // last number one higher) and answers its version, so that the update dialog can be seen.
    // The download page of a release is a page of the fake's own.
    void serveAsRunning(const QString &currentVersion);
    // "0.1.0" gives "0.1.1"; a version whose last part is not a number gets ".1".
    static QString nextVersion(const QString &version);

    // Serve `body` as it is instead of the feed; nothing restores the generated feed.
    void setRawFeed(QByteArray body) { m_raw = std::move(body); }
    void clearRawFeed() { m_raw.reset(); }

    // The feed as it would be served now, and one release as the updater reads it.
    QByteArray feedXml() const;
    UpdaterFeedItem itemFor(const Release &release) const;

    int fetchCount() const { return countOf(QStringLiteral("GET"), QString::fromLatin1(feedPath)); }

protected:
    bool handleSpecial(const RecordedRequest &request, ScriptedAnswer &answer) override;

private:
    QList<Release> m_releases;
    bool m_servesDownloads = false;
    std::optional<QByteArray> m_raw;
};

} // namespace Fakes
