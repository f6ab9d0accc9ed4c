// How the session's tracks are wired together, worked out once before the first track block:
// the further outputs of multi-output sources, outputs into other tracks, tracks without an
// output, the sends as receives, the surround panners, the sidechain keys and the folders. The
// tables that outlive the writing go to `track_wiring` (track_wiring_state.h); the rest is
// returned for the track blocks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "convert/writer/track_writer.h"
#include "model/mix_records.h"
#include "model/output_model.h"
#include "model/plugin_instance.h"
#include "model/session_send.h"

using PluginsByTrack = std::map<std::string, std::vector<SessionPluginInstance>>;

struct TrackWiringInput {
    const std::uint8_t* data = nullptr;
    std::size_t length = 0;
    std::span<const LaneGroup> groups;
    std::span<const TrackLaneSet> lane_sets;
    std::span<const OutputTrack> tracks;               // in the order written
    const PluginsByTrack* plugins_by_track = nullptr;  // null: no instances
    bool no_sidechain = false;
    std::set<std::string> merged_multichannel_tracks;  // tracks merged from mono tracks
    std::int32_t video_tracks_written = 0;  // written between the tracks and the bus tracks
};

// The wiring the track blocks read; lives for the conversion.
struct TrackWiring {
    std::vector<std::string> lane_group_names;
    std::map<std::string, std::int32_t> aux_channel_need;
    std::map<std::string, std::vector<RoutedSource>> routed_sources;
    std::map<std::string, std::vector<std::int32_t>> routed_into;
    std::set<std::string> main_send_off;
    std::map<std::string, std::vector<SessionSend>> receives;  // the sends, by destination
    std::set<std::uint64_t> multi_mono_pairs;
    std::map<std::string, std::int32_t> bus_track_numbers;
    std::map<std::string, std::int32_t> first_key_source;
    std::map<std::string, std::vector<std::int32_t>> more_key_sources;
    std::map<std::string, std::string> first_key_name;
    std::map<std::string, std::int32_t> first_key_slot;
    std::set<std::uint64_t> unresolved_keys;
    std::set<std::string> key_source_buses;
    std::vector<std::int32_t> strip_row_of_track;
};

// REAPER's limit on a track's channels.
inline constexpr std::int32_t kMaxTrackChannels = 128;

// The track number of each send destination that names no written track: the send-return bus
// tracks follow the tracks and the video tracks, in name order.
std::map<std::string, std::int32_t> send_return_bus_numbers(
    const std::map<std::string, std::vector<SessionSend>>& receives,
    std::span<const OutputTrack> tracks, std::int32_t video_tracks);

TrackWiring prepare_track_wiring(const TrackWiringInput& in);

// The track blocks' view of the wiring, into `inputs` (grown to one per track as needed).
void apply_track_wiring(const TrackWiring& wiring, std::span<const OutputTrack> tracks,
                        std::vector<TrackWriteInput>& inputs);
