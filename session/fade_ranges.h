// Fade ranges (0x262f blocks): the extent, kind and shape of every fade the session holds. A fade
// placement of a track's clip list names its range by index.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct SessionRange {
    std::uint32_t kind = 0;  // 1 crossfade, 2 fade-out, 3 fade-in; 0 for anything else
    double start = 0.0;      // the part of the fade before its placement's position
    double end = 0.0;        // the fade's whole length
    std::uint32_t shape = 0;
    std::uint8_t special_shape = 0;  // an S-curve
};

// One range per 0x262f block of non-zero size at positions 0 to length - 38, appended in order so
// that a fade placement's id indexes it. A block whose widths or values cannot be read gives a
// range of kind 0 at its index.
void read_ranges_262f(const std::uint8_t* data, std::size_t length, std::vector<SessionRange>& out);
