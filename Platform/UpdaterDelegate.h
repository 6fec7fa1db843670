#pragma once

#include "Platform/UpdaterError.h"

#include <QSet>
#include <QString>

#include <optional>

class Updater;

// How an update cycle began: the person asked, or the updater's own schedule.
enum class UpdateCheck {
    userInitiated,
    background,
};

// What the updater asks of its owner. Called on the GUI thread.
class UpdaterDelegate {
public:
    virtual ~UpdaterDelegate() = default;

    // The channels whose releases may be offered besides the default channel. Asked once
    // per cycle, when the feed has arrived.
    virtual QSet<QString> allowedChannels(Updater &updater) = 0;

    // The end of every update cycle, with the error when it did not end normally: an offer
    // the person answered ends without one.
    virtual void didFinishUpdateCycle(Updater &updater, UpdateCheck check,
                                      const std::optional<UpdaterError> &error) = 0;
};
