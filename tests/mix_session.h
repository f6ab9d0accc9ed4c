// Builds a whole synthetic mix session of any size, encrypted as Pro Tools stores it: tracks of
// abutting audio clips with a fade-in, crossfades and a fade-out, volume and pan automation lists,
// memory locations and a tempo map. The benchmark builds it large; the tests build it small.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "placement_builder.h"
#include "platform/ptformat.h"
#include "tempo_blocks.h"
#include "walk_builder.h"

namespace mix_session {

struct MixShape {
    int tracks = 4;
    int clips_per_track = 6;
    int files = 8;
    int regions = 0;  // clips play regions 0 .. regions - 1 in turn; 0: a region of its own each
    int automation_points = 16;  // per lane; each track has a volume and a pan lane
    int tempo_entries = 12;
    int locations = 6;
    std::uint32_t rate = 48000;
    bool locked = false;  // every clip is locked
};

// A breakpoint list (0x260a): the point count at +25, the initial value at +35, then 6-byte
// points (u32 position, i16 value) from +37, inside a lane (0x260d) of a track block (0x261b).
inline std::string automation_block(const MixShape& shape, int track, int lane) {
    using test_blocks::append_u16le;
    using test_blocks::u32le;
    using test_blocks::z_block;
    using test_blocks::zeros;
    std::string list = zeros(16);
    append_u16le(list, static_cast<std::uint16_t>(shape.automation_points));
    list += zeros(8);
    append_u16le(list, 0);
    for (int i = 0; i < shape.automation_points; ++i) {
        list += u32le(static_cast<std::uint32_t>(i) * shape.rate / 4);
        append_u16le(list, static_cast<std::uint16_t>(-((i + track + lane * 7) % 120)));
    }
    return z_block(0x261b, z_block(0x260d, zeros(19) + z_block(0x260a, list)));
}

// The decrypted session. Clip c of track t, 2 s long, from 2c s, plays region t * clips + c (or
// that modulo `regions`); each region starts 1 s into its file, so every crossfade has source to
// reach into.
inline std::string plain_session(const MixShape& shape) {
    using namespace walk_blocks;
    using namespace test_placements;
    using test_blocks::kOrigin;
    const std::uint64_t rate = shape.rate;
    const std::uint64_t clip_length = 2 * rate;

    std::vector<test_blocks::FileEntry> files;
    std::vector<std::uint64_t> lengths;
    for (int f = 0; f < shape.files; ++f) {
        files.push_back({"Take " + std::to_string(f) + ".wav", "EVAW"});
        lengths.push_back(rate * 600);
    }

    // Three fade ranges every list refers to: a fade-in, a crossfade and a fade-out.
    const std::string ranges = fade_range(3, 0, static_cast<std::uint32_t>(rate / 10)) +
                               fade_range(1, static_cast<std::uint32_t>(rate / 4),
                                          static_cast<std::uint32_t>(rate / 2), 2, true) +
                               fade_range(2, 0, static_cast<std::uint32_t>(rate / 5));

    std::vector<std::string> regions;
    const int clips = shape.tracks * shape.clips_per_track;
    for (int r = 0; r < (shape.regions > 0 ? std::min(shape.regions, clips) : clips); ++r)
        regions.push_back(audio_region("Take " + std::to_string(r), rate, clip_length, 0,
                                       static_cast<std::uint16_t>(r % shape.files)));
    std::vector<std::string> entries;
    std::vector<std::string> tracks;
    std::string automation;
    for (int t = 0; t < shape.tracks; ++t) {
        std::vector<TestPlacement> listed;
        for (int c = 0; c < shape.clips_per_track; ++c) {
            const int clip = t * shape.clips_per_track + c;
            const auto region =
                static_cast<std::uint32_t>(shape.regions > 0 ? clip % shape.regions : clip);
            const std::uint64_t start = clip_length * static_cast<std::uint64_t>(c);
            TestPlacement listed_clip = clip_at(region, start);
            if (shape.locked) listed_clip.second = 1;
            listed.push_back(listed_clip);
            if (c == 0) listed.push_back(fade_at(0, start));
            if (c % 2 == 1) listed.push_back(fade_at(1, start));
        }
        listed.push_back(
            fade_at(2, clip_length * static_cast<std::uint64_t>(shape.clips_per_track)));
        const std::string name = "Track " + std::to_string(t + 1);
        entries.push_back(track_entry(name, {static_cast<std::uint16_t>(t)}));
        // One list per track, as Pro Tools stores it: the walk reads its clips and the list
        // readers its fades and locks from the same block.
        tracks.push_back(clip_list(name, listed));
        automation += automation_block(shape, t, 0) + automation_block(shape, t, 1);
    }

    constexpr std::uint64_t quarter = 960000;
    std::vector<test_blocks::StoredTempo> tempo;
    for (int i = 0; i < shape.tempo_entries; ++i)
        tempo.push_back({kOrigin + static_cast<std::uint64_t>(i) * 4 * quarter,
                         100.0 + (i * 37) % 60 + 0.25 * (i % 4)});
    std::string locations;
    for (int i = 0; i < shape.locations; ++i) {
        const std::uint64_t at = static_cast<std::uint64_t>(i) * 16 * quarter;
        locations += i % 2 == 0
                         ? test_blocks::location_block("Marker " + std::to_string(i), 1, at, at)
                         : test_blocks::location_block("Section " + std::to_string(i), 2, at,
                                                       at + 8 * quarter);
    }

    using namespace test_blocks;
    return session_header() + lead_block() + version_block(12) +
           // Scheme 0x05 leaves the first 4096 bytes clear: the rest lies past them.
           z_block(0x7777, zeros(5000)) + rate_block(shape.rate) +
           audio_files_block(static_cast<std::uint32_t>(files.size()), files, lengths) +
           region_list(regions) + track_list(entries) + placement_tracks(tracks) + ranges +
           automation + tempo_block(tempo) + meter_block({}) + locations +
           // Room after the last block for the scanners, itself a block: the file ends whole.
           z_block(0x7777, zeros(55));
}

// Decrypted session bytes as Pro Tools stores them.
inline std::string encrypted(const std::string& plain) {
    std::vector<std::uint8_t> bytes(plain.begin(), plain.end());
    ptf_xor_crypt(bytes);
    return std::string(bytes.begin(), bytes.end());
}

// The session file's bytes.
inline std::string encrypted_session(const MixShape& shape) {
    return encrypted(plain_session(shape));
}

}  // namespace mix_session
