// Clip gain: the session keeps every clip's gain line as one list inside the first 0x2637 block,
// and each clip (a 0x2628 named block) names its list by index.
//   0x2637  +9 u32 list count; from +14 the lists, each one byte after the previous one's end:
//           a block of size 14 + 8n: +9 u32 entry count, from +21 n entries of
//           {u32 position in samples from the clip's start, f32 gain in dB}
//   0x2628  +9 u32 length (1..128), +13 the clip name; the list index is the block's last u32,
//           or, in blocks longer than 39 bytes holding FF FF 04 00 04 00 at x, the u32 at x + 27
//           (at x + s + 34 when a block of size s begins at x + 10)
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "model/mix_records.h"

// Gains at or below the floor of -145 dB play as silence.
inline constexpr double kClipGainFloorDb = -145.0;

// One curve per list of the first 0x2637 block. A list whose stored count differs from what its
// size holds is read by its size and counted in `mismatches` (when given).
void read_gain_breakpoints_2637(const std::uint8_t* data, std::size_t length,
                                std::vector<GainCurve>& out, int* mismatches = nullptr);

// Clip name -> the gain of its list's first point, dB.
void read_gain_envelopes_a(const std::uint8_t* data, std::size_t length,
                           std::map<std::string, double>& out);

// Clip name -> its whole list, for lists of two or more points; `mismatches` as above.
void read_gain_envelopes_b(const std::uint8_t* data, std::size_t length,
                           std::map<std::string, GainCurve>& out, int* mismatches = nullptr);
