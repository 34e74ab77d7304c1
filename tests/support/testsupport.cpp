#include "testsupport.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <signal.h>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <chrono>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace fs = std::filesystem;

namespace vorpeltest {
namespace {

// A wait status as ProcessResult gives it: the exit status, or 128 + the signal.
int statusOf(int waitStatus) {
    return WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : 128 + WTERMSIG(waitStatus);
}

} // namespace

TempDir::TempDir() {
    std::string tmpl = (fs::temp_directory_path() / "vorpeltest-XXXXXX").string();
    if (::mkdtemp(tmpl.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
}

TempDir::~TempDir() {
    // Locked test trees have no write bits: give them back before removing.
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(path_, ec); !ec && it != fs::end(it);
         it.increment(ec)) {
        if (!it->is_symlink()) fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
}

ProcessResult runProcess(const std::vector<std::string>& argv, const std::string& input) {
    int inPipe[2], outPipe[2], errPipe[2];
    if (::pipe(inPipe) || ::pipe(outPipe) || ::pipe(errPipe)) throw std::runtime_error("pipe failed");
    const pid_t pid = ::fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        ::dup2(inPipe[0], 0);
        ::dup2(outPipe[1], 1);
        ::dup2(errPipe[1], 2);
        for (int fd : {inPipe[0], inPipe[1], outPipe[0], outPipe[1], errPipe[0], errPipe[1]}) ::close(fd);
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    ::close(inPipe[0]);
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    ::signal(SIGPIPE, SIG_IGN);
    ProcessResult r;
    size_t written = 0;
    int inFd = inPipe[1];
    if (input.empty()) {
        ::close(inFd);
        inFd = -1;
    }
    bool outOpen = true, errOpen = true;
    char buf[65536];
    while (outOpen || errOpen) {
        pollfd fds[3];
        int n = 0;
        if (outOpen) fds[n++] = {outPipe[0], POLLIN, 0};
        if (errOpen) fds[n++] = {errPipe[0], POLLIN, 0};
        if (inFd >= 0) fds[n++] = {inFd, POLLOUT, 0};
        if (::poll(fds, n, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        for (int i = 0; i < n; ++i) {
            if (!fds[i].revents) continue;
            if (fds[i].fd == inFd) {
                const ssize_t w = ::write(inFd, input.data() + written, input.size() - written);
                if (w > 0) written += size_t(w);
                if (w < 0 || written == input.size()) {
                    ::close(inFd);
                    inFd = -1;
                }
                continue;
            }
            const ssize_t got = ::read(fds[i].fd, buf, sizeof buf);
            std::string& sink = fds[i].fd == outPipe[0] ? r.out : r.err;
            if (got > 0) {
                sink.append(buf, size_t(got));
            } else {
                (fds[i].fd == outPipe[0] ? outOpen : errOpen) = false;
            }
        }
    }
    if (inFd >= 0) ::close(inFd);
    ::close(outPipe[0]);
    ::close(errPipe[0]);
    int st = 0;
    ::waitpid(pid, &st, 0);
    r.status = statusOf(st);
    return r;
}

BackgroundProcess::BackgroundProcess(const std::vector<std::string>& argv,
                                     const std::vector<std::string>& env) {
    std::vector<std::string> envStrings;
    for (char** e = environ; *e; ++e) envStrings.emplace_back(*e);
    envStrings.insert(envStrings.end(), env.begin(), env.end());
    std::vector<char*> args, envp;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    for (const auto& e : envStrings) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    pid_ = ::fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
        const int null = ::open("/dev/null", O_RDWR);
        for (int fd = 0; fd < 3; ++fd) ::dup2(null, fd);
        // Default dispositions and no blocked signals, whatever the test runner set.
        for (const int sig : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) ::signal(sig, SIG_DFL);
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::execve(args[0], args.data(), envp.data());
        ::_exit(127);
    }
}

BackgroundProcess::~BackgroundProcess() {
    if (status_ >= 0) return;
    ::kill(pid_, SIGKILL);
    wait();
}

void BackgroundProcess::signal(int sig) const { ::kill(pid_, sig); }

bool BackgroundProcess::waitStopped() {
    if (status_ >= 0) return false;
    int st = 0;
    while (::waitpid(pid_, &st, WUNTRACED) < 0) {
        if (errno != EINTR) return false;
    }
    if (WIFSTOPPED(st)) return true;
    status_ = statusOf(st);
    return false;
}

int BackgroundProcess::wait() {
    if (status_ >= 0) return status_;
    int st = 0;
    while (::waitpid(pid_, &st, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    status_ = statusOf(st);
    return status_;
}

std::string waitForEntry(const fs::path& dir, const std::string& prefix, double seconds) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    do {
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(dir, ec)) {
            const std::string name = e.path().filename().string();
            if (name.starts_with(prefix)) return name;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    } while (std::chrono::steady_clock::now() < until);
    return {};
}

std::vector<std::string> stopAtFsyncEnv() {
    // A sanitizer build's runtime must come first; the preloaded library comes before it.
    const char* asan = std::getenv("ASAN_OPTIONS");
    return {std::string("LD_PRELOAD=") + VORPEL_STOP_AT_FSYNC_LIB,
            std::string("ASAN_OPTIONS=") + (asan ? std::string(asan) + ":" : "") +
                "verify_asan_link_order=0"};
}

int signalAtFsync(const std::vector<std::string>& argv, int sig, int stop,
                  const std::function<void()>& whileStopped) {
    BackgroundProcess p(argv, stopAtFsyncEnv());
    for (int i = 1; i <= stop; ++i) {
        if (!p.waitStopped()) return -1;
        if (i < stop) p.signal(SIGCONT);
    }
    whileStopped();
    p.signal(sig);
    p.signal(SIGCONT);
    return p.wait();
}

fs::path toolPath(const std::string& tool) { return fs::path(VORPEL_LIBEXEC_DIR) / tool; }

fs::path corpusDir() {
    fs::path p = VORPEL_CORPUS_DIR;
    std::error_code ec;
    if (fs::is_directory(p, ec)) return fs::canonical(p, ec);
    return {};
}

std::string readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void writeFile(const fs::path& p, const std::string& data) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out << data;
}

std::vector<std::string> listDir(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

bool haveProgram(const std::string& name) {
    const char* path = std::getenv("PATH");
    if (!path) return false;
    std::stringstream ss(path);
    std::string dir;
    while (std::getline(ss, dir, ':')) {
        if (::access((fs::path(dir) / name).c_str(), X_OK) == 0) return true;
    }
    return false;
}

} // namespace vorpeltest
