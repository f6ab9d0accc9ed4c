#include "session/memory_locations.h"

#include <algorithm>
#include <set>
#include <string_view>
#include <tuple>

#include "session/scan.h"
#include "util/bytes.h"

namespace {

constexpr std::uint16_t kLocationType = 0x2077;
// Pro Tools stores names of up to 255 bytes.
constexpr std::uint32_t kMaxNameLength = 255;
// A block of exactly this size past its name carries the colour number and an RGB colour.
constexpr std::uint64_t kColoredSizePastName = 283;
// Unreadable locations are told apart from each other by their name alone.
constexpr std::uint32_t kUnreadableKey = 0xFFFFFFFF;

LocationKind kind_of(std::uint8_t stored) {
    switch (stored) {
        case 0:
            return LocationKind::none;
        case 1:
        case 9:
            return LocationKind::marker;
        default:
            // 2, and kinds such as 10 that real sessions hold: carried as ranges, so a location
            // with a start and an end is never lost.
            return LocationKind::range;
    }
}

void read_positions(SessionBytes bytes, std::uint64_t at, MemoryLocation& location) {
    const std::uint64_t start = read_u40le_checked(bytes, at);
    const std::uint64_t end = read_u40le_checked(bytes, at + 8);
    std::uint64_t start_ticks = 0;
    std::uint64_t end_ticks = 0;
    if (ticks_from_stored(start, start_ticks) && ticks_from_stored(end, end_ticks)) {
        location.start = static_cast<double>(start_ticks);
        location.end = static_cast<double>(end_ticks);
        return;
    }
    location.start = static_cast<double>(start);
    location.end = static_cast<double>(end);
    if ((location.flags & 0x02) != 0 && end >= start) {
        location.raw = 1;
    } else {
        location.has_positions = 0;
    }
}

void read_colors(SessionBytes bytes, const BlockHeader& block, std::uint64_t name_length,
                 MemoryLocation& location) {
    const std::uint64_t p = block.position;
    if (block.size == name_length + kColoredSizePastName) {
        location.color_number = read_u16le_checked(bytes, p + name_length + 139);
        const std::uint64_t rgb = p + name_length + 223;
        if (read_u8_checked(bytes, rgb) == 0 && read_u8_checked(bytes, rgb + 2) == 0 &&
            read_u8_checked(bytes, rgb + 4) == 0) {
            location.color_rgb = (read_u8_checked(bytes, rgb + 1) << 16) |
                                 (read_u8_checked(bytes, rgb + 3) << 8) |
                                 read_u8_checked(bytes, rgb + 5);
        }
    } else if (std::uint64_t{block.size} + 7 >= name_length + 147) {
        location.palette_index =
            static_cast<std::int16_t>(read_u16le_checked(bytes, p + name_length + 145));
    }
}

// As much of the name as the block holds, when its length is one a name can have.
std::string held_name(SessionBytes bytes, const BlockHeader& block, std::uint32_t name_length) {
    if (name_length > kMaxNameLength) return {};
    const std::uint64_t text = block.position + 19;
    const std::uint64_t end = readable_end(bytes, block);
    if (text >= end) return {};
    const std::uint64_t taken = std::min<std::uint64_t>(name_length, end - text);
    return std::string(reinterpret_cast<const char*>(bytes.data() + text), taken);
}

}  // namespace

bool location_kind_known(std::uint8_t stored_kind) {
    return stored_kind <= 2 || stored_kind == 9;
}

void read_memory_locations(const std::uint8_t* data, std::size_t length,
                           std::vector<MemoryLocation>& out) {
    const SessionBytes bytes = session_bytes(data, length);
    if (length < 48) return;
    std::set<std::tuple<std::string, double, double, std::uint32_t>> seen;
    scan_blocks(bytes, kLocationType, length - 48, [&](const BlockHeader& block) {
        if (block.size == 0 || !block_fits(bytes, block)) return false;
        const std::uint64_t p = block.position;
        const std::uint32_t name_length = read_u32le_checked(bytes, p + 15);
        MemoryLocation location;
        location.flags = read_u8_checked(bytes, p + 11);
        location.stored_kind = read_u8_checked(bytes, p + 12);
        location.kind = kind_of(location.stored_kind);
        std::string_view name;
        if (name_length <= kMaxNameLength &&
            std::uint64_t{block.size} + 7 >= std::uint64_t{name_length} + 35 &&
            read_text_at(bytes, p + 15, block.end(), 0, kMaxNameLength, TextBytes::name, name)) {
            location.name = std::string(name);
            read_positions(bytes, p + name_length + 19, location);
            read_colors(bytes, block, name_length, location);
        } else {
            location.readable = 0;
            location.has_positions = 0;
            location.name = held_name(bytes, block, name_length);
        }

        const auto key = std::make_tuple(
            location.name, location.start, location.end,
            location.readable ? static_cast<std::uint32_t>(location.kind) : kUnreadableKey);
        if (!seen.insert(key).second) return false;
        out.push_back(std::move(location));
        return false;
    });
}
