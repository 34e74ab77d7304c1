// The command runner's overhead: 200 runs of `true` through Shell against 200 runs of
// `/bin/sh -c true` from a plain spawn-and-wait loop. Target: at most 1.5 times.
#include "benchgui.h"
#include "benchsupport.h"
#include "platform/eventgate.h"
#include "platform/shell.h"

#include <QApplication>
#include <QtGlobal>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <spawn.h>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace {

constexpr int kRuns = 200;
constexpr int kRounds = 7;
constexpr double kTarget = 1.5;

double seconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

double plainLoop() {
    char sh[] = "/bin/sh", c[] = "-c", cmd[] = "true";
    char* argv[] = {sh, c, cmd, nullptr};
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kRuns; ++i) {
        pid_t pid = 0;
        if (posix_spawn(&pid, "/bin/sh", nullptr, nullptr, argv, environ) != 0) std::abort();
        int st = 0;
        waitpid(pid, &st, 0);
    }
    return seconds(std::chrono::steady_clock::now() - start);
}

double throughShell() {
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kRuns; ++i) {
        vorpel::Shell shell;
        shell.Execute("true");
        if (shell.ErrorCode != 0) std::abort();
    }
    return seconds(std::chrono::steady_clock::now() - start);
}

double fastest(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

} // namespace

int main(int argc, char** argv) {
    vorpelbench::quietOffscreen();
    QApplication app(argc, argv);
    // As in the program: the runner gives the interface its turns while a command runs.
    vorpel::ui::installEventGate();
    plainLoop();
    throughShell();
    std::vector<double> plain, shell;
    for (int r = 0; r < kRounds; ++r) {  // interleaved, so machine load hits both alike
        plain.push_back(plainLoop());
        shell.push_back(throughShell());
    }
    // The fastest round is the least disturbed by other load on the machine; it decides.
    const double p = fastest(plain), s = fastest(shell), ratio = s / p;
    std::printf("runner overhead: %d runs of `true`, fastest of %d interleaved rounds\n", kRuns,
                kRounds);
    std::printf("  plain /bin/sh -c loop : %8.1f ms  (%.3f ms/run)\n", p * 1e3, p * 1e3 / kRuns);
    std::printf("  through Shell         : %8.1f ms  (%.3f ms/run)\n", s * 1e3, s * 1e3 / kRuns);
    std::printf("  medians: plain %.1f ms, Shell %.1f ms\n", vorpelbench::median(plain) * 1e3,
                vorpelbench::median(shell) * 1e3);
    std::printf("  ratio %.2f (target <= %.1f): %s\n", ratio, kTarget, ratio <= kTarget ? "ok" : "OVER");
    return ratio <= kTarget ? 0 : 1;
}
