#pragma once

#include "Platform/UpdaterDelegate.h"
#include "Platform/UpdaterError.h"

#include <QString>
#include <QUrl>

#include <functional>

// The updater's windows. The updater has no widgets of its own: the application gives
// it a driver that shows the offer and the outcome of a check the person asked for, and
// hands back the person's answer through the callback. A callback may be called once;
// after dismiss() none is expected any more.
class UpdaterUserDriver {
public:
    struct Offer {
        QString applicationName;
        QString currentVersion;
        QString version;     // the release's version as the person is shown it
        QString channel;     // empty for the default channel
        QUrl releaseNotes;   // may be empty
        QUrl downloadPage;
    };

    enum class Choice {
        download, // open the download page in the browser
        later,    // close the offer
    };

    virtual ~UpdaterUserDriver() = default;

    virtual void showUpdateFound(const Offer &offer, UpdateCheck check, std::function<void(Choice)> reply) = 0;
    // The outcome of a check the person asked for: nothing newer, or an error.
    virtual void showUpdateNotFound(const UpdaterError &error, std::function<void()> acknowledged) = 0;
    virtual void showUpdaterError(const UpdaterError &error, std::function<void()> acknowledged) = 0;
    // Closes whatever the driver shows; the updater is going away.
    virtual void dismiss() = 0;
};
