#include "formats.h"

#include "platform/toolerror.h"

#include <cerrno>
#include <stdexcept>
#include <utility>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace textutil {

void drain(Sink* sink, std::string& buffer, bool all) {
    if (!sink || buffer.empty() || (!all && buffer.size() < kSinkChunk)) return;
    sink->write(buffer);
    buffer.clear();
}

const std::vector<Format>& formats() {
    // Detection runs in this order: the specific signatures first, plain text last.
    static const std::vector<Format> table = {
        {"rtfd", "rtfd", true, detectRtfd, readRtfd, writeRtfd},
        // Office formats: zip packages, compound files and Word XML before HTML and text.
        {"docx", "docx", false, detectDocx, readDocx, writeDocx, true},
        {"odt", "odt", false, detectOdt, readOdt, writeOdt, true},
        {"wordml", "xml", false, detectWordML, readWordML, writeWordML},
        {"doc", "doc", false, detectDoc, readDoc, writeDoc},
        {"webarchive", "webarchive", false, detectWebArchive, readWebArchive, writeWebArchive},
        {"rtf", "rtf", false, detectRtf, readRtf, writeRtf},
        {"html", "html", false, detectHtml, readHtml, writeHtml},
        {"txt", "txt", false, detectTxt, readTxt, writeTxt},
    };
    return table;
}

const Format* findFormat(std::string_view name) {
    for (const Format& f : formats())
        if (f.name == name) return &f;
    return nullptr;
}

const Format* detectFormat(const Input& in) {
    for (const Format& f : formats())
        if (f.detect && f.read && f.detect(in)) return &f;
    return nullptr;
}

// Reads an open file to its end and closes it; `path` names it in errors.
static std::string readOpenFile(int fd, const fs::path& path) {
    std::string data;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && st.st_size > 0) data.reserve(size_t(st.st_size));
    char buf[65536];
    while (true) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            const int err = errno;
            ::close(fd);
            throw vorpel::ToolError(path.string(), vorpel::errnoText(err));
        }
        if (n == 0) break;
        data.append(buf, size_t(n));
    }
    ::close(fd);
    return data;
}

std::string readWholeFile(const fs::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw vorpel::ToolError(path.string(), vorpel::errnoText(errno));
    return readOpenFile(fd, path);
}

Document readDocument(const fs::path& path, const ReadOptions& opts) {
    Input in;
    in.path = path;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) throw vorpel::ToolError(path.string(), vorpel::errnoText(errno));
    if (S_ISDIR(st.st_mode)) {
        in.isFolder = true;
    } else {
        in.bytes = readWholeFile(path);
        in.ofFile = true;
    }
    return readDocument(std::move(in), opts);
}

Document readAs(const Format& f, Input in, const ReadOptions& opts) {
    if (f.readsFile && in.ofFile) std::string().swap(in.bytes);
    return f.read(in, opts);
}

Document readDocument(Input in, const ReadOptions& opts) {
    const std::string where = in.path.empty() ? std::string("stdin") : in.path.string();
    if (!in.isFolder && in.bytes.empty()) throw vorpel::ToolError(where, "file is empty");
    const Format* f = detectFormat(in);
    if (!f) {
        throw vorpel::ToolError(where, in.isFolder ? "folder is not an RTFD document"
                                                   : "not a document in a readable format");
    }
    try {
        return readAs(*f, std::move(in), opts);
    } catch (const vorpel::ToolError&) {
        throw;
    } catch (const std::exception& e) {
        throw vorpel::ToolError(where, std::string(f->name) + " document cannot be read: " + e.what());
    }
}

std::optional<std::string> readReferencedFile(const fs::path& folder, const fs::path& name) {
    // One component at a time, never through a link: a document must not reach files that a
    // link inside its folder points at (a bundle's picture linking to a password file).
    int dirFd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0) return std::nullopt;
    std::vector<std::string> parts;
    for (const fs::path& part : name.relative_path())
        if (!part.empty() && part != ".") parts.push_back(part.string());
    if (parts.empty()) {
        ::close(dirFd);
        return std::nullopt;
    }
    fs::path through;
    for (size_t i = 0; i < parts.size(); ++i) {
        const bool last = i + 1 == parts.size();
        // Non-blocking: opening a pipe would otherwise wait for a writer.
        const int fd = ::openat(dirFd, parts[i].c_str(),
                                O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | (last ? 0 : O_DIRECTORY));
        through /= parts[i];
        struct stat st {};
        const bool isLink = fd < 0 && ::fstatat(dirFd, parts[i].c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                            S_ISLNK(st.st_mode);
        ::close(dirFd);
        if (isLink) throw std::runtime_error(through.string() + " is a symbolic link, which is not followed");
        if (fd < 0) return std::nullopt;
        dirFd = fd;
    }
    // A pipe or /dev/zero would be read forever.
    struct stat st {};
    if (::fstat(dirFd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(dirFd);
        return std::nullopt;
    }
    const int flags = ::fcntl(dirFd, F_GETFL);
    if (flags >= 0) ::fcntl(dirFd, F_SETFL, flags & ~O_NONBLOCK);
    return readOpenFile(dirFd, folder / name);
}

} // namespace textutil
