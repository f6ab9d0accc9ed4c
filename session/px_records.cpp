#include "session/px_records.h"

#include <cstring>
#include <string_view>

#include "session/scan.h"
#include "util/bytes.h"

namespace {

constexpr std::uint16_t kListsType = 0x4400;
constexpr std::uint16_t kClipType = 0x2629;
constexpr std::uint16_t kClipNameType = 0x2628;
constexpr std::uint16_t kIdTrailerType = 0x4403;
constexpr std::uint32_t kMaxEntries = 65536;

std::uint64_t read_id(SessionBytes bytes, std::uint64_t at) {
    return read_u32le_checked(bytes, at) | (std::uint64_t{read_u32le_checked(bytes, at + 4)} << 32);
}

// The entries of one 0x4400 block: each entry's data holds name records.
void read_list_entries(SessionBytes bytes, const BlockHeader& block,
                       std::map<std::uint64_t, std::vector<PxRecord>>& lists) {
    const std::uint32_t count = read_u32le_checked(bytes, block.position + 9);
    const std::uint64_t end = block.end();
    std::uint64_t at = block.position + 13;
    for (std::uint32_t i = 0; i < count; ++i) {
        if (at > end || end - at < 20) return;
        const std::uint64_t id = read_id(bytes, at);
        const std::uint32_t data_length = read_u32le_checked(bytes, at + 12);
        if (data_length > end - at - 16) return;
        std::vector<PxRecord> records;
        read_px_records(bytes.data() + at + 16, data_length, records);
        if (!records.empty()) lists[id] = std::move(records);
        at += 16 + std::uint64_t{data_length};
    }
}

// The id stored right before the first 0x4403 marker after the clip name, 0 when none.
std::uint64_t clip_list_id(SessionBytes bytes, std::uint64_t from, std::uint64_t outer_end) {
    if (outer_end < 10 || from >= outer_end - 10) return 0;
    // The marker must begin before outer_end - 10; its content type lies past it, still inside.
    const SessionBytes inside = bytes.subspan(0, outer_end);
    std::uint64_t found = 0;
    scan_blocks(inside.subspan(from), kIdTrailerType, outer_end - 10 - from - 1,
                [&](const BlockHeader& marker) {
                    found = from + marker.position;
                    return true;
                });
    return found == 0 ? 0 : read_id(bytes, found - 8);
}

}  // namespace

void read_px_records(const std::uint8_t* data, std::size_t length, std::vector<PxRecord>& out) {
    out.clear();
    if (data == nullptr) return;
    const SessionBytes bytes = session_bytes(data, length);
    static constexpr std::uint8_t kMark[4] = {'p', 'x', 0x01, 0x00};
    for (std::size_t at = 0; at + 12 <= length;) {
        if (std::memcmp(data + at, kMark, 4) != 0) {
            ++at;
            continue;
        }
        const std::uint32_t total = read_u32le_checked(bytes, at + 4);
        const std::uint32_t name_length = read_u32le_checked(bytes, at + 8);
        if (name_length < 1 || name_length > 63 || name_length + 12 != total ||
            !bytes_fit(bytes, at, std::uint64_t{total} + 8)) {
            ++at;
            continue;
        }
        PxRecord record;
        record.name.assign(reinterpret_cast<const char*>(data + at + 12), name_length);
        record.value = read_u64le_checked(bytes, at + 12 + name_length);
        out.push_back(std::move(record));
        at += total + 8;
    }
}

void read_4400_px_lists(const std::uint8_t* data, std::size_t length, ClipEffectsLists& out) {
    out.clear();
    const SessionBytes bytes = session_bytes(data, length);
    std::map<std::uint64_t, std::vector<PxRecord>> lists;
    std::uint64_t resume = 0;
    scan_blocks(bytes, kListsType, length, [&](const BlockHeader& block) {
        if (block.position < resume) return false;
        if (block.size <= 7 || !block_fits(bytes, block)) return false;
        const std::uint32_t count = read_u32le_checked(bytes, block.position + 9);
        if (count < 1 || count > kMaxEntries || std::uint64_t{block.size} + 7 < 33) return false;
        read_list_entries(bytes, block, lists);
        resume = block.end();
        return false;
    });
    if (lists.empty()) return;

    scan_blocks(bytes, kClipType, length, [&](const BlockHeader& block) {
        if (block.size < 24 || !block_fits(bytes, block)) return false;
        const std::uint64_t p = block.position;
        BlockHeader inner;
        if (!match_block(bytes, p + 9, kClipNameType, inner)) return false;
        const std::uint32_t name_length = read_u32le_checked(bytes, p + 18);
        if (name_length < 1 || name_length > 400) return false;
        if (std::uint64_t{name_length} + 13 > block.size - 2) return false;
        const std::uint64_t name_end = p + 22 + name_length;
        const std::uint64_t id = clip_list_id(bytes, name_end, block.end());
        if (id == 0) return false;
        const auto list = lists.find(id);
        if (list == lists.end()) return false;
        out[std::string(reinterpret_cast<const char*>(data + p + 22), name_length)] = list->second;
        return false;
    });
}
