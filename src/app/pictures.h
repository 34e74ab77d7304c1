#pragma once

#include <string_view>

namespace vorpel {

// The named pictures and their resource numbers.
struct PictureEntry {
    std::string_view name;
    int number;
};

inline constexpr PictureEntry kPictures[] = {
    {"info", 169},    {"audio2", 173}, {"rtf", 174},     {"html", 175},      {"xhtml", 176},
    {"txt", 177},     {"Picture1", 178}, {"Picture2", 179}, {"jpg", 180},    {"icns", 181},
    {"BMP", 182},     {"gif", 183},    {"MicrosoftWord", 184}, {"webarch", 185}, {"xml1", 186},
    {"all", 187},     {"single1", 188}, {"qtif", 189},   {"vorpel_S", 191},  {"tre", 192},
    {"png", 193},     {"topbl", 210},  {"beh1", 212},    {"beh12", 214},     {"beh", 215},
};

// The name of the picture with that resource number, or empty.
constexpr std::string_view pictureName(int number) {
    for (const auto& p : kPictures)
        if (p.number == number) return p.name;
    return {};
}

} // namespace vorpel
