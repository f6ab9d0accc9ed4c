// Every container the session walk reads, with every low byte of its count, around the size at
// which a search from the container's header would take the count for a child: the tree finds
// every child and the walk places every clip.
//
// A container opens with a u32 count (after a name, for the clip lists) and its first child
// follows it. A count whose low byte is 0x5A is a block marker: the block that would start there
// has the count's bytes 1-2 for its type and, for counts below 2^24, the size 0x5A00 + 65536 x the
// next child's block type. Once the container is longer than that, a search would take it, and
// the children it covers with it. The containers are read by their framing instead.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "block_builder.h"
#include "placement_builder.h"
#include "session/block_tree.h"
#include "session/control_slots.h"
#include "session/session_walk.h"
#include "walk_builder.h"

namespace {

using test_blocks::u32le;
using test_blocks::z_block;
using test_blocks::zeros;

// One container kind as the real sessions store it: its children's content type and block type,
// and the name a clip list carries before its count.
struct Kind {
    std::uint16_t container = 0;
    std::uint16_t child = 0;
    std::uint16_t child_block_type = 0;
    bool named = false;
    const char* what = "";
};

constexpr Kind kKinds[] = {
    {0x1054, 0x1052, 3, false, "audio placement tracks"},
    {0x1058, 0x1057, 3, false, "MIDI placement tracks"},
    {0x262A, 0x2629, 5, false, "audio regions"},
    {0x1015, 0x1014, 6, false, "track list"},
    {0x2634, 0x2633, 1, false, "MIDI region groups"},
    {0x262C, 0x262B, 5, false, "MIDI region list"},
    {0x1052, 0x1050, 2, true, "a track's clip list"},
    {0x1057, 0x1056, 1, true, "a MIDI track's clip list"},
};

constexpr const char* kListName = "Track";

// Where the count stands, from the container's marker.
std::uint64_t count_offset(const Kind& kind) {
    return kind.named ? 13 + std::string(kListName).size() : 9;
}

// The payload size from which the block a count of low byte 0x5A would start fits the container.
std::uint64_t threshold(const Kind& kind, std::uint32_t count) {
    const std::uint64_t false_size =
        (count >> 24) | 0x5Au << 8 | std::uint64_t{kind.child_block_type} << 16;
    return count_offset(kind) + false_size;
}

// The header of a block of `size` payload bytes, written at `at`.
void put_header(std::string& bytes, std::size_t at, std::uint16_t block_type, std::uint64_t size,
                std::uint16_t content_type) {
    bytes[at] = 'Z';
    bytes[at + 1] = static_cast<char>(block_type & 0xFF);
    bytes[at + 2] = static_cast<char>(block_type >> 8);
    for (int i = 0; i < 4; ++i) bytes[at + 3 + i] = static_cast<char>((size >> (8 * i)) & 0xFF);
    bytes[at + 7] = static_cast<char>(content_type & 0xFF);
    bytes[at + 8] = static_cast<char>(content_type >> 8);
}

// A container of `kind` of exactly `payload` payload bytes holding `count` children of zeros,
// their sizes shared out evenly, the last taking what remains; the first child's size is
// `first_size` when that is not 0. Written in place, into one buffer that each call overwrites:
// the sweep makes a few thousand of them.
const std::string& container(const Kind& kind, std::uint32_t count, std::uint64_t payload,
                             std::uint64_t first_size = 0) {
    static std::string bytes;
    std::string fields =
        kind.named ? u32le(static_cast<std::uint32_t>(std::string(kListName).size())) + kListName
                   : std::string();
    fields += u32le(count);
    bytes.assign(static_cast<std::size_t>(kBlockHeaderSize + payload), '\0');
    put_header(bytes, 0, 1, payload, kind.container);
    bytes.replace(9, fields.size(), fields);
    std::size_t at = 9 + fields.size();
    const std::uint64_t room = bytes.size() - at;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint64_t left = bytes.size() - at;
        std::uint64_t size = i + 1 == count ? left : room / count;
        if (i == 0 && first_size != 0) size = first_size;
        // Room for the children after this one, nine bytes each at least.
        size = std::min<std::uint64_t>(size, left - 9 * std::uint64_t{count - i - 1});
        put_header(bytes, at, kind.child_block_type, size - kBlockHeaderSize, kind.child);
        at += static_cast<std::size_t>(size);
    }
    return bytes;
}

// The children the tree finds in the container at 0, and those next_child gives one at a time,
// are the `count` it was built with, one after another from the first.
void expect_every_child(const Kind& kind, std::uint32_t count, const std::string& bytes) {
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
    SessionBlockNode node;
    ASSERT_TRUE(parse_block_tree(data, bytes.size(), 0, bytes.size(), node, 2));
    ASSERT_EQ(node.children.size(), count);
    // Checked without an assertion per child: the sweep reads a few hundred thousand.
    std::uint64_t next = count_offset(kind) + 4;
    std::size_t misplaced = 0;
    for (const SessionBlockNode& child : node.children) {
        if (child.content_type != kind.child || child.payload_position - kBlockHeaderSize != next)
            ++misplaced;
        next = child.payload_position + child.payload_size;
    }
    EXPECT_EQ(misplaced, 0u);
    ChildCursor cursor;
    SessionBlockNode child;
    std::uint32_t one_at_a_time = 0;
    while (next_child(data, bytes.size(), node, cursor, child)) {
        if (one_at_a_time >= count ||
            child.payload_position != node.children[one_at_a_time].payload_position)
            ++misplaced;
        ++one_at_a_time;
    }
    EXPECT_EQ(one_at_a_time, count);
    EXPECT_EQ(misplaced, 0u);
}

TEST(ContainerCountSweep, TheTreeFindsEveryChildForEveryLowByteOfTheCount) {
    for (const Kind& kind : kKinds) {
        SCOPED_TRACE(kind.what);
        // Past the threshold of a 0x5A count, every low byte: the counts 1 to 256.
        const std::uint64_t past = threshold(kind, 0) + 64;
        for (std::uint32_t count = 1; count <= 256; ++count) {
            SCOPED_TRACE(count);
            expect_every_child(kind, count, container(kind, count, past));
        }
        // Around the threshold of the counts of low byte 0x5A.
        for (const std::uint32_t count : {0x5Au, 0x15Au, 0x25Au, 0xB5Au}) {
            for (const std::int64_t by : {-1, 0, 1, 4096}) {
                SCOPED_TRACE(std::to_string(count) + " children, " + std::to_string(by) +
                             " bytes from the threshold");
                const auto payload = static_cast<std::uint64_t>(
                    static_cast<std::int64_t>(threshold(kind, count)) + by);
                expect_every_child(kind, count, container(kind, count, payload));
            }
        }
        // A count whose second byte is 0x5A: the block that would start there takes the next
        // child's marker and block type for its size, small when the first child's size has a
        // low byte of 0 (a child of 256 + 7 bytes).
        expect_every_child(kind, 0x5A01, container(kind, 0x5A01, 0x5A01 * 16 + 4096, 263));
    }
}

// The audio files (0x1004) count their files, and hold the names block before the files.
TEST(ContainerCountSweep, TheAudioFileListFindsItsNamesWhateverItsCount) {
    // Past the 0x15A00 bytes of the block a count of low byte 0x5A would start (the names
    // block's type is 1), every low byte.
    for (std::uint32_t files = 1; files <= 256; ++files) {
        SCOPED_TRACE(files);
        std::string content = u32le(files) + z_block(0x103A, zeros(64));
        const std::size_t each = (0x15A00 + 4096) / files;
        // One file block, its number patched for each file.
        std::string file =
            z_block(0x1003, u32le(0) + z_block(0x1001, zeros(33), 2) + zeros(each), 7);
        for (std::uint32_t f = 0; f < files; ++f) {
            file.replace(9, 4, u32le(f));
            content += file;
        }
        const std::string bytes = z_block(0x1004, content, 2);
        SessionBlockNode node;
        ASSERT_TRUE(parse_block_tree(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                     bytes.size(), 0, bytes.size(), node, 3));
        ASSERT_EQ(node.children.size(), files + 1);
        EXPECT_EQ(node.children[0].content_type, 0x103A);
        std::size_t misread = 0;
        for (std::uint32_t f = 1; f <= files; ++f) {
            const SessionBlockNode& file = node.children[f];
            if (file.content_type != 0x1003 || file.children.size() != 1 ||
                file.children[0].content_type != 0x1001)
                ++misread;
        }
        EXPECT_EQ(misread, 0u);
    }
}

// The region entries' control slots (their sync points) are read from the same list, and lined
// up with the walk's regions one to one: every entry is read whatever the count.
TEST(ContainerCountSweep, TheControlSlotsReadEveryRegionEntry) {
    for (const std::uint32_t count : {6489u, 6490u, 6491u}) {
        SCOPED_TRACE(count);
        std::vector<std::string> regions(
            count, walk_blocks::audio_region("Region " + std::string(20, 'x'), 0, 100, 0, 0));
        const std::vector<std::uint8_t> bytes =
            walk_blocks::walk_buffer(walk_blocks::region_list(regions) + zeros(64));
        std::vector<std::uint64_t> values;
        std::vector<std::string_view> names;
        read_control_slots(bytes.data(), bytes.size(), values, &names);
        EXPECT_EQ(values.size(), count);
        ASSERT_EQ(names.size(), count);
        EXPECT_EQ(names.back(), "Region " + std::string(20, 'x'));
    }
}

// --- The walk --------------------------------------------------------------------------------

using test_placements::TestPlacement;

struct Shape {
    int tracks = 1;
    int clips_per_track = 1;
    bool midi = false;
};

// A decrypted session of `shape`: one region per clip (audio) or one region for all (MIDI), one
// track-list entry per audio track, one clip list per track as Pro Tools writes it.
std::vector<std::uint8_t> session(const Shape& shape) {
    using namespace walk_blocks;
    using test_blocks::kOrigin;
    std::string blocks;
    std::vector<std::string> lists;
    if (!shape.midi) {
        std::vector<std::string> regions;
        std::vector<std::string> entries;
        for (int t = 0; t < shape.tracks; ++t) {
            const std::string name = "T" + std::to_string(t);
            entries.push_back(track_entry(name, {static_cast<std::uint16_t>(t)}));
            std::vector<TestPlacement> placed;
            for (int c = 0; c < shape.clips_per_track; ++c) {
                const auto region = static_cast<std::uint32_t>(t * shape.clips_per_track + c);
                // Names long enough that 6,490 regions pass 0x55A00 bytes.
                regions.push_back(audio_region("Region " + std::string(20, 'x'), 0, 100, 0, 0));
                placed.push_back(test_placements::clip_at(region, 1000ull * c));
            }
            lists.push_back(test_placements::clip_list(name, placed));
        }
        blocks = region_list(regions) + track_list(entries) + placement_tracks(lists);
    } else {
        std::vector<std::string> names;
        std::string kinds;
        for (int t = 0; t < shape.tracks; ++t) {
            const std::string name = "M" + std::to_string(t);
            names.push_back(name);
            kinds += track_kind(0x2620);
            std::vector<TestPlacement> placed;
            for (int c = 0; c < shape.clips_per_track; ++c)
                placed.push_back(test_placements::ticks(
                    test_placements::clip_at(0, kOrigin + 960000ull * static_cast<unsigned>(c))));
            lists.push_back(test_placements::clip_list(name, placed, -1, 0x1057, 0x1056));
        }
        blocks =
            track_order(names) + kinds +
            chunk_node({midi_chunk({{kOrigin, 60, 10, 1}})}, {midi_region("m", kOrigin, 20, 0)}) +
            midi_placement_tracks(lists);
    }
    return walk_buffer(blocks + zeros(64));
}

// The walk places every clip of the session on its own track, and loses none.
void expect_every_clip_placed(const Shape& shape) {
    SCOPED_TRACE(std::to_string(shape.tracks) + (shape.midi ? " MIDI" : " audio") +
                 " track(s) of " + std::to_string(shape.clips_per_track) + " clips");
    const std::vector<std::uint8_t> bytes = session(shape);
    SessionLayout layout;
    ASSERT_EQ(walk_session_tree(bytes.data(), bytes.size(), {}, layout), 1);
    const std::vector<TrackRegion>& placed =
        shape.midi ? layout.midi_track_regions : layout.audio_track_regions;
    ASSERT_EQ(placed.size(), static_cast<std::size_t>(shape.tracks * shape.clips_per_track));
    EXPECT_TRUE(layout.refused.empty());
    EXPECT_TRUE(layout.unplaced.empty());
    EXPECT_EQ(layout.lost_audio_clips + layout.lost_midi_clips, 0u);
    if (!shape.midi) {
        EXPECT_EQ(layout.audio_regions.size(), placed.size());
    }
    for (std::size_t i = 0; i < placed.size(); ++i) {
        const int track = static_cast<int>(i) / shape.clips_per_track;
        ASSERT_EQ(placed[i].track_name, (shape.midi ? "M" : "T") + std::to_string(track)) << i;
        ASSERT_EQ(placed[i].track_index, track) << i;
        if (!shape.midi) {
            ASSERT_EQ(placed[i].region, i);
        }
    }
}

// Counts of low byte 0x5A and their neighbours, for tracks, a track's entries and the regions,
// audio and MIDI, in containers past the size at which their count would be taken for a child.
TEST(ContainerCountSweep, TheWalkPlacesEveryClipForCountsOfLowByte0x5A) {
    for (const bool midi : {false, true}) {
        for (const int tracks : {89, 90, 91, 346}) {
            // 0x1054 and 0x1058 of 90 tracks: past 0x35A00 bytes from about 4,000 placements.
            expect_every_clip_placed({tracks, 4400 / tracks + 1, midi});
        }
        // One clip list whose count is 0x5A mod 256, past the size of its false child
        // (0x25A00 with children of block type 2), and its neighbours.
        for (const int entries : {2905, 2906, 2907}) expect_every_clip_placed({1, entries, midi});
    }
    // Regions: 6,490 (0x195A) fill 0x262A past 0x55A00 bytes; the track list of 90 entries is
    // covered above. 0x2634 with 90 region groups is the walk's MIDI region count.
    for (const int clips : {3244, 3245, 3246}) expect_every_clip_placed({2, clips, false});
}

}  // namespace
