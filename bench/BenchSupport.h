#pragma once

#include <QString>

#include <benchmark/benchmark.h>

#include <utility>
#include <vector>

// Runs the registered benchmarks and then prints, for each pair of
// (measured, baseline) benchmark names, both mean times and their ratio.
// Returns the process exit code.
int runBenchmarksWithRatios(int argc, char **argv,
                            const std::vector<std::pair<std::string, std::string>> &pairs);
