// The console summary's rows about colours no stage could give: clips without a colour of their
// own that the session's clip colour coding does not reach, and tracks whose colour coding points
// at a plug-in instrument.
#pragma once

#include <string>

// Clips left for REAPER to draw: on hand-coloured tracks, or under a coding not measured.
std::string uncoded_clip_rows();
// Tracks coloured by their MIDI device that feed a plug-in instrument (track colours on).
std::string instrument_colour_row(bool no_track_colors);
