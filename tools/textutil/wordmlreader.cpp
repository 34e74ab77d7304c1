#include "formats.h"
#include "media.h"
#include "officexml.h"
#include "wordprocessing.h"

#include <cstring>
#include <map>
#include <stdexcept>

namespace textutil {

namespace {

const char* const kWordML = "http://schemas.microsoft.com/office/word/2003/wordml";

std::string isoTime(const std::string& s) {
    if (s.size() < 10) return {};
    if (s.size() >= 19) return s.substr(0, 19) + "Z";
    return s.substr(0, 10) + "T00:00:00Z";
}

// Document order: the node after n within root, descending first.
const xmlNode* nextElement(const xmlNode* n, const xmlNode* root) {
    if (n->children) return n->children;
    while (n && n != root) {
        if (n->next) return n->next;
        n = n->parent;
    }
    return nullptr;
}

} // namespace

bool detectWordML(const Input& in) {
    if (in.isFolder) return false;
    const std::string_view head = std::string_view(in.bytes).substr(0, 4096);
    // Flat OPC packages carry the same processing instruction; the namespace tells them apart.
    return head.find("wordDocument") != std::string_view::npos && head.find(kWordML) != std::string_view::npos;
}

Document readWordML(const Input& in, const ReadOptions&) {
    const auto parsed = xml::parse(in.bytes, "the Word XML document");
    const xmlNode* root = xmlDocGetRootElement(parsed.get());
    if (!xml::is(root, "wordDocument")) throw std::runtime_error("the root element is not w:wordDocument");
    const xmlNode* body = xml::child(root, "body");
    if (!body) throw std::runtime_error("the document has no body");

    Document doc;
    Metadata& m = doc.meta;
    for (const xmlNode* n = xml::child(root, "DocumentProperties") ? xml::child(root, "DocumentProperties")->children : nullptr;
         n; n = n->next) {
        if (n->type != XML_ELEMENT_NODE) continue;
        const std::string v = xml::text(n);
        if (xml::is(n, "Title")) m.title = v;
        else if (xml::is(n, "Author")) m.author = v;
        else if (xml::is(n, "LastAuthor")) m.editor = v;
        else if (xml::is(n, "Subject")) m.subject = v;
        else if (xml::is(n, "Keywords")) m.keywords = v;
        else if (xml::is(n, "Description")) m.comment = v;
        else if (xml::is(n, "Company")) m.company = v;
        else if (xml::is(n, "Created")) m.creationTime = isoTime(v);
        else if (xml::is(n, "LastSaved")) m.modificationTime = isoTime(v);
    }

    std::map<std::string, int> pictures;  // binData name -> attachment
    wp::ReadHooks hooks;
    hooks.picture = [&](const xmlNode* n) -> int {
        // Word writes the data before the shape that shows it, in the same w:pict.
        for (const xmlNode* c = n->children; c; c = c->next) {
            if (!xml::is(c, "binData")) continue;
            const std::string name = xml::attr(c, "name");
            if (pictures.count(name)) continue;
            Attachment a;
            a.data = base64Decode(xml::text(c));
            if (a.data.empty()) continue;
            a.mimeType = sniffMimeType(a.data);
            const size_t slash = name.rfind('/');
            a.fileName = slash == std::string::npos ? name : name.substr(slash + 1);
            if (a.mimeType == "application/octet-stream") {
                const size_t dot = a.fileName.rfind('.');
                if (dot != std::string::npos) a.mimeType = mimeForExtension(a.fileName.substr(dot + 1));
            }
            pictures[name] = doc.addAttachment(std::move(a));
        }
        const xmlNode* img = xml::find(n, "imagedata");
        if (!img) return -1;
        auto it = pictures.find(xml::attr(img, "src"));
        if (it == pictures.end()) return -1;
        if (const xmlNode* shape = img->parent; shape && shape->type == XML_ELEMENT_NODE) {
            const std::string style = xml::attr(shape, "style");
            Attachment& a = doc.attachments[size_t(it->second)];
            if (a.width <= 0) {
                a.width = wp::vmlLength(style, "width:");
                a.height = wp::vmlLength(style, "height:");
            }
        }
        return it->second;
    };
    wp::readBody(body, xml::child(root, "styles"), xml::child(root, "lists"), hooks, doc);
    // The page header and footer sit in a section's properties; "odd" is the default one. A
    // "first" or "even" one stands in when there is no default, so its text is not dropped.
    for (const auto& [kind, into] :
         {std::pair<const char*, std::vector<Block>*>{"hdr", &doc.header},
          std::pair<const char*, std::vector<Block>*>{"ftr", &doc.footer}}) {
        const xmlNode* found[3] = {}; // odd, first, even
        for (const xmlNode* n = body; n && !found[0]; n = nextElement(n, body)) {
            if (!xml::is(n, kind)) continue;
            const std::string type = xml::attr(n, "type");
            const int slot = type.empty() || type == "odd" ? 0 : type == "first" ? 1 : type == "even" ? 2 : -1;
            if (slot >= 0 && !found[slot]) found[slot] = n;
        }
        if (const xmlNode* n = found[0] ? found[0] : found[1] ? found[1] : found[2])
            wp::readStory(n, xml::child(root, "styles"), xml::child(root, "lists"), hooks, doc, *into);
    }
    return doc;
}

} // namespace textutil
