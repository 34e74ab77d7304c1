#include "formats.h"
#include "media.h"
#include "officexml.h"
#include "wordprocessing.h"

#include <set>
#include <string>

namespace textutil {

namespace {

// Pictures that Word 2003 XML readers show from w:binData.
bool embeddable(const std::string& mime) {
    return mime == "image/png" || mime == "image/jpeg" || mime == "image/gif" || mime == "image/bmp";
}

} // namespace

Output writeWordML(const Document& doc, const WriteOptions&) {
    int shapes = 0;
    wp::WriteHooks hooks;
    hooks.picture = [&](int att, double w, double h) -> std::string {
        const Attachment& a = doc.attachments[size_t(att)];
        if (!embeddable(a.mimeType)) return {};
        const std::string n = std::to_string(++shapes);
        // Picture frames refer to the shape type 75, declared once before the first of them.
        const std::string shapeType =
            shapes == 1 ? "<v:shapetype id=\"_x0000_t75\" coordsize=\"21600,21600\" o:spt=\"75\" o:preferrelative=\"t\" "
                          "path=\"m,l,21600r21600,l21600,xe\" filled=\"f\" stroked=\"f\"><v:stroke joinstyle=\"miter\"/>"
                          "<v:path o:extrusionok=\"f\" gradientshapeok=\"t\" o:connecttype=\"rect\"/>"
                          "<o:lock v:ext=\"edit\" aspectratio=\"t\"/></v:shapetype>"
                        : "";
        const std::string src = "wordml://" + n + "." + extensionForMime(a.mimeType);
        // Each picture carries its own data so that it stands alone when moved.
        return "<w:pict>" + shapeType + "<w:binData w:name=\"" + src + "\" xml:space=\"preserve\">" + base64Encode(a.data) +
               "</w:binData><v:shape id=\"_x0000_i" + n + "\" type=\"#_x0000_t75\" style=\"width:" + xml::num(w, 2) +
               "pt;height:" + xml::num(h, 2) + "pt\"><v:imagedata src=\"" + src + "\" o:title=\"" +
               xml::escaped(a.fileName) + "\"/></v:shape></w:pict>";
    };
    wp::BodyXml body = wp::writeBody(doc, wp::Dialect::WordML, hooks);
    std::string furniture; // the section's header and footer
    for (const auto& [tag, blocks] :
         {std::pair<const char*, const std::vector<Block>*>{"hdr", &doc.header},
          std::pair<const char*, const std::vector<Block>*>{"ftr", &doc.footer}}) {
        if (blocks->empty()) continue;
        wp::BodyXml part =
            wp::writeStory(doc, *blocks, wp::Dialect::WordML, hooks, int(body.lists.size()) + 1);
        body.lists.insert(body.lists.end(), part.lists.begin(), part.lists.end());
        furniture += std::string("<w:") + tag + " w:type=\"odd\">" + part.body + "</w:" + tag + ">";
    }
    const Metadata& m = doc.meta;

    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
                      "<?mso-application progid=\"Word.Document\"?>\n"
                      "<w:wordDocument xmlns:w=\"http://schemas.microsoft.com/office/word/2003/wordml\" "
                      "xmlns:v=\"urn:schemas-microsoft-com:vml\" xmlns:w10=\"urn:schemas-microsoft-com:office:word\" "
                      "xmlns:sl=\"http://schemas.microsoft.com/schemaLibrary/2003/core\" "
                      "xmlns:aml=\"http://schemas.microsoft.com/aml/2001/core\" "
                      "xmlns:wx=\"http://schemas.microsoft.com/office/word/2003/auxHint\" "
                      "xmlns:o=\"urn:schemas-microsoft-com:office:office\" xml:space=\"preserve\">";
    out += "<o:DocumentProperties>";
    auto prop = [&](const char* tag, const std::string& v) {
        if (!v.empty()) out += std::string("<o:") + tag + ">" + xml::escaped(v) + "</o:" + tag + ">";
    };
    prop("Title", m.title);
    prop("Subject", m.subject);
    prop("Author", m.author);
    prop("Keywords", m.keywords);
    prop("Description", m.comment);
    prop("LastAuthor", m.editor);
    prop("Created", m.creationTime);
    prop("LastSaved", m.modificationTime);
    prop("Company", m.company);
    out += "<o:Version>11.0</o:Version></o:DocumentProperties>";
    // Every font the runs and styles name is declared too: some readers drop an undeclared one.
    const std::string styles = wp::writeStyles(wp::Dialect::WordML);
    std::set<std::string> fonts = {"Times New Roman"};
    for (const std::string* part :
         std::initializer_list<const std::string*>{&body.body, &furniture, &styles}) {
        static const std::string key = "<w:rFonts w:ascii=\"";
        for (size_t at = part->find(key); at != std::string::npos; at = part->find(key, at)) {
            at += key.size();
            const size_t end = part->find('"', at);
            if (end == std::string::npos) break;
            fonts.insert(part->substr(at, end - at)); // already escaped
        }
    }
    out += "<w:fonts><w:defaultFonts w:ascii=\"Times New Roman\" w:fareast=\"Times New Roman\" "
           "w:h-ansi=\"Times New Roman\" w:cs=\"Times New Roman\"/>";
    for (const std::string& f : fonts)
        out += "<w:font w:name=\"" + f + "\"/>";
    out += "</w:fonts>";
    if (!body.lists.empty()) {
        out += "<w:lists>";
        for (int a = 1; a <= 2; ++a)
            out += "<w:listDef w:listDefId=\"" + std::to_string(a) + "\"><w:plt w:val=\"HybridMultilevel\"/>" +
                   wp::listLevels(a == 2, wp::Dialect::WordML) + "</w:listDef>";
        for (const wp::ListInstance& l : body.lists)
            out += "<w:list w:ilfo=\"" + std::to_string(l.id) + "\"><w:ilst w:val=\"" + std::to_string(l.ordered ? 2 : 1) +
                   "\"/><w:lvlOverride w:ilvl=\"0\"><w:startOverride w:val=\"" + std::to_string(l.start) +
                   "\"/></w:lvlOverride></w:list>";
        out += "</w:lists>";
    }
    out += "<w:styles>" + styles + "</w:styles>";
    out += "<w:docPr><w:view w:val=\"print\"/></w:docPr><w:body><wx:sect>";
    out += body.body;
    out += "<w:sectPr>" + furniture +
           "<w:pgSz w:w=\"12240\" w:h=\"15840\"/><w:pgMar w:top=\"1440\" w:right=\"1440\" "
           "w:bottom=\"1440\" "
           "w:left=\"1440\" w:header=\"720\" w:footer=\"720\" "
           "w:gutter=\"0\"/></w:sectPr></wx:sect></w:body></w:wordDocument>\n";
    Output o;
    o.data = std::move(out);
    return o;
}

} // namespace textutil
