// A track's clip lanes and one REAPER item per audio clip, written before the track block closes.
//
// A take holds its <SOURCE, one <TAKEFX (a Melodyne slot for a clip whose Melodyne record joined
// the merged archive, then its Clip Effects), then its clip-gain envelope. The item number that
// seeds the take identifiers counts every audio item.
#pragma once

#include <cstdint>
#include <cstdio>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "model/curves.h"
#include "model/output_model.h"
#include "model/session_layout.h"
#include "model/skipped_clip.h"
#include "session/media_lists.h"

// An audio file as its items' FILE lines name it.
struct ItemSource {
    std::string block;  // the item's <SOURCE block, the quoted path on its FILE line
    bool outside_audio_folder = false;
    // Whether the file is in the session's audio-file list `listed_in`, the last one asked.
    const std::set<std::string>* listed_in = nullptr;
    bool listed = false;
};

// What the item writer counts for the console summary, and its running item number. Reset with
// `reset_item_writer`.
struct ItemWriterState {
    std::uint32_t items_written = 0;  // audio items so far in the project: the next item's k
    int locked_clips = 0;
    int clips_with_gain = 0;
    int gain_envelopes = 0;
    int clips_colored = 0;                 // COLOR from the clip's own palette index
    std::set<std::int32_t> color_indices;  // the distinct indices behind them
    int clips_outside_audio_folder = 0;    // FILE lines pointing beside the audio folder
    int lane_tracks = 0;
    int lanes_written = 0;
    // Clips left out: a length of zero or less, or longer than a day (or a length or offset that
    // is no number), and positions past a day.
    std::vector<SkippedClip> bad_length;
    std::vector<SkippedClip> past_a_day;
    // Placements the clip stage makes no clip of: no audio file in the session's list.
    std::vector<SkippedClip> no_source;
    // Clips written whose file the session's audio-file list does not hold.
    std::vector<SkippedClip> unlisted_sources;
    // Whether PTX_DUMP_CLIPCOL asks for each clip's colour on stderr; -1: not looked up yet.
    int dump_clip_colours = -1;
    // Each audio file's FILE line, by file name: worked out once for all its clips.
    std::unordered_map<std::string, ItemSource> sources;
    // The same lines by the held text of a clip's file name, which the clips of one file share:
    // most items find theirs by that text's address, without hashing the name. Each entry holds
    // the text, so that no other text can come to stand at its address.
    std::unordered_map<const std::string*, std::pair<SharedText, ItemSource*>> sources_by_text;
    // In front of that map, the last source seen in each slot of the texts' addresses: a hit
    // costs a multiplication and a compare. Every text here is held by the map. Made at the
    // first item.
    struct RecentSource {
        const std::string* text = nullptr;
        ItemSource* source = nullptr;
    };
    static constexpr int kRecentSourceBits = 10;
    std::vector<RecentSource> recent_sources;
};
extern ItemWriterState item_writer;
void reset_item_writer();

// Pro Tools sessions end at 24 hours; a clip placed later, or longer, is a misread placement.
inline constexpr double kLatestClipStart = 24.0 * 3600.0;

// Why no item can carry a clip: a length of zero or less, longer than a day or no number (or an
// offset that is no number), or a start past a day.
enum class ClipFault : std::uint8_t { none, bad_length, past_a_day };
ClipFault clip_fault(const ClipRecord& clip);

// The clips of a track and its lanes that items carry.
int placeable_clips(const OutputTrack& track);

// What the items of the whole project share.
struct ItemWriteContext {
    bool dark_theme = true;
    std::int32_t clip_color_mode = -1;  // the session's clip colour coding
    // The session's audio-file names; null: sources are not checked against the list.
    const std::set<std::string>* listed_files = nullptr;
    // The folder each audio file was found in; null: none known.
    const AudioFolderHints* folder_hints = nullptr;
};

// What the items read of their track besides its clips (from the track stages).
struct ItemTrackInput {
    bool has_color_index = false;  // the track has a palette index of its own
    bool flagged = false;          // the track builder keeps its clips uncoloured
    std::int32_t view_color_number = -1;
};

// Where a clip sits among its track's lanes: lane 0 holds the track's own clips, lane n the
// clips of its n-th `ClipLane`.
struct ItemLane {
    int lane = 0;
    int lane_count = 0;  // the track's `ClipLane`s; 0: no lanes
};

// Names the audio placements that give no clip (a length of zero or less, or no audio file), so
// that the summary can list them with the clips the writer leaves out.
void note_placements_without_clips(const SessionLayout& layout);

// The clip-gain envelope as item time (s) and dB: the points inside the item, clamped to its
// edges, with a point interpolated where the line crosses an edge. Points that all lie on one
// side of the item give the level the item plays at, held from start to end. Empty with fewer
// than two stored points (their positions count samples in the source).
std::vector<CurvePoint> clip_gain_envelope(const ClipRecord& clip, double sample_rate);

// The FIXEDLANES ... LANENAME lines of a track with clip lanes; nothing without lanes.
void write_clip_lanes(std::FILE* file, const OutputTrack& track);

// The COLOR line of an item with this colour index (-2: none of its own, the session's clip-colour
// mode decides), or nothing. True when the line was written.
bool write_item_colour(std::FILE* file, std::int32_t colour_index, const ItemTrackInput& track_in,
                       const ItemWriteContext& context);

// One <ITEM block, or nothing (counted) for a clip that cannot be placed.
void write_audio_item(std::FILE* file, const ClipRecord& clip, const std::string& track_name,
                      const ItemLane& lane, const ItemTrackInput& track_in,
                      const ItemWriteContext& context);

// The lanes, then the track's own clips in list order, then each lane's clips.
void write_track_items(std::FILE* file, const OutputTrack& track, const std::string& track_name,
                       const ItemTrackInput& track_in, const ItemWriteContext& context);
