// A list of 16-bit breakpoints (a 0x260a block), the automation of one mixer control:
//   +25 u16 count n   +27..+31 40-bit value, non-zero when the list holds automation
//   +35 i16 initial value   from +37: n entries of {u32 position in samples, i16 value}
// Volume values are tenths of a dB, pan values percent (-100 left to 100 right), mute 0 or 1.
#pragma once

#include <cstddef>
#include <cstdint>

#include "model/curves.h"

// Reads the list whose marker stands at `position` into `out` (replaced). A block shorter than 32
// bytes of payload gives an empty curve; the entries are read only when the block (and the
// bytes) hold all n of them with two bytes to spare.
void read_breakpoint_list(const std::uint8_t* data, std::size_t length, std::uint64_t position,
                          AutomationCurve& out);
