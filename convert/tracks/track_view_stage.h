// The second step of the track stage: the session's colour and click modes, its groups as masks,
// each track's view state and comment, the per-track texts the console summary prints, and the
// colour Pro Tools displays for tracks without one of their own. Nothing is written here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "convert/tracks/track_stage_state.h"
#include "convert/tracks/track_view.h"
#include "model/session_records.h"
#include "session/groups.h"
#include "session/track_midi_values.h"
#include "session/track_names.h"

// The word for a stored automation mode: "Off", "Read", "Touch", "Latch", "Write",
// "Touch/Latch", else "mode %d".
std::string automation_mode_word(std::int32_t mode);

// Comments and view states of the named blocks with a strip record: each stored under the second
// name (replacing) and under the name when it has none yet.
void store_track_views(const std::vector<NamedBlockEntry>& named,
                       const std::vector<TrackViewState>& strips, TrackViewStore& views,
                       std::vector<TrackComment>& comments);

// The program, real-time property and automation-mode texts, one entry per named block.
void per_track_texts(const std::vector<NamedBlockEntry>& named,
                     const std::vector<TrackMidiValues>& triples,
                     const std::vector<MidiTrackProperties>& rows, const TrackViewStore& views,
                     TrackStageState& state);

struct TrackViewStageInput {
    const std::uint8_t* data = nullptr;
    std::size_t length = 0;
    const std::vector<SessionGroup>* group_records = nullptr;
    const std::vector<std::string>* strips = nullptr;  // the session-head strip list
    const std::vector<NamedBlockEntry>* named = nullptr;
    const std::vector<TrackMidiValues>* triples = nullptr;
    const std::vector<MidiTrackProperties>* rows = nullptr;
};

void run_track_view_stage(const TrackViewStageInput& in, TrackStageState& state,
                          TrackViewStore& views);
