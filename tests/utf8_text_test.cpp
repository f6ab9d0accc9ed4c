#include "util/utf8_text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(Utf8Text, EachIllFormedSequenceBecomesOneReplacement) {
    const std::string r = "\xEF\xBF\xBD";
    struct Case {
        const char* what;
        std::string text, repaired;
    } cases[] = {
        {"plain", "Kick In", "Kick In"},
        {"two-, three- and four-byte characters", "\xC4\x85\xE2\x82\xAC\xF0\x9F\x8E\xB8",
         "\xC4\x85\xE2\x82\xAC\xF0\x9F\x8E\xB8"},
        {"a stray continuation byte", "a\x80z", "a" + r + "z"},
        {"two stray continuation bytes", "\x80\xBF", r + r},
        {"a lead byte at the end", "Bass\xC3", "Bass" + r},
        {"a lead and its first continuation cut", "x\xE2\x82", "x" + r},
        {"a lead followed by ASCII", "\xE2(", r + "("},
        {"overlong two-byte form", "\xC0\xAF", r + r},
        {"overlong three-byte form", "\xE0\x80\xAF", r + r + r},
        {"surrogate", "\xED\xA0\x80", r + r + r},
        {"past U+10FFFF", "\xF4\x90\x80\x80", r + r + r + r},
        {"bytes that never begin a character", "\xF5\xFF\xFE", r + r + r},
        {"a broken four-byte form, then a good character",
         "\xF0\x9F\x8E"
         "\xC4\x85",
         r + "\xC4\x85"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(repair_utf8(c.text), c.repaired) << c.what;
        EXPECT_EQ(is_valid_utf8(c.text), c.text == c.repaired) << c.what;
        EXPECT_TRUE(is_valid_utf8(repair_utf8(c.text))) << c.what;
    }
}

TEST(Utf8Text, ProjectNamesAreRecordedOnlyWhenRepaired) {
    reset_utf8_repairs();
    EXPECT_EQ(project_name_utf8("Gtr \xC4\x85"), "Gtr \xC4\x85");
    EXPECT_EQ(project_name_utf8("Gtr\xFF"), "Gtr\xEF\xBF\xBD");
    EXPECT_EQ(project_name_utf8("Gtr\xFF"), "Gtr\xEF\xBF\xBD");
    EXPECT_EQ(utf8_repairs.names, (std::set<std::string>{"Gtr\xFF"}));
    reset_utf8_repairs();
    EXPECT_TRUE(utf8_repairs.names.empty());
}

}  // namespace
