#include "shell.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <csignal>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <vector>

extern char** environ;

namespace vorpel {
namespace {

Shell::Runner& runnerSeam() {
    static Shell::Runner r;
    return r;
}

std::function<void()>& idleHook() {
    static std::function<void()> h;
    return h;
}

std::string& toolDirRef() {
    static std::string d;
    return d;
}

int runningCount = 0;

// A runaway tool must not take the program's memory with it: beyond this the output is read
// and dropped, so the tool still runs to its end.
constexpr size_t kMaxResult = size_t(64) << 20;

void appendCapped(std::string& result, const char* data, size_t n) {
    if (result.size() < kMaxResult) result.append(data, std::min(n, kMaxResult - result.size()));
}

std::vector<std::string> environmentWithTools() {
    std::vector<std::string> env;
    bool sawPath = false;
    for (char** e = environ; e && *e; ++e) {
        std::string entry = *e;
        if (entry.rfind("PATH=", 0) == 0) {
            sawPath = true;
            // No ":" before an empty rest: an empty entry would search the current folder.
            const std::string rest = entry.substr(5);
            if (!toolDirRef().empty())
                entry = "PATH=" + toolDirRef() + (rest.empty() ? "" : ":" + rest);
        }
        env.push_back(std::move(entry));
    }
    if (!sawPath) {
        std::string path = "/usr/local/bin:/usr/bin:/bin";
        if (!toolDirRef().empty()) path = toolDirRef() + ":" + path;
        env.push_back("PATH=" + path);
    }
    return env;
}

int statusOf(int waitStatus) {
    if (WIFEXITED(waitStatus)) return WEXITSTATUS(waitStatus);
    if (WIFSIGNALED(waitStatus)) return 128 + WTERMSIG(waitStatus);
    return 1;
}

} // namespace

void Shell::setRunner(Runner runner) { runnerSeam() = std::move(runner); }
void Shell::setIdleHook(std::function<void()> hook) { idleHook() = std::move(hook); }
bool Shell::running() { return runningCount > 0; }
void Shell::setToolDir(std::string dir) { toolDirRef() = std::move(dir); }
const std::string& Shell::toolDir() { return toolDirRef(); }

void Shell::Execute(const std::string& command) {
    // Counted down however the runner ends: a throw must not leave the interface busy for good.
    struct Running {
        Running() { ++runningCount; }
        ~Running() { --runningCount; }
    };
    ShellOutcome out;
    {
        const Running running;
        out = runnerSeam() ? runnerSeam()(command) : runDirect(command);
    }
    ErrorCode = out.errorCode;
    Result = std::move(out.result);
}

ShellOutcome Shell::runDirect(const std::string& command) {
    ShellOutcome out;
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        out.errorCode = 127;
        out.result = "cannot create pipe\n";
        return out;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 2);

    std::vector<std::string> env = environmentWithTools();
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string sh = "/bin/sh", dashC = "-c", cmd = command;
    char* argv[] = {sh.data(), dashC.data(), cmd.data(), nullptr};

    // The tools start with default signal handling and nothing blocked, whatever the host
    // ignores (a launcher's ignored SIGPIPE would make pipelines print "Broken pipe").
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t all, none;
    sigfillset(&all);
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attr, &all);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

    pid_t pid = 0;
    const int rc = ::posix_spawn(&pid, "/bin/sh", &actions, &attr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    ::close(fds[1]);
    if (rc != 0) {
        ::close(fds[0]);
        out.errorCode = 127;
        out.result = "cannot start /bin/sh\n";
        return out;
    }

    // Read until the shell has exited; a background child holding the pipe must not hang us.
    char buf[65536];
    bool open = true;
    int waitStatus = 0;
    bool exited = false;
    useconds_t nap = 50;
    while (!exited) {
        if (open) {
            pollfd p{fds[0], POLLIN, 0};
            const int n = ::poll(&p, 1, 10);
            if (n > 0) {
                const ssize_t got = ::read(fds[0], buf, sizeof buf);
                if (got > 0) appendCapped(out.result, buf, static_cast<size_t>(got));
                else if (got == 0 || errno != EINTR) open = false;
            }
        } else {
            // Output closed: the shell is about to exit, check back soon.
            ::usleep(nap);
            nap = std::min<useconds_t>(nap * 2, 5000);
        }
        if (idleHook()) idleHook()();
        const pid_t w = ::waitpid(pid, &waitStatus, WNOHANG);
        if (w == pid) exited = true;
    }
    // Drain what is already in the pipe without waiting for stray holders.
    ::fcntl(fds[0], F_SETFL, O_NONBLOCK);
    while (open) {
        const ssize_t got = ::read(fds[0], buf, sizeof buf);
        if (got > 0) appendCapped(out.result, buf, static_cast<size_t>(got));
        else open = false;
    }
    ::close(fds[0]);
    out.errorCode = statusOf(waitStatus);
    return out;
}

} // namespace vorpel
