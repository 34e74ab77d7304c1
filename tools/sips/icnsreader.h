#pragma once

#include <Magick++.h>

#include <string>
#include <string_view>

namespace sips {

// True when the data starts like an icon family.
bool looksLikeIcns(std::string_view data);

// The largest image of an icon family; throws ToolError(path, ...) when none decodes.
Magick::Image decodeIcns(std::string_view data, const std::string& path);

} // namespace sips
