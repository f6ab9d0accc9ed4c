#include "session/channel_strips.h"

#include <algorithm>
#include <map>
#include <utility>

#include "session/mixer_blocks.h"
#include "session/strip_rows.h"
#include "util/bytes.h"

namespace {

constexpr std::uint16_t kStripType = 0x2015;
constexpr std::uint16_t kColourType = 0x2434;
constexpr std::uint16_t kColourIndexType = 0x2104;
constexpr std::uint16_t kMixStateType = 0x102d;
constexpr std::uint16_t kNameType = 0x2619;
constexpr std::uint32_t kMaxComment = 4095;
constexpr std::uint16_t kNoColour = 0xFFFE;

bool zero_at_2(SessionBytes bytes, const BlockHeader& b) {
    return bytes[static_cast<std::size_t>(b.position) + 2] == 0;
}

// Every block of `type` with a zero byte at +2, in position order.
std::vector<BlockHeader> zero_byte_blocks(SessionBytes bytes, std::uint16_t type) {
    std::vector<BlockHeader> out;
    scan_blocks(bytes, type, bytes.size(), [&](const BlockHeader& b) {
        if (zero_at_2(bytes, b)) out.push_back(b);
        return false;
    });
    return out;
}

// The first of `blocks` from `from` on, when its position + 10 lies before `end`.
bool first_of(const std::vector<BlockHeader>& blocks, std::size_t from, std::size_t end,
              BlockHeader& out) {
    const auto it =
        std::lower_bound(blocks.begin(), blocks.end(), from,
                         [](const BlockHeader& b, std::size_t p) { return b.position < p; });
    if (it == blocks.end() || !(it->position + 10 < end)) return false;
    out = *it;
    return true;
}

// The ranges inside the strips where their first nested block is looked for: from the end of
// each strip's header to its end.
BlockStarts nested_block_starts(SessionBytes bytes, const std::vector<BlockHeader>& strips) {
    std::vector<BlockRange> ranges;
    ranges.reserve(strips.size());
    for (const BlockHeader& strip : strips) ranges.push_back({strip.position + 9, strip.end()});
    return BlockStarts(bytes, ranges);
}

TrackViewState read_strip(SessionBytes bytes, const std::vector<BlockHeader>& colours,
                          const BlockStarts& starts, const BlockHeader& strip) {
    TrackViewState state;
    const std::size_t p = static_cast<std::size_t>(strip.position);
    const std::size_t end = static_cast<std::size_t>(strip.end());
    if (strip.size > 7)
        state.colour_number = static_cast<std::int32_t>(read_u32le_checked(bytes, end - 4));
    BlockHeader colour;
    if (first_of(colours, p + 9, end, colour) && colour.end() + 4 <= end)
        state.colour_number = static_cast<std::int32_t>(
            read_u32le_checked(bytes, static_cast<std::size_t>(colour.end())));
    BlockHeader nested;
    if (starts.first_from(p + 9, end, nested) && nested.end() + 12 <= end) {
        const std::size_t n = static_cast<std::size_t>(nested.end());
        state.shown_in_mixer = bytes[n + 1] != 0 ? 1 : 0;
        state.height = read_u16le_checked(bytes, n + 6);
        const std::uint32_t comment = read_u32le_checked(bytes, n + 8);
        if (comment >= 1 && comment <= kMaxComment && n + 12 + comment <= end)
            state.comment.assign(reinterpret_cast<const char*>(bytes.data() + n + 12), comment);
    }
    if (end < bytes.size() && bytes[end] <= 1) state.solo_safe_state = bytes[end];
    return state;
}

// Solo, automation mode and trim from the named block's mix-state child.
void read_mix_state(SessionBytes bytes, const std::vector<BlockHeader>& names,
                    const NamedBlockEntry& track, TrackViewState& state) {
    const std::size_t s = static_cast<std::size_t>(track.block_start);
    BlockHeader child;
    if (!bytes_fit(bytes, s + 9, 9) || !match_block(bytes, s + 9, kMixStateType, child)) return;
    const std::size_t e2 = static_cast<std::size_t>(child.end());
    const std::size_t limit = std::min(bytes.size(), e2);
    if (!(s + 27 < limit)) return;
    BlockHeader name;
    if (!first_of(names, s + 18, limit, name)) return;
    const std::size_t x = static_cast<std::size_t>(name.end());
    if (x < e2 && x < bytes.size() && bytes[x] <= 1) state.solo_state = bytes[x];
    if (x + 2 < e2 && x + 2 < bytes.size() && bytes[x + 1] < 6) {
        state.automation_mode = bytes[x + 1];
        state.trim_flag = bytes[x + 2] <= 1 ? bytes[x + 2] : -1;
    }
}

}  // namespace

void read_channel_strips_2015(const std::uint8_t* data, std::size_t length,
                              const std::vector<NamedBlockEntry>& named,
                              std::vector<TrackViewState>& out) {
    out.assign(named.size(), TrackViewState{});
    const SessionBytes bytes = session_bytes(data, length);
    const std::vector<BlockHeader> colours = zero_byte_blocks(bytes, kColourType);
    std::vector<BlockHeader> strip_blocks;
    scan_blocks(bytes, kStripType, length, [&](const BlockHeader& b) {
        if (zero_at_2(bytes, b) && b.size != 0 && block_fits(bytes, b)) strip_blocks.push_back(b);
        return false;
    });
    const BlockStarts starts = nested_block_starts(bytes, strip_blocks);
    std::vector<TrackViewState> strips;
    strips.reserve(strip_blocks.size());
    for (const BlockHeader& b : strip_blocks)
        strips.push_back(read_strip(bytes, colours, starts, b));
    std::vector<std::uint8_t> given(named.size(), 0);
    if (strips.size() == named.size()) {
        out = strips;
        std::fill(given.begin(), given.end(), 1);
    } else {
        std::vector<StripRow> rows;
        read_strip_rows(data, length, rows);
        if (rows.size() != strips.size()) return;
        std::map<std::string, std::size_t> first_row;
        for (std::size_t j = 0; j < rows.size(); ++j) first_row.emplace(rows[j].name, j);
        for (std::size_t i = 0; i < named.size(); ++i) {
            const auto row = first_row.find(display_name(named[i]));
            if (row == first_row.end()) continue;
            out[i] = strips[row->second];
            given[i] = 1;
        }
    }
    const std::vector<BlockHeader> names = zero_byte_blocks(bytes, kNameType);
    for (std::size_t i = 0; i < named.size(); ++i)
        if (given[i]) read_mix_state(bytes, names, named[i], out[i]);
}

void reduce_102d_per_track(const std::uint8_t* data, std::size_t length,
                           const std::vector<NamedBlockEntry>& named,
                           std::vector<std::uint32_t>& out) {
    std::vector<TrackViewState> states;
    read_channel_strips_2015(data, length, named, states);
    out.assign(named.size(), 0);
    for (std::size_t i = 0; i < states.size(); ++i)
        out[i] = static_cast<std::uint32_t>(states[i].colour_number);
}

void read_2015_2104(const std::uint8_t* data, std::size_t length,
                    std::vector<TrackColourIndex>& out, int* off_palette) {
    const SessionBytes bytes = session_bytes(data, length);
    std::vector<NamedBlockEntry> named;
    read_track_names(data, length, named);
    std::vector<BlockHeader> indexes;
    scan_blocks(bytes, kColourIndexType, length, [&](const BlockHeader& b) {
        if (b.size != 0) indexes.push_back(b);
        return false;
    });
    std::vector<BlockHeader> strips;
    scan_blocks(bytes, kStripType, length, [&](const BlockHeader& strip) {
        if (strip.size != 0 && block_fits(bytes, strip)) strips.push_back(strip);
        return false;
    });
    const BlockStarts starts = nested_block_starts(bytes, strips);
    const BlockStarts index_blocks(std::move(indexes));
    for (std::size_t index = 0; index < strips.size(); ++index) {
        const BlockHeader& strip = strips[index];
        const std::size_t p = static_cast<std::size_t>(strip.position);
        const std::size_t end = static_cast<std::size_t>(strip.end());
        if (!(p + 18 < end)) continue;
        BlockHeader first;
        if (!starts.first_from(p + 9, end, first) || first.position + 10 > end) continue;
        std::size_t o = static_cast<std::size_t>(first.end()) + 23 - p;
        // The first 0x2104 child from p + 9 to E - 10 that ends inside P.
        const BlockHeader* cover = index_blocks.first_between(p + 9, end - 9, end);
        if (cover != nullptr && cover->position <= p + o && cover->end() > p + o)
            o = static_cast<std::size_t>(cover->end()) + 1 - p;
        if (!(o + 1 < std::size_t{strip.size} + 7)) continue;
        const std::uint16_t value = read_u16le_checked(bytes, p + o);
        if (value == kNoColour) continue;
        if (value >= 25 && value <= 95 && value != 48 && value != 72) {
            if (index < named.size() && !display_name(named[index]).empty())
                out.push_back({display_name(named[index]), value});
        } else if (off_palette) {
            ++*off_palette;
        }
    }
}
