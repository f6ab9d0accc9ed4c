#include "session/channel_entries.h"

#include <set>
#include <tuple>

#include "session/mixer_blocks.h"
#include "util/bytes.h"

namespace {

constexpr std::uint16_t kChannelEntryType = 0x1021;
constexpr std::uint32_t kMaxNameLength = 80;
constexpr std::uint32_t kMaxChannels = 16;

using EntryKey =
    std::tuple<std::uint32_t, std::uint32_t, std::uint32_t, std::string, std::vector<std::int32_t>>;

bool read_entry(SessionBytes bytes, const std::vector<std::size_t>& marks, const BlockHeader& block,
                ChannelEntry& entry) {
    if (!high_byte_zero(block) || block.size == 0 || !block_fits(bytes, block)) return false;
    const std::size_t p = static_cast<std::size_t>(block.position);
    const std::size_t end = static_cast<std::size_t>(block.end());
    std::string_view name;
    if (!read_text_at(bytes, p + 11, bytes.size(), 1, kMaxNameLength, TextBytes::name, name))
        return false;
    const std::size_t count_at = p + 15 + name.size();
    if (!bytes_fit(bytes, count_at, 4)) return false;
    const std::uint32_t count = read_u32le_checked(bytes, count_at);
    if (count > kMaxChannels || !bytes_fit(bytes, count_at + 4, 2 * count)) return false;
    entry.kind = bytes[p + 9];
    entry.name = std::string(name);
    for (std::uint32_t i = 0; i < count; ++i)
        entry.channels.push_back(read_u16le_checked(bytes, count_at + 4 + 2 * i));
    if (end < 13) return false;
    const std::size_t q = first_position_in(marks, count_at + 4 + 2 * count, end - 12);
    if (q >= end - 12) return false;
    entry.id_a = read_u32le_checked(bytes, q + 4);
    entry.id_b = read_u32le_checked(bytes, q + 8);
    return true;
}

}  // namespace

void read_channel_entries(const std::uint8_t* data, std::size_t length,
                          std::vector<ChannelEntry>& out) {
    if (length < 17) return;
    const SessionBytes bytes = session_bytes(data, length);
    // The id marks are searched for once, at the first entry: most sessions' readers ask for
    // entries a session without a mixer does not have.
    std::vector<std::size_t> marks;
    bool marks_read = false;
    std::set<EntryKey> seen;
    scan_blocks(bytes, kChannelEntryType, length - 17, [&](const BlockHeader& block) {
        if (!marks_read) {
            marks = id_marks(bytes);
            marks_read = true;
        }
        ChannelEntry entry;
        if (!read_entry(bytes, marks, block, entry)) return false;
        if (seen.emplace(entry.id_a, entry.id_b, entry.kind, entry.name, entry.channels).second)
            out.push_back(std::move(entry));
        return false;
    });
}
