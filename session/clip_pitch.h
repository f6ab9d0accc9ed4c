// Per-clip transposition as the session stores it in the clip's 0x2629 block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

// A clip name and its transposition in semitones (whole part and hundredths). The name views the
// session's bytes, which outlive every reader of the list.
struct ClipPitch {
    std::string_view name;
    double semitones = 0.0;
    friend bool operator==(const ClipPitch&, const ClipPitch&) = default;
};

// Ordered by name (shorter names first, names of one length by their bytes), one entry a name: a
// session of hundreds of thousands of clips holds a flat list here rather than a tree of one
// allocation per name.
using ClipPitches = std::vector<ClipPitch>;

// Clip name -> transposition, within +-48 and not 0. A later block with the same clip name
// overwrites an earlier one.
void read_clip_pitch(const std::uint8_t* data, std::size_t length, ClipPitches& out);

// The entry for the name, else null.
const ClipPitch* find_clip_pitch(const ClipPitches& pitches, std::string_view name);
