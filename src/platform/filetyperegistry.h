#pragma once

#include <map>
#include <string>

namespace vorpel {

// The process-wide registry of document file types.
class FileTypeRegistry {
public:
    struct Entry {
        std::string macCreator;
        std::string macType;
        std::string extensions;
    };

    static FileTypeRegistry& instance();

    void add(const std::string& name, const std::string& macCreator, const std::string& macType,
             const std::string& extensions);
    void remove(const std::string& name);
    bool contains(const std::string& name) const;
    const Entry* find(const std::string& name) const;
    size_t size() const { return entries_.size(); }

    // What a drop target declared with this type accepts: "any file or folder" for
    // "special/any", the extensions for other types, empty when the name is unknown.
    std::string accepts(const std::string& name) const;
    // True when an item of the given name and kind may be dropped under this type.
    bool acceptsItem(const std::string& typeName, const std::string& itemName, bool isFolder) const;

private:
    std::map<std::string, Entry> entries_;
};

} // namespace vorpel
