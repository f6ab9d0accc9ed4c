// Builds the MIDI data that follows a note chunk for tests: controller data and event streams.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "block_builder.h"

namespace midi_blocks {

using test_blocks::le;
using test_blocks::u32le;
using test_blocks::zeros;

// Controller data of one kind: "MdCDS", the set "Mdss" of 12 bytes holding the kind, then the
// list "MdCD" of (position, value) entries.
inline std::string controller_data(
    std::uint16_t kind, const std::vector<std::pair<std::uint64_t, std::uint32_t>>& events) {
    const std::uint32_t set_length = 12;
    std::string out = "MdCDS" + zeros(6) + "Mdss" + zeros(2) + u32le(set_length) + le(kind, 2);
    out.resize(11 + set_length + 10, '\0');  // the list's marker stands at m + 11 + L + 10
    out += "MdCD" + zeros(2) + u32le(static_cast<std::uint32_t>(12 * events.size() + 4)) +
           u32le(static_cast<std::uint32_t>(events.size()));
    for (const auto& [position, value] : events) out += le(position, 5) + zeros(3) + u32le(value);
    return out;
}

}  // namespace midi_blocks
