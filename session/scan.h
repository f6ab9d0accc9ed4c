// What every flat content scanner shares: the search for blocks of one content type at every byte
// position, the text, tick-position and nibble-width readers, and the small value records.
//
// A scanner takes the decrypted session bytes, tries every position (no alignment) for a 'Z'
// marker whose content type (the u16 at +7) is the one it reads, applies its own size and bounds
// conditions, and passes over a candidate that fails them. Offsets are counted from the marker.
// During a conversion the candidates come from the session's block index (session/block_index.h)
// rather than from a search of every byte; both give the same candidates in the same order.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "session/block_index.h"
#include "session/block_tree.h"

// Stored tick positions carry this offset; ticks count 960000 to the quarter note.
inline constexpr std::uint64_t kStoredTickOffset = 1'000'000'000'000ULL;
inline constexpr double kTicksPerQuarterNote = 960000.0;

struct BarsBeatsTicks {
    std::uint32_t bars = 0;
    std::uint32_t beats = 0;
    std::uint32_t ticks = 0;
};

// The texts naming the release that saved the session.
struct SessionHeaderInfo {
    std::string product;              // begins "Pro Tools"
    std::string version;              // digits and points, e.g. "12.8.3"
    std::uint32_t major_version = 0;  // the digits of `version` before its first point
};

using SessionBytes = std::span<const std::uint8_t>;

inline SessionBytes session_bytes(const std::uint8_t* data, std::size_t length) {
    return data == nullptr ? SessionBytes{} : SessionBytes{data, length};
}

// --- Block candidates -----------------------------------------------------------------------

// The header of a candidate block at `pos`: the marker is there and the content type (pos + 7,
// pos + 8) lies inside the bytes and equals `content_type`. Nothing else is checked, not even that
// the block fits: each reader states its own conditions. Inline, as every scanner tests every
// candidate with it: the nine header bytes are checked to lie inside once, then read in place.
inline bool match_block(SessionBytes bytes, std::size_t pos, std::uint16_t content_type,
                        BlockHeader& out) {
    if (pos > bytes.size() || bytes.size() - pos < 9) return false;
    const std::uint8_t* header = bytes.data() + pos;
    const auto u16_at = [header](std::size_t at) {
        return static_cast<std::uint16_t>(header[at] | header[at + 1] << 8);
    };
    if (header[0] != kBlockMarker || u16_at(7) != content_type) return false;
    out.position = pos;
    out.block_type = u16_at(1);
    out.size = static_cast<std::uint32_t>(header[3]) | static_cast<std::uint32_t>(header[4]) << 8 |
               static_cast<std::uint32_t>(header[5]) << 16 |
               static_cast<std::uint32_t>(header[6]) << 24;
    out.content_type = content_type;
    return true;
}

// The second byte of the block type is 0.
inline bool high_byte_zero(const BlockHeader& block) {
    return (block.block_type >> 8) == 0;
}

// The block ends at or before the end of the bytes ("fits"), or `extra` bytes past its end still
// lie inside them ("fits + 2" readers pass 2).
inline bool block_fits(SessionBytes bytes, const BlockHeader& block, std::size_t extra = 0) {
    return block.end() + extra <= bytes.size();
}

// The bytes of a block that can be read: up to its end or the end of the bytes, whichever comes
// first.
inline std::size_t readable_end(SessionBytes bytes, const BlockHeader& block) {
    return block.end() < bytes.size() ? static_cast<std::size_t>(block.end()) : bytes.size();
}

// The last position the settings and list scanners try: 10 bytes before the end (0 for less).
inline std::size_t last_scan_position(std::size_t length) {
    return length >= 10 ? length - 10 : 0;
}

namespace scan_detail {

// Candidates of `content_type` at positions first_position to last_position, in order, until
// visit returns true. Through the installed index when it covers the bytes (a binary search finds
// the first position), else by searching every position.
template <typename Visit>
bool scan_blocks_between(SessionBytes bytes, std::uint16_t content_type, std::size_t first_position,
                         std::size_t last_position, Visit&& visit) {
    if (bytes.size() < 9) return false;
    const std::size_t stop = last_position < bytes.size() - 9 ? last_position : bytes.size() - 9;
    if (first_position > stop) return false;
    BlockHeader block;
    const BlockIndex* index = installed_block_index();
    if (index != nullptr && index->covers(bytes)) {
        const std::size_t offset = index->offset_of(bytes);
        const std::span<const std::uint32_t> list = index->positions(content_type);
        auto at = std::lower_bound(list.begin(), list.end(), offset + first_position);
        for (; at != list.end() && *at - offset <= stop; ++at) {
            if (match_block(bytes, *at - offset, content_type, block) && visit(block)) return true;
        }
        return false;
    }
    const std::uint8_t* base = bytes.data();
    std::size_t pos = first_position;
    while (pos <= stop) {
        const void* hit = std::memchr(base + pos, kBlockMarker, stop - pos + 1);
        if (hit == nullptr) return false;
        pos = static_cast<std::size_t>(static_cast<const std::uint8_t*>(hit) - base);
        if (match_block(bytes, pos, content_type, block) && visit(block)) return true;
        pos += 1;
    }
    return false;
}

}  // namespace scan_detail

// Calls visit(header) for every candidate of `content_type` at positions 0 to `last_position`,
// in order, until visit returns true. Returns whether it did.
template <typename Visit>
bool scan_blocks(SessionBytes bytes, std::uint16_t content_type, std::size_t last_position,
                 Visit&& visit) {
    return scan_detail::scan_blocks_between(bytes, content_type, 0, last_position,
                                            std::forward<Visit>(visit));
}

// The same from `first_position` on: a search inside a block starts at the block.
template <typename Visit>
bool scan_blocks(SessionBytes bytes, std::uint16_t content_type, std::size_t first_position,
                 std::size_t last_position, Visit&& visit) {
    return scan_detail::scan_blocks_between(bytes, content_type, first_position, last_position,
                                            std::forward<Visit>(visit));
}

// At most how many candidates of `content_type` the bytes hold, for a reader that reserves room
// before it scans: the installed index's count where it covers the bytes, else 0 (unknown).
inline std::size_t candidate_bound(SessionBytes bytes, std::uint16_t content_type) {
    const BlockIndex* index = installed_block_index();
    return index != nullptr && index->covers(bytes) ? index->positions(content_type).size() : 0;
}

// Calls visit(position) for every block candidate of any content type (a marker with room for
// a header: position + 9 <= the size) at positions 0 to `last_position`, each once. The order is
// unspecified (the installed index groups candidates by content type): for passes that gather
// over all blocks, such as the furthest block end.
template <typename Visit>
void for_each_block_candidate(SessionBytes bytes, std::size_t last_position, Visit&& visit) {
    if (bytes.size() < 9) return;
    const std::size_t stop = last_position < bytes.size() - 9 ? last_position : bytes.size() - 9;
    const BlockIndex* index = installed_block_index();
    if (index != nullptr && index->covers(bytes)) {
        const std::size_t offset = index->offset_of(bytes);
        for (std::uint32_t content_type = 0; content_type <= 0xFFFF; ++content_type) {
            const std::span<const std::uint32_t> list =
                index->positions(static_cast<std::uint16_t>(content_type));
            for (auto at = std::lower_bound(list.begin(), list.end(), offset);
                 at != list.end() && *at - offset <= stop; ++at)
                visit(static_cast<std::size_t>(*at - offset));
        }
        return;
    }
    const std::uint8_t* base = bytes.data();
    for (std::size_t pos = 0; pos <= stop; ++pos) {
        const void* hit = std::memchr(base + pos, kBlockMarker, stop - pos + 1);
        if (hit == nullptr) return;
        pos = static_cast<std::size_t>(static_cast<const std::uint8_t*>(hit) - base);
        visit(pos);
    }
}

// --- Texts ----------------------------------------------------------------------------------

enum class TextBytes {
    any,
    printable,  // every byte 0x20..0x7e
    name,       // printable, or 0x80..0xbf, or 0xc2..0xf4 (UTF-8 lead and continuation bytes)
};

bool is_printable_byte(std::uint8_t byte);
bool is_name_byte(std::uint8_t byte);
bool text_has_bytes(std::string_view text, TextBytes kind);

// The text whose u32 length stands at `pos`: its length lies in min_length..max_length, it ends
// at or before `limit` (and the end of the bytes), and its bytes are of `kind`. The view points
// into `bytes`. False leaves `out` untouched.
bool read_text_at(SessionBytes bytes, std::size_t pos, std::size_t limit, std::uint32_t min_length,
                  std::uint32_t max_length, TextBytes kind, std::string_view& out);

// --- Positions and widths -------------------------------------------------------------------
// 40- and 48-bit integers are read with read_u40le_checked and read_u48le_checked (util/bytes.h).

// A stored tick position of 10^12 or more gives its ticks; below that, false (each reader says
// what such a value means).
inline bool ticks_from_stored(std::uint64_t stored, std::uint64_t& ticks) {
    if (stored < kStoredTickOffset) return false;
    ticks = stored - kStoredTickOffset;
    return true;
}

// Three nibble-width integers from the header at p: widths in the high nibbles of p + 1, p + 2
// and p + 3, a gap in the low nibble of p + 2, values from p + 5. All three outputs are set to 0
// first; a width of 0 leaves its value at 0; a value that would end past `limit` (or the bytes)
// is not read, and after a first or second such value nothing further is.
void read_nibble_time(SessionBytes bytes, std::size_t p, std::size_t limit, double& first,
                      double& second, double& third);
