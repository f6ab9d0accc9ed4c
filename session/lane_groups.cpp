#include "session/lane_groups.h"

#include <algorithm>
#include <cmath>
#include <set>
#include <tuple>

#include "session/breakpoint_list.h"
#include "session/channel_entries.h"
#include "session/lane_records.h"
#include "session/mixer_blocks.h"
#include "util/bytes.h"

namespace {

constexpr std::uint16_t kNameType = 0x2619;
constexpr std::uint16_t kLaneType = 0x260d;
constexpr std::uint16_t kOutputNameType = 0x260e;
constexpr std::uint16_t kAudioTrackType = 0x261b;
constexpr std::uint16_t kInstrumentTrackType = 0x2621;
constexpr std::uint32_t kMaxNameLength = 80;
constexpr std::uint32_t kIdMarker = 42;  // '*' 0 0 0

using ChannelKey = std::tuple<std::uint32_t, std::uint32_t, std::uint32_t>;

AutomationCurve read_list(const std::uint8_t* data, std::size_t length, std::uint64_t at) {
    AutomationCurve curve;
    read_breakpoint_list(data, length, at, curve);
    return curve;
}

std::int32_t truncated(double value) {
    return static_cast<std::int32_t>(std::trunc(value));
}

// The name of the track block's first name block: false when it cannot be read (a length of 0
// reads as an empty name).
bool track_name(SessionBytes bytes, const std::vector<BlockHeader>& names, const BlockHeader& track,
                std::string& out) {
    const BlockHeader* name = first_block_between(names, track.position, track.end());
    if (name == nullptr) return false;
    const std::size_t at = static_cast<std::size_t>(name->position) + 9;
    if (!bytes_fit(bytes, at, 4)) return false;
    if (read_u32le_checked(bytes, at) == 0) {
        out.clear();
        return true;
    }
    std::string_view text;
    if (!read_text_at(bytes, at, bytes.size(), 1, kMaxNameLength, TextBytes::name, text))
        return false;
    out = std::string(text);
    return true;
}

// The lane's output name block and its name; false when the lane holds none.
bool lane_output(SessionBytes bytes, const std::vector<BlockHeader>& outputs,
                 const BlockHeader& lane, std::string& name) {
    const BlockHeader* output = first_block_between(outputs, lane.position, lane.end());
    if (output == nullptr) return false;
    const std::size_t p = static_cast<std::size_t>(output->position);
    name = std::string(first_text_from(bytes, p + 11, static_cast<std::size_t>(output->end()), 1,
                                       kMaxNameLength, TextBytes::name));
    return true;
}

TrackSend read_send(const std::uint8_t* data, std::size_t length, const BlockHeader& track,
                    const BlockHeader& lane, std::string destination, const BreakpointIndex& index,
                    TrackLayouts& layouts) {
    const SessionBytes bytes = session_bytes(data, length);
    const std::size_t fader = static_cast<std::size_t>(lane.position) + 9;
    TrackSend send;
    send.destination_name = std::move(destination);
    send.post_fader = bytes[fader + 9];
    send.level_db = static_cast<std::int32_t>(read_u32le_checked(bytes, fader + 10)) / 10.0;

    BreakpointGroups groups;
    if (!index.send_lists(lane.position, lane.end(), groups))
        read_breakpoints(data, length, lane.position, lane.end(), groups);
    const auto set_pan = [&](std::uint64_t at) {
        send.pan = read_list(data, length, at);
        send.pan_left = truncated(send.pan.initial_value);
        send.channel_count = 1;
    };
    const auto set_right = [&](std::uint64_t at) {
        send.pan_right_curve = read_list(data, length, at);
        send.pan_right = truncated(send.pan_right_curve.initial_value);
        send.channel_count = 2;
    };
    if (!groups.multi) {
        std::vector<std::uint64_t> lists = groups.loose;
        for (const std::vector<std::uint64_t>& g : groups.groups)
            lists.insert(lists.end(), g.begin(), g.end());
        std::sort(lists.begin(), lists.end());
        if (lists.size() > 0) send.volume = read_list(data, length, lists[0]);
        if (lists.size() > 1) send.mute = read_list(data, length, lists[1]);
        if (lists.size() > 2) set_pan(lists[2]);
        if (lists.size() > 3) set_right(lists[3]);
        return send;
    }
    const std::vector<std::uint64_t>& loose = groups.loose;
    const std::vector<std::vector<std::uint64_t>>& g = groups.groups;
    if (loose.size() > 0) send.volume = read_list(data, length, loose[0]);
    if (loose.size() > 1) send.mute = read_list(data, length, loose[1]);
    if (!g.empty() && !g[0].empty()) set_pan(g[0][0]);
    bool stereo = true;
    if (g.size() >= 2 && g[0].size() >= 2 && g[1].size() >= 2) {
        stereo = truncated(read_list(data, length, g[0][1]).initial_value) == -100 &&
                 truncated(read_list(data, length, g[1][1]).initial_value) == 100;
    }
    const int layout = layouts.of(track);
    if (stereo || layout != 1) {
        if (g.size() >= 2 && layout == 1 && !g[1].empty())
            set_right(g[1][0]);
        else if (send.channel_count == 1 && loose.size() >= 3)
            send.channel_count = 2;
    }
    return send;
}

// The channel the track block names outside its lanes, confirmed by a channel entry.
// `skipped`: the track's lanes and the track blocks inside it, in position order.
void find_channel_name(SessionBytes bytes, const BlockHeader& track,
                       const std::vector<BlockHeader>& skipped, const std::set<ChannelKey>& entries,
                       LaneGroup& group) {
    const std::vector<BlockHeader>& lanes = skipped;
    const std::size_t end = static_cast<std::size_t>(track.end());
    std::size_t lane = 0;
    for (std::size_t q = static_cast<std::size_t>(track.position); q + 4 < end; ++q) {
        while (lane < lanes.size() && lanes[lane].end() <= q) ++lane;
        if (lane < lanes.size() && lanes[lane].position < q) {
            q = static_cast<std::size_t>(lanes[lane].end()) - 1;
            continue;
        }
        const std::uint32_t l = read_u32le_checked(bytes, q);
        if (l < 1 || l > kMaxNameLength || q + l + 24 > end) continue;
        if (read_u32le_checked(bytes, q + l + 4) != 0 ||
            read_u32le_checked(bytes, q + l + 8) != kIdMarker || bytes[q + l + 20] != 0 ||
            bytes[q + l + 22] != 0 || bytes[q + l + 23] != 0)
            continue;
        const std::string_view name(reinterpret_cast<const char*>(bytes.data() + q + 4), l);
        if (!text_has_bytes(name, TextBytes::name)) continue;
        const std::uint32_t id_a = read_u32le_checked(bytes, q + l + 12);
        const std::uint32_t id_b = read_u32le_checked(bytes, q + l + 16);
        const std::uint32_t kind = bytes[q + l + 21];
        if (entries.count({id_a, id_b, kind}) == 0) continue;
        group.channel_name = std::string(name);
        group.id_a = id_a;
        group.id_b = id_b;
        group.kind = static_cast<std::int32_t>(kind);
        group.channel_name_position = q;
        return;
    }
}

}  // namespace

void read_automation_lanes(const std::uint8_t* data, std::size_t length,
                           std::vector<LaneGroup>& out) {
    const SessionBytes bytes = session_bytes(data, length);
    std::vector<BlockHeader> tracks = collect_blocks(bytes, kAudioTrackType);
    const std::vector<BlockHeader> instruments = collect_blocks(bytes, kInstrumentTrackType);
    tracks.insert(tracks.end(), instruments.begin(), instruments.end());
    std::sort(tracks.begin(), tracks.end(),
              [](const BlockHeader& a, const BlockHeader& b) { return a.position < b.position; });
    const std::vector<BlockHeader> names = collect_blocks(bytes, kNameType);
    const std::vector<BlockHeader> lanes = collect_blocks(bytes, kLaneType);
    const std::vector<BlockHeader> outputs = collect_blocks(bytes, kOutputNameType);
    std::vector<ChannelEntry> channel_entries;
    read_channel_entries(data, length, channel_entries);
    std::set<ChannelKey> entries;
    for (const ChannelEntry& e : channel_entries) entries.insert({e.id_a, e.id_b, e.kind});

    const auto first_at = [](const std::vector<BlockHeader>& blocks, std::uint64_t at) {
        return static_cast<std::size_t>(
            std::lower_bound(blocks.begin(), blocks.end(), at,
                             [](const BlockHeader& b, std::uint64_t p) { return b.position < p; }) -
            blocks.begin());
    };
    TrackLayouts layouts(data, length, tracks);
    const BreakpointIndex breakpoints(data, length);
    for (std::size_t t = 0; t < tracks.size(); ++t) {
        const BlockHeader& track = tracks[t];
        // The track blocks directly inside this one: their lanes and bytes are their own.
        std::vector<BlockHeader> inner;
        for (std::size_t j = first_at(tracks, track.position + kFirstChildOffset);
             j < tracks.size() && tracks[j].position < track.end();
             j = first_at(tracks, tracks[j].end()))
            inner.push_back(tracks[j]);
        LaneGroup group;
        if (!track_name(bytes, names, track, group.name)) continue;
        group.block_start = track.position;
        group.block_end = track.end();

        std::vector<BlockHeader> own;  // the lanes inside the track block, past its header
        std::size_t next_inner = 0;
        for (std::size_t l = first_at(lanes, track.position + kFirstChildOffset);
             l < lanes.size() && lanes[l].position < track.end();) {
            while (next_inner < inner.size() && inner[next_inner].end() <= lanes[l].position)
                ++next_inner;
            if (next_inner < inner.size() && inner[next_inner].position < lanes[l].position) {
                l = first_at(lanes, inner[next_inner].end());
                continue;
            }
            own.push_back(lanes[l++]);
        }
        for (std::size_t i = 0; i < own.size(); ++i) {
            const BlockHeader& lane = own[i];
            const std::size_t p = static_cast<std::size_t>(lane.position);
            if (p + 28 > length || !is_fader_block(bytes, p + 9)) continue;
            std::string name;
            const bool has_output = lane_output(bytes, outputs, lane, name);
            if (i == 0) {
                group.output_name = name;
                group.no_output_name = has_output ? 0 : 1;
            } else if (!name.empty()) {
                group.sends.push_back(
                    read_send(data, length, track, lane, name, breakpoints, layouts));
            }
        }
        std::vector<BlockHeader> skipped = own;
        skipped.insert(skipped.end(), inner.begin(), inner.end());
        std::sort(skipped.begin(), skipped.end(), [](const BlockHeader& a, const BlockHeader& b) {
            return a.position < b.position;
        });
        find_channel_name(bytes, track, skipped, entries, group);
        out.push_back(std::move(group));
    }
}
