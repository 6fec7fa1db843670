// Start-up and idle cost of the application as a person feels them, each a ratio against
// a Qt Widgets baseline started in the same run, in turn with it:
//
//   Startup/SignedOut  exec -> first window mapped (the loading view) against an empty
//                      960 x 680 window; exec -> sign-in screen shown against a window with
//                      a label and a button (any window with text pays the font set-up);
//                      CPU time spent until then against the same window's.
//   Startup/SignedIn   exec -> the week shown (session restored from the keyring, the
//                      ledger on loopback) against the window with text; counts the starts
//                      that painted the sign-in screen on the way (there must be none).
//   Idle/SignedOut, Idle/SignedIn
//                      once each program has shown its screen: resident memory and own
//                      (anonymous) memory after 30 seconds, threads, and wakeups (context
//                      switches of all threads) in the first and in the second minute.
//
// Each start figure is the median of the paired ratios of the rounds (BENCH_ROUNDS, 20 by
// default), printed with its spread. The programs run on a real X server that does not
// reset between them (the display used is printed first), from a home of their own, on the
// desktop of DesktopSession (the program re-runs itself inside it), with the local stack
// serving the services. The signed-in account, its session and its ledger are made before
// the stack starts. Before each start figure, the libraries the first screen maps beyond
// the window with text's, and the threads it runs then.
#include "bench/BenchRatio.h"
#include "bench/DesktopSession.h"
#include "OrvalenAccount/KeychainStorage.h"
#include "OrvalenAccount/OasResponse.h"
#include "OrvalenAccount/StoredSession.h"
#include "Vantle/Onboarding/WelcomeAcknowledgementStore.h"
#include "Vantle/Shell/StartupProbe.h"
#include "tools/fakes/FakeIdentityService.h"
#include "tools/fakes/FakeLedgerService.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

// BENCH_VANTLE names another build's executable (to compare two builds in one run).
const QString vantleProgram = qEnvironmentVariableIsEmpty("BENCH_VANTLE") ? QStringLiteral(VANTLE_EXECUTABLE)
                                                                          : qEnvironmentVariable("BENCH_VANTLE");
const QString baselineProgram = QStringLiteral(VANTLE_STARTUP_BASELINE);
const QString benchEmail = QStringLiteral("bench@example.test");

int rounds()
{
    const int configured = qEnvironmentVariableIntValue("BENCH_ROUNDS");
    return configured > 0 ? configured : 20;
}

// One line of the closing table.
struct Figure {
    std::string name;
    std::string vantle;
    std::string baseline;
    std::string ratio;
    std::string goal;
    std::string verdict;
};
std::vector<Figure> table;

std::string format(const char *pattern, double a, double b = 0, double c = 0)
{
    char text[128];
    std::snprintf(text, sizeof text, pattern, a, b, c);
    return text;
}

void addRatioFigure(const std::string &name, const Spread &vantle, const Spread &baseline, const Spread &ratio,
                    const std::string &unit, double goal)
{
    Figure figure;
    figure.name = name;
    figure.vantle = format("%.1f ", vantle.median) + unit;
    figure.baseline = format("%.1f ", baseline.median) + unit;
    figure.ratio = ratio.n > 1 ? ratio.text() : format("%.2f", ratio.median);
    figure.goal = goal > 0 ? format("<= %g", goal) : "-";
    figure.verdict = goal <= 0 ? "" : ratio.median <= goal ? "ok" : "OVER";
    table.push_back(figure);
}

// ---- the processes ------------------------------------------------------------------------

// A folder set that stands for one person's home across the starts of one program.
class Home {
public:
    Home()
    {
        for (const char *sub : {"data", "config", "cache", "state", "runtime"})
            QDir().mkpath(m_dir.filePath(QString::fromLatin1(sub)));
        QFile::setPermissions(m_dir.filePath(QStringLiteral("runtime")),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
    void apply(QProcessEnvironment &env) const
    {
        env.insert(QStringLiteral("HOME"), m_dir.path());
        env.insert(QStringLiteral("XDG_DATA_HOME"), m_dir.filePath(QStringLiteral("data")));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_dir.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_CACHE_HOME"), m_dir.filePath(QStringLiteral("cache")));
        env.insert(QStringLiteral("XDG_STATE_HOME"), m_dir.filePath(QStringLiteral("state")));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_dir.filePath(QStringLiteral("runtime")));
    }

private:
    QTemporaryDir m_dir;
};

// The local stack for the whole run, with one account that has a live session and a
// ledger with categories; its addresses go into every start's environment.
class Stack {
public:
    Stack()
    {
        const QString data = m_dir.filePath(QStringLiteral("data"));
        QDir().mkpath(data);
        {
            Fakes::FakeIdentityService identity;
            const Fakes::FakeIdentityService::Account account = identity.accountFor(benchEmail);
            m_session = OasResponse::fromJson(identity.issueSession(QStringLiteral("vantle"), account));
            writeState(data, QStringLiteral("identity"), identity.saveState());

            Fakes::FakeLedgerService ledger;
            ledger.addCategory(QStringLiteral("Deep work"), QStringLiteral("committed"), 0);
            ledger.addCategory(QStringLiteral("Upkeep"), QStringLiteral("committed"), 1);
            ledger.addCategory(QStringLiteral("Reading"), QStringLiteral("yours"), 2);
            QJsonObject state = ledger.saveState();
            QJsonObject accounts = state.value(QStringLiteral("accounts")).toObject();
            accounts.insert(account.id, accounts.take(QString()));
            state.insert(QStringLiteral("accounts"), accounts);
            writeState(data, QStringLiteral("ledger"), state);
        }
        m_process.setStandardOutputFile(QProcess::nullDevice());
        m_process.setStandardErrorFile(QProcess::nullDevice());
        m_process.start(QStringLiteral(VANTLE_LOCAL_STACK),
                        {QStringLiteral("--data"), data, QStringLiteral("--env-file"), m_dir.filePath(QStringLiteral("env"))});
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

    // Puts the account's session in the keyring, as a sign-in would have, and marks it as
    // past the first-run gate; or takes the session out again.
    void storeSession(bool signedIn) const
    {
        KeychainStorage storage(QStringLiteral("vantle"));
        if (!signedIn) {
            storage.deleteData(KeychainStorage::Keys::session);
            return;
        }
        storage.setJSON(StoredSession::from(m_session, QDateTime::currentDateTimeUtc()), KeychainStorage::Keys::session);
        WelcomeAcknowledgementStore::acknowledge(m_session.orvalenAccountId.raw);
    }

private:
    static void writeState(const QString &folder, const QString &name, const QJsonObject &state)
    {
        QFile file(QDir(folder).filePath(name + QStringLiteral(".json")));
        if (file.open(QIODevice::WriteOnly))
            file.write(QJsonDocument(state).toJson(QJsonDocument::Compact));
    }

    QTemporaryDir m_dir;
    QProcess m_process;
    QStringList m_addresses;
    OasResponse m_session;
};

Stack *g_stack = nullptr;

DesktopSession::Display *g_display = nullptr;

// Sums a per-thread figure of a process over its threads.
template <typename Read>
qint64 overThreads(qint64 pid, Read read)
{
    qint64 total = 0;
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    for (const QString &task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        total += read(tasks.filePath(task));
    return total;
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

qint64 statusField(const QByteArray &status, const QByteArray &name)
{
    for (const QByteArray &line : status.split('\n')) {
        if (line.startsWith(name + ':'))
            return line.mid(name.size() + 1).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

// One run of a program, from exec; records when each line of its start-up probe arrived.
class Start {
public:
    Start(const QString &program, const QStringList &arguments, const Home &home, const QByteArray &probe = "paint")
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        home.apply(env);
        env.insert(QStringLiteral("DISPLAY"), g_display->name());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.insert(QString::fromLatin1(StartupProbe::variable), QString::fromLatin1(probe));
        env.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
        for (const QString &line : g_stack->addresses())
            env.insert(line.section(QLatin1Char('='), 0, 0), line.section(QLatin1Char('='), 1));
        m_process.setProcessEnvironment(env);
        m_process.setStandardErrorFile(qEnvironmentVariableIsEmpty("BENCH_STDERR") ? QProcess::nullDevice()
                                                                                 : qEnvironmentVariable("BENCH_STDERR"),
                                       QIODevice::Append);
        m_clock.start();
        m_process.start(program, arguments);
    }
    ~Start()
    {
        m_process.terminate();
        if (!m_process.waitForFinished(5000))
            m_process.kill();
        m_process.waitForFinished();
    }
    Start(const Start &) = delete;
    Start &operator=(const Start &) = delete;

    // Waits for the line; the milliseconds from exec to its arrival, and the CPU time the
    // process had spent by then.
    struct Milestone {
        double ms = 0;
        double cpuMs = 0;
    };
    std::optional<Milestone> waitFor(const QByteArray &line, std::chrono::milliseconds patience = 30s)
    {
        for (;;) {
            if (const auto found = m_seen.find(line); found != m_seen.end())
                return found->second;
            const qint64 left = patience.count() - m_clock.elapsed();
            if (left <= 0 || !m_process.waitForReadyRead(static_cast<int>(left)))
                return std::nullopt;
            const double now = static_cast<double>(m_clock.nsecsElapsed()) / 1e6;
            const double threadsCpu = cpuMs();
            m_pending += m_process.readAllStandardOutput();
            qsizetype end;
            while ((end = m_pending.indexOf('\n')) >= 0) {
                QByteArray arrived = m_pending.left(end);
                m_pending.remove(0, end + 1);
                // The CPU time the program tells with the line counts the threads that have
                // ended too; an older build's lines lack it.
                double cpu = threadsCpu;
                const qsizetype told = arrived.indexOf(QByteArray(" ") + StartupProbe::cpuPrefix);
                if (told >= 0) {
                    cpu = arrived.mid(told + 1 + qstrlen(StartupProbe::cpuPrefix)).toDouble();
                    arrived.truncate(told);
                }
                m_order.push_back(arrived);
                m_seen.emplace(arrived, Milestone{now, cpu});
            }
        }
    }
    bool saw(const QByteArray &line) const { return m_seen.count(line) > 0; }
    // For a start that never showed what was waited for: what it did say.
    void reportLines() const
    {
        std::fprintf(stderr, "bench_startup: %s said:", qPrintable(m_process.program()));
        for (const QByteArray &line : m_order)
            std::fprintf(stderr, " \"%s\"", line.constData());
        std::fprintf(stderr, "\n");
    }
    // The lines in the order they arrived.
    const std::vector<QByteArray> &lines() const { return m_order; }

    qint64 pid() const { return m_process.processId(); }
    // The CPU time of the threads alive now.
    double cpuMs() const
    {
        return static_cast<double>(overThreads(pid(), [](const QString &task) {
                   return readAll(task + QStringLiteral("/schedstat")).split(' ').first().toLongLong();
               }))
            / 1e6;
    }
    double residentMiB() const { return static_cast<double>(statusField(status(), "VmRSS")) / 1024.0; }
    double anonymousMiB() const { return static_cast<double>(statusField(status(), "RssAnon")) / 1024.0; }
    int threads() const { return static_cast<int>(statusField(status(), "Threads")); }
    // Context switches of every thread, voluntary and not: each is the process waking.
    qint64 wakeups() const
    {
        return overThreads(pid(), [](const QString &task) {
            const QByteArray s = readAll(task + QStringLiteral("/status"));
            return statusField(s, "voluntary_ctxt_switches") + statusField(s, "nonvoluntary_ctxt_switches");
        });
    }
    std::string threadNames() const
    {
        std::string names;
        const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid()));
        for (const QString &task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot))
            names += (names.empty() ? "" : ", ")
                + readAll(tasks.filePath(task + QStringLiteral("/comm"))).trimmed().toStdString();
        return names;
    }
    // The shared objects mapped now, by file name, with their size on disk.
    std::map<std::string, qint64> libraries() const
    {
        std::map<std::string, qint64> out;
        for (const QByteArray &line : readAll(QStringLiteral("/proc/%1/maps").arg(pid())).split('\n')) {
            const qsizetype path = line.indexOf('/');
            if (path < 0 || !line.contains(".so"))
                continue;
            const QFileInfo file(QString::fromLocal8Bit(line.mid(path)));
            out.emplace(file.fileName().toStdString(), file.size());
        }
        return out;
    }
    // The same by thread name, for telling where they come from.
    std::map<std::string, qint64> wakeupsByThread() const
    {
        std::map<std::string, qint64> out;
        const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid()));
        for (const QString &task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            const QByteArray s = readAll(tasks.filePath(task + QStringLiteral("/status")));
            const std::string name = readAll(tasks.filePath(task + QStringLiteral("/comm"))).trimmed().toStdString();
            out[name] += statusField(s, "voluntary_ctxt_switches") + statusField(s, "nonvoluntary_ctxt_switches");
        }
        return out;
    }

private:
    QByteArray status() const { return readAll(QStringLiteral("/proc/%1/status").arg(pid())); }

    QProcess m_process;
    QElapsedTimer m_clock;
    QByteArray m_pending;
    std::map<QByteArray, Milestone> m_seen;
    std::vector<QByteArray> m_order;
};

const QByteArray firstPaint = StartupProbe::firstPaintLine;
const QByteArray gateShown = QByteArray(StartupProbe::surfacePrefix) + "gate";
const QByteArray weekShown = QByteArray(StartupProbe::surfacePrefix) + "main";
const QStringList emptyWindow;
const QStringList textWindow{QStringLiteral("--text")};

// What a first screen maps that the window with text does not, and the threads it runs
// then: both follow from the build, not from the machine's load.
void reportMapped(const char *screen, const Start &vantle, const Start &baseline)
{
    const std::map<std::string, qint64> base = baseline.libraries();
    std::string names;
    qint64 bytes = 0;
    int count = 0;
    for (const auto &[name, size] : vantle.libraries()) {
        if (base.count(name))
            continue;
        names += (names.empty() ? "" : ", ") + name;
        bytes += size;
        ++count;
    }
    std::printf("%s: %d libraries beyond the text window's (%.1f MiB on disk): %s\n", screen, count,
                static_cast<double>(bytes) / (1024.0 * 1024.0), names.c_str());
    std::printf("%s: threads %s\n", screen, vantle.threadNames().c_str());
}

// ---- the benchmarks -----------------------------------------------------------------------

void SignedOut(benchmark::State &state)
{
    g_stack->storeSession(false);
    Home vantleHome, baselineHome;
    // Once unmeasured: the keyring items of a first start, the caches of the file system.
    Start(vantleProgram, {}, vantleHome).waitFor(gateShown);
    {
        Start vantle(vantleProgram, {}, vantleHome), baseline(baselineProgram, textWindow, baselineHome);
        if (vantle.waitFor(gateShown) && baseline.waitFor(firstPaint))
            reportMapped("the sign-in screen", vantle, baseline);
    }

    std::vector<double> mapMs, emptyMs, mapRatio, signInMs, textMs, signInRatio, cpuMs, textCpuMs, cpuRatio;
    for (auto _ : state) {
        for (int round = 0; round < rounds(); ++round) {
            std::optional<Start::Milestone> empty, text, mapped, signIn;
            const auto runBaselines = [&]() {
                empty = Start(baselineProgram, emptyWindow, baselineHome).waitFor(firstPaint);
                text = Start(baselineProgram, textWindow, baselineHome).waitFor(firstPaint);
            };
            const auto runVantle = [&]() {
                Start vantle(vantleProgram, {}, vantleHome);
                mapped = vantle.waitFor(firstPaint);
                signIn = vantle.waitFor(gateShown);
                if (!signIn)
                    vantle.reportLines();
            };
            inTurn(round, runBaselines, runVantle);
            if (!empty || !text || !mapped || !signIn) {
                state.SkipWithError("a program never showed its screen");
                return;
            }
            mapMs.push_back(mapped->ms);
            emptyMs.push_back(empty->ms);
            mapRatio.push_back(mapped->ms / empty->ms);
            signInMs.push_back(signIn->ms);
            textMs.push_back(text->ms);
            signInRatio.push_back(signIn->ms / text->ms);
            cpuMs.push_back(signIn->cpuMs);
            textCpuMs.push_back(text->cpuMs);
            cpuRatio.push_back(signIn->cpuMs / text->cpuMs);
        }
    }
    const Spread map = Spread::of(mapRatio), signIn = Spread::of(signInRatio), cpu = Spread::of(cpuRatio);
    state.counters["mapped_ratio"] = map.median;
    state.counters["signin_ms"] = Spread::of(signInMs).median;
    state.counters["signin_ratio"] = signIn.median;
    state.counters["cpu_ratio"] = cpu.median;
    addRatioFigure("exec -> first window mapped (loading view) / empty window", Spread::of(mapMs), Spread::of(emptyMs), map,
                   "ms", 0);
    addRatioFigure("exec -> sign-in screen shown, signed out / text window", Spread::of(signInMs), Spread::of(textMs), signIn,
                   "ms", 1.5);
    addRatioFigure("CPU until the sign-in screen / text window", Spread::of(cpuMs), Spread::of(textCpuMs), cpu, "ms", 1.5);
}

void SignedIn(benchmark::State &state)
{
    g_stack->storeSession(true);
    Home vantleHome, baselineHome;
    Start(vantleProgram, {}, vantleHome).waitFor(weekShown);
    {
        Start vantle(vantleProgram, {}, vantleHome), baseline(baselineProgram, textWindow, baselineHome);
        if (vantle.waitFor(weekShown) && baseline.waitFor(firstPaint))
            reportMapped("the week", vantle, baseline);
    }

    std::vector<double> weekMs, textMs, ratio;
    int signInPainted = 0;
    for (auto _ : state) {
        for (int round = 0; round < rounds(); ++round) {
            std::optional<Start::Milestone> text, week;
            const auto runBaseline = [&]() { text = Start(baselineProgram, textWindow, baselineHome).waitFor(firstPaint); };
            const auto runVantle = [&]() {
                Start vantle(vantleProgram, {}, vantleHome);
                week = vantle.waitFor(weekShown);
                signInPainted += vantle.saw(gateShown) ? 1 : 0;
                if (!week)
                    vantle.reportLines();
            };
            inTurn(round, runBaseline, runVantle);
            if (!text || !week) {
                state.SkipWithError("a program never showed its screen");
                return;
            }
            weekMs.push_back(week->ms);
            textMs.push_back(text->ms);
            ratio.push_back(week->ms / text->ms);
        }
    }
    const Spread spread = Spread::of(ratio);
    state.counters["week_ms"] = Spread::of(weekMs).median;
    state.counters["week_ratio"] = spread.median;
    state.counters["signin_screen_painted"] = signInPainted;
    addRatioFigure("exec -> the week shown, signed in / text window", Spread::of(weekMs), Spread::of(textMs), spread, "ms",
                   2.0);
    Figure flashes;
    flashes.name = "signed-in starts that painted the sign-in screen";
    flashes.vantle = std::to_string(signInPainted) + " of " + std::to_string(weekMs.size());
    flashes.baseline = "-";
    flashes.ratio = "-";
    flashes.goal = "0";
    flashes.verdict = signInPainted == 0 ? "ok" : "OVER";
    table.push_back(flashes);
}

// Both programs side by side, from their screen on: memory after 30 seconds, wakeups in
// the first and in the second minute.
void idle(benchmark::State &state, bool signedIn)
{
    g_stack->storeSession(signedIn);
    Home vantleHome, baselineHome;
    for (auto _ : state) {
        Start vantle(vantleProgram, {}, vantleHome);
        Start baseline(baselineProgram, textWindow, baselineHome);
        if (!vantle.waitFor(signedIn ? weekShown : gateShown) || !baseline.waitFor(firstPaint)) {
            state.SkipWithError("a program never showed its screen");
            return;
        }
        const qint64 vantleStart = vantle.wakeups();
        const qint64 baselineStart = baseline.wakeups();
        const std::map<std::string, qint64> shown = vantle.wakeupsByThread();
        std::this_thread::sleep_for(30s);
        const double rss = vantle.residentMiB(), baseRss = baseline.residentMiB();
        const double anon = vantle.anonymousMiB(), baseAnon = baseline.anonymousMiB();
        std::this_thread::sleep_for(30s);
        // Counted once the first minute is over: threads that only served start-up have
        // ended by then (Qt's pools let theirs go after 30 idle seconds).
        const int threads = vantle.threads(), baseThreads = baseline.threads();
        const std::string names = vantle.threadNames();
        const qint64 vantleMinute = vantle.wakeups(), baselineMinute = baseline.wakeups();
        const std::map<std::string, qint64> minute = vantle.wakeupsByThread();
        std::this_thread::sleep_for(60s);
        const qint64 vantleSteady = vantle.wakeups() - vantleMinute;
        const qint64 baselineSteady = baseline.wakeups() - baselineMinute;
        const std::map<std::string, qint64> steady = vantle.wakeupsByThread();

        state.counters["rss_mib"] = rss;
        state.counters["rss_ratio"] = rss / baseRss;
        state.counters["anon_mib"] = anon;
        state.counters["anon_ratio"] = anon / baseAnon;
        state.counters["threads"] = threads;
        state.counters["wakeups_first_minute"] = static_cast<double>(vantleMinute - vantleStart);
        state.counters["wakeups_steady_minute"] = static_cast<double>(vantleSteady);

        const std::string when = signedIn ? "signed in" : "signed out";
        const auto single = [](double v) { return Spread{v, v, v, v, v, 1}; };
        addRatioFigure("RSS idle 30 s, " + when, single(rss), single(baseRss), single(rss / baseRss), "MiB",
                       signedIn ? 0 : 1.35);
        addRatioFigure("own heap (anonymous) idle, " + when, single(anon), single(baseAnon), single(anon / baseAnon),
                       "MiB", signedIn ? 0 : 1.5);
        Figure wakeups;
        wakeups.name = "wakeups a minute, idle, " + when + " (second minute; first minute)";
        wakeups.vantle = std::to_string(vantleSteady) + "; " + std::to_string(vantleMinute - vantleStart);
        wakeups.baseline = std::to_string(baselineSteady) + "; " + std::to_string(baselineMinute - baselineStart);
        wakeups.ratio = "-";
        wakeups.goal = signedIn ? "<= 5 + refresh" : "<= 5";
        wakeups.verdict = "";
        const auto byThread = [](const std::map<std::string, qint64> &from, const std::map<std::string, qint64> &to) {
            std::string where;
            for (const auto &[thread, count] : to) {
                const auto earlier = from.find(thread);
                const qint64 woke = count - (earlier == from.end() ? 0 : earlier->second);
                if (woke > 0)
                    where += (where.empty() ? "" : ", ") + thread + " " + std::to_string(woke);
            }
            return where.empty() ? std::string("none") : where;
        };
        table.push_back(wakeups);
        Figure threadCount;
        threadCount.name = "threads at idle, " + when;
        threadCount.vantle = std::to_string(threads);
        threadCount.baseline = std::to_string(baseThreads);
        threadCount.ratio = "-";
        threadCount.goal = "as few as the work needs";
        table.push_back(threadCount);
        std::printf("idle, %s: wakeups by thread, first minute: %s; second minute: %s\n", when.c_str(),
                    byThread(shown, minute).c_str(), byThread(minute, steady).c_str());
        std::printf("idle, %s: threads after the first minute: %s\n", when.c_str(), names.c_str());
    }
}

void IdleSignedOut(benchmark::State &state)
{
    idle(state, false);
}

void IdleSignedIn(benchmark::State &state)
{
    idle(state, true);
}

BENCHMARK(SignedOut)->Name("Startup/SignedOut")->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(SignedIn)->Name("Startup/SignedIn")->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(IdleSignedOut)->Name("Idle/SignedOut")->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(IdleSignedIn)->Name("Idle/SignedIn")->Iterations(1)->Unit(benchmark::kSecond);

void printTable()
{
    if (table.empty())
        return;
    double load[3] = {0, 0, 0};
    if (::getloadavg(load, 3) < 0)
        load[0] = -1;
    std::printf("\n%d rounds, medians; ratio: median [p25-p75] (min-max) of the paired ratios; load average %.2f\n",
                rounds(), load[0]);
    std::printf("display: %s\n", g_display ? g_display->description().c_str() : "none");
    std::printf("| figure | Vantle | baseline | ratio | goal | |\n|---|---|---|---|---|---|\n");
    for (const Figure &f : table) {
        std::printf("| %s | %s | %s | %s | %s | %s |\n", f.name.c_str(), f.vantle.c_str(), f.baseline.c_str(),
                    f.ratio.c_str(), f.goal.c_str(), f.verdict.c_str());
    }
}

} // namespace

int main(int argc, char **argv)
{
    if (const std::optional<int> status = DesktopSession::enter(argc, argv))
        return *status;
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    DesktopSession::Display display;
    if (display.name().isEmpty()) {
        std::fprintf(stderr, "bench_startup: no X display: set DISPLAY or install Xvfb\n");
        return 1;
    }
    g_display = &display;
    std::printf("display: %s\n", display.description().c_str());
    Stack stack;
    g_stack = &stack;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    g_stack = nullptr;
    printTable();
    g_display = nullptr;
    return 0;
}
