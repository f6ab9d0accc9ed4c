// The listings printed on request while a session is read: the MIDI controller streams
// (--dump-cc) and the session's tempo, rate, tracks and buses (--list). Neither stops the
// conversion.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "model/session_layout.h"
#include "model/session_records.h"

// Per chunk, its note count and origin and one line per controller stream (pitch bend,
// aftertouch, or one CC number) in ascending order of stream, then the totals.
std::string controller_dump_text(std::span<const MidiChunk> chunks);

struct SessionListInput {
    double tempo = 120.0;
    std::int64_t sample_rate = 48000;
    std::span<const std::string> track_table;  // the track list stage "reading" keeps
    std::span<const std::string> buses;
    const SessionLayout* layout = nullptr;  // its audio and MIDI track regions name tracks
};

// The --list printout. Session names are printed with their control bytes blanked.
std::string session_list_text(const SessionListInput& in);
