#include "atomicfile.h"

#include "toolerror.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <iterator>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace vorpel {
namespace {

fs::path tempTemplate(const fs::path& target) {
    fs::path dir = target.parent_path();
    if (dir.empty()) dir = ".";
    return dir / ("." + target.filename().string() + ".vorpel-XXXXXX");
}

mode_t currentUmask() {
    const mode_t m = ::umask(022);
    ::umask(m);
    return m;
}

// An existing target keeps its permissions; a new one gets the usual default.
mode_t modeFor(const fs::path& target, mode_t fallback) {
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0) return st.st_mode & 07777;
    return fallback & ~currentUmask();
}

// Temporaries still to be removed if a signal ends the tool. A fixed table: the handler may
// neither allocate nor lock. A tool has one or two at a time (a bundle and its part).
struct PendingTemp {
    std::atomic<bool> used{false};
    bool folder = false;
    char path[PATH_MAX] = {};
};
PendingTemp g_pending[8];

constexpr int kCleanupSignals[] = {SIGINT, SIGTERM, SIGHUP};
// A crash in a library (a synthesizer's buffer overflow, say) must not leave output behind either.
constexpr int kFaultSignals[] = {SIGABRT, SIGSEGV, SIGBUS, SIGFPE, SIGILL};

sigset_t cleanupSignalSet() {
    sigset_t set;
    sigemptyset(&set);
    for (const int sig : kCleanupSignals) sigaddset(&set, sig);
    return set;
}

// A bundle's temporary folder holds files only: empty it, then remove it. Async-signal-safe.
void removeFolderNow(const char* path) {
    const int fd = ::open(path, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0) {
        alignas(dirent64) char buf[4096];
        ssize_t n;
        while ((n = ::getdents64(fd, buf, sizeof buf)) > 0) {
            for (ssize_t at = 0; at < n;) {
                const auto* e = reinterpret_cast<const dirent64*>(buf + at);
                if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) {
                    ::unlinkat(fd, e->d_name, 0);
                }
                at += e->d_reclen;
            }
        }
        ::close(fd);
    }
    ::rmdir(path);
}

void removePendingAndDie(int sig) {
    // Files first: a part being written sits inside a bundle's folder.
    for (const PendingTemp& p : g_pending) {
        if (p.used.load(std::memory_order_acquire) && !p.folder) ::unlink(p.path);
    }
    for (const PendingTemp& p : g_pending) {
        if (p.used.load(std::memory_order_acquire) && p.folder) removeFolderNow(p.path);
    }
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    sigemptyset(&dfl.sa_mask);
    ::sigaction(sig, &dfl, nullptr);
    // Blocked while the handler runs: delivered on return, so the tool ends as the signal asks.
    ::raise(sig);
}

void installCleanupHandlers() {
    static bool installed = false;
    if (installed) return;
    installed = true;
    struct sigaction sa {};
    sa.sa_handler = removePendingAndDie;
    sa.sa_mask = cleanupSignalSet();
    for (const int sig : kFaultSignals) sigaddset(&sa.sa_mask, sig);
    for (const int sig : kCleanupSignals) {
        struct sigaction old {};
        // A signal ignored by whoever started the tool (nohup, a background job) stays ignored.
        if (::sigaction(sig, nullptr, &old) == 0 && !(old.sa_flags & SA_SIGINFO) &&
            old.sa_handler == SIG_IGN) {
            continue;
        }
        ::sigaction(sig, &sa, nullptr);
    }
    // A stack of its own, so a stack overflow still gets its clean-up.
    static char altStack[64 * 1024];
    stack_t ss {};
    ss.ss_sp = altStack;
    ss.ss_size = sizeof altStack;
    const bool haveAltStack = ::sigaltstack(&ss, nullptr) == 0;
    struct sigaction fault = sa;
    if (haveAltStack) fault.sa_flags |= SA_ONSTACK;
    for (const int sig : kFaultSignals) {
        struct sigaction old {};
        // Only where nobody else handles it: a sanitizer's or fuzzer's report comes first.
        if (::sigaction(sig, nullptr, &old) != 0 || (old.sa_flags & SA_SIGINFO) || old.sa_handler != SIG_DFL) {
            continue;
        }
        ::sigaction(sig, &fault, nullptr);
    }
}

// Keeps the cleanup signals back in this thread while a temporary is created, renamed or
// removed, so the table and the disk never disagree when the handler runs.
class SignalsHeld {
public:
    SignalsHeld() {
        const sigset_t set = cleanupSignalSet();
        ::pthread_sigmask(SIG_BLOCK, &set, &old_);
    }
    ~SignalsHeld() { ::pthread_sigmask(SIG_SETMASK, &old_, nullptr); }
    SignalsHeld(const SignalsHeld&) = delete;
    SignalsHeld& operator=(const SignalsHeld&) = delete;

private:
    sigset_t old_;
};

// Returns the slot, or -1 when the table is full (the temporary is then only removed on a
// normal exit). Call with the signals held.
int rememberTemp(const std::string& path, bool folder) {
    installCleanupHandlers();
    if (path.size() >= PATH_MAX) return -1;
    for (int i = 0; i < int(std::size(g_pending)); ++i) {
        PendingTemp& p = g_pending[i];
        if (p.used.load(std::memory_order_relaxed)) continue;
        std::memcpy(p.path, path.c_str(), path.size() + 1);
        p.folder = folder;
        p.used.store(true, std::memory_order_release);
        return i;
    }
    return -1;
}

void forgetTemp(int& slot) {
    if (slot >= 0) g_pending[slot].used.store(false, std::memory_order_release);
    slot = -1;
}

} // namespace

AtomicFile::AtomicFile(fs::path target) : target_(std::move(target)) {
    std::string tmpl = tempTemplate(target_).string();
    const SignalsHeld held;
    fd_ = ::mkstemp(tmpl.data());
    if (fd_ < 0) throw ToolError(target_.string(), errnoText(errno));
    temp_ = tmpl;
    pending_ = rememberTemp(tmpl, false);
}

AtomicFile::~AtomicFile() {
    const SignalsHeld held;
    if (fd_ >= 0) ::close(fd_);
    if (!committed_ && !temp_.empty()) ::unlink(temp_.c_str());
    forgetTemp(pending_);
}

void AtomicFile::write(std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd_, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            throw ToolError(target_.string(), errnoText(errno));
        }
        data.remove_prefix(static_cast<size_t>(n));
    }
}

void AtomicFile::commit() {
    if (::fchmod(fd_, modeFor(target_, 0666)) != 0 || ::fsync(fd_) != 0) {
        throw ToolError(target_.string(), errnoText(errno));
    }
    const int rc = ::close(fd_);
    fd_ = -1;
    if (rc != 0) throw ToolError(target_.string(), errnoText(errno));
    const SignalsHeld held;
    if (::rename(temp_.c_str(), target_.c_str()) != 0) {
        throw ToolError(target_.string(), errnoText(errno));
    }
    committed_ = true;
    forgetTemp(pending_);
}

AtomicDir::AtomicDir(fs::path target) : target_(std::move(target)) {
    std::string tmpl = tempTemplate(target_).string();
    const SignalsHeld held;
    if (::mkdtemp(tmpl.data()) == nullptr) throw ToolError(target_.string(), errnoText(errno));
    temp_ = tmpl;
    pending_ = rememberTemp(tmpl, true);
}

AtomicDir::~AtomicDir() {
    const SignalsHeld held;
    if (!committed_ && !temp_.empty()) {
        std::error_code ec;
        fs::remove_all(temp_, ec);
    }
    forgetTemp(pending_);
}

void AtomicDir::commit() {
    ::chmod(temp_.c_str(), modeFor(target_, 0777));
    // The old bundle is moved aside and back or removed: a signal must not fall in between.
    const SignalsHeld held;
    std::error_code ec;
    fs::path old;
    if (fs::symlink_status(target_, ec).type() != fs::file_type::not_found) {
        // A folder cannot be renamed over a non-empty folder: move the old one aside first.
        std::string tmpl = tempTemplate(target_).string() + "-old";
        old = tmpl;
        if (::rename(target_.c_str(), old.c_str()) != 0) {
            throw ToolError(target_.string(), errnoText(errno));
        }
    }
    if (::rename(temp_.c_str(), target_.c_str()) != 0) {
        const int err = errno;
        if (!old.empty()) ::rename(old.c_str(), target_.c_str());
        throw ToolError(target_.string(), errnoText(err));
    }
    committed_ = true;
    forgetTemp(pending_);
    if (!old.empty()) fs::remove_all(old, ec);
}

} // namespace vorpel
