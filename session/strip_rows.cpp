#include "session/strip_rows.h"

#include "session/scan.h"
#include "util/bytes.h"

namespace {

constexpr std::uint16_t kStripListType = 0x2519;
constexpr std::uint16_t kStripRowType = 0x251a;
constexpr std::uint32_t kFolderKind = 11;
constexpr std::uint32_t kMaxRowName = 200;
constexpr std::uint32_t kIdMarker = 42;  // '*' 0 0 0

bool row_size_known(std::uint32_t size, std::uint32_t name_length) {
    return size == name_length + 61 || size == name_length + 62 || size == name_length + 72;
}

}  // namespace

void read_strip_rows(const std::uint8_t* data, std::size_t length, std::vector<StripRow>& out) {
    out.clear();
    const SessionBytes bytes = session_bytes(data, length);
    BlockHeader list;
    const bool found = scan_blocks(bytes, kStripListType, length, [&](const BlockHeader& block) {
        list = block;
        return high_byte_zero(block) && block.size != 0 && block_fits(bytes, block);
    });
    if (!found) return;
    const std::size_t list_end = static_cast<std::size_t>(list.end());
    std::size_t pos = static_cast<std::size_t>(list.position) + 9;
    while (pos + 9 <= list_end) {
        BlockHeader row;
        if (!match_block(bytes, pos, kStripRowType, row)) {
            ++pos;
            continue;
        }
        if (row.size < 8 || row.end() > list_end) return;
        const std::uint32_t name_length = read_u32le_checked(bytes, pos + 11);
        if (name_length < 1 || name_length > kMaxRowName ||
            !row_size_known(row.size, name_length)) {
            out.clear();
            return;
        }
        StripRow strip;
        strip.kind = read_u16le_checked(bytes, pos + 9);
        strip.name.assign(reinterpret_cast<const char*>(data + pos + 15), name_length);
        strip.byte_after_name = data[pos + 15 + name_length];
        if (strip.kind == kFolderKind)
            strip.flag = 1;
        else if (row.size == name_length + 72)
            strip.flag = data[pos + name_length + 68] == 1 ? 1 : 0;
        if (read_u32le_checked(bytes, pos + name_length + 21) == kIdMarker)
            strip.id = read_u64le_checked(bytes, pos + name_length + 25);
        if (!out.empty() && strip.name == out.front().name && strip.kind == out.front().kind)
            return;
        out.push_back(std::move(strip));
        pos = static_cast<std::size_t>(row.end());
    }
}

void read_251a_names(const std::uint8_t* data, std::size_t length, std::vector<std::string>& out) {
    const SessionBytes bytes = session_bytes(data, length);
    scan_blocks(bytes, kStripRowType, length, [&](const BlockHeader& block) {
        if (block.size < 73 || block.size > 152 || !block_fits(bytes, block, 2)) return false;
        const std::size_t p = static_cast<std::size_t>(block.position);
        std::string_view name;
        if (!read_text_at(bytes, p + 9, bytes.size(), 1, 80, TextBytes::name, name)) return false;
        if (block.size != name.size() + 72 || data[p + block.size + 1] != 0) return false;
        out.emplace_back(name);
        return false;
    });
}
