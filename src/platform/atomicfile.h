#pragma once

#include <filesystem>
#include <string_view>

namespace vorpel {

// Output written beside its target and renamed into place on commit, so a failed run
// leaves neither a partial file nor a damaged earlier version behind. SIGINT, SIGTERM and
// SIGHUP remove the temporary output too before the tool dies of the signal, and so does a
// crash (SIGABRT, SIGSEGV, SIGBUS, SIGFPE, SIGILL) in the tool or a library it uses.
class AtomicFile {
public:
    explicit AtomicFile(std::filesystem::path target);
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    int fd() const { return fd_; }
    const std::filesystem::path& tempPath() const { return temp_; }
    const std::filesystem::path& target() const { return target_; }

    void write(std::string_view data);
    // Flushes, gives the file the target's mode (or the default one) and renames it over the target.
    void commit();

private:
    std::filesystem::path target_;
    std::filesystem::path temp_;
    int fd_ = -1;
    int pending_ = -1; // slot in the table of temporaries a signal removes
    bool committed_ = false;
};

// The same for a folder output (a bundle): fill tempPath(), then commit() swaps it in.
class AtomicDir {
public:
    explicit AtomicDir(std::filesystem::path target);
    ~AtomicDir();
    AtomicDir(const AtomicDir&) = delete;
    AtomicDir& operator=(const AtomicDir&) = delete;

    const std::filesystem::path& tempPath() const { return temp_; }
    const std::filesystem::path& target() const { return target_; }
    void commit();

private:
    std::filesystem::path target_;
    std::filesystem::path temp_;
    int pending_ = -1;
    bool committed_ = false;
};

} // namespace vorpel
