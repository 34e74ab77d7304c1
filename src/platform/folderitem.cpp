#include "folderitem.h"

#include <system_error>

namespace fs = std::filesystem;

namespace vorpel {

FolderItem::FolderItem(fs::path absolutePath) : path_(std::move(absolutePath)) {
    if (path_.empty()) return;
    if (path_.is_relative()) path_ = fs::absolute(path_);
    path_ = path_.lexically_normal();
    // "/a/b/" names the folder b: keep the name visible.
    const std::string s = path_.string();
    if (s.size() > 1 && s.back() == '/') path_ = s.substr(0, s.size() - 1);
}

std::string FolderItem::Name() const {
    if (path_ == "/") return "/";
    return path_.filename().string();
}

std::string FolderItem::ShellPath() const { return shellQuote(AbsolutePath()); }

FolderItem FolderItem::Parent() const {
    if (isNull() || path_ == path_.root_path()) return {};
    return FolderItem(path_.parent_path());
}

FolderItem FolderItem::Child(const std::string& name) const {
    if (isNull()) return {};
    // "." and ".." are accepted as written: they still name a place inside this folder tree.
    if (name.find('/') != std::string::npos || name.find('\0') != std::string::npos) return {};
    FolderItem child;
    child.path_ = path_ / name;
    return child;
}

bool FolderItem::Exists() const {
    std::error_code ec;
    return !isNull() && fs::symlink_status(path_, ec).type() != fs::file_type::not_found &&
           !ec;
}

bool FolderItem::Directory() const {
    std::error_code ec;
    return !isNull() && fs::is_directory(path_, ec);
}

bool FolderItem::Special() const {
    std::error_code ec;
    const fs::file_type t = isNull() ? fs::file_type::none : fs::status(path_, ec).type();
    return !ec && t != fs::file_type::none && t != fs::file_type::not_found && t != fs::file_type::regular &&
           t != fs::file_type::directory && t != fs::file_type::unknown;
}

std::string shellQuote(const std::string& word) {
    std::string out;
    out.reserve(word.size() * 2 + 2);
    for (const char ch : word) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '\n') {
            // A backslash-newline is a line continuation; only quotes carry a newline.
            out += "'\n'";
        } else if (c >= 0x80 || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                   (c >= '0' && c <= '9') || c == '/' || c == '.' || c == '_' || c == '-' ||
                   c == ',' || c == '+' || c == '@' || c == ':') {
            out += ch;
        } else {
            out += '\\';
            out += ch;
        }
    }
    if (out.empty()) out = "''";
    return out;
}

} // namespace vorpel
