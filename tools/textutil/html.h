#pragma once

#include "formats.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>

// HTML shared by the HTML and web-archive readers and writers, which differ only in
// where pictures live.
namespace textutil::html {

struct Resource {
    std::string data;
    std::string mimeType;
};
// Fetches a picture by its (unresolved) src; null when unavailable.
using ResourceLoader = std::function<std::optional<Resource>(const std::string& src)>;

// `encoding` names the character set when known from outside the bytes (a web archive).
Document parse(std::string_view bytes, const ReadOptions& opts, const std::string& encoding,
               const ResourceLoader& loader);

// The src of an attachment's <img>; empty to leave the picture out.
using ImageSource = std::function<std::string(int attachment)>;

// UTF-8 markup declaring `charset` in its meta tag. With a `sink` the markup goes there as it
// is made and the result is empty.
std::string render(const Document& doc, const WriteOptions& opts, const ImageSource& source,
                   const std::string& charset, Sink* sink = nullptr);

// The character set of HTML bytes: BOM, UTF-16 shape, meta declaration, UTF-8 validity, else a
// guess.
std::string sniffEncoding(std::string_view bytes);

} // namespace textutil::html
