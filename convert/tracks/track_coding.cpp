#include "convert/tracks/track_coding.h"

#include <algorithm>

#include "convert/writer/colors.h"
#include "session/channel_strips.h"
#include "session/scan.h"
#include "util/bytes.h"

namespace {

constexpr std::uint32_t kTrack = 0x261b;
constexpr std::uint32_t kMasterFader = 0x261d;
constexpr std::uint32_t kVcaMaster = 0x261f;
constexpr std::uint32_t kMidiTrack = 0x2620;
constexpr std::uint32_t kInstrumentTrack = 0x2621;
constexpr std::uint32_t kVideoTrack = 0x2623;
constexpr std::uint16_t kTrackBlock = 0x261c;
constexpr std::uint16_t kMidiValues = 0x2036;

std::int32_t table_index(std::int64_t position) {
    return kColorCodingIndices[static_cast<std::size_t>(position % 16)];
}

// Stored under the second name (replacing) and under the name when it has none yet.
void store(ColourCoding& out, const NamedBlockEntry& entry, std::int32_t index, bool replace_name) {
    if (!entry.second_name.empty()) out.index_by_track[entry.second_name] = index;
    if (entry.name.empty()) return;
    if (replace_name)
        out.index_by_track[entry.name] = index;
    else
        out.index_by_track.emplace(entry.name, index);
}

// The 0x261c spans sorted by start, each with the furthest end of the spans up to it: a position
// lies inside some span when the last span starting at or before it reaches past it.
struct TrackBlockSpans {
    std::vector<std::pair<std::uint64_t, std::uint64_t>> start_and_reach;
};

TrackBlockSpans track_block_spans(const ColourCodingInput& in) {
    TrackBlockSpans out;
    const std::size_t n = std::min(in.track_block_starts.size(), in.track_block_ends.size());
    for (std::size_t i = 0; i < n; ++i)
        out.start_and_reach.emplace_back(in.track_block_starts[i], in.track_block_ends[i]);
    std::sort(out.start_and_reach.begin(), out.start_and_reach.end());
    for (std::size_t i = 1; i < n; ++i)
        out.start_and_reach[i].second =
            std::max(out.start_and_reach[i].second, out.start_and_reach[i - 1].second);
    return out;
}

bool inside_track_block(const TrackBlockSpans& spans, const NamedBlockEntry& entry) {
    const auto& list = spans.start_and_reach;
    const auto after =
        std::upper_bound(list.begin(), list.end(), entry.block_start,
                         [](std::uint64_t at, const std::pair<std::uint64_t, std::uint64_t>& span) {
                             return at < span.first;
                         });
    return after != list.begin() && std::prev(after)->second > entry.block_start;
}

std::int32_t type_index(const TrackBlockSpans& spans, const NamedBlockEntry& entry) {
    switch (entry.content_type) {
        case kTrack:
            return inside_track_block(spans, entry) ? 94 : 86;
        case kMasterFader:
            return 80;
        case kVcaMaster:
            return 95;
        case kMidiTrack:
            return 75;
        case kInstrumentTrack:
            return 59;
        case kVideoTrack:
            return 91;
        default:
            return 0;
    }
}

void by_groups(const ColourCodingInput& in, ColourCoding& out) {
    if (in.kept_groups == nullptr || in.strips == nullptr) return;
    std::map<std::string, std::uint32_t> slot_by_track;
    for (const SessionGroup& g : *in.kept_groups) {
        if (g.active == 0 || g.name == kAllGroupName) continue;
        if (g.slot == 0) {
            ++out.groups_without_slot;
            continue;
        }
        const std::int32_t index = table_index((static_cast<std::int64_t>(g.slot) - 1) % 26);
        for (std::uint32_t m : g.members) {
            if (m >= in.strips->size()) continue;
            const std::string& name = (*in.strips)[m];
            const auto held = slot_by_track.find(name);
            if (held != slot_by_track.end() && held->second >= g.slot) continue;
            slot_by_track[name] = g.slot;
            out.index_by_track[name] = index;
        }
    }
}

void by_rows(const ColourCodingInput& in, ColourCoding& out) {
    const std::vector<NamedBlockEntry>& named = *in.named;
    for (std::size_t i = 0; i < named.size(); ++i) {
        const NamedBlockEntry& entry = named[i];
        std::int64_t v = 0;
        if (i < in.row_values.size() && in.row_values[i] > 0) {
            v = in.row_values[i];
        } else {
            v = static_cast<std::int64_t>(i) + 1;
            ++out.position_for_want_of_row;
        }
        if (entry.content_type == kVideoTrack) {
            ++out.video_not_coloured;
            continue;
        }
        std::int32_t index = 0;
        if (entry.content_type == kMidiTrack || entry.content_type == kInstrumentTrack) {
            const std::int64_t device = i < in.device_numbers.size() ? in.device_numbers[i] : -1;
            const std::size_t items = in.items ? in.items->size() : 0;
            if (device < 1 || static_cast<std::size_t>(device) > items ||
                (*in.items)[static_cast<std::size_t>(device - 1)].number == 0) {
                ++out.midi_without_channel;
                continue;
            }
            const SessionItemEntry& item = (*in.items)[static_cast<std::size_t>(device - 1)];
            if (in.mode == 1) {
                index = table_index((static_cast<std::int64_t>(item.number) - 1) % 26);
            } else if (item.has_id) {
                ++out.devices_with_id;
                continue;
            } else {
                index = table_index(item.value);
            }
        } else {
            if (v > 26) ++out.past_26;
            index = table_index(v - 1);
        }
        if (index > 0) store(out, entry, index, false);
    }
}

}  // namespace

ColourCoding colour_coding(const ColourCodingInput& in) {
    ColourCoding out;
    if (in.named == nullptr) return out;
    switch (in.mode) {
        case 4: {
            const TrackBlockSpans spans = track_block_spans(in);
            for (const NamedBlockEntry& entry : *in.named) {
                const std::int32_t index = type_index(spans, entry);
                if (index > 0) store(out, entry, index, true);
            }
            break;
        }
        case 3:
            by_groups(in, out);
            break;
        case 1:
        case 2:
            by_rows(in, out);
            break;
        default:
            break;
    }
    return out;
}

void read_colour_coding_input(const std::uint8_t* data, std::size_t length, ColourCodingInput& in) {
    const SessionBytes bytes = session_bytes(data, length);
    in.track_block_starts.clear();
    in.track_block_ends.clear();
    scan_blocks(bytes, kTrackBlock, last_scan_position(length), [&](const BlockHeader& block) {
        in.track_block_starts.push_back(block.position);
        in.track_block_ends.push_back(block.end());
        return false;
    });
    if (in.named == nullptr) return;
    if (in.mode == 1 || in.mode == 2) {
        reduce_102d_per_track(data, length, *in.named, in.row_values);
        in.device_numbers.assign(in.named->size(), -1);
        // The candidates, once for all blocks: each block reads the first one after its start.
        std::vector<BlockHeader> values;
        scan_blocks(bytes, kMidiValues, length, [&](const BlockHeader& block) {
            values.push_back(block);
            return false;
        });
        for (std::size_t i = 0; i < in.named->size(); ++i) {
            const NamedBlockEntry& entry = (*in.named)[i];
            if (entry.content_type != kMidiTrack && entry.content_type != kInstrumentTrack)
                continue;
            const std::uint64_t end = std::min<std::uint64_t>(entry.block_end, length);
            const auto block = std::upper_bound(
                values.begin(), values.end(), entry.block_start,
                [](std::uint64_t at, const BlockHeader& b) { return at < b.position; });
            if (block == values.end() || block->position > end) continue;
            if (block->size > 15 &&
                block->position + 25 <= std::min<std::uint64_t>(block->end(), length))
                in.device_numbers[i] = read_u32le(data, block->position + 21);
        }
    }
}

std::optional<std::int32_t> palette_index_of(const std::map<std::string, std::int32_t>& by_track,
                                             const std::string& name,
                                             const std::string& session_name) {
    auto found = by_track.find(name);
    if (found == by_track.end()) found = by_track.find(session_name);
    if (found == by_track.end()) return std::nullopt;
    return found->second;
}

std::optional<std::int32_t> coding_index_of(const ColourCoding& coding, const std::string& name,
                                            const std::string& session_name) {
    return palette_index_of(coding.index_by_track, name, session_name);
}
