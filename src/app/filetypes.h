#pragma once

#include <memory>
#include <string>

namespace vorpel {

// One document file type; registered with the registry on first conversion to a string.
class FileType {
public:
    FileType() = default;
    ~FileType();
    FileType(const FileType&) = delete;
    FileType& operator=(const FileType&) = delete;

    const std::string& Name() const { return name_; }
    const std::string& Extensions() const { return extensions_; }
    const std::string& MacType() const { return macType_; }
    const std::string& MacCreator() const { return macCreator_; }
    // Each setter withdraws a registration first, so the registry never holds stale values.
    void setName(const std::string& v);
    void setExtensions(const std::string& v);
    void setMacType(const std::string& v);
    void setMacCreator(const std::string& v);

    bool registered() const { return registered_; }
    // Conversion to a string registers the record, then yields its name.
    operator std::string();
    std::string toString() { return static_cast<std::string>(*this); }
    // Types have no picture of their own.
    std::nullptr_t Icon() const { return nullptr; }

private:
    void registerType();
    void deregister();

    std::string name_, extensions_, macType_, macCreator_;
    bool registered_ = false;
};

std::string operator+(FileType& a, FileType& b);
std::string operator+(FileType& a, const std::string& b);
std::string operator+(const std::string& a, FileType& b);

// The application's document file types, created and registered at start-up.
namespace FileTypes {
struct Set {
    std::unique_ptr<FileType> pTextHtml, pApplicationRtf, pApplicationText, pApplicationXXml,
        pSpecialAny, pTextPlainCharsetUtf16, pAny, pApplicationVndMsExcel, pUntitledType,
        pImageTiff;
};
void Initialise();
void Release();
// Null members before Initialise and after Release.
Set& members();
} // namespace FileTypes

} // namespace vorpel
