// Automation lanes of a plug-in slot as REAPER parameter envelopes (PARMENV inside the slot's
// block), and the counts of lanes that stay unwritten.
//
// A lane carries the parameter's position in Pro Tools' list (`lane_word`); REAPER's index lies
// one or two below it, by the plug-in. The index is found by the number the plug-in itself gave
// (the lane's second name), by the lane's name in the plug-in's parameter-name table, or else by
// the plug-in maker's known offset; without any of these the lane is written switched off and
// titled "ASSIGN: ...", and the plug-in is listed for --want-params.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "model/curves.h"
#include "model/plugin_instance.h"
#include "plugins/plugin_rules.h"

// A track's name and a plug-in's name on it.
using TrackPlugin = std::pair<std::string, std::string>;

// Counts of one run, reset with the effect chains' state.
struct ParamEnvelopeState {
    std::uint32_t points = 0;          // points of active envelopes written
    std::uint32_t by_number = 0;       // lanes placed by the number the plug-in gave
    std::uint32_t by_name = 0;         // lanes placed by the parameter-name table
    std::uint32_t bypass_lanes = 0;    // "Global Bypass" / "Master Bypass" lanes, never written
    std::uint32_t unplaced_lanes = 0;  // index outside REAPER's range, or already taken in the slot
    // Lanes by track and plug-in: the same plug-in on two tracks is two entries.
    std::map<TrackPlugin, std::uint32_t> assign_lanes;  // written switched off
    std::map<TrackPlugin, std::uint32_t> lanes_by_fx;   // slot carried without its settings
    std::map<TrackPlugin, std::uint32_t> lanes_by_key;  // a stand-in or the Trim's volume JS
};
extern ParamEnvelopeState param_envelope_state;
void reset_param_envelope_state();

// One parameter envelope block, six blanks in, appended to `out`: "<PARMENV " and `head` (the
// parameter, its range and its title), the GUID line, the fixed lines with ACT `active`, a
// "PT 0" line holding `held_from_start` when given, one PT line per point (time in seconds, value
// 0..1) and the closing line. Every PARMENV the effect chains write goes through here; each
// caller keeps its own GUID rule and head.
void append_param_envelope(std::string& out, std::string_view head, const std::string& guid,
                           bool active, std::optional<double> held_from_start,
                           std::span<const CurvePoint> points);

// How far the REAPER index lies below `lane_word` for the plug-in's key; none when not known.
std::optional<std::uint32_t> vendor_param_offset(std::string_view key);

// Whether a lane is the plug-in's own bypass, which is never written as a parameter envelope.
bool is_bypass_lane(const AutomationLane& lane);

// The REAPER index of a lane, found by number or name; none when neither places it. `type_text`
// picks the plug-in's parameter-name table. Counts nothing.
enum class LaneMatch { none, by_number, by_name };
LaneMatch match_lane_index(const AutomationLane& lane, std::string_view type_text,
                           std::int64_t& index);
