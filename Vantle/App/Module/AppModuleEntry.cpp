#include "Platform/ApplicationFont.h"
#include "Vantle/App/AppDelegate.h"
#include "Vantle/App/VantleApp.h"
#include "Vantle/Shell/AppLaunch.h"
#include "Vantle/Utilities/LogCenter.h"

#include <QCoro/QCoroTask>

#include <memory>

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

// The module's one entry, which the executable looks up by name (see AppLaunch).
extern "C" Q_DECL_EXPORT QObject *vantle_app_start(AppLaunch *launch, int *exitCode)
{
    try {
        // The fonts are read here, after the window's first paint, not before it.
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
