#pragma once

#include <filesystem>
#include <string>

namespace vorpel {

// A file or folder of the file system, which need not exist yet.
// A null item stands for "no such item can be formed" (no parent of a root, a bad child name).
class FolderItem {
public:
    FolderItem() = default;
    explicit FolderItem(std::filesystem::path absolutePath);

    bool isNull() const { return path_.empty(); }

    // Whole name, extension included.
    std::string Name() const;
    std::string AbsolutePath() const { return path_.string(); }
    // The path as one shell word, whatever bytes the name holds.
    std::string ShellPath() const;
    // The folder holding this item; null for the root.
    FolderItem Parent() const;
    // An item of that name inside this folder; null when the name cannot be one path component.
    FolderItem Child(const std::string& name) const;
    bool Exists() const;
    bool Directory() const;
    // A pipe, socket or device (after links): reading one may never end.
    bool Special() const;

    const std::filesystem::path& path() const { return path_; }
    bool operator==(const FolderItem& o) const { return path_ == o.path_; }

private:
    std::filesystem::path path_;
};

// Quotes any byte string so that a POSIX shell reads it back as exactly one word.
std::string shellQuote(const std::string& word);

} // namespace vorpel
