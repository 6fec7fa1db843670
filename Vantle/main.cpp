// The executable: as little as puts the main window on screen (see AppLaunch), then the
// rest of the application from its module.
#include "Platform/AppModule.h"
#include "Vantle/Shell/AppLaunch.h"
#include "Vantle/Shell/InstanceLock.h"
#include "Vantle/Shell/LoadingView.h"
#include "Vantle/Shell/MainWindow.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>
#include <memory>

namespace {

// Hands over to the application module; null when this start is over (`exitCode` then).
std::unique_ptr<QObject> startApplication(AppLaunch &launch, int &exitCode)
{
    QString error;
    const auto entry = reinterpret_cast<AppLaunch::Entry>(
        AppModule::resolve(AppLaunch::moduleName, AppLaunch::entrySymbol, &error));
    if (!entry) {
        std::fprintf(stderr, "vantle: the application cannot be loaded: %s\n", qPrintable(error));
        exitCode = 1;
        return nullptr;
    }
    return std::unique_ptr<QObject>(entry(&launch, &exitCode));
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("vantle"));
    QApplication::setApplicationDisplayName(QStringLiteral("Vantle"));
    QGuiApplication::setDesktopFileName(QStringLiteral("vantle"));

    AppLaunch launch;
    launch.arguments = QApplication::arguments().mid(1);
    std::unique_ptr<QObject> running;
    int exitCode = 0;

    std::unique_ptr<QLockFile> lock = InstanceLock::make(InstanceLock::defaultDirectory());
    if (InstanceLock::tryClaim(*lock) != InstanceLock::Claim::primary) {
        // Another instance runs (or no lock can be made): no window of ours; the
        // application decides at once whether to hand over the arguments or run.
        lock.reset();
        running = startApplication(launch, exitCode);
        if (!running)
            return exitCode;
        exitCode = QApplication::exec();
        running.reset();
        return exitCode;
    }

    launch.instanceLock = std::move(lock);
    launch.window = std::make_unique<MainWindow>(new LoadingView);
    bool started = false;
    const auto start = [&]() {
        if (started)
            return;
        started = true;
        running = startApplication(launch, exitCode);
        if (!running)
            QCoreApplication::exit(exitCode);
    };
    QObject::connect(launch.window.get(), &MainWindow::firstPainted, &app, start, Qt::QueuedConnection);
    QTimer::singleShot(AppLaunch::startDeadline, &app, start);
    launch.window->show();

    exitCode = QApplication::exec();
    running.reset();
    return exitCode;
}
