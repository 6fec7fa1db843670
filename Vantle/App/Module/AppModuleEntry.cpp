#include "Platform/ApplicationFont.h"
#include "Platform/Keychain.h"
#include "Vantle/App/AppDelegate.h"
#include "Vantle/App/VantleApp.h"
#include "Vantle/Shell/AppLaunch.h"
#include "Vantle/Utilities/LogCenter.h"

#include <QCoro/QCoroTask>

#include <memory>
#include <system_error>
#include <thread>

namespace {

// The log's last lines are written before the executable's main() returns, while
// everything the writer uses still exists.
void stopLog()
{
    LogCenter::shared().shutdown();
}

// The running application: the delegate outlives the application built on it, and the
// log outlives both.
class RunningApp final : public QObject {
public:
    ~RunningApp() override
    {
        app.reset();
        delegate.reset();
        stopLog();
    }

    std::unique_ptr<AppDelegate> delegate;
    std::unique_ptr<VantleApp> app;
};

} // namespace

// These run on the executable's loading thread while the main window is being built.
extern "C" Q_DECL_EXPORT void vantle_app_connect()
{
    try {
        Keychain::open();
    } catch (...) {
        // The first read connects instead.
    }
}

extern "C" Q_DECL_EXPORT void vantle_app_prepare()
{
    const auto warmUpFonts = []() {
        try {
            ApplicationFont::warmUp();
        } catch (...) {
        }
    };
    // The fonts on a thread of their own: the keyring's answers are mostly waiting. Without
    // a thread to spare, here after the keyring.
    std::thread fonts;
    try {
        fonts = std::thread(warmUpFonts);
    } catch (const std::system_error &) {
    }
    try {
        Keychain::prefetch(VantleApp::launchKeychainReads());
    } catch (...) {
        // Nothing read ahead: start-up reads the items itself.
    }
    if (fonts.joinable())
        fonts.join();
    else
        warmUpFonts();
}

// The module's entry, which the executable looks up by name (see AppLaunch).
extern "C" Q_DECL_EXPORT QObject *vantle_app_start(AppLaunch *launch, int *exitCode)
{
    try {
        // Applied here, after the window's first paint; the loading thread has read them.
        ApplicationFont::apply();
        auto running = std::make_unique<RunningApp>();
        running->delegate = std::make_unique<AppDelegate>();
        running->delegate->adoptInstanceLock(std::move(launch->instanceLock));
        switch (QCoro::waitFor(running->delegate->launch(launch->arguments))) {
        case AppDelegate::LaunchRole::forwarded:
            *exitCode = 0;
            return nullptr;
        case AppDelegate::LaunchRole::failed:
            *exitCode = 1;
            return nullptr;
        case AppDelegate::LaunchRole::primary:
            break;
        }
        running->app = std::make_unique<VantleApp>(running->delegate.get(), std::move(launch->window));
        return running.release();
    } catch (...) {
        stopLog();
        *exitCode = 1;
        return nullptr;
    }
}
