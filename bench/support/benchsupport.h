#pragma once

#include <filesystem>
#include <string>
#include <vector>

// Helpers shared by the benchmarks.
namespace vorpelbench {

double median(std::vector<double> values);
// True when a program of that name is on PATH.
bool onPath(const std::string& name);
// Wall seconds of one run of a program, output discarded; negative when it failed.
double timeRun(const std::vector<std::string>& argv);
// The same with the program's peak resident memory.
struct RunResult {
    double seconds = -1;
    double peakMegabytes = 0;
};
RunResult measureRun(const std::vector<std::string>& argv);
// Median of several runs; negative when any run failed.
double medianRun(const std::vector<std::string>& argv, int runs);
std::string readFile(const std::filesystem::path& p);
void writeFile(const std::filesystem::path& p, const std::string& data);

} // namespace vorpelbench
