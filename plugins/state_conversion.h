// The state bytes REAPER's plug-in block carries for a Pro Tools plug-in slot: its stored
// settings (a payload of session/settings_payload.h) in the framing the REAPER build of the
// plug-in takes. A target is VST3 when the row's id text holds '{', CLAP when its type text
// begins "CLAP", else VST2; CLAP targets take the VST2 framings of FabFilter presets, tagged
// chunks and classified chunks.
//
// Framings by payload kind (u32 little-endian unless BE; L the payload length):
//   1 FabFilter  VST2, CLAP: the payload. VST3: A = its first 4n + 12 bytes (n = u32 at +8)
//                + "FFpr" [1][0]; B = the rest before its last "FFEx" + "FFed" [0][0];
//                [len A][1] A [len B][0] B
//   5 values     FabFilter with a preset: "FabF" [2][len] name [0][count] f32s, then
//                VST2: [1][1][12][0] "FFed" [0] 1.0f; VST3: the same after [len+8][1];
//                CLAP: "FFBS" [1][count] f32s code [3][len] name [-1][1][0][0] "CuSV" [1][0].
//                A row of mode 1: [Z + 4N][1] Z zeros, N f32s, [0][0].
//                No values, or one binary section after "elck": that section as a chunk.
//   6 script     VST2: "#pgm=From Pro Tools\n" text; VST3: [S+4][1][S] text [S+4][0][S] text
//   7 tagged     [L] payload [7] "Default"
//   8 zlib       VST2: [L+16] words payload [7] "Default"; VST3: [L+16][1] words payload
//                [L+16][0] words payload (words: the four u32 stored before the stream)
//   9 Waves      [L+62][1][BE L+28][BE 3][BE 1] code setup [BE L] "XPst" payload
//                <Bypass Version="1" Bypass="0" />\n [0][0]
//  10 braces     VST2: the payload; VST3: [L][1] payload [0][0]
//  11 archive    [L][1] payload [L][0] payload
//  12 Kontakt    VST2: [L+12][0][1] payload; VST3: [size][1] that [0][0]
//  13 chunk      VST2: the payload; VST3: JUCE's state, the 12 bytes before it taken along,
//                [L][1] payload [0][0] or [L][1] payload [L][0] payload when it is stored
//                twice, or [L+8][1] I [L+8][0] I with I = [L] payload [0]
// Other kinds are the payload itself; XML states become a bank of programs.
#pragma once

#include <cstdint>
#include <string>

#include "model/plugin_instance.h"
#include "plugins/plugin_rules.h"
#include "session/scan.h"

// Why a state came out empty.
enum class StateGap : std::uint8_t {
    none,            // a state was made
    not_carried,     // the settings do not fit any framing the target takes
    layout_unknown,  // the settings are there, but this program lacks the build's layout
    left_out,        // the settings are there, and the options asked to leave them out
};

struct PluginState {
    std::string bytes;  // empty: the settings are not carried
    StateGap gap = StateGap::none;
    // Values a MIDI track's FabFilter instrument stores as "MIDI triggering off" and this state
    // holds as on.
    std::uint32_t midi_trigger_changes = 0;
};

// Counters for the report; they advance only when a state is converted to be written.
struct PluginStateCounts {
    std::uint32_t midi_trigger_off_count = 0;
    bool corpus_warning_given = false;  // the corpus dump's warning, once per conversion
};
extern PluginStateCounts plugin_state_counts;
void reset_plugin_state_counts();

// The state for the row's target. `midi_track`: the slot sits on a track holding MIDI. `write`
// is false when probing: the result is the same, and no counter moves.
PluginState convert_plugin_state(const SessionPluginInstance& instance, const PluginRuleRow& row,
                                 SessionBytes bytes, bool midi_track, bool write);

// A FabFilter instrument on a MIDI track stores MIDI triggering off as 0.0 at one index of its
// values ("FabFFC2p" 42, "FabFFS2a" 699): in the first "FFBS" value list of the state
// ("FFBS", u32, u32 count, f32 values) that value is set to 1.0. Returns the number changed.
std::uint32_t release_midi_trigger(std::string& state, std::string_view aax_id);
