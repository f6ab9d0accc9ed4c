#include "session/warp_markers.h"

#include <algorithm>
#include <cstring>
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

// The warp block: the first 0x2636 marker after the clip's name whose +68 lies before the clip
// block's end, unless a 0x2628 marker (the next clip) comes first.
bool find_warp_block(SessionBytes bytes, std::uint64_t from, std::uint64_t end,
                     std::uint64_t& warp) {
    if (end < 69 || bytes.empty()) return false;
    const std::uint64_t last = std::min<std::uint64_t>(end - 69, bytes.size() - 1);
    // One pass: the first marker of either kind decides, so nested clips cost no rescans.
    for (std::uint64_t pos = from; pos <= last; ++pos) {
        const void* hit = std::memchr(bytes.data() + pos, kBlockMarker, last - pos + 1);
        if (hit == nullptr) return false;
        pos = static_cast<std::uint64_t>(static_cast<const std::uint8_t*>(hit) - bytes.data());
        BlockHeader block;
        if (match_block(bytes, pos, kWarpType, block)) {
            warp = pos;
            return true;
        }
        if (match_block(bytes, pos, kClipNameType, block)) return false;
    }
    return false;
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
