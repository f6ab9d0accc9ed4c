#include "convert/writer/colors.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <string>

#include "convert/run_state.h"

namespace {

// Every test starts from zero counters and the colour options off, and leaves them so.
class Colors : public ::testing::Test {
  protected:
    void SetUp() override { clear(); }
    void TearDown() override { clear(); }
    static void clear() {
        reset_color_counters();
        settings.no_clip_colors = 0;
        settings.no_track_colors = 0;
    }
};

struct PaletteCase {
    std::int32_t index;
    std::uint32_t color;
    ColorCode code;
};

TEST_F(Colors, PaletteColorByIndex) {
    const PaletteCase cases[] = {
        {25, 0x1FC002C, ColorCode::table},  // first row, first column
        {47, 0x1FC0019, ColorCode::table},  // first row, last column
        {36, 0x114C5C0, ColorCode::table},  // first row, middle
        {49, 0x1A3001E, ColorCode::table},  // second row
        {60, 0x1108089, ColorCode::table},
        {71, 0x1A32314, ColorCode::table},
        {73, 0x15F0014, ColorCode::table},  // third row
        {84, 0x10F4D57, ColorCode::table},
        {95, 0x15F2211, ColorCode::table},
        {1, 0x1ECB4BE, ColorCode::table},  // light overrides
        {3, 0x1ECB4D2, ColorCode::table},
        {2, 0x1FD6699, ColorCode::lightened},   // 0xFC0056: 86 -> 153, 0 -> 102, 252 -> 253
        {23, 0x1FD6675, ColorCode::lightened},  // 0xFC0019: 25 -> 117
        {24, 0x168D8C0, ColorCode::derived},    // 192, 216, 104
        {0, 0x1282828, ColorCode::derived},
        {-24, 0x168D8C0, ColorCode::derived},  // by the magnitude
        {48, 0x1A8C090, ColorCode::derived},
        {72, 0x1E8A860, ColorCode::derived},
        {96, 0x1609030, ColorCode::derived},
    };
    for (const PaletteCase& c : cases) {
        ColorCode code = ColorCode::none;
        EXPECT_EQ(palette_color(c.index, &code), c.color) << c.index;
        EXPECT_EQ(code, c.code) << c.index;
    }
    // The most negative index stays defined and still gives a colour.
    EXPECT_NE(palette_color(INT_MIN) & kColorUsedFlag, 0u);
    EXPECT_EQ(palette_color(25, nullptr), 0x1FC002Cu);
}

TEST_F(Colors, ClipPaletteColorByIndex) {
    const PaletteCase cases[] = {
        {1, 0x1ECB4BE, ColorCode::table},
        {25, 0x1ECB4BE, ColorCode::table},  // slot 1 again
        {5, 0x1DBB1DA, ColorCode::table},
        {13, 0x1ADE7D3, ColorCode::table},
        {23, 0x1F9A8B1, ColorCode::table},
        {47, 0x1F9A8B1, ColorCode::table},
        {2, 0, ColorCode::none},  // empty light slot
        {22, 0, ColorCode::none},
        {26, palette_color(26), ColorCode::table},  // empty slot above 23: the track palette
        {24, palette_color(24), ColorCode::derived},
        {0, palette_color(0), ColorCode::derived},  // outside 1..47
        {48, palette_color(48), ColorCode::derived},
        {60, palette_color(60), ColorCode::table},
    };
    for (const PaletteCase& c : cases) {
        ColorCode code = ColorCode::table;
        EXPECT_EQ(clip_palette_color(c.index, &code), c.color) << c.index;
        EXPECT_EQ(code, c.code) << c.index;
    }
}

TEST_F(Colors, ClipSlotColorCountsHitsAndFallbacks) {
    EXPECT_EQ(clip_slot_color(24), 0u);
    EXPECT_EQ(clip_slot_color(48), 0u);
    EXPECT_EQ(clip_slot_color(0), 0u);
    EXPECT_EQ(clip_slot_color(-5), 0u);
    EXPECT_EQ(color_counters.palette_hits + color_counters.formula_fallbacks, 0);

    EXPECT_EQ(clip_slot_color(1), 0x5A242Fu);
    EXPECT_EQ(clip_slot_color(27), 0x592541u);  // slot 3
    EXPECT_EQ(clip_slot_color(7), 0x382651u);
    EXPECT_EQ(clip_slot_color(83), 0x254551u);  // slot 11
    EXPECT_EQ(color_counters.palette_hits, 4);
    // 0xFC0056 channel by channel: 86 -> 55, 0 -> 36, 252 -> 91.
    EXPECT_EQ(clip_slot_color(2), 0x5B2437u);
    EXPECT_EQ(clip_slot_color(50), 0x5B2437u);
    EXPECT_EQ(color_counters.formula_fallbacks, 2);
}

TEST_F(Colors, StretchColorChannels) {
    EXPECT_EQ(stretch_color_channels(0x125912), 0x00FF00u);  // 18 -> 0, 89 -> 255
    EXPECT_EQ(stretch_color_channels(0x5A242F), 0xFF3E66u);  // 90 clamps, 36 -> 62, 47 -> 102
    EXPECT_EQ(stretch_color_channels(0), 0u);
}

TEST_F(Colors, MapColorPairsOrFormula) {
    // 0xD7C090 is the session colour 0x90C0D7: its pair 0x243A44 comes back as 0xBBGGRR.
    EXPECT_EQ(map_color_pairs_or_formula(0xD7C090), 0x443A24u);
    EXPECT_EQ(map_color_pairs_or_formula(0xA2A5D8), 0x232648u);
    EXPECT_EQ(color_counters.palette_hits, 2);
    // The pair is matched as 0xRRGGBB only, not as given.
    EXPECT_EQ(map_color_pairs_or_formula(0x90C0D7), 0x233B46u);  // 215 -> 70, 192 -> 59, 144 -> 35
    EXPECT_EQ(map_color_pairs_or_formula(0xFFFFFF), 0x595959u);
    EXPECT_EQ(map_color_pairs_or_formula(0x000000), 0u);
    EXPECT_EQ(color_counters.formula_fallbacks, 3);
}

std::string written_item_color(std::uint32_t color) {
    std::FILE* file = std::tmpfile();
    if (file == nullptr) return "<no temporary file>";
    write_item_color(file, color);
    std::rewind(file);
    std::string text;
    char buffer[128];
    while (std::fgets(buffer, sizeof buffer, file) != nullptr) text += buffer;
    std::fclose(file);
    return text;
}

TEST_F(Colors, WriteItemColorHonoursNoClipColors) {
    EXPECT_EQ(written_item_color(0x1FC002C), "      COLOR 33292332 R\n");
    EXPECT_EQ(written_item_color(0), "");
    EXPECT_EQ(color_counters.clips_left_uncolored, 0);

    settings.no_clip_colors = 1;
    EXPECT_EQ(written_item_color(0x1FC002C), "");
    EXPECT_EQ(written_item_color(0), "");  // would carry no colour: not counted
    EXPECT_EQ(color_counters.clips_left_uncolored, 1);
}

TEST_F(Colors, DarkThemeDecision) {
    const struct {
        const char* version;
        bool dark;
    } cases[] = {
        {"2020.11", true},    {"2020.11.0", true}, {"2020.9", false},
        {"2020.10.2", false}, {"2020", false},     {"2021.3", true},
        {"2023.3", true},     {"12.5.1", false},   {"", false},  // the header names no version
        {"unknown", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(session_theme_is_dark(c.version), c.dark) << c.version;
        EXPECT_EQ(dark_theme_on(ClipColorTheme::follow_session, c.version), c.dark) << c.version;
        EXPECT_TRUE(dark_theme_on(ClipColorTheme::dark, c.version));
        EXPECT_FALSE(dark_theme_on(ClipColorTheme::classic, c.version));
    }
}

TEST_F(Colors, TrackPeakcol) {
    EXPECT_EQ(track_peakcol(std::nullopt, std::nullopt), kDefaultPeakcol);
    EXPECT_EQ(track_peakcol(25, 93), 0x1FC002Cu);  // its own index wins
    EXPECT_EQ(track_peakcol(std::nullopt, 93), palette_color(93));
    EXPECT_EQ(color_counters.tracks_colored, 1);
    EXPECT_EQ(color_counters.tracks_colored_by_coding, 1);

    settings.no_track_colors = 1;
    EXPECT_EQ(track_peakcol(25, std::nullopt), 16576u);
    EXPECT_EQ(track_peakcol(std::nullopt, 93), 16576u);
    EXPECT_EQ(color_counters.tracks_colored + color_counters.tracks_colored_by_coding, 2);
}

TEST_F(Colors, ClipItemColorWithAndWithoutDarkTheme) {
    const struct {
        std::int32_t index;
        bool dark;
        std::uint32_t color;
    } cases[] = {
        {2, false, 0},  // empty light slot: no COLOR line
        {1, false, 0x1ECB4BE},
        {2, true, 0x1FF3E83},           // the dark slot colour, stretched
        {25, true, 0x1FF3E66},          // 0x5A242F stretched
        {24, true, palette_color(24)},  // slot 24 keeps the ordinary colour
        {48, true, palette_color(48)},
        {96, true, palette_color(96)},  // past 95 the dark palette is not consulted
    };
    for (const auto& c : cases) {
        EXPECT_EQ(clip_item_color(c.index, c.dark).color, c.color) << c.index << " " << c.dark;
    }
    EXPECT_EQ(color_counters.clips_off_palette, 3);  // 24, 48, 96
    EXPECT_EQ(color_counters.clips_lightened, 0);
    EXPECT_EQ(clip_item_color(2, false).code, ColorCode::none);
}

TEST_F(Colors, ClipFallbackFollowsTheTrackRow) {
    // View colour number 1 picks index 93 (0xD7C090); 17 wraps to it too; 11 picks 51.
    EXPECT_EQ(clip_fallback_color(1, false, false, 1, false).color, 0x1D7C090u);
    EXPECT_EQ(clip_fallback_color(2, false, false, 17, false).color, 0x1D7C090u);
    EXPECT_EQ(clip_fallback_color(1, false, false, 11, false).color, 0x1E3A0C4u);
    // Dark: the pair 0x243A44, stretched channel by channel (36 -> 62, 58 -> 142, 68 -> 179).
    EXPECT_EQ(clip_fallback_color(1, false, false, 1, true).color, 0x1B38E3Eu);
    EXPECT_EQ(color_counters.fallback_clips_colored, 4);

    EXPECT_EQ(clip_fallback_color(1, false, false, 0, false).color, 0u);
    EXPECT_EQ(color_counters.fallback_clips_uncolored, 1);

    // Tracks with a colour of their own, other modes: no colour and nothing counted.
    EXPECT_EQ(clip_fallback_color(1, true, false, 1, false).color, 0u);
    EXPECT_EQ(clip_fallback_color(1, false, true, 1, false).color, 0u);
    EXPECT_EQ(clip_fallback_color(3, false, false, 1, false).color, 0u);
    const ClipFallback mode5 = clip_fallback_color(5, false, false, 1, false);
    EXPECT_TRUE(mode5.follows_track_path);
    EXPECT_EQ(mode5.color, 0u);
    EXPECT_EQ(color_counters.fallback_clips_colored, 4);
    EXPECT_EQ(color_counters.fallback_clips_uncolored, 1);
}

TEST_F(Colors, EveryColorCodingIndexHasAFollowTrackColor) {
    for (std::int32_t index : kColorCodingIndices) EXPECT_NE(follow_track_color(index), 0u);
    EXPECT_EQ(follow_track_color(52), 0u);
}

TEST_F(Colors, ConversionResetClearsTheCounters) {
    clip_slot_color(1);
    track_peakcol(25, std::nullopt);
    settings.no_clip_colors = 1;
    write_item_color(nullptr, 0x1000001);
    ASSERT_EQ(color_counters.clips_left_uncolored, 1);
    reset_conversion_state(ConvertOptions{});
    EXPECT_EQ(color_counters.palette_hits, 0);
    EXPECT_EQ(color_counters.tracks_colored, 0);
    EXPECT_EQ(color_counters.clips_left_uncolored, 0);
}

}  // namespace
