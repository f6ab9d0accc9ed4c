// A session no Pro Tools writes, built to make the track stage's cost grow with the square of the
// track count: tens of thousands of tracks, each a track of one clip and a named mixer block,
// with as many 0x261c track blocks beside them, under the colour coding by track type (which
// asks, for every named block, whether a track block holds it). Folder rows that name no track
// stand in the strip-row list, each searched for among the tracks.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "mixer_builder.h"
#include "platform/ptformat.h"
#include "walk_builder.h"

namespace crafted_tracks {

struct Shape {
    int tracks = 1000;
    int folder_rows = 0;  // kind-11 rows with their flag set, naming no track
};

// The colour coding block with the track coding `mode` at its fallback byte (+36).
inline std::string colour_coding_block(std::uint8_t mode) {
    std::string block = test_blocks::z_block(0x20a2, test_blocks::zeros(39), 0x08);
    block[36] = static_cast<char>(mode);
    return block;
}

// A strip row of size L + 72, the layout that carries the flag at +L + 68.
inline std::string flagged_folder_row(const std::string& name) {
    std::string row = mixer_blocks::strip_row(11, name, 1, 72);
    row[name.size() + 68] = 1;
    return row;
}

// Track t (from 0) is "Track t" with one clip, "Take t", one second long at its start; every
// track plays the one audio file.
inline std::string plain_session(const Shape& shape) {
    using namespace walk_blocks;
    using namespace test_blocks;
    constexpr std::uint32_t kRate = 48000;
    std::string regions = u32le(static_cast<std::uint32_t>(shape.tracks));
    std::string entries = u32le(static_cast<std::uint32_t>(shape.tracks));
    std::string tracks = u32le(static_cast<std::uint32_t>(shape.tracks));
    std::string named;
    std::string track_blocks;
    for (int t = 0; t < shape.tracks; ++t) {
        const std::string name = "Track " + std::to_string(t);
        regions += audio_region("Take " + std::to_string(t), 0, kRate, 0, 0);
        entries += track_entry(name, {static_cast<std::uint16_t>(t)});
        tracks +=
            placement_track(name, {audio_playlist({placement(static_cast<std::uint32_t>(t), 0)})});
        named += mixer_blocks::track_block(0x261b, name);
        track_blocks += z_block(0x261c, zeros(2));
    }
    std::string rows;
    for (int r = 0; r < shape.folder_rows; ++r)
        rows += flagged_folder_row("Folder " + std::to_string(r));
    return session_header() + lead_block() + version_block(12) +
           // Scheme 0x05 leaves the first 4096 bytes clear.
           z_block(0x7777, zeros(5000)) + rate_block(kRate) +
           audio_files_block(1, {{"Take.wav", "EVAW"}}, {std::uint64_t{kRate} * 600}) +
           z_block(0x262A, regions) + z_block(0x1015, entries) + z_block(0x1054, tracks) +
           colour_coding_block(4) + z_block(0x2519, rows) + named + track_blocks;
}

inline std::string encrypted(const Shape& shape) {
    const std::string plain = plain_session(shape);
    std::vector<std::uint8_t> bytes(plain.begin(), plain.end());
    ptf_xor_crypt(bytes);
    return std::string(bytes.begin(), bytes.end());
}

}  // namespace crafted_tracks
