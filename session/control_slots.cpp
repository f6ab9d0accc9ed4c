#include "session/control_slots.h"

#include <algorithm>

#include "session/scan.h"
#include "util/bytes.h"

namespace {

constexpr std::uint16_t kRegionBlockType = 0x262a;
constexpr std::uint16_t kOldRegionBlockType = 0x100b;
constexpr std::uint16_t kRegionType = 0x2629;
constexpr std::uint16_t kOldRegionType = 0x1008;

void read_slot(SessionBytes bytes, const BlockHeader& child, std::uint64_t& value,
               std::string_view& name) {
    const std::size_t c = static_cast<std::size_t>(child.position);
    const std::uint64_t end = child.end();
    BlockHeader nested;
    if (!read_block_header(bytes, c + 9, bytes.size(), nested)) return;
    const std::uint32_t name_length = read_u32le_checked(bytes, c + 18);
    if (!bytes_fit(bytes, c + 18, 4) || name_length >= 256 || c + name_length + 28 > end) return;
    name = std::string_view(reinterpret_cast<const char*>(bytes.data() + c + 22), name_length);
    const std::size_t n = c + 22 + name_length;
    const std::size_t width = bytes[n + 2] & 0x0f;
    const std::size_t skip = bytes[n + 1] >> 4;
    if (width < 1 || width > 5 || skip > 5 || n + 5 + skip + width > end) return;
    value = read_uintle_checked(bytes, n + 5 + skip, width);
}

}  // namespace

void read_control_slots(const std::uint8_t* data, std::size_t length,
                        std::vector<std::uint64_t>& values, std::vector<std::string_view>* names) {
    values.clear();
    if (names) names->clear();
    const SessionBytes bytes = session_bytes(data, length);
    // The region blocks of both layouts, in position order.
    std::vector<std::size_t> found;
    const auto keep = [&](const BlockHeader& block) {
        found.push_back(static_cast<std::size_t>(block.position));
        return false;
    };
    scan_blocks(bytes, kRegionBlockType, length, keep);
    const auto old_layout = static_cast<std::ptrdiff_t>(found.size());
    scan_blocks(bytes, kOldRegionBlockType, length, keep);
    std::inplace_merge(found.begin(), found.begin() + old_layout, found.end());
    for (const std::size_t p : found) {
        BlockHeader block;
        if (!read_block_header(bytes, p, length, block)) continue;
        // The entries as the session walk reads them: from the first after the list's count, as
        // many as it counts, one after another (a search from the list's header would take a
        // count of low byte 0x5A for an entry that swallows the real ones).
        const SessionBlockNode list = header_node(block);
        ChildCursor cursor;
        SessionBlockNode entry;
        while (next_child(bytes.data(), bytes.size(), list, cursor, entry)) {
            if (entry.content_type != kRegionType && entry.content_type != kOldRegionType) continue;
            std::uint64_t value = 0;
            std::string_view name;
            read_slot(bytes, node_header(entry), value, name);
            values.push_back(value);
            if (names) names->push_back(name);
        }
    }
}
