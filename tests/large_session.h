// Builds a large synthetic session, encrypted as Pro Tools stores it: many tracks, each with its
// own regions placed one after another, on a list of audio files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/ptformat.h"
#include "tests/walk_builder.h"

namespace large_session {

struct Shape {
    int tracks = 350;
    int clips_per_track = 200;
    int files = 350;
    std::uint32_t rate = 48000;
};

// Region r (from 0, track by track) is "Take r", one second long, placed on its track every two
// seconds; it plays file r % files.
inline std::string encrypted(const Shape& shape) {
    using namespace walk_blocks;
    using namespace test_blocks;
    std::vector<FileEntry> files;
    std::vector<std::uint64_t> lengths;
    for (int f = 0; f < shape.files; ++f) {
        files.push_back({"Take " + std::to_string(f) + ".wav", "EVAW"});
        lengths.push_back(std::uint64_t{shape.rate} * 600);
    }
    std::vector<std::string> regions;
    std::vector<std::string> entries;
    std::vector<std::string> tracks;
    regions.reserve(static_cast<std::size_t>(shape.tracks) * shape.clips_per_track);
    for (int t = 0; t < shape.tracks; ++t) {
        std::vector<std::string> placements;
        for (int c = 0; c < shape.clips_per_track; ++c) {
            const int region = t * shape.clips_per_track + c;
            regions.push_back(audio_region("Take " + std::to_string(region), 0, shape.rate, 0,
                                           static_cast<std::uint16_t>(region % shape.files)));
            placements.push_back(
                placement(static_cast<std::uint32_t>(region),
                          std::uint64_t{shape.rate} * 2 * static_cast<unsigned>(c)));
        }
        const std::string name = "Track " + std::to_string(t + 1);
        entries.push_back(track_entry(name, {static_cast<std::uint16_t>(t)}));
        tracks.push_back(placement_track(name, {audio_playlist(placements)}));
    }
    const std::string plain =
        session_header() + lead_block() + version_block(12) +
        // Scheme 0x05 leaves the first 4096 bytes clear.
        z_block(0x7777, zeros(5000)) + rate_block(shape.rate) +
        audio_files_block(static_cast<std::uint32_t>(shape.files), files, lengths) +
        region_list(regions) + track_list(entries) + placement_tracks(tracks);
    std::vector<std::uint8_t> bytes(plain.begin(), plain.end());
    ptf_xor_crypt(bytes);
    return std::string(bytes.begin(), bytes.end());
}

}  // namespace large_session
