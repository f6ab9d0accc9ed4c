// The console summary's paragraphs about the per-track preparation: tracks without an output,
// send wiring, sidechain keys, folders and surround buses. Each returns the text of its
// paragraphs, empty when none is due.
#pragma once

#include <string>

// Tracks without an output (their master send is off).
std::string no_output_rows();
// Send pan lanes not carried, and sends to a bus whose legs feed different auxes.
std::string send_wiring_rows();
// Key inputs wired to channels 3/4 and further ones.
std::string key_input_rows();
// Key inputs not resolved, and plug-ins keyed off another source than their track's first key.
std::string unresolved_key_rows();
// Folder tracks written, empty, nested, moved out and left unwritten.
std::string folder_rows();
// Auxes widened to their surround bus.
std::string surround_bus_rows();
// Tracks whose surround bus gave no panner.
std::string unplaceable_surround_rows();
