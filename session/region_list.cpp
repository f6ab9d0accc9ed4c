#include "session/region_list.h"

#include <limits>

#include "session/clip_lists.h"
#include "session/nesting_bound.h"
#include "session/scan.h"
#include "util/bytes.h"

namespace {

constexpr std::uint16_t kRegionListType = 0x262c;
constexpr std::uint16_t kRegionEntryType = 0x262b;
constexpr std::uint16_t kRegionNameType = 0x2628;
constexpr std::uint16_t kGroupListsType = 0x2428;

// The first block of `content_type` that fits.
bool find_first(SessionBytes bytes, std::uint16_t content_type, BlockHeader& out) {
    return scan_blocks(bytes, content_type, last_scan_position(bytes.size()),
                       [&](const BlockHeader& block) {
                           if (!block_fits(bytes, block)) return false;
                           out = block;
                           return true;
                       });
}

RegionListEntry read_entry(SessionBytes bytes, const BlockHeader& child) {
    RegionListEntry entry;
    const std::size_t c = static_cast<std::size_t>(child.position);
    BlockHeader nested;
    if (!read_block_header(bytes, c + 9, child.end(), nested) ||
        nested.content_type != kRegionNameType) {
        return entry;
    }
    const std::uint32_t name_length = read_u32le_checked(bytes, c + 18);
    if (!bytes_fit(bytes, c + 18, 4) || name_length >= 256 || name_length + 11 >= nested.size) {
        return entry;
    }
    const std::size_t nested_end = static_cast<std::size_t>(nested.end());
    const std::size_t n = c + 22 + name_length;  // the name's end, inside the nested block
    entry.name.assign(reinterpret_cast<const char*>(bytes.data() + c + 22), name_length);
    entry.derived = bytes[n] != 0 ? 1 : 0;

    if (n + 4 <= nested_end) {
        const std::size_t a = bytes[n + 1] >> 4;
        const std::size_t b = bytes[n + 2] >> 4;
        const std::size_t gap = bytes[n + 2] & 0x0f;
        const std::size_t c3 = bytes[n + 3] >> 4;
        if (a <= 5 && b <= 5 && c3 < 6 && n + 5 + a + gap + b + c3 <= nested_end) {
            const std::uint64_t first = read_uintle_checked(bytes, n + 5, a);
            if (first > kStoredTickOffset - 1) {
                entry.start = first - kStoredTickOffset;
                entry.has_start = 1;
            }
            entry.length = read_uintle_checked(bytes, n + 5 + a + gap, b);
            entry.source_offset = read_uintle_checked(bytes, n + 5 + a + gap + b, c3);
            entry.readable = 1;
        }
    }
    if (child.end() >= nested.end() + 6) {
        entry.tail_flag = bytes[nested_end] != 0 ? 1 : 0;
        entry.tail_value = bytes[nested_end + 5];
    }
    return entry;
}

void read_entries(SessionBytes bytes, std::vector<RegionListEntry>& regions) {
    BlockHeader list;
    if (!find_first(bytes, kRegionListType, list)) return;
    const std::size_t end = static_cast<std::size_t>(list.end());
    std::size_t q = static_cast<std::size_t>(list.position) + 13;
    while (q < end) {
        BlockHeader child;
        if (read_block_header(bytes, q, end, child) && child.content_type == kRegionEntryType) {
            regions.push_back(read_entry(bytes, child));
            q = static_cast<std::size_t>(child.end());
        } else {
            q += 1;
        }
    }
}

void read_group_lists(SessionBytes bytes, std::vector<RegionPlacementList>& lists) {
    BlockHeader outer;
    if (!find_first(bytes, kGroupListsType, outer)) return;
    const std::size_t end = static_cast<std::size_t>(outer.end());
    std::size_t q = static_cast<std::size_t>(outer.position) + 9;
    NestingBound nesting;  // overlapping lists would walk the same children again and again
    while (q < end) {
        BlockHeader list;
        ListFraming framing;
        if (!read_block_header(bytes, q, end, list) || list.content_type != kClipListType ||
            !admit_candidate(nesting, q, list.end()) ||
            !read_list_framing(bytes, list, KindByte::any, framing)) {
            q += 1;
            continue;
        }
        RegionPlacementList result;
        result.kind = framing.kind;
        for (std::size_t child : framing.children) {
            ChildPlacement entry;
            if (!read_child_placement(bytes, child, entry)) continue;
            const PlacementFields& p = entry.fields;
            RegionPlacementItem item;
            item.id = p.id;
            item.group_flag = p.has_byte_27 && p.byte_27 == 1 ? 1 : 0;
            item.muted = p.first_byte != 0 ? 1 : 0;
            item.fade = trailing_byte_marks_fade(entry) ? 1 : 0;
            item.closed = trailing_byte_zero(entry) ? 1 : 0;
            item.position = p.position;
            item.time_base = p.time_base;
            result.entries.push_back(item);
        }
        lists.push_back(std::move(result));
        q = static_cast<std::size_t>(list.end());
    }
}

// The span a list covers: the largest offset + length over its placements in order, stopping at
// a placement whose length or offset cannot be told; -1 without one.
std::int64_t list_extent(const RegionPlacementList& list,
                         const std::vector<RegionListEntry>& regions,
                         const std::map<std::uint32_t, std::int64_t>& lengths) {
    std::int64_t extent = -1;
    for (const RegionPlacementItem& item : list.entries) {
        std::int64_t length = 0;
        if (item.group_flag) {
            if (item.id >= regions.size()) break;
            length = static_cast<std::int64_t>(regions[item.id].length);
        } else {
            const auto found = lengths.find(item.id);
            if (found == lengths.end()) break;
            length = found->second;
        }
        if (length < 0) break;
        std::int64_t offset = 0;
        if (item.time_base == kSampleTimeBase) {
            offset = static_cast<std::int64_t>(item.position);
        } else {
            if (item.position < kStoredTickOffset) break;
            offset = static_cast<std::int64_t>(item.position - kStoredTickOffset);
        }
        if (length > std::numeric_limits<std::int64_t>::max() - offset) break;
        if (offset + length > extent) extent = offset + length;
    }
    return extent;
}

bool is_base(const RegionListEntry& entry) {
    return entry.derived == 0 && entry.tail_flag == 0;
}

void assign_by_extent(std::vector<RegionListEntry>& regions,
                      const std::vector<RegionPlacementList>& lists,
                      const std::map<std::uint32_t, std::int64_t>& lengths) {
    std::vector<std::int64_t> extents;
    for (const RegionPlacementList& list : lists) {
        extents.push_back(list_extent(list, regions, lengths));
    }
    std::vector<bool> taken(lists.size(), false);
    std::vector<std::pair<std::size_t, std::size_t>> chosen;  // region, list
    for (std::size_t r = 0; r < regions.size(); ++r) {
        if (!is_base(regions[r])) continue;
        std::size_t matches = 0;
        std::size_t match = 0;
        for (std::size_t l = 0; l < lists.size(); ++l) {
            if (extents[l] >= 0 && static_cast<std::uint64_t>(extents[l]) == regions[r].length) {
                matches += 1;
                match = l;
            }
        }
        if (matches != 1 || taken[match]) return;  // the order-based numbering stands
        taken[match] = true;
        chosen.emplace_back(r, match);
    }
    for (const auto& [r, l] : chosen) regions[r].list_index = static_cast<std::int32_t>(l);
}

void assign_derived(std::vector<RegionListEntry>& regions) {
    for (RegionListEntry& entry : regions) {
        if (!entry.derived || entry.tail_flag || !entry.has_start) continue;
        std::size_t matches = 0;
        std::int32_t index = -1;
        for (const RegionListEntry& base : regions) {
            if (!is_base(base) || !base.has_start || base.tail_value != entry.tail_value) continue;
            if (base.source_offset + entry.start == entry.source_offset &&
                base.length >= entry.start + entry.length) {
                matches += 1;
                index = base.list_index;
            }
        }
        if (matches == 1) entry.list_index = index;
    }
}

}  // namespace

void read_region_list(const std::uint8_t* data, std::size_t length,
                      std::vector<RegionListEntry>& regions,
                      std::vector<RegionPlacementList>& lists,
                      const std::map<std::uint32_t, std::int64_t>* lengths) {
    regions.clear();
    lists.clear();
    const SessionBytes bytes = session_bytes(data, length);
    read_entries(bytes, regions);
    read_group_lists(bytes, lists);

    std::size_t base_count = 0;
    for (const RegionListEntry& entry : regions) base_count += is_base(entry) ? 1 : 0;
    if (base_count != lists.size()) return;
    std::int32_t next = 0;
    for (RegionListEntry& entry : regions) {
        if (is_base(entry)) entry.list_index = next++;
    }
    if (lengths) assign_by_extent(regions, lists, *lengths);
    assign_derived(regions);
}
