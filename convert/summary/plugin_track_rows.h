// The console summary's rows about plug-ins on tracks and the builds chosen for them: Avid Trims
// whose polarity cancels, is mixed, is switched off or has no phase switch to land on; tracks
// playing one leg of a stereo output; plug-ins kept on their VST3 or VST build, moved to CLAP, and
// the Kontakt chosen.
#pragma once

#include <span>
#include <string>

#include "convert/tracks/plugin_tracks.h"

// --prefer-vst2 keeping plug-ins on VST3, and the Kontakt installed here.
std::string plugin_build_rows();
// Tracks whose inverting Trims cancel.
std::string trim_cancel_row(const TrimCounts& trims);
// Surround Trims with polarity on some channels only.
std::string trim_mixed_polarity_row(const TrimCounts& trims);
// Trims with polarity on while bypassed or inactive.
std::string trim_switched_off_row(const TrimCounts& trims);
// Strips a Trim inverts where REAPER has no phase switch.
std::string trim_no_phase_switch_row();
// --prefer-clap: plug-ins moved to their CLAP build, and those kept on their VST build.
std::string clap_build_rows();
// Tracks that output to one channel of a stereo output, "name (left)" / "name (right)".
std::string one_channel_output_rows(std::span<const std::string> tracks);
