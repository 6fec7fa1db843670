#include "Platform/Updater.h"

#include "Platform/Deployment.h"
#include "Platform/UpdaterFeed.h"
#include "Platform/UpdaterSignature.h"
#include "Platform/UpdaterUserDriver.h"
#include "Platform/UpdaterVersion.h"
#include "Platform/UrlOpener.h"

#include <QNetworkReply>
#include <QNetworkRequest>

#include <utility>
#include <variant>

namespace {

UpdaterError ownError(UpdaterError::Code code, const QString &description)
{
    return UpdaterError::updater(code, description);
}

} // namespace

Updater::Updater(Settings settings, UpdaterUserDriver *userDriver, UpdaterDelegate *delegate, QObject *parent)
    : QObject(parent), m_settings(std::move(settings)), m_userDriver(userDriver), m_delegate(delegate),
      m_ownNetwork(m_settings.network ? nullptr : std::make_unique<QNetworkAccessManager>()),
      m_network(m_settings.network ? m_settings.network : m_ownNetwork.get())
{
    m_schedule.setSingleShot(true);
    connect(&m_schedule, &QTimer::timeout, this, &Updater::checkForUpdatesInBackground);
    m_feedDeadline.setSingleShot(true);
    connect(&m_feedDeadline, &QTimer::timeout, this, [this]() {
        if (m_phase != Phase::fetching || !m_reply)
            return;
        m_timedOut = true;
        m_reply->abort();
    });
}

Updater::~Updater()
{
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
        // The manager is the application's and outlives the updater.
        m_reply->deleteLater();
    }
    if (m_phase == Phase::presenting && m_userDriver)
        m_userDriver->dismiss();
}

std::optional<UpdaterError> Updater::start()
{
    if (m_started)
        return std::nullopt;
    if (!Deployment::isWebAddress(m_settings.feedURL)) {
        return ownError(UpdaterError::Code::feedAddressInvalid,
                        QStringLiteral("The update feed address of this build is not an http or https address."));
    }
    const auto key = UpdaterSignature::decodePublicKey(m_settings.publicKey);
    if (!key) {
        return ownError(UpdaterError::Code::publicKeyInvalid,
                        QStringLiteral("The update signing key of this build is not an Ed25519 public key."));
    }
    if (!UpdaterVersion::parse(m_settings.currentVersion)) {
        return ownError(UpdaterError::Code::currentVersionInvalid,
                        QStringLiteral("The version of this build (%1) is not a version the updater can compare.")
                            .arg(m_settings.currentVersion));
    }
    m_publicKey = *key;
    m_started = true;
    setCanCheck(true);
    m_schedule.start(m_settings.firstScheduledCheck);
    return std::nullopt;
}

void Updater::checkForUpdates()
{
    if (!m_started)
        return;
    switch (m_phase) {
    case Phase::idle:
        beginCycle(UpdateCheck::userInitiated);
        return;
    case Phase::fetching:
        // The person asked while the schedule was already fetching: they get the answer.
        m_check = UpdateCheck::userInitiated;
        return;
    case Phase::presenting:
        return;
    }
}

void Updater::checkForUpdatesInBackground()
{
    if (m_started && m_phase == Phase::idle)
        beginCycle(UpdateCheck::background);
}

void Updater::beginCycle(UpdateCheck check)
{
    ++m_cycle;
    m_check = check;
    m_phase = Phase::fetching;
    m_schedule.stop();
    m_body.clear();
    m_tooLarge = false;
    m_timedOut = false;
    setCanCheck(false);

    QNetworkRequest request(m_settings.feedURL);
    request.setRawHeader("Accept", "application/rss+xml, application/xml;q=0.9, text/xml;q=0.8");
    request.setHeader(QNetworkRequest::UserAgentHeader,
                      QStringLiteral("%1/%2").arg(m_settings.applicationName, m_settings.currentVersion));
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    QNetworkReply *reply = m_network->get(request);
    m_feedDeadline.start(m_settings.feedTimeout);
    m_reply = reply;
    connect(reply, &QNetworkReply::readyRead, this, [this, reply]() {
        if (m_tooLarge)
            return;
        m_body += reply->readAll();
        if (m_body.size() > m_settings.maximumFeedSize) {
            m_tooLarge = true;
            reply->abort();
        }
    });
    connect(reply, &QNetworkReply::finished, this, &Updater::feedFinished);
}

void Updater::feedFinished()
{
    QNetworkReply *reply = m_reply;
    m_reply = nullptr;
    if (!reply || m_phase != Phase::fetching)
        return;
    m_feedDeadline.stop();
    reply->deleteLater();
    const bool personWaits = m_check == UpdateCheck::userInitiated;

    if (m_tooLarge) {
        conclude(ownError(UpdaterError::Code::feedUnreadable, QStringLiteral("The update feed is too large to read.")),
                 personWaits);
        return;
    }
    const QNetworkReply::NetworkError error = reply->error();
    if (m_timedOut || error == QNetworkReply::TimeoutError) {
        conclude(UpdaterError::network(error, QStringLiteral("The update server did not answer in time.")),
                 personWaits);
        return;
    }
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid() && (status.toInt() < 200 || status.toInt() > 299)) {
        conclude(UpdaterError::network(error, QStringLiteral("The update server answered with status %1.")
                                                  .arg(status.toInt())),
                 personWaits);
        return;
    }
    if (error != QNetworkReply::NoError) {
        conclude(UpdaterError::network(error, QStringLiteral("Couldn't reach the update server.")), personWaits);
        return;
    }
    m_body += reply->readAll();
    evaluate(m_body);
}

void Updater::evaluate(const QByteArray &body)
{
    const bool personWaits = m_check == UpdateCheck::userInitiated;
    auto parsed = UpdaterFeed::parse(body);
    if (const auto *error = std::get_if<UpdaterError>(&parsed)) {
        conclude(*error, personWaits);
        return;
    }
    const auto &items = std::get<QList<UpdaterFeedItem>>(parsed);
    const std::uint64_t cycle = m_cycle;
    const QSet<QString> allowed = m_delegate ? m_delegate->allowedChannels(*this) : QSet<QString>();
    if (!isCurrent(cycle, Phase::fetching))
        return;

    const UpdaterVersion current = *UpdaterVersion::parse(m_settings.currentVersion);
    const UpdaterFeedItem *best = nullptr;
    std::optional<UpdaterVersion> bestVersion;
    bool anyReadableVersion = false;
    for (const UpdaterFeedItem &item : items) {
        const auto version = item.parsedVersion();
        if (version)
            anyReadableVersion = true;
        if (!item.isWellFormed())
            continue;
        if (!item.channel.isEmpty() && !allowed.contains(item.channel))
            continue;
        if (*version <= current || (bestVersion && *version <= *bestVersion))
            continue;
        best = &item;
        bestVersion = version;
    }
    if (!best) {
        if (!anyReadableVersion) {
            conclude(ownError(UpdaterError::Code::noReadableVersion,
                              QStringLiteral("The update feed lists no release with a version the updater can read.")),
                     personWaits);
        } else {
            conclude(ownError(UpdaterError::Code::noUpdateFound,
                              QStringLiteral("%1 %2 is the newest version available.")
                                  .arg(m_settings.applicationName, m_settings.currentVersion)),
                     personWaits);
        }
        return;
    }
    // Verify only what is about to be offered; an older release is never offered in
    // place of a newer one that failed, since a tampered feed should be noticed.
    if (!UpdaterSignature::verify(m_publicKey, best->signedMessage(), best->signature)) {
        conclude(ownError(UpdaterError::Code::signatureInvalid,
                          QStringLiteral("The newest release in the update feed is not signed with this "
                                         "build's key, so it is not offered.")),
                 personWaits);
        return;
    }
    offer(*best);
}

void Updater::offer(const UpdaterFeedItem &item)
{
    m_phase = Phase::presenting;
    if (!m_userDriver) {
        finish(std::nullopt);
        return;
    }
    UpdaterUserDriver::Offer shown;
    shown.applicationName = m_settings.applicationName;
    shown.currentVersion = m_settings.currentVersion;
    shown.version = item.displayVersion();
    shown.channel = item.channel;
    shown.releaseNotes = item.releaseNotesURL();
    shown.downloadPage = item.downloadURL();
    const std::uint64_t cycle = m_cycle;
    QPointer<Updater> self(this);
    m_userDriver->showUpdateFound(shown, m_check, [self, cycle, page = shown.downloadPage](UpdaterUserDriver::Choice choice) {
        if (!self || !self->isCurrent(cycle, Phase::presenting))
            return;
        if (choice == UpdaterUserDriver::Choice::download && !UrlOpener::open(page)) {
            // The person just acted, whatever started the cycle: tell them.
            self->conclude(ownError(UpdaterError::Code::downloadPageNotOpened,
                                    QStringLiteral("Couldn't open the download page in your browser. It is at %1")
                                        .arg(page.toString())),
                           true);
            return;
        }
        self->finish(std::nullopt);
    });
}

void Updater::conclude(const UpdaterError &error, bool personWaits)
{
    if (!personWaits || !m_userDriver) {
        finish(error);
        return;
    }
    m_phase = Phase::presenting;
    const std::uint64_t cycle = m_cycle;
    QPointer<Updater> self(this);
    auto acknowledged = [self, cycle, error]() {
        if (self && self->isCurrent(cycle, Phase::presenting))
            self->finish(error);
    };
    if (error.is(UpdaterError::Code::noUpdateFound))
        m_userDriver->showUpdateNotFound(error, acknowledged);
    else
        m_userDriver->showUpdaterError(error, acknowledged);
}

void Updater::finish(std::optional<UpdaterError> error)
{
    const UpdateCheck check = m_check;
    m_phase = Phase::idle;
    m_body.clear();
    setCanCheck(true);
    m_schedule.start(m_settings.checkInterval);
    // Last: the delegate may start the next cycle from here.
    if (m_delegate)
        m_delegate->didFinishUpdateCycle(*this, check, error);
}

void Updater::setCanCheck(bool canCheck)
{
    if (m_canCheck == canCheck)
        return;
    m_canCheck = canCheck;
    Q_EMIT canCheckForUpdatesChanged(canCheck);
}
