// The failure list: what the "FAILED" message is made of.
#include "engine/failures.h"

#include <gtest/gtest.h>

namespace {

namespace F = vorpel::Failures;

class FailureList : public ::testing::Test {
protected:
    void SetUp() override { F::clear(); }
    void TearDown() override { F::clear(); }
};

TEST_F(FailureList, ReportListsNameAndToolMessageInOrder) {
    F::record("report.pages", "textutil: unsupported input format\n", 1);
    F::record("b c.rtf", "boom", 2);
    EXPECT_FALSE(F::empty());
    EXPECT_EQ(F::report(),
              "report.pages: textutil: unsupported input format\nb c.rtf: boom");
    F::clear();
    EXPECT_TRUE(F::empty());
    EXPECT_EQ(F::report(), "");
}

TEST_F(FailureList, SilentToolIsReportedByItsExitStatus) {
    F::record("a.png", "", 137);
    F::record("b.png", "\n  \n\t\n", 2);
    ASSERT_EQ(F::list().size(), 2u);
    EXPECT_EQ(F::list()[0].message, "failed with exit status 137");
    EXPECT_EQ(F::list()[1].message, "failed with exit status 2");
}

TEST_F(FailureList, KeepsTheFirstThreeNonBlankLinesOnly) {
    F::record("x", "\none\n\ntwo\nthree\nfour\nfive\n", 1);
    EXPECT_EQ(F::list()[0].message, "one\ntwo\nthree");
}

TEST_F(FailureList, AHugeToolOutputIsCut) {
    F::record("x", std::string(1 << 20, 'e'), 1);
    const std::string& m = F::list()[0].message;
    EXPECT_LE(m.size(), 410u);
    EXPECT_EQ(m.substr(m.size() - 3), "...");
}

} // namespace

TEST_F(FailureList, LinesNamingAnErrorComeFirst) {
    F::record("page.html", "line 1 Warning: missing <!DOCTYPE>\nline 2 Warning: x\nline 3 Warning: y\n"
                           "line 9 Error: <foo> is not recognized!\n", 2);
    EXPECT_EQ(F::list()[0].message,
              "line 9 Error: <foo> is not recognized!\nline 1 Warning: missing <!DOCTYPE>\nline 2 Warning: x");
}

TEST_F(FailureList, AVeryLongListIsShortenedInTheReport) {
    for (int i = 0; i < 40; ++i) F::record("item" + std::to_string(i), "bad", 1);
    const std::string r = F::report();
    EXPECT_NE(r.find("item24: bad"), std::string::npos);
    EXPECT_EQ(r.find("item25: bad"), std::string::npos);
    EXPECT_NE(r.find("... and 15 more"), std::string::npos);
    EXPECT_EQ(F::list().size(), 40u);
}
