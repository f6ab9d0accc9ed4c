#include "session/groups.h"

#include "session/scan.h"
#include "util/bytes.h"

namespace {

constexpr std::uint16_t kGroupType = 0x202a;
constexpr std::uint16_t kAttributesType = 0x258e;
constexpr std::uint32_t kMaxNameLength = 128;
constexpr std::uint32_t kMaxMembers = 256;

// The first 0x258e block from `from` on that lies inside the group block; its bytes from +9 (at
// most 32) are the group's attributes.
void read_attributes(SessionBytes bytes, std::uint64_t from, std::uint64_t group_end,
                     SessionGroup& group) {
    if (from >= group_end) return;
    const SessionBytes inside = bytes.subspan(from, group_end - from);
    scan_blocks(inside, kAttributesType, inside.size(), [&](const BlockHeader& block) {
        if (block.size < 4 || !block_fits(inside, block)) return false;
        const std::size_t count = block.size - 2 < 32 ? block.size - 2 : 32;
        for (std::size_t i = 0; i < count; ++i) {
            group.attributes[i] = read_u8_checked(inside, block.position + 9 + i);
        }
        group.has_attributes = 1;
        return true;
    });
}

}  // namespace

void read_groups(const std::uint8_t* data, std::size_t length, std::vector<SessionGroup>& out) {
    const SessionBytes bytes = session_bytes(data, length);
    if (length < 10) return;
    scan_blocks(bytes, kGroupType, length - 10, [&](const BlockHeader& block) {
        if (!high_byte_zero(block) || block.size < 18 || !block_fits(bytes, block)) return false;
        const std::uint64_t p = block.position;
        const std::uint64_t end = block.end();
        const std::uint32_t name_length = read_u32le_checked(bytes, p + 9);
        if (name_length < 1 || name_length > kMaxNameLength) return false;
        if (block.size < name_length + 17) return false;
        std::string_view name;
        if (!read_text_at(bytes, p + 9, end, 1, kMaxNameLength, TextBytes::printable, name)) {
            return false;
        }

        const std::uint64_t l = name_length;
        const std::uint32_t count = read_u32le_checked(bytes, p + l + 20);
        if (count > kMaxMembers) return false;
        // The members and the two closing bytes must lie inside the block.
        const std::uint64_t closing = p + l + 24 + 2ULL * count;
        if (closing + 2 > end) return false;
        if (read_u8_checked(bytes, closing) != 0xFE ||
            read_u8_checked(bytes, closing + 1) != 0xFF) {
            return false;
        }

        SessionGroup group;
        group.name = std::string(name);
        for (std::uint32_t i = 0; i < count; ++i) {
            group.members.push_back(read_u16le_checked(bytes, p + l + 24 + 2ULL * i));
        }
        group.type = read_u8_checked(bytes, p + l + 13);
        group.slot = block.size > l + 7 ? read_u8_checked(bytes, p + l + 14) : 0;
        group.active = block.size > l + 11 ? (read_u8_checked(bytes, p + l + 18) != 0) : 1;
        const std::uint64_t extra = p + l + 34 + 2ULL * count;
        if (extra + 2 <= end) {
            const std::uint16_t index = read_u16le_checked(bytes, extra);
            if (index < 0xFFFF) group.extra_index = index;
        }
        read_attributes(bytes, extra, end, group);
        out.push_back(std::move(group));
        return false;
    });
}
