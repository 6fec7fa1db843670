#pragma once

#include "Vantle/Services/Analytics.h"

#include <QString>

#include <functional>

class DiagnosticUploader;

// What the settings window and its sections are handed besides the services they show:
// where analytics events and the window's log lines go, the diagnostic report's uploader,
// the application's relaunch after a reset and the window's one alert. The window fills in
// what is left empty (Analytics::track, the "diagnostics" log, DiagnosticUploader::shared();
// no relaunch; its own alert).
struct SettingsEnvironment {
    std::function<void(const QString &event, const Analytics::Properties &properties)> track;
    // `level` is "info" or "warn".
    std::function<void(const QString &level, const QString &message)> log;
    DiagnosticUploader *uploader = nullptr;
    // Starts a new instance of the application and ends this one, once a reset has cleared
    // the account; the application, which owns the instance, hands it in.
    std::function<void()> relaunchForReset;
    // Shows the window's alert with a title and a message.
    std::function<void(const QString &title, const QString &message)> showAlert;
};
