// The console summary's paragraphs about the track stage: colour coding, groups, MIDI track
// texts and comments, group warnings, and the track order's empty, click, hidden, inactive and
// voice-off tracks. Each returns the text of its paragraphs, empty when none is due.
#pragma once

#include <span>
#include <string>

#include "app/convert_options.h"
#include "convert/tracks/track_stage_state.h"

// Each returns the rows of one place in the summary's order.
// MIDI tracks without output, the video track's colour, groups without a slot.
std::string track_coding_rows(const TrackStageState& state, bool no_track_colors);
// Mix and VCA groups and their warnings.
std::string group_rows(const TrackStageState& state);
// Real-time properties and instruments on other tracks.
std::string midi_track_rows(const TrackStageState& state);
// Automation modes and programs.
std::string track_mode_rows(const TrackStageState& state);
// Comments, and where the comments mode puts them.
std::string track_comment_rows(const TrackStageState& state, CommentsMode comments_mode);
// Group links beyond volume, mute and solo.
std::string group_attribute_rows(const TrackStageState& state);
// Tracks whose place in the colour sequence is taken from track order, or lies past row 26.
std::string track_position_rows(const TrackStageState& state);
// Group membership not written, Edit and unknown groups.
std::string group_warning_rows(const TrackStageState& state);
// Hardware inserts.
std::string hardware_insert_rows(const TrackStageState& state);
// Empty tracks, click tracks, filters, VCA masters without members.
// A Click track that --no-click left out but other tracks send to is written as a bus after all
// (among `bus_names`) and said to be.
std::string track_order_rows(const TrackStageState& state,
                             std::span<const std::string> bus_names = {});
// Inactive and voice-off tracks, and track names that could not be bound.
std::string inactive_track_rows(const TrackStageState& state);
