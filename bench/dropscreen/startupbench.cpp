// Start-up to a painted Drop Screen (target: 300 ms). Runs the program's own start-up in a
// fresh process several times and prints the figures.
#include "benchsupport.h"
#include "app/app.h"
#include "dropscreen/qconvert.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

constexpr int kRuns = 7;
QElapsedTimer sinceApplication;

// Watches for the Drop Screen's first paint, then ends the event loop once it has been shown.
class FirstPaint : public QObject {
public:
    bool eventFilter(QObject* obj, QEvent* e) override {
        if (!seen_ && e->type() == QEvent::Paint && obj->isWidgetType() &&
            qobject_cast<vorpel::qconvert*>(static_cast<QWidget*>(obj)->window())) {
            seen_ = true;
            QTimer::singleShot(0, [] {
                std::printf("painted %.2f\n", sinceApplication.nsecsElapsed() / 1e6);
                std::fflush(stdout);
                QCoreApplication::quit();
            });
        }
        return false;
    }

private:
    bool seen_ = false;
};

void watchStartUp() {
    sinceApplication.start();
    qApp->installEventFilter(new FirstPaint);
}

// Runs this program as the application; returns ms from spawn to the painted line.
bool runOnce(const char* self, double& wallMs, double& inAppMs) {
    int fds[2];
    if (::pipe(fds) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    std::string arg0 = self, arg1 = "--as-app";
    char* argv[] = {arg0.data(), arg1.data(), nullptr};
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    const int rc = ::posix_spawn(&pid, self, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    if (rc != 0) {
        ::close(fds[0]);
        return false;
    }
    std::string out;
    char buf[256];
    bool found = false;
    ssize_t n;
    while ((n = ::read(fds[0], buf, sizeof buf)) > 0) {
        out.append(buf, size_t(n));
        const size_t line = out.find("painted ");
        if (!found && line != std::string::npos && out.find('\n', line) != std::string::npos) {
            found = true;
            wallMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        }
    }
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    const size_t at = out.find("painted ");
    if (!found || at == std::string::npos) return false;
    inAppMs = std::atof(out.c_str() + at + 8);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM") && !std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    if (argc > 1 && std::strcmp(argv[1], "--as-app") == 0) {
        qAddPreRoutine(watchStartUp);
        return vorpel::runApplication(argc, argv);
    }
    std::vector<double> wall, inApp;
    for (int i = 0; i < kRuns; ++i) {
        double w = 0, a = 0;
        if (!runOnce("/proc/self/exe", w, a)) {
            std::printf("start-up run %d failed\n", i + 1);
            return 1;
        }
        wall.push_back(w);
        inApp.push_back(a);
    }
    std::printf("Start-up to a painted Drop Screen, %d fresh processes (target: 300 ms)\n", kRuns);
    std::printf("  process start to painted:     median %6.1f ms  (min %.1f, max %.1f)  %s\n", vorpelbench::median(wall),
                *std::min_element(wall.begin(), wall.end()), *std::max_element(wall.begin(), wall.end()),
                vorpelbench::median(wall) <= 300 ? "within target" : "OVER TARGET");
    std::printf("  application object to painted: median %6.1f ms\n", vorpelbench::median(inApp));
    return 0;
}
