#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "util/codecs.h"
#include "util/guid.h"
#include "util/names.h"
#include "util/rpp_text.h"
#include "util/text_wrap.h"
#include "util/timecode.h"
#include "util/version.h"

namespace {

// Expected texts computed independently (a few lines of Python over the same hash).
TEST(GuidFromSeed, KnownSeeds) {
    struct Case {
        std::uint32_t seed;
        const char* guid;
    };
    const Case cases[] = {
        {0, "{9E3779B9-2BA8-8EFF-A3A9-64C3B21480CD}"},
        {1, "{3C6EF36A-27F2-CA46-3B01-C6AE80CD33F2}"},
        {9001, "{8ABD2A12-B9A6-C25E-F634-34660E2740BA}"},
        {0x4D41524B, "{E063D294-446B-AACC-D596-5A9C08F7D6A4}"},
        {69999, "{610AFE78-B90E-F9C8-8367-74A84B34A2D8}"},
        {0xFFFFFFFF, "{00000008-2F5E-53B8-0C51-02D8E35BCDA8}"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(guid_from_seed(c.seed), c.guid) << c.seed;
        EXPECT_EQ(guid_from_seed(c.seed).size(), 38u);
    }
    EXPECT_EQ(guid_from_seed(12345), guid_from_seed(12345));
}

TEST(Base64, EncodesWithPadding) {
    EXPECT_EQ(base64_encode(std::string()), "");
    EXPECT_EQ(base64_encode(std::string("f")), "Zg==");
    EXPECT_EQ(base64_encode(std::string("fo")), "Zm8=");
    EXPECT_EQ(base64_encode(std::string("foo")), "Zm9v");
    EXPECT_EQ(base64_encode(std::string("foob")), "Zm9vYg==");
}

TEST(Base64, RoundTripsEveryByteValue) {
    std::string bytes;
    for (int i = 0; i < 256; ++i) bytes.push_back(static_cast<char>(i));
    for (std::size_t len = 0; len <= bytes.size(); len += 37) {
        std::string part = bytes.substr(0, len);
        EXPECT_EQ(base64_decode(base64_encode(part)), part) << len;
    }
    const std::string encoded = base64_encode(bytes);
    EXPECT_EQ(encoded.substr(0, 8), "AAECAwQF");
    EXPECT_EQ(encoded.substr(encoded.size() - 8), "/P3+/w==");
}

TEST(Base64, DecodeSkipsLineBreaksPaddingAndJunk) {
    const std::string whole = base64_decode("Zm9vYmFyYmF6cXV4");
    EXPECT_EQ(whole, "foobarbazqux");
    EXPECT_EQ(base64_decode("Zm9v\r\n  YmFy\nYmF6\ncXV4"), whole);
    EXPECT_EQ(base64_decode("Zm9vYg==\n"), "foob");
    EXPECT_EQ(base64_decode("Zm9vYg"), "foob");  // padding is optional
    EXPECT_EQ(base64_decode("Zg"), "f");         // the four leftover bits are dropped
    EXPECT_EQ(base64_decode("Z"), "");
    EXPECT_EQ(base64_decode("!*Zm8=?"), "fo");
}

TEST(HexToBytes, PairsFromTheStart) {
    EXPECT_EQ(hex_to_bytes(""), "");
    EXPECT_EQ(hex_to_bytes("4"), "");
    EXPECT_EQ(hex_to_bytes("4A4"), "\x4A");
    EXPECT_EQ(hex_to_bytes("4a4b"), "\x4A\x4B");
    EXPECT_EQ(hex_to_bytes("00ff7F"), std::string("\x00\xFF\x7F", 3));

    std::string all;
    const char* digits = "0123456789abcdef";
    for (int i = 0; i < 256; ++i) {
        all.push_back(digits[i >> 4]);
        all.push_back(digits[i & 15]);
    }
    const std::string bytes = hex_to_bytes(all);
    ASSERT_EQ(bytes.size(), 256u);
    for (int i = 0; i < 256; ++i) EXPECT_EQ(static_cast<unsigned char>(bytes[i]), i);
    EXPECT_EQ(hex_to_bytes(to_lower_copy(all)), hex_to_bytes(all));
}

TEST(NameKeys, Table) {
    EXPECT_EQ(to_lower_copy("Pro-Q 3 \xC3\x89"), "pro-q 3 \xC3\x89");
    EXPECT_EQ(normalize_alnum_lower("FabFilter Pro-Q 3 (Stereo)"), "fabfilterproq3stereo");
    EXPECT_EQ(normalize_alnum_lower("Caf\xC3\xA9"), "caf");
    EXPECT_EQ(file_stem_alnum("C:\\Audio Files/Kick_01.L.wav"), "kick01l");
    EXPECT_EQ(file_stem_alnum("dir\\Snare Top"), "snaretop");
    EXPECT_EQ(file_stem_alnum("a.b/noext"), "noext");
    EXPECT_EQ(path_basename("a/b\\c.wav"), "c.wav");
    EXPECT_EQ(path_basename("c.wav"), "c.wav");
    EXPECT_EQ(path_basename("dir/"), "");
}

TEST(NameCutters, Table) {
    EXPECT_EQ(cut_before_paren("Pro-Q 3 (FabFilter) (x)"), "Pro-Q 3 (FabFilter)");
    EXPECT_EQ(cut_before_paren("Pro-Q 3"), "Pro-Q 3");
    EXPECT_EQ(cut_after_colon_space("VST3: Pro-Q 3: x"), "x");
    EXPECT_EQ(cut_after_colon_space("Pro-Q 3"), "Pro-Q 3");
    EXPECT_EQ(strip_paren_suffixes("Comp (Mono) (2)"), "Comp");
    EXPECT_EQ(strip_paren_suffixes("Bus (A)"), "Bus");
    EXPECT_EQ(strip_paren_suffixes("Bus)"), "Bus)");
    EXPECT_EQ(strip_paren_suffixes("Bus (A) x"), "Bus (A) x");
    EXPECT_EQ(strip_paren_suffixes("A (b c)d)"), "A");  // the ")" need not close that " ("
    EXPECT_EQ(strip_paren_suffixes(""), "");

    EXPECT_TRUE(starts_with("Digiclik", "Digi"));
    EXPECT_TRUE(starts_with("Digi", ""));
    EXPECT_FALSE(starts_with("Dig", "Digi"));
    EXPECT_FALSE(starts_with("Digi", nullptr));

    EXPECT_TRUE(ends_with_dash_digits("Kick-12"));
    EXPECT_TRUE(ends_with_dash_digits("-1"));
    EXPECT_FALSE(ends_with_dash_digits(""));
    EXPECT_FALSE(ends_with_dash_digits("Kick-"));
    EXPECT_FALSE(ends_with_dash_digits("Kick-1a"));
    EXPECT_FALSE(ends_with_dash_digits("12"));
    EXPECT_FALSE(ends_with_dash_digits("Kick_12"));
}

TEST(PluginTablePath, FolderOfTheProgram) {
#ifdef _WIN32
    EXPECT_EQ(plugin_table_path("C:\\Tools\\lanwick.exe"), "C:\\Tools\\lanwick-plugins.txt");
    EXPECT_EQ(plugin_table_path("lanwick"), ".\\lanwick-plugins.txt");
#else
    EXPECT_EQ(plugin_table_path("C:\\Tools\\lanwick.exe"), "C:\\Tools/lanwick-plugins.txt");
    EXPECT_EQ(plugin_table_path("/usr/bin/lanwick"), "/usr/bin/lanwick-plugins.txt");
    EXPECT_EQ(plugin_table_path("lanwick"), "./lanwick-plugins.txt");
#endif
}

TEST(RppQuote, PicksTheFirstFreeQuote) {
    EXPECT_EQ(rpp_quote("a b"), "\"a b\"");
    EXPECT_EQ(rpp_quote("plain"), "\"plain\"");
    EXPECT_EQ(rpp_quote(""), "\"\"");
    EXPECT_EQ(rpp_quote("say \"hi\""), "'say \"hi\"'");
    EXPECT_EQ(rpp_quote("it's \"x\""), "`it's \"x\"`");
    EXPECT_EQ(rpp_quote("a\"b'c`d"), "\"a_b'c`d\"");
    EXPECT_EQ(rpp_quote("tab\there\nline\rend"), "\"tab here line end\"");
    // Other control bytes stand as they are, a NUL only as the project's names blank it; bytes
    // past ASCII stay when they are UTF-8.
    EXPECT_EQ(rpp_quote("a\x01b\x7f"), "\"a\x01b\x7f\"");
    EXPECT_EQ(rpp_quote(std::string_view("a\0b", 3)), std::string("\"a\0b\"", 5));
    std::string token;
    append_rpp_quote(token, std::string_view("a\0b", 3), true);
    EXPECT_EQ(token, "\"a b\"");
    EXPECT_EQ(rpp_quote("caf\xC3\xA9"), "\"caf\xC3\xA9\"");
    // Plain names of every length around where a short name's quoting ends, after other text.
    for (std::size_t size = 120; size <= 132; ++size) {
        const std::string name(size, 'n');
        std::string line = "NAME ";
        append_rpp_quote(line, name);
        EXPECT_EQ(line, "NAME \"" + name + "\"") << size;
    }
}

TEST(GroupFlags, WordsAndTrailingZeros) {
    EXPECT_EQ(rpp_group_flags_line(0, 0, 0, 0, 0, 0), "");
    EXPECT_EQ(rpp_group_flags_line(5, 0, 0, 0, 0, 0), "    GROUP_FLAGS 5 5\n");
    EXPECT_EQ(rpp_group_flags_line(1, 0, 0, 2, 3, 0), "    GROUP_FLAGS 1 1 0 0 2 2 3 3\n");
    EXPECT_EQ(rpp_group_flags_line(0, 0, 0, 0, 0, 4),
              "    GROUP_FLAGS 0 0 0 0 0 0 0 0 0 0 0 0 4 4\n");
    EXPECT_EQ(rpp_group_flags_line(0, 7, 0, 0, 0, 0),
              "    GROUP_FLAGS 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 7\n");
    EXPECT_EQ(rpp_group_flags_line(0, 0, 4294967295u, 0, 0, 0),
              "    GROUP_FLAGS 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 4294967295\n");
}

TEST(GroupFlags, FileWriterWritesTheSameLine) {
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    rpp_write_group_flags(file, 0, 0, 0, 0, 0, 0);
    rpp_write_group_flags(file, 1, 2, 3, 4, 5, 6);
    std::rewind(file);
    char buffer[256] = {};
    std::size_t got = std::fread(buffer, 1, sizeof buffer - 1, file);
    std::fclose(file);
    EXPECT_EQ(std::string(buffer, got), rpp_group_flags_line(1, 2, 3, 4, 5, 6));
}

TEST(FormatTimecode, Table) {
    struct Case {
        std::uint32_t frames;
        std::int32_t fps;
        std::uint8_t drop;
        const char* text;
    };
    const Case cases[] = {
        {0, 30, 0, "00:00:00:00"},
        {90, 25, 0, "00:00:03:15"},
        {90, 25, 1, "00:00:03;15"},  // a drop flag below 30 fps changes only the separator
        {17982, 30, 1, "00:10:00;00"},
        {1800, 30, 1, "00:01:00;02"},
        {1799, 30, 1, "00:00:59;29"},
        {1800, 30, 0, "00:01:00:00"},
        {3596, 60, 1, "00:00:59;56"},
        {3600, 60, 1, "00:01:00;04"},
        {107892, 30, 1, "01:00:00;00"},
        {24 * 3600 * 24 + 5, 24, 0, "24:00:00:05"},  // hours do not wrap
        {250, 120, 0, "00:00:02:010"},
        {1500, 48, 1, "00:00:31;12"},  // not a multiple of 30: no frames dropped
        {7, 0, 0, "00:00:07:00"},
        {7, -25, 0, "00:00:07:00"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(format_timecode(c.frames, c.fps, c.drop), c.text)
            << c.frames << " @ " << c.fps << " drop " << int(c.drop);
    }
    // The drop-frame correction of a count near 2^32 does not wrap.
    EXPECT_EQ(format_timecode(0xFFFFFFFFu, 30, 1), "39808:01:25;11");
}

TEST(DisplayVersion, Table) {
    EXPECT_EQ(display_version(), "1.0.1");
    EXPECT_EQ(display_version("2.1.0"), "2.1");
    EXPECT_EQ(display_version("2.0"), "2.0");
    EXPECT_EQ(display_version("2.1.0.0"), "2.1.0.0");
    EXPECT_EQ(display_version("2.1.0-beta.2"), "2.1 beta 2");
    EXPECT_EQ(display_version("1.0.1-rc-1"), "1.0.1 rc 1");
    EXPECT_EQ(display_version("3.10.0-"), "3.10");
}

TEST(SavedByToken, Table) {
    EXPECT_EQ(pt_saved_by_token("2023.12.0"), "2023.12.0");
    EXPECT_EQ(pt_saved_by_token("Pro Tools 2023"), "unstated");
    EXPECT_EQ(pt_saved_by_token("PT2024.6+HD-x"), "pt2024.6+hd-x");
    EXPECT_EQ(pt_saved_by_token(""), "unstated");
    EXPECT_EQ(pt_saved_by_token(".12"), "unstated");
    EXPECT_EQ(pt_saved_by_token("12_0"), "unstated");
    EXPECT_EQ(pt_saved_by_token("v\xC3\xA9"), "unstated");
    EXPECT_EQ(pt_saved_by_token(std::string(40, 'a')), std::string(40, 'a'));
    EXPECT_EQ(pt_saved_by_token(std::string(41, 'a')), "unstated");
}

TEST(SavedByToken, ReadsTheSessionText) {
    session_text.saved_by = "2024.10.2";
    EXPECT_EQ(pt_saved_by_token(), "2024.10.2");
    session_text.reset();
    EXPECT_EQ(session_text.saved_by, "");
    EXPECT_EQ(pt_saved_by_token(), "unstated");
}

}  // namespace

// A row longer than the console breaks at blanks, its further lines indented two more; a word
// longer than a line stands alone; columns count characters, not bytes.
TEST(TextWrap, RowsKeepWithinTheWidth) {
    EXPECT_EQ(wrapped_row("short note (1 clip(s))", 6), "      short note (1 clip(s))\n");
    EXPECT_EQ(wrapped_row("aaaa bbbb cccc", 2, 12), "  aaaa bbbb\n    cccc\n");
    EXPECT_EQ(wrapped_row("x averyveryverylongword y", 2, 10),
              "  x\n    averyveryverylongword\n    y\n");
    EXPECT_EQ(wrapped_row("\xc3\xa9\xc3\xa9\xc3\xa9 \xc3\xa9", 0, 5),
              "\xc3\xa9\xc3\xa9\xc3\xa9 \xc3\xa9\n");
}
