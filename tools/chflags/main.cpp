// chflags: locks (uchg) and unlocks (nouchg) files and folders. Linux lets no ordinary user set
// an immutable flag, so a lock takes away every write bit and keeps the old mode in an xattr.

#include "lock.h"

#include "platform/toolerror.h"

#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <set>
#include <string>
#include <sys/stat.h>
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

class Walker {
public:
    explicit Walker(const Options& o) : o_(o) {}

    // Processes one operand; false when anything under it failed.
    bool run(const std::string& path) {
        failed_ = false;
        try {
            visit(path);
        } catch (const chflags::NoXattrSupport& e) {
            // Stop this operand: every further item would fail the same way.
            report(e.what(), "the file system does not support extended attributes, so the "
                             "permissions cannot be recorded; not locked");
        }
        return !failed_;
    }

private:
    void visit(const std::string& path) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0) {
            report(path, vorpel::errnoText(errno));
            return;
        }
        // Links are never followed: the target may lie anywhere, outside the tree.
        if (S_ISLNK(st.st_mode) || !(S_ISREG(st.st_mode) || S_ISDIR(st.st_mode))) return;
        // A file linked twice must be changed once: a second unlock would find no record and
        // add owner write to a restored read-only mode.
        if (S_ISREG(st.st_mode) && st.st_nlink > 1 && !seen_.insert({st.st_dev, st.st_ino}).second) return;
        const bool descend = o_.recursive && S_ISDIR(st.st_mode);
        // A folder is locked last and unlocked first: it is never locked while its entries
        // are still being changed.
        if (descend && o_.lock) children(path);
        apply(path);
        if (descend && !o_.lock) children(path);
    }

    void apply(const std::string& path) {
        try {
            o_.lock ? chflags::lockItem(path) : chflags::unlockItem(path);
            if (o_.verbose) std::printf("%s\n", path.c_str());
        } catch (const vorpel::ToolError& e) {
            report(e.path(), e.what());
        }
    }

    void children(const std::string& dir) {
        DIR* d = ::opendir(dir.c_str());
        if (!d) {
            report(dir, vorpel::errnoText(errno));
            return;
        }
        // Read the whole listing first: no directory stays open while descending.
        std::vector<std::string> names;
        errno = 0;
        while (const dirent* e = ::readdir(d)) {
            const std::string name = e->d_name;
            if (name != "." && name != "..") names.push_back(name);
        }
        const int err = errno;
        ::closedir(d);
        if (err != 0) report(dir, vorpel::errnoText(err));
        const std::string prefix = dir.ends_with('/') ? dir : dir + "/";
        for (const auto& name : names) visit(prefix + name);
    }

    void report(const std::string& path, const std::string& reason) {
        if (o_.quiet) return;
        std::fprintf(stderr, "chflags: %s: %s\n", path.c_str(), reason.c_str());
        failed_ = true;
    }

    const Options& o_;
    bool failed_ = false;
    std::set<std::pair<dev_t, ino_t>> seen_;
};

Options parseOptions(int argc, char** argv, bool& help) {
    Options o;
    int i = 1;
    for (; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--") {
            ++i;
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
    if (argc - i < 2) throw ToolError({}, std::string("missing flags or path\n") + kTryHelp, ExitUsage);
    const std::string flags = argv[i++];
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
