#include "filetypes.h"

#include "platform/filetyperegistry.h"

namespace vorpel {

FileType::~FileType() { deregister(); }

void FileType::setName(const std::string& v) {
    deregister();
    name_ = v;
}
void FileType::setExtensions(const std::string& v) {
    deregister();
    extensions_ = v;
}
void FileType::setMacType(const std::string& v) {
    deregister();
    macType_ = v;
}
void FileType::setMacCreator(const std::string& v) {
    deregister();
    macCreator_ = v;
}

FileType::operator std::string() {
    registerType();
    return name_;
}

void FileType::registerType() {
    if (registered_) return;
    FileTypeRegistry::instance().add(name_, macCreator_, macType_, extensions_);
    registered_ = true;
}

void FileType::deregister() {
    if (!registered_) return;
    FileTypeRegistry::instance().remove(name_);
    registered_ = false;
}

std::string operator+(FileType& a, FileType& b) {
    std::string left = a;
    return left + ";" + static_cast<std::string>(b);
}
std::string operator+(FileType& a, const std::string& b) { return static_cast<std::string>(a) + ";" + b; }
std::string operator+(const std::string& a, FileType& b) { return a + ";" + static_cast<std::string>(b); }

namespace FileTypes {

Set& members() {
    static Set s;
    return s;
}

namespace {
void make(std::unique_ptr<FileType>& member, const char* name, const char* extensions,
          const char* macType, const char* macCreator) {
    member = std::make_unique<FileType>();
    member->setName(name);
    member->setExtensions(extensions);
    member->setMacType(macType);
    member->setMacCreator(macCreator);
    (void)static_cast<std::string>(*member);
}
} // namespace

void Initialise() {
    Set& s = members();
    make(s.pTextHtml, "text/html", ".htm;.html;.html", "TEXT", "????");
    make(s.pApplicationRtf, "application/rtf", ".rtf", "RTF ", "MSWD");
    make(s.pApplicationText, "application/text", ".1st;.nfo;.readme;readme", "TEXT", "text");
    make(s.pApplicationXXml, "application/x-xml", ".xml", "TEXT", "DmWr");
    make(s.pSpecialAny, "special/any", "", "????", "????");
    make(s.pTextPlainCharsetUtf16, "text/plain; charset=\"utf-16\"", ".uni", "utxt", "St\u00FFl");
    make(s.pAny, "any", "", "????", "????");
    make(s.pApplicationVndMsExcel, "application/vnd.ms-excel", ".xl", "XLS ", "XCEL");
    make(s.pUntitledType, "", "", "", "");
    make(s.pImageTiff, "image/tiff", ".jfx;.tif;.tiff", "TIFF", "????");
}

void Release() {
    Set& s = members();
    for (auto* m : {&s.pTextHtml, &s.pApplicationRtf, &s.pApplicationText, &s.pApplicationXXml,
                    &s.pSpecialAny, &s.pTextPlainCharsetUtf16, &s.pAny, &s.pApplicationVndMsExcel,
                    &s.pUntitledType, &s.pImageTiff})
        m->reset();
}

} // namespace FileTypes
} // namespace vorpel
