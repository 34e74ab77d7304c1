// Reads the fuzz input as whatever format it looks like (plain text otherwise), then writes
// the document with every writer: odd models from real readers must not break a writer.
#include "formats.h"

#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    textutil::Input in;
    in.bytes.assign(reinterpret_cast<const char*>(data), size);
    textutil::Document doc;
    try {
        const textutil::Format* f = textutil::detectFormat(in);
        doc = f ? f->read(in, textutil::ReadOptions{}) : textutil::readTxt(in, {});
    } catch (const std::exception&) {
        return 0;
    }
    // The first byte varies the writers' options.
    textutil::WriteOptions opts;
    const uint8_t knobs = size > 0 ? data[0] : 0;
    opts.noStore = knobs & 1;
    opts.utf16 = knobs & 2;
    opts.prefixSpaces = (knobs >> 2) & 3;
    if (knobs & 16) opts.encoding = "ISO-8859-1";
    if (knobs & 32) opts.excludedElements = {"p", "span", "img"};
    for (const textutil::Format& f : textutil::formats()) {
        if (!f.write) continue;
        try {
            (void)f.write(doc, opts);
        } catch (const std::exception&) {
        }
    }
    return 0;
}
