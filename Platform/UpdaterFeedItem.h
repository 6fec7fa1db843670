#pragma once

#include "Platform/UpdaterVersion.h"

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <optional>

// One release as the update feed lists it, each field the trimmed text of its element.
// Only the signed fields may reach the person: the title is informational.
struct UpdaterFeedItem {
    QString title;
    QString version;       // compared with the running version
    QString shortVersion;  // what the person is shown; the version when empty
    QString channel;       // empty: the default channel
    QString releaseNotes;  // address of the release notes, may be empty
    QString link;          // address of the download page
    QString signature;     // base64 Ed25519 signature of signedMessage()

    // The text the publisher signs: version, short version, channel, release-notes
    // address and download address, each followed by one "\n", as UTF-8. A field that
    // holds a line break could shift the others, so such an item is not well formed.
    QByteArray signedMessage() const;

    std::optional<UpdaterVersion> parsedVersion() const { return UpdaterVersion::parse(version); }
    // The address when it is an absolute http(s) address, else an empty URL.
    QUrl downloadURL() const;
    QUrl releaseNotesURL() const;
    QString displayVersion() const { return shortVersion.isEmpty() ? version : shortVersion; }

    // A version that is a version, a usable download address, release notes that are
    // absent or usable, and no line break in a signed field.
    bool isWellFormed() const;
};
