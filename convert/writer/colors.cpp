#include "convert/writer/colors.h"

#include <cmath>
#include <cstddef>

#include "convert/run_state.h"
#include "util/number_text.h"

ColorCounters color_counters;

void reset_color_counters() {
    color_counters = ColorCounters{};
}

namespace {

// Track palette, 0xBBGGRR: rows for indices 25..47, 49..71 and 73..95.
constexpr std::uint32_t kTrackPalette[3][23] = {
    {0xFC002C, 0xFC0056, 0xFC0088, 0xFC00BF, 0xC000BE, 0x8800BD, 0x5400BD, 0x0D00BC,
     0x0D1EBD, 0x0E52BD, 0x1189BE, 0x14C5C0, 0x11C589, 0x10C657, 0x0FC62E, 0x0EC61C,
     0x54C61E, 0x88C420, 0xC1C323, 0xFDC127, 0xFC8421, 0xFC4A1C, 0xFC0019},
    {0xA3001E, 0xA30037, 0xA30055, 0xA40074, 0x89007C, 0x66007B, 0x46007A, 0x0B007A,
     0x0B127A, 0x0C317A, 0x0D517B, 0x108089, 0x0E8066, 0x0D8048, 0x0C802D, 0x0C8018,
     0x338015, 0x517F16, 0x7E8C1A, 0xA48D1D, 0xA46919, 0xA34616, 0xA32314},
    {0x5F0014, 0x5F0021, 0x5F0031, 0x5F0041, 0x57004B, 0x420047, 0x310047, 0x0B0047,
     0x0B0C47, 0x0B1C47, 0x0C2C47, 0x0F4D57, 0x0C4A42, 0x0C4A32, 0x0C4A23, 0x0B4B15,
     0x1D4A0F, 0x2C4A0F, 0x4C5914, 0x5F5916, 0x5F4714, 0x5F3513, 0x5F2211},
};

// Light colours for indices 1..23 that are not a lightened first-row entry; 0 elsewhere.
constexpr std::uint32_t kLightOverrides[23] = {0xECB4BE, 0, 0xECB4D2, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                               0,        0, 0,        0, 0, 0, 0, 0, 0, 0, 0};

// Clip palette for slots 1..24; only the odd slots are set.
constexpr std::uint32_t kClipPalette[24] = {0xECB4BE, 0, 0xECB4D2, 0, 0xDBB1DA, 0, 0xC3B0DA, 0,
                                            0xABB1E4, 0, 0xADD3E4, 0, 0xADE7D3, 0, 0xACE6B5, 0,
                                            0xC3E7B1, 0, 0xE5E6B3, 0, 0xFAD3B3, 0, 0xF9A8B1, 0};

// Dark-theme pairs {session colour, REAPER colour}, both 0xRRGGBB.
struct ColorPair {
    std::uint32_t session_rgb;
    std::uint32_t dark_rgb;
};
constexpr ColorPair kDarkPairs[10] = {
    {0x90C0D7, 0x243A44}, {0xA5CCE9, 0x233C4D}, {0xC99191, 0x412525}, {0xD3C990, 0x433D24},
    {0x93CAAE, 0x244133}, {0x9B8BD4, 0x2C2445}, {0xA6DAB4, 0x25492F}, {0xB08BD4, 0x342443},
    {0xA7CB90, 0x2E4123}, {0xD8A5A2, 0x482623},
};

// Follow-track colours, 0xBBGGRR, by colour-coding palette index.
struct IndexedColor {
    std::int32_t index;
    std::uint32_t color;
};
constexpr IndexedColor kFollowTrackColors[16] = {
    {51, 0xE3A0C4}, {54, 0xCCA2D5}, {57, 0xA2A5D8}, {60, 0xA2D9DE}, {65, 0xB4DAA6}, {66, 0xC3DAA6},
    {69, 0xE9CCA5}, {73, 0xD48B9B}, {75, 0xD48BB0}, {78, 0xC290C7}, {81, 0x9191C9}, {84, 0x90C9D3},
    {87, 0x90CBA7}, {90, 0xAECA93}, {93, 0xD7C090}, {94, 0xD8AF90},
};

std::uint32_t channel(std::uint32_t color, int shift) {
    return (color >> shift) & 0xFFu;
}

std::uint32_t clamp_channel(long value) {
    if (value <= 0) return 0;
    if (value >= 255) return 255;
    return static_cast<std::uint32_t>(value);
}

// Applies `f` to each of the three channels of a 24-bit colour.
template <typename F>
std::uint32_t map_channels(std::uint32_t color, F f) {
    return f(channel(color, 0)) | (f(channel(color, 8)) << 8) | (f(channel(color, 16)) << 16);
}

std::uint32_t swap_red_blue(std::uint32_t color) {
    return channel(color, 16) | (channel(color, 8) << 8) | (channel(color, 0) << 16);
}

void set_code(ColorCode* code, ColorCode value) {
    if (code != nullptr) *code = value;
}

// Digits at the start of `text` from `pos`, saturating well past any year.
int leading_number(const std::string& text, std::size_t pos) {
    int value = 0;
    for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos) {
        if (value < 1000000) value = value * 10 + (text[pos] - '0');
    }
    return value;
}

}  // namespace

std::uint32_t palette_color(std::int32_t n, ColorCode* code) {
    if (n >= 25 && n <= 95 && n % 24 != 0) {
        set_code(code, ColorCode::table);
        return kTrackPalette[n / 24 - 1][n % 24 - 1] | kColorUsedFlag;
    }
    if (n >= 1 && n <= 23) {
        if (kLightOverrides[n - 1] != 0) {
            set_code(code, ColorCode::table);
            return kLightOverrides[n - 1] | kColorUsedFlag;
        }
        set_code(code, ColorCode::lightened);
        const std::uint32_t lighter = map_channels(
            kTrackPalette[0][n - 1], [](std::uint32_t c) { return c + (255 - c) * 2 / 5; });
        return lighter | kColorUsedFlag;
    }
    // Off the palette: a colour of its own per index, so clips sharing an index still group.
    const std::uint32_t m =
        n < 0 ? 0u - static_cast<std::uint32_t>(n) : static_cast<std::uint32_t>(n);
    set_code(code, ColorCode::derived);
    const std::uint32_t low = (73u * m) % 200u + 40u;
    const std::uint32_t middle = (149u * m) % 200u + 40u;
    const std::uint32_t high = (211u * m) % 200u + 40u;
    return low | (middle << 8) | (high << 16) | kColorUsedFlag;
}

std::uint32_t clip_palette_color(std::int32_t n, ColorCode* code) {
    if (n < 1 || n > 47) return palette_color(n, code);
    const std::uint32_t entry = kClipPalette[(n - 1) % 24];
    if (entry != 0) {
        set_code(code, ColorCode::table);
        return entry | kColorUsedFlag;
    }
    if (n > 23) return palette_color(n, code);
    set_code(code, ColorCode::none);
    return 0;
}

std::uint32_t clip_slot_color(std::int32_t n) {
    if (n < 1) return 0;
    const std::int32_t column = (n - 1) % 24;
    if (column == 23) return 0;
    switch (column + 1) {
        case 1:
            ++color_counters.palette_hits;
            return 0x5A242F;
        case 3:
            ++color_counters.palette_hits;
            return 0x592541;
        case 7:
            ++color_counters.palette_hits;
            return 0x382651;
        case 11:
            ++color_counters.palette_hits;
            return 0x254551;
        default:
            break;
    }
    ++color_counters.formula_fallbacks;
    return map_channels(kTrackPalette[0][column], [](std::uint32_t c) {
        return clamp_channel(std::lround(static_cast<double>(c) * 0.22 + 36.0));
    });
}

std::uint32_t stretch_color_channels(std::uint32_t color) {
    return map_channels(color, [](std::uint32_t x) {
        return clamp_channel(std::lround((static_cast<double>(x) - 18.9) / 0.275));
    });
}

std::uint32_t map_color_pairs_or_formula(std::uint32_t color) {
    const std::uint32_t rgb = swap_red_blue(color);
    for (const ColorPair& pair : kDarkPairs) {
        if (pair.session_rgb == rgb) {
            ++color_counters.palette_hits;
            return swap_red_blue(pair.dark_rgb);
        }
    }
    ++color_counters.formula_fallbacks;
    return map_channels(color, [](std::uint32_t x) {
        return clamp_channel(std::lround(static_cast<double>(x) * 0.487 - 35.0));
    });
}

std::uint32_t follow_track_color(std::int32_t index) {
    for (const IndexedColor& entry : kFollowTrackColors) {
        if (entry.index == index) return entry.color;
    }
    return 0;
}

void append_item_color(std::string& text, std::uint32_t color) {
    if (color == 0) return;
    if (settings.no_clip_colors) {
        ++color_counters.clips_left_uncolored;
        return;
    }
    text += "      COLOR ";
    append_integer(text, static_cast<unsigned long long>(color));
    text += " R\n";
}

void write_item_color(std::FILE* file, std::uint32_t color) {
    std::string text;
    append_item_color(text, color);
    if (file != nullptr) std::fwrite(text.data(), 1, text.size(), file);
}

bool session_theme_is_dark(const std::string& version_text) {
    const int year = leading_number(version_text, 0);
    if (year > 2020) return true;
    if (year < 2020) return false;
    const std::size_t point = version_text.find('.');
    return point != std::string::npos && leading_number(version_text, point + 1) > 10;
}

bool dark_theme_on(ClipColorTheme theme, const std::string& version_text) {
    switch (theme) {
        case ClipColorTheme::dark:
            return true;
        case ClipColorTheme::classic:
            return false;
        case ClipColorTheme::follow_session:
            break;
    }
    return session_theme_is_dark(version_text);
}

std::uint32_t track_peakcol(std::optional<std::int32_t> own_index,
                            std::optional<std::int32_t> coding_index) {
    if (settings.no_track_colors) return kDefaultPeakcol;
    if (own_index) {
        ++color_counters.tracks_colored;
        return palette_color(*own_index);
    }
    if (coding_index) {
        ++color_counters.tracks_colored_by_coding;
        return palette_color(*coding_index);
    }
    ++color_counters.tracks_uncolored;
    return kDefaultPeakcol;
}

ClipColor clip_item_color(std::int32_t index, bool dark_theme) {
    ClipColor out;
    out.color = clip_palette_color(index, &out.code);
    if (dark_theme && index >= 1 && index <= 95) {
        const std::uint32_t dark = clip_slot_color(index);
        if (dark != 0) out.color = stretch_color_channels(dark) | kColorUsedFlag;
    }
    if (out.code == ColorCode::lightened) ++color_counters.clips_lightened;
    if (out.code == ColorCode::derived) ++color_counters.clips_off_palette;
    return out;
}

ClipFallback clip_fallback_color(std::int32_t clip_color_mode, bool track_has_color_index,
                                 bool track_flagged, std::int32_t view_color_number,
                                 bool dark_theme) {
    ClipFallback out;
    const bool by_rows = clip_color_mode == 1 || clip_color_mode == 2;
    if (track_has_color_index || track_flagged) {
        if (by_rows && !settings.no_clip_colors) ++color_counters.clips_on_colored_tracks;
        return out;
    }
    if (clip_color_mode == 5) {
        out.follows_track_path = true;
        return out;
    }
    if (!by_rows) {
        if (clip_color_mode > 0 && !settings.no_clip_colors)
            ++color_counters.clips_unmeasured_coding;
        return out;
    }
    if (view_color_number > 0) {
        const std::int32_t index = kColorCodingIndices[(view_color_number - 1) % 16];
        const std::uint32_t entry = follow_track_color(index);
        if (entry != 0) {
            const std::uint32_t color =
                dark_theme ? stretch_color_channels(map_color_pairs_or_formula(entry)) : entry;
            out.color = color | kColorUsedFlag;
            ++color_counters.fallback_clips_colored;
            return out;
        }
    }
    ++color_counters.fallback_clips_uncolored;
    return out;
}
