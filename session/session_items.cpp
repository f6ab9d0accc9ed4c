#include "session/session_items.h"

#include "session/scan.h"
#include "util/bytes.h"

namespace {

constexpr std::uint16_t kItemListType = 0x2004;
constexpr std::uint16_t kItemType = 0x2005;
constexpr std::uint16_t kItemNameType = 0x2006;
constexpr std::uint16_t kItemBodyType = 0x2086;
constexpr std::uint16_t kItemDetailType = 0x208c;
constexpr std::uint16_t kItemIdType = 0x2097;
constexpr std::uint16_t kItemValueType = 0x2401;

// A block at `pos` that ends at or before `end`.
bool block_inside(SessionBytes bytes, std::size_t pos, std::size_t end, BlockHeader& out) {
    return read_block_header(bytes, pos, end, out);
}

SessionItemEntry read_item(SessionBytes bytes, const BlockHeader& item) {
    SessionItemEntry entry;
    bool named = false;
    const std::size_t end = static_cast<std::size_t>(item.end());
    std::size_t r = static_cast<std::size_t>(item.position) + 9;
    while (r < end) {
        BlockHeader block;
        if (!block_inside(bytes, r, end, block)) {
            r += 1;
            continue;
        }
        const std::size_t next = static_cast<std::size_t>(block.end());
        switch (block.content_type) {
            case kItemNameType: {
                if (named) {
                    r = next;
                    break;
                }
                std::string_view name;
                if (read_text_at(bytes, r + 11, end, 1, 199, TextBytes::any, name)) {
                    const std::size_t after = r + 15 + name.size();
                    if (after < end) {
                        entry.name = std::string(name);
                        entry.number = static_cast<std::uint32_t>(bytes[after]) + 1;
                        named = true;
                    }
                }
                r += 9;  // the rest of the item lies inside its name block
                break;
            }
            case kItemBodyType:
            case kItemDetailType:
                r += 9;
                break;
            case kItemIdType:
                if (block.size >= 29 && bytes_fit(bytes, r + 22, 16)) {
                    for (std::size_t i = 0; i < 16; ++i) entry.id[i] = bytes[r + 22 + i];
                    entry.has_id = 1;
                }
                r = next;
                break;
            case kItemValueType:
                if (block.size >= 4) entry.value = read_u32le_checked(bytes, r + 9);
                r = next;
                break;
            default:
                r = next;
                break;
        }
    }
    return entry;
}

}  // namespace

void scan_session_items(const std::uint8_t* data, std::size_t length,
                        std::vector<SessionItemEntry>& out) {
    out.clear();
    const SessionBytes bytes = session_bytes(data, length);
    const std::size_t last = last_scan_position(length);
    scan_blocks(bytes, kItemListType, last, [&](const BlockHeader& list) {
        if (!high_byte_zero(list) || list.size == 0 || !block_fits(bytes, list)) return false;
        const std::size_t end = static_cast<std::size_t>(list.end());
        std::size_t q = static_cast<std::size_t>(list.position) + 13;
        while (q < end) {
            BlockHeader child;
            if (!block_inside(bytes, q, end, child)) {
                q += 1;
                continue;
            }
            if (child.content_type == kItemType && high_byte_zero(child)) {
                out.push_back(read_item(bytes, child));
            }
            q = static_cast<std::size_t>(child.end());
        }
        return true;
    });
}
