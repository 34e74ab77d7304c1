// say's text preparation: whatever the bytes, the result is valid UTF-8 without NULs, and
// breaking dotted chains only adds line breaks.
#include "text.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::string text = say::toSpeakableUtf8(bytes);
    if (!say::isValidUtf8(text) || text.find('\0') != std::string::npos) std::abort();
    (void)say::hasSpeakableText(text);
    const std::string broken = say::breakDottedChains(text, 4);
    std::string withoutBreaks;
    for (const char c : broken)
        if (c != '\n') withoutBreaks += c;
    std::string original;
    for (const char c : text)
        if (c != '\n') original += c;
    if (withoutBreaks != original || !say::isValidUtf8(broken)) std::abort();
    return 0;
}
