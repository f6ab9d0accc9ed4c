// Finding a Pro Tools plug-in in REAPER's cache by its key and name. A key's characters 1-4 are
// the maker code and 5-8 the product code; REAPER's class id of a VST2 build is "VST" followed
// by its 4-byte id, and many VST3 builds carry the AAX codes in their class ids too.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "model/plugin_records.h"
#include "plugins/plugin_rules.h"

// The first cache entry the ordered rules find for the key, or -1; `rule_name` names the rule
// that found it. `display_name` (may be empty) enables the name rules; `prefer_vst3` tries the
// VST3 builds before the VST2 id.
int identify_in_cache(const std::vector<ReaperPluginEntry>& cache, std::string_view key,
                      std::string_view display_name, bool prefer_vst3, std::string& rule_name);

// A VST2 build of the plug-in a VST3 row aims at, or -1.
int find_vst2_alternative(const std::vector<ReaperPluginEntry>& cache, std::string_view key,
                          const PluginRuleRow& row);

// The maker part of a REAPER name: the text of the last " (...)" group ending it, skipping
// channel-layout groups such as "(2 out)" and "(8ch)"; empty when there is none.
std::string last_parenthesised_text(std::string_view name);

// Entry kinds as the rules tell them apart.
bool is_vst2_build(const ReaperPluginEntry& entry);  // not CLAP, not VST3, no class id
