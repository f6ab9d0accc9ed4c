#include "session/fade_ranges.h"

#include "session/scan.h"
#include "util/bytes.h"

namespace {

constexpr std::uint16_t kRangeType = 0x262f;

SessionRange read_range(SessionBytes bytes, const BlockHeader& block) {
    SessionRange range;
    const std::size_t p = static_cast<std::size_t>(block.position);
    const std::size_t end = readable_end(bytes, block);
    if (p + 15 > end) return range;
    const std::size_t start_width = bytes[p + 14] & 0x0f;
    const std::size_t end_width = bytes[p + 14] >> 4;
    const std::size_t kind_at = p + 17 + start_width + end_width;
    if (start_width > 4 || end_width > 4 || kind_at >= end) return range;
    const std::uint64_t start = read_uintle_checked(bytes, p + 17, start_width);
    const std::uint64_t length = read_uintle_checked(bytes, p + 17 + start_width, end_width);
    range.start = static_cast<double>(start);
    range.end = static_cast<double>(length);
    range.kind = bytes[kind_at];
    if (kind_at + 10 < end) {
        range.shape = bytes[kind_at + 1];
        range.special_shape = bytes[kind_at + 6] == 1 && bytes[kind_at + 9] == 1 ? 1 : 0;
    }
    if (range.kind < 1 || range.kind > 3 || length < start) range.kind = 0;
    return range;
}

}  // namespace

void read_ranges_262f(const std::uint8_t* data, std::size_t length,
                      std::vector<SessionRange>& out) {
    const SessionBytes bytes = session_bytes(data, length);
    if (length < 38) return;
    scan_blocks(bytes, kRangeType, length - 38, [&](const BlockHeader& block) {
        if (block.size != 0) out.push_back(read_range(bytes, block));
        return false;
    });
}
