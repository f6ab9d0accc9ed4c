#include "session/strip_links.h"

#include <algorithm>
#include <unordered_map>

#include "session/lane_records.h"
#include "session/mixer_blocks.h"
#include "util/bytes.h"

namespace {

constexpr std::uint16_t kNamedIdType = 0x1014;
constexpr std::uint16_t kTrackIdsType = 0x261c;
constexpr std::uint16_t kLinkTableType = 0x210c;
constexpr std::uint32_t kIdMarker = 42;  // '*' 0 0 0
constexpr std::uint32_t kMaxLinks = 4096;
constexpr std::size_t kEntrySize = 17;

std::uint64_t id_at(SessionBytes bytes, std::size_t pos) {
    return read_u32le_checked(bytes, pos) |
           (std::uint64_t{read_u32le_checked(bytes, pos + 4)} << 32);
}

}  // namespace

void read_1014_named_ids(const std::uint8_t* data, std::size_t length,
                         std::span<const TrackLaneSet> lane_sets,
                         std::map<std::string, std::int32_t>& out) {
    const SessionBytes bytes = session_bytes(data, length);
    const std::vector<std::size_t> marks = id_marks(bytes);
    struct NamedId {
        std::uint64_t id;
        std::string name;
    };
    std::vector<NamedId> pairs;
    scan_blocks(bytes, kNamedIdType, length, [&](const BlockHeader& b) {
        if (b.size == 0 || !block_fits(bytes, b)) return false;
        const std::size_t p = static_cast<std::size_t>(b.position);
        const std::size_t end = static_cast<std::size_t>(b.end());
        std::string_view name;
        if (!read_text_at(bytes, p + 9, end, 1, 80, TextBytes::name, name)) return false;
        std::size_t from = p + 13 + name.size();
        if (from + 12 > end || end < 13) return false;
        bool found = false;
        std::size_t last = 0;
        while (true) {
            const std::size_t m = first_position_in(marks, from, end - 12);
            if (m >= end - 12) break;
            found = true;
            last = m;
            if (m + 24 > end) break;
            from = m + 12;
        }
        if (found) pairs.push_back({read_u64le_checked(bytes, last + 4), std::string(name)});
        return false;
    });
    if (pairs.empty()) return;
    std::unordered_map<std::uint64_t, std::vector<std::size_t>> by_id;
    for (std::size_t i = 0; i < pairs.size(); ++i) by_id[pairs[i].id].push_back(i);

    const std::vector<BlockHeader> blocks = collect_blocks(bytes, kTrackIdsType);
    std::vector<BlockRange> ranges;
    for (const BlockHeader& b : blocks) ranges.push_back({b.position, b.end()});
    const std::vector<std::ptrdiff_t> first = first_lane_set_inside(lane_sets, ranges);
    for (std::size_t k = 0; k < blocks.size(); ++k) {
        if (first[k] < 0) continue;
        const BlockHeader& b = blocks[k];
        const std::int32_t t = static_cast<std::int32_t>(first[k]);
        const TrackLaneSet* lane = &lane_sets[static_cast<std::size_t>(first[k])];
        // The pairs whose id occurs in the block, in pair order.
        std::vector<std::size_t> present;
        const std::size_t end = static_cast<std::size_t>(b.end());
        for (std::size_t q = static_cast<std::size_t>(b.position); q + 8 <= end; ++q) {
            const auto hit = by_id.find(read_u64le_checked(bytes, q));
            if (hit != by_id.end())
                present.insert(present.end(), hit->second.begin(), hit->second.end());
        }
        std::sort(present.begin(), present.end());
        present.erase(std::unique(present.begin(), present.end()), present.end());
        for (std::size_t i : present)
            if (pairs[i].name != lane->name) out[pairs[i].name] = t;
    }
}

int read_id_links_210c(const std::uint8_t* data, std::size_t length,
                       std::map<std::uint64_t, std::vector<std::uint64_t>>& out) {
    out.clear();
    const SessionBytes bytes = session_bytes(data, length);
    BlockHeader table;
    const bool found = scan_blocks(bytes, kLinkTableType, length, [&](const BlockHeader& b) {
        table = b;
        return bytes[static_cast<std::size_t>(b.position) + 2] == 0 && b.size > 5 &&
               block_fits(bytes, b);
    });
    if (!found) return 0;
    const std::size_t p = static_cast<std::size_t>(table.position);
    const std::size_t end = static_cast<std::size_t>(table.end());
    const std::uint32_t records = read_u32le_checked(bytes, p + 9);
    if (records > kMaxLinks || p + 13 > end) return 0;
    const auto fail = [&]() {
        out.clear();
        return 0;
    };
    std::size_t r = p + 13;
    for (std::uint32_t k = 0; k < records; ++k) {
        if (r + 21 > end || read_u32le_checked(bytes, r + 5) != kIdMarker) return fail();
        const std::uint64_t id = id_at(bytes, r + 9);
        const std::uint32_t n = read_u32le_checked(bytes, r + 17);
        if (n > kMaxLinks || r + 21 + kEntrySize * n > end) return fail();
        std::vector<std::uint64_t>& links = out[id];
        for (std::uint32_t j = 0; j < n; ++j) {
            const std::size_t e = r + 21 + kEntrySize * j;
            if (read_u32le_checked(bytes, e + 5) != kIdMarker) return fail();
            links.push_back(id_at(bytes, e + 9));
        }
        r += 21 + kEntrySize * n;
    }
    return r == end ? 1 : fail();
}
