#pragma once

// The document the textutil benchmarks convert, built in memory so every run times the same input.

#include "document.h"

#include <string>
#include <vector>

namespace vorpelbench {

// About twenty letter pages: headings, styled prose, lists, a table and a picture per page
// (pictures taken in turn from the given PNG or JPEG files' bytes; none when empty).
textutil::Document twentyPages(const std::vector<std::string>& pictures);

} // namespace vorpelbench
