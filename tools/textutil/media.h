#pragma once

#include "document.h"

#include <string>
#include <string_view>

// Recognising attachment bytes: type, file extension and picture size.
namespace textutil {

// "image/png", "image/jpeg", ..., or "application/octet-stream".
std::string sniffMimeType(std::string_view data);
std::string mimeForExtension(std::string_view ext);
std::string extensionForMime(std::string_view mime);
bool isImageMime(std::string_view mime);

// Pixel size of a PNG, JPEG, GIF or BMP; false when unknown.
bool imagePixelSize(std::string_view data, int& width, int& height);

// The picture re-encoded as PNG, for formats that hold only PNG and JPEG; empty when the
// bytes are no picture gdk-pixbuf reads (GIF, BMP, TIFF, ...).
std::string pictureAsPng(std::string_view data);

// Points: letter paper with one-inch margins, the page the writers lay out for.
constexpr double kTextWidth = 468;
// Display size in points of an attachment: its own size, else 96 dpi pixels, capped to the text width.
void pictureSize(const Attachment& a, double& w, double& h);

std::string base64Encode(std::string_view data);
std::string base64Decode(std::string_view text);
// %XX decoding of a URL path.
std::string percentDecode(std::string_view s);

} // namespace textutil
