#include "session/clip_lists.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "session/nesting_bound.h"
#include "util/bytes.h"

namespace {

// List scanners try positions 0 to length - 18.
constexpr std::size_t kListMinimum = 18;

// Offsets inside a list child and its placement.
constexpr std::size_t kChildPlacement = 9;
constexpr std::size_t kChildReadable = 36;
constexpr std::size_t kChildFlagEnd = 49;  // the child's bytes up to the placement's +39
// Byte +24 of a fade placement.
constexpr std::uint8_t kFadePlacementKind = 1;
// The block of the clip groups' own lists.
constexpr std::uint16_t kGroupListsType = 0x2428;

// A name reads at +9 but the rest of the framing fails: a damaged list rather than a stray 'Z'.
bool list_name_reads(SessionBytes bytes, const BlockHeader& list) {
    std::string_view name;
    return read_text_at(bytes, static_cast<std::size_t>(list.position) + 9,
                        readable_end(bytes, list), 1, 64, TextBytes::name, name);
}

// The lists of `content_type`, but for those nested deeper than NestingBound follows: a list's
// children are walked, and lists made to overlap would walk the same children again and again.
// Returns how many named lists were left out so.
template <typename Visit>
std::uint32_t for_each_list(SessionBytes bytes, std::uint16_t content_type, Visit&& visit) {
    if (bytes.size() < kListMinimum) return 0;
    NestingBound nesting;
    std::uint32_t passed_over = 0;
    scan_blocks(bytes, content_type, bytes.size() - kListMinimum, [&](const BlockHeader& block) {
        if (list_name_reads(bytes, block) &&
            !admit_candidate(nesting, block.position, readable_end(bytes, block))) {
            passed_over += 1;
            return false;
        }
        visit(block);
        return false;
    });
    return passed_over;
}

std::uint32_t placement_flag(SessionBytes bytes, std::size_t child, const PlacementFields& p) {
    if (!bytes_fit(bytes, child, kChildFlagEnd)) return 0;
    return (p.second_byte != 0 || p.byte_39 != 0) ? 1 : 0;
}

}  // namespace

PlacementFields read_placement_fields(SessionBytes bytes, std::size_t pos) {
    // The fields lie in the placement's first 40 bytes: copied once into a window that holds
    // zeros past the end of the bytes, each is read without a bounds check of its own. A field
    // the bytes end inside reads as 0, or stays unset.
    constexpr std::size_t kWindow = 40;
    std::array<std::uint8_t, kWindow> at{};
    const std::size_t held = pos < bytes.size() ? std::min(kWindow, bytes.size() - pos) : 0;
    // Nearly every placement holds the whole window: a copy of fixed size is a few loads.
    if (held == kWindow)
        std::memcpy(at.data(), bytes.data() + pos, kWindow);
    else if (held > 0)
        std::memcpy(at.data(), bytes.data() + pos, held);
    PlacementFields out;
    out.first_byte = at[9];
    out.second_byte = at[10];
    if (held >= 15) out.id = read_u32le(at.data(), 11);
    out.has_position = held >= 22;
    if (out.has_position)
        out.position = std::uint64_t{read_u32le(at.data(), 16)} |
                       std::uint64_t{static_cast<std::uint16_t>(at[20] | at[21] << 8)} << 32;
    if (held >= 24) out.time_base = at[23];
    out.byte_24 = at[24];
    if (held >= 27) out.value = static_cast<std::int16_t>(at[25] | at[26] << 8);
    out.has_byte_27 = held >= 28;
    out.byte_27 = at[27];
    out.has_byte_39 = held >= 40;
    out.byte_39 = at[39];
    return out;
}

std::int64_t placement_distance(std::uint64_t stored, std::uint8_t time_base) {
    if (time_base == kSampleTimeBase) return static_cast<std::int64_t>(stored);
    const std::uint64_t distance =
        stored >= kStoredTickOffset ? stored - kStoredTickOffset : kStoredTickOffset - stored;
    return static_cast<std::int64_t>(distance);
}

bool read_list_framing(SessionBytes bytes, const BlockHeader& list, KindByte kind_byte,
                       ListFraming& out) {
    const std::size_t start = static_cast<std::size_t>(list.position);
    const std::size_t end = readable_end(bytes, list);
    std::string_view name;
    if (!read_text_at(bytes, start + 9, end, 1, 64, TextBytes::name, name)) return false;
    std::size_t pos = start + 13 + name.size();
    if (!bytes_fit(bytes, pos, 4) || pos + 4 > end) return false;
    const std::uint32_t count = read_u32le_checked(bytes, pos);
    pos += 4;
    // Each child is a whole block: a count the list's bytes cannot hold is damage, found before
    // any room is taken for it. (A long film track holds tens of thousands of entries.)
    if (count > (end - pos) / kBlockHeaderSize) return false;

    std::vector<std::size_t> children;
    children.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        BlockHeader child;
        if (!read_block_header(bytes, pos, end, child)) return false;
        children.push_back(pos);
        pos = static_cast<std::size_t>(child.end());
    }
    std::uint8_t kind = 0;
    if (kind_byte != KindByte::none) {
        if (pos >= end) return false;
        kind = bytes[pos];
        if (kind_byte == KindByte::checked && kind != 1 && kind != 2) return false;
    }
    out.name = name;
    out.count = count;
    out.children = std::move(children);
    out.kind = kind;
    return true;
}

bool read_child_placement(SessionBytes bytes, std::size_t child, ChildPlacement& out) {
    if (!bytes_fit(bytes, child, kChildReadable)) return false;
    const std::size_t placement = child + kChildPlacement;
    BlockHeader block;
    if (!match_block(bytes, placement, kPlacementType, block)) return false;
    const std::uint32_t child_size = read_u32le_checked(bytes, child + 3);
    const std::uint64_t child_end = child + kBlockHeaderSize + child_size;

    out.fields = read_placement_fields(bytes, placement);
    out.child_size = child_size;
    // The byte right after the placement when the child still holds it, else its last byte.
    const std::uint64_t trailing = block.end() < child_end ? block.end() : child_end - 1;
    out.has_trailing = trailing < bytes.size();
    out.trailing = out.has_trailing ? bytes[static_cast<std::size_t>(trailing)] : 0;
    return true;
}

bool trailing_byte_zero(const ChildPlacement& entry) {
    return !entry.has_trailing || entry.trailing == 0 || entry.child_size < 4;
}

bool trailing_byte_marks_fade(const ChildPlacement& entry) {
    return entry.has_trailing && entry.trailing != 0 && entry.child_size >= 4 &&
           entry.fields.byte_24 == 1;
}

void read_r10_list_names(const std::uint8_t* data, std::size_t length,
                         std::vector<ClipListName>& out, std::vector<std::uint32_t>* counts) {
    const SessionBytes bytes = session_bytes(data, length);
    for_each_list(bytes, kClipListType, [&](const BlockHeader& list) {
        ListFraming framing;
        if (!read_list_framing(bytes, list, KindByte::checked, framing)) return;
        out.push_back(
            {std::string(framing.name), static_cast<std::uint8_t>(framing.kind == 2 ? 1 : 0)});
        if (counts) counts->push_back(framing.count);
    });
}

void read_r10_records(const std::uint8_t* data, std::size_t length,
                      std::vector<R10BlockRecord>& out, std::uint32_t* unreadable) {
    const SessionBytes bytes = session_bytes(data, length);
    const auto too_deep = for_each_list(bytes, kClipListType, [&](const BlockHeader& list) {
        ListFraming framing;
        if (!read_list_framing(bytes, list, KindByte::checked, framing)) {
            if (unreadable && list_name_reads(bytes, list)) *unreadable += 1;
            return;
        }
        R10BlockRecord record;
        record.name = std::string(framing.name);
        record.counts_ticks = framing.kind == 2 ? 1 : 0;
        // One entry per child found at most: room for them at once, not by doubling (the
        // session's lists hold one entry per placement, several times over).
        const std::size_t found = framing.children.size();
        record.ids.reserve(found);
        record.colour_numbers.reserve(found);
        for (std::vector<std::uint8_t>* column :
             {&record.closed, &record.fade_entry, &record.over_flag, &record.group_entry,
              &record.muted, &record.locked, &record.time_bases})
            column->reserve(found);
        record.positions.reserve(found);
        for (std::size_t child : framing.children) {
            ChildPlacement entry;
            if (!read_child_placement(bytes, child, entry)) continue;
            const PlacementFields& p = entry.fields;
            record.ids.push_back(p.id);
            record.colour_numbers.push_back(p.value);
            record.closed.push_back(trailing_byte_zero(entry) ? 1 : 0);
            record.fade_entry.push_back(trailing_byte_marks_fade(entry) ? 1 : 0);
            record.over_flag.push_back(p.byte_24);
            record.group_entry.push_back(p.has_byte_27 && p.byte_27 == 1 ? 1 : 0);
            record.muted.push_back(p.first_byte);
            record.locked.push_back(placement_flag(bytes, child, p) ? 1 : 0);
            record.positions.push_back(p.position);
            record.time_bases.push_back(p.time_base);
        }
        out.push_back(std::move(record));
    });
    if (unreadable) *unreadable += too_deep;
}

void read_placement_lists(const std::uint8_t* data, std::size_t length,
                          std::vector<PlacementList>& out) {
    const SessionBytes bytes = session_bytes(data, length);
    for_each_list(bytes, kMidiListType, [&](const BlockHeader& list) {
        ListFraming framing;
        if (!read_list_framing(bytes, list, KindByte::none, framing)) return;
        PlacementList result;
        result.name = std::string(framing.name);
        for (std::size_t child : framing.children) {
            ChildPlacement entry;
            if (!read_child_placement(bytes, child, entry)) continue;
            const PlacementFields& p = entry.fields;
            result.region_ids.push_back(p.id);
            result.placement_flags.push_back(placement_flag(bytes, child, p));
            result.values.push_back(static_cast<std::uint32_t>(static_cast<std::int32_t>(p.value)));
            result.bytes_24.push_back(p.byte_24);
            result.positions.push_back(placement_distance(p.position, p.time_base));
            result.time_bases.push_back(p.time_base);
        }
        if (!result.region_ids.empty()) out.push_back(std::move(result));
    });
}

std::size_t count_uncovered_list_clips(const std::uint8_t* data, std::size_t length,
                                       std::uint16_t list_type, std::vector<ListRange> covered) {
    const SessionBytes bytes = session_bytes(data, length);
    const bool track_lists = list_type == kClipListType;
    if (track_lists) {
        scan_blocks(bytes, kGroupListsType, bytes.size(), [&](const BlockHeader& block) {
            if (high_byte_zero(block) && block.size != 0 && block_fits(bytes, block))
                covered.push_back({block.position, block.end()});
            return false;
        });
    }
    std::sort(covered.begin(), covered.end(),
              [](const ListRange& a, const ListRange& b) { return a.start < b.start; });
    // The lists come in ascending position: the ranges begun before one are swept once.
    std::size_t next = 0;
    std::uint64_t covered_to = 0;
    std::size_t clips = 0;
    for_each_list(bytes, list_type, [&](const BlockHeader& list) {
        for (; next < covered.size() && covered[next].start <= list.position; ++next)
            covered_to = std::max(covered_to, covered[next].end);
        // A list that ends inside the ranges read was read with them. One that starts inside
        // them and runs past their end straddles a container cut short (a damaged size): the
        // walk names the placements it finds inside the container, and those that run past its
        // end are this list's loss.
        if (list.end() <= covered_to) return;
        const std::uint64_t lost_from = list.position < covered_to ? covered_to : 0;
        ListFraming framing;
        if (!read_list_framing(bytes, list, track_lists ? KindByte::checked : KindByte::none,
                               framing))
            return;
        for (std::size_t child : framing.children) {
            ChildPlacement entry;
            if (!read_child_placement(bytes, child, entry)) continue;
            if (track_lists && entry.fields.byte_24 == kFadePlacementKind) continue;
            const std::uint64_t placement_end =
                child + kChildPlacement + kBlockHeaderSize +
                read_u32le_checked(bytes, child + kChildPlacement + 3);
            if (placement_end <= lost_from) continue;
            clips += 1;
        }
    });
    return clips;
}
