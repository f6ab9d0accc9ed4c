// A track's mixer state, mix automation and sends as read from the session, and the tables that
// name outputs and buses.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "model/curves.h"

// One send as read from a track block.
struct TrackSend {
    std::string destination_name;
    double level_db = 0.0;
    std::uint8_t post_fader = 0;
    AutomationCurve volume;
    AutomationCurve mute;
    AutomationCurve pan;
    AutomationCurve pan_right_curve;  // the fourth curve: the right pan of a stereo send
    // Initial values of the pan curves truncated toward zero, percent.
    std::int32_t pan_left = 0;
    std::int32_t pan_right = 0;
    std::uint32_t channel_count = 0;  // 0 none read, 1 mono pan, 2 stereo
};

// One per track of the session's track list: fader values and mix automation.
struct TrackLaneSet {
    std::string name;
    double fader_db = 0.0;
    std::int32_t pan_left = 0;  // the fader block's two pan values, percent
    std::int32_t pan_right = 0;
    std::uint8_t muted = 0;
    std::uint8_t assigned = 0;         // a fader block was found for the track
    std::uint64_t fader_position = 0;  // the level field of the track's fader block
    AutomationCurve volume;
    AutomationCurve mute;
    AutomationCurve pan;              // the left pan of a stereo panner
    AutomationCurve pan_right_curve;  // the right pan of a stereo panner
    AutomationCurve trim;             // the trim volume
    std::uint8_t stereo_pan = 0;      // the lane held five lists
    std::uint32_t list_count = 0;
    std::uint32_t dual_pan_points = 0;
    AutomationCurve pan_left_lane;  // the left pan's automation when the stereo pan is automated
    AutomationCurve lfe_level;
    std::uint8_t has_lfe_level = 0;
    // The seven lanes of a surround panner's first and second input: front X, rear X, front/rear
    // position, divergence 1, divergence 2, divergence cap, center percent.
    std::vector<AutomationCurve> surround_lanes_1;
    std::vector<AutomationCurve> surround_lanes_2;
};

// One per named track block: its sends and how it names its output and its channel.
struct LaneGroup {
    std::string name;
    std::string channel_name;  // the name the block ties to a ChannelEntry
    std::vector<TrackSend> sends;
    std::string output_name;          // the destination named in the track's own lane
    std::uint8_t no_output_name = 0;  // the own lane holds no output name block
    std::uint64_t block_start = 0;
    std::uint64_t block_end = 0;
    std::uint32_t id_a = 0;
    std::uint32_t id_b = 0;
    std::int32_t kind = -1;  // of the matched ChannelEntry; -1 when none matched
    std::uint64_t channel_name_position = 0;
};

// How the breakpoint lists of a lane are grouped; scratch for the lane readers.
struct BreakpointGroups {
    std::vector<std::uint64_t> loose;                // lists outside every group block
    std::vector<std::vector<std::uint64_t>> groups;  // one per group block, in position order
    std::uint8_t multi = 0;                          // some group holds more than one list
};

// Names of outputs and buses by key and by channel id.
struct NameIndex {
    std::map<std::string, std::vector<std::uint32_t>> ids_by_key;
    std::map<std::uint32_t, std::string> name_by_id;
    std::map<std::string, std::string> override_by_key;
};

// One further output pair of a multi-output source.
struct MasterItem {
    std::string name;                      // the kind-6 channel entry's name
    std::uint32_t output_pair = 0;         // p, from the entry's first channel number
    std::uint32_t pair_first_channel = 0;  // 2p + 1
    std::string source_group_name;
    std::string output_group_name;
    std::uint64_t source_block_start = 0;
    std::uint64_t output_block_start = 0;
};

// The mute automation of a MIDI track (keyed by track name).
struct MidiMuteLane {
    std::uint8_t state = 0;  // the track's stored mute state, 0 or 1
    std::uint8_t has_lane = 0;
    std::uint16_t other_lanes = 0;  // lists that are not a mute lane
    AutomationCurve lane;
};

// One clip-gain list: positions in samples from the clip's start, gains in dB.
struct GainPoint {
    std::uint32_t position = 0;
    double db = 0.0;
};
using GainCurve = std::vector<GainPoint>;
