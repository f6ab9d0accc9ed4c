// A track's (or the master's) effect chain in the project text, and one report row per Pro Tools
// plug-in slot.
//
// Every slot of the track's instance list gets exactly one outcome, settled for the whole chain
// before its first block is written: carried (a plug-in block with its converted state, the Avid
// Trim as REAPER's volume JS, or the stand-in of an Avid stock processor), inserted without
// settings (offline), AAX only (a named, bypassed placeholder), not recognised, or left out
// (bypassed or inactive, without settings, not installed). A slot not written still gets its row,
// and its name is counted.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "model/plugin_instance.h"
#include "model/plugin_records.h"
#include "session/scan.h"

enum FxOutcome : std::uint32_t {
    fx_carried = 0,
    fx_without_settings = 1,
    fx_aax_only = 2,
    fx_not_recognised = 3,
    fx_left_out_bypassed = 4,
    fx_left_out_no_settings = 5,
    fx_left_out_not_installed = 6,
};

// One row of the built-in table of plug-ins that exist only as AAX.
struct AaxOnlyEntry {
    const char* prefix;  // the first characters of the AAX id (8, or the whole id when shorter)
    const char* label;
    std::uint8_t processes_audio;
};

// What the chain writer leaves for the console summary, the report and the usage summary; reset
// with every run.
struct FxChainState {
    std::vector<FxReportRow> rows;
    std::uint32_t left_out_bypassed = 0;
    std::uint32_t bypassed = 0;
    std::uint32_t inactive = 0;
    std::uint32_t offline = 0;
    std::uint32_t standins_withheld = 0;
    std::uint32_t trim_wide_tracks = 0;
    // The session's Trims with a gain, set by the driver: all, unlinked with a gain per channel,
    // below the measured range.
    std::uint32_t trim_instances = 0;
    std::uint32_t trim_unlinked_gain = 0;
    std::uint32_t trim_below_range = 0;
    std::uint32_t trim_js = 0;
    std::uint32_t aax_slots = 0;
    std::uint32_t polarity_js = 0;
    // --no-stand-ins: tracks whose one-sided Trim polarity is not flipped.
    std::uint32_t polarity_withheld = 0;
    std::vector<std::string> midi_trigger_off;      // "track / plug-in", one per value changed
    std::map<std::string, std::string> missing_fx;  // name to REAPER type text
    std::map<std::string, std::string> missing_fx_left_out;  // the same, left out as asked
    std::map<std::string, std::uint32_t> aax_only_counts;
    std::map<std::string, std::string> aax_only_labels;
    std::map<std::string, std::uint8_t> aax_only_flags;  // 1: it processed audio
    // Slots by display name: all of them, left out without settings, not recognised, inserted
    // without settings.
    std::map<std::string, std::uint32_t> all_counts;
    std::map<std::string, std::uint32_t> no_settings_counts;
    std::map<std::string, std::uint32_t> unrecognised_counts;
    // The key `--learn` takes, by display name, for the slots not recognised.
    std::map<std::string, std::string> unrecognised_keys;
    std::map<std::string, std::uint32_t> offline_counts;
    // Of those, the slots of a plug-in REAPER's cache names by a .vst3 entry without a class id.
    std::uint32_t offline_without_class_id = 0;
};
extern FxChainState fx_chain_state;
void reset_fx_chain_state();
// The session's Trim counts, from the pass that read their gains.
void set_fx_trim_counts(std::size_t instances, int unlinked_gain, int below_range);

// What the driver knows of the whole session for every chain.
struct FxSession {
    const std::map<std::string, std::vector<SessionPluginInstance>>* plugins_by_track = nullptr;
    SessionBytes bytes;
    std::string session_name;  // the session file's name, for --dump-corpus
    const std::map<std::uint64_t, double>* trim_gain_by_instance = nullptr;  // by block position
    // From the per-track preparation's key tables, by block position.
    const std::set<std::uint64_t>* keyed_standin_instances = nullptr;
    const std::map<std::uint64_t, std::int32_t>* key_source_index_by_instance = nullptr;
    // The stand-in text of an Avid stock processor, without PINFLAGS (the chain adds it to the
    // slot that takes the pins); empty when none is built for it or its settings do not read.
    std::function<std::string(const SessionPluginInstance&, SessionBytes)> write_stock_standins;
    // Whether a stand-in converter exists for a stock processor's name.
    std::function<bool(const std::string& stock_name)> standin_built;
};

// One chain as the project writer asks for it.
struct FxChainTrack {
    std::string name;             // the key of `plugins_by_track`
    const char* tag = "FXCHAIN";  // or "MASTERFXLIST"
    bool pinflags = false;        // PINFLAGS 1 on the last slot that is not a placeholder
    bool midi = false;            // the track holds MIDI
    int channels = 2;             // the track's channel count
    int one_sided_polarity = 0;   // 1 left, 2 right: a Trim flipped one channel only
    std::string extra_text;       // chain text the driver holds for the track, written last
};

// The chain; returns the number of slots written.
int write_fx_chain(std::FILE* file, const FxSession& session, const FxChainTrack& track);

// The chain of a track without a slot to write: only for FXCHAIN, and only when there is a
// one-sided polarity block or extra text to carry.
void write_fxchain_frame(std::FILE* file, const FxChainTrack& track);

// The one-sided polarity JS at the head of a track's chain; nothing without one or under
// --no-stand-ins.
void write_trim_polarity_js(std::FILE* file, const FxChainTrack& track);

// The bypassed VST3 placeholder of a plug-in that exists only as AAX, with `channels` pins.
void write_placeholder_vst3(std::FILE* file, const std::string& name,
                            const SessionPluginInstance& instance, std::uint32_t seed,
                            int channels);

// The class id text of a placeholder: "%u{32 hex digits}".
std::string placeholder_id_text(std::string_view aax_id, std::uint32_t& vst2_id);

// Format and maker of a REAPER type text ("VST3: Foo (Maker) (2 out)" gives "vst3", "Maker").
void fx_format_and_maker(std::string_view type_text, std::string& format, std::string& maker);

// The built-in AAX-only rows, ending with a row without prefix.
const AaxOnlyEntry* aax_only_table();

// Rows carried with their settings.
std::uint32_t count_fx_rows_carried();
