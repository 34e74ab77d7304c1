#pragma once

#include <filesystem>
#include <string>
#include <vector>

// Helpers shared by the benchmarks.
namespace vorpelbench {

double median(std::vector<double> values);
// True when a program of that name is on PATH.
bool onPath(const std::string& name);
// One run of a program, output discarded: wall seconds, user+system CPU seconds and peak
// resident memory.
struct RunStats {
    bool ok = false;  // started and exited with status 0
    double seconds = 0;
    double cpuSeconds = 0;
    long peakKiB = 0;
};
RunStats measureRun(const std::vector<std::string>& argv);
// Wall seconds of one run of a program, output discarded; negative when it failed.
double timeRun(const std::vector<std::string>& argv);
// Median of several runs; negative when any run failed.
double medianRun(const std::vector<std::string>& argv, int runs);
std::string readFile(const std::filesystem::path& p);
void writeFile(const std::filesystem::path& p, const std::string& data);

} // namespace vorpelbench
