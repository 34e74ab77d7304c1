#include "formats.h"
#include "media.h"
#include "rtf.h"

#include <deque>
#include <set>

namespace textutil {

namespace {

bool bundleKeepsAsIs(const Attachment& a) {
    return !isImageMime(a.mimeType) || a.mimeType == "image/png" || a.mimeType == "image/jpeg";
}

// "photo.gif" -> "photo.png", numbered when that name is already in the bundle.
std::string pngName(const std::string& name, const std::set<std::string>& taken) {
    const size_t dot = name.rfind('.');
    const std::string stem = dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
    std::string candidate = stem + ".png";
    for (int n = 2; taken.count(candidate); ++n) candidate = stem + "-" + std::to_string(n) + ".png";
    return candidate;
}

} // namespace

Output writeRtfd(const Document& doc, const WriteOptions&) {
    // Readers of a bundle show PNG and JPEG pictures; GIF, BMP, TIFF and the like go in as PNG,
    // at the size the document gave them.
    std::set<std::string> taken{"TXT.rtf"};
    for (const Attachment& a : doc.attachments)
        if (bundleKeepsAsIs(a)) taken.insert(a.fileName);
    std::deque<Attachment> converted;
    std::vector<const Attachment*> files;
    files.reserve(doc.attachments.size());
    for (const Attachment& a : doc.attachments) {
        std::string png = bundleKeepsAsIs(a) ? std::string() : pictureAsPng(a.data);
        if (png.empty()) {
            if (!bundleKeepsAsIs(a)) taken.insert(a.fileName);
            files.push_back(&a);
            continue;
        }
        // Same pixels, so a picture without a size of its own keeps its natural one.
        Attachment& c = converted.emplace_back();
        c.width = a.width;
        c.height = a.height;
        c.data = std::move(png);
        c.mimeType = "image/png";
        c.fileName = pngName(a.fileName, taken);
        taken.insert(c.fileName);
        files.push_back(&c);
    }
    Output o;
    o.files.emplace_back("TXT.rtf", rtf::render(doc, true, &files));
    for (const Attachment* a : files) {
        if (a->fileName == "TXT.rtf") continue;
        o.files.emplace_back(a->fileName, a->data);
    }
    return o;
}

} // namespace textutil
