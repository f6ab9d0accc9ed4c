// One REAPER track block per output track: identity, colour, timebase, automation mode, level,
// pan, mute and solo, polarity, mixer visibility, groups, pan mode, channels, main send, the
// receives (sidechain keys, routed sources, sends made to it) and the envelopes.
//
// Everything a track block reads that another stage works out (view state, colours, timebase,
// groups, channel widths, routing, sidechain keys) is a field of `TrackWriteInput`, defaulted to
// what a plain track needs until that stage fills it.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "model/curves.h"
#include "model/mix_records.h"
#include "model/output_model.h"
#include "model/session_send.h"

// What the writer reads of a track's view state (found by the track's name, else its second
// name).
struct TrackViewValues {
    std::string key;  // the name the state is stored under
    std::uint8_t shown_in_mixer = 1;
    std::int32_t height = 0;
    std::int32_t solo_state = -1;       // 1 soloed
    std::int32_t solo_safe_state = -1;  // 1 solo safe
    std::int32_t automation_mode = -1;  // 0 Off, 1 Read, 2 Touch, 3 Latch, 4 Write, 5 Touch/Latch
    std::int32_t colour_number = 0;     // 1-based position in the track palette; 0: none
};

// A multi-output route into this track: the source and its source-channel value.
struct RoutedSource {
    std::int32_t source_index = 0;
    std::int32_t source_channels = 0;
};

// A track whose output goes into this track, with its width (its surround panner's output when
// it has one, else its folded channel count; 0 when neither).
struct FeedingSource {
    std::int32_t source_index = 0;
    std::int32_t width = 0;
};

// A track Pro Tools keeps frozen, with the renders its freeze record places (empty until the
// record is read: such a track is written unfrozen, and says so, under --keep-frozen).
struct FreezeRender {
    std::string file_name;
    double position = 0.0;  // seconds
    double source_offset = 0.0;
};
struct FrozenTrackInput {
    std::uint8_t frozen = 0;
    std::vector<FreezeRender> renders;
};

struct TrackWriteInput {
    // From the track stages.
    std::optional<std::int32_t> color_index;         // the track's own palette index
    std::optional<std::int32_t> coding_color_index;  // from the session's colour coding
    std::uint8_t midi = 0;
    std::uint8_t midi_time_based = 0;  // a MIDI track the track builder marked as time-based
    std::int32_t timebase = -1;        // REAPER's BEAT for other tracks (`reaper_timebase`)
    std::optional<TrackViewValues> view;
    std::optional<double> kept_fader_db;  // a fader level the track builder set (a VCA master)
    std::int32_t channel_side = 0;        // -1 / 1: the track feeds one leg of a stereo output
    std::array<std::uint32_t, 6> group_masks{};
    std::int32_t channel_count = 2;  // the track channel map's count
    std::optional<AutomationCurve> midi_mute_lane;
    std::uint8_t midi_muted = 0;         // a MIDI track's stored mute state
    std::uint32_t midi_other_lanes = 0;  // a MIDI track's lanes other than mute, not written

    // From the per-track preparation.
    std::string folder_text = "0 0";  // ISBUS
    std::uint8_t folder = 0;
    std::uint8_t surround_panned = 0;
    std::int32_t folded_channels = 0;
    std::int32_t surround_bus_width = 0;     // the track takes a surround bus this wide
    std::int32_t surround_panner_width = 0;  // its panner's output, when it feeds a surround bus
    std::uint8_t surround_panner_stereo = 0;
    std::int32_t aux_channels = 0;
    std::uint8_t receives_keys = 0;  // a plug-in on the track is keyed from other tracks
    std::int32_t first_key_source = -1;
    std::vector<std::int32_t> key_sources;
    std::vector<RoutedSource> routed_sources;
    std::vector<FeedingSource> feeding_sources;
    std::uint8_t output_into_aux = 0;  // the main send is off

    FrozenTrackInput freeze;
};

// The Trims' per-channel polarity flips, by track name.
struct PolarityTables {
    std::map<std::string, std::int32_t> flips_left;
    std::map<std::string, std::int32_t> flips_right;
};

// How `write_fx_chain` is called for a track or the master.
struct FxChainCall {
    std::int32_t track_index = -1;  // -1 for the master
    std::string track_name;         // the second name when set, else the name
    const char* block_name = "FXCHAIN";
    bool keys_sidechain = false;
};

// The work of stages built elsewhere, called at their place in a track block. Empty ones write
// nothing.
struct TrackWriteHooks {
    // Builds the ReaSurroundPan block of a surround-panned track for its chain.
    std::function<void(std::int32_t track_index, std::uint32_t seed)> build_surround_pan;
    // Writes the effect chain; returns the number of slots written.
    std::function<int(std::FILE*, const FxChainCall&)> write_fx_chain;
    // Lanes, items, MIDI items and the comment item, before the track block closes.
    std::function<void(std::FILE*, std::int32_t track_index)> write_track_items;
};

struct TrackWriteContext {
    std::span<const TrackLaneSet> lane_sets;
    // The assigned lane sets of each name, in list order (`index_lane_sets`).
    std::unordered_map<std::string, std::vector<const TrackLaneSet*>> lane_sets_by_name;
    const std::map<std::string, std::vector<SessionSend>>* receives = nullptr;
    const PolarityTables* polarity = nullptr;
    std::size_t track_count = 0;
    // Video and bus tracks written after the output tracks: receives from them are valid.
    std::size_t tracks_after = 0;
    bool no_sidechain = false;
    TrackWriteHooks hooks;
};

// Fills the context's `lane_sets_by_name` from its lane sets.
void index_lane_sets(TrackWriteContext& context);

// BEAT of a non-MIDI track from the track builder's time base: tick-based clips keep their
// musical position without being stretched (2), sample-based ones keep their time (0).
std::int32_t reaper_timebase(bool tick_based);

// The name written: the track's name, else its session name, else "Track N" (N from 1).
std::string written_track_name(const OutputTrack& track, std::size_t index);

// REAPER's automation mode for the stored one: 0, 1, 2 stay; 3 and 5 give 4 (latch); 4 gives 3
// (write); an unknown track or mode gives the default.
std::int32_t track_automode(const std::optional<TrackViewValues>& view, std::int32_t fallback);

// The MUTESOLO solo field: 0 for a muted track without mute automation (it stays silent in Pro
// Tools), else the stored field.
std::int32_t mutesolo_solo_value(std::int32_t solo_field, bool muted, bool mute_automated);

// IPHASE of a track from its Trims' polarity flips, looked up by its name, its second name, then
// its name without a " [lane:" suffix. A flip of one channel only gives 0 and records the track in
// `writer_state.one_sided_polarity`.
std::int32_t track_polarity(const std::string& name, const std::string& second_name,
                            const PolarityTables& tables);

// What the track's MUTESOLO line made of a solo the session gives: written soloed; written
// unsoloed (bus, video and alternate tracks are); or unsoloed and counted by the caller (a
// soloed, muted track).
enum class SoloWritten { on, off, off_counted };

// Sets the state of the track's envelopes, `settings.envelope_active` (0 when its automation
// mode is Off, else 1) and `settings.envelope_arm` (1 when its written AUTOMODE is 1); writes
// SHOWINMIX for a hidden track and counts hidden, soloed (as `solo` says it was written),
// solo-safe and sized tracks, once per view-state name.
void write_track_mixer_flags(std::FILE* file, const std::string& name,
                             const std::optional<TrackViewValues>& view, std::int32_t automode,
                             SoloWritten solo = SoloWritten::off);

// The static pan of a mono panner, -1 left to 1 right: the initial value of its pan list when the
// lane set has one, else the fader block's pan value.
double mono_static_pan(const TrackLaneSet& lane_set);

// The sends of the session as receives, by destination name: a send's bus is named through the
// session's name index (null: by its own name). Counts how the buses resolved.
std::map<std::string, std::vector<SessionSend>> prepare_sends(
    std::span<const LaneGroup> groups, std::span<const TrackLaneSet> lane_sets,
    std::span<const OutputTrack> tracks, const NameIndex* index);

// One receive line for a send, with its volume and mute envelopes. Returns the envelope points.
int write_send(std::FILE* file, std::int32_t source_index, double gain_db, bool post_fader,
               const AutomationCurve* volume, const AutomationCurve* mute, double pan);

// The whole track block of output track `index`.
void write_track(std::FILE* file, std::int32_t index, const OutputTrack& track,
                 const TrackWriteInput& in, const TrackWriteContext& context);
