// The console summary's paragraphs about the track stage: colour coding, groups, MIDI track
// texts and comments, group warnings, and the track order's empty, click, hidden, inactive and
// voice-off tracks. Each returns the text of its paragraphs, empty when none is due.
#pragma once

#include <string>

#include "app/convert_options.h"
#include "convert/tracks/track_stage_state.h"

// Colour coding and groups.
std::string track_coding_rows(const TrackStageState& state, bool no_track_colors);
std::string group_rows(const TrackStageState& state);
// Real-time properties, instruments on other tracks, automation modes, programs, comments.
std::string midi_track_rows(const TrackStageState& state, CommentsMode comments_mode);
// Group membership not written, Edit and unknown groups, hardware inserts.
std::string group_warning_rows(const TrackStageState& state);
// Empty tracks, click tracks, filters, VCA masters without members, inactive and voice off.
std::string track_order_rows(const TrackStageState& state);
