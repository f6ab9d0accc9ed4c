// Readers of the session-wide settings: audio file format, bit depth, pan depth, click, timecode,
// colour coding, video and the edit grid. Each takes the first block that meets its condition,
// never prints, and gives the stated value when no block qualifies.
#pragma once

#include <cstddef>
#include <cstdint>

#include "session/scan.h"

// The 0x1028 block (the session's audio settings) holds a list of path texts from +20: a flag
// byte, a u32 count at +21, then count x (u32 length + bytes) from +25. The settings that follow
// stand at fixed distances from the end of that list.
inline constexpr std::size_t kPathListCountOffset = 21;
inline constexpr std::size_t kPanDepthAfterPaths = 6;
inline constexpr std::size_t kFloatFlagAfterPaths = 7;
inline constexpr std::size_t kBitDepthAfterPaths = 9;

// Where the path list of a 0x1028 block ends; false when the count or a path runs past the
// block's end (or the end of the bytes).
bool read_path_list_end(SessionBytes bytes, const BlockHeader& block, std::size_t& list_end);

// The audio file format code (byte +9 of the first 0x1028 block of size 4 or more); 0 without one.
int read_session_file_format(const std::uint8_t* data, std::size_t length);

// The pan depth byte (list end + 6); -1 without a block that holds it.
int read_pan_depth(const std::uint8_t* data, std::size_t length);

// The bit depth (list end + 9: 16, 24 or 32); is_float is 1 when the byte at list end + 7 is not
// 0. Without a block that holds both: -1 and is_float 0.
int read_session_bit_depth(const std::uint8_t* data, std::size_t length, int& is_float);

// 1 when the session's click is on, 0 when off; -1 when the first 0x2055 block of high byte 0 is
// not of size 31, does not fit, or holds another byte, or when there is none.
int read_click_enabled(const std::uint8_t* data, std::size_t length);

// The two u32 values after the timecode text of the first 0x204d block of size above 21: 1 with
// both set, or 0 with a = 0xFFFFFFFF and b = 0 when that block is short or there is none.
int read_204d_time_values(const std::uint8_t* data, std::size_t length, std::uint32_t& a,
                          std::uint32_t& b);

// The u32 at +18 of the first 0x204d block of size 22 or more, with the frame-rate code (1..9,
// byte +9); 0 and code -1 without one.
std::uint32_t read_timecode_rate(const std::uint8_t* data, std::size_t length, int& code);

// Colour coding modes of the first fitting 0x20a2 block of high byte 0 (size 30 or more for
// tracks, 32 or more for clips); -1 without one.
int read_track_color_mode(const std::uint8_t* data, std::size_t length);
int read_clip_color_mode(const std::uint8_t* data, std::size_t length);
// "None", "Tracks and MIDI Channels", "Tracks and MIDI Devices", "Groups", "Track Type"; empty
// for any other mode.
const char* track_color_mode_name(int mode);

// The video track's playback quality code (byte +13 of 0x270a); -1 without one.
int read_video_quality(const std::uint8_t* data, std::size_t length);

// The video frame rate (f64 at +11 of 0x2519) when it lies within 0.5 % of a standard rate, as
// stored; blocks holding anything else are passed over. 0.0 without one.
double read_video_frame_rate(const std::uint8_t* data, std::size_t length);

// The nudge value and the edit grid: the first two bars|beats|ticks texts of the first 0x2066
// block of size 24..4000. found = 1 with both set; with fewer than two, found = 0 and the outputs
// are left as they were.
void read_grid_and_nudge(const std::uint8_t* data, std::size_t length, BarsBeatsTicks& nudge,
                         BarsBeatsTicks& grid, int& found);

// One bars|beats|ticks text starting at `pos` (blanks before the first digit skipped): 1 to 7
// digits, '|', an optional blank, 1 to 7 digits, '|', an optional blank, exactly 3 digits. On
// success `end` is the position after the ticks.
bool parse_bars_beats_ticks(SessionBytes bytes, std::size_t pos, std::size_t limit,
                            BarsBeatsTicks& out, std::size_t& end);
