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
// Plug-in parameter envelopes: points written, how the lanes were placed, lanes not carried.
std::string fx_param_envelope_paragraphs();
// Under --no-stand-ins: the Avid plug-ins left in their slot, also when none was but a Trim flips
// one side of a track only.
std::string fx_no_standins_paragraph();
// The session's Avid Trims and how their gain was carried.
std::string fx_trim_paragraph();
// Tracks whose one-sided Trim polarity is carried by a polarity effect.
std::string fx_one_sided_polarity_paragraph();
// The paragraph that closes a list of things not recognised: what no tool can carry and where
// to ask for the rest.
std::string stock_processors_paragraph();
