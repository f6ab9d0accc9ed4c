// No clip is lost without a word: every audio placement the session walk read is written as an
// item, or named in the console as left out with its reason, or is one of the alternates under
// the clip that plays -- or it was no clip at all (a fade or clip-group reference the walk read
// as one), and the pieces of clip groups laid out flat join the clips. The driver checks this
// balance on every conversion from the counts the console summary prints; a difference is a
// fault of this build, said as such.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "convert/clips/clip_counts.h"
#include "convert/writer/item_writer.h"
#include "model/session_layout.h"

struct ClipBalance {
    // In: the walk's audio placements, placed or not, and the pieces of clip groups laid out
    // (with loop repeats and the fade placements --keep-fade-clips takes in as clips).
    int read = 0;
    int group_pieces = 0;
    // Out.
    int not_clips = 0;  // fade and clip-group references the walk read as clips
    int written = 0;    // items
    int left_out = 0;   // named in the console with their reason
    int alternates = 0;

    // The clips that went neither way: 0 when nothing was lost without a word.
    int unaccounted() const {
        return read + group_pieces - not_clips - written - left_out - alternates;
    }
};

ClipBalance clip_balance(const SessionLayout& layout, const ClipStageCounts& clips,
                         const ItemWriterState& items);

// The placements the walk refused with their damaged records, one row per track ("track N" when
// the session does not name it, "MIDI " before a MIDI track) with its count; names in double
// quotes when `quoted`.
std::vector<std::string> refused_placement_rows(std::span<const UnplacedPlacement> refused,
                                                bool quoted);

// The clips no item was written for, one row each with its reason: placements the walk could not
// place (audio and MIDI), then the audio clips the clip stage and the item writer left out (their
// names are the session's, in double quotes).
std::vector<std::string> left_out_clip_rows(const SessionLayout& layout,
                                            const ClipStageCounts& clips,
                                            const ItemWriterState& items);
