// The MIDI volume, pan and program a MIDI or instrument track starts with, from the first 0x2036
// block inside its named block:
//   0x2036  +9 u8 volume (controller 7)   +17 u8 pan (controller 10)   +25 u8 program
// Volume and pan are read together when the size exceeds 15 and both bytes are below 0x80; the
// program when the size exceeds 17 and its byte is below 0x80.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "session/track_names.h"

struct TrackMidiValues {
    std::int32_t volume = -1;  // -1: not found
    std::int32_t pan = -1;
    std::int32_t program = -1;
};

// One record per named block, in the same order (`out` is replaced); blocks other than 0x2620
// (MIDI) and 0x2621 (instrument) keep -1 throughout.
void read_2036_per_track(const std::uint8_t* data, std::size_t length,
                         const std::vector<NamedBlockEntry>& named,
                         std::vector<TrackMidiValues>& out);
