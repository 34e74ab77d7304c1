#pragma once

#include "document.h"
#include "formats.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// RTF shared by the RTF and RTFD readers and writers: a bundle differs only in how
// attachments are referenced.
namespace textutil::rtf {

// Resolves a \NeXTGraphic attachment name to its bytes; null outside a bundle.
using AttachmentLoader = std::function<std::optional<std::string>(const std::string& name)>;

Document parse(std::string_view data, const AttachmentLoader& loader = {});

// Attachments become \pict pictures, or \NeXTGraphic references when `bundle` is set.
// `files`, when given, stands for doc.attachments index for index: the bundle's own copies.
// With a `sink` the text goes there as it is made and the result is empty.
std::string render(const Document& doc, bool bundle,
                   const std::vector<const Attachment*>* files = nullptr, Sink* sink = nullptr);

// Heading paragraphs are shown bold at these sizes (points) when the runs say nothing else.
double headingSize(int level);

} // namespace textutil::rtf
