#pragma once

#include "document.h"

#include <libxml/tree.h>

#include <memory>
#include <string>
#include <string_view>

// XML plumbing shared by the docx, odt and wordml readers and writers.
namespace textutil::xml {

struct DocDeleter {
    void operator()(xmlDoc* d) const { xmlFreeDoc(d); }
};
using DocPtr = std::unique_ptr<xmlDoc, DocDeleter>;

// Parses XML without touching the network; throws std::runtime_error naming `what`.
DocPtr parse(std::string_view bytes, const std::string& what);

// True for an element whose local name is `name` (namespace ignored).
bool is(const xmlNode* n, const char* name);
// First child element with this local name, or null.
xmlNode* child(const xmlNode* n, const char* name);
// First descendant element with this local name, or null.
xmlNode* find(const xmlNode* n, const char* name);
// Attribute by local name; when `ns` is given the namespace URI must contain it.
std::string attr(const xmlNode* n, const char* name, const char* ns = nullptr);
bool hasAttr(const xmlNode* n, const char* name, const char* ns = nullptr);
// Concatenated text content.
std::string text(const xmlNode* n);
// Value of a child's val attribute (`<w:jc w:val="center"/>`), or empty.
std::string childVal(const xmlNode* n, const char* name);

// Appends text escaped for element content and attribute values.
void escape(std::string& out, std::string_view s);
std::string escaped(std::string_view s);

// "RRGGBB" in upper case; parsing accepts an optional '#'.
std::string hexColor(const Color& c);
std::optional<Color> parseHexColor(std::string_view s);

// A number with up to `decimals` decimals, trailing zeros dropped.
std::string num(double v, int decimals = 3);

} // namespace textutil::xml
