// Frozen tracks under --keep-frozen, the tracks written after the last output track, and the
// project's closing ARA blocks:
//   - a frozen track keeps its effect chain and source items inside <FREEZE 0 (what Unfreeze
//     restores) and plays its freeze renders, locked;
//   - send-return buses: one track per destination of the sends that no written track carries,
//     in name order, after the output tracks and the video tracks (bus k is track n + v + k);
//   - the solo helper: an empty soloed track that keeps the project silent as Pro Tools was when
//     every soloed track was muted (a muted track without mute automation loses its solo);
//   - the merged Melodyne archive and its audio sources.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "convert/writer/track_writer.h"
#include "model/mix_records.h"
#include "model/output_model.h"
#include "model/session_send.h"

inline constexpr char kSoloHelperName[] = "Pro Tools solo (the soloed tracks were muted)";

// What the writer leaves for the console about these tracks. Reset with the writer summary.
struct SpecialTrackSummary {
    int bus_tracks = 0;
    std::vector<std::string> bus_names;  // the send-return buses written, in order
    int frozen_delivered = 0;
    int freeze_records_left_out = 0;  // renders placed by frozen tracks' records, not written
    std::vector<std::pair<std::string, std::string>> frozen_unfrozen;  // track, reason
    std::string solo_helper;  // the helper's name when it was written
};
extern SpecialTrackSummary special_tracks;
void reset_special_tracks();

// The console row of the freeze records left out, when no track was delivered frozen.
std::string freeze_records_row(const SpecialTrackSummary& summary);

// Decides whether a frozen track is written frozen: "" when it is, else the reason it is written
// unfrozen. Renders that qualify get their resolved path in `paths`.
std::string freeze_refusal(const FrozenTrackInput& frozen, bool has_lanes, bool surround_panned,
                           std::vector<std::string>& paths);

// The render items of a frozen track written as track `index`; `paths` as `freeze_refusal` gave.
void write_freeze_render_items(std::FILE* file, std::int32_t index, const FrozenTrackInput& frozen,
                               const std::vector<std::string>& paths);

// What a bus track shows as an ordinary track does, found by its name: its view state (hidden,
// height, automation mode), its colour and its group flags.
struct BusTrackLook {
    std::optional<TrackViewValues> view;
    std::optional<std::int32_t> color_index;         // the track's own palette index
    std::optional<std::int32_t> coding_color_index;  // from the session's colour coding
    std::array<std::uint32_t, 6> group_masks{};
};

struct BusTracksInput {
    std::span<const OutputTrack> tracks;
    std::span<const TrackLaneSet> lane_sets;
    const std::map<std::string, std::vector<SessionSend>>* receives = nullptr;
    std::int32_t video_tracks = 0;  // written between the output tracks and the buses
    // Buses that feed a sidechain key: their main send is off.
    std::set<std::string> key_source_buses;
    // The bus's look by its name; empty: a plain track's.
    std::function<BusTrackLook(const std::string&)> look_of;
    std::function<int(std::FILE*, const FxChainCall&)> write_fx_chain;
    // The comment item of the bus written as track `index`.
    std::function<void(std::FILE*, const std::string& bus, std::int32_t index)> write_comment_item;
};

// The destination names of the receive lists that no written track carries, in name order.
std::vector<std::string> bus_track_names(
    const std::map<std::string, std::vector<SessionSend>>& receives,
    std::span<const OutputTrack> tracks);

// Pro Tools' pan of a lane set (percent, -100..100) as REAPER's -1..1: the middle of the two
// pans for a stereo panner, else the left one.
double pt_pan_to_reaper(double left, double right, bool stereo);

// Writes the bus tracks; returns how many.
int write_bus_tracks(std::FILE* file, const BusTracksInput& in);

// Writes the solo helper when a soloed track lost its solo to its mute and no track is written
// soloed (the counts of `writer_summary`). True when written.
bool write_solo_helper(std::FILE* file);

// The length in seconds of a WAV file: its data chunk over the fmt chunk's frame size and rate.
// 0.0 for anything it cannot read: no file, no RIFF/WAVE header, no fmt chunk of 16 bytes or
// more before the data chunk, under 8 bits, no channels or rate, a chunk sized past the file.
double wav_duration_seconds(const std::string& path);
