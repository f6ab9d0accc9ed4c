// Sessions no Pro Tools writes, built to make a reader's cost grow with the square of the file:
// runs of block headers, each nested in the one before, that the readers searching inside every
// candidate of their type would search once per enclosing header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "block_builder.h"
#include "mixer_builder.h"
#include "plugin_blocks.h"
#include "walk_builder.h"

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

// About `bytes` of mixer strip headers (0x2015), one every 9 bytes, each overlapping all that
// follow it. With `common_end` each reaches the end of the run, its block type 0x0100 making it
// no block to look for inside a strip; else (block type 1) each ends one byte past the one
// before, too late to lie inside it. Either way a search for the first block inside a strip
// would pass every header after it.
inline std::string overlapping_strips(std::size_t bytes, bool common_end) {
    using test_blocks::append_u16le;
    const std::size_t count = bytes / 9;
    const std::size_t run = 9 * count;
    std::string out;
    out.reserve(run + count);
    for (std::size_t i = 0; i < count; ++i) {
        out += 'Z';
        append_u16le(out, common_end ? 0x0100 : 0x0001);
        const std::size_t end = common_end ? run : run + i;
        append_u32le(out, static_cast<std::uint32_t>(end - i * 9 - 7));
        append_u16le(out, 0x2015);
    }
    if (!common_end) out += std::string(count, '\0');
    return out;
}

// About `bytes` of MIDI event streams inside one chunk block (0x2000), one every 44 bytes: each
// stream's first entry holds the rest of the run as its data, and its second entry is missing.
// Copied before the stream is checked, every stream would copy the rest of the run.
inline std::string failing_event_streams(std::size_t bytes) {
    using test_blocks::u32le;
    using test_blocks::zeros;
    constexpr std::size_t kStride = 44;  // the stream's 25 bytes and its first entry's 19
    const std::size_t count = bytes / kStride;
    const std::size_t run = kStride * count;
    std::string streams;
    streams.reserve(run);
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t m = i * kStride;
        streams += "MdES" + zeros(6) + "MdTEL" + zeros(2) +
                   u32le(static_cast<std::uint32_t>(run - (m + 21))) + u32le(2);
        const auto data = static_cast<std::uint32_t>(run - (m + kStride));
        streams += zeros(8) + "\x01" + zeros(1) + u32le(data + 5) + zeros(1) + u32le(data);
    }
    return test_blocks::z_block(0x2000,
                                zeros(4) + "MdNLB" + zeros(6) + u32le(0) + zeros(4) + streams);
}

// About `bytes` of MIDI event streams inside one chunk block (0x2000), one every 44 bytes, that
// share their entries: each stream's first entry follows its 25 bytes, the entry's data is the
// next stream's 25 bytes, and its next entry is the next stream's first. The last entry runs past
// the streams' common end, so every stream fails there, after walking all the entries after it.
inline std::string chained_event_streams(std::size_t bytes) {
    using test_blocks::u32le;
    using test_blocks::zeros;
    constexpr std::size_t kStride = 44;
    const std::size_t count = bytes / kStride;
    const std::size_t end = kStride * count + 25;  // where the last entry would end
    std::string streams;
    streams.reserve(end + 1);
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t m = i * kStride;
        streams += "MdES" + zeros(6) + "MdTEL" + zeros(2) +
                   u32le(static_cast<std::uint32_t>(end - (m + 21))) +
                   u32le(static_cast<std::uint32_t>(count - i));
        const std::uint32_t data = i + 1 < count ? 25 : 26;  // the last one a byte too long
        streams += zeros(8) + "\x01" + zeros(1) + u32le(data + 5) + zeros(1) + u32le(data);
    }
    streams += zeros(26);
    return test_blocks::z_block(0x2000,
                                zeros(4) + "MdNLB" + zeros(6) + u32le(0) + zeros(4) + streams);
}

// About `bytes` in one audio track block (0x261b): half of them a run of 'Z' bytes, none a
// block header, then the track's name and send lanes, each its fader block, an output name and
// a group of two breakpoint lists. Searched from the track's header once per send (for the pan
// layout a send of grouped lists asks), every send would pass the whole run.
inline std::string track_of_many_sends(std::size_t bytes) {
    using namespace mixer_blocks;
    const std::string send = lane_block(
        fader_block(0), output_block(1, "Bus") + group_block(list_block(0) + list_block(0)));
    const std::size_t count = bytes / 2 / send.size();
    std::string rest = std::string(bytes / 2, 'Z') + name_block("Sends");
    rest.reserve(rest.size() + (count + 1) * send.size());
    rest += lane_block(fader_block(0), output_block(1, "Out"));  // the track's own output
    for (std::size_t i = 0; i < count; ++i) rest += send;
    return test_blocks::z_block(0x261b, rest);
}

// About `bytes` of MIDI placement tracks (inside one 0x1058), every other one a damaged track
// record holding one placement: each refused placement is named after a track of its own.
// Gathered per track by a search of the tracks named so far, every refused placement would pass
// all the ones before it.
inline std::string refused_on_many_tracks(std::size_t bytes) {
    using namespace walk_blocks;
    const std::string track = midi_placement_track("", {});
    const std::string damaged = test_blocks::z_block(
        0x1059,
        named("") + u32le(1) + playlist(0x1056, {placement(0, test_blocks::kOrigin, kTicks)}), 3);
    const std::size_t count = bytes / (track.size() + damaged.size());
    std::string content = u32le(static_cast<std::uint32_t>(2 * count));
    content.reserve(4 + count * (track.size() + damaged.size()));
    for (std::size_t i = 0; i < count; ++i) content += track + damaged;
    return test_blocks::z_block(0x1058, content);
}

// About `bytes`: half of them a track of many sends (`track_of_many_sends`), half of them track
// blocks of one lane each. Looked for among all the tracks once per send, each send's source
// would pass every track.
inline std::string many_sends_among_many_tracks(std::size_t bytes) {
    using namespace mixer_blocks;
    std::string out = track_of_many_sends(bytes / 2);
    const std::string lane = lane_block(fader_block(0), output_block(1, "Out"));
    while (out.size() < bytes) out += track_block(0x261b, "T" + std::to_string(out.size()), lane);
    return out;
}

// About `bytes` of track blocks, each muted and holding an active Click II, in a session whose
// click is on: no track plays the click. Each looked for among all the lane sets (whether it is
// muted), the tracks would each pass all the lane sets before their own.
inline std::string muted_click_tracks(std::size_t bytes) {
    using namespace mixer_blocks;
    std::string click_on = zeros(29);
    click_on[20] = 1;  // the click flag, at +29
    std::string out = z_block(0x2055, click_on);
    test_plugins::PluginBlock click;
    click.id = "DigiclikClk2";
    const std::string rest =
        lane_block(fader_block(0, 1), output_block(2, "Out 1-2") +
                                          mono_lists(list_block(0), list_block(0), list_block(0))) +
        test_plugins::plugin_block(click) + test_plugins::byte(1) + zeros(3);
    for (std::size_t i = 0; out.size() < bytes; ++i)
        out += track_block(0x261b, "C" + std::to_string(1000000 + i), rest);
    return out;
}

}  // namespace crafted_sessions
