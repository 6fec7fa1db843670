#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <unistd.h>

// The middle and the spread of a set of figures.
struct Spread {
    double median = 0;
    double p25 = 0;
    double p75 = 0;
    double min = 0;
    double max = 0;
    int n = 0;

    static Spread of(std::vector<double> values)
    {
        Spread s;
        if (values.empty())
            return s;
        std::sort(values.begin(), values.end());
        const auto at = [&values](double q) {
            const double position = q * static_cast<double>(values.size() - 1);
            const auto below = static_cast<std::size_t>(position);
            const std::size_t above = std::min(below + 1, values.size() - 1);
            return values[below] + (values[above] - values[below]) * (position - static_cast<double>(below));
        };
        s.n = static_cast<int>(values.size());
        s.median = at(0.5);
        s.p25 = at(0.25);
        s.p75 = at(0.75);
        s.min = values.front();
        s.max = values.back();
        return s;
    }

    // "1.23 [1.10-1.40] (0.98-1.75)": the median, the middle half and the extremes.
    std::string text(const char *format = "%.2f") const
    {
        const std::string f(format);
        const std::string pattern = f + " [" + f + "-" + f + "] (" + f + "-" + f + ")";
        char out[160];
        std::snprintf(out, sizeof out, pattern.c_str(), median, p25, p75, min, max);
        return out;
    }
};

// Runs a round's baseline and its measured work in turn, each first every other round: a
// drift of the machine's load hits both alike.
template <typename Baseline, typename Measured>
void inTurn(int round, const Baseline &baseline, const Measured &measured)
{
    if (round % 2 == 0) {
        baseline();
        measured();
    } else {
        measured();
        baseline();
    }
}

// Console output as usual (the aggregates of a benchmark with repetitions), plus a line for
// each benchmark compared with its baseline from the same run: a ratio holds on any machine,
// a time does not. The repetitions of the benchmarks run interleaved (see initialize()), and
// repetition i of a benchmark is paired with repetition i of its baseline: the line gives the
// median of the paired ratios and their spread.
class BenchRatio final : public benchmark::ConsoleReporter {
public:
    // The figure compared of one repetition; nothing skips it.
    using Measure = std::function<std::optional<double>(const Run &)>;
    // Prints the comparison line: the baseline's and the benchmark's figures over their
    // repetitions, and the paired ratios.
    using Print = std::function<void(const Spread &baseline, const Spread &measured, const Spread &ratio)>;

    // CPU or wall time of one iteration.
    static Measure cpuTime()
    {
        return [](const Run &run) -> std::optional<double> { return run.GetAdjustedCPUTime(); };
    }
    static Measure realTime()
    {
        return [](const Run &run) -> std::optional<double> { return run.GetAdjustedRealTime(); };
    }
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

    // One benchmark against its baseline.
    struct Comparison {
        std::string baseline;
        std::string measured;
        Print print;
    };

    BenchRatio(std::string baseline, std::string measured, Measure measure, Print print)
        : BenchRatio({Comparison{std::move(baseline), std::move(measured), std::move(print)}}, std::move(measure))
    {
    }
    BenchRatio(std::vector<Comparison> comparisons, Measure measure)
        : ConsoleReporter(isatty(fileno(stdout)) ? OO_ColorTabular : OO_Tabular),
          m_comparisons(std::move(comparisons)), m_measure(std::move(measure))
    {
    }

    // benchmark::Initialize, with the repetitions of all benchmarks run in an interleaved
    // order unless the command line says otherwise: a drift of the machine's load then hits
    // a benchmark and its baseline alike.
    static void initialize(int *argc, char **argv)
    {
        static std::vector<char *> args;
        args.assign(argv, argv + *argc);
        static char interleave[] = "--benchmark_enable_random_interleaving=true";
        const bool given = std::any_of(args.begin(), args.end(), [](const char *arg) {
            return std::string(arg).rfind("--benchmark_enable_random_interleaving", 0) == 0;
        });
        if (!given)
            args.insert(args.begin() + 1, interleave);
        int count = static_cast<int>(args.size());
        args.push_back(nullptr);
        benchmark::Initialize(&count, args.data());
        // What is left is at most what was given: the flag added above is always taken.
        *argc = std::min(count, *argc);
        std::copy(args.begin(), args.begin() + *argc, argv);
    }

    void ReportRuns(const std::vector<Run> &runs) override
    {
        // The repetitions reach this reporter one by one (the benchmarks must not ask for
        // their aggregates alone); only their aggregates are shown.
        std::vector<Run> shown;
        for (const Run &run : runs) {
            const bool repetition = run.run_type == Run::RT_Iteration && run.repetitions > 1;
            if (run.run_type == Run::RT_Iteration && !run.error_occurred) {
                if (const std::optional<double> value = m_measure(run))
                    m_values[run.run_name.function_name][run.repetition_index] = *value;
            }
            if (!repetition || run.error_occurred)
                shown.push_back(run);
        }
        if (!shown.empty())
            ConsoleReporter::ReportRuns(shown);
    }

    void Finalize() override
    {
        ConsoleReporter::Finalize();
        for (const Comparison &comparison : m_comparisons) {
            const auto baseline = m_values.find(comparison.baseline);
            const auto measured = m_values.find(comparison.measured);
            if (baseline == m_values.end() || measured == m_values.end())
                continue;
            std::vector<double> base, mine, ratios;
            for (const auto &[repetition, value] : baseline->second)
                base.push_back(value);
            for (const auto &[repetition, value] : measured->second) {
                mine.push_back(value);
                const auto pair = baseline->second.find(repetition);
                if (pair != baseline->second.end() && pair->second > 0)
                    ratios.push_back(value / pair->second);
            }
            if (!ratios.empty())
                comparison.print(Spread::of(base), Spread::of(mine), Spread::of(ratios));
        }
    }

private:
    std::vector<Comparison> m_comparisons;
    Measure m_measure;
    // Per benchmark, the figure of each repetition.
    std::map<std::string, std::map<int64_t, double>> m_values;
};
