// --skip-hidden-tracks and --skip-inactive-tracks: hidden and inactive tracks are left out,
// except those a written track needs (sends and outputs into it, side-chain keys fed from it,
// the session's id links), which stay and are named with the track that needs them.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "convert/clips/clip_counts.h"
#include "convert/tracks/track_order.h"
#include "convert/tracks/track_stage_state.h"
#include "convert/tracks/track_view.h"
#include "model/mix_records.h"
#include "model/plugin_instance.h"
#include "session/strip_rows.h"

inline constexpr std::uint32_t kSkipHidden = 1;
inline constexpr std::uint32_t kSkipInactive = 2;

// Track session name -> the names of the tracks it needs.
using TrackNeeds = std::map<std::string, std::set<std::string>>;

struct TrackNeedsInput {
    std::span<const LaneGroup> lane_groups;
    std::span<const std::string> owner_names;  // one per lane group
    const NameIndex* name_index = nullptr;
    const std::map<std::string, std::vector<SessionPluginInstance>>* plugins_by_track = nullptr;
    const std::map<std::uint16_t, std::string>* key_names = nullptr;  // 0x260e names by key
    std::span<const StripRow> strip_rows;
    const std::map<std::uint64_t, std::vector<std::uint64_t>>* id_links = nullptr;
};

// Needs from sends and outputs, side-chain keys and id links.
TrackNeeds track_needs(const TrackNeedsInput& in);

// 1 when `hide_list` (comma-separated, as PTX_DEBUG_HIDE holds it) names `name`; empty names and
// empty lists name nothing.
bool named_in_hide_list(const std::string& hide_list, const std::string& name);

struct TrackFilterInput {
    bool skip_hidden = false;
    bool skip_inactive = false;
    const char* hide_list = nullptr;  // PTX_DEBUG_HIDE, null when unset
    const TrackViewStore* views = nullptr;
    TrackNeeds needs;
    // When the id link table could not be read: names of strip rows with their flag set, whose
    // tracks are never left out.
    std::set<std::string> unlinked_flagged_rows;
    bool id_links_read = true;
};

// Leaves out what the options ask for, keeping what written tracks need, to a fixed point. The
// clips of the tracks left out are counted in `counts`.
void filter_tracks(std::vector<StagedTrack>& tracks, const TrackFilterInput& in,
                   TrackStageState& state, ClipStageCounts& counts = clip_counts);
