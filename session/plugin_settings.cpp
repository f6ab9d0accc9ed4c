#include "session/plugin_settings.h"

#include <algorithm>
#include <utility>

#include "session/chunk_classifier.h"
#include "session/scan.h"
#include "session/settings_payload.h"
#include "util/bytes.h"

namespace {

constexpr std::uint16_t kPluginType = 0x1038;
constexpr std::uint16_t kTrackOwnerType = 0x261B;
constexpr std::uint16_t kOtherOwnerType = 0x2621;
constexpr std::uint16_t kStateType = 0x2614;
constexpr std::uint16_t kChannelType = 0x260E;
constexpr std::uint16_t kLaneType = 0x260F;
constexpr std::uint16_t kPointListType = 0x260B;

constexpr std::size_t kIdAt = 25;
constexpr std::size_t kIdLength = 8;
constexpr std::size_t kNameAt = 33;
constexpr std::size_t kMaxStoredName = 64;
constexpr std::uint32_t kMaxLaneName = 128;
constexpr std::uint32_t kMaxSecondName = 127;
constexpr double kValueScale = 2147483648.0;

// Every block of one content type with a zero byte at +2 and a non-zero size that fits.
std::vector<BlockHeader> index_blocks(SessionBytes bytes, std::uint16_t content_type) {
    std::vector<BlockHeader> out;
    scan_blocks(bytes, content_type, bytes.size(), [&](const BlockHeader& block) {
        if (high_byte_zero(block) && block.size != 0 && block_fits(bytes, block)) {
            out.push_back(block);
        }
        return false;
    });
    return out;
}

// The first block of `blocks` (in position order) at or after `pos`, or null.
const BlockHeader* first_from(const std::vector<BlockHeader>& blocks, std::uint64_t pos) {
    const auto it = std::lower_bound(
        blocks.begin(), blocks.end(), pos,
        [](const BlockHeader& block, std::uint64_t at) { return block.position < at; });
    return it == blocks.end() ? nullptr : &*it;
}

// The smallest block of a list that starts before a plug-in block and ends at or after its end,
// for plug-in blocks met in position order. Owners join as the position passes their start; a
// Fenwick tree over their ends keeps the smallest (length, start) among those ending at or past
// any end, so each query costs a logarithm.
class OwnerFinder {
  public:
    explicit OwnerFinder(std::vector<BlockHeader> owners) : owners_(std::move(owners)) {
        for (const BlockHeader& o : owners_) ends_.push_back(o.end());
        std::sort(ends_.begin(), ends_.end());
        ends_.erase(std::unique(ends_.begin(), ends_.end()), ends_.end());
        tree_.assign(ends_.size() + 1, kNone);
    }

    // Start and end of the owner, or false. Positions must not decrease between calls.
    bool find(std::uint64_t position, std::uint64_t end, std::uint64_t& owner_start,
              std::uint64_t& owner_end) {
        while (next_ < owners_.size() && owners_[next_].position < position) {
            const BlockHeader& o = owners_[next_++];
            // Counted from the largest end, so that "ends at or past" is a prefix.
            std::size_t i = ends_.size() - rank(o.end());
            for (; i < tree_.size(); i += i & (~i + 1)) {
                tree_[i] = std::min(tree_[i], Entry{o.size, o.position});
            }
        }
        const std::size_t first = rank_at_least(end);
        if (first == ends_.size()) return false;
        Entry best = kNone;
        for (std::size_t i = ends_.size() - first; i > 0; i -= i & (~i + 1)) {
            best = std::min(best, tree_[i]);
        }
        if (best == kNone) return false;
        owner_start = best.second;
        owner_end = best.second + 7 + best.first;
        return true;
    }

  private:
    using Entry = std::pair<std::uint64_t, std::uint64_t>;  // size, start
    static constexpr Entry kNone{~std::uint64_t{0}, ~std::uint64_t{0}};

    std::size_t rank(std::uint64_t end) const {
        return static_cast<std::size_t>(std::lower_bound(ends_.begin(), ends_.end(), end) -
                                        ends_.begin());
    }
    std::size_t rank_at_least(std::uint64_t end) const { return rank(end); }

    std::vector<BlockHeader> owners_;
    std::vector<std::uint64_t> ends_;
    std::vector<Entry> tree_;
    std::size_t next_ = 0;
};

std::string aax_id_at(SessionBytes bytes, std::size_t pos) {
    std::string id(kIdLength, '.');
    for (std::size_t i = 0; i < kIdLength; ++i) {
        if (is_printable_byte(bytes[pos + i])) id[i] = static_cast<char>(bytes[pos + i]);
    }
    return id;
}

std::string printable_run(SessionBytes bytes, std::size_t from, std::size_t end,
                          std::size_t limit) {
    std::size_t at = from;
    while (at < end && at - from < limit && is_printable_byte(bytes[at])) ++at;
    return std::string(reinterpret_cast<const char*>(bytes.data() + from), at - from);
}

// The settings end: b + T + 17 when it lies in [b +33, block end) with only zeros after it.
std::uint64_t settings_end_of(SessionBytes bytes, const BlockHeader& block) {
    if (block.size <= 25) return block.end();
    const std::uint64_t end = block.position + read_u32le_checked(bytes, block.position + 13) + 17;
    if (end < block.position + kNameAt || end >= block.end()) return block.end();
    for (std::uint64_t i = end; i < block.end(); ++i) {
        if (bytes[i] != 0) return block.end();
    }
    return end;
}

void read_state(SessionBytes bytes, const std::vector<BlockHeader>& states,
                const std::vector<BlockHeader>& channels, const BlockHeader& block,
                SessionPluginInstance& record) {
    if (const BlockHeader* state = first_from(states, record.settings_end)) {
        record.stream_word = read_u32le_checked(bytes, state->position + 9);
        record.bypassed = state->position > 0 && bytes[state->position - 1] == 1 ? 1 : 0;
    }
    if (const BlockHeader* channel = first_from(channels, record.settings_end)) {
        const std::uint16_t word = read_u16le_checked(bytes, channel->position + 9);
        if (channel->position + 11 <= bytes.size() && word < 65535) record.channel_word = word;
    }
    record.inactive = block.end() < bytes.size() && bytes[block.end()] == 0 ? 1 : 0;
}

double normalised(std::uint32_t stored) {
    return static_cast<std::int32_t>(stored) / kValueScale + 0.5;
}

// The lane of a point list and the names after it; false when a bound or a name fails.
bool read_lane(SessionBytes bytes, const BlockHeader& list, AutomationLane& lane) {
    const std::uint64_t p = list.position;
    const std::uint32_t count = read_u16le_checked(bytes, p + 25);
    if (list.size < 34 + 8ULL * count) return false;
    lane.in_ticks = read_u40le_checked(bytes, p + 27) != 0 ? 1 : 0;
    lane.initial_value = normalised(read_u32le_checked(bytes, p + 35));
    lane.points.reserve(count);
    for (std::uint64_t i = 0; i < count; ++i) {
        const std::uint64_t at = p + 39 + 8 * i;
        lane.points.push_back(
            {static_cast<double>(static_cast<std::int32_t>(read_u32le_checked(bytes, at))),
             normalised(read_u32le_checked(bytes, at + 4))});
    }
    std::size_t at = list.end();
    std::string_view name;
    if (!read_text_at(bytes, at, bytes.size(), 1, kMaxLaneName, TextBytes::printable, name)) {
        return false;
    }
    at += 4 + name.size();
    if (!bytes_fit(bytes, at, 12)) return false;
    lane.name = std::string(name);
    lane.lane_word = read_u32le_checked(bytes, at);
    at += 12;
    std::string_view second;
    if (!read_text_at(bytes, at, bytes.size(), 0, kMaxSecondName, TextBytes::printable, second)) {
        return false;
    }
    lane.second_name = std::string(second);
    return true;
}

void read_lanes(SessionBytes bytes, std::vector<SessionPluginInstance>& records,
                std::size_t first_record) {
    const std::vector<BlockHeader> lists = index_blocks(bytes, kPointListType);
    for (const BlockHeader& lane_block : index_blocks(bytes, kLaneType)) {
        // The last record whose block starts before the lane's.
        const auto owner = std::lower_bound(
            records.begin() + static_cast<std::ptrdiff_t>(first_record), records.end(),
            lane_block.position, [](const SessionPluginInstance& record, std::uint64_t at) {
                return record.block_pos < at;
            });
        if (owner == records.begin() + static_cast<std::ptrdiff_t>(first_record)) continue;
        for (const BlockHeader* list = first_from(lists, lane_block.position + kFirstChildOffset);
             list != nullptr && list < lists.data() + lists.size() &&
             list->position < lane_block.end();
             ++list) {
            if (list->end() > lane_block.end()) continue;
            AutomationLane lane;
            if (read_lane(bytes, *list, lane)) std::prev(owner)->lanes.push_back(std::move(lane));
            break;
        }
    }
}

}  // namespace

void read_aax_settings_chunk(const std::uint8_t* data, std::size_t length,
                             std::vector<SessionPluginInstance>& out) {
    const SessionBytes bytes = session_bytes(data, length);
    const std::vector<BlockHeader> plugins = index_blocks(bytes, kPluginType);
    if (plugins.empty()) return;
    OwnerFinder track_owners(index_blocks(bytes, kTrackOwnerType));
    OwnerFinder other_owners(index_blocks(bytes, kOtherOwnerType));
    const std::vector<BlockHeader> states = index_blocks(bytes, kStateType);
    const std::vector<BlockHeader> channels = index_blocks(bytes, kChannelType);

    const std::size_t first_record = out.size();
    for (const BlockHeader& block : plugins) {
        const std::uint64_t p = block.position;
        if (p + kNameAt > length) continue;
        SessionPluginInstance record;
        record.block_pos = p;
        record.settings_end = settings_end_of(bytes, block);
        record.aax_id = aax_id_at(bytes, p + kIdAt);
        record.stored_name = printable_run(bytes, p + kNameAt, block.end(), kMaxStoredName);
        record.header_byte = p + 9 < length ? bytes[p + 9] : 1;
        if (!track_owners.find(p, block.end(), record.owner_start, record.owner_end)) {
            other_owners.find(p, block.end(), record.owner_start, record.owner_end);
        }
        scan_settings_payload(bytes, record);
        if (record.payload_kind == 0) {
            check_chunk_container(bytes, p, record.settings_end, record);
        }
        read_state(bytes, states, channels, block, record);
        out.push_back(std::move(record));
    }
    std::stable_sort(out.begin() + static_cast<std::ptrdiff_t>(first_record), out.end(),
                     [](const SessionPluginInstance& a, const SessionPluginInstance& b) {
                         return a.block_pos < b.block_pos;
                     });
    read_lanes(bytes, out, first_record);
}
