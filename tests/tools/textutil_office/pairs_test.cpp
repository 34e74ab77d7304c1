#include "sample.h"
#include "testsupport.h"

#include <gtest/gtest.h>

using namespace textutil;

namespace {

// Every rich format as source and as target: what one writes, the next reads and writes on.
TEST(textutil_office_matrix, FormattingAndPropertiesSurviveEveryRichPair) {
    vorpeltest::TempDir dir;
    const Document sample = officetest::formattedDocument();
    int pairs = 0;
    for (const Format& from : formats()) {
        if (from.name == "txt") continue;
        const Document src = readDocument(
            officetest::storeAs(sample, from, dir.path(), "src-" + std::string(from.name)), {});
        {
            SCOPED_TRACE(std::string(from.name));
            officetest::checkFormatting(src);
        }
        for (const Format& to : formats()) {
            if (to.name == "txt") continue;
            SCOPED_TRACE(std::string(from.name) + " -> " + std::string(to.name));
            const std::string stem = "out-" + std::string(from.name) + "-" + std::string(to.name);
            officetest::checkFormatting(
                readDocument(officetest::storeAs(src, to, dir.path(), stem), {}));
            ++pairs;
        }
    }
    EXPECT_EQ(pairs, 64);
}

} // namespace
