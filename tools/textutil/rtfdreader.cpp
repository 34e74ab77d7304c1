#include "formats.h"
#include "rtf.h"

#include "platform/toolerror.h"


namespace fs = std::filesystem;

namespace textutil {

bool detectRtfd(const Input& in) {
    std::error_code ec;
    return in.isFolder && (fs::is_regular_file(in.path / "TXT.rtf", ec) || fs::is_regular_file(in.path / "TXT.rtfd", ec));
}

Document readRtfd(const Input& in, const ReadOptions&) {
    const fs::path dir = in.path;
    const std::optional<std::string> text = readReferencedFile(dir, "TXT.rtf");
    if (!text) throw vorpel::ToolError(in.path.string(), "RTFD bundle has no readable TXT.rtf");
    // Attachment names come from the document: keep them inside the bundle.
    rtf::AttachmentLoader loader = [&dir](const std::string& name) -> std::optional<std::string> {
        if (name.find('/') != std::string::npos || name == ".." || name == ".") return std::nullopt;
        return readReferencedFile(dir, name);
    };
    return rtf::parse(*text, loader);
}

} // namespace textutil
