// Pro Tools palette indices and colours turned into REAPER colour values, and the writer's rules
// for track (PEAKCOL), clip and MIDI item (COLOR) colours.
//
// REAPER colour: R in the low byte, G in the next, B in the third, 0x1000000 marking the colour as
// used; 0 means no colour. Table entries are 0xBBGGRR (REAPER's order without the flag).
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "app/convert_options.h"

// How a palette colour was found.
enum class ColorCode : int {
    table = 1,      // taken from a palette table
    lightened = 2,  // a first-row track palette entry lightened
    derived = 3,    // made from the index: the index is off the palette
    none = 9,       // no colour
};

// REAPER's PEAKCOL for a track without a colour.
inline constexpr std::uint32_t kDefaultPeakcol = 16576;
inline constexpr std::uint32_t kColorUsedFlag = 0x1000000;

// Colour-coding palette indices, picked by a 1-based position modulo 16 (also the track colour
// coding of the groups and view-state colours).
inline constexpr std::array<std::int32_t, 16> kColorCodingIndices = {
    93, 87, 75, 57, 90, 84, 73, 78, 94, 81, 51, 65, 54, 69, 60, 66};

// Counters the console summary reports; reset at the start of every conversion.
struct ColorCounters {
    int palette_hits = 0;               // dark-theme colours taken from a table
    int formula_fallbacks = 0;          // dark-theme colours computed channel by channel
    int clips_left_uncolored = 0;       // --no-clip-colors: clips that would have carried a colour
    int tracks_colored = 0;             // PEAKCOL from the track's own colour index
    int tracks_colored_by_coding = 0;   // PEAKCOL from the session's colour coding
    int tracks_uncolored = 0;           // tracks with neither: REAPER's default PEAKCOL
    int off_palette_track_colours = 0;  // track records whose colour value is off the palette
    int clips_lightened = 0;            // clip colours of code 2
    int clips_off_palette = 0;          // clip colours of code 3
    int fallback_clips_colored = 0;     // clips without an index given the follow-track colour
    int fallback_clips_uncolored = 0;   // clips without an index the follow-track rule left alone
    int clips_on_colored_tracks =
        0;  // clips without an index on a hand-coloured track (modes 1, 2)
    int clips_unmeasured_coding = 0;  // clips without an index under a coding not measured
};
extern ColorCounters color_counters;
void reset_color_counters();

// Track palette colour of an index (memory locations and tracks), always a colour.
std::uint32_t palette_color(std::int32_t index, ColorCode* code = nullptr);

// Clip palette colour of an index, or 0 with code 9 for an empty light slot.
std::uint32_t clip_palette_color(std::int32_t index, ColorCode* code = nullptr);

// Dark-theme clip palette entry as 0xBBGGRR; 0 for the 24th slot of each group (and indices
// below 1). Counts a palette hit or a formula fallback.
std::uint32_t clip_slot_color(std::int32_t index);

// Spreads each channel of a dark-theme colour over the full 0..255 range.
std::uint32_t stretch_color_channels(std::uint32_t color);

// Dark-theme counterpart of a light colour (both 0xBBGGRR): a known pair when there is one,
// else a per-channel formula. Counts a palette hit or a formula fallback.
std::uint32_t map_color_pairs_or_formula(std::uint32_t color);

// Follow-track colour (0xBBGGRR) of a colour-coding palette index; 0 off the table.
std::uint32_t follow_track_color(std::int32_t index);

// Writes the item's COLOR line, or under --no-clip-colors only counts the clip. A colour of 0
// writes nothing.
void write_item_color(std::FILE* file, std::uint32_t color);
// The same line appended to an item's text.
void append_item_color(std::string& text, std::uint32_t color);

// The session's own theme is Dark from Pro Tools 2020.11 on; a version that cannot be read (the
// header names none, or no number) is taken as older, so its clips keep the Classic colours.
bool session_theme_is_dark(const std::string& version_text);

// The clip-colour theme in force: the option's, or the session's when the option follows it.
bool dark_theme_on(ClipColorTheme theme, const std::string& version_text);

// PEAKCOL of a track: its own colour index first, then its colour-coding index; 16576 when it has
// neither or under --no-track-colors. Counts the coloured tracks.
std::uint32_t track_peakcol(std::optional<std::int32_t> own_index,
                            std::optional<std::int32_t> coding_index);

// COLOR of a clip or MIDI item with a colour index of its own. Codes 2 and 3 are counted.
struct ClipColor {
    std::uint32_t color = 0;  // 0: no COLOR line
    ColorCode code = ColorCode::none;
};
ClipColor clip_item_color(std::int32_t index, bool dark_theme);

// COLOR of a clip or MIDI item without a colour index of its own, by the session's clip-colour
// mode. Modes 1 and 2 take the follow-track colour of the track's view-state colour number (when
// above 0); mode 5 leaves the clip to the writer's track-colour path. A track with a colour index
// of its own, or flagged by the track builder, gives the clip no colour.
struct ClipFallback {
    std::uint32_t color = 0;          // 0: no COLOR line
    bool follows_track_path = false;  // mode 5
};
ClipFallback clip_fallback_color(std::int32_t clip_color_mode, bool track_has_color_index,
                                 bool track_flagged, std::int32_t view_color_number,
                                 bool dark_theme);
