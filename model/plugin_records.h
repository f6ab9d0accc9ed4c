// Records of plug-in resolution and of the effect-chain report.
#pragma once

#include <cstdint>
#include <string>

// One resolved or learned plug-in.
struct PluginResolution {
    std::string key;  // the AAX signature or plugin_key
    std::string display_name;
    std::string type_text;  // REAPER's type text, e.g. "VST3: Pro-Q 3 (FabFilter)"
    std::string file;
    std::string id_text;
    std::string preset_name;
    std::uint8_t id_known = 0;  // 0 for a VST3 target whose class id is unknown
};

// One plug-in of REAPER's cache.
struct ReaperPluginEntry {
    std::string file;  // VST: the plug-in file; CLAP: the section name
    std::string name;  // the plug-in name with its maker in parentheses
    std::string bare_name;
    std::string vst3_class_id;  // 32 hex digits, or empty
    std::uint32_t vst2_id = 0;
    std::uint8_t is_instrument = 0;
    std::uint8_t is_vst3 = 0;
    std::uint8_t is_clap = 0;
    std::string clap_id;
};

// The outcome of one plug-in slot, in chain order.
struct FxReportRow {
    std::string track;
    std::uint32_t slot = 0;  // from 1; left-out slots count too
    std::string name;
    // 0 carried, 1 inserted without settings, 2 AAX only, 3 not recognised, 4 left out as
    // bypassed or inactive, 5 left out without settings, 6 not installed and left out.
    std::uint32_t outcome = 0;
    std::string text;
    std::uint8_t missing = 0;  // the mapped plug-in is not in REAPER's cache
    std::uint32_t automation_points = 0;
    std::string format;  // "vst3", "clap", "vst2", "reaper" or "none"
    std::string maker;
    std::uint8_t inactive = 0;
};
