// Memory locations (markers and ranges) as the session stores them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Kinds after reading; the stored byte is kept beside.
enum class LocationKind : std::uint32_t {
    none = 0,    // time property None: no place on the timeline
    marker = 1,  // stored as 1 or 9
    range = 2,   // a selection: start and end; also every kind byte this build does not know
};

struct MemoryLocation {
    std::string name;
    std::uint32_t flags = 0;  // bit 1: positions below the tick origin are samples
    LocationKind kind = LocationKind::none;
    std::uint8_t stored_kind = 0;  // the kind byte as stored
    double start = 0.0;            // ticks from the session start, or samples when `raw`
    double end = 0.0;
    std::int32_t palette_index = -2;  // the stored i16; -2 unset
    std::int32_t color_number = -1;   // -1 unset
    std::int32_t color_rgb = -1;      // 0xRRGGBB; -1 none
    std::uint8_t raw = 0;             // start and end are sample positions as stored
    // 0 when the stored positions are below the tick origin without the sample flag, or the
    // sample positions run backwards: such a location has no place on the timeline.
    std::uint8_t has_positions = 1;
    // 0 when the block could not be read as a location (a name longer than 255 bytes or of
    // bytes no name holds, or a block too short for its name and positions): the name is what
    // the block holds of it, nothing else is read.
    std::uint8_t readable = 1;
};

// True when the stored kind byte is one Pro Tools is known to write (0, 1, 2, 9).
bool location_kind_known(std::uint8_t stored_kind);

// Appends one record per 0x2077 block, dropping a block whose name, start, end and kind repeat an
// earlier one of this call (the session stores every location twice). A block that fits the
// bytes but cannot be read as a location gives a record marked unreadable, so that it is named.
void read_memory_locations(const std::uint8_t* data, std::size_t length,
                           std::vector<MemoryLocation>& out);
