#include "formats.h"
#include "rtf.h"

namespace textutil {

Output writeRtfd(const Document& doc, const WriteOptions&) {
    Output o;
    o.files.emplace_back("TXT.rtf", rtf::render(doc, true));
    for (const Attachment& a : doc.attachments) {
        if (a.fileName == "TXT.rtf") continue;
        o.files.emplace_back(a.fileName, a.data);
    }
    return o;
}

} // namespace textutil
