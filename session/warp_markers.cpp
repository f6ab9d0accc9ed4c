#include "session/warp_markers.h"

#include <string_view>

#include "session/scan.h"
#include "util/bytes.h"

namespace {

constexpr std::uint16_t kClipNameType = 0x2628;
constexpr std::uint16_t kWarpType = 0x2636;
constexpr std::uint32_t kMinPoints = 2;
constexpr std::uint32_t kMaxPoints = 4000;
constexpr std::uint64_t kFirstPoint = 47;
constexpr std::uint64_t kPointStride = 12;

// The first marker of `type` at `from` or later and at `last` or earlier.
bool first_marker(SessionBytes bytes, std::uint16_t type, std::uint64_t from, std::uint64_t last,
                  std::uint64_t& at) {
    if (from > last || from >= bytes.size()) return false;
    return scan_blocks(bytes.subspan(from), type, last - from, [&](const BlockHeader& block) {
        at = from + block.position;
        return true;
    });
}

// The warp block: the first 0x2636 marker after the clip's name whose +68 lies before the clip
// block's end, unless a 0x2628 marker (the next clip) comes first.
bool find_warp_block(SessionBytes bytes, std::uint64_t from, std::uint64_t end,
                     std::uint64_t& warp) {
    if (end < 69) return false;
    if (!first_marker(bytes, kWarpType, from, end - 69, warp)) return false;
    std::uint64_t next_clip = 0;
    return warp == from || !first_marker(bytes, kClipNameType, from, warp - 1, next_clip);
}

std::vector<WarpPoint> read_points(SessionBytes bytes, std::uint64_t warp) {
    std::vector<WarpPoint> points;
    const std::uint32_t count = read_u16le_checked(bytes, warp + 35);
    if (count < kMinPoints || count > kMaxPoints) return points;
    const std::uint64_t stored_end = warp + 7 + read_u32le_checked(bytes, warp + 3);
    if (stored_end < warp + 56) return points;
    const std::uint64_t end = stored_end < bytes.size() ? stored_end : bytes.size();
    for (std::uint32_t k = 0; k < count; ++k) {
        const std::uint64_t record = warp + kFirstPoint + kPointStride * k;
        if (record + 9 > end) break;
        std::uint64_t tick = 0;
        ticks_from_stored(read_u40le_checked(bytes, record + 4), tick);
        WarpPoint point;
        point.tick = static_cast<double>(tick);
        point.sample = k == 0 ? 0.0 : static_cast<double>(read_u32le_checked(bytes, record));
        points.push_back(point);
    }
    return points;
}

}  // namespace

void read_warp_markers(const std::uint8_t* data, std::size_t length,
                       std::map<std::string, std::vector<WarpPoint>>& out) {
    const SessionBytes bytes = session_bytes(data, length);
    scan_blocks(bytes, kClipNameType, length, [&](const BlockHeader& block) {
        if (block.size == 0 || !block_fits(bytes, block)) return false;
        const std::uint32_t name_length = read_u32le_checked(bytes, block.position + 9);
        if (std::uint64_t{name_length} + 66 >= block.size) return false;
        std::string_view name;
        if (!read_text_at(bytes, block.position + 9, block.end(), 1, 128, TextBytes::name, name)) {
            return false;
        }
        std::uint64_t warp = 0;
        if (!find_warp_block(bytes, block.position + 13 + name_length, block.end(), warp)) {
            return false;
        }
        std::vector<WarpPoint> points = read_points(bytes, warp);
        if (points.size() >= 2) out[std::string(name)] = std::move(points);
        return false;
    });
}
