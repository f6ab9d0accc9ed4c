// Builds the session-walk blocks of a decrypted session for tests: regions, track lists,
// placements, MIDI chunks and MIDI regions, in the layout of Pro Tools 10 and later.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "block_builder.h"
#include "session/session_walk.h"

namespace walk_blocks {

using test_blocks::append_u16le;
using test_blocks::u32le;
using test_blocks::z_block;
using test_blocks::zeros;

inline std::string byte(std::uint8_t value) {
    return std::string(1, static_cast<char>(value));
}

inline std::string u16le(std::uint16_t value) {
    std::string out;
    append_u16le(out, value);
    return out;
}

// The low `width` bytes of `value`, least significant first.
inline std::string uintle(std::uint64_t value, unsigned width) {
    std::string out;
    for (unsigned i = 0; i < width; ++i)
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    return out;
}

inline std::string named(const std::string& name) {
    return u32le(static_cast<std::uint32_t>(name.size())) + name;
}

// Three integers with their widths in the high nibbles of the bytes after the name and a gap
// before the second.
inline std::string nibble_ints(std::uint64_t first, std::uint64_t second, std::uint64_t third,
                               unsigned w1 = 5, unsigned w2 = 5, unsigned w3 = 5,
                               unsigned gap = 0) {
    return byte(0) + byte(static_cast<std::uint8_t>(w1 << 4)) +
           byte(static_cast<std::uint8_t>((w2 << 4) | gap)) +
           byte(static_cast<std::uint8_t>(w3 << 4)) + byte(0) + uintle(first, w1) + zeros(gap) +
           uintle(second, w2) + uintle(third, w3);
}

// One audio region (0x2629): its data block, then the number of its audio file.
inline std::string audio_region(const std::string& name, std::uint64_t offset, std::uint64_t length,
                                std::uint64_t start, std::uint16_t file_index) {
    const std::string data = z_block(0x2628, named(name) + nibble_ints(offset, length, start), 2);
    return z_block(0x2629, data + u16le(file_index) + zeros(2), 5);
}

inline std::string region_list(const std::vector<std::string>& regions) {
    std::string content = u32le(static_cast<std::uint32_t>(regions.size()));
    for (const std::string& region : regions) content += region;
    return z_block(0x262A, content);
}

// One track list entry (0x1014): the track's name and the track numbers of its channels.
inline std::string track_entry(const std::string& name, const std::vector<std::uint16_t>& numbers,
                               std::uint32_t count) {
    std::string content = named(name) + byte(0) + u32le(count);
    for (std::uint16_t number : numbers) content += u16le(number);
    return z_block(0x1014, content + zeros(8), 6);
}

inline std::string track_entry(const std::string& name, const std::vector<std::uint16_t>& numbers) {
    return track_entry(name, numbers, static_cast<std::uint32_t>(numbers.size()));
}

inline std::string track_list(const std::vector<std::string>& entries) {
    std::string content = u32le(static_cast<std::uint32_t>(entries.size()));
    for (const std::string& entry : entries) content += entry;
    return z_block(0x1015, content);
}

inline constexpr std::uint8_t kTicks = 0x40;
inline constexpr std::uint8_t kSamples = 0x00;
inline constexpr std::uint8_t kClip = 0x03;
inline constexpr std::uint8_t kFade = 0x01;

// One placement (0x104F): region number, 48-bit start, time base and kind.
inline std::string placement(std::uint32_t region, std::uint64_t start, std::uint8_t time_base = 0,
                             std::uint8_t kind = kClip) {
    return z_block(0x104F,
                   zeros(2) + u32le(region) + byte(0) + uintle(start, 6) + byte(0) +
                       byte(time_base) + byte(kind) + zeros(19),
                   0x0A);
}

// A playlist of placements; `mark` lands on the byte 11 past its payload position, and
// `closing` on the byte 2 past its end.
inline std::string playlist(std::uint16_t type, const std::vector<std::string>& placements,
                            std::uint8_t mark = 0, std::uint8_t closing = 0) {
    std::string content = zeros(9) + byte(mark);
    for (const std::string& p : placements) content += p;
    return z_block(type, content, 2) + zeros(2) + byte(closing);
}

inline std::string audio_playlist(const std::vector<std::string>& placements, std::uint8_t mark = 0,
                                  std::uint8_t closing = 0) {
    return playlist(0x1050, placements, mark, closing);
}

// A track's clip list as the walk reads it, and only as the walk reads it: a list Pro Tools writes
// holds each placement at its child's +9 and a kind byte after the children
// (`test_placements::clip_list`), where these playlists hold ten bytes before their placements and
// leave a 0 where the kind byte stands, so the list readers count this block as a list they could
// not read. A session whose
// lists must be read stores each as `clip_list`, once: the walk reads that block as well.
inline std::string placement_track(const std::string& name,
                                   const std::vector<std::string>& playlists) {
    std::string content = named(name) + u32le(static_cast<std::uint32_t>(playlists.size()));
    for (const std::string& p : playlists) content += p;
    return z_block(0x1052, content, 3);
}

inline std::string placement_tracks(const std::vector<std::string>& tracks) {
    std::string content = u32le(static_cast<std::uint32_t>(tracks.size()));
    for (const std::string& track : tracks) content += track;
    return z_block(0x1054, content);
}

// --- MIDI ---

struct Note {
    std::uint64_t position = 0;  // as stored: ticks + 10^12
    std::uint8_t note = 0;
    std::uint64_t length = 0;
    std::uint8_t velocity = 0;
};

// A note chunk: the marker, the event count, then 35 bytes per event.
inline std::string midi_chunk(const std::vector<Note>& notes, std::uint32_t count) {
    std::string out = "MdNLB" + zeros(6) + u32le(count);
    for (const Note& n : notes) {
        out += uintle(n.position, 6) + byte(0) + byte(0x40) + byte(n.note) + uintle(n.length, 6) +
               byte(0) + byte(0x40) + byte(n.velocity) + zeros(17);
    }
    return out;
}

inline std::string midi_chunk(const std::vector<Note>& notes) {
    return midi_chunk(notes, static_cast<std::uint32_t>(notes.size()));
}

// A MIDI region (0x2628) of the chunk-node layout and the chunk number after it.
inline std::string midi_region(const std::string& name, std::uint64_t source, std::uint64_t length,
                               std::uint32_t chunk) {
    return z_block(0x2628, named(name) + nibble_ints(source, length, 0, 5, 5, 0), 2) + u32le(chunk);
}

// A chunk node (0x2634): the chunks, then one region group per region.
inline std::string chunk_node(const std::vector<std::string>& chunks,
                              const std::vector<std::string>& regions) {
    std::string content = zeros(4);
    for (const std::string& chunk : chunks) content += chunk;
    for (const std::string& region : regions) content += z_block(0x2633, region);
    return z_block(0x2634, content);
}

// The track order (0x2519) with one entry per track, and the track-kind blocks it is read with.
inline std::string track_order(const std::vector<std::string>& names) {
    std::string content = zeros(4);
    for (const std::string& name : names) content += z_block(0x251A, zeros(2) + named(name), 6);
    return z_block(0x2519, content, 7);
}

inline std::string track_kind(std::uint16_t kind) {
    return z_block(kind, zeros(4));
}

inline std::string midi_placement_track(const std::string& name,
                                        const std::vector<std::string>& playlists) {
    std::string content = named(name) + u32le(1);
    for (const std::string& p : playlists) content += p;
    return z_block(0x1057, content, 3);
}

inline std::string midi_placement_tracks(const std::vector<std::string>& tracks) {
    std::string content = u32le(static_cast<std::uint32_t>(tracks.size()));
    for (const std::string& track : tracks) content += track;
    return z_block(0x1058, content);
}

// A decrypted session for the walk alone: the 20 clear header bytes and the blocks.
inline std::vector<std::uint8_t> walk_buffer(const std::string& blocks) {
    return test_blocks::to_bytes(test_blocks::session_header() + blocks);
}

}  // namespace walk_blocks
