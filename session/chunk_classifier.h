// The chunk classifier: for a plug-in block whose settings match no known layout, the span of
// its settings area [b +33, settings end) most likely to be the plug-in's own chunk.
//
// Candidates, best score kept (a later one replaces it when higher, or equal and earlier):
//   whole area of text "text (no tag)" 3; a brace-balanced extent of text "braces balance" 6;
//   b +73 on after a printable name at b +41 "AAX chunk data" 6; the only binary section after
//   the "elck" section "AAX chunk after elck" 6; a length word 4..24 bytes before a position that
//   reaches the settings end "length closes" 1..5; a tag, zlib header or text run, alone (tag 7,
//   zlib 5) or with a length word before it (weight 1..6, 6 more when it ends at the settings
//   end or 3 when close to it, 6 more when the same bytes follow, 8 more for a tag).
// A best score below 3, or a span of 31 bytes or fewer, leaves the record alone.
#pragma once

#include <cstddef>

#include "model/plugin_instance.h"
#include "session/scan.h"

// Sets kind 13 with the chosen span, its label and container match, or leaves `record` alone.
void check_chunk_container(SessionBytes bytes, std::size_t block, std::size_t settings_end,
                           SessionPluginInstance& record);
