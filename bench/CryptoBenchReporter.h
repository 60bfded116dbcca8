#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

// Console reporter that also remembers each benchmark's real time per iteration, so the run can
// end with "candidate is x times the baseline" lines measured on the same machine in the same run.
class CryptoBenchReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        // With repetitions the mean wins over the single runs.
        for (const Run &run : runs) {
            if (run.error_occurred)
                continue;
            const std::string name = run.run_name.str();
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "mean")
                m_seconds[name] = run.GetAdjustedRealTime();
            else if (run.run_type == Run::RT_Iteration)
                m_seconds.emplace(name, run.GetAdjustedRealTime());
        }
        ConsoleReporter::ReportRuns(runs);
    }

    // Throughput of candidate relative to baseline (same work per iteration): > 1 is faster.
    void printRatio(const std::string &candidate, const std::string &baseline) const
    {
        const auto c = m_seconds.find(candidate);
        const auto b = m_seconds.find(baseline);
        if (c == m_seconds.end() || b == m_seconds.end() || c->second <= 0)
            return;
        std::printf("ratio %s / %s throughput: %.4f\n", candidate.c_str(), baseline.c_str(),
                    b->second / c->second);
    }

private:
    std::map<std::string, double> m_seconds;
};

inline int runCryptoBenchmarks(int argc, char **argv,
                               const std::vector<std::pair<std::string, std::string>> &ratios)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    CryptoBenchReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    for (const auto &[candidate, baseline] : ratios)
        reporter.printRatio(candidate, baseline);
    benchmark::Shutdown();
    return 0;
}
