#include "session/track_routing.h"

#include <algorithm>
#include <array>

#include "session/channel_entries.h"
#include "session/mixer_blocks.h"
#include "util/bytes.h"

namespace {

constexpr std::uint32_t kOutputKind = 6;
constexpr std::uint16_t kRoutingType = 0x2036;
constexpr std::uint32_t kMidiTrackType = 0x2620;
constexpr std::uint32_t kInstrumentTrackType = 0x2621;
constexpr std::uint32_t kVcaType = 0x261f;
constexpr std::uint32_t kIdMarker = 42;  // '*' 0 0 0

std::vector<BlockRange> ranges_of(const std::vector<NamedBlockEntry>& named) {
    std::vector<BlockRange> out;
    for (const NamedBlockEntry& e : named) out.push_back({e.block_start, e.block_end});
    return out;
}

}  // namespace

void read_master_items(const std::uint8_t* data, std::size_t length,
                       std::span<const LaneGroup> groups, std::vector<MasterItem>& out) {
    const SessionBytes bytes = session_bytes(data, length);
    std::vector<ChannelEntry> entries;
    read_channel_entries(data, length, entries);
    // Where each output entry's ids stand after an id mark, ascending: one pass over the marks
    // for all the entries.
    std::map<std::pair<std::uint32_t, std::uint32_t>, std::vector<std::size_t>> marked;
    for (const ChannelEntry& e : entries)
        if (e.kind == kOutputKind && !e.channels.empty() && e.channels.front() >= 1)
            marked[{e.id_a, e.id_b}];
    if (!marked.empty()) {
        for (std::size_t q : id_marks(bytes)) {
            if (!bytes_fit(bytes, q + 4, 8)) break;
            const auto at =
                marked.find({read_u32le_checked(bytes, q + 4), read_u32le_checked(bytes, q + 8)});
            if (at != marked.end()) at->second.push_back(q);
        }
    }
    for (const ChannelEntry& e : entries) {
        if (e.kind != kOutputKind || e.channels.empty() || e.channels.front() < 1) continue;
        MasterItem item;
        item.name = e.name;
        item.output_pair = static_cast<std::uint32_t>((e.channels.front() + 1) / 2);
        item.pair_first_channel = 2 * item.output_pair + 1;
        for (const LaneGroup& g : groups) {
            if (g.kind == static_cast<std::int32_t>(kOutputKind) && g.id_a == e.id_a &&
                g.id_b == e.id_b) {
                item.output_group_name = g.name;
                item.output_block_start = g.block_start;
                break;
            }
        }
        for (std::size_t q : marked.at({e.id_a, e.id_b})) {
            for (const LaneGroup& g : groups) {
                if (g.block_start <= q + 4 && q + 4 < g.block_end &&
                    g.block_start != item.output_block_start) {
                    item.source_group_name = g.name;
                    item.source_block_start = g.block_start;
                    break;
                }
            }
            if (!item.source_group_name.empty()) break;
        }
        out.push_back(std::move(item));
    }
}

void read_instrument_routing(const std::uint8_t* data, std::size_t length,
                             const std::vector<NamedBlockEntry>& named,
                             std::span<const SessionItemEntry> items,
                             std::vector<InstrumentRoute>& out) {
    out.clear();
    const SessionBytes bytes = session_bytes(data, length);
    std::vector<BlockHeader> blocks;
    scan_blocks(bytes, kRoutingType, length, [&](const BlockHeader& b) {
        if (bytes[static_cast<std::size_t>(b.position) + 2] == 0 && b.size != 0)
            blocks.push_back(b);
        return false;
    });
    // The routing block of each named block, or null.
    std::vector<const BlockHeader*> routing(named.size(), nullptr);
    for (std::size_t i = 0; i < named.size(); ++i) {
        const std::uint64_t end = std::min<std::uint64_t>(length, named[i].block_end);
        const auto it =
            std::lower_bound(blocks.begin(), blocks.end(), named[i].block_start,
                             [](const BlockHeader& b, std::uint64_t p) { return b.position < p; });
        if (it != blocks.end() && it->position < end && it->end() <= end) routing[i] = &*it;
    }
    const auto id_at = [&](const BlockHeader& b) {
        std::array<std::uint8_t, 8> id{};
        std::copy_n(data + b.position + 68, 8, id.begin());
        return id;
    };
    const auto is_routed = [&](const BlockHeader& b) {
        return b.size >= 69 &&
               read_u32le_checked(bytes, static_cast<std::size_t>(b.position) + 64) == kIdMarker;
    };
    std::map<std::array<std::uint8_t, 8>, std::string> instruments;
    for (std::size_t i = 0; i < named.size(); ++i)
        if (named[i].content_type == kInstrumentTrackType && routing[i] && is_routed(*routing[i]))
            instruments.emplace(id_at(*routing[i]), display_name(named[i]));
    for (std::size_t i = 0; i < named.size(); ++i) {
        const BlockHeader* b = routing[i];
        if (named[i].content_type != kMidiTrackType || b == nullptr || b->size < 18) continue;
        const std::size_t p = static_cast<std::size_t>(b->position);
        const std::int32_t n = static_cast<std::int32_t>(read_u32le_checked(bytes, p + 21));
        if (n > 0) {
            const std::size_t item = static_cast<std::size_t>(n) - 1;
            if (item < items.size() && items[item].has_id)
                out.push_back({display_name(named[i]), items[item].name});
        } else if (n == 0 && is_routed(*b) && read_u32le_checked(bytes, p + 43) == 1) {
            const std::array<std::uint8_t, 8> id = id_at(*b);
            if (std::all_of(id.begin(), id.end(), [](std::uint8_t v) { return v == 0; })) continue;
            const auto target = instruments.find(id);
            out.push_back({display_name(named[i]), target != instruments.end()
                                                       ? target->second
                                                       : "an instrument on another track"});
        }
    }
}

void map_2514_values(const std::uint8_t* data, std::size_t length,
                     const std::vector<NamedBlockEntry>& named,
                     std::map<std::size_t, std::uint32_t>& out) {
    const SessionBytes bytes = session_bytes(data, length);
    std::vector<NamedBlockEntry> vcas;
    std::vector<std::size_t> index;
    for (std::size_t i = 0; i < named.size(); ++i) {
        if (named[i].content_type != kVcaType) continue;
        vcas.push_back(named[i]);
        index.push_back(i);
    }
    if (vcas.empty()) return;
    std::vector<BlockHeader> values = collect_blocks(bytes, 0x2514);
    std::vector<std::uint64_t> positions;
    for (const BlockHeader& b : values) positions.push_back(b.position);
    const std::vector<std::ptrdiff_t> holder =
        enclosing_ranges(ranges_of(vcas), positions, EnclosingPick::first);
    for (std::size_t k = 0; k < values.size(); ++k) {
        if (holder[k] < 0 || values[k].size <= 12) continue;
        const std::size_t v = static_cast<std::size_t>(holder[k]);
        if (vcas[v].block_end < values[k].end()) continue;
        out[index[v]] = read_u32le_checked(bytes, static_cast<std::size_t>(values[k].position) + 9);
    }
}

void collect_names_with_200b(const std::uint8_t* data, std::size_t length,
                             const std::vector<NamedBlockEntry>& named,
                             std::vector<std::string>& out) {
    const SessionBytes bytes = session_bytes(data, length);
    std::vector<BlockHeader> voice_marks;
    scan_blocks(bytes, 0x200b, length, [&](const BlockHeader& c) {
        if (high_byte_zero(c)) voice_marks.push_back(c);
        return false;
    });
    std::vector<BlockHeader> voices;
    for (const BlockHeader& b : collect_blocks(bytes, 0x261c)) {
        const std::size_t p = static_cast<std::size_t>(b.position);
        if (p + 18 > length) continue;
        // The first 0x200b block from +9 on, inside the block.
        const auto off =
            std::lower_bound(voice_marks.begin(), voice_marks.end(), p + 9,
                             [](const BlockHeader& c, std::size_t at) { return c.position < at; });
        if (off != voice_marks.end() && off->position <= b.end() && data[off->position - 1] == 0 &&
            data[off->position - 2] == 0)
            voices.push_back(b);
    }
    std::vector<std::uint64_t> positions;
    for (const BlockHeader& b : voices) positions.push_back(b.position);
    const std::vector<std::ptrdiff_t> holder =
        enclosing_ranges(ranges_of(named), positions, EnclosingPick::first);
    for (std::size_t k = 0; k < voices.size(); ++k) {
        if (holder[k] < 0) continue;
        const NamedBlockEntry& track = named[static_cast<std::size_t>(holder[k])];
        if (track.block_end < voices[k].end()) continue;
        if (!track.second_name.empty()) out.push_back(track.second_name);
        if (!track.name.empty()) out.push_back(track.name);
    }
}

void read_track_item_names(const std::uint8_t* data, std::size_t length,
                           const std::vector<NamedBlockEntry>& named,
                           std::vector<std::pair<std::string, std::string>>& out) {
    const SessionBytes bytes = session_bytes(data, length);
    std::vector<BlockHeader> items;
    scan_blocks(bytes, 0x2612, length, [&](const BlockHeader& b) {
        if (high_byte_zero(b) && block_fits(bytes, b)) items.push_back(b);
        return false;
    });
    std::vector<BlockHeader> names;
    scan_blocks(bytes, 0x260e, length, [&](const BlockHeader& b) {
        names.push_back(b);
        return false;
    });
    std::vector<std::uint64_t> positions;
    for (const BlockHeader& b : items) positions.push_back(b.position);
    const std::vector<std::ptrdiff_t> holder =
        enclosing_ranges(ranges_of(named), positions, EnclosingPick::first);
    for (std::size_t k = 0; k < items.size(); ++k) {
        std::string item = "<unnamed>";
        const BlockHeader* name = first_block_between(names, items[k].position + 8, length);
        if (name && name->size > 45 - 7 && block_fits(bytes, *name)) {
            const std::size_t p = static_cast<std::size_t>(name->position);
            const std::uint32_t l = read_u32le_checked(bytes, p + 38);
            std::string_view text;
            if (l >= 1 && l <= 128 && name->size >= l + 42 &&
                read_text_at(bytes, p + 38, static_cast<std::size_t>(name->end()), 1, 128,
                             TextBytes::printable, text))
                item = std::string(text);
        }
        std::string track;
        if (holder[k] >= 0) {
            const NamedBlockEntry& t = named[static_cast<std::size_t>(holder[k])];
            if (t.block_end >= items[k].end()) track = display_name(t);
        }
        out.emplace_back(std::move(item), std::move(track));
    }
}
