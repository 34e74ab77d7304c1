#include "officexml.h"

#include <libxml/parser.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace textutil::xml {

DocPtr parse(std::string_view bytes, const std::string& what) {
    // HUGE: pictures inline as base64 exceed libxml2's default text node limit.
    xmlDoc* d = xmlReadMemory(bytes.data(), int(bytes.size()), nullptr, nullptr,
                              XML_PARSE_NONET | XML_PARSE_HUGE | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    if (!d || !xmlDocGetRootElement(d)) {
        if (d) xmlFreeDoc(d);
        throw std::runtime_error(what + " is not well-formed XML");
    }
    return DocPtr(d);
}

bool is(const xmlNode* n, const char* name) {
    return n && n->type == XML_ELEMENT_NODE && std::strcmp(reinterpret_cast<const char*>(n->name), name) == 0;
}

xmlNode* child(const xmlNode* n, const char* name) {
    if (!n) return nullptr;
    for (xmlNode* c = n->children; c; c = c->next)
        if (is(c, name)) return c;
    return nullptr;
}

xmlNode* find(const xmlNode* n, const char* name) {
    if (!n) return nullptr;
    for (xmlNode* c = n->children; c; c = c->next) {
        if (c->type != XML_ELEMENT_NODE) continue;
        if (is(c, name)) return c;
        if (xmlNode* f = find(c, name)) return f;
    }
    return nullptr;
}

static const xmlAttr* findAttr(const xmlNode* n, const char* name, const char* ns) {
    if (!n || n->type != XML_ELEMENT_NODE) return nullptr;
    for (const xmlAttr* a = n->properties; a; a = a->next) {
        if (std::strcmp(reinterpret_cast<const char*>(a->name), name) != 0) continue;
        if (ns && (!a->ns || !a->ns->href || !std::strstr(reinterpret_cast<const char*>(a->ns->href), ns))) continue;
        return a;
    }
    return nullptr;
}

std::string attr(const xmlNode* n, const char* name, const char* ns) {
    const xmlAttr* a = findAttr(n, name, ns);
    if (!a || !a->children || !a->children->content) return {};
    if (!a->children->next) return reinterpret_cast<const char*>(a->children->content);
    std::string s;
    for (const xmlNode* c = a->children; c; c = c->next)
        if (c->content) s += reinterpret_cast<const char*>(c->content);
    return s;
}

bool hasAttr(const xmlNode* n, const char* name, const char* ns) { return findAttr(n, name, ns) != nullptr; }

static void collectText(const xmlNode* n, std::string& out) {
    for (const xmlNode* c = n->children; c; c = c->next) {
        if ((c->type == XML_TEXT_NODE || c->type == XML_CDATA_SECTION_NODE) && c->content)
            out += reinterpret_cast<const char*>(c->content);
        else if (c->type == XML_ELEMENT_NODE)
            collectText(c, out);
    }
}

std::string text(const xmlNode* n) {
    std::string s;
    if (n) collectText(n, s);
    return s;
}

std::string childVal(const xmlNode* n, const char* name) { return attr(child(n, name), "val"); }

void escape(std::string& out, std::string_view s) {
    for (char c : s) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default:
            // Control characters are not allowed in XML 1.0.
            if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r') break;
            out += c;
        }
    }
}

std::string escaped(std::string_view s) {
    std::string out;
    escape(out, s);
    return out;
}

std::string hexColor(const Color& c) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02X%02X%02X", c.r, c.g, c.b);
    return buf;
}

std::optional<Color> parseHexColor(std::string_view s) {
    if (!s.empty() && s[0] == '#') s.remove_prefix(1);
    if (s.size() != 6) return std::nullopt;
    unsigned v = 0;
    for (char c : s) {
        v <<= 4;
        if (c >= '0' && c <= '9') v |= unsigned(c - '0');
        else if (c >= 'a' && c <= 'f') v |= unsigned(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F') v |= unsigned(c - 'A' + 10);
        else return std::nullopt;
    }
    return Color{uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
}

std::string num(double v, int decimals) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
    std::string s = buf;
    if (s.find('.') != std::string::npos) {
        while (s.back() == '0') s.pop_back();
        if (s.back() == '.') s.pop_back();
    }
    if (s == "-0") s = "0";
    return s;
}

} // namespace textutil::xml
