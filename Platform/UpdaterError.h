#pragma once

#include <QString>

// Why an update cycle did not end with an offer the person answered. Every error has a
// domain: the updater's own ("dev.orvalen.updater") for what the updater found wrong
// itself and has already told the person about in its own windows, and the network's
// ("QNetworkReply") for a feed that could not be fetched. Callers tell them apart by
// the domain alone.
class UpdaterError final {
public:
    // Codes of the updater's own domain.
    enum class Code {
        noUpdateFound = 1,     // the feed offers nothing newer: the normal quiet outcome
        feedUnreadable,        // not XML, not a feed, or too large
        feedHasNoItems,        // a readable feed that lists no release at all
        noReadableVersion,     // every release in the feed has a version that is not one
        signatureInvalid,      // the release chosen for the offer failed verification
        feedAddressInvalid,    // the build's feed address is not an http(s) address
        publicKeyInvalid,      // the build's public key is not an Ed25519 key
        currentVersionInvalid, // the build's own version is not a version
        downloadPageNotOpened, // the person chose to download and no browser took the page
    };

    static const QString domainName;
    static const QString networkDomain;

    static UpdaterError updater(Code code, QString description);
    static UpdaterError network(int code, QString description);

    const QString &domain() const { return m_domain; }
    int code() const { return m_code; }
    // The one-sentence text for the person.
    const QString &localizedDescription() const { return m_description; }

    bool is(Code code) const { return m_domain == domainName && m_code == static_cast<int>(code); }

private:
    UpdaterError(QString domain, int code, QString description);

    QString m_domain;
    int m_code = 0;
    QString m_description;
};
