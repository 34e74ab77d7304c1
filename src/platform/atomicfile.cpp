#include "atomicfile.h"

#include "toolerror.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
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

} // namespace

AtomicFile::AtomicFile(fs::path target) : target_(std::move(target)) {
    std::string tmpl = tempTemplate(target_).string();
    fd_ = ::mkstemp(tmpl.data());
    if (fd_ < 0) throw ToolError(target_.string(), errnoText(errno));
    temp_ = tmpl;
}

AtomicFile::~AtomicFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!committed_ && !temp_.empty()) ::unlink(temp_.c_str());
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
    if (::rename(temp_.c_str(), target_.c_str()) != 0) {
        throw ToolError(target_.string(), errnoText(errno));
    }
    committed_ = true;
}

AtomicDir::AtomicDir(fs::path target) : target_(std::move(target)) {
    std::string tmpl = tempTemplate(target_).string();
    if (::mkdtemp(tmpl.data()) == nullptr) throw ToolError(target_.string(), errnoText(errno));
    temp_ = tmpl;
}

AtomicDir::~AtomicDir() {
    if (!committed_ && !temp_.empty()) {
        std::error_code ec;
        fs::remove_all(temp_, ec);
    }
}

void AtomicDir::commit() {
    ::chmod(temp_.c_str(), modeFor(target_, 0777));
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
    if (!old.empty()) fs::remove_all(old, ec);
}

} // namespace vorpel
