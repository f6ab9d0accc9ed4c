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

// A header of `content_type` too long for any block it could stand in: a candidate that every
// search meets and passes over.
inline std::string overlong_header(std::uint16_t content_type) {
    std::string out = "Z";
    test_blocks::append_u16le(out, 1);
    append_u32le(out, 0x7FFFFFF0u);
    test_blocks::append_u16le(out, content_type);
    return out;
}

// About `bytes` of nested headers: MIDI playlist lists and video lists (searched for their
// playlists), in runs of 300,000 bytes (a list above 400,000 bytes is not read), a third of the
// bytes for each, then placements (searched for their loop child) for the rest. Each header is
// followed by a candidate of what it is searched for that does not fit in it.
inline std::string nested_header_blocks(std::size_t bytes) {
    const std::string name = test_blocks::u32le(1) + "a";  // a list's name: length 1, "a"
    constexpr std::size_t kListRun = 300000;
    std::string out;
    const struct { std::uint16_t list, inner; } lists[] = {{0x1057, 0x1056}, {0x1053, 0x1051}};
    for (const auto& [list, inner] : lists) {
        const std::string filler = name + overlong_header(inner);
        const std::size_t run = kListRun / (9 + filler.size());
        for (std::size_t made = 0; made + kListRun <= bytes / 3; made += kListRun)
            out += nested_headers(list, run, filler);
    }
    const std::string loop = overlong_header(0x242b);
    const std::size_t rest = bytes > out.size() ? bytes - out.size() : 0;
    return nested_headers(0x104f, rest / (9 + loop.size()), loop) + out;
}

// `count` blocks one after another, each holding a clip list (0x1052) whose children are all the
// blocks after its own: every list walks the rest of the run.
inline std::string chained_lists(std::size_t count) {
    using test_blocks::append_u16le;
    constexpr std::size_t kStride = 27;  // a block of 9 header bytes holding an 18-byte list head
    const std::size_t run = kStride * count;
    std::string out;
    out.reserve(run + 1);
    for (std::size_t i = 0; i < count; ++i) {
        out += 'Z';
        append_u16le(out, 1);
        append_u32le(out, kStride - 7);
        append_u16le(out, 0x7777);
        // The list: from here to the end of the run, name "a", the blocks after this one.
        const std::size_t at = i * kStride + 9;
        out += 'Z';
        append_u16le(out, 1);
        append_u32le(out, static_cast<std::uint32_t>(run + 1 - at - 7));
        append_u16le(out, 0x1052);
        append_u32le(out, 1);
        out += 'a';
        append_u32le(out, static_cast<std::uint32_t>(count - i - 1));
    }
    return out + '\x01';  // the kind byte of every list
}

}  // namespace crafted_sessions
