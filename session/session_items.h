// The session's item list (0x2004 holding 0x2005 items): names, numbers, ids and values of the
// instruments and other items the session declares.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct SessionItemEntry {
    std::string name;
    std::uint32_t number = 0;  // the byte after the name, plus 1
    std::uint8_t has_id = 0;
    std::array<std::uint8_t, 16> id{};
    std::uint32_t value = 0;
};

// Reads the first 0x2004 block (high byte 0, non-zero size, fits); each 0x2005 child (high byte
// 0) gives one entry, filled from the 0x2006 (name), 0x2097 (id) and 0x2401 (value) blocks
// inside it, entering 0x2086 and 0x208c blocks. Cleared first.
void scan_session_items(const std::uint8_t* data, std::size_t length,
                        std::vector<SessionItemEntry>& out);
