// The grammar checker itself: it must catch the faults it is there to catch.
#include "tests/rpp_grammar.h"

#include <gtest/gtest.h>

namespace {

TEST(RppGrammar, Tokens) {
    std::vector<std::string> tokens;
    std::string error;
    ASSERT_TRUE(
        rpp_grammar::split_tokens("AUXRECV 0 3 0.5 0 0 0 0 0 0 31:U 4177951 -1 ''", tokens, error));
    EXPECT_EQ(tokens.size(), 14u);
    EXPECT_EQ(tokens.back(), "");
    ASSERT_TRUE(rpp_grammar::split_tokens("NAME `it's \"x\"`\t'a b'", tokens, error));
    EXPECT_EQ(tokens, (std::vector<std::string>{"NAME", "it's \"x\"", "a b"}));

    for (const char* bad : {"NAME \"open", "NAME \"a\"b", "NAME a\"b", "NAME \x01x"}) {
        EXPECT_FALSE(rpp_grammar::split_tokens(bad, tokens, error)) << bad;
        EXPECT_FALSE(error.empty());
    }
}

TEST(RppGrammar, Projects) {
    const std::string good =
        "<REAPER_PROJECT 0.1 \"7.0\" 0\n  <NOTES 0 2\n    |any \"text' at all\n  >\n"
        "  <TRACK {X}\n    NAME \"a b\"\n  >\n>\n";
    EXPECT_TRUE(rpp_grammar::check_project(good).ok);

    struct Case {
        std::string text;
        std::size_t line;
    } bad[] = {
        {"", 0},
        {"<REAPER_PROJECT 0.1\n>", 0},                    // no final newline
        {"<REAPER_PROJECT 0.1\n  <TRACK\n>\n", 3},        // unclosed block
        {"<REAPER_PROJECT 0.1\n>\n>\n", 3},               // one > too many
        {"<REAPER_PROJECT 0.1\n>\n  NAME x\n", 3},        // text after the root
        {"<REAPER_PROJECT 0.1\n  NAME \"a\n>\n", 2},      // a broken token
        {"<REAPER_PROJECT 0.1\n  NAME \"a\r\"\n>\n", 2},  // a carriage return
        {"<REAPER_PROJECT 0.1\n\n>\n", 2},                // an empty line
        {"<REAPER_PROJECT 0.1\n  <track\n  >\n>\n", 2},   // a bad block name
        {"<REAPER_PROJECT 0.1\n  > x\n>\n", 2},           // text after >
        {"|raw\n", 1},                                    // not a project
        {std::string("<REAPER_PROJECT 0.1\n  NAME \"a") + '\0' + "\"\n>\n", 2},
    };
    for (const Case& c : bad) {
        const rpp_grammar::Result r = rpp_grammar::check_project(c.text);
        EXPECT_FALSE(r.ok) << c.text;
        EXPECT_EQ(r.line, c.line) << c.text << r.message;
    }
}

// Inside an effect list each keyword takes REAPER's number of tokens, plug-in states are whole
// base64 lines and a JS parameter line holds 64 slots.
TEST(RppGrammar, EffectLists) {
    std::string js = "        0 150";
    for (int i = 0; i < 62; ++i) js += " -";
    const std::string head = "<REAPER_PROJECT 0.1\n  <TRACK\n    <FXCHAIN\n      SHOW 0\n";
    const std::string tail = "    >\n  >\n>\n";
    const std::string parmenv =
        "      <PARMENV 3:3 0 1 0.5 \"Mix / VST: A\"\n        EGUID {X}\n        ACT 1 -1\n"
        "        VIS 1 1 1\n        LANEHEIGHT 0 0\n        ARM 0\n        DEFSHAPE 0 -1 -1\n"
        "        PT 0 0.5 0\n      >\n";
    const std::string good =
        head + "      BYPASS 0 0 0\n      <VST \"VST: A\" a.dll 0 \"\" 1<00> \"\"\n" +
        "        AAAA\n        AAAQAAAA\n      >\n      FXID {X}\n" +
        "      <JS utility/volume \"V\"\n" + js + "\n      >\n" +
        "      <CLAP \"CLAP: A\" a.b \"\"\n        CFG 0 0 0 \"\"\n" +
        "        <STATE\n          AAAA\n        >\n      >\n" + parmenv + "      WAK 0 0\n" + tail;
    EXPECT_TRUE(rpp_grammar::check_project(good).ok) << rpp_grammar::check_project(good).message;
    for (const std::string& bad : {
             head + "      BYPASS 0 0\n" + tail,
             head + "      <VST \"VST: A\" a.dll 0 \"\" 1<00>\n      >\n" + tail,
             head + "      <VST \"VST: A\" a.dll 0 \"\" 1<00> \"\"\n        AAA\n      >\n" + tail,
             head + "      <JS a \"b\"\n        0 1\n      >\n" + tail,
             head + "      WAK 0\n" + tail,
             head + "      <PARMENV 3:3 0 1 0.5 Mix / VST\n      >\n" + tail,
             head + "      <PARMENV 3:3 0 1 0.5 Mix\n        PT 0 0.5\n      >\n" + tail,
         })
        EXPECT_FALSE(rpp_grammar::check_project(bad).ok) << bad;
}

}  // namespace
