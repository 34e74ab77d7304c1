#include "filetyperegistry.h"

#include <algorithm>
#include <cctype>
#include <sstream>

namespace vorpel {

namespace {
constexpr const char* kAnyItem = "special/any";

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}
} // namespace

FileTypeRegistry& FileTypeRegistry::instance() {
    static FileTypeRegistry r;
    return r;
}

void FileTypeRegistry::add(const std::string& name, const std::string& macCreator,
                           const std::string& macType, const std::string& extensions) {
    entries_[name] = Entry{macCreator, macType, extensions};
}

void FileTypeRegistry::remove(const std::string& name) { entries_.erase(name); }

bool FileTypeRegistry::contains(const std::string& name) const { return entries_.count(name) > 0; }

const FileTypeRegistry::Entry* FileTypeRegistry::find(const std::string& name) const {
    const auto it = entries_.find(name);
    return it == entries_.end() ? nullptr : &it->second;
}

std::string FileTypeRegistry::accepts(const std::string& name) const {
    const Entry* e = find(name);
    if (!e) return {};
    if (name == kAnyItem) return "any file or folder";
    return e->extensions;
}

bool FileTypeRegistry::acceptsItem(const std::string& typeName, const std::string& itemName,
                                   bool isFolder) const {
    const Entry* e = find(typeName);
    if (!e) return false;
    if (typeName == kAnyItem) return true;
    if (isFolder) return false;
    const std::string n = lower(itemName);
    std::stringstream ss(e->extensions);
    std::string ext;
    while (std::getline(ss, ext, ';')) {
        ext = lower(ext);
        if (!ext.empty() && n.size() >= ext.size() && n.compare(n.size() - ext.size(), ext.size(), ext) == 0)
            return true;
    }
    return false;
}

} // namespace vorpel
