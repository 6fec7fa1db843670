#include "Platform/UpdaterFeed.h"
#include "Platform/UpdaterSignature.h"
#include "Platform/UpdaterVersion.h"
#include "tools/fakes/FakeUpdateFeed.h"

#include <gtest/gtest.h>

#include <functional>
#include <variant>

namespace {

QString base64FromHex(const char *hex)
{
    return QString::fromLatin1(QByteArray::fromHex(hex).toBase64());
}

TEST(UpdaterVersion, ReadsDottedNumbersAndOrdersThemNumerically)
{
    const struct {
        const char *a;
        const char *b;
        int order; // sign of a <=> b
    } cases[] = {
        {"1.10", "1.9", 1},          // not text order
        {"1.4", "1.4.0", 0},         // missing parts are zero
        {"1.2.1", "1.2", 1},         // ... and an added part counts
        {"1.2", "1.2.0.0.0.0.0.1", -1},
        {"1.2.1-beta.1", "1.2", 1},
        {"2", "1.99.99", 1},
        {"0.1.0", "0.1.1", -1},
        {" 1.2 ", "1.2", 0},         // blanks around are ignored
        {"01.2", "1.2", 0},
        {"999999999", "999999998", 1},
        // Pre-releases, in semantic versioning's order.
        {"1.5.0-beta.1", "1.5.0", -1},
        {"1.5-beta.1", "1.5.0-beta.1", 0},
        {"1.5.0-beta.1", "1.4.9", 1},
        {"1.0.0-alpha", "1.0.0-alpha.1", -1},
        {"1.0.0-alpha.1", "1.0.0-alpha.beta", -1},
        {"1.0.0-alpha.beta", "1.0.0-beta", -1},
        {"1.0.0-beta.2", "1.0.0-beta.11", -1},
        {"1.0.0-beta.11", "1.0.0-rc.1", -1},
        {"1.0.0-rc.1", "1.0.0", -1},
        {"1.0.0-1", "1.0.0-alpha", -1},
        {"1.0.0-rc-1", "1.0.0-rc.1", 1},
        {"1.0.0+20240501", "1.0.0", 0},
        {"1.0.0-beta+exp.sha.5114f85", "1.0.0-beta", 0},
    };
    for (const auto &c : cases) {
        const auto a = UpdaterVersion::parse(QString::fromLatin1(c.a));
        const auto b = UpdaterVersion::parse(QString::fromLatin1(c.b));
        ASSERT_TRUE(a && b) << c.a << " / " << c.b;
        const auto order = *a <=> *b;
        EXPECT_EQ(order < 0 ? -1 : (order > 0 ? 1 : 0), c.order) << c.a << " vs " << c.b;
    }
    for (const char *notAVersion : {"", " ", "1.", ".1", "1..2", "v1.2", "1.2b", "one", "1,2", "-1", "+1",
                                    "1234567890", "1.2.3.4.5.6.7.8.9", "\xd9\xa1.2", "1.2-", "1.2-beta..1",
                                    "1.2-beta_1", "1.2-01", "1.2+", "1.2-beta+", "1.2-b\xc3\xa9ta"}) {
        EXPECT_FALSE(UpdaterVersion::parse(QString::fromUtf8(notAVersion))) << notAVersion;
    }
}

TEST(UpdaterSignature, VerifiesKnownAnswersAndRejectsEveryAlteration)
{
    // RFC 8032, section 7.1, tests 1 and 2.
    const QString key1 = base64FromHex("d75a980182b10ab7d54bfed3c964073a0ee172f3daa62325af021a68f707511a");
    const QString sig1 = base64FromHex("e5564300c360ac729086e2cc806e828a84877f1eb8e5d974d873e065224901555fb8821590a33"
                                       "bacc61e39701cf9b46bd25bf5f0595bbe24655141438e7a100b");
    const QString key2 = base64FromHex("3d4017c3e843895a92b70aa74d1b7ebc9c982ccf2ec4968cc0cd55f12af4660c");
    const QString sig2 = base64FromHex("92a009a9f0d4cab8720e820b5f642540a2b27b5416503f8fb3762223ebdb69da085ac1e43e159"
                                       "96e458f3613d0f11d8c387b2eaeb4302aeeb00d291612bb0c00");
    const QByteArray msg2 = QByteArray::fromHex("72");
    QString flipped = sig2;
    flipped[5] = flipped[5] == QLatin1Char('A') ? QLatin1Char('B') : QLatin1Char('A');

    const struct {
        const char *name;
        QString key;
        QByteArray message;
        QString signature;
        bool valid;
    } cases[] = {
        {"rfc test 1", key1, QByteArray(), sig1, true},
        {"rfc test 2", key2, msg2, sig2, true},
        {"signature of another message", key2, QByteArray(), sig1, false},
        {"other key", key1, msg2, sig2, false},
        {"message changed", key2, QByteArray::fromHex("73"), sig2, false},
        {"signature changed", key2, msg2, flipped, false},
        {"signature cut short", key2, msg2, sig2.left(60), false},
        {"signature not base64", key2, msg2, QStringLiteral("!!!!"), false},
        {"no signature", key2, msg2, QString(), false},
        {"signature with blanks around", key2, msg2, QStringLiteral(" ") + sig2 + QStringLiteral("\n"), true},
    };
    for (const auto &c : cases) {
        const auto raw = UpdaterSignature::decodePublicKey(c.key);
        ASSERT_TRUE(raw) << c.name;
        EXPECT_EQ(UpdaterSignature::verify(*raw, c.message, c.signature), c.valid) << c.name;
    }

    for (const QString &badKey : {QString(), QStringLiteral("REPLACE_ME"), key1.left(20), key1 + key1,
                                  QStringLiteral("\u00e9") + key1.mid(1)}) {
        EXPECT_FALSE(UpdaterSignature::decodePublicKey(badKey)) << badKey.toStdString();
    }
}

TEST(UpdaterFeed, ReadsReleasesAndRefusesWhatIsNotAFeed)
{
    const QString ns = UpdaterFeed::xmlNamespace;
    const QByteArray good = QStringLiteral(
        "<?xml version=\"1.0\"?>"
        "<rss version=\"2.0\" xmlns:v=\"%1\"><channel><title>vantle</title>"
        "<description>ignored <b>markup</b></description>"
        "<item><title>vantle 1.4</title><v:version> 1.4.0 </v:version><v:shortVersion>1.4</v:shortVersion>"
        "<v:channel>beta</v:channel><v:releaseNotes>https://x.test/notes?a=1&amp;b=2</v:releaseNotes>"
        "<link>https://x.test/download</link><v:signature>c2ln</v:signature><v:future>kept out</v:future></item>"
        "<item><v:version>1.3</v:version><link>https://x.test/d</link></item>"
        "</channel></rss>").arg(ns).toUtf8();
    const auto parsed = UpdaterFeed::parse(good);
    ASSERT_TRUE(std::holds_alternative<QList<UpdaterFeedItem>>(parsed));
    const auto items = std::get<QList<UpdaterFeedItem>>(parsed);
    ASSERT_EQ(items.size(), 2);
    EXPECT_EQ(items[0].version, QStringLiteral("1.4.0"));
    EXPECT_EQ(items[0].shortVersion, QStringLiteral("1.4"));
    EXPECT_EQ(items[0].channel, QStringLiteral("beta"));
    EXPECT_EQ(items[0].releaseNotes, QStringLiteral("https://x.test/notes?a=1&b=2"));
    EXPECT_EQ(items[0].link, QStringLiteral("https://x.test/download"));
    EXPECT_EQ(items[0].signature, QStringLiteral("c2ln"));
    EXPECT_EQ(items[1].displayVersion(), QStringLiteral("1.3"));
    EXPECT_TRUE(items[1].channel.isEmpty());

    using Code = UpdaterError::Code;
    const struct {
        const char *name;
        QByteArray body;
        Code code;
    } bad[] = {
        {"empty body", QByteArray(), Code::feedUnreadable},
        {"not XML", "{\"releases\": []}", Code::feedUnreadable},
        {"HTML page", "<html><body>Not found</body></html>", Code::feedUnreadable},
        {"cut off", "<rss><channel><item><title>x</title>", Code::feedUnreadable},
        {"rubbish after the feed", "<rss><channel><item/></channel></rss><rss/>", Code::feedUnreadable},
        {"no channel", "<rss version=\"2.0\"></rss>", Code::feedUnreadable},
        {"no items", "<rss version=\"2.0\"><channel><title>vantle</title></channel></rss>", Code::feedHasNoItems},
        {"items outside the channel", "<rss><item/><channel/></rss>", Code::feedHasNoItems},
    };
    for (const auto &c : bad) {
        const auto result = UpdaterFeed::parse(c.body);
        ASSERT_TRUE(std::holds_alternative<UpdaterError>(result)) << c.name;
        const auto &error = std::get<UpdaterError>(result);
        EXPECT_TRUE(error.is(c.code)) << c.name;
        EXPECT_EQ(error.domain(), UpdaterError::domainName) << c.name;
    }
}

TEST(UpdaterFeedItem, SignatureCoversEveryFieldThePersonIsShown)
{
    Fakes::FakeUpdateFeed feed;
    const UpdaterFeedItem item = feed.itemFor({QStringLiteral("1.4.0"), QStringLiteral("1.4"), QStringLiteral("beta"),
                                               QStringLiteral("https://x.test/notes"), QStringLiteral("https://x.test/dl")});
    const QByteArray key = *UpdaterSignature::decodePublicKey(Fakes::FakeUpdateFeed::publicKey());
    ASSERT_TRUE(item.isWellFormed());
    ASSERT_TRUE(UpdaterSignature::verify(key, item.signedMessage(), item.signature));

    // Changing any signed field (a redirect of the download, a stable release relabelled,
    // a version bumped) must break the signature.
    const std::function<void(UpdaterFeedItem &)> edits[] = {
        [](UpdaterFeedItem &i) { i.version = QStringLiteral("9.0.0"); },
        [](UpdaterFeedItem &i) { i.shortVersion = QStringLiteral("9.0"); },
        [](UpdaterFeedItem &i) { i.channel.clear(); },
        [](UpdaterFeedItem &i) { i.releaseNotes = QStringLiteral("https://evil.test/notes"); },
        [](UpdaterFeedItem &i) { i.link = QStringLiteral("https://evil.test/dl"); },
    };
    for (std::size_t n = 0; n < std::size(edits); ++n) {
        UpdaterFeedItem changed = item;
        edits[n](changed);
        EXPECT_FALSE(UpdaterSignature::verify(key, changed.signedMessage(), item.signature)) << "edit " << n;
    }

    const std::function<void(UpdaterFeedItem &)> malformed[] = {
        [](UpdaterFeedItem &i) { i.version = QStringLiteral("1.4 beta"); },
        [](UpdaterFeedItem &i) { i.link.clear(); },
        [](UpdaterFeedItem &i) { i.link = QStringLiteral("file:///etc/passwd"); },
        [](UpdaterFeedItem &i) { i.link = QStringLiteral("/download"); },
        [](UpdaterFeedItem &i) { i.releaseNotes = QStringLiteral("javascript:alert(1)"); },
        [](UpdaterFeedItem &i) { i.shortVersion = QStringLiteral("1.4\n1.5"); },
    };
    for (std::size_t n = 0; n < std::size(malformed); ++n) {
        UpdaterFeedItem changed = item;
        malformed[n](changed);
        EXPECT_FALSE(changed.isWellFormed()) << "malformed " << n;
    }
}

} // namespace
