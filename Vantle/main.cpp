// The executable: as little as puts the main window on screen (see AppLaunch), then the
// rest of the application from its module, which a thread of its own loads meanwhile.
#include "Platform/AppModule.h"
#include "Vantle/Shell/AppLaunch.h"
#include "Vantle/Shell/InstanceLock.h"
#include "Vantle/Shell/LoadingView.h"
#include "Vantle/Shell/MainWindow.h"

#include <QApplication>
#include <QThread>
#include <QTimer>

#include <cstdio>
#include <malloc.h>
#include <future>
#include <memory>
#include <mutex>
#include <thread>

namespace {

// Loads the application module on a thread of its own from the start of the process and
// reaches the keyring; once this start turns out to be the running instance, it reads ahead
// there what the first screen needs. The GUI thread meanwhile builds the window. A start
// that hands over to the running instance waits for the module alone.
class ModuleLoader final {
public:
    ModuleLoader()
        : m_isPrimary(m_primary.get_future()), m_isLoaded(m_loaded.get_future()), m_thread([this]() { run(); })
    {
    }
    ~ModuleLoader()
    {
        decide(false);
        if (m_thread.joinable())
            m_thread.join();
    }
    ModuleLoader(const ModuleLoader &) = delete;
    ModuleLoader &operator=(const ModuleLoader &) = delete;

    // Whether this start is the running instance: only that one reads the keyring ahead.
    void decide(bool primary)
    {
        std::call_once(m_decided, [this, primary]() {
            m_primaryDecided = primary;
            m_primary.set_value(primary);
        });
    }

    // The module's entry, or null with the reason in `error`. The running instance waits
    // for the reading ahead too; another start only for the module.
    AppLaunch::Entry entry(QString *error)
    {
        decide(false);
        m_isLoaded.wait();
        if (m_primaryDecided && m_thread.joinable())
            m_thread.join();
        if (!m_entry && error)
            *error = m_error;
        return m_entry;
    }

private:
    void run()
    {
        AppLaunch::Prepare connect = nullptr;
        AppLaunch::Prepare prepare = nullptr;
        try {
            m_entry = reinterpret_cast<AppLaunch::Entry>(
                AppModule::resolve(AppLaunch::moduleName, AppLaunch::entrySymbol, &m_error));
            if (m_entry) {
                connect = reinterpret_cast<AppLaunch::Prepare>(
                    AppModule::resolve(AppLaunch::moduleName, AppLaunch::connectSymbol));
                prepare = reinterpret_cast<AppLaunch::Prepare>(
                    AppModule::resolve(AppLaunch::moduleName, AppLaunch::prepareSymbol));
            }
        } catch (...) {
            m_entry = nullptr;
            m_error = QStringLiteral("loading failed");
        }
        m_loaded.set_value();
        if (connect)
            connect();
        if (m_isPrimary.get() && prepare)
            prepare();
    }

    std::promise<bool> m_primary;
    std::future<bool> m_isPrimary;
    std::promise<void> m_loaded;
    std::future<void> m_isLoaded;
    std::once_flag m_decided;
    bool m_primaryDecided = false; // GUI thread
    AppLaunch::Entry m_entry = nullptr;
    QString m_error;
    std::thread m_thread; // last: starts once the members above exist
};

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
    // Qt takes the first thread that asks for its thread data as the main thread: this one,
    // before the loading thread starts.
    QThread::currentThread();
    ModuleLoader loader;
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
        loader.decide(false);
        lock.reset();
        running = startApplication(loader, launch, exitCode);
        if (!running)
            return exitCode;
        exitCode = QApplication::exec();
        running.reset();
        return exitCode;
    }
    loader.decide(true);

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
    running.reset();
    return exitCode;
}
