// Readers of clip lists, placements, region lists, loops, playlist names, session items, fade
// ranges and control slots.
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "block_builder.h"
#include "crafted_sessions.h"
#include "placement_builder.h"
#include "platform/ptformat.h"
#include "session/block_index.h"
#include "session/clip_lists.h"
#include "session/control_slots.h"
#include "session/fade_ranges.h"
#include "session/loop_records.h"
#include "session/named_placements.h"
#include "session/playlist_names.h"
#include "session/region_list.h"
#include "session/session_items.h"
#include "test_support.h"

namespace {

using namespace test_blocks;
using namespace test_placements;

const std::uint8_t* u8(const std::string& s) {
    return reinterpret_cast<const std::uint8_t*>(s.data());
}

std::string text(const std::string& s) {
    return u32le(static_cast<std::uint32_t>(s.size())) + s;
}

std::vector<R10BlockRecord> records_of(const std::string& buffer, std::uint32_t* bad = nullptr) {
    std::vector<R10BlockRecord> out;
    read_r10_records(u8(buffer), buffer.size(), out, bad);
    return out;
}

// --- Clip lists ---------------------------------------------------------------------------------

TEST(ClipLists, ReadEveryPlacementFieldAndTheListKind) {
    TestPlacement clip = clip_at(7, 0x0000'0123'4567'89ABULL);  // past 2^40
    clip.value = 12;
    clip.first = 1;
    clip.second = 1;
    TestPlacement fade = fade_at(2, 480000);
    TestPlacement group = group_at(1, kOrigin + 960000);
    group.time_base = 0x40;
    group.byte_24 = 2;
    const std::string buffer = "xx" + clip_list("Gtr", {clip, fade, group}, 2) + zeros(4);

    std::vector<ClipListName> names;
    std::vector<std::uint32_t> counts;
    read_r10_list_names(u8(buffer), buffer.size(), names, &counts);
    ASSERT_EQ(names.size(), 1u);
    EXPECT_EQ(names[0].name, "Gtr");
    EXPECT_EQ(names[0].second_kind, 1);
    EXPECT_EQ(counts, (std::vector<std::uint32_t>{3}));

    const std::vector<R10BlockRecord> records = records_of(buffer);
    ASSERT_EQ(records.size(), 1u);
    const R10BlockRecord& r = records[0];
    EXPECT_EQ(r.counts_ticks, 1);
    EXPECT_EQ(r.ids, (std::vector<std::uint32_t>{7, 2, 1}));
    EXPECT_EQ(r.positions,
              (std::vector<std::uint64_t>{0x0000'0123'4567'89ABULL, 480000, kOrigin + 960000}));
    EXPECT_EQ(r.time_bases, (std::vector<std::uint8_t>{0x00, 0x00, 0x40}));
    EXPECT_EQ(r.colour_numbers, (std::vector<std::int16_t>{12, -2, -2}));
    EXPECT_EQ(r.closed, (std::vector<std::uint8_t>{1, 0, 1}));
    EXPECT_EQ(r.fade_entry, (std::vector<std::uint8_t>{0, 1, 0}));
    EXPECT_EQ(r.over_flag, (std::vector<std::uint8_t>{3, 1, 2}));
    EXPECT_EQ(r.group_entry, (std::vector<std::uint8_t>{0, 0, 1}));
    EXPECT_EQ(r.muted, (std::vector<std::uint8_t>{1, 0, 0}));
    EXPECT_EQ(r.locked, (std::vector<std::uint8_t>{1, 0, 0}));
}

TEST(ClipLists, BrokenFramingYieldsNothing) {
    const std::string good = clip_list("Gtr", {clip_at(0, 0)});
    // Kind byte 3.
    const std::string kind3 = clip_list("Gtr", {clip_at(0, 0)}, 3);
    // A count that runs past the list's children.
    std::string overcount = good;
    overcount[13 + 3] = 2;
    // A name length past the list.
    std::string long_name = good;
    long_name[9] = 60;
    // A child that is not a block.
    std::string no_marker = good;
    no_marker[13 + 3 + 4] = 'Y';

    const std::vector<std::string> lists = {kind3, overcount, long_name, no_marker};
    for (std::size_t i = 0; i < lists.size(); ++i) {
        const std::string buffer = lists[i] + zeros(20);
        std::vector<ClipListName> names;
        read_r10_list_names(u8(buffer), buffer.size(), names);
        EXPECT_TRUE(names.empty());
        std::uint32_t bad = 0;
        EXPECT_TRUE(records_of(buffer, &bad).empty());
        // Damaged lists whose name still reads are counted.
        EXPECT_EQ(bad, i == 2 ? 0u : 1u) << i;
    }
}

TEST(ClipLists, ListsMadeToOverlapAreWalkedFourDeepAndCounted) {
    // Ten lists, each taking all the blocks after its own as its children.
    const std::string buffer = crafted_sessions::chained_lists(10) + zeros(20);
    std::uint32_t bad = 0;
    EXPECT_EQ(records_of(buffer, &bad).size(), 4u);
    EXPECT_EQ(bad, 6u);
}

TEST(ClipLists, ShortBuffersAndHugeCountsAreSafe) {
    const std::string list = clip_list("Gtr", {clip_at(0, 0)});
    // Up to the kind byte, which is the last byte a list needs.
    for (std::size_t cut = 0; cut + 1 < list.size(); ++cut) {
        const std::string buffer = list.substr(0, cut);
        std::vector<R10BlockRecord> out;
        read_r10_records(u8(buffer), buffer.size(), out);
        EXPECT_TRUE(out.empty()) << cut;
    }
    std::string huge = list;
    huge[13 + 3] = '\x21';  // 0x4E21 = 20001 children
    huge[13 + 4] = '\x4e';
    EXPECT_TRUE(records_of(huge + zeros(20)).empty());
}

TEST(PlacementLists, MidiListsGiveDistancesByTimeBase) {
    TestPlacement before = ticks(clip_at(4, kOrigin - 960000));
    TestPlacement tick = ticks(clip_at(5, kOrigin + 1920000));
    TestPlacement samples = clip_at(6, 96000);
    TestPlacement unknown_base = clip_at(7, kOrigin + 10);
    unknown_base.time_base = 0x11;
    const std::string buffer =
        clip_list("MIDI 1", {before, tick, samples, unknown_base}, -1, 0x1057, 0x1056) +
        // No child carries a placement: no list.
        z_block(0x1057, text("Empty") + u32le(1) + z_block(0x1056, zeros(40)), 3) + zeros(20);
    std::vector<PlacementList> out;
    read_placement_lists(u8(buffer), buffer.size(), out);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].name, "MIDI 1");
    EXPECT_EQ(out[0].region_ids, (std::vector<std::uint32_t>{4, 5, 6, 7}));
    EXPECT_EQ(out[0].positions, (std::vector<std::int64_t>{960000, 1920000, 96000, 10}));
    EXPECT_EQ(out[0].values, (std::vector<std::uint32_t>(4, 0xFFFFFFFEu)));
}

TEST(NamedPlacements, MidiAndVideoListsAndClipGroupCounts) {
    TestPlacement grouped = ticks(group_at(3, kOrigin));
    const std::string midi =
        clip_list("MIDI 2", {ticks(clip_at(1, kOrigin + 5)), grouped}, -1, 0x1057, 0x1056);
    const std::string video =
        z_block(0x1053,
                text("Video 1") + zeros(4) +
                    z_block(0x1051, zeros(2) + placement_block(clip_at(9, 48000)) + zeros(2)),
                3);
    const std::string buffer = midi + video + zeros(20);
    const auto* data = u8(buffer);

    std::vector<NamedPlacement> named;
    read_named_placements_1057(data, buffer.size(), named);
    ASSERT_EQ(named.size(), 2u);
    EXPECT_EQ(named[0].list_name, "MIDI 2");
    EXPECT_EQ(named[0].item_id, 1u);
    EXPECT_EQ(named[0].position, kOrigin + 5);
    EXPECT_EQ(named[0].time_base, 0x40);
    EXPECT_EQ(named[1].item_id, 3u);

    std::vector<VideoPlacement> videos;
    std::vector<std::string> names = {"earlier"};
    read_video_placements(data, buffer.size(), videos, names);
    EXPECT_EQ(names, (std::vector<std::string>{"earlier", "Video 1"}));
    ASSERT_EQ(videos.size(), 1u);
    EXPECT_EQ(videos[0].name_index, 1u);
    EXPECT_EQ(videos[0].item_id, 9u);
    EXPECT_EQ(videos[0].position, 48000.0);
    EXPECT_EQ(videos[0].value, -2);

    std::map<std::string, int> groups = {{"stale", 4}};
    pair_midi_timebase(data, buffer.size(), groups);
    EXPECT_EQ(groups, (std::map<std::string, int>{{"MIDI 2", 1}}));
}

TEST(NamedPlacements, NestedListsAreReadFourDeep) {
    // Five MIDI lists, each inside the one before, around one playlist: the four outer ones name
    // its placement; the fifth stands deeper than any session nests and is passed over.
    std::string nested =
        z_block(0x1056, zeros(2) + placement_block(clip_at(1, kOrigin)) + zeros(2));
    for (int depth = 5; depth >= 1; --depth)
        nested = z_block(0x1057, text("L" + std::to_string(depth)) + nested, 3);
    const std::string buffer = nested + zeros(20);
    std::vector<NamedPlacement> named;
    read_named_placements_1057(u8(buffer), buffer.size(), named);
    std::vector<std::string> lists;
    for (const NamedPlacement& p : named) lists.push_back(p.list_name);
    EXPECT_EQ(lists, (std::vector<std::string>{"L1", "L2", "L3", "L4"}));
}

// --- Playlist names, loops and session items
// ------------------------------------------------------

TEST(PlaylistNames, ReadsEachNamedEntryAndItsValue) {
    auto entry = [](const std::string& name, std::uint32_t value) {
        return z_block(0x2629, z_block(0x2628, text(name) + zeros(6)) + u32le(value), 5);
    };
    const std::string buffer =
        z_block(0x2632, zeros(4) + entry("Gtr.01", 7) + entry("Vox", 0x01020304) + zeros(4)) +
        z_block(0x2632, entry("later list", 1)) + zeros(4);
    std::vector<PlaylistNameEntry> out = {{"stale", 1}};
    read_playlist_names(u8(buffer), buffer.size(), out);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].name, "Gtr.01");
    EXPECT_EQ(out[0].value, 7u);
    EXPECT_EQ(out[1].name, "Vox");
    EXPECT_EQ(out[1].value, 0x01020304u);
}

TEST(LoopRecords, KnownAndUnknownShapes) {
    auto looped = [](std::uint32_t loop_size) {
        std::string loop = zeros(loop_size - 2);
        loop[0] = 2;      // +9: the loop byte
        loop[3] = 0x10;   // +12: first value
        loop[27] = 4;     // +36: the count
        loop[39] = 0x20;  // +48: second value
        std::string content =
            zeros(2) + u32le(70005) + zeros(1) + le(480000, 6) + zeros(4) + z_block(0x242b, loop);
        return z_block(0x1050, z_block(0x104f, content, 0x0a), 2);
    };
    // Read by searching the bytes, and through the block index as the program reads them.
    const auto read = [](const std::string& bytes, bool indexed) {
        const BlockIndex index(std::span(u8(bytes), bytes.size()));
        std::optional<BlockIndexScope> scope;
        if (indexed) scope.emplace(index);
        std::vector<LoopRecord> out = {LoopRecord{}};
        read_loop_records(u8(bytes), bytes.size(), out);
        return out;
    };
    // Placements without a loop child hold none, and the index knows it without a search.
    const std::string unlooped =
        z_block(0x1050, z_block(0x104f, zeros(2) + u32le(5) + zeros(11), 0x0a), 2) + zeros(20);
    EXPECT_TRUE(read(unlooped, false).empty());
    EXPECT_TRUE(read(unlooped, true).empty());
    const std::string buffer = looped(59) + looped(60) + zeros(20);
    const std::vector<LoopRecord> out = read(buffer, false);
    EXPECT_EQ(read(buffer, true), out);
    ASSERT_EQ(out.size(), 2u);
    // The region number is 32-bit: 70005 stays whole.
    EXPECT_EQ(out[0].placement_key, (std::uint64_t{480000} << 32) | 70005);
    EXPECT_EQ(out[0].parent_type, 0x1050);
    EXPECT_EQ(out[0].known_shape, 1);
    EXPECT_EQ(out[0].loop_byte, 2u);
    EXPECT_EQ(out[0].loop_count, 4u);
    EXPECT_EQ(out[0].first_value, 0x10u);
    EXPECT_EQ(out[0].second_value, 0x20u);
    EXPECT_EQ(out[1].known_shape, 0);
    EXPECT_EQ(out[1].loop_count, 0u);
    EXPECT_EQ(out[1].first_value, 0u);
}

TEST(SessionItems, NameNumberIdAndValue) {
    std::string id_block = zeros(29);
    for (int i = 0; i < 16; ++i) id_block[13 + i] = static_cast<char>(0xA0 + i);
    const std::string item = z_block(
        0x2005,
        zeros(8) +
            z_block(0x2006,
                    zeros(2) + text("Xpand!2 4") + "\x02" +
                        z_block(0x2086,
                                zeros(2) + z_block(0x208c, zeros(2) + z_block(0x2097, id_block)))) +
            z_block(0x2401, u32le(77)));
    const std::string buffer =
        z_block(0x2004, u32le(2) + item + z_block(0x2005, zeros(8)) + z_block(0x2007, zeros(4))) +
        zeros(4);
    std::vector<SessionItemEntry> out;
    scan_session_items(u8(buffer), buffer.size(), out);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].name, "Xpand!2 4");
    EXPECT_EQ(out[0].number, 3u);
    EXPECT_EQ(out[0].has_id, 1);
    EXPECT_EQ(out[0].id[0], 0xA0);
    EXPECT_EQ(out[0].id[15], 0xAF);
    EXPECT_EQ(out[0].value, 77u);
    EXPECT_EQ(out[1].name, "");
    EXPECT_EQ(out[1].has_id, 0);
}

// --- Region list
// ----------------------------------------------------------------------------------

struct RegionListResult {
    std::vector<RegionListEntry> regions;
    std::vector<RegionPlacementList> lists;
};

RegionListResult read_regions(const std::string& buffer,
                              const std::map<std::uint32_t, std::int64_t>* lengths = nullptr) {
    RegionListResult out;
    read_region_list(u8(buffer), buffer.size(), out.regions, out.lists, lengths);
    return out;
}

TEST(RegionList, EntriesAndListsAreRead) {
    TestPlacement muted = clip_at(4, kOrigin + 100);
    muted.first = 1;
    const std::string buffer =
        region_list_block({region_entry("Group 1", kOrigin + 48000, 96000, 10),
                           region_entry("Group 1.1", 5, 1000, 20, true, 1, 9)}) +
        named_group_lists({{"Group 1", {muted, group_at(0, kOrigin)}}}) + zeros(4);
    const RegionListResult r = read_regions(buffer);
    ASSERT_EQ(r.regions.size(), 2u);
    EXPECT_EQ(r.regions[0].name, "Group 1");
    EXPECT_EQ(r.regions[0].has_start, 1);
    EXPECT_EQ(r.regions[0].start, 48000u);
    EXPECT_EQ(r.regions[0].length, 96000u);
    EXPECT_EQ(r.regions[0].source_offset, 10u);
    EXPECT_EQ(r.regions[0].list_index, 0);
    EXPECT_EQ(r.regions[0].readable, 1);
    EXPECT_EQ(r.regions[1].derived, 1);
    EXPECT_EQ(r.regions[1].has_start, 0);
    EXPECT_EQ(r.regions[1].tail_flag, 1);
    EXPECT_EQ(r.regions[1].tail_value, 9u);
    EXPECT_EQ(r.regions[1].list_index, -1);
    ASSERT_EQ(r.lists.size(), 1u);
    ASSERT_EQ(r.lists[0].entries.size(), 2u);
    EXPECT_EQ(r.lists[0].entries[0].muted, 1u);
    EXPECT_EQ(r.lists[0].entries[0].position, kOrigin + 100);
    EXPECT_EQ(r.lists[0].entries[1].group_flag, 1u);
}

TEST(RegionList, ListIndexesByCountExtentAndCut) {
    const std::map<std::uint32_t, std::int64_t> lengths = {{0, 1000}, {1, 3000}};
    // Three base regions, two lists: nobody gets a list.
    {
        const std::string buffer =
            region_list_block({region_entry("A", kOrigin, 1000, 0),
                               region_entry("B", kOrigin, 3000, 0),
                               region_entry("C", kOrigin, 5000, 0)}) +
            group_lists_block({{clip_at(0, kOrigin)}, {clip_at(1, kOrigin)}}) + zeros(4);
        const RegionListResult r = read_regions(buffer, &lengths);
        for (const RegionListEntry& entry : r.regions) EXPECT_EQ(entry.list_index, -1);
    }
    // Extents 3000 and 1000 in list order: the regions take them by length.
    {
        const std::string buffer =
            region_list_block({region_entry("A", kOrigin, 1000, 0),
                               region_entry("B", kOrigin, 3000, 0),
                               region_entry("A.cut", 200, 500, 200, true)}) +
            // A tick placement at the group's origin and a sample placement at 0.
            group_lists_block({{ticks(clip_at(1, kOrigin))}, {clip_at(0, 0)}}) + zeros(4);
        const RegionListResult r = read_regions(buffer, &lengths);
        EXPECT_EQ(r.regions[0].list_index, 1);
        EXPECT_EQ(r.regions[1].list_index, 0);
        EXPECT_EQ(r.regions[2].list_index, -1);  // the cut needs has_start
        const RegionListResult plain = read_regions(buffer);
        EXPECT_EQ(plain.regions[0].list_index, 0);
        EXPECT_EQ(plain.regions[1].list_index, 1);
    }
    // Two lists of equal extent: the order-based numbering stands; a cut of A takes A's list.
    {
        const std::string buffer =
            region_list_block({region_entry("A", kOrigin, 1000, 100),
                               region_entry("B", kOrigin, 2000, 0),
                               region_entry("A.cut", kOrigin + 200, 500, 300, true)}) +
            group_lists_block({{ticks(clip_at(0, kOrigin))}, {ticks(clip_at(0, kOrigin))}}) +
            zeros(4);
        const RegionListResult r = read_regions(buffer, &lengths);
        EXPECT_EQ(r.regions[0].list_index, 0);
        EXPECT_EQ(r.regions[1].list_index, 1);
        EXPECT_EQ(r.regions[2].list_index, 0);
    }
}

// --- Fade ranges and control slots
// ----------------------------------------------------------------

TEST(FadeRanges, KindsShapesAndBadRanges) {
    const std::string buffer = fade_range(2, 290000, 290000) + fade_range(3, 0, 490000, 1) +
                               fade_range(1, 100, 400, 2, true) + fade_range(1, 500, 400) +
                               fade_range(7, 0, 10) + zeros(40);
    std::vector<SessionRange> out;
    read_ranges_262f(u8(buffer), buffer.size(), out);
    ASSERT_EQ(out.size(), 5u);
    EXPECT_EQ(out[0].kind, 2u);
    EXPECT_EQ(out[0].start, 290000.0);
    EXPECT_EQ(out[0].end, 290000.0);
    EXPECT_EQ(out[1].kind, 3u);
    EXPECT_EQ(out[1].shape, 1u);
    EXPECT_EQ(out[2].special_shape, 1);
    EXPECT_EQ(out[3].kind, 0u);  // end below start
    EXPECT_EQ(out[4].kind, 0u);
}

TEST(ControlSlots, ReadTheValueInTheHeaderGap) {
    const std::string buffer =
        z_block(0x262a, u32le(2) + control_slot("Kick", 2, 4410) + control_slot("Snare", 0, 0)) +
        zeros(4);
    std::vector<std::uint64_t> values = {9};
    std::vector<std::string_view> names;
    read_control_slots(u8(buffer), buffer.size(), values, &names);
    EXPECT_EQ(values, (std::vector<std::uint64_t>{4410, 0}));
    EXPECT_EQ(names, (std::vector<std::string_view>{"Kick", "Snare"}));
}

// --- Real sessions
// --------------------------------------------------------------------------------

TEST(PlacementScannersOnRealSessions, RegionTestListsRangesAndSlots) {
    REQUIRE_SESSION(path, "RegionTest.ptx");
    PTFFormat session;
    ASSERT_EQ(session.load(path, 0), 0);
    const std::uint8_t* data = session.bytes().data();
    const std::size_t length = session.bytes().size();

    std::uint32_t bad = 0;
    std::vector<R10BlockRecord> records;
    read_r10_records(data, length, records, &bad);
    EXPECT_EQ(bad, 0u);
    std::vector<std::string> names;
    for (const R10BlockRecord& r : records) names.push_back(r.name);
    EXPECT_EQ(names, (std::vector<std::string>{"Track_Name", "Audio 1", "Audio 2", "Audio 2",
                                               "Audio 3", "Audio 3"}));
    EXPECT_EQ(records[1].ids, (std::vector<std::uint32_t>{1, 2}));
    EXPECT_EQ(records[1].positions, (std::vector<std::uint64_t>{0, 2650000}));
    EXPECT_EQ(records[4].fade_entry, (std::vector<std::uint8_t>{1, 0, 1}));
    EXPECT_EQ(records[4].positions, (std::vector<std::uint64_t>{950000, 950000, 2240000}));
    for (const R10BlockRecord& r : records) {
        EXPECT_EQ(r.counts_ticks, 0);
        for (std::uint8_t base : r.time_bases) EXPECT_EQ(base, 0x00);
    }

    std::vector<SessionRange> ranges;
    read_ranges_262f(data, length, ranges);
    ASSERT_EQ(ranges.size(), 6u);
    EXPECT_EQ(ranges[0].kind, 2u);
    EXPECT_EQ(ranges[0].end, 290000.0);
    EXPECT_EQ(ranges[3].kind, 3u);
    EXPECT_EQ(ranges[3].end, 490000.0);

    std::vector<std::uint64_t> values;
    std::vector<std::string_view> slot_names;
    read_control_slots(data, length, values, &slot_names);
    EXPECT_EQ(slot_names,
              (std::vector<std::string_view>{"region_name_region", "region_name_region-01",
                                             "region_name_region-03"}));
    EXPECT_EQ(values, (std::vector<std::uint64_t>{0, 0, 0}));
}

TEST(PlacementScannersOnRealSessions, TestPtxMidiListsAreTickBased) {
    REQUIRE_SESSION(path, "TestPTX.ptx");
    PTFFormat session;
    ASSERT_EQ(session.load(path, 0), 0);
    std::vector<PlacementList> lists;
    read_placement_lists(session.bytes().data(), session.bytes().size(), lists);
    ASSERT_EQ(lists.size(), 3u);
    for (std::size_t i = 0; i < lists.size(); ++i) {
        EXPECT_EQ(lists[i].name, "MIDI " + std::to_string(i + 1));
        EXPECT_EQ(lists[i].region_ids, (std::vector<std::uint32_t>{static_cast<std::uint32_t>(i)}));
        EXPECT_EQ(lists[i].positions, (std::vector<std::int64_t>{0}));
        EXPECT_EQ(lists[i].time_bases, (std::vector<std::uint8_t>{0x40}));
    }
}

TEST(PlacementScannersOnRealSessions, MetadataFieldsItem) {
    REQUIRE_SESSION(path, "MetadataFields.ptx");
    PTFFormat session;
    ASSERT_EQ(session.load(path, 0), 0);
    std::vector<SessionItemEntry> items;
    scan_session_items(session.bytes().data(), session.bytes().size(), items);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].name, "Xpand!2 4");
    EXPECT_EQ(items[0].number, 1u);
    EXPECT_EQ(items[0].has_id, 1);
    EXPECT_EQ(items[0].id[0], 0xc5);
}

}  // namespace
