// The learned plug-in table, lanwick-plugins.txt beside the program: one AAX plug-in mapped to
// one REAPER plug-in per line, as --learn appends it:
//   AAXSIGN | TYPE TEXT | FILE | ID TEXT | INPUTS | OUTPUTS | TAIL WORD [| PRESET NAME
//   [| HEADER MAGIC]]
// e.g. "FabFPQ3a | VST3: Pro-Q 3 (FabFilter) | FabFilter Pro-Q 3.vst3 | 1178747441{...} | 2 | 2 |
// 0 | Default Setting". Fields are trimmed of blanks and TABs; '#' starts a comment line. The
// header magic, "FEED5EEF" for the plug-ins REAPER writes with that word (an empty preset name
// before it), is written only then: a line without it, as tables before it was kept, reads as
// FEED5EEE.
#pragma once

#include <string>

#include "plugins/plugin_state.h"

// Appends one record per line taken, then one learned row per record; returns the lines taken
// (0 for a table that does not open).
int load_learned_plugins(const std::string& path, PluginKnowledge& knowledge);
