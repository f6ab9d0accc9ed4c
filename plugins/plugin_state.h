// What one conversion knows about plug-ins: REAPER's cache, the learned and parameter-name
// tables, and the outcome of the resolution pass. Filled in stage "reading", read afterwards,
// emptied by the run's reset.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "model/plugin_records.h"
#include "plugins/param_names.h"
#include "plugins/plugin_rules.h"

// Pins, tail word and header magic of a learned line, kept beside its record.
struct LearnedPins {
    std::uint32_t input_pins = 2;
    std::uint32_t output_pins = 2;
    std::uint32_t tail_word = 0;
    std::uint32_t header_magic = kVstHeaderMagic;
};

// What the Kontakt choice leaves for the report.
struct KontaktFacts {
    std::uint32_t instance_count = 0;
    std::string chosen_name;  // the cache entry chosen, empty when the table row stands
    std::uint8_t predicted = 0;
};

struct PluginKnowledge {
    std::vector<ReaperPluginEntry> cache;  // VST entries of one file, then CLAP entries of one
    std::string cache_path;                // the VST cache file taken

    // Rows point at these records' texts: deques keep every record in place as records are
    // appended, so a row made once its record is in place stays valid until the reset.
    std::deque<PluginResolution> resolutions;  // learned records first, then identified ones
    std::deque<LearnedPins> learned_pins;      // one per learned record, in the same order
    std::deque<PluginResolution> chosen;       // the Kontakt, --prefer-vst2, --prefer-clap choices

    std::vector<PluginRuleRow> learned_rows;  // the learned table's rows, then the pass's
    std::size_t learned_table_rows = 0;       // how many of them come from the learned table
    std::vector<PluginRuleRow> resolved_rows;

    std::set<std::string> prefer_vst2_keys;  // switched to a VST2 build over a built-in row
    std::map<std::string, std::uint32_t> kept_on_vst3;   // display name to instance count
    std::map<std::string, std::uint32_t> kept_off_clap;  // display name to instance count
    std::uint32_t clap_instances = 0;                    // instances moved to their CLAP build
    std::set<std::string> marker_only_keys;              // VST3 targets whose class id is unknown
    KontaktFacts kontakt;

    ParamNameTable param_names;
};
extern PluginKnowledge plugin_knowledge;

void reset_plugin_knowledge();
