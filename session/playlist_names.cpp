#include "session/playlist_names.h"

#include "session/scan.h"
#include "util/bytes.h"

namespace {

constexpr std::uint16_t kPlaylistNamesType = 0x2632;
constexpr std::uint16_t kEntryType = 0x2629;
constexpr std::uint16_t kNameBlockType = 0x2628;

}  // namespace

void read_playlist_names(const std::uint8_t* data, std::size_t length,
                         std::vector<PlaylistNameEntry>& out) {
    out.clear();
    const SessionBytes bytes = session_bytes(data, length);
    const std::size_t last = last_scan_position(length);
    scan_blocks(bytes, kPlaylistNamesType, last, [&](const BlockHeader& list) {
        if (!high_byte_zero(list) || list.size <= 7 || !block_fits(bytes, list)) return false;
        const std::size_t end = static_cast<std::size_t>(list.end());
        std::size_t q = static_cast<std::size_t>(list.position) + 9;
        while (q < end) {
            BlockHeader entry;
            BlockHeader nested;
            if (!match_block(bytes, q, kEntryType, entry) ||
                !match_block(bytes, q + 9, kNameBlockType, nested)) {
                q += 1;
                continue;
            }
            const std::uint32_t name_length = read_u32le_checked(bytes, q + 18);
            const bool name_inside =
                bytes_fit(bytes, q + 18, 4) && name_length < 401 && q + 22 + name_length <= end;
            if (!name_inside || nested.end() + 4 > end) {
                q += 1;
                continue;
            }
            const std::size_t after = static_cast<std::size_t>(nested.end());
            PlaylistNameEntry result;
            result.name.assign(reinterpret_cast<const char*>(bytes.data() + q + 22), name_length);
            result.value = read_u32le_checked(bytes, after);
            out.push_back(std::move(result));
            q = after + 1;
        }
        return true;
    });
}
