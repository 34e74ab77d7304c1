#pragma once

#include <string>
#include <vector>

namespace vorpel {

// Items whose tool failed since the last completion notice, with what the tool said.
namespace Failures {

struct Entry {
    std::string item;     // the item's name
    std::string message;  // first lines of the tool's output, or its exit status
};

void record(const std::string& itemName, const std::string& toolOutput, int exitStatus);
const std::vector<Entry>& list();
bool empty();
void clear();
// "name: message" lines, one per failure.
std::string report();

} // namespace Failures
} // namespace vorpel
