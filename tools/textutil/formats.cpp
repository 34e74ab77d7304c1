#include "formats.h"

#include "platform/toolerror.h"

#include <cerrno>
#include <fstream>
#include <sstream>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace textutil {

const std::vector<Format>& formats() {
    // Detection runs in this order: the specific signatures first, plain text last.
    static const std::vector<Format> table = {
        {"rtfd", "rtfd", true, detectRtfd, readRtfd, writeRtfd},
        // Office formats: zip packages, compound files and Word XML before HTML and text.
        {"docx", "docx", false, detectDocx, readDocx, writeDocx},
        {"odt", "odt", false, detectOdt, readOdt, writeOdt},
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

static std::string slurp(const fs::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw vorpel::ToolError(path.string(), vorpel::errnoText(errno));
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

Document readDocument(const fs::path& path, const ReadOptions& opts) {
    Input in;
    in.path = path;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) throw vorpel::ToolError(path.string(), vorpel::errnoText(errno));
    if (S_ISDIR(st.st_mode)) {
        in.isFolder = true;
    } else {
        in.bytes = slurp(path);
    }
    return readDocument(in, opts);
}

Document readDocument(const Input& in, const ReadOptions& opts) {
    const std::string where = in.path.empty() ? std::string("stdin") : in.path.string();
    if (!in.isFolder && in.bytes.empty()) throw vorpel::ToolError(where, "file is empty");
    const Format* f = detectFormat(in);
    if (!f) {
        throw vorpel::ToolError(where, in.isFolder ? "folder is not an RTFD document"
                                                   : "not a document in a readable format");
    }
    try {
        return f->read(in, opts);
    } catch (const vorpel::ToolError&) {
        throw;
    } catch (const std::exception& e) {
        throw vorpel::ToolError(where, std::string(f->name) + " document cannot be read: " + e.what());
    }
}

std::optional<std::string> readReferencedFile(const fs::path& path) {
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) return std::nullopt;
    std::ifstream f(path, std::ios::binary);
    if (!f) return std::nullopt;
    std::ostringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

} // namespace textutil
