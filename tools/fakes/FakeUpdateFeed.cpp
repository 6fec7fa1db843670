#include "tools/fakes/FakeUpdateFeed.h"

#include "Platform/UpdaterFeed.h"
#include "Platform/UpdaterVersion.h"

#include <QCryptographicHash>
#include <QXmlStreamWriter>

#include <openssl/evp.h>

#include <memory>
#include <stdexcept>

namespace Fakes {

namespace {

using PKey = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;
using DigestContext = std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)>;

PKey keyFromSeed(const QByteArray &text)
{
    const QByteArray seed = QCryptographicHash::hash(text, QCryptographicHash::Sha256);
    PKey key(EVP_PKEY_new_raw_private_key(EVP_PKEY_ED25519, nullptr,
                                          reinterpret_cast<const unsigned char *>(seed.constData()),
                                          static_cast<size_t>(seed.size())),
             &EVP_PKEY_free);
    if (!key)
        throw std::runtime_error("could not make the fake feed's Ed25519 key");
    return key;
}

EVP_PKEY *testKey()
{
    static const PKey key = keyFromSeed("vantle fake update feed: test signing key");
    return key.get();
}

EVP_PKEY *otherKey()
{
    static const PKey key = keyFromSeed("vantle fake update feed: a key nobody trusts");
    return key.get();
}

QByteArray signWith(EVP_PKEY *key, const QByteArray &message)
{
    DigestContext context(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    QByteArray signature(64, '\0');
    size_t length = static_cast<size_t>(signature.size());
    if (!context || EVP_DigestSignInit(context.get(), nullptr, nullptr, nullptr, key) != 1
        || EVP_DigestSign(context.get(), reinterpret_cast<unsigned char *>(signature.data()), &length,
                          reinterpret_cast<const unsigned char *>(message.constData()),
                          static_cast<size_t>(message.size()))
            != 1)
        throw std::runtime_error("the fake feed could not sign a release");
    return signature;
}

} // namespace

FakeUpdateFeed::FakeUpdateFeed(QObject *parent) : FakeService(parent)
{
    on(QStringLiteral("GET"), QString::fromLatin1(feedPath), [this](const RecordedRequest &) {
        ScriptedAnswer answer;
        answer.status = 200;
        answer.headers.append(qMakePair(QByteArray("Content-Type"), QByteArray("application/rss+xml")));
        answer.body = m_raw ? *m_raw : feedXml();
        return answer;
    });
}

void FakeUpdateFeed::serveAsRunning(const QString &currentVersion)
{
    m_servesDownloads = true;
    addRelease(Release{currentVersion, {}, {}, {}, {}, Signing::testKey});
    on(QStringLiteral("POST"), QString::fromLatin1(newerPath), [this](const RecordedRequest &) {
        QString newest = m_releases.isEmpty() ? QStringLiteral("0") : m_releases.first().version;
        for (const Release &release : std::as_const(m_releases)) {
            const auto a = UpdaterVersion::parse(release.version), b = UpdaterVersion::parse(newest);
            if (a && b && *b < *a)
                newest = release.version;
        }
        const QString version = nextVersion(newest);
        addRelease(Release{version, {}, {}, {}, {}, Signing::testKey});
        return ScriptedAnswer::json(201, QStringLiteral(R"({"version":"%1"})").arg(version).toUtf8());
    });
}

QString FakeUpdateFeed::nextVersion(const QString &version)
{
    QStringList parts = version.split(QLatin1Char('.'));
    bool number = false;
    const int last = parts.last().toInt(&number);
    if (!number || last < 0)
        return version + QStringLiteral(".1");
    parts.last() = QString::number(last + 1);
    return parts.join(QLatin1Char('.'));
}

bool FakeUpdateFeed::handleSpecial(const RecordedRequest &request, ScriptedAnswer &answer)
{
    static const QString download = QStringLiteral("/download/");
    if (!m_servesDownloads || request.method != QLatin1String("GET") || !request.path.startsWith(download))
        return false;
    const QString version = request.path.mid(download.size()).toHtmlEscaped();
    answer.status = 200;
    answer.headers.append(qMakePair(QByteArray("Content-Type"), QByteArray("text/html; charset=utf-8")));
    answer.body = QStringLiteral("<!doctype html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
                                 "<title>vantle %1</title></head>\n<body style=\"font: 15px system-ui, sans-serif\">"
                                 "<h1>vantle %1</h1><p>The local stack offers this release to try the update dialog; "
                                 "there is nothing to download.</p></body></html>\n")
                      .arg(version)
                      .toUtf8();
    return true;
}

QString FakeUpdateFeed::publicKey()
{
    QByteArray raw(32, '\0');
    size_t length = static_cast<size_t>(raw.size());
    if (EVP_PKEY_get_raw_public_key(testKey(), reinterpret_cast<unsigned char *>(raw.data()), &length) != 1)
        throw std::runtime_error("could not read the fake feed's public key");
    return QString::fromLatin1(raw.toBase64());
}

QString FakeUpdateFeed::sign(const QByteArray &message)
{
    return QString::fromLatin1(signWith(testKey(), message).toBase64());
}

UpdaterFeedItem FakeUpdateFeed::itemFor(const Release &release) const
{
    UpdaterFeedItem item;
    item.title = QStringLiteral("vantle %1").arg(release.shortVersion.isEmpty() ? release.version : release.shortVersion);
    item.version = release.version;
    item.shortVersion = release.shortVersion;
    item.channel = release.channel;
    item.releaseNotes = release.releaseNotes;
    item.link = release.link.isEmpty() ? url(QStringLiteral("/download/%1").arg(release.version)).toString()
                                       : release.link;
    switch (release.signing) {
    case Signing::testKey:
        item.signature = sign(item.signedMessage());
        break;
    case Signing::otherKey:
        item.signature = QString::fromLatin1(signWith(otherKey(), item.signedMessage()).toBase64());
        break;
    case Signing::damaged: {
        QByteArray signature = signWith(testKey(), item.signedMessage());
        signature[10] = static_cast<char>(signature[10] ^ 0x01);
        item.signature = QString::fromLatin1(signature.toBase64());
        break;
    }
    case Signing::none:
        break;
    }
    return item;
}

QByteArray FakeUpdateFeed::feedXml() const
{
    QByteArray out;
    QXmlStreamWriter xml(&out);
    xml.setAutoFormatting(true);
    xml.writeStartDocument();
    xml.writeNamespace(UpdaterFeed::xmlNamespace, QStringLiteral("vantle"));
    xml.writeStartElement(QStringLiteral("rss"));
    xml.writeAttribute(QStringLiteral("version"), QStringLiteral("2.0"));
    xml.writeStartElement(QStringLiteral("channel"));
    xml.writeTextElement(QStringLiteral("title"), QStringLiteral("vantle"));
    for (const Release &release : m_releases) {
        const UpdaterFeedItem item = itemFor(release);
        xml.writeStartElement(QStringLiteral("item"));
        xml.writeTextElement(QStringLiteral("title"), item.title);
        xml.writeTextElement(UpdaterFeed::xmlNamespace, QStringLiteral("version"), item.version);
        if (!item.shortVersion.isEmpty())
            xml.writeTextElement(UpdaterFeed::xmlNamespace, QStringLiteral("shortVersion"), item.shortVersion);
        if (!item.channel.isEmpty())
            xml.writeTextElement(UpdaterFeed::xmlNamespace, QStringLiteral("channel"), item.channel);
        if (!item.releaseNotes.isEmpty())
            xml.writeTextElement(UpdaterFeed::xmlNamespace, QStringLiteral("releaseNotes"), item.releaseNotes);
        xml.writeTextElement(QStringLiteral("link"), item.link);
        if (!item.signature.isEmpty())
            xml.writeTextElement(UpdaterFeed::xmlNamespace, QStringLiteral("signature"), item.signature);
        xml.writeEndElement();
    }
    xml.writeEndElement();
    xml.writeEndElement();
    xml.writeEndDocument();
    return out;
}

} // namespace Fakes
