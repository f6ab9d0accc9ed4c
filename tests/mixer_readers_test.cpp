// The mixer readers on small synthetic blocks: fader bounds, runs of faders, the lane layouts,
// sends, gain lists and strip rows.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "mixer_builder.h"
#include "session/breakpoint_list.h"
#include "session/channel_entries.h"
#include "session/clip_gain_lists.h"
#include "session/lane_groups.h"
#include "session/lane_records.h"
#include "session/midi_mute_lanes.h"
#include "session/mixer_blocks.h"
#include "session/mixer_names.h"
#include "session/strip_rows.h"

namespace {

using namespace mixer_blocks;
using Bytes = std::vector<std::uint8_t>;

Bytes bytes_of(const std::string& text) {
    return test_blocks::to_bytes(text);
}

std::vector<TrackLaneSet> lanes_of(const std::string& text, std::vector<std::string> tracks) {
    const Bytes b = bytes_of(text);
    std::vector<TrackLaneSet> out;
    merge_lane_records(b.data(), b.size(), tracks, out);
    read_automation_lanes_2(b.data(), b.size(), out);
    return out;
}

std::vector<LaneGroup> groups_of(const std::string& text) {
    const Bytes b = bytes_of(text);
    std::vector<LaneGroup> out;
    read_automation_lanes(b.data(), b.size(), out);
    return out;
}

std::string own_lane(std::int32_t level, const std::string& lists = {}) {
    return lane_block(fader_block(level), output_block(2, "Out 1-2") + lists);
}

TEST(FaderBlocks, LevelBoundsAndPostFaderFlag) {
    struct Case {
        std::int32_t level;
        std::uint8_t post;
        bool read;
        double db;
    };
    const Case cases[] = {{-1451, 1, false, 0},
                          {-1450, 1, true, -145.0},
                          {125, 0, true, 12.5},
                          {126, 1, false, 0},
                          {0, 2, false, 0}};
    for (const Case& c : cases) {
        const std::string track = track_block(
            0x261b, "A", lane_block(fader_block(c.level, 0, 0, 0, c.post), output_block(2, "O")));
        const auto lanes = lanes_of(track, {"A"});
        ASSERT_EQ(lanes.size(), 1u);
        EXPECT_EQ(lanes[0].assigned, c.read ? 1 : 0) << c.level;
        EXPECT_EQ(lanes[0].fader_db, c.db) << c.level;
    }
}

TEST(FaderBlocks, RunsGiveEachTrackItsFirstFader) {
    // A send lane far from its track's own fader starts a run of its own; without named-block
    // matching it goes to the next unassigned track.
    const std::string far_send = lane_block(fader_block(-100, 0, 0, 0, 0), output_block(3, "Bus"));
    const std::string text = track_block(0x261b, "A", own_lane(-10, zeros(2800)) + far_send) +
                             track_block(0x261b, "B", zeros(4));
    const auto lanes = lanes_of(text, {"A", "B"});
    EXPECT_EQ(lanes[0].fader_db, -1.0);
    EXPECT_EQ(lanes[1].assigned, 1);
    EXPECT_EQ(lanes[1].fader_db, -10.0);

    // Under named-block matching (strip rows name the blocks) that run finds A assigned and is
    // dropped; a close send lane stays in A's run.
    const std::string rows = strip_row(0, "A") + strip_row(0, "B");
    const std::string close_send =
        lane_block(fader_block(-100, 0, 0, 0, 0), output_block(3, "Bus"));
    const auto matched = lanes_of(rows + text, {"A", "B"});
    EXPECT_EQ(matched[0].fader_db, -1.0);
    EXPECT_EQ(matched[1].assigned, 0);
    const auto close = lanes_of(
        rows + track_block(0x261b, "A", own_lane(-10) + close_send) + track_block(0x261b, "B"),
        {"A", "B"});
    EXPECT_EQ(close[0].fader_db, -1.0);
    EXPECT_EQ(close[1].assigned, 0);
}

TEST(LaneLists, ListCountsAndLayouts) {
    const std::string vol = list_block(-65), mute = list_block(0), left = list_block(-100),
                      right = list_block(100), trim = list_block(-30);
    struct Case {
        const char* what;
        std::string lists;
        std::uint8_t stereo;
        double fader_db;
        double trim_initial;
    };
    const Case cases[] = {
        {"one list: volume only", vol, 0, -6.5, 0},
        {"mono with trim after the groups", mono_lists(vol, mute, left, trim), 0, -6.5, -30},
        {"each pan side in its group: stereo", stereo_lists(vol, mute, left, right), 1, -6.5, 0},
        {"five lists", vol + mute + left + right + trim, 1, -6.5, -30},
        {"six lists", vol + mute + left + right + trim + trim, 0, -6.5, 0},
    };
    for (const Case& c : cases) {
        const auto lanes =
            lanes_of(track_block(0x261b, "A", lane_block(fader_block(0), c.lists)), {"A"});
        SCOPED_TRACE(c.what);
        EXPECT_EQ(lanes[0].stereo_pan, c.stereo);
        EXPECT_EQ(lanes[0].fader_db, c.fader_db);
        EXPECT_EQ(lanes[0].trim.initial_value, c.trim_initial);
        EXPECT_EQ(lanes[0].dual_pan_points, 0u);
    }
}

TEST(LaneLists, DualPanAndDefaults) {
    // A moving left side becomes the dual-pan lane; sides at -100 / 100 lose their points.
    const auto moving =
        lanes_of(track_block(0x261b, "A",
                             lane_block(fader_block(0), stereo_lists(list_block(0), list_block(0),
                                                                     list_block(-100, {{100, -50}}),
                                                                     list_block(100)))),
                 {"A"});
    EXPECT_EQ(moving[0].dual_pan_points, 1u);
    ASSERT_EQ(moving[0].pan_left_lane.points.size(), 1u);
    EXPECT_TRUE(moving[0].pan.points.empty());
    EXPECT_EQ(moving[0].pan.initial_value, -100);

    const auto parked = lanes_of(
        track_block(0x261b, "A",
                    lane_block(fader_block(0), stereo_lists(list_block(0), list_block(0),
                                                            list_block(-100, {{100, -100}}),
                                                            list_block(100, {{100, 100}})))),
        {"A"});
    EXPECT_EQ(parked[0].dual_pan_points, 0u);
    EXPECT_TRUE(parked[0].pan.points.empty() && parked[0].pan_right_curve.points.empty());

    const auto narrowed = lanes_of(
        track_block(0x261b, "A",
                    lane_block(fader_block(0), stereo_lists(list_block(0), list_block(0),
                                                            list_block(-40), list_block(40)))),
        {"A"});
    EXPECT_EQ(narrowed[0].dual_pan_points, 2u);
}

TEST(LaneGroups, OwnLaneSendsAndEmptyNames) {
    const std::string send_lists =
        list_block(-20) + list_block(0) + list_block(-30) + list_block(70);
    const std::string text =
        track_block(
            0x261b, "",
            own_lane(0) +
                lane_block(fader_block(-60, 0, 0, 0, 0), output_block(3, "Bus 1") + send_lists) +
                lane_block(fader_block(-60), output_block(3, ""))) +
        // A first lane that fails the fader test: no own lane, the send is still read.
        track_block(0x2621, "Inst",
                    lane_block(fader_block(-2000), output_block(2, "Out")) +
                        lane_block(fader_block(-100), output_block(4, "Bus 2"))) +
        track_block(0x261b, "NoOut", lane_block(fader_block(0), zeros(4)));
    const auto groups = groups_of(text);
    ASSERT_EQ(groups.size(), 3u);
    EXPECT_EQ(groups[0].name, "");
    EXPECT_EQ(groups[0].output_name, "Out 1-2");
    ASSERT_EQ(groups[0].sends.size(), 1u);
    const TrackSend& send = groups[0].sends[0];
    EXPECT_EQ(send.destination_name, "Bus 1");
    EXPECT_EQ(send.level_db, -6.0);
    EXPECT_EQ(send.post_fader, 0);
    EXPECT_EQ(send.volume.initial_value, -20);
    EXPECT_EQ(send.pan_left, -30);
    EXPECT_EQ(send.pan_right, 70);
    EXPECT_EQ(send.channel_count, 2u);

    EXPECT_EQ(groups[1].output_name, "");
    EXPECT_EQ(groups[1].no_output_name, 0);
    ASSERT_EQ(groups[1].sends.size(), 1u);
    EXPECT_EQ(groups[1].sends[0].destination_name, "Bus 2");
    EXPECT_EQ(groups[1].sends[0].post_fader, 1);
    EXPECT_EQ(groups[2].no_output_name, 1);
}

TEST(LaneGroups, SendsWithGroupedLists) {
    // Each group block holds two lists (multi): volume and mute loose, the pans first in their
    // groups; sides at -100 / 100 make the send stereo.
    const std::string lists = list_block(-20) + list_block(0) +
                              group_block(list_block(-10) + list_block(-100)) +
                              group_block(list_block(10) + list_block(100));
    // The byte after the track block's first child gives its pan layout: 1 takes the second
    // group's first list as the right pan, 2 leaves the send mono.
    struct Case {
        const char* byte;
        std::int32_t pan_right;
        std::uint32_t channels;
    };
    for (const Case c : {Case{"\x01", 10, 2}, Case{"\x02", 0, 1}}) {
        const std::string text = track_block(
            0x261b, "A",
            c.byte + own_lane(0) +
                lane_block(fader_block(-60, 0, 0, 0, 0), output_block(3, "Bus") + lists));
        const auto groups = groups_of(text);
        ASSERT_EQ(groups.size(), 1u);
        ASSERT_EQ(groups[0].sends.size(), 1u);
        const TrackSend& send = groups[0].sends[0];
        EXPECT_EQ(send.volume.initial_value, -20);
        EXPECT_EQ(send.mute.initial_value, 0);
        EXPECT_EQ(send.pan_left, -10);
        EXPECT_EQ(send.pan_right, c.pan_right) << c.byte[0];
        EXPECT_EQ(send.channel_count, c.channels) << c.byte[0];
    }
}

TEST(BreakpointList, CountsFitAndInitialValue) {
    const std::string list = list_block(-65, {{44100, 0}, {88200, -20}});
    Bytes b = bytes_of(list);
    AutomationCurve curve;
    read_breakpoint_list(b.data(), b.size(), 0, curve);
    EXPECT_EQ(curve.initial_value, -65);
    EXPECT_EQ(curve.has_data, 1);
    ASSERT_EQ(curve.points.size(), 2u);
    EXPECT_EQ(curve.points[1].time, 88200);
    EXPECT_EQ(curve.points[1].value, -20);
    // A count promising more than the block holds gives the initial value only.
    b[25] = 200;
    read_breakpoint_list(b.data(), b.size(), 0, curve);
    EXPECT_TRUE(curve.points.empty());
    EXPECT_EQ(curve.initial_value, -65);
    // Cut short of its entries, or past the bytes: nothing read past them.
    for (std::size_t cut : {b.size() - 3, std::size_t{36}, std::size_t{8}}) {
        Bytes shorter(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(cut));
        read_breakpoint_list(shorter.data(), shorter.size(), 0, curve);
        EXPECT_TRUE(curve.points.empty()) << cut;
    }
}

TEST(MidiMuteLanes, MuteListsAndOtherLists) {
    const std::string state = z_block(0x2036, zeros(4) + u32le(1) + zeros(4));
    const auto lanes_of_midi = [&](const std::string& lists) {
        const Bytes b = bytes_of(track_block(0x2620, "M", z_block(0x2611, state + lists)));
        std::map<std::string, MidiMuteLane> out;
        read_automation_lanes_3(b.data(), b.size(), out);
        return out;
    };
    auto out = lanes_of_midi(list_block(0, {{100, 1}, {200, 0}}));
    ASSERT_EQ(out.count("M"), 1u);
    EXPECT_EQ(out["M"].state, 1);
    EXPECT_EQ(out["M"].has_lane, 1);
    EXPECT_EQ(out["M"].lane.points.size(), 2u);
    out = lanes_of_midi(list_block(0, {{100, 5}}));
    EXPECT_EQ(out["M"].has_lane, 0);
    EXPECT_EQ(out["M"].other_lanes, 1);
    out = lanes_of_midi(list_block(0) + list_block(0));
    EXPECT_EQ(out["M"].has_lane + out["M"].other_lanes, 0);
}

TEST(ClipGainLists, EntriesBySizeFloorAndNames) {
    // The second list's stored count is one too many: read by its size, counted.
    const float inf = std::numeric_limits<float>::infinity();
    const std::string text =
        gain_lists_block({{{0, -6.0f}}, {{10, -150.0f}, {20, -inf}}, {{0, 40.0f}, {5, NAN}}, {}},
                         0) +
        clip_gain_ref("a", 0) + clip_gain_ref("b", 1) + clip_gain_ref("c", 2) +
        clip_gain_ref("d", 3) + clip_gain_ref("e", 9);
    Bytes b = bytes_of(text);
    std::vector<GainCurve> lists;
    int mismatches = 0;
    read_gain_breakpoints_2637(b.data(), b.size(), lists, &mismatches);
    ASSERT_EQ(lists.size(), 4u);
    EXPECT_EQ(mismatches, 0);
    EXPECT_EQ(lists[1][0].db, -145.0);
    EXPECT_EQ(lists[1][1].db, -145.0);
    EXPECT_EQ(lists[2][0].db, 0.0);
    EXPECT_EQ(lists[2][1].db, 0.0);
    ASSERT_EQ(lists[3].size(), 1u);  // an empty list reads as one point at 0 dB
    EXPECT_EQ(lists[3][0].db, 0.0);

    std::map<std::string, double> gains;
    read_gain_envelopes_a(b.data(), b.size(), gains);
    EXPECT_EQ(gains,
              (std::map<std::string, double>{{"a", -6.0}, {"b", -145.0}, {"c", 0.0}, {"d", 0.0}}));
    std::map<std::string, GainCurve> lines;
    read_gain_envelopes_b(b.data(), b.size(), lines);
    EXPECT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines.count("a"), 0u);

    // A list count promising more lists than the block holds reads those there are.
    Bytes more = bytes_of(gain_lists_block({{{0, -6.0f}}}));
    more[9] = 200;
    lists.clear();
    read_gain_breakpoints_2637(more.data(), more.size(), lists);
    EXPECT_EQ(lists.size(), 1u);

    const Bytes off = bytes_of(gain_lists_block({{{0, -6.0f}, {1, -3.0f}}}, 5));
    lists.clear();
    read_gain_breakpoints_2637(off.data(), off.size(), lists, &mismatches);
    ASSERT_EQ(lists.size(), 1u);
    EXPECT_EQ(lists[0].size(), 2u);
    EXPECT_EQ(mismatches, 1);
}

TEST(StripRows, RowSizes) {
    struct Case {
        std::size_t extra;
        std::size_t rows;
    };
    for (const Case c : {Case{61, 2}, Case{62, 2}, Case{72, 2}, Case{73, 0}, Case{60, 0}}) {
        const std::string rows = strip_row(0, "Kick", 0, c.extra, 7) +
                                 strip_row(1, "Keys", 1, c.extra) +
                                 strip_row(0, "Kick", 0, c.extra);
        const Bytes b = bytes_of(z_block(0x2519, rows));
        std::vector<StripRow> out;
        read_strip_rows(b.data(), b.size(), out);
        ASSERT_EQ(out.size(), c.rows) << c.extra;
        if (out.empty()) continue;
        EXPECT_EQ(out[0].name, "Kick");
        EXPECT_EQ(out[0].id, 7u);
        EXPECT_EQ(out[1].kind, 1u);
        EXPECT_EQ(out[1].byte_after_name, 1u);
        // The other layout never matches an ordinary row.
        std::vector<std::string> names;
        read_251a_names(b.data(), b.size(), names);
        EXPECT_TRUE(names.empty()) << c.extra;
    }
    // A row that passes its list's end keeps the rows before it.
    const std::string rows = strip_row(0, "Kick") + strip_row(1, "Keys");
    Bytes b = bytes_of(z_block(0x2519, rows));
    b[3] = static_cast<std::uint8_t>(b[3] - 10);
    std::vector<StripRow> out;
    read_strip_rows(b.data(), b.size(), out);
    EXPECT_EQ(out.size(), 1u);
}

// A channel entry (0x1021): kind +9, name +11, channels, then '*' 0 0 0 and the ids.
std::string channel_entry(std::uint8_t kind, const std::string& name,
                          const std::vector<std::uint16_t>& channels, std::uint32_t id_a,
                          std::uint32_t id_b, bool marked = true) {
    std::string content(1, static_cast<char>(kind));
    content += zeros(1) + text(name) + u32le(static_cast<std::uint32_t>(channels.size()));
    for (std::uint16_t c : channels) test_blocks::append_u16le(content, c);
    content += zeros(3) + (marked ? std::string("*", 1) + zeros(3) : zeros(4)) + u32le(id_a) +
               u32le(id_b) + zeros(16);
    return z_block(0x1021, content);
}

// The search anchors on the pattern's rarest byte: overlapping matches, matches at either end,
// patterns of zeros only and patterns whose anchor is not their first byte all count.
TEST(FindAll, EveryPositionOfThePattern) {
    using namespace std::string_literals;
    struct Case {
        std::string bytes;
        std::string pattern;
        std::vector<std::size_t> positions;
    };
    const Case cases[] = {
        {"*\0\0\0*\0\0\0"s, "*\0\0\0"s, {0, 4}},
        {"\0\0\0\0\0"s, "\0\0\0"s, {0, 1, 2}},
        {"aaaa", "aa", {0, 1, 2}},
        {"\0\0\xff*"s, "\0\xff*"s, {1}},
        {"x\0\0*"s, "\0\0*"s, {1}},
        {"\0\0*"s, "\0\0*\0"s, {}},
        {"*", "**", {}},
        {"ab*\0\0\0"s, "*\0\0\0"s, {2}},
    };
    for (const Case& c : cases) {
        const Bytes b = bytes_of(c.bytes);
        EXPECT_EQ(find_all(SessionBytes(b.data(), b.size()), c.pattern), c.positions)
            << "pattern of " << c.pattern.size() << " bytes in " << c.bytes.size();
    }
}

TEST(ChannelEntries, DuplicatesMarkersAndChannelCounts) {
    const std::string text =
        channel_entry(2, "Bus 1-2", {3, 4}, 1, 2) + channel_entry(2, "Bus 1-2", {3, 4}, 1, 2) +
        channel_entry(2, "Bus 1-2", {3, 5}, 1, 2) + channel_entry(2, "Lost", {1}, 3, 4, false) +
        channel_entry(2, "Wide", std::vector<std::uint16_t>(17, 1), 5, 6) +
        channel_entry(2, "Twice", {7}, 8, 9) + channel_entry(2, "Twice", {8}, 9, 9);
    const Bytes b = bytes_of(text);
    std::vector<ChannelEntry> entries;
    read_channel_entries(b.data(), b.size(), entries);
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[1].channels, (std::vector<std::int32_t>{3, 5}));
    EXPECT_EQ(entries[0].id_a, 1u);
    EXPECT_EQ(entries[0].id_b, 2u);

    // A name that occurs twice maps no channels; a lane group's channel name maps to its
    // display name, and so do the channels of the entry with its ids.
    LaneGroup group;
    group.name = "Verb";
    group.channel_name = "Bus 1-2";
    group.kind = 2;
    group.id_a = 1;
    group.id_b = 2;
    NameIndex index;
    const std::vector<LaneGroup> groups = {group};
    const std::vector<std::string> display = {"Verb Return"};
    build_name_index(b.data(), b.size(), groups, display, index);
    EXPECT_EQ(index.ids_by_key.count("Twice"), 0u);
    EXPECT_EQ(index.ids_by_key.count("Bus 1-2"), 0u);
    EXPECT_EQ(index.override_by_key["Bus 1-2"], "Verb Return");
    EXPECT_EQ(index.name_by_id[3], "Verb Return");
    EXPECT_EQ(index.name_by_id[4], "Verb Return");
}

TEST(MixerNames, OutputNamesAndTheMasterFader) {
    const std::string text = output_block(2, "Monitors") + output_block(0xFFFF, "None") +
                             output_block(2, "Main") + z_block(0x261d, z_block(0x2619, zeros(6))) +
                             z_block(0x261d, name_block("Master 1") + zeros(8));
    const Bytes b = bytes_of(text);
    std::map<std::uint16_t, std::string> names;
    read_name_map_260e(b.data(), b.size(), names);
    EXPECT_EQ(names, (std::map<std::uint16_t, std::string>{{2, "Main"}}));
    EXPECT_EQ(read_first_261d_name(b.data(), b.size()), "Master 1");
}

}  // namespace
