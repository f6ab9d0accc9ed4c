#include "session/session_settings.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "block_builder.h"
#include "platform/ptformat.h"
#include "session/scan.h"
#include "session/session_header.h"
#include "test_support.h"

namespace {

using namespace test_blocks;

const std::uint8_t* u8(const std::string& s) {
    return reinterpret_cast<const std::uint8_t*>(s.data());
}

std::string f64le(double value) {
    std::string out;
    append_f64le(out, value);
    return out;
}

std::string text(const std::string& s) {
    return u32le(static_cast<std::uint32_t>(s.size())) + s;
}

// --- Scanner conventions ----------------------------------------------------------------------

TEST(ScanBlocks, FindsCandidatesAtAnyPositionUntilTheVisitorStops) {
    const std::string buffer = "xZ" + z_block(0x2055, "ab") + "Z" + z_block(0x2055, "cd", 0x0105);
    std::vector<std::uint64_t> seen;
    scan_blocks(session_bytes(u8(buffer), buffer.size()), 0x2055, buffer.size(),
                [&](const BlockHeader& block) {
                    seen.push_back(block.position);
                    return false;
                });
    EXPECT_EQ(seen, (std::vector<std::uint64_t>{2, 14}));

    seen.clear();
    scan_blocks(session_bytes(u8(buffer), buffer.size()), 0x2055, buffer.size(),
                [&](const BlockHeader& block) {
                    seen.push_back(block.position);
                    return true;
                });
    EXPECT_EQ(seen, (std::vector<std::uint64_t>{2}));
}

TEST(ReadTextAt, ChecksLengthBoundsEndAndBytes) {
    struct Case {
        std::string bytes;
        std::size_t limit;
        TextBytes kind;
        bool ok;
    };
    const std::string utf8 = "Caf\xc3\xa9";
    const std::vector<Case> cases = {
        {text("Kick"), 8, TextBytes::printable, true},
        {text("Kick"), 7, TextBytes::printable, false},  // ends past the limit
        {text("K"), 5, TextBytes::printable, false},     // below the minimum
        {text(utf8), 9, TextBytes::name, true},
        {text(utf8), 9, TextBytes::printable, false},
        {text("a\x01"
              "b"),
         7, TextBytes::name, false},
        {text("a\xc0"
              "b"),
         7, TextBytes::name, false},                      // 0xc0 is no UTF-8 byte
        {u32le(100) + "ab", 100, TextBytes::any, false},  // runs past the bytes
    };
    for (const Case& c : cases) {
        std::string_view out;
        EXPECT_EQ(read_text_at(session_bytes(u8(c.bytes), c.bytes.size()), 0, c.limit, 2, 64,
                               c.kind, out),
                  c.ok)
            << c.bytes;
    }
}

TEST(ReadNibbleTime, ReadsWidthsGapAndStopsAtTheLimit) {
    // Header: byte 1 high nibble = first width, byte 2 = second width and gap, byte 3 = third.
    const auto header = [](int w1, int w2, int gap, int w3) {
        std::string h(5, '\0');
        h[1] = static_cast<char>(w1 << 4);
        h[2] = static_cast<char>(w2 << 4 | gap);
        h[3] = static_cast<char>(w3 << 4);
        return h;
    };
    struct Case {
        std::string bytes;
        std::size_t limit;
        double first, second, third;
    };
    const std::string values =
        "\x01\x02"
        "\xEE"
        "\x03"
        "\x04\x05";  // 0x0201, gap, 0x03, 0x0504
    const std::vector<Case> cases = {
        {header(2, 1, 1, 2) + values, 11, 0x0201, 0x03, 0x0504},
        {header(2, 0, 1, 2) + "\x01\x02\xEE\x04\x05", 10, 0x0201, 0, 0x0504},
        {header(2, 1, 1, 2) + values, 10, 0x0201, 0x03, 0},  // third past the limit
        {header(2, 1, 1, 2) + values, 8, 0x0201, 0, 0},      // second past the limit
        {header(6, 1, 1, 2) + values, 11, 0, 0, 0},          // a width of 6
        {header(2, 1, 9, 2) + values, 11, 0, 0, 0},          // a gap of 9
        {header(2, 1, 1, 2), 4, 0, 0, 0},                    // no room for the header
    };
    for (const Case& c : cases) {
        double a = -1, b = -1, d = -1;
        read_nibble_time(session_bytes(u8(c.bytes), c.bytes.size()), 0, c.limit, a, b, d);
        EXPECT_EQ(a, c.first) << c.limit;
        EXPECT_EQ(b, c.second) << c.limit;
        EXPECT_EQ(d, c.third) << c.limit;
    }
}

// --- Audio settings: format, pan depth, bit depth -----------------------------------------------

// A 0x1028 block as real sessions hold it: format at +9, the path list from +20, then pan depth,
// float flag and bit depth at list end + 6, + 7 and + 9, then a tail.
std::string audio_settings(const std::vector<std::string>& paths, int pan, int is_float, int bits,
                           std::uint8_t format = 3, std::size_t tail = 6) {
    std::string content(1, static_cast<char>(format));
    content += zeros(10) + "\x01" + u32le(static_cast<std::uint32_t>(paths.size()));
    for (const std::string& p : paths) content += text(p);
    content += zeros(6);
    content.push_back(static_cast<char>(pan));
    content.push_back(static_cast<char>(is_float));
    content.push_back('\0');
    content.push_back(static_cast<char>(bits));
    return z_block(0x1028, content + zeros(tail), 0x0A);
}

TEST(AudioSettings, ReadAfterThePathListWhateverItsLength) {
    const std::vector<std::string> eight = {"Macintosh HD", "Users", "someone",   "Library",
                                            "Preferences",  "Avid",  "Pro Tools", "Last Used.pio"};
    struct Case {
        std::vector<std::string> paths;
        int pan, is_float, bits;
    };
    const std::vector<Case> cases = {
        {{}, 2, 0, 24},
        {{"Internal SSD"}, 1, 1, 32},
        {eight, 2, 0, 16},
    };
    for (const Case& c : cases) {
        const std::string s = zeros(3) + audio_settings(c.paths, c.pan, c.is_float, c.bits, 4);
        int is_float = -1;
        EXPECT_EQ(read_session_file_format(u8(s), s.size()), 4) << c.paths.size();
        EXPECT_EQ(read_pan_depth(u8(s), s.size()), c.pan) << c.paths.size();
        EXPECT_EQ(read_session_bit_depth(u8(s), s.size(), is_float), c.bits) << c.paths.size();
        EXPECT_EQ(is_float, c.is_float) << c.paths.size();
    }
}

TEST(AudioSettings, ALongerListMovesTheFieldsOffTheFixedOffsets) {
    // With 55 bytes of paths in eight texts the list ends at +112, so the fields stand at +118,
    // +119 and +121; one byte more moves them all by one.
    const std::vector<std::string> fixed = {
        std::string(48, 'a'), "b", "c", "d", "e", "f", "g", "h"};
    const std::string s = audio_settings(fixed, 2, 1, 32);
    ASSERT_EQ(s[118], 2);
    ASSERT_EQ(s[119], 1);
    ASSERT_EQ(s[121], 32);

    std::vector<std::string> longer = fixed;
    longer[1] = "bb";
    const std::string t = audio_settings(longer, 2, 1, 32);
    int is_float = 0;
    EXPECT_EQ(read_pan_depth(u8(t), t.size()), 2);
    EXPECT_EQ(read_session_bit_depth(u8(t), t.size(), is_float), 32);
    EXPECT_EQ(is_float, 1);
}

TEST(AudioSettings, AListRunningPastTheBlockYieldsNothing) {
    // Each case is a damaged block; a later good block is then the one read.
    std::string runs_past = audio_settings({"Users"}, 2, 0, 24);
    runs_past[21 + 4] = 0x7F;  // the path's length
    std::string count_past = audio_settings({"Users"}, 2, 0, 24);
    count_past[21] = 9;
    const std::string no_tail = audio_settings({"Users"}, 2, 0, 24, 3, 0);
    std::string cut_bit_depth = no_tail.substr(0, no_tail.size() - 1);
    put_u32le_at(cut_bit_depth, 3, static_cast<std::uint32_t>(cut_bit_depth.size() - 7));

    for (const std::string& bad : {runs_past, count_past, cut_bit_depth}) {
        int is_float = -1;
        EXPECT_EQ(read_session_bit_depth(u8(bad), bad.size(), is_float), -1);
        EXPECT_EQ(is_float, 0);
        const std::string with_good = bad + audio_settings({"Users"}, 1, 1, 32);
        EXPECT_EQ(read_session_bit_depth(u8(with_good), with_good.size(), is_float), 32);
    }
    // The pan depth still fits where the bit depth does not.
    EXPECT_EQ(read_pan_depth(u8(cut_bit_depth), cut_bit_depth.size()), 2);
    // The block ends at the end of the buffer: the last field is the buffer's last byte.
    int is_float = 0;
    EXPECT_EQ(read_session_bit_depth(u8(no_tail), no_tail.size(), is_float), 24);
    // A block cut short by the end of the buffer is read only as far as the buffer goes.
    const std::string cut = no_tail.substr(0, no_tail.size() - 1);
    EXPECT_EQ(read_session_bit_depth(u8(cut), cut.size(), is_float), -1);
    EXPECT_EQ(read_pan_depth(u8(cut), cut.size()), 2);
}

// --- The other settings -------------------------------------------------------------------------

TEST(SettingsReaders, TinyBuffersGiveTheDefaults) {
    for (std::size_t n : {0u, 9u, 10u}) {
        const std::string s = audio_settings({}, 2, 0, 24).substr(0, n);
        int flag = 7, code = 7, found = 7;
        std::uint32_t a = 0, b = 7;
        BarsBeatsTicks nudge, grid;
        EXPECT_EQ(read_session_file_format(u8(s), n), 0);
        EXPECT_EQ(read_pan_depth(u8(s), n), -1);
        EXPECT_EQ(read_session_bit_depth(u8(s), n, flag), -1);
        EXPECT_EQ(flag, 0);
        EXPECT_EQ(read_click_enabled(u8(s), n), -1);
        EXPECT_EQ(read_204d_time_values(u8(s), n, a, b), 0);
        EXPECT_EQ(a, 0xFFFFFFFFu);
        EXPECT_EQ(b, 0u);
        EXPECT_EQ(read_timecode_rate(u8(s), n, code), 0u);
        EXPECT_EQ(code, -1);
        EXPECT_EQ(read_track_color_mode(u8(s), n), -1);
        EXPECT_EQ(read_clip_color_mode(u8(s), n), -1);
        EXPECT_EQ(read_video_quality(u8(s), n), -1);
        EXPECT_EQ(read_video_frame_rate(u8(s), n), 0.0);
        read_grid_and_nudge(u8(s), n, nudge, grid, found);
        EXPECT_EQ(found, 0);
    }
    EXPECT_EQ(read_session_file_format(nullptr, 0), 0);
}

std::string click_block(std::uint8_t flag, std::size_t size = 31, std::uint16_t type = 0x05) {
    std::string content = zeros(size - 2);
    content[29 - 9] = static_cast<char>(flag);
    return z_block(0x2055, content, type);
}

TEST(ClickEnabled, TheFirstBlockOfHighByteZeroDecides) {
    struct Case {
        std::string bytes;
        int expected;
    };
    const std::vector<Case> cases = {
        {click_block(1), 1},
        {click_block(0), 0},
        {click_block(2), -1},
        {click_block(1, 30) + click_block(1), -1},
        {click_block(0, 31, 0x0105) + click_block(1), 1},  // high byte not 0: passed over
        {click_block(1).substr(0, 37), -1},                // does not fit
    };
    for (const Case& c : cases) {
        EXPECT_EQ(read_click_enabled(u8(c.bytes), c.bytes.size()), c.expected);
    }
}

// A 0x204d block: code at +9, the u32 at +18, the timecode text length at +34, then a and b.
std::string timecode_block(std::uint8_t code, std::uint32_t at18, const std::string& name,
                           std::uint32_t a, std::uint32_t b) {
    std::string content(1, static_cast<char>(code));
    content += zeros(8) + u32le(at18) + zeros(12) + text(name) + u32le(a) + u32le(b);
    return z_block(0x204d, content, 0x05);
}

TEST(TimecodeReaders, ReadTheRateCodeAndTheValuesAfterTheText) {
    const std::string s = timecode_block(7, 108000, "24:00:00:00", 7, 108000);
    std::uint32_t a = 0, b = 0;
    int code = 0;
    EXPECT_EQ(read_204d_time_values(u8(s), s.size(), a, b), 1);
    EXPECT_EQ(a, 7u);
    EXPECT_EQ(b, 108000u);
    EXPECT_EQ(read_timecode_rate(u8(s), s.size(), code), 108000u);
    EXPECT_EQ(code, 7);

    // A block that stops after the text decides for the values but still gives the rate.
    const std::string short_block =
        z_block(0x204d, "\x09" + zeros(8) + u32le(5) + zeros(12) + text("24:00:00:00"), 0x04) + s;
    EXPECT_EQ(read_204d_time_values(u8(short_block), short_block.size(), a, b), 0);
    EXPECT_EQ(a, 0xFFFFFFFFu);
    EXPECT_EQ(read_timecode_rate(u8(short_block), short_block.size(), code), 5u);
    EXPECT_EQ(code, 9);

    const std::string long_name = timecode_block(7, 0, std::string(65, '0'), 1, 2);
    EXPECT_EQ(read_204d_time_values(u8(long_name), long_name.size(), a, b), 0);
}

// A 0x20a2 block: an optional nested block at +9 of `nested` content bytes, then the modes.
std::string color_block(std::size_t nested, std::uint8_t track, std::uint8_t clip,
                        std::size_t size) {
    std::string content;
    if (nested > 0) content = z_block(0x2011, zeros(nested - 2), 0x02);
    content.push_back(static_cast<char>(track));
    content.push_back('\0');
    content.push_back(static_cast<char>(clip));
    if (content.size() < size - 2) content += zeros(size - 2 - content.size());
    return z_block(0x20a2, content, 0x08);
}

TEST(ColorModes, ReadAfterTheNestedBlockOrAtTheFixedOffsets) {
    const std::string nested = color_block(21, 4, 3, 41);
    EXPECT_EQ(read_track_color_mode(u8(nested), nested.size()), 4);
    EXPECT_EQ(read_clip_color_mode(u8(nested), nested.size()), 3);

    // Without a nested block: +36 and +38.
    std::string flat = z_block(0x20a2, zeros(39), 0x08);
    flat[36] = 2;
    flat[38] = 5;
    EXPECT_EQ(read_track_color_mode(u8(flat), flat.size()), 2);
    EXPECT_EQ(read_clip_color_mode(u8(flat), flat.size()), 5);

    // Too small for the clip mode: size 30 holds +36 but not +38.
    std::string small = color_block(0, 0, 0, 30);
    small[36] = 3;
    EXPECT_EQ(read_track_color_mode(u8(small), small.size()), 3);
    EXPECT_EQ(read_clip_color_mode(u8(small), small.size()), -1);
    EXPECT_STREQ(track_color_mode_name(4), "Track Type");
    EXPECT_STREQ(track_color_mode_name(5), "");
}

TEST(VideoReaders, QualityAndStandardFrameRates) {
    const auto rate_block = [](double v) {
        return z_block(0x2519, zeros(2) + f64le(v) + zeros(4), 0x07) + zeros(2);
    };
    struct Case {
        double stored;
        double expected;
    };
    const std::vector<Case> cases = {
        {29.97, 29.97},
        {29.9, 29.9},
        {29.5, 0.0},
        {23.976, 23.976},
        {1000.0, 0.0},
        {60.2, 60.2},
        {-25.0, 0.0},
        {std::numeric_limits<double>::quiet_NaN(), 0.0},
        {std::numeric_limits<double>::infinity(), 0.0},
        {std::numeric_limits<double>::denorm_min(), 0.0},
    };
    for (const Case& c : cases) {
        const std::string s = rate_block(c.stored);
        EXPECT_EQ(read_video_frame_rate(u8(s), s.size()), c.expected) << c.stored;
    }
    // A block failing the rate test is passed over; the next one is read.
    const std::string two = rate_block(29.5) + rate_block(25.0);
    EXPECT_EQ(read_video_frame_rate(u8(two), two.size()), 25.0);

    const std::string quality = z_block(0x270a, zeros(4) + "\x03" + zeros(5), 0x0E) + zeros(2);
    EXPECT_EQ(read_video_quality(u8(quality), quality.size()), 3);
    EXPECT_EQ(read_video_quality(u8(quality), quality.size() - 2), -1);  // not fits + 2
}

// A 0x2066 block holding the given texts, each with its length in front as sessions store them.
std::string grid_block(const std::vector<std::string>& texts) {
    std::string content = zeros(24);
    for (const std::string& t : texts) content += text(t);
    return z_block(0x2066, content, 0x02) + zeros(2);
}

TEST(GridAndNudge, TheFirstTwoBarsBeatsTicksTexts) {
    BarsBeatsTicks nudge{9, 9, 9}, grid{9, 9, 9};
    int found = 0;
    const std::string s = grid_block({"   1| 1| 000", "  0:01.000", "0|0|480", "   2| 2| 000"});
    read_grid_and_nudge(u8(s), s.size(), nudge, grid, found);
    EXPECT_EQ(found, 1);
    EXPECT_EQ(nudge.bars, 1u);
    EXPECT_EQ(nudge.beats, 1u);
    EXPECT_EQ(nudge.ticks, 0u);
    EXPECT_EQ(grid.bars, 0u);
    EXPECT_EQ(grid.beats, 0u);
    EXPECT_EQ(grid.ticks, 480u);

    // Texts that are no bars|beats|ticks: short ticks, long ticks, an eighth digit, a missing bar.
    for (const char* bad : {"12|1|0", "1|1|0000", "12345678|1|000", "1|000"}) {
        BarsBeatsTicks n{9, 9, 9}, g{9, 9, 9};
        found = 7;
        const std::string one = grid_block({bad, "1|1|000"});
        read_grid_and_nudge(u8(one), one.size(), n, g, found);
        EXPECT_EQ(found, 0) << bad;
        EXPECT_EQ(n.bars, 9u) << bad;
        EXPECT_EQ(g.ticks, 9u) << bad;
    }
}

// --- Session header -----------------------------------------------------------------------------

TEST(SessionHeader, HeadTextsThenTheHeaderBlock) {
    struct Case {
        std::string bytes;
        std::string product, version;
        std::uint32_t major;
    };
    // A Pro Tools 10 and later session: a path folder "Pro Tools" near the start, the header
    // block near the end.
    const std::string header_block =
        z_block(0x0003,
                "\x01" + text("Pro Tools") + u32le(3) + u32le(19) + u32le(6) + zeros(4) +
                    text("2019.6.0") + "\x01" + text("Release"),
                0x04);
    const std::vector<Case> cases = {
        {zeros(30) + text("Pro Tools HD") + zeros(3) + text("12.5.1"), "Pro Tools HD", "12.5.1",
         12},
        {text("Pro Tools HD") + text("Release"), "", "", 0},
        {text("Pro Tools 10") + zeros(8), "Pro Tools 10", "", 0},
        {text("Pro Tools") + text("Last Used.pio") + zeros(2000) + header_block, "Pro Tools",
         "2019.6.0", 2019},
        // The head's reading comes first, and only the first 1024 bytes are the head.
        {text("Pro Tools HD") + text("12.8.3") + header_block, "Pro Tools HD", "12.8.3", 12},
        {zeros(1020) + text("Pro Tools HD") + text("12.8.3"), "", "", 0},
    };
    for (const Case& c : cases) {
        SessionHeaderInfo info;
        read_session_header(u8(c.bytes), c.bytes.size(), info);
        EXPECT_EQ(info.product, c.product) << c.bytes.size();
        EXPECT_EQ(info.version, c.version) << c.bytes.size();
        EXPECT_EQ(info.major_version, c.major) << c.bytes.size();
    }
    // Nothing found leaves the fields as they were.
    SessionHeaderInfo kept{"x", "1.0", 1};
    const std::string none = zeros(64);
    read_session_header(u8(none), none.size(), kept);
    EXPECT_EQ(kept.product, "x");
    EXPECT_EQ(kept.version, "1.0");
}

// --- Real sessions ------------------------------------------------------------------------------

TEST(RealSessionSettings, BitDepthPanDepthAndHeader) {
    struct Case {
        const char* name;
        std::int64_t rate;
        int bits;
        int is_float;
        const char* product;
        const char* version;
    };
    const Case cases[] = {
        {"RegionTest.ptx", 44100, 24, 0, "Pro Tools", "2019.6.0"},
        {"TestPTX.ptx", 48000, 24, 0, "Pro Tools HD", "12.8.3"},
        {"Untitled32.ptx", 44100, 32, 1, "Pro Tools Ultimate", "2021.2.0"},
    };
    for (const Case& c : cases) {
        REQUIRE_SESSION(path, c.name);
        PTFFormat session;
        ASSERT_EQ(session.load(path, c.rate), 0) << c.name;
        EXPECT_EQ(session.sample_rate(), c.rate) << c.name;
        const std::uint8_t* data = session.bytes().data();
        const std::size_t length = session.bytes().size();
        int is_float = -1;
        EXPECT_EQ(read_session_bit_depth(data, length, is_float), c.bits) << c.name;
        EXPECT_EQ(is_float, c.is_float) << c.name;
        EXPECT_EQ(read_pan_depth(data, length), 2) << c.name;
        SessionHeaderInfo info;
        read_session_header(data, length, info);
        EXPECT_EQ(info.product, c.product) << c.name;
        EXPECT_EQ(info.version, c.version) << c.name;
    }
}

}  // namespace
