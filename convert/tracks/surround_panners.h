// Buses wider than stereo, and the surround panner of every track whose output is one.
//
// A surround output's speakers are its one-channel kind-2 legs ("Main.L", "Main.C", ...) in
// channel order. The panner's stored values lie in the track's fader block (content type
// 0x1029), around the level field p that the lane set records:
//   p - 10 'Z'   p - 8 0   p - 7 u32 size (the block ends at p - 3 + size)   p - 3 0x29 0x10
//   p + 12 seven i32: the first input's front X, rear X, front/rear position, divergence 1,
//          divergence 2, divergence cap, centre percent
//   p + 40 seven i32: the second input's, for a stereo input   p + 76 i32 value x 6553600
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <set>
#include <span>
#include <string>

#include "model/mix_records.h"
#include "model/surround_pan_state.h"
#include "session/channel_entries.h"

// Reads the panner's values from the fader block into `state`; false (and `state` untouched but
// for the stereo flag) when the block is not there or too short.
bool read_surround_panner_values(const std::uint8_t* data, std::size_t length,
                                 const TrackLaneSet& lane_set, SurroundPanState& state);

// The surround bus widths and panner states of the lane groups (by `names`, their lane group
// names) into `track_wiring`; routes without a full, known speaker layout or readable values are
// counted as unplaceable.
void wire_surround_panners(const std::uint8_t* data, std::size_t length,
                           std::span<const LaneGroup> groups, std::span<const std::string> names,
                           std::span<const TrackLaneSet> lane_sets,
                           std::span<const ChannelEntry> entries,
                           const std::set<std::string>& merged_multichannel_tracks);
