#include "BenchSupport.h"

#include "Clock.h"
#include "Defaults.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>

namespace {

// Passes everything to the console and keeps each benchmark's time per
// iteration: the median of its repetitions when it is repeated (the
// aggregates come after the runs), which steadies the ratios on a busy machine.
class RecordingReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &run : runs) {
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if ((run.run_type == Run::RT_Iteration || median) && !run.error_occurred)
                times[run.run_name.str()] = run.GetAdjustedRealTime() * multiplier(run.time_unit);
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> times; // milliseconds

private:
    static double multiplier(benchmark::TimeUnit unit)
    {
        switch (unit) {
        case benchmark::kNanosecond: return 1e-6;
        case benchmark::kMicrosecond: return 1e-3;
        case benchmark::kMillisecond: return 1.0;
        case benchmark::kSecond: return 1e3;
        }
        return 1.0;
    }
};

} // namespace

int runBenchmarksWithRatios(int argc, char **argv, const std::vector<std::pair<std::string, std::string>> &pairs)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    RecordingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    // bench/run gathers every program's pairs into one table through this file.
    const char *tablePath = std::getenv("CORVANE_BENCH_TABLE");
    std::FILE *table = tablePath ? std::fopen(tablePath, "a") : nullptr;
    const std::string program = std::filesystem::path(argv[0]).filename().string();
    std::printf("\n%-44s %12s %12s %8s\n", "measured / baseline", "measured ms", "baseline ms", "ratio");
    for (const auto &[measured, baseline] : pairs) {
        auto m = reporter.times.find(measured);
        auto b = reporter.times.find(baseline);
        if (m == reporter.times.end() || b == reporter.times.end())
            continue;
        std::printf("%-44s %12.3f %12.3f %8.2f\n", measured.c_str(), m->second, b->second,
                    b->second > 0 ? m->second / b->second : 0.0);
        if (table)
            std::fprintf(table, "%s\t%s\t%s\t%.3f\t%.3f\tms\n", program.c_str(), measured.c_str(), baseline.c_str(),
                         m->second, b->second);
    }
    if (table)
        std::fclose(table);
    return 0;
}

namespace {

void discardMessages(QtMsgType, const QMessageLogContext &, const QString &) {}

// The time zone is read before the application object starts any thread.
int &cachingTimeZone(int &argc)
{
    Clock::cacheSystemTimeZone();
    return argc;
}

} // namespace

BenchEnvironment::BenchEnvironment(int &argc, char **argv)
    : m_app(cachingTimeZone(argc), argv)
{
    Defaults::useFileForTesting(m_dir.filePath(QStringLiteral("defaults.ini")));
    qInstallMessageHandler(discardMessages);
}
