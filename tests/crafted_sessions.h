// Sessions no Pro Tools writes, built to make a reader's cost grow with the square of the file:
// runs of block headers, each nested in the one before, that the readers searching inside every
// candidate of their type would search once per enclosing header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "block_builder.h"

namespace crafted_sessions {

// `count` headers of `content_type`, each followed by `filler` and each reaching the end of the
// run (so every one encloses all that follow it).
inline std::string nested_headers(std::uint16_t content_type, std::size_t count,
                                  const std::string& filler) {
    using test_blocks::append_u16le;
    using test_blocks::append_u32le;
    const std::size_t stride = 9 + filler.size();
    const std::size_t run = stride * count;
    std::string out;
    out.reserve(run);
    for (std::size_t i = 0; i < count; ++i) {
        out += 'Z';
        append_u16le(out, 1);
        append_u32le(out, static_cast<std::uint32_t>(run - i * stride - 7));
        append_u16le(out, content_type);
        out += filler;
    }
    return out;
}

// About `bytes` of nested headers in equal thirds: placements (searched for their loop child),
// MIDI playlist lists and video lists (searched for their playlists), the lists in runs of at
// most 390,000 bytes, since a list above 400,000 bytes is not read.
inline std::string nested_header_blocks(std::size_t bytes) {
    const std::string name = test_blocks::u32le(1) + "a";  // a list's name: length 1, "a"
    const std::size_t third = bytes / 3;
    const std::size_t list_run = 390000 / (9 + name.size());
    std::string out = nested_headers(0x104f, third / 9, {});
    for (const std::uint16_t list : {std::uint16_t{0x1057}, std::uint16_t{0x1053}}) {
        for (std::size_t made = 0; made + list_run * (9 + name.size()) <= third;
             made += list_run * (9 + name.size()))
            out += nested_headers(list, list_run, name);
    }
    return out;
}

}  // namespace crafted_sessions
