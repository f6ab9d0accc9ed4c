// Sessions no Pro Tools writes, built to make a reader's cost grow with the square of its records:
// tens of thousands of mix-group records, send lanes each nested in the one before, and a tempo
// map of a hundred thousand entries. Each is a small session of a few tracks
// (crafted_tracks::plain_session) with the crafted blocks after it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "crafted_tracks.h"
#include "mix_session.h"
#include "mixer_builder.h"
#include "platform/ptformat.h"
#include "tempo_blocks.h"

namespace crafted_readers {

enum class Kind {
    groups,          // one-member mix-group records, each named once
    send_lanes,      // one track whose send lanes each hold the next, two lists grouped
    mono_out_lanes,  // the same with "Out 1-2" lanes of mono lists
    tempo_map,       // one "Tempo" block of many entries
};

struct Shape {
    Kind kind = Kind::groups;
    std::size_t bytes = 100000;  // about this many crafted bytes
};

// `count` lanes, lane i holding `own` and then lane i + 1: every lane reaches the end of the run.
inline std::string nested_lanes(const std::string& own, std::size_t count) {
    using test_blocks::append_u16le;
    const std::size_t stride = 9 + own.size();
    std::string out;
    out.reserve(stride * count);
    for (std::size_t i = 0; i < count; ++i) {
        out += 'Z';
        append_u16le(out, 1);
        append_u32le(out, static_cast<std::uint32_t>(stride * (count - i) - 7));
        append_u16le(out, 0x260d);
        out += own;
    }
    return out;
}

inline std::string crafted_blocks(const Shape& shape) {
    using namespace mixer_blocks;
    std::string out;
    switch (shape.kind) {
        case Kind::groups: {
            StoredGroup g;
            for (std::size_t i = 0; out.size() < shape.bytes; ++i) {
                g.name = "Group " + std::to_string(i);
                g.members = {static_cast<std::uint16_t>(i % 3)};
                out += mix_group_block(g);
            }
            return out;
        }
        case Kind::send_lanes:
        case Kind::mono_out_lanes: {
            const bool mono = shape.kind == Kind::mono_out_lanes;
            const std::string own =
                fader_block(0) +
                (mono ? output_block(2, "Out 1-2") +
                            mono_lists(list_block(0), list_block(0), list_block(-100))
                      : output_block(1, "Bus") + group_block(list_block(0) + list_block(0)));
            const std::string head = lane_block(fader_block(0), output_block(1, "Out"));
            const std::size_t count = shape.bytes / (9 + own.size());
            return track_block(0x261b, "Sends", head + nested_lanes(own, count));
        }
        case Kind::tempo_map: {
            std::vector<test_blocks::StoredTempo> entries;
            for (std::size_t i = 0; 61 * entries.size() < shape.bytes; ++i)
                entries.push_back({test_blocks::kOrigin + 960000 * i, 100.0 + (i % 37)});
            return test_blocks::tempo_block(entries);
        }
    }
    return out;
}

// Three tracks of one clip ("Track 0" to "Track 2") and the crafted blocks.
inline std::string plain_session(const Shape& shape) {
    return crafted_tracks::plain_session({.tracks = 3}) + crafted_blocks(shape);
}

inline std::string encrypted(const Shape& shape) {
    return mix_session::encrypted(plain_session(shape));
}

}  // namespace crafted_readers
