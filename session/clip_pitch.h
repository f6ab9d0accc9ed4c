// Per-clip transposition as the session stores it in the clip's 0x2629 block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

// Clip name -> transposition in semitones (whole part and hundredths), within +-48 and not 0.
// A later block with the same clip name overwrites an earlier one.
void read_clip_pitch(const std::uint8_t* data, std::size_t length,
                     std::map<std::string, double>& out);
