// The video tracks, written after the output tracks: one track per video track of the session,
// holding one locked-in-place item per placement of its video file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "convert/writer/item_writer.h"
#include "convert/writer/track_writer.h"
#include "session/media_lists.h"
#include "session/named_placements.h"

struct VideoTracksInput {
    std::vector<std::string> track_names;  // the session's video tracks, in track order
    std::vector<std::string> file_names;   // `read_video_file_names`; track v plays file v
    std::vector<VideoPlacement> placements;
    std::vector<std::string> placement_lists;  // the list names the placements index
    // `read_video_clip_entries` of each file, by file name: entry j times placement j.
    std::map<std::string, std::vector<VideoClipEntry>> entries;
    double session_frame_rate = 0.0;  // `read_video_frame_rate`
    std::int32_t timecode_code = -1;
    std::int32_t quality = -1;   // `read_video_quality`
    std::string session_folder;  // with its closing separator; "" when none
    std::function<std::optional<TrackViewValues>(const std::string&)> view_of;
    // The items' clip colours, as for audio clips; null: the items carry none.
    const ItemWriteContext* items = nullptr;
};

struct VideoTrackSummary {
    int tracks = 0;
    int items = 0;
    int files_missing = 0;
    int files_unrecognised = 0;  // video tracks whose file has no extension this build plays
    int items_colored = 0;       // video items written with a COLOR line
    // Placements left out: no clip entry gives them a length, or (with several video tracks)
    // their list names none of the tracks.
    int items_without_length = 0;
    int placements_on_no_track = 0;
    double frame_rate = 0.0;
    bool rate_from_session = false;
    std::int32_t quality = -1;
};
extern VideoTrackSummary video_tracks;
void reset_video_tracks();

// The word for a video track's playback quality below Full Quality ("Draft" for code 3); null for
// full quality (codes up to 1) and for none read.
const char* video_quality_word(std::int32_t quality);

// Frames per second: the session's video rate when above 1, else by the timecode code (25 for 2;
// 30 for 3, 5, 7, 8; else 24).
double video_frame_rate(double session_rate, std::int32_t timecode_code);

// The video file's path: where the audio files are found, else in "Video Files" beside the
// session, else its bare name (counted). Only the name's last component is looked up.
std::string video_file_path(const std::string& file_name, const std::string& session_folder);

// Writes the video tracks; returns how many.
int write_video_tracks(std::FILE* file, const VideoTracksInput& in);
