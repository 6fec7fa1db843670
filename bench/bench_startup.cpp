// Start-up of the application, as a person feels it, against a minimal Qt Widgets program
// measured in the same run:
//
//   Startup/FirstPaint   process start to the main window's first paint; counters
//                        vantle_ms, baseline_ms and ratio (goal: ratio <= 1.3)
//   Startup/IdleMemory   resident memory 3 seconds after the first paint, once idle
//   Startup/HiddenWakeups  wakeups of every thread of the process while its window is
//                        hidden: voluntary and involuntary context switches of all its
//                        threads over a whole 60 seconds (the application's own timers run
//                        every 60 seconds, so a shorter sample scaled up would miss or
//                        double them), after 5 seconds to settle; counters vantle_per_60s,
//                        baseline_per_60s
//
// Both programs run on the offscreen platform (or the X display when BENCH_STARTUP_X11=1
// and DISPLAY is set), from fresh XDG folders, with the local stack serving the services
// and a private D-Bus session with an unlocked keyring: the program re-runs itself inside
// one when it is not in one already.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

const QString vantleProgram = QStringLiteral(VANTLE_EXECUTABLE);
const QString baselineProgram = QStringLiteral(VANTLE_STARTUP_BASELINE);

// The local stack for the whole run: its addresses go into every start's environment.
class Stack {
public:
    Stack()
    {
        m_process.start(QStringLiteral(VANTLE_LOCAL_STACK),
                        {QStringLiteral("--data"), m_dir.filePath(QStringLiteral("data")), QStringLiteral("--env-file"),
                         m_dir.filePath(QStringLiteral("env"))});
        for (int i = 0; i < 300 && !QFile::exists(m_dir.filePath(QStringLiteral("env"))); ++i)
            QThread::msleep(100);
        QFile env(m_dir.filePath(QStringLiteral("env")));
        if (env.open(QIODevice::ReadOnly))
            m_addresses = QString::fromUtf8(env.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    ~Stack()
    {
        m_process.terminate();
        if (!m_process.waitForFinished(5000))
            m_process.kill();
        m_process.waitForFinished();
    }
    const QStringList &addresses() const { return m_addresses; }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    QStringList m_addresses;
};

Stack &stack()
{
    static Stack instance;
    return instance;
}

// One start of a program from fresh folders; measures until its first paint.
class Start {
public:
    Start(const QString &program, const QByteArray &probe)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *sub : {"data", "config", "cache", "state", "runtime"}) {
            const QString path = m_home.filePath(QString::fromLatin1(sub));
            QDir().mkpath(path);
        }
        QFile::setPermissions(m_home.filePath(QStringLiteral("runtime")),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        env.insert(QStringLiteral("HOME"), m_home.path());
        env.insert(QStringLiteral("XDG_DATA_HOME"), m_home.filePath(QStringLiteral("data")));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_CACHE_HOME"), m_home.filePath(QStringLiteral("cache")));
        env.insert(QStringLiteral("XDG_STATE_HOME"), m_home.filePath(QStringLiteral("state")));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_home.filePath(QStringLiteral("runtime")));
        const bool x11 = qgetenv("BENCH_STARTUP_X11") == "1" && !qgetenv("DISPLAY").isEmpty();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), x11 ? QStringLiteral("xcb") : QStringLiteral("offscreen"));
        env.insert(QStringLiteral("VANTLE_STARTUP_PROBE"), QString::fromLatin1(probe));
        env.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
        for (const QString &line : stack().addresses())
            env.insert(line.section(QLatin1Char('='), 0, 0), line.section(QLatin1Char('='), 1));
        m_process.setProcessEnvironment(env);
        m_process.setProcessChannelMode(QProcess::SeparateChannels);
        m_process.setStandardErrorFile(QProcess::nullDevice());

        QElapsedTimer clock;
        clock.start();
        m_process.start(program, {});
        QByteArray out;
        while (!out.contains("vantle-first-paint\n")) {
            if (!m_process.waitForReadyRead(30000))
                return;
            out += m_process.readAllStandardOutput();
        }
        m_firstPaint = std::chrono::nanoseconds(clock.nsecsElapsed());
    }
    ~Start()
    {
        m_process.terminate();
        if (!m_process.waitForFinished(5000))
            m_process.kill();
        m_process.waitForFinished();
    }

    std::optional<std::chrono::nanoseconds> firstPaint() const { return m_firstPaint; }
    qint64 pid() const { return m_process.processId(); }

    // VmRSS of the process, in kibibytes.
    qint64 residentKiB() const
    {
        QFile status(QStringLiteral("/proc/%1/status").arg(pid()));
        if (!status.open(QIODevice::ReadOnly))
            return -1;
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("VmRSS:"))
                return line.mid(6).trimmed().split(' ').first().toLongLong();
        }
        return -1;
    }

    // Context switches of every thread, voluntary and not: each is the process waking.
    qint64 contextSwitches() const
    {
        qint64 total = 0;
        const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid()));
        for (const QString &task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            QFile status(tasks.filePath(task + QStringLiteral("/status")));
            if (!status.open(QIODevice::ReadOnly))
                continue;
            for (const QByteArray &line : status.readAll().split('\n')) {
                if (line.startsWith("voluntary_ctxt_switches:") || line.startsWith("nonvoluntary_ctxt_switches:"))
                    total += line.mid(line.indexOf(':') + 1).trimmed().toLongLong();
            }
        }
        return total;
    }

private:
    QTemporaryDir m_home;
    QProcess m_process;
    std::optional<std::chrono::nanoseconds> m_firstPaint;
};

// The ratio of the last FirstPaint run, for the closing line.
std::optional<double> firstPaintRatio;

double ms(std::chrono::nanoseconds value)
{
    return std::chrono::duration<double, std::milli>(value).count();
}

void FirstPaint(benchmark::State &state)
{
    double vantleTotal = 0;
    double baselineTotal = 0;
    for (auto _ : state) {
        std::optional<std::chrono::nanoseconds> baseline = Start(baselineProgram, "paint").firstPaint();
        std::optional<std::chrono::nanoseconds> vantle = Start(vantleProgram, "paint").firstPaint();
        if (!baseline || !vantle) {
            state.SkipWithError("a program never painted its window");
            return;
        }
        state.SetIterationTime(std::chrono::duration<double>(*vantle).count());
        vantleTotal += ms(*vantle);
        baselineTotal += ms(*baseline);
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["vantle_ms"] = vantleTotal / n;
    state.counters["baseline_ms"] = baselineTotal / n;
    state.counters["ratio"] = vantleTotal / baselineTotal;
    firstPaintRatio = vantleTotal / baselineTotal;
}

void IdleMemory(benchmark::State &state)
{
    for (auto _ : state) {
        Start baseline(baselineProgram, "paint");
        Start vantle(vantleProgram, "paint");
        if (!baseline.firstPaint() || !vantle.firstPaint()) {
            state.SkipWithError("a program never painted its window");
            return;
        }
        std::this_thread::sleep_for(3s);
        const double v = static_cast<double>(vantle.residentKiB()) / 1024.0;
        const double b = static_cast<double>(baseline.residentKiB()) / 1024.0;
        state.counters["vantle_rss_mib"] = v;
        state.counters["baseline_rss_mib"] = b;
        state.counters["ratio"] = b > 0 ? v / b : 0;
    }
}

void HiddenWakeups(benchmark::State &state)
{
    constexpr auto settle = 5s;
    constexpr auto sample = 60s;
    constexpr double toMinute = 1.0;
    for (auto _ : state) {
        Start baseline(baselineProgram, "hide");
        Start vantle(vantleProgram, "hide");
        if (!baseline.firstPaint() || !vantle.firstPaint()) {
            state.SkipWithError("a program never painted its window");
            return;
        }
        std::this_thread::sleep_for(settle);
        const qint64 v0 = vantle.contextSwitches();
        const qint64 b0 = baseline.contextSwitches();
        std::this_thread::sleep_for(sample);
        state.counters["vantle_per_60s"] = static_cast<double>(vantle.contextSwitches() - v0) * toMinute;
        state.counters["baseline_per_60s"] = static_cast<double>(baseline.contextSwitches() - b0) * toMinute;
    }
}

BENCHMARK(FirstPaint)->Name("Startup/FirstPaint")->UseManualTime()->Iterations(10)->Unit(benchmark::kMillisecond);
BENCHMARK(IdleMemory)->Name("Startup/IdleMemory")->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(HiddenWakeups)->Name("Startup/HiddenWakeups")->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    // A private session bus with an unlocked keyring, as the application has on a desktop.
    if (qgetenv("VANTLE_BENCH_INNER").isEmpty()) {
        std::string command = "eval \"$(echo -n bench | gnome-keyring-daemon --unlock --components=secrets)\" >/dev/null;"
                              " VANTLE_BENCH_INNER=1 exec \"$0\" \"$@\"";
        std::vector<char *> args{const_cast<char *>("dbus-run-session"), const_cast<char *>("--"),
                                 const_cast<char *>("bash"), const_cast<char *>("-c"), command.data()};
        for (int i = 0; i < argc; ++i)
            args.push_back(argv[i]);
        args.push_back(nullptr);
        ::execvp("dbus-run-session", args.data());
        std::perror("bench_startup: dbus-run-session");
        return 1;
    }
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (firstPaintRatio) {
        std::printf("First paint, Vantle / minimal Qt Widgets program: %.2f (target <= 1.3) %s\n", *firstPaintRatio,
                    *firstPaintRatio <= 1.3 ? "ok" : "OVER TARGET");
    }
    return 0;
}
