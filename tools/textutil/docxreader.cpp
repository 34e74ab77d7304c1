#include "formats.h"
#include "media.h"
#include "officexml.h"
#include "wordprocessing.h"
#include "zipfile.h"

#include <libxml/xmlreader.h>

#include <cstring>
#include <exception>
#include <map>
#include <stdexcept>

namespace textutil {

namespace {

struct Rel {
    std::string type, target;
    bool external = false;
};

std::string folderOf(const std::string& part) {
    const size_t slash = part.rfind('/');
    return slash == std::string::npos ? std::string() : part.substr(0, slash + 1);
}

// A relationship target resolved against the folder of its source part.
std::string resolvePart(const std::string& folder, const std::string& target) {
    std::string path = !target.empty() && target[0] == '/' ? target.substr(1) : folder + target;
    std::vector<std::string> parts;
    size_t i = 0;
    while (i <= path.size()) {
        size_t j = path.find('/', i);
        if (j == std::string::npos) j = path.size();
        const std::string seg = path.substr(i, j - i);
        if (seg == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!seg.empty() && seg != ".") {
            parts.push_back(seg);
        }
        i = j + 1;
    }
    std::string out;
    for (const std::string& p : parts) out += (out.empty() ? "" : "/") + p;
    return out;
}

std::map<std::string, Rel> readRels(const zip::Archive& z, const std::string& part) {
    std::map<std::string, Rel> rels;
    const std::string folder = folderOf(part);
    const std::string name = part.substr(folder.size());
    const auto data = z.read(folder + "_rels/" + name + ".rels");
    if (!data) return rels;
    const auto doc = xml::parse(*data, "the relationships of " + part);
    for (xmlNode* r = xmlDocGetRootElement(doc.get())->children; r; r = r->next) {
        if (!xml::is(r, "Relationship")) continue;
        Rel rel;
        rel.type = xml::attr(r, "Type");
        rel.external = xml::attr(r, "TargetMode") == "External";
        const std::string target = xml::attr(r, "Target");
        rel.target = rel.external ? target : resolvePart(folder, target);
        rels[xml::attr(r, "Id")] = rel;
    }
    return rels;
}

const Rel* relOfType(const std::map<std::string, Rel>& rels, std::string_view suffix) {
    for (const auto& [id, r] : rels)
        if (r.type.size() >= suffix.size() && r.type.compare(r.type.size() - suffix.size(), suffix.size(), suffix) == 0)
            return &r;
    return nullptr;
}

std::string isoTime(std::string s) {
    // W3CDTF with optional fractions: keep "YYYY-MM-DDThh:mm:ss" and mark it UTC.
    if (s.size() < 10) return {};
    if (s.size() >= 19) return s.substr(0, 19) + "Z";
    return s.substr(0, 10) + "T00:00:00Z";
}

void readCore(const zip::Archive& z, const std::string& part, Metadata& m) {
    const auto data = z.read(part);
    if (!data) return;
    const auto doc = xml::parse(*data, part);
    for (xmlNode* n = xmlDocGetRootElement(doc.get())->children; n; n = n->next) {
        if (n->type != XML_ELEMENT_NODE) continue;
        const std::string v = xml::text(n);
        if (xml::is(n, "title")) m.title = v;
        else if (xml::is(n, "creator")) m.author = v;
        else if (xml::is(n, "subject")) m.subject = v;
        else if (xml::is(n, "keywords")) m.keywords = v;
        else if (xml::is(n, "description")) m.comment = v;
        else if (xml::is(n, "lastModifiedBy")) m.editor = v;
        else if (xml::is(n, "created")) m.creationTime = isoTime(v);
        else if (xml::is(n, "modified")) m.modificationTime = isoTime(v);
    }
}

void readApp(const zip::Archive& z, const std::string& part, Metadata& m) {
    const auto data = z.read(part);
    if (!data) return;
    const auto doc = xml::parse(*data, part);
    for (xmlNode* n = xmlDocGetRootElement(doc.get())->children; n; n = n->next) {
        if (xml::is(n, "Company")) m.company = xml::text(n);
        else if (xml::is(n, "Application")) m.generator = xml::text(n);
    }
}

double emuToPt(const std::string& v) { return v.empty() ? 0 : std::strtod(v.c_str(), nullptr) / 12700; }

// The main part inflated and parsed as a stream: of a long document only the body's current
// block is a tree at any time, and the inflated XML is never held whole.
class MainPart {
public:
    MainPart(const zip::Archive& z, const std::string& part) : entry_(z.open(part)), part_(part) {
        if (!entry_) throw std::runtime_error("the package has no main document part");
        // Owned from the start: a constructor that throws runs no destructor.
        reader_.reset(xmlReaderForIO(&MainPart::readChunk, nullptr, this, nullptr, nullptr,
                                     XML_PARSE_NONET | XML_PARSE_HUGE | XML_PARSE_NOERROR |
                                         XML_PARSE_NOWARNING));
        if (error_) std::rethrow_exception(error_);
        if (!reader_) throw std::runtime_error(part_ + " is not well-formed XML");
    }
    MainPart(const MainPart&) = delete;
    MainPart& operator=(const MainPart&) = delete;

    // Moves to the body, a child of the root element; the root's other children are passed over.
    void findBody() {
        bool more = step(xmlTextReaderRead(reader_.get()));
        while (more) {
            if (xmlTextReaderNodeType(reader_.get()) == XML_READER_TYPE_ELEMENT &&
                xmlTextReaderDepth(reader_.get()) == 1) {
                if (std::strcmp(reinterpret_cast<const char*>(xmlTextReaderConstLocalName(reader_.get())),
                                "body") == 0) {
                    inBody_ = !xmlTextReaderIsEmptyElement(reader_.get());
                    return;
                }
                more = step(xmlTextReaderNext(reader_.get()));
                continue;
            }
            more = step(xmlTextReaderRead(reader_.get()));
        }
        throw std::runtime_error("the main document has no body");
    }

    // The body's next child element, or null after the last; the one before is freed.
    const xmlNode* next() {
        if (!inBody_) return nullptr;
        bool more = step(expanded_ ? xmlTextReaderNext(reader_.get()) : xmlTextReaderRead(reader_.get()));
        expanded_ = false;
        while (more && xmlTextReaderDepth(reader_.get()) > 1) {
            if (xmlTextReaderNodeType(reader_.get()) == XML_READER_TYPE_ELEMENT) {
                xmlNode* n = xmlTextReaderExpand(reader_.get());
                if (!n) step(-1);
                expanded_ = true;
                return n;
            }
            more = step(xmlTextReaderRead(reader_.get()));
        }
        inBody_ = false;
        return nullptr;
    }

    // Reads what follows the body: damage there fails the document as a whole tree would.
    void finish() {
        while (step(xmlTextReaderRead(reader_.get()))) {
        }
    }

private:
    std::unique_ptr<zip::Archive::Entry> entry_;
    std::string part_;
    struct FreeReader {
        void operator()(xmlTextReaderPtr r) const { xmlFreeTextReader(r); }
    };
    std::unique_ptr<xmlTextReader, FreeReader> reader_;
    std::exception_ptr error_; // from inflating, raised once the parser gives up
    bool inBody_ = false, expanded_ = false;

    static int readChunk(void* context, char* buf, int len) {
        MainPart* self = static_cast<MainPart*>(context);
        try {
            return int(self->entry_->read(buf, size_t(len)));
        } catch (...) {
            self->error_ = std::current_exception();
            return -1;
        }
    }

    // True while there is more; throws on damage.
    bool step(int ret) {
        if (ret == 1) return true;
        if (error_) std::rethrow_exception(error_);
        if (ret < 0) throw std::runtime_error(part_ + " is not well-formed XML");
        return false;
    }
};

} // namespace

bool detectDocx(const Input& in) {
    if (in.isFolder) return false;
    const std::string_view d(in.bytes);
    if (d.substr(0, 4) != std::string_view("PK\x03\x04", 4)) return false;
    try {
        zip::Archive z(d);
        if (!z.has("[Content_Types].xml")) return false;
        if (z.has("word/document.xml")) return true;
        const auto types = z.read("[Content_Types].xml");
        return types && types->find("wordprocessingml.document.main") != std::string::npos;
    } catch (const std::exception&) {
        return false;
    }
}

Document readDocx(const Input& in, const ReadOptions&) {
    zip::Archive z(in.bytes, in.path);  // the file itself when the bytes were let go
    const auto pkgRels = readRels(z, "");
    std::string main = "word/document.xml";
    if (const Rel* r = relOfType(pkgRels, "/officeDocument")) main = r->target;
    MainPart mainPart(z, main);
    const auto rels = readRels(z, main);

    Document doc;
    if (const Rel* r = relOfType(pkgRels, "/core-properties")) readCore(z, r->target, doc.meta);
    else readCore(z, "docProps/core.xml", doc.meta);
    if (const Rel* r = relOfType(pkgRels, "/extended-properties")) readApp(z, r->target, doc.meta);

    xml::DocPtr styles, numbering;
    if (const Rel* r = relOfType(rels, "/styles"))
        if (auto data = z.read(r->target)) styles = xml::parse(*data, r->target);
    if (const Rel* r = relOfType(rels, "/numbering"))
        if (auto data = z.read(r->target)) numbering = xml::parse(*data, r->target);

    xml::DocPtr footnotes, endnotes;
    if (const Rel* r = relOfType(rels, "/footnotes"))
        if (auto data = z.read(r->target)) footnotes = xml::parse(*data, r->target);
    if (const Rel* r = relOfType(rels, "/endnotes"))
        if (auto data = z.read(r->target)) endnotes = xml::parse(*data, r->target);

    mainPart.findBody();

    std::map<std::string, int> pictures;  // part name -> attachment
    wp::ReadHooks hooks;
    hooks.footnotes = footnotes ? xmlDocGetRootElement(footnotes.get()) : nullptr;
    hooks.endnotes = endnotes ? xmlDocGetRootElement(endnotes.get()) : nullptr;
    hooks.relationship = [&](const std::string& id) -> std::string {
        auto it = rels.find(id);
        return it == rels.end() ? std::string() : it->second.target;
    };
    // Pictures are found through the relationships of the part that shows them.
    auto pictureIn = [&](const std::map<std::string, Rel>& rels, const xmlNode* n) -> int {
        std::string id;
        double w = 0, h = 0;
        if (const xmlNode* blip = xml::find(n, "blip")) {
            id = xml::attr(blip, "embed", "relationships");
            if (const xmlNode* ext = xml::find(n, "extent")) {
                w = emuToPt(xml::attr(ext, "cx"));
                h = emuToPt(xml::attr(ext, "cy"));
            }
        } else if (const xmlNode* img = xml::find(n, "imagedata")) {
            id = xml::attr(img, "id", "relationships");
            if (const xmlNode* shape = xml::find(n, "shape")) {
                const std::string style = xml::attr(shape, "style");
                w = wp::vmlLength(style, "width:");
                h = wp::vmlLength(style, "height:");
            }
        }
        auto rel = rels.find(id);
        if (id.empty() || rel == rels.end() || rel->second.external) return -1;
        auto known = pictures.find(rel->second.target);
        if (known != pictures.end()) return known->second;
        auto data = z.read(rel->second.target);
        if (!data) return -1;
        Attachment a;
        a.mimeType = sniffMimeType(*data);
        if (a.mimeType == "application/octet-stream") {
            const size_t dot = rel->second.target.rfind('.');
            if (dot != std::string::npos)
                a.mimeType = mimeForExtension(rel->second.target.substr(dot + 1));
        }
        a.data = std::move(*data);
        a.fileName = rel->second.target.substr(rel->second.target.rfind('/') + 1);
        a.width = w;
        a.height = h;
        const int idx = doc.addAttachment(std::move(a));
        pictures[rel->second.target] = idx;
        return idx;
    };
    hooks.picture = [&](const xmlNode* n) { return pictureIn(rels, n); };
    const xmlNode* stylesRoot = styles ? xmlDocGetRootElement(styles.get()) : nullptr;
    const xmlNode* listsRoot = numbering ? xmlDocGetRootElement(numbering.get()) : nullptr;
    // The default header and footer of the first section that has them, noted as the body goes
    // by: a section's properties end the body or sit in a paragraph's properties. A first-page
    // or even-page one stands in when no section has a default, so its text is not dropped.
    std::string refIds[2][3]; // header, footer; each default, first, even
    auto sectionRefs = [&](const xmlNode* sectPr) {
        for (const xmlNode* n = sectPr ? sectPr->children : nullptr; n; n = n->next)
            for (int k = 0; k < 2; ++k) {
                if (!xml::is(n, k ? "footerReference" : "headerReference")) continue;
                const std::string type = xml::attr(n, "type");
                const int slot = type.empty() || type == "default" ? 0 : type == "first" ? 1 : type == "even" ? 2 : -1;
                if (slot >= 0 && refIds[k][slot].empty()) refIds[k][slot] = xml::attr(n, "id", "relationships");
            }
    };
    wp::readBodyBlocks(
        [&]() -> const xmlNode* {
            const xmlNode* n = mainPart.next();
            if (n && xml::is(n, "sectPr"))
                sectionRefs(n);
            else if (n && xml::is(n, "p"))
                sectionRefs(xml::child(xml::child(n, "pPr"), "sectPr"));
            return n;
        },
        stylesRoot, listsRoot, hooks, doc);
    mainPart.finish();

    for (const auto& [k, into] : {std::pair<int, std::vector<Block>*>{0, &doc.header},
                                  std::pair<int, std::vector<Block>*>{1, &doc.footer}}) {
        const std::string* id = &refIds[k][0];
        for (int slot = 1; slot < 3 && id->empty(); ++slot) id = &refIds[k][slot];
        auto rel = id->empty() ? rels.end() : rels.find(*id);
        if (rel == rels.end() || rel->second.external) continue;
        const auto data = z.read(rel->second.target);
        if (!data) continue;
        const auto part = xml::parse(*data, rel->second.target);
        const auto partRels = readRels(z, rel->second.target);
        wp::ReadHooks partHooks;
        partHooks.relationship = [&](const std::string& id) -> std::string {
            auto it = partRels.find(id);
            return it == partRels.end() ? std::string() : it->second.target;
        };
        partHooks.picture = [&](const xmlNode* n) { return pictureIn(partRels, n); };
        wp::readStory(xmlDocGetRootElement(part.get()), stylesRoot, listsRoot, partHooks, doc,
                      *into);
    }
    return doc;
}

} // namespace textutil
