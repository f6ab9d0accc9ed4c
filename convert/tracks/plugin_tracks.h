// Plug-in instances on their tracks: which track each slot sits on, the gain of every Avid Trim,
// the Trims' polarity flips per track, the unlinked multi-mono slots, the one-channel legs of a
// stereo output path and the mixer strips that are neither mono nor stereo.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "model/mix_records.h"
#include "model/plugin_instance.h"
#include "session/scan.h"

// The Avid Trim's stored gain (a signed 32-bit value) in dB: linear between the measured points
// -12, -6, -3, 0, +3 and +6 dB, the outer segments extended; +6 dB above 2147483645. `extended`
// is set for a value below the -12 dB point.
double trim_gain_db(std::int32_t stored, bool& extended);

// A strip's list count is that of a mono strip (3 lists, 2 without a pan) or a stereo one (4 or 5,
// with a trim).
bool mono_or_stereo(std::uint32_t list_count);

struct TrimCounts {
    int active = 0;                      // neither bypassed nor inactive
    int different_gain_per_channel = 0;  // unlinked Trims whose channels differ in gain
    int below_measured_range = 0;        // gains below -12 dB, extended
    int mixed_polarity = 0;              // a channel after the second differs from the first
    int polarity_while_off = 0;          // bypassed or inactive with polarity switched on
    int cancelling_tracks = 0;           // tracks whose inverting Trims are even on both sides
};

struct PluginTrackInput {
    SessionBytes bytes;
    std::span<const SessionPluginInstance> instances;  // in session order
    std::span<const TrackLaneSet> lane_sets;
    std::span<const LaneGroup> lane_groups;
    // The display name of the instance's mapping rule; null when no rule matches.
    std::function<const char*(const SessionPluginInstance&)> rule_name;
};

struct PluginTrackTies {
    // Instances by the name of the track they sit on, in session order.
    std::map<std::string, std::vector<SessionPluginInstance>> plugins_by_track;
    std::map<std::uint64_t, std::string> strip_name_by_instance;  // by block position
    std::map<std::uint64_t, double> trim_gain_by_instance;        // dB, by block position
    std::map<std::string, std::int32_t> flips_left;  // Trims inverting a track's first channel
    std::map<std::string, std::int32_t> flips_right;
    TrimCounts trims;
    std::vector<std::string> multi_mono;  // "%s on %s (%d channels)"
    // -1 / +1: the track plays the first / second channel of a " / " output path.
    std::map<std::string, std::int32_t> channel_side;
    std::vector<std::string> one_channel_tracks;  // "%s (left)" or "%s (right)", by track name
    std::vector<std::string> odd_strips;          // "%s (%d control slots)"
    std::set<std::string> odd_strip_names;
};

PluginTrackTies tie_plugins_to_tracks(const PluginTrackInput& in);
