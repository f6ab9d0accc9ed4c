#include "session/midi_mute_lanes.h"

#include <algorithm>
#include <vector>

#include "session/breakpoint_list.h"
#include "session/mixer_blocks.h"
#include "session/track_names.h"
#include "util/bytes.h"

namespace {

constexpr std::uint16_t kLaneSetType = 0x2611;
constexpr std::uint16_t kStateType = 0x2036;
constexpr std::uint16_t kListType = 0x260a;
constexpr std::uint32_t kMidiTrackType = 0x2620;

std::vector<BlockHeader> blocks_above_one(SessionBytes bytes, std::uint16_t type) {
    std::vector<BlockHeader> out;
    scan_blocks(bytes, type, bytes.size(), [&](const BlockHeader& b) {
        if (bytes[static_cast<std::size_t>(b.position) + 2] == 0 && b.size > 1 &&
            block_fits(bytes, b))
            out.push_back(b);
        return false;
    });
    return out;
}

// The blocks of `blocks` (position order) that begin after `outer` begins and end inside it.
template <typename Visit>
void for_each_inside(const std::vector<BlockHeader>& blocks, std::uint64_t start, std::uint64_t end,
                     Visit&& visit) {
    auto it =
        std::upper_bound(blocks.begin(), blocks.end(), start,
                         [](std::uint64_t p, const BlockHeader& b) { return p < b.position; });
    for (; it != blocks.end() && it->position < end; ++it)
        if (it->end() <= end) visit(*it);
}

bool zero_or_one(double value) {
    return value == 0.0 || value == 1.0;
}

}  // namespace

void read_automation_lanes_3(const std::uint8_t* data, std::size_t length,
                             std::map<std::string, MidiMuteLane>& out) {
    const SessionBytes bytes = session_bytes(data, length);
    std::vector<NamedBlockEntry> named;
    read_track_names(data, length, named);
    const std::vector<BlockHeader> lane_sets = blocks_above_one(bytes, kLaneSetType);
    const std::vector<BlockHeader> states = blocks_above_one(bytes, kStateType);
    const std::vector<BlockHeader> lists = blocks_above_one(bytes, kListType);

    for (const NamedBlockEntry& track : named) {
        if (track.content_type != kMidiTrackType) continue;
        MidiMuteLane lane;
        bool state_found = false;
        bool found = false;
        for_each_inside(lane_sets, track.block_start, track.block_end, [&](const BlockHeader& set) {
            for_each_inside(states, set.position, set.end(), [&](const BlockHeader& state) {
                if (state_found || state.size <= 9) return;
                const std::uint32_t value =
                    read_u32le_checked(bytes, static_cast<std::size_t>(state.position) + 13);
                if (value > 1) return;
                lane.state = static_cast<std::uint8_t>(value);
                state_found = found = true;
            });
            std::vector<std::uint64_t> in_set;
            for_each_inside(lists, set.position, set.end(),
                            [&](const BlockHeader& list) { in_set.push_back(list.position); });
            if (in_set.size() != 1) return;
            AutomationCurve curve;
            read_breakpoint_list(data, length, in_set.front(), curve);
            const bool mute = zero_or_one(curve.initial_value) &&
                              std::all_of(curve.points.begin(), curve.points.end(),
                                          [](const CurvePoint& p) { return zero_or_one(p.value); });
            if (mute) {
                lane.lane = std::move(curve);
                lane.has_lane = 1;
            } else {
                ++lane.other_lanes;
            }
            found = true;
        });
        const std::string& key = display_name(track);
        if (found && !key.empty()) out[key] = std::move(lane);
    }
}
