// The console summary's paragraphs about effect chains, from what the chain writer counted.
#pragma once

#include <string>

// Plug-ins carried bypassed.
std::string fx_bypassed_paragraph();
// Inactive plug-ins written offline, and every plug-in written offline.
std::string fx_offline_paragraphs();
// Plug-ins on MIDI tracks whose MIDI triggering was switched off.
std::string fx_midi_trigger_paragraph();
// The plug-in block: instances found and carried, then each list of slots not carried.
// `instances`: the session's plug-in instances.
std::string fx_plugin_paragraph(int instances);
