#include "session/strip_links.h"

#include "session/lane_records.h"
#include "session/mixer_blocks.h"
#include "util/bytes.h"

namespace {

constexpr std::uint16_t kLinkTableType = 0x210c;
constexpr std::uint32_t kIdMarker = 42;  // '*' 0 0 0
constexpr std::uint32_t kMaxLinks = 4096;
constexpr std::size_t kEntrySize = 17;

std::uint64_t id_at(SessionBytes bytes, std::size_t pos) {
    return read_u32le_checked(bytes, pos) |
           (std::uint64_t{read_u32le_checked(bytes, pos + 4)} << 32);
}

}  // namespace

int read_id_links_210c(const std::uint8_t* data, std::size_t length,
                       std::map<std::uint64_t, std::vector<std::uint64_t>>& out) {
    out.clear();
    const SessionBytes bytes = session_bytes(data, length);
    BlockHeader table;
    const bool found = scan_blocks(bytes, kLinkTableType, length, [&](const BlockHeader& b) {
        table = b;
        return bytes[static_cast<std::size_t>(b.position) + 2] == 0 && b.size > 5 &&
               block_fits(bytes, b);
    });
    if (!found) return 0;
    const std::size_t p = static_cast<std::size_t>(table.position);
    const std::size_t end = static_cast<std::size_t>(table.end());
    const std::uint32_t records = read_u32le_checked(bytes, p + 9);
    if (records > kMaxLinks || p + 13 > end) return 0;
    const auto fail = [&]() {
        out.clear();
        return 0;
    };
    std::size_t r = p + 13;
    for (std::uint32_t k = 0; k < records; ++k) {
        if (r + 21 > end || read_u32le_checked(bytes, r + 5) != kIdMarker) return fail();
        const std::uint64_t id = id_at(bytes, r + 9);
        const std::uint32_t n = read_u32le_checked(bytes, r + 17);
        if (n > kMaxLinks || r + 21 + kEntrySize * n > end) return fail();
        std::vector<std::uint64_t>& links = out[id];
        for (std::uint32_t j = 0; j < n; ++j) {
            const std::size_t e = r + 21 + kEntrySize * j;
            if (read_u32le_checked(bytes, e + 5) != kIdMarker) return fail();
            links.push_back(id_at(bytes, e + 9));
        }
        r += 21 + kEntrySize * n;
    }
    return r == end ? 1 : fail();
}
