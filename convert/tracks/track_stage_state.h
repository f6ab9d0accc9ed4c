// What the track stage leaves for the project writer and the console summary: the session's
// colour and click modes, groups, colour coding, per-track texts, the rebuilt order's counts and
// the hidden and inactive filters' lists. Emptied by the run reset.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "convert/tracks/track_coding.h"
#include "convert/tracks/track_groups.h"
#include "model/track_comment.h"

// A text of entries with the number of tracks it names.
struct CountedText {
    std::string text;
    int count = 0;
};

struct TrackStageState {
    std::int32_t track_color_mode = -1;
    std::int32_t clip_color_mode = -1;
    std::int32_t click_state = -1;  // 1 on

    std::vector<std::string> strips;  // the strip list group members index
    TrackGroups groups;
    ColourCoding coding;
    std::vector<TrackComment> comments;
    int master_faders = 0;

    CountedText programs;           // " name=program"
    CountedText properties;         // "\n      name: transpose ...;"
    CountedText automation_modes;   // " name=Touch+Trim"
    CountedText automation_off;     // " name"
    CountedText instrument_routes;  // "\n      track -> instrument"

    // Track order.
    std::uint8_t names_assigned = 1;  // 0: the strip rows could not name the tracks
    int named_blocks = 0;
    std::vector<std::string> video_tracks;
    std::vector<std::string> clicks_left_out;
    std::vector<std::string> click_with_more;  // hold Click II and something else
    std::vector<std::pair<std::string, std::string>> hardware_inserts;  // {insert, track}
    std::vector<std::string> vca_masters_unlinked;
    int written_empty = 0;
    int inactive_marked = 0;
    int voice_off_marked = 0;

    // Hidden and inactive filters.
    std::vector<std::string> hidden_left_out;
    std::vector<std::string> inactive_left_out;
    std::vector<std::string> kept_for_needs;  // "Aux (Vox needs it)"

    void reset() { *this = TrackStageState{}; }
};
extern TrackStageState track_stage;

// The first `limit` bytes of `text`, never ending inside a UTF-8 character.
std::string cut_at_character(const std::string& text, std::size_t limit);
