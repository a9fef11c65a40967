#pragma once

#include <QCoreApplication>
#include <QString>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <utility>
#include <vector>

// Runs the registered benchmarks and then prints, for each pair of
// (measured, baseline) benchmark names, both mean times and their ratio.
// Returns the process exit code.
int runBenchmarksWithRatios(int argc, char **argv,
                            const std::vector<std::pair<std::string, std::string>> &pairs);

// What the benchmark programs of the document set up first: the application
// object, the time zone read once, the defaults in a temporary file, and log
// lines formatted as usual but not printed.
class BenchEnvironment
{
public:
    BenchEnvironment(int &argc, char **argv);

private:
    QCoreApplication m_app;
    QTemporaryDir m_dir;
};
