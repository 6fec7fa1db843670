// Log::emit on the calling thread against a bare QString append of the same line, on each
// of its two paths: queued for the writer (the writer keeps up: no line is dropped), and
// dropped (the queue is full: the line is only counted). Then a burst of 100,000 lines:
// how long the longest single emit held its caller, how many lines were dropped, and
// whether the log files stayed within their bound.

#include "bench/BenchRatio.h"
#include "Vantle/Utilities/Log.h"
#include "Vantle/Utilities/LogCenter.h"
#include "Vantle/Utilities/LogFileSink.h"
#include "Vantle/Utilities/LogRedaction.h"

#include <benchmark/benchmark.h>

#include <QFileInfo>
#include <QString>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <cstdio>
#include <string>
#include <vector>

namespace {

double fastest(const std::vector<double> &values)
{
    return values.empty() ? 0.0 : *std::min_element(values.begin(), values.end());
}

void measured(benchmark::internal::Benchmark *benchmark)
{
    benchmark->Repetitions(9)->ComputeStatistics("min", fastest);
}

const QString message = QStringLiteral("timer_start_failed error=500 code=http_500 category=cat_4f2a surface=menu_bar");

void BM_BareQStringAppend(benchmark::State &state)
{
    QString sink;
    for (auto _ : state) {
        sink.append(message);
        if (sink.size() > (1 << 20))
            sink.clear();
        benchmark::DoNotOptimize(sink.data());
    }
}
BENCHMARK(BM_BareQStringAppend)->Apply(measured);

// Lines emitted between two waits for the writer: far below the queue's bound, so that
// every one of them is queued.
constexpr int queuedStretch = 1000;

void BM_LogEmitQueued(benchmark::State &state)
{
    const Log log(QStringLiteral("ledger"));
    LogCenter &center = LogCenter::shared();
    center.drain(std::chrono::seconds(30));
    const std::uint64_t droppedBefore = center.droppedCount();
    int sinceDrain = 0;
    for (auto _ : state) {
        log.emit(QStringLiteral("info"), message);
        if (++sinceDrain == queuedStretch) {
            state.PauseTiming();
            center.drain(std::chrono::seconds(30));
            sinceDrain = 0;
            state.ResumeTiming();
        }
    }
    center.drain(std::chrono::seconds(30));
    if (center.droppedCount() != droppedBefore)
        state.SkipWithError("lines were dropped: this is not the queued path alone");
}
BENCHMARK(BM_LogEmitQueued)->Apply(measured);

// Holds the writer inside the telemetry sink, which it calls for "warn" lines, so that the
// queue fills and stays full.
class StuckWriter {
public:
    StuckWriter()
    {
        LogCenter::shared().setTelemetrySink([this](const LogRecord &) {
            std::unique_lock lock(m_mutex);
            m_entered = true;
            m_changed.notify_all();
            m_changed.wait(lock, [this] { return m_released; });
        });
        Log(QStringLiteral("ledger")).emit(QStringLiteral("warn"), message);
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return m_entered; });
    }
    ~StuckWriter()
    {
        {
            std::lock_guard lock(m_mutex);
            m_released = true;
        }
        m_changed.notify_all();
        LogCenter::shared().drain(std::chrono::seconds(60));
        LogCenter::shared().setTelemetrySink({});
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_entered = false;
    bool m_released = false;
};

void BM_LogEmitDropped(benchmark::State &state)
{
    const Log log(QStringLiteral("ledger"));
    LogCenter &center = LogCenter::shared();
    center.drain(std::chrono::seconds(30));
    StuckWriter stuck;
    for (qsizetype i = 0; i < LogCenter::queueLineLimit; ++i)
        log.emit(QStringLiteral("info"), message);
    const std::uint64_t droppedBefore = center.droppedCount();
    for (auto _ : state)
        log.emit(QStringLiteral("info"), message);
    if (center.droppedCount() - droppedBefore != static_cast<std::uint64_t>(state.iterations()))
        state.SkipWithError("lines were queued: this is not the drop path alone");
}
BENCHMARK(BM_LogEmitDropped)->Apply(measured);

// What the writer thread spends on each line before any sink sees it.
void BM_WriterRedaction(benchmark::State &state)
{
    for (auto _ : state) {
        QString redacted = LogRedaction::redact(message);
        benchmark::DoNotOptimize(redacted);
    }
}
BENCHMARK(BM_WriterRedaction)->Apply(measured);

// 100,000 lines as fast as one thread can emit them, with small files so that they rotate
// many times over.
void burst(const QString &directory)
{
    LogFileSink::Limits limits;
    limits.maxFileBytes = 256 * 1024;
    limits.maxFiles = 4;
    LogCenter &center = LogCenter::shared();
    center.drain(std::chrono::seconds(30));
    center.setFiles(directory, limits);
    const std::uint64_t droppedBefore = center.droppedCount();

    const Log log(QStringLiteral("ledger"));
    constexpr int lines = 100'000;
    std::chrono::nanoseconds longest{0};
    int overAMillisecond = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < lines; ++i) {
        const auto before = std::chrono::steady_clock::now();
        log.emit(QStringLiteral("info"), message);
        const auto took = std::chrono::steady_clock::now() - before;
        longest = std::max(longest, took);
        if (took > std::chrono::milliseconds(1))
            ++overAMillisecond;
    }
    const auto emitted = std::chrono::steady_clock::now() - start;
    const bool drained = center.drain(std::chrono::seconds(60));
    const auto written = std::chrono::steady_clock::now() - start;

    qint64 bytes = 0;
    const QStringList files = LogFileSink::files(directory);
    for (const QString &path : files)
        bytes += QFileInfo(path).size();
    const qint64 bound = limits.maxFileBytes * limits.maxFiles;
    const auto ms = [](auto d) { return std::chrono::duration<double, std::milli>(d).count(); };
    std::printf("burst of %d lines: emitted in %.1f ms, all written in %.1f ms%s\n", lines, ms(emitted), ms(written),
                drained ? "" : " (writer still busy)");
    // A long single emit is the scheduler taking the thread away, not a wait on the writer:
    // the count beside it shows how rare that is.
    std::printf("  longest single emit: %.3f ms; emits over 1 ms: %d of %d\n", ms(longest), overAMillisecond, lines);
    const std::uint64_t dropped = center.droppedCount() - droppedBefore;
    std::printf("  dropped while the writer fell behind: %llu of %d (%.1f %%)\n",
                static_cast<unsigned long long>(dropped), lines, 100.0 * static_cast<double>(dropped) / lines);
    std::printf("  log files: %lld of at most %d, %lld bytes of at most %lld: %s\n", static_cast<long long>(files.size()),
                limits.maxFiles, static_cast<long long>(bytes), static_cast<long long>(bound),
                files.size() <= limits.maxFiles && bytes <= bound ? "bounded" : "OVER THE BOUND");
}

} // namespace

int main(int argc, char **argv)
{
    // The redaction's patterns run as the application runs them: interpreted (see Vantle/main.cpp).
    if (!qEnvironmentVariableIsSet("QT_ENABLE_REGEXP_JIT"))
        qputenv("QT_ENABLE_REGEXP_JIT", "0");
    BenchRatio::initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    QTemporaryDir scratch;
    LogCenter::shared().setFiles(scratch.filePath(QStringLiteral("logs")), LogFileSink::Limits{});
    const auto print = [](const char *path) {
        return [path](const Spread &bare, const Spread &emit, const Spread &ratio) {
            std::printf("Log::emit on the caller, %s / bare QString append: %s (%.0f ns against %.0f ns)\n", path,
                        ratio.text("%.1f").c_str(), emit.median, bare.median);
        };
    };
    BenchRatio reporter({{"BM_BareQStringAppend", "BM_LogEmitQueued", print("queued")},
                         {"BM_BareQStringAppend", "BM_LogEmitDropped", print("dropped")}},
                        BenchRatio::cpuTime());
    benchmark::RunSpecifiedBenchmarks(&reporter);
    burst(scratch.filePath(QStringLiteral("burst")));
    LogCenter::shared().shutdown();
    benchmark::Shutdown();
    return 0;
}
