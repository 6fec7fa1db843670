// The executable: as little as puts the main window on screen (see AppLaunch), then the
// rest of the application from its module, which a thread of its own loads meanwhile.
#include "Platform/AppModule.h"
#include "Vantle/Shell/AppLaunch.h"
#include "Vantle/Shell/InstanceLock.h"
#include "Vantle/Shell/LoadingView.h"
#include "Vantle/Shell/MainWindow.h"
#include "Vantle/Shell/ModuleLoader.h"

#include <QApplication>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QThread>
#include <QTimer>

#include <cstdio>
#include <malloc.h>
#include <memory>

namespace {

// On the loading thread: the module's entry points, from the folders worked out before
// the thread started.
ModuleLoader::Module loadModule(const QStringList &folders)
{
    ModuleLoader::Module module;
    module.entry = reinterpret_cast<AppLaunch::Entry>(
        AppModule::resolve(AppLaunch::moduleName, AppLaunch::entrySymbol, folders, &module.error));
    if (module.entry) {
        module.connect = reinterpret_cast<AppLaunch::Prepare>(
            AppModule::resolve(AppLaunch::moduleName, AppLaunch::connectSymbol, folders));
        module.prepare = reinterpret_cast<AppLaunch::Prepare>(
            AppModule::resolve(AppLaunch::moduleName, AppLaunch::prepareSymbol, folders));
    }
    return module;
}

// The regular expressions that run for the life of the process are the log's redaction
// rules, on the log's own thread, a few lines a minute. Compiled to machine code they hold
// a megabyte of executable memory for that; interpreted, a line takes microseconds more.
// Qt reads its switch once, at the first match; the switch is not left in the environment,
// so that the programs this one starts (the browser) do not inherit it.
void interpretRegularExpressions()
{
    if (qEnvironmentVariableIsSet("QT_ENABLE_REGEXP_JIT"))
        return;
    qputenv("QT_ENABLE_REGEXP_JIT", "0");
    [[maybe_unused]] const bool matched = QRegularExpression(QStringLiteral("^$")).match(QString()).hasMatch();
    qunsetenv("QT_ENABLE_REGEXP_JIT");
}

// Hands over to the application module; null when this start is over (`exitCode` then).
std::unique_ptr<QObject> startApplication(ModuleLoader &loader, AppLaunch &launch, int &exitCode)
{
    QString error;
    const AppLaunch::Entry entry = loader.entry(&error);
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
    // One heap for every thread: the keyring's, the log's and the network's threads each
    // kept an arena of their own, most of it idle for the life of the process.
    mallopt(M_ARENA_MAX, 1);
    interpretRegularExpressions();
    // Qt takes the first thread that asks for its thread data as the main thread: this one,
    // before the loading thread starts.
    QThread::currentThread();
    ModuleLoader loader([folders = AppModule::directories()]() { return loadModule(folders); });

    // Whether this start is the running instance is known before the application object is
    // built, so that the loading thread reaches the keyring meanwhile, and only for the
    // running instance. The lock file names the program that holds it.
    QCoreApplication::setApplicationName(QStringLiteral("vantle"));
    std::unique_ptr<QLockFile> lock = InstanceLock::make(InstanceLock::defaultDirectory());
    const bool primary = InstanceLock::tryClaim(*lock) == InstanceLock::Claim::primary;
    loader.decide(primary);

    QApplication app(argc, argv);
    loader.applicationCreated();
    // Whatever the loading thread still does needs the application object: it ends first,
    // also when the event loop ends before start-up ran.
    const auto finishLoading = qScopeGuard([&loader]() { loader.finish(); });
    QApplication::setApplicationDisplayName(QStringLiteral("Vantle"));
    QGuiApplication::setDesktopFileName(QStringLiteral("vantle"));

    AppLaunch launch;
    launch.arguments = QApplication::arguments().mid(1);
    std::unique_ptr<QObject> running;
    int exitCode = 0;

    if (!primary) {
        // Another instance runs (or no lock can be made): no window of ours; the
        // application decides at once whether to hand over the arguments or run.
        lock.reset();
        running = startApplication(loader, launch, exitCode);
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
        running = startApplication(loader, launch, exitCode);
        if (!running)
            QCoreApplication::exit(exitCode);
    };
    QObject::connect(launch.window.get(), &MainWindow::firstPainted, &app, start, Qt::QueuedConnection);
    QTimer::singleShot(AppLaunch::startDeadline, &app, start);
    launch.window->show();

    exitCode = QApplication::exec();
    loader.finish();
    running.reset();
    return exitCode;
}
