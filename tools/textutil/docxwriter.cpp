#include "formats.h"
#include "media.h"
#include "officexml.h"
#include "wordprocessing.h"
#include "zipfile.h"

#include <cmath>
#include <map>
#include <set>

namespace textutil {

namespace {

const char* const kW = "http://schemas.openxmlformats.org/wordprocessingml/2006/main";
const char* const kR = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
const char* const kRelBase = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";

long long emu(double pt) { return std::llround(pt * 12700); }

// Pictures Word and its peers display inline.
bool embeddable(const std::string& mime) {
    return mime == "image/png" || mime == "image/jpeg" || mime == "image/gif" || mime == "image/bmp" ||
           mime == "image/tiff";
}

std::string coreXml(const Metadata& m) {
    std::string s = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
                    "<cp:coreProperties xmlns:cp=\"http://schemas.openxmlformats.org/package/2006/metadata/core-properties\" "
                    "xmlns:dc=\"http://purl.org/dc/elements/1.1/\" xmlns:dcterms=\"http://purl.org/dc/terms/\" "
                    "xmlns:dcmitype=\"http://purl.org/dc/dcmitype/\" xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">";
    auto field = [&](const char* tag, const std::string& v) {
        if (!v.empty()) s += std::string("<") + tag + ">" + xml::escaped(v) + "</" + tag + ">";
    };
    field("dc:title", m.title);
    field("dc:subject", m.subject);
    field("dc:creator", m.author);
    field("cp:keywords", m.keywords);
    field("dc:description", m.comment);
    field("cp:lastModifiedBy", m.editor);
    if (!m.creationTime.empty())
        s += "<dcterms:created xsi:type=\"dcterms:W3CDTF\">" + xml::escaped(m.creationTime) + "</dcterms:created>";
    if (!m.modificationTime.empty())
        s += "<dcterms:modified xsi:type=\"dcterms:W3CDTF\">" + xml::escaped(m.modificationTime) + "</dcterms:modified>";
    s += "</cp:coreProperties>";
    return s;
}

std::string appXml(const Metadata& m) {
    std::string s = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
                    "<Properties xmlns=\"http://schemas.openxmlformats.org/officeDocument/2006/extended-properties\" "
                    "xmlns:vt=\"http://schemas.openxmlformats.org/officeDocument/2006/docPropsVTypes\">";
    s += "<Application>" + xml::escaped(m.generator.empty() ? std::string("textutil") : m.generator) + "</Application>";
    if (!m.company.empty()) s += "<Company>" + xml::escaped(m.company) + "</Company>";
    s += "</Properties>";
    return s;
}

} // namespace

Output writeDocx(const Document& doc, const WriteOptions& opts) {
    std::string rels;  // word/_rels/document.xml.rels entries
    int nextRel = 10;  // rId1.. are the fixed parts
    std::map<std::string, std::string> linkIds;
    std::map<int, std::string> pictureIds;
    std::set<std::string> extensions;
    zip::Builder zipOut;
    std::vector<std::pair<std::string, std::string>> media;
    int docPr = 0;
    // The relationships and picture ids of the part being written: the body, a header, a footer.
    std::string* partRels = &rels;
    std::map<int, std::string>* partPictures = &pictureIds;

    wp::WriteHooks hooks;
    hooks.linkId = [&](const std::string& url) {
        auto it = linkIds.find(url);
        if (it != linkIds.end()) return it->second;
        const std::string id = "rId" + std::to_string(nextRel++);
        rels += "<Relationship Id=\"" + id + "\" Type=\"" + kRelBase + "hyperlink\" Target=\"" + xml::escaped(url) +
                "\" TargetMode=\"External\"/>";
        return linkIds[url] = id;
    };
    hooks.picture = [&](int att, double w, double h) -> std::string {
        const Attachment& a = doc.attachments[size_t(att)];
        if (!embeddable(a.mimeType)) return {};
        auto it = partPictures->find(att);
        if (it == partPictures->end()) {
            const std::string ext = extensionForMime(a.mimeType);
            const std::string name = "image" + std::to_string(media.size() + 1) + "." + ext;
            extensions.insert(ext);
            media.emplace_back("word/media/" + name, a.data);
            const std::string id = "rId" + std::to_string(nextRel++);
            *partRels += "<Relationship Id=\"" + id + "\" Type=\"" + kRelBase +
                         "image\" Target=\"media/" + name + "\"/>";
            it = partPictures->emplace(att, id).first;
        }
        const std::string n = std::to_string(++docPr);
        const std::string cx = std::to_string(emu(w)), cy = std::to_string(emu(h));
        const std::string name = xml::escaped(a.fileName);
        return "<w:drawing><wp:inline distT=\"0\" distB=\"0\" distL=\"0\" distR=\"0\"><wp:extent cx=\"" + cx +
               "\" cy=\"" + cy + "\"/><wp:effectExtent l=\"0\" t=\"0\" r=\"0\" b=\"0\"/><wp:docPr id=\"" + n +
               "\" name=\"Picture " + n + "\" descr=\"" + name +
               "\"/><wp:cNvGraphicFramePr><a:graphicFrameLocks xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\" noChangeAspect=\"1\"/></wp:cNvGraphicFramePr>"
               "<a:graphic xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\"><a:graphicData uri=\"http://schemas.openxmlformats.org/drawingml/2006/picture\">"
               "<pic:pic xmlns:pic=\"http://schemas.openxmlformats.org/drawingml/2006/picture\"><pic:nvPicPr><pic:cNvPr id=\"" + n +
               "\" name=\"" + name + "\"/><pic:cNvPicPr/></pic:nvPicPr><pic:blipFill><a:blip r:embed=\"" + it->second +
               "\"/><a:stretch><a:fillRect/></a:stretch></pic:blipFill><pic:spPr><a:xfrm><a:off x=\"0\" y=\"0\"/><a:ext cx=\"" + cx +
               "\" cy=\"" + cy + "\"/></a:xfrm><a:prstGeom prst=\"rect\"><a:avLst/></a:prstGeom></pic:spPr></pic:pic>"
               "</a:graphicData></a:graphic></wp:inline></w:drawing>";
    };
    // The main part is deflated as it is made: a long text's XML is never held whole.
    zip::DeflatedPart document;
    document.write("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<w:document xmlns:w=\"");
    document.write(kW);
    document.write("\" xmlns:r=\"");
    document.write(kR);
    document.write("\" xmlns:wp=\"http://schemas.openxmlformats.org/drawingml/2006/wordprocessingDrawing\"><w:body>");
    hooks.sink = [&](std::string_view xml) { document.write(xml); };
    wp::BodyXml body = wp::writeBody(doc, wp::Dialect::Docx, hooks);
    hooks.sink = nullptr;

    // The page header and footer are parts of their own, with their own relationships.
    struct Story {
        const char* kind; // "header", "footer"
        std::string xml, rels;
    };
    std::vector<Story> stories;
    stories.reserve(2); // a story's hooks keep a reference to it
    for (const auto& [kind, blocks] :
         {std::pair<const char*, const std::vector<Block>*>{"header", &doc.header},
          std::pair<const char*, const std::vector<Block>*>{"footer", &doc.footer}}) {
        if (blocks->empty()) continue;
        Story& st = stories.emplace_back();
        st.kind = kind;
        std::map<std::string, std::string> storyLinks;
        wp::WriteHooks storyHooks;
        storyHooks.linkId = [&](const std::string& url) {
            auto it = storyLinks.find(url);
            if (it != storyLinks.end()) return it->second;
            const std::string id = "rId" + std::to_string(nextRel++);
            st.rels += "<Relationship Id=\"" + id + "\" Type=\"" + kRelBase +
                       "hyperlink\" Target=\"" + xml::escaped(url) + "\" TargetMode=\"External\"/>";
            return storyLinks[url] = id;
        };
        storyHooks.picture = hooks.picture;
        std::map<int, std::string> storyPictures;
        partRels = &st.rels;
        partPictures = &storyPictures;
        wp::BodyXml part =
            wp::writeStory(doc, *blocks, wp::Dialect::Docx, storyHooks, int(body.lists.size()) + 1);
        partRels = &rels;
        partPictures = &pictureIds;
        body.lists.insert(body.lists.end(), part.lists.begin(), part.lists.end());
        const std::string root = kind == std::string("header") ? "w:hdr" : "w:ftr";
        st.xml =
            "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<" + root +
            " xmlns:w=\"" + kW + "\" xmlns:r=\"" + kR +
            "\" "
            "xmlns:wp=\"http://schemas.openxmlformats.org/drawingml/2006/wordprocessingDrawing\">" +
            part.body + "</" + root + ">";
    }
    std::string sectPr = "<w:sectPr>";
    for (const Story& st : stories)
        sectPr += std::string("<w:") + st.kind + "Reference w:type=\"default\" r:id=\"rId" +
                  st.kind + "\"/>";
    sectPr += "<w:pgSz w:w=\"12240\" w:h=\"15840\"/><w:pgMar w:top=\"1440\" w:right=\"1440\" "
              "w:bottom=\"1440\" "
              "w:left=\"1440\" w:header=\"720\" w:footer=\"720\" w:gutter=\"0\"/></w:sectPr>";

    document.write(sectPr);
    document.write("</w:body></w:document>");

    std::string styles = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<w:styles xmlns:w=\"";
    styles += kW;
    styles += "\"><w:docDefaults><w:rPrDefault><w:rPr><w:rFonts w:ascii=\"Times New Roman\" w:hAnsi=\"Times New Roman\" "
              "w:eastAsia=\"Times New Roman\" w:cs=\"Times New Roman\"/><w:sz w:val=\"24\"/><w:szCs w:val=\"24\"/>"
              "<w:lang w:val=\"en-US\"/></w:rPr></w:rPrDefault><w:pPrDefault/></w:docDefaults>";
    styles += wp::writeStyles(wp::Dialect::Docx);
    styles += "</w:styles>";

    std::string docRels = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
                          "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">";
    docRels += "<Relationship Id=\"rId1\" Type=\"" + std::string(kRelBase) + "styles\" Target=\"styles.xml\"/>";
    std::string numbering;
    if (!body.lists.empty()) {
        docRels += "<Relationship Id=\"rId2\" Type=\"" + std::string(kRelBase) + "numbering\" Target=\"numbering.xml\"/>";
        numbering = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<w:numbering xmlns:w=\"";
        numbering += kW;
        numbering += "\">";
        for (int a = 1; a <= 2; ++a)
            numbering += "<w:abstractNum w:abstractNumId=\"" + std::to_string(a) + "\"><w:multiLevelType w:val=\"hybridMultilevel\"/>" +
                         wp::listLevels(a == 2, wp::Dialect::Docx) + "</w:abstractNum>";
        for (const wp::ListInstance& l : body.lists) {
            numbering += "<w:num w:numId=\"" + std::to_string(l.id) + "\"><w:abstractNumId w:val=\"" +
                         std::to_string(l.ordered ? 2 : 1) + "\"/>";
            // Each list restarts its numbering.
            numbering += "<w:lvlOverride w:ilvl=\"0\"><w:startOverride w:val=\"" + std::to_string(l.start) + "\"/></w:lvlOverride>";
            numbering += "</w:num>";
        }
        numbering += "</w:numbering>";
    }
    // Notes live in their own parts, after the two separators Word draws above them.
    std::string notesParts[2];
    const std::string noteRels =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
        "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">" +
        rels + "</Relationships>";
    for (int k = 0; k < 2; ++k) {
        const std::string& notes = k ? body.endnotes : body.footnotes;
        if (notes.empty()) continue;
        const std::string kind = k ? "endnote" : "footnote";
        std::string& part = notesParts[k];
        part = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<w:" + kind +
               "s xmlns:w=\"";
        part += kW;
        part += "\" xmlns:r=\"";
        part += kR;
        part +=
            "\" "
            "xmlns:wp=\"http://schemas.openxmlformats.org/drawingml/2006/wordprocessingDrawing\">";
        part += "<w:" + kind +
                " w:type=\"separator\" w:id=\"-1\"><w:p><w:pPr><w:spacing w:after=\"0\"/></w:pPr>"
                "<w:r><w:separator/></w:r></w:p></w:" +
                kind + ">";
        part += "<w:" + kind +
                " w:type=\"continuationSeparator\" w:id=\"0\"><w:p><w:pPr><w:spacing "
                "w:after=\"0\"/></w:pPr>"
                "<w:r><w:continuationSeparator/></w:r></w:p></w:" +
                kind + ">";
        part += notes;
        part += "</w:" + kind + "s>";
        docRels += "<Relationship Id=\"" + kind + "s\" Type=\"" + std::string(kRelBase) + kind +
                   "s\" Target=\"" + kind + "s.xml\"/>";
    }
    std::string settings;
    if (!body.footnotes.empty() || !body.endnotes.empty()) {
        docRels += "<Relationship Id=\"settings\" Type=\"" + std::string(kRelBase) +
                   "settings\" Target=\"settings.xml\"/>";
        settings =
            "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<w:settings xmlns:w=\"";
        settings += kW;
        settings += "\">";
        if (!body.footnotes.empty())
            settings +=
                "<w:footnotePr><w:footnote w:id=\"-1\"/><w:footnote w:id=\"0\"/></w:footnotePr>";
        if (!body.endnotes.empty())
            settings +=
                "<w:endnotePr><w:endnote w:id=\"-1\"/><w:endnote w:id=\"0\"/></w:endnotePr>";
        settings += "</w:settings>";
    }
    for (const Story& st : stories)
        docRels += std::string("<Relationship Id=\"rId") + st.kind + "\" Type=\"" + kRelBase +
                   st.kind + "\" Target=\"" + st.kind + "1.xml\"/>";
    docRels += rels + "</Relationships>";

    std::string types = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
                        "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
                        "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
                        "<Default Extension=\"xml\" ContentType=\"application/xml\"/>";
    for (const std::string& ext : extensions)
        types += "<Default Extension=\"" + ext + "\" ContentType=\"" + mimeForExtension(ext) + "\"/>";
    types += "<Override PartName=\"/word/document.xml\" ContentType=\"application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml\"/>"
             "<Override PartName=\"/word/styles.xml\" ContentType=\"application/vnd.openxmlformats-officedocument.wordprocessingml.styles+xml\"/>";
    if (!numbering.empty())
        types += "<Override PartName=\"/word/numbering.xml\" ContentType=\"application/vnd.openxmlformats-officedocument.wordprocessingml.numbering+xml\"/>";
    for (int k = 0; k < 2; ++k)
        if (!notesParts[k].empty())
            types +=
                std::string("<Override PartName=\"/word/") + (k ? "endnotes" : "footnotes") +
                ".xml\" "
                "ContentType=\"application/vnd.openxmlformats-officedocument.wordprocessingml." +
                (k ? "endnotes" : "footnotes") + "+xml\"/>";
    if (!settings.empty())
        types += "<Override PartName=\"/word/settings.xml\" "
                 "ContentType=\"application/"
                 "vnd.openxmlformats-officedocument.wordprocessingml.settings+xml\"/>";
    for (const Story& st : stories)
        types += std::string("<Override PartName=\"/word/") + st.kind +
                 "1.xml\" "
                 "ContentType=\"application/vnd.openxmlformats-officedocument.wordprocessingml." +
                 st.kind + "+xml\"/>";
    types += "<Override PartName=\"/docProps/core.xml\" ContentType=\"application/vnd.openxmlformats-package.core-properties+xml\"/>"
             "<Override PartName=\"/docProps/app.xml\" ContentType=\"application/vnd.openxmlformats-officedocument.extended-properties+xml\"/>"
             "</Types>";

    const std::string pkgRels =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
        "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
        "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument\" Target=\"word/document.xml\"/>"
        "<Relationship Id=\"rId2\" Type=\"http://schemas.openxmlformats.org/package/2006/relationships/metadata/core-properties\" Target=\"docProps/core.xml\"/>"
        "<Relationship Id=\"rId3\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/extended-properties\" Target=\"docProps/app.xml\"/>"
        "</Relationships>";

    zipOut.add("[Content_Types].xml", types);
    zipOut.add("_rels/.rels", pkgRels);
    zipOut.add("word/document.xml", std::move(document));
    zipOut.add("word/_rels/document.xml.rels", docRels);
    zipOut.add("word/styles.xml", styles);
    if (!numbering.empty()) zipOut.add("word/numbering.xml", numbering);
    // The notes' links and pictures, under the ids the body gave them.
    for (int k = 0; k < 2; ++k) {
        if (notesParts[k].empty()) continue;
        const std::string name = k ? "endnotes.xml" : "footnotes.xml";
        zipOut.add("word/" + name, notesParts[k]);
        zipOut.add("word/_rels/" + name + ".rels", noteRels);
    }
    if (!settings.empty()) zipOut.add("word/settings.xml", settings);
    for (const Story& st : stories) {
        zipOut.add(std::string("word/") + st.kind + "1.xml", st.xml);
        if (!st.rels.empty())
            zipOut.add(std::string("word/_rels/") + st.kind + "1.xml.rels",
                       "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
                       "<Relationships "
                       "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">" +
                           st.rels + "</Relationships>");
    }
    // Compressed pictures gain nothing from deflating again.
    for (auto& [name, data] : media) zipOut.add(name, data, !(name.ends_with(".png") || name.ends_with(".jpeg") || name.ends_with(".jpg") || name.ends_with(".gif")));
    zipOut.add("docProps/core.xml", coreXml(doc.meta));
    zipOut.add("docProps/app.xml", appXml(doc.meta));
    Output o;
    // Into the output file itself when it is one: the package is then never held whole.
    if (opts.sink && opts.sink->fd() >= 0) {
        zipOut.finish(opts.sink->fd());
        o.streamed = true;
    } else {
        o.data = zipOut.finish();
    }
    return o;
}

} // namespace textutil
