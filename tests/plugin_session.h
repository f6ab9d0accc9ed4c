// The session the plug-in tests convert: one track, "Drums", playing 2 s of "Kick.wav" (a 10 s
// file), whose track block holds plug-in slots after its mixer lane.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tests/mixer_builder.h"
#include "tests/walk_builder.h"

namespace plugin_session {

// The plain (unencrypted) session at `rate` with `slots` in Drums' track block.
inline std::string drums_with_slots(const std::string& slots, std::uint32_t rate = 44100) {
    using namespace walk_blocks;
    using namespace mixer_blocks;
    using namespace test_blocks;
    const std::string walk =
        region_list({audio_region("Kick", 0, 2 * rate, 0, 0)}) +
        track_list({track_entry("Drums", {0})}) +
        placement_tracks({placement_track("Drums", {audio_playlist({placement(0, 0)})})});
    const std::string drums = track_block(
        0x261b, "Drums",
        lane_block(fader_block(0), output_block(2, "Out 1-2") +
                                       mono_lists(list_block(0), list_block(0), list_block(0))) +
            slots);
    std::vector<FileEntry> files = {{"Kick.wav", "EVAW"}};
    std::vector<std::uint64_t> lengths(1, 10 * rate);
    return session_header() + lead_block() + version_block(12) + z_block(0x7777, zeros(5000)) +
           rate_block(rate) + audio_files_block(1, files, lengths) + walk + drums;
}

}  // namespace plugin_session
