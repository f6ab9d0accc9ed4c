// The mix window's strips (0x2015 blocks, one per strip) and each track's view and mix state.
//   0x2015 P (end E): its last u32 is the colour number, unless a 0x2434 block inside it is
//          followed by a u32 (that one then); after its first nested block N: +1 shown in the
//          mixer, +6 u16 height, +8 u32 comment length, +12 the comment; the byte at E is the
//          solo-safe state (0 or 1)
//   a named block's 0x102d child at +9: after its first 0x2619 block, the solo state (0 or 1),
//          the automation mode (below 6) and the trim flag (0 or 1)
//   the colour index of a strip: a u16 23 bytes after P's first child (or right after a 0x2104
//          child covering that place); 25..95 except 48 and 72 lie on the track palette
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "model/track_view_state.h"
#include "session/track_names.h"

// One record per named block (`out` replaced): by order when there are as many strips as named
// blocks, else through the strip rows' names when there are as many rows as strips, else every
// block keeps the defaults.
void read_channel_strips_2015(const std::uint8_t* data, std::size_t length,
                              const std::vector<NamedBlockEntry>& named,
                              std::vector<TrackViewState>& out);

// The colour number of each named block (0 when none); `out` is replaced.
void reduce_102d_per_track(const std::uint8_t* data, std::size_t length,
                           const std::vector<NamedBlockEntry>& named,
                           std::vector<std::uint32_t>& out);

struct TrackColourIndex {
    std::string track;
    std::int32_t index = 0;
};

// {track name, colour index} of every strip whose value lies on the track palette; values off it
// (0xFFFE, "no colour", aside) add one to `off_palette` when given.
void read_2015_2104(const std::uint8_t* data, std::size_t length,
                    std::vector<TrackColourIndex>& out, int* off_palette = nullptr);
