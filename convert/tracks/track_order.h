// The output tracks in the session's own track order: each named block takes its clips' track
// (and the " [...]" companions standing right behind it), a track without clips is written empty
// with its mixer state, VCA masters and folders get tracks of their own, the click track is
// found (and left out under --no-click), and inactive and voice-off tracks are marked for muting.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <span>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "convert/tracks/track_stage_state.h"
#include "convert/writer/track_writer.h"
#include "model/mix_records.h"
#include "model/output_model.h"
#include "model/plugin_instance.h"
#include "session/strip_rows.h"
#include "session/track_names.h"

// One output track with what its block reads.
struct StagedTrack {
    OutputTrack track;
    TrackWriteInput input;
    std::uint8_t from_clips = 0;  // 1: one of the clips' tracks (the playlist step wrote it)
    std::uint8_t left_over = 0;   // 1: no named block took it; appended at the end
};

struct TrackOrderInput {
    std::span<const NamedBlockEntry> named;
    std::vector<StagedTrack> source;  // the clips' tracks, in the clips' track order
    std::vector<StagedTrack> midi;    // the MIDI tracks, in the MIDI track order
    const std::map<std::string, std::vector<SessionPluginInstance>>* plugins_by_track = nullptr;
    std::span<const LaneGroup> lane_groups;
    std::span<const std::pair<std::string, std::string>> hardware_inserts;  // {insert, track}
    std::set<std::string> inactive_names;
    std::set<std::string> voice_off_names;
    bool no_click = false;
};

// The click test of a named block: `click` when it is the session's click track, `click_two`
// when it holds Pro Tools' Click II.
struct ClickTest {
    bool click = false;
    bool click_two = false;
    bool holds_more = false;  // Click II beside something else
};
// What the click test asks of the whole session, gathered once for all its blocks: how many named
// blocks go by each name (their name or their second name), and the tracks that feed a send or a
// hardware insert.
struct ClickContext {
    std::unordered_map<std::string, int> blocks_named;
    std::unordered_set<std::string> with_sends;    // lane groups with sends
    std::unordered_set<std::string> with_inserts;  // tracks of hardware inserts
};
ClickContext click_context(const TrackOrderInput& in);
ClickTest click_test(const NamedBlockEntry& block, const ClickContext& context,
                     const TrackOrderInput& in);

// Steps before the fold of alternate playlists: the rebuilt list, then every source track no
// named block took, in the source order (nothing is dropped).
std::vector<StagedTrack> rebuild_track_order(TrackOrderInput& in, const TrackGroups& groups,
                                             TrackStageState& state);

// Folder rows (kind 11, flag set) that name no output track become empty tracks, placed before
// the first track a later row names.
void add_folder_tracks(std::vector<StagedTrack>& tracks, std::span<const StripRow> rows);

// Inactive and voice-off marks by session name; counted.
void mark_silent_tracks(std::vector<StagedTrack>& tracks, const std::set<std::string>& inactive,
                        const std::set<std::string>& voice_off, TrackStageState& state);
