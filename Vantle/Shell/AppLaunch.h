#pragma once

#include "Vantle/Shell/MainWindow.h"

#include <QLockFile>
#include <QObject>
#include <QStringList>

#include <chrono>
#include <memory>

// How the executable hands over to the rest of the application.
//
// The executable links nothing but Qt Widgets and this folder's library: it claims the
// instance lock and puts up the main window with its loading view while a thread of its
// own loads everything else (the account layer, the network, the keyring) from the module
// "vantle-app" and, for the running instance, reads from the keyring what the first screen
// needs; once the window has painted, the module builds the application. So the window
// never waits for any of it, and the first screen rarely waits for the keyring. A start
// that finds another instance running puts up no window, hands over at once and never
// reaches the keyring. (OpenSSL is not loaded at start at all: see CryptoLibrary.)
struct AppLaunch {
    static inline const QString moduleName = QStringLiteral("vantle-app");
    // extern "C" QObject *vantle_app_start(AppLaunch *launch, int *exitCode): builds the
    // application, taking the lock and the window, and returns the object that holds it
    // (deleted before the QApplication); or null when this start is over, with the exit
    // code in `exitCode` (0 once the running instance took the arguments). Never throws.
    static inline const char *const entrySymbol = "vantle_app_start";
    using Entry = QObject *(*)(AppLaunch *launch, int *exitCode);
    // extern "C" void vantle_app_connect(): reaches the keyring, on the calling thread, and
    // reads nothing; only for the running instance, maybe before its application object
    // exists. A start that hands over never reaches the keyring.
    // extern "C" void vantle_app_prepare(): reads ahead, on the calling thread, the keyring
    // items and the fonts start-up needs; only for the running instance, once its
    // application object exists, and over before that object goes. Each is called at most
    // once, from the loading thread, and never throws.
    static inline const char *const connectSymbol = "vantle_app_connect";
    static inline const char *const prepareSymbol = "vantle_app_prepare";
    using Prepare = void (*)();

    // How long the window's first paint is waited for before the rest is loaded anyway:
    // a window that is never put on screen (a desktop without one) must not hold it back.
    static constexpr std::chrono::milliseconds startDeadline{250};

    QStringList arguments; // without the program name
    std::unique_ptr<QLockFile> instanceLock; // claimed by the executable, or null
    std::unique_ptr<MainWindow> window; // on screen with its loading view, or null
};
