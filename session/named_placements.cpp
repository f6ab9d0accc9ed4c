#include "session/named_placements.h"

#include "session/clip_lists.h"
#include "session/nesting_bound.h"
#include "session/scan.h"
#include "util/bytes.h"

namespace {

constexpr std::uint16_t kMidiPlaylistType = 0x1056;
constexpr std::uint16_t kVideoListType = 0x1053;
constexpr std::uint16_t kVideoPlaylistType = 0x1051;

bool size_within(const BlockHeader& block, std::uint32_t low, std::uint32_t high) {
    return block.size >= low && block.size <= high;
}

// The list's name: u32 length at +9 within 1..200, name bytes from +13, and a block of at least
// L + `slack` bytes.
bool read_list_name(SessionBytes bytes, const BlockHeader& list, std::uint32_t slack,
                    std::string_view& name) {
    const std::size_t at = static_cast<std::size_t>(list.position) + 9;
    if (!bytes_fit(bytes, at, 4)) return false;
    const std::uint32_t length = read_u32le_checked(bytes, at);
    if (length < 1 || length > 200 || list.size < length + slack) return false;
    return read_text_at(bytes, at, bytes.size(), 1, 200, TextBytes::name, name);
}

// The first placement block from `from` up to `end` (exclusive) whose size is above
// `min_size_exclusive` and that fits + `extra`.
bool find_placement(SessionBytes bytes, std::size_t from, std::size_t end,
                    std::uint32_t min_size_exclusive, std::size_t extra, BlockHeader& out) {
    if (end <= from) return false;
    return scan_blocks(bytes, kPlacementType, from, end - 1, [&](const BlockHeader& block) {
        if (block.size <= min_size_exclusive || !block_fits(bytes, block, extra)) return false;
        out = block;
        return true;
    });
}

// Calls visit(inner) for every block of `inner_type` (size low..high, fits + 2) at the positions
// from `from` up to `end` (exclusive), but for blocks nested deeper than `NestingBound` follows.
template <typename Visit>
void for_each_inner(SessionBytes bytes, std::size_t from, std::size_t end, std::uint16_t inner_type,
                    std::uint32_t low, std::uint32_t high, Visit&& visit) {
    if (end <= from) return;
    NestingBound nesting;
    scan_blocks(bytes, inner_type, from, end - 1, [&](const BlockHeader& inner) {
        if (!size_within(inner, low, high) || !block_fits(bytes, inner, 2)) return false;
        if (admit_candidate(nesting, inner.position, inner.end())) visit(inner);
        return false;
    });
}

}  // namespace

void read_named_placements_1057(const std::uint8_t* data, std::size_t length,
                                std::vector<NamedPlacement>& out) {
    const SessionBytes bytes = session_bytes(data, length);
    NestingBound nesting;
    scan_blocks(bytes, kMidiListType, last_scan_position(length), [&](const BlockHeader& list) {
        if (!size_within(list, 12, 400000) || !block_fits(bytes, list, 2)) return false;
        std::string_view name;
        if (!read_list_name(bytes, list, 8, name)) return false;
        if (!admit_candidate(nesting, list.position, list.end())) return false;
        const std::size_t after_name = static_cast<std::size_t>(list.position) + 13 + name.size();
        for_each_inner(
            bytes, after_name, static_cast<std::size_t>(list.end()), kMidiPlaylistType, 20, 4000,
            [&](const BlockHeader& inner) {
                BlockHeader placement;
                if (!find_placement(bytes, static_cast<std::size_t>(inner.position) + 9,
                                    static_cast<std::size_t>(inner.end()), 11, 2, placement)) {
                    return;
                }
                const PlacementFields p =
                    read_placement_fields(bytes, static_cast<std::size_t>(placement.position));
                out.push_back({std::string(name), p.id, p.position, p.time_base});
            });
        return false;
    });
}

void read_video_placements(const std::uint8_t* data, std::size_t length,
                           std::vector<VideoPlacement>& out, std::vector<std::string>& names) {
    const SessionBytes bytes = session_bytes(data, length);
    NestingBound nesting;
    scan_blocks(bytes, kVideoListType, last_scan_position(length), [&](const BlockHeader& list) {
        if (!size_within(list, 20, 400000) || !block_fits(bytes, list, 2)) return false;
        std::string_view name;
        if (!read_list_name(bytes, list, 4, name)) return false;
        if (!admit_candidate(nesting, list.position, list.end())) return false;
        const auto name_index = static_cast<std::uint32_t>(names.size());
        names.emplace_back(name);
        for_each_inner(
            bytes, static_cast<std::size_t>(list.position) + 9,
            static_cast<std::size_t>(list.end()), kVideoPlaylistType, 20, 4000,
            [&](const BlockHeader& inner) {
                BlockHeader placement;
                if (!find_placement(bytes, static_cast<std::size_t>(inner.position) + 9,
                                    static_cast<std::size_t>(inner.end()), 17, 2, placement)) {
                    return;
                }
                const PlacementFields p =
                    read_placement_fields(bytes, static_cast<std::size_t>(placement.position));
                VideoPlacement record;
                record.name_index = name_index;
                record.item_id = p.id;
                record.position = static_cast<double>(p.position);
                record.value = p.value;
                if (placement.size > 30) {
                    record.placement_flag = (p.second_byte != 0 || p.byte_39 != 0) ? 1 : 0;
                }
                record.time_base = p.time_base;
                record.locked = record.placement_flag != 0 ? 1 : 0;
                record.colour_index = p.value;
                out.push_back(record);
            });
        return false;
    });
}

void pair_midi_timebase(const std::uint8_t* data, std::size_t length,
                        std::map<std::string, int>& out) {
    out.clear();
    const SessionBytes bytes = session_bytes(data, length);
    std::size_t resume = 0;  // a list is read once; the scan goes on at its end
    scan_blocks(bytes, kMidiListType, last_scan_position(length), [&](const BlockHeader& list) {
        if (list.position < resume || !block_fits(bytes, list)) return false;
        const std::size_t start = static_cast<std::size_t>(list.position);
        const std::size_t end = static_cast<std::size_t>(list.end());
        resume = end;
        std::string_view name;
        if (!read_text_at(bytes, start + 9, end, 1, 64, TextBytes::any, name)) return false;
        int& count = out[std::string(name)];
        std::size_t q = start + 13 + name.size();
        while (q < end) {
            BlockHeader child;
            if (!match_block(bytes, q, kMidiPlaylistType, child)) {
                q += 1;
                continue;
            }
            if (child.end() > end) break;
            BlockHeader placement;
            if (kBlockHeaderSize + child.size >= 37 &&
                find_placement(bytes, q + 9, static_cast<std::size_t>(child.end()), 0, 0,
                               placement) &&
                placement.position + 27 < child.end() && bytes[placement.position + 27] == 1) {
                count += 1;
            }
            q = static_cast<std::size_t>(child.end());
        }
        return false;
    });
}
