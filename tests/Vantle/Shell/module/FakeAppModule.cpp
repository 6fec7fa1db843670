// Stands in for the application module when a test starts the real executable: it reaches
// and reads nothing, and writes what the executable asked of it, one line each, to the file
// named by VANTLE_FAKE_MODULE_REPORT:
//
//   connect, prepare, start          each entry point, as it is called
//   application-outlived-loading     the application object went after the reading ahead ended
//   application-went-while-loading   it went while the reading ahead still ran
//   inconclusive                     start-up ran before the event loop could end without it
//
// Its reading ahead ends the event loop before start-up ran (a quit that comes first) and
// then waits for the application object to go, as a slow keyring would keep it.
#include <QByteArray>
#include <QCoreApplication>
#include <QFile>

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace {

using namespace std::chrono_literals;

std::mutex mutex;
std::condition_variable changed;
bool loopEnded = false;
bool applicationGoing = false;
bool preparing = false;

void report(const QByteArray &line)
{
    QFile file(qEnvironmentVariable("VANTLE_FAKE_MODULE_REPORT"));
    if (file.open(QIODevice::Append))
        file.write(line + '\n');
}

// Called while the application object is destroyed.
void applicationGoes()
{
    const std::lock_guard lock(mutex);
    applicationGoing = true;
    report(preparing ? "application-went-while-loading" : "application-outlived-loading");
    changed.notify_all();
}

} // namespace

extern "C" Q_DECL_EXPORT void vantle_app_connect()
{
    report("connect");
}

extern "C" Q_DECL_EXPORT void vantle_app_prepare()
{
    std::unique_lock lock(mutex);
    preparing = true;
    report("prepare");
    qAddPostRoutine(applicationGoes);
    QObject::connect(
        qApp, &QCoreApplication::aboutToQuit, qApp,
        []() {
            const std::lock_guard ended(mutex);
            loopEnded = true;
            changed.notify_all();
        },
        Qt::DirectConnection);
    QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    // The window painted first and start-up is waiting for this thread: nothing to learn.
    if (!changed.wait_for(lock, 3s, []() { return loopEnded; }))
        report("inconclusive");
    else
        changed.wait_for(lock, 2s, []() { return applicationGoing; });
    preparing = false;
}

extern "C" Q_DECL_EXPORT QObject *vantle_app_start(void *, int *exitCode)
{
    report("start");
    *exitCode = 0;
    return nullptr;
}
