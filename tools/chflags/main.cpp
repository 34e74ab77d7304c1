// chflags: locks (uchg) and unlocks (nouchg) files and folders. Linux lets no ordinary user set
// an immutable flag, so a lock takes away every write bit and keeps the old mode in an xattr.

#include "lock.h"

#include "platform/toolerror.h"

#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <set>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

using vorpel::ExitUsage;
using vorpel::ToolError;

constexpr const char* kUsage =
    "usage: chflags [-R] [-v] [-f] FLAGS PATH...\n"
    "\n"
    "FLAGS:\n"
    "  uchg, uchange, uimmutable        lock: a locked file cannot be written to; nothing\n"
    "                                   in a locked folder can be added, renamed or deleted\n"
    "  nouchg, nouchange, nouimmutable  unlock: restore the permissions from before the lock\n"
    "\n"
    "  -R          also every item inside the folders given, without following symbolic links\n"
    "  -P          do not follow symbolic links (the default; they are always left alone)\n"
    "  -v          print each item changed\n"
    "  -f          do not report items that could not be changed\n"
    "  -h, --help  show this help\n"
    "  --          end of the options (before or right after FLAGS)\n"
    "\n"
    "A lock clears all write permission bits and keeps the previous mode in the extended\n"
    "attribute user.vorpelconverter.mode; the file system must support user attributes.\n"
    "The owner may still give write permission back with chmod.\n"
    "Symbolic links and special files are skipped.\n";
constexpr const char* kTryHelp = "Try 'chflags --help' for more information.";

struct Options {
    bool lock = true;
    bool recursive = false;
    bool verbose = false;
    bool quiet = false;
    std::vector<std::string> paths;
};

// Walks with the working folder set to the folder whose entries it changes, so every name
// handed to the system is a single component and neither depth nor path length matters. Each
// step back up is checked against the folder it came from.
class Walker {
public:
    explicit Walker(const Options& o) : o_(o) {
        start_ = ::open(".", O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (start_ < 0) throw ToolError(".", vorpel::errnoText(errno));
    }
    ~Walker() { ::close(start_); }
    Walker(const Walker&) = delete;
    Walker& operator=(const Walker&) = delete;

    // Processes one operand; false when anything under it failed.
    bool run(const std::string& path) {
        failed_ = false;
        try {
            walk(path);
        } catch (const chflags::NoXattrSupport& e) {
            // Stop this operand: every further item would fail the same way.
            report(e.what(), "the file system does not support extended attributes, so the "
                             "permissions cannot be recorded; not locked");
        }
        // Relative operands are resolved from where the tool started.
        folders_.clear();
        if (::fchdir(start_) != 0) throw ToolError(".", vorpel::errnoText(errno));
        return !failed_;
    }

private:
    // A folder being walked: the working folder is the last of these.
    struct Folder {
        std::string name; // as named in the folder above (the operand itself at the top)
        size_t shownSize; // its path, as reported, is shown_ cut to this size
        dev_t dev;
        ino_t ino;
        std::vector<std::string> entries;
        size_t next = 0;
    };

    void walk(const std::string& operand) {
        shown_ = operand;
        visit(operand);
        while (!folders_.empty()) {
            Folder& f = folders_.back();
            if (f.next < f.entries.size()) {
                const std::string name = f.entries[f.next++]; // visit() may push and move f
                shown_.resize(f.shownSize);
                if (!shown_.ends_with('/')) shown_ += '/';
                shown_ += name;
                visit(name);
                continue;
            }
            const std::string name = std::move(f.name);
            shown_.resize(f.shownSize);
            folders_.pop_back();
            if (!goUp()) return;
            if (o_.lock) apply(name);
        }
    }

    // `name` is in the working folder; shown_ is its path as reported.
    void visit(const std::string& name) {
        struct stat st {};
        if (::lstat(name.c_str(), &st) != 0) {
            report(shown_, vorpel::errnoText(errno));
            return;
        }
        // Links are never followed: the target may lie anywhere, outside the tree.
        if (S_ISLNK(st.st_mode) || !(S_ISREG(st.st_mode) || S_ISDIR(st.st_mode))) return;
        // A file linked twice must be changed once: a second unlock would find no record and
        // add owner write to a restored read-only mode.
        if (S_ISREG(st.st_mode) && st.st_nlink > 1 && !seen_.insert({st.st_dev, st.st_ino}).second) return;
        if (!o_.recursive || !S_ISDIR(st.st_mode)) {
            apply(name);
            return;
        }
        // A folder is locked last and unlocked first: it is never locked while its entries
        // are still being changed.
        if (!o_.lock) apply(name);
        if (!enter(name, st) && o_.lock) apply(name);
    }

    // Lists the folder and makes it the working folder; false when its entries cannot be reached.
    bool enter(const std::string& name, const struct stat& seen) {
        const int fd = ::open(name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) {
            report(shown_, vorpel::errnoText(errno));
            return false;
        }
        struct stat st {};
        if (::fstat(fd, &st) != 0 || st.st_dev != seen.st_dev || st.st_ino != seen.st_ino) {
            ::close(fd);
            report(shown_, "replaced by another item while being changed");
            return false;
        }
        DIR* d = ::fdopendir(fd);
        if (!d) {
            const int err = errno;
            ::close(fd);
            report(shown_, vorpel::errnoText(err));
            return false;
        }
        // Read the whole listing first: no folder stays open while descending.
        std::vector<std::string> names;
        errno = 0;
        while (const dirent* e = ::readdir(d)) {
            const std::string entry = e->d_name;
            if (entry != "." && entry != "..") names.push_back(entry);
        }
        const int err = errno;
        const int cdErr = ::fchdir(fd) == 0 ? 0 : errno;
        ::closedir(d);
        if (err != 0) report(shown_, vorpel::errnoText(err));
        if (cdErr != 0) {
            // Listed but not searchable: none of its entries can be reached.
            const std::string prefix = shown_.ends_with('/') ? shown_ : shown_ + "/";
            for (const auto& entry : names) report(prefix + entry, vorpel::errnoText(cdErr));
            return false;
        }
        folders_.push_back({name, shown_.size(), st.st_dev, st.st_ino, std::move(names)});
        return true;
    }

    // Back to the folder above the one just finished.
    bool goUp() {
        if (folders_.empty()) {
            if (::fchdir(start_) != 0) throw ToolError(".", vorpel::errnoText(errno));
            return true;
        }
        const Folder& parent = folders_.back();
        struct stat st {};
        if (::chdir("..") == 0 && ::stat(".", &st) == 0 && st.st_dev == parent.dev &&
            st.st_ino == parent.ino) {
            return true;
        }
        // Moved away during the walk: nothing more of this operand can be found safely.
        report(shown_.substr(0, parent.shownSize), "moved while being changed; not finished");
        folders_.clear();
        return false;
    }

    void apply(const std::string& name) {
        try {
            o_.lock ? chflags::lockItem(name) : chflags::unlockItem(name);
            if (o_.verbose) std::printf("%s\n", shown_.c_str());
        } catch (const chflags::NoXattrSupport&) {
            throw chflags::NoXattrSupport(shown_);
        } catch (const vorpel::ToolError& e) {
            report(shown_, e.what());
        }
    }

    void report(const std::string& path, const std::string& reason) {
        if (o_.quiet) return;
        std::fprintf(stderr, "chflags: %s: %s\n", path.c_str(), reason.c_str());
        failed_ = true;
    }

    const Options& o_;
    int start_ = -1;
    bool failed_ = false;
    std::string shown_;
    std::vector<Folder> folders_;
    std::set<std::pair<dev_t, ino_t>> seen_;
};

Options parseOptions(int argc, char** argv, bool& help) {
    Options o;
    int i = 1;
    bool optionsEnded = false;
    for (; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--") {
            ++i;
            optionsEnded = true;
            break;
        }
        if (arg == "--help") {
            help = true;
            return o;
        }
        if (arg.size() < 2 || arg[0] != '-') break;
        for (size_t k = 1; k < arg.size(); ++k) {
            switch (arg[k]) {
            case 'R': o.recursive = true; break;
            case 'P': break;
            case 'v': o.verbose = true; break;
            case 'f': o.quiet = true; break;
            case 'h': help = true; return o;
            case 'H':
            case 'L':
                throw ToolError({}, std::string("-") + arg[k] + ": following symbolic links is not supported",
                                ExitUsage);
            default:
                throw ToolError({}, std::string("unknown option -") + arg[k] + "\n" + kTryHelp, ExitUsage);
            }
        }
    }
    const auto missing = [] {
        return ToolError({}, std::string("missing flags or path\n") + kTryHelp, ExitUsage);
    };
    if (i >= argc) throw missing();
    const std::string flags = argv[i++];
    // As in "chflags -R uchg -- -R": the options may also end after the flags.
    if (!optionsEnded && i < argc && std::string(argv[i]) == "--") ++i;
    if (i >= argc) throw missing();
    if (flags == "uchg" || flags == "uchange" || flags == "uimmutable") {
        o.lock = true;
    } else if (flags == "nouchg" || flags == "nouchange" || flags == "nouimmutable") {
        o.lock = false;
    } else {
        throw ToolError({}, "invalid flag `" + flags + "' (uchg or nouchg)", ExitUsage);
    }
    for (; i < argc; ++i) o.paths.emplace_back(argv[i]);
    return o;
}

int run(int argc, char** argv) {
    bool help = false;
    const Options o = parseOptions(argc, argv, help);
    if (help) {
        std::fputs(kUsage, stdout);
        return vorpel::ExitOk;
    }
    Walker walker(o);
    bool ok = true;
    for (const auto& path : o.paths) ok = walker.run(path) && ok;
    return ok ? vorpel::ExitOk : vorpel::ExitFailure;
}

} // namespace

int main(int argc, char** argv) {
    return vorpel::runTool("chflags", [&] { return run(argc, argv); });
}
