#include "convert/tracks/plugin_tracks.h"

#include <algorithm>
#include <array>
#include <utility>

#include "app/output.h"
#include "session/digitrim.h"

namespace {

// Stored Trim values and their gains as measured in Pro Tools.
constexpr std::array<std::pair<double, double>, 6> kTrimPoints = {{
    {-161638556.0, -12.0},
    {463923640.0, -6.0},
    {778803940.0, -3.0},
    {1093684240.0, 0.0},
    {1635278356.0, 3.0},
    {2147483646.0, 6.0},
}};
constexpr std::int32_t kTrimTop = 2147483645;
constexpr const char* kTrimId = "DigiTrim";
constexpr const char* kNoStrip = "(unmatched strip)";

bool is_trim(const SessionPluginInstance& instance) {
    return instance.aax_id.compare(0, 8, kTrimId) == 0;
}

// The assigned lane sets' fader positions in order, each with its lane set's index.
std::vector<std::pair<std::uint64_t, std::size_t>> fader_index(
    std::span<const TrackLaneSet> lane_sets) {
    std::vector<std::pair<std::uint64_t, std::size_t>> index;
    for (std::size_t i = 0; i < lane_sets.size(); ++i) {
        if (lane_sets[i].assigned) index.emplace_back(lane_sets[i].fader_position, i);
    }
    std::sort(index.begin(), index.end());
    return index;
}

// The first lane set (in list order) whose fader block lies strictly inside the instance's
// owner block.
const TrackLaneSet* owning_track(std::span<const TrackLaneSet> lane_sets,
                                 const std::vector<std::pair<std::uint64_t, std::size_t>>& faders,
                                 const SessionPluginInstance& instance) {
    if (instance.owner_end <= instance.owner_start + 1) return nullptr;
    auto it = std::lower_bound(faders.begin(), faders.end(),
                               std::make_pair(instance.owner_start + 1, std::size_t{0}));
    std::size_t first = lane_sets.size();
    for (; it != faders.end() && it->first < instance.owner_end; ++it) {
        first = std::min(first, it->second);
    }
    return first < lane_sets.size() ? &lane_sets[first] : nullptr;
}

void read_trim(const PluginTrackInput& in, const SessionPluginInstance& instance,
               const std::string* track, PluginTrackTies& out) {
    const std::uint8_t* data = in.bytes.data();
    const std::size_t length = in.bytes.size();
    const std::size_t start = instance.block_pos;
    const std::size_t end = instance.settings_end;
    std::vector<std::uint32_t> values;
    find_digitrim(data, length, start, end, values);
    if (!values.empty()) {
        bool extended = false;
        out.trim_gain_by_instance[instance.block_pos] =
            trim_gain_db(static_cast<std::int32_t>(values.front()), extended);
        if (extended) ++out.trims.below_measured_range;
        for (std::uint32_t v : values) {
            if (v != values.front()) {
                ++out.trims.different_gain_per_channel;
                break;
            }
        }
    }
    if (instance.bypassed || instance.inactive) {
        if (has_digitrim(data, length, start, end)) ++out.trims.polarity_while_off;
        return;
    }
    ++out.trims.active;
    std::vector<std::uint32_t> flips;
    read_digitrim_values(data, length, start, end, flips);
    if (flips.empty()) return;
    // A mono Trim stores one value: it inverts the track's only channel, so both sides count.
    const std::uint32_t left = flips[0];
    const std::uint32_t right = flips.size() > 1 ? flips[1] : flips[0];
    if (track != nullptr) {
        if (left != 0) ++out.flips_left[*track];
        if (right != 0) ++out.flips_right[*track];
    }
    for (std::size_t i = 2; i < flips.size(); ++i) {
        if (flips[i] != flips[0]) {
            ++out.trims.mixed_polarity;
            break;
        }
    }
}

// Tracks that play one channel of a two-channel output path "first / second", by output name.
void find_channel_sides(std::span<const LaneGroup> groups, PluginTrackTies& out) {
    std::map<std::string, std::int32_t> side_of_output;
    for (const LaneGroup& g : groups) {
        const std::size_t cut = g.output_name.find(" / ");
        if (cut == std::string::npos) continue;
        side_of_output.emplace(g.output_name.substr(0, cut), -1);
        side_of_output.emplace(g.output_name.substr(cut + 3), 1);
    }
    if (side_of_output.empty()) return;
    for (const LaneGroup& g : groups) {
        const auto it = side_of_output.find(g.output_name);
        if (it != side_of_output.end()) out.channel_side.emplace(g.name, it->second);
    }
    for (const auto& [track, side] : out.channel_side)
        out.one_channel_tracks.push_back(track + (side < 0 ? " (left)" : " (right)"));
}

// Tracks where Trims invert but an even number of them on each side leaves the track in phase.
int count_cancelling_tracks(const PluginTrackTies& ties) {
    std::set<std::string> tracks;
    for (const auto& [track, flips] : ties.flips_left) tracks.insert(track);
    for (const auto& [track, flips] : ties.flips_right) tracks.insert(track);
    int cancelling = 0;
    for (const std::string& track : tracks) {
        const auto left = ties.flips_left.find(track);
        const auto right = ties.flips_right.find(track);
        const std::int32_t l = left != ties.flips_left.end() ? left->second : 0;
        const std::int32_t r = right != ties.flips_right.end() ? right->second : 0;
        if (l % 2 == 0 && r % 2 == 0) ++cancelling;
    }
    return cancelling;
}

}  // namespace

bool mono_or_stereo(std::uint32_t list_count) {
    return list_count >= 2 && list_count <= 5;
}

double trim_gain_db(std::int32_t stored, bool& extended) {
    extended = false;
    if (stored > kTrimTop) return 6.0;
    const double v = stored;
    std::size_t segment = 0;  // from point `segment` to the next
    while (segment + 2 < kTrimPoints.size() && v > kTrimPoints[segment + 1].first) ++segment;
    const auto [x0, y0] = kTrimPoints[segment];
    const auto [x1, y1] = kTrimPoints[segment + 1];
    extended = v < kTrimPoints.front().first;
    return y0 + (v - x0) * (y1 - y0) / (x1 - x0);
}

PluginTrackTies tie_plugins_to_tracks(const PluginTrackInput& in) {
    PluginTrackTies out;
    const auto faders = fader_index(in.lane_sets);
    for (const SessionPluginInstance& instance : in.instances) {
        const TrackLaneSet* track = owning_track(in.lane_sets, faders, instance);
        if (track != nullptr) {
            out.plugins_by_track[track->name].push_back(instance);
            out.strip_name_by_instance[instance.block_pos] = track->name;
        }
        if (is_trim(instance)) read_trim(in, instance, track ? &track->name : nullptr, out);
        if (instance.header_byte > 1) {
            const char* rule = in.rule_name ? in.rule_name(instance) : nullptr;
            out.multi_mono.push_back(format_text(
                "%s on %s (%d channels)", rule != nullptr ? rule : instance.stored_name.c_str(),
                track != nullptr ? track->name.c_str() : kNoStrip,
                static_cast<int>(instance.header_byte)));
        }
    }

    out.trims.cancelling_tracks = count_cancelling_tracks(out);
    find_channel_sides(in.lane_groups, out);
    for (const TrackLaneSet& lane_set : in.lane_sets) {
        if (!lane_set.assigned || out.channel_side.count(lane_set.name) != 0 ||
            mono_or_stereo(lane_set.list_count)) {
            continue;
        }
        out.odd_strips.push_back(format_text("%s (%d control slots)", lane_set.name.c_str(),
                                             static_cast<int>(lane_set.list_count)));
        out.odd_strip_names.insert(lane_set.name);
    }
    return out;
}
