// The learned plug-in table, lanwick-plugins.txt beside the program: one AAX plug-in mapped to
// one REAPER plug-in per line, as --learn appends it:
//   AAXSIGN | TYPE TEXT | FILE | ID TEXT | INPUTS | OUTPUTS | TAIL WORD [| PRESET NAME]
// e.g. "FabFPQ3a | VST3: Pro-Q 3 (FabFilter) | FabFilter Pro-Q 3.vst3 | 1178747441{...} | 2 | 2 |
// 0 | Default Setting". Fields are trimmed of blanks and TABs; '#' starts a comment line.
#pragma once

#include <string>

#include "plugins/plugin_state.h"

// Appends one record per line taken, then one learned row per record; returns the lines taken
// (0 for a table that does not open).
int load_learned_plugins(const std::string& path, PluginKnowledge& knowledge);
