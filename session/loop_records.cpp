#include "session/loop_records.h"

#include "session/block_index.h"
#include "session/clip_lists.h"
#include "session/nesting_bound.h"
#include "session/scan.h"
#include "util/bytes.h"

namespace {

constexpr std::uint16_t kLoopType = 0x242b;
constexpr std::uint32_t kKnownLoopSize = 59;

}  // namespace

void read_loop_records(const std::uint8_t* data, std::size_t length, std::vector<LoopRecord>& out) {
    out.clear();
    const SessionBytes bytes = session_bytes(data, length);
    if (length < 23) return;
    // A session without loop blocks, as the installed index tells at once, has no placement to
    // search for one.
    if (const BlockIndex* index = installed_block_index();
        index != nullptr && index->covers(bytes) && index->positions(kLoopType).empty())
        return;
    NestingBound nesting;
    scan_blocks(bytes, kPlacementType, length - 14, [&](const BlockHeader& placement) {
        const std::size_t p = static_cast<std::size_t>(placement.position);
        if (p < 9 || !high_byte_zero(placement) || placement.size <= 15 ||
            !block_fits(bytes, placement) || !admit_candidate(nesting, p, placement.end())) {
            return false;
        }
        const std::size_t end = static_cast<std::size_t>(placement.end());
        scan_blocks(bytes, kLoopType, p + 9, end - 1, [&](const BlockHeader& child) {
            const std::size_t q = static_cast<std::size_t>(child.position);
            if (!high_byte_zero(child) || child.size < 2 || child.end() > end) return false;
            LoopRecord record;
            record.placement_key =
                (static_cast<std::uint64_t>(read_u32le_checked(bytes, p + 16)) << 32) |
                read_u32le_checked(bytes, p + 11);
            if (bytes[p - 9] == kBlockMarker) record.parent_type = read_u16le_checked(bytes, p - 2);
            if (child.size == kKnownLoopSize) {
                record.known_shape = 1;
                record.loop_byte = read_u8_checked(bytes, q + 9);
                record.loop_count = read_u32le_checked(bytes, q + 36);
                record.first_value = read_u64le_checked(bytes, q + 12);
                record.second_value = read_u64le_checked(bytes, q + 48);
            }
            out.push_back(record);
            return true;
        });
        return false;
    });
}
