#pragma once

#include <Magick++.h>

#include <string>

namespace sips {

// True when the data starts like an icon family.
bool looksLikeIcns(const std::string& data);

// The largest image of an icon family; throws ToolError(path, ...) when none decodes.
Magick::Image decodeIcns(const std::string& data, const std::string& path);

} // namespace sips
