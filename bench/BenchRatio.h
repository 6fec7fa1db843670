#pragma once

#include <benchmark/benchmark.h>

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// Console output as usual, plus one line that compares a benchmark with its baseline from
// the same run once both have run: a ratio holds on any machine, a time does not.
class BenchRatio final : public benchmark::ConsoleReporter {
public:
    // What is compared of one run; nothing skips the run.
    using Measure = std::function<std::optional<double>(const Run &)>;
    // Prints the comparison line from the two figures.
    using Print = std::function<void(double baseline, double measured)>;

    // CPU or wall time of a single run, or of the fastest of several repetitions.
    static Measure cpuTime() { return fastest([](const Run &run) { return run.GetAdjustedCPUTime(); }); }
    static Measure realTime() { return fastest([](const Run &run) { return run.GetAdjustedRealTime(); }); }
    // A counter the benchmark sets itself (a median it measured, say).
    static Measure counter(std::string name)
    {
        return [name = std::move(name)](const Run &run) -> std::optional<double> {
            const auto found = run.counters.find(name);
            if (found == run.counters.end())
                return std::nullopt;
            return found->second.value;
        };
    }

    BenchRatio(std::string baseline, std::string measured, Measure measure, Print print)
        : m_baseline(std::move(baseline)), m_measured(std::move(measured)), m_measure(std::move(measure)),
          m_print(std::move(print))
    {
    }

    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &run : runs) {
            if (run.error_occurred)
                continue;
            if (const std::optional<double> value = m_measure(run))
                m_values[run.run_name.function_name] = *value;
        }
        ConsoleReporter::ReportRuns(runs);
    }

    void Finalize() override
    {
        ConsoleReporter::Finalize();
        const auto baseline = m_values.find(m_baseline);
        const auto measured = m_values.find(m_measured);
        if (baseline == m_values.end() || measured == m_values.end() || baseline->second <= 0)
            return;
        m_print(baseline->second, measured->second);
    }

private:
    static Measure fastest(std::function<double(const Run &)> time)
    {
        return [time = std::move(time)](const Run &run) -> std::optional<double> {
            const bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
            const bool fastestOfAll = run.run_type == Run::RT_Aggregate && run.aggregate_name == "min";
            if (!single && !fastestOfAll)
                return std::nullopt;
            return time(run);
        };
    }

    std::string m_baseline;
    std::string m_measured;
    Measure m_measure;
    Print m_print;
    std::map<std::string, double> m_values;
};
