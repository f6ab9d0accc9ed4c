// The mixer readers on the real sessions: what Pro Tools 12 actually stores.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "mixer_builder.h"
#include "session/channel_entries.h"
#include "session/channel_strips.h"
#include "session/clip_gain_lists.h"
#include "session/lane_groups.h"
#include "session/lane_records.h"
#include "session/midi_mute_lanes.h"
#include "session/mixer_names.h"
#include "session/strip_links.h"
#include "session/strip_rows.h"
#include "session/track_names.h"

namespace {

using mixer_blocks::real_session;

struct RealSession {
    std::vector<std::uint8_t> bytes;
    std::vector<NamedBlockEntry> named;
    std::vector<std::string> track_list;
    std::vector<TrackLaneSet> lanes;
    std::vector<LaneGroup> groups;
};

RealSession read_real(const std::string& name) {
    RealSession s;
    s.bytes = real_session(name);
    read_track_names(s.bytes.data(), s.bytes.size(), s.named);
    for (const NamedBlockEntry& e : s.named) s.track_list.push_back(display_name(e));
    merge_lane_records(s.bytes.data(), s.bytes.size(), s.track_list, s.lanes);
    read_automation_lanes_2(s.bytes.data(), s.bytes.size(), s.lanes);
    read_automation_lanes(s.bytes.data(), s.bytes.size(), s.groups);
    return s;
}

#define SKIP_WITHOUT_SESSIONS(s) \
    if ((s).bytes.empty())       \
    GTEST_SKIP() << "real sessions not found in " << test_blocks::sessions_dir()

TEST(MixerRealSessions, RegionTestFadersPansAndOutputs) {
    const RealSession s = read_real("RegionTest.ptx");
    SKIP_WITHOUT_SESSIONS(s);
    ASSERT_EQ(s.lanes.size(), 4u);
    struct Want {
        const char* name;
        int pan_init;
        std::uint8_t stereo;
        std::uint32_t lists;
    };
    const Want want[] = {{"Track_Name", -100, 0, 3},
                         {"Audio 1", 0, 0, 3},
                         {"Audio 2", -100, 1, 4},
                         {"Audio 3", -100, 1, 4}};
    for (std::size_t i = 0; i < 4; ++i) {
        const TrackLaneSet& l = s.lanes[i];
        SCOPED_TRACE(l.name);
        EXPECT_EQ(l.name, want[i].name);
        EXPECT_EQ(l.assigned, 1);
        EXPECT_EQ(l.fader_db, 0.0);
        EXPECT_EQ(l.muted, 0);
        EXPECT_EQ(l.list_count, want[i].lists);
        EXPECT_EQ(l.stereo_pan, want[i].stereo);
        EXPECT_EQ(l.pan.initial_value, want[i].pan_init);
        EXPECT_TRUE(l.volume.points.empty() && l.mute.points.empty() && l.pan.points.empty());
        EXPECT_TRUE(l.trim.points.empty());
        EXPECT_EQ(l.dual_pan_points, 0u);
        if (l.stereo_pan) {
            EXPECT_EQ(l.pan_left, -100);
            EXPECT_EQ(l.pan_right, 100);
            EXPECT_EQ(l.pan_right_curve.initial_value, 100);
        }
    }
    EXPECT_EQ(s.lanes[0].pan_left, -100);
    EXPECT_EQ(s.lanes[0].pan_right, 0);

    ASSERT_EQ(s.groups.size(), 4u);
    for (const LaneGroup& g : s.groups) {
        SCOPED_TRACE(g.name);
        EXPECT_EQ(g.output_name, "Monitors");
        EXPECT_EQ(g.no_output_name, 0);
        EXPECT_TRUE(g.sends.empty());
        // Only Audio 1 has an input; the others name none.
        EXPECT_EQ(g.channel_name, g.name == "Audio 1" ? "MacBook Pro Microphone 1" : "");
        EXPECT_EQ(g.kind, g.name == "Audio 1" ? 0 : -1);
    }
    std::map<std::uint16_t, std::string> outputs;
    read_name_map_260e(s.bytes.data(), s.bytes.size(), outputs);
    EXPECT_EQ(outputs[2], "Monitors");
}

TEST(MixerRealSessions, TestPtxMidiTracksAreUnassignedWithEmptyMuteLanes) {
    const RealSession s = read_real("TestPTX.ptx");
    SKIP_WITHOUT_SESSIONS(s);
    ASSERT_EQ(s.lanes.size(), 5u);
    EXPECT_EQ(s.lanes[0].assigned, 1);
    EXPECT_EQ(s.lanes[0].stereo_pan, 0);
    EXPECT_EQ(s.lanes[1].assigned, 1);
    EXPECT_EQ(s.lanes[1].stereo_pan, 1);
    EXPECT_EQ(s.lanes[1].list_count, 5u);
    EXPECT_EQ(s.lanes[0].list_count, 4u);
    for (std::size_t i = 2; i < 5; ++i) EXPECT_EQ(s.lanes[i].assigned, 0) << s.lanes[i].name;

    std::map<std::string, MidiMuteLane> mute;
    read_automation_lanes_3(s.bytes.data(), s.bytes.size(), mute);
    ASSERT_EQ(mute.size(), 3u);
    for (const auto& [name, lane] : mute) {
        SCOPED_TRACE(name);
        EXPECT_EQ(lane.state, 0);
        EXPECT_TRUE(lane.lane.points.empty());
    }
    ASSERT_EQ(s.groups.size(), 2u);
    for (const LaneGroup& g : s.groups) {
        EXPECT_EQ(g.output_name, "Main 51.Stereo");
        EXPECT_TRUE(g.sends.empty());
        EXPECT_EQ(g.kind, 0);
    }
    std::map<std::uint16_t, std::string> outputs;
    read_name_map_260e(s.bytes.data(), s.bytes.size(), outputs);
    EXPECT_EQ(outputs[127], "Main 51.Stereo");
}

TEST(MixerRealSessions, StripRowsAndClipGain) {
    struct Case {
        const char* session;
        std::vector<std::uint32_t> kinds;
        std::vector<std::uint32_t> stereo;
    };
    const Case cases[] = {{"RegionTest.ptx", {0, 0, 0, 0}, {0, 0, 1, 1}},
                          {"TestPTX.ptx", {0, 0, 1, 1, 1}, {0, 1, 0, 0, 0}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.session);
        const std::vector<std::uint8_t> bytes = real_session(c.session);
        if (bytes.empty()) GTEST_SKIP() << "real sessions not found";
        std::vector<StripRow> rows;
        read_strip_rows(bytes.data(), bytes.size(), rows);
        ASSERT_EQ(rows.size(), c.kinds.size());
        for (std::size_t i = 0; i < rows.size(); ++i) {
            EXPECT_EQ(rows[i].kind, c.kinds[i]) << i;
            EXPECT_EQ(rows[i].byte_after_name, c.stereo[i]) << i;
            EXPECT_EQ(rows[i].flag, 0u) << i;
            EXPECT_NE(rows[i].id, 0u) << i;
        }
        std::vector<std::string> click_names;
        read_251a_names(bytes.data(), bytes.size(), click_names);
        EXPECT_TRUE(click_names.empty());
        std::vector<GainCurve> lists;
        int mismatches = 0;
        read_gain_breakpoints_2637(bytes.data(), bytes.size(), lists, &mismatches);
        EXPECT_TRUE(lists.empty());
        EXPECT_EQ(mismatches, 0);
        std::vector<ChannelEntry> entries;
        read_channel_entries(bytes.data(), bytes.size(), entries);
        EXPECT_FALSE(entries.empty());
    }
    const std::vector<std::uint8_t> region = real_session("RegionTest.ptx");
    std::vector<StripRow> rows;
    read_strip_rows(region.data(), region.size(), rows);
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(rows[0].name, "Track_Name");
    EXPECT_EQ(rows[0].id, 0x1a1b3812d94cdc4bULL);
}

TEST(MixerRealSessions, StripViewStateAndColours) {
    struct Case {
        const char* session;
        std::vector<std::int32_t> heights;
    };
    const Case cases[] = {{"RegionTest.ptx", {36, 36, 36, 36}},
                          {"TestPTX.ptx", {92, 92, 300, 300, 300}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.session);
        const RealSession s = read_real(c.session);
        SKIP_WITHOUT_SESSIONS(s);
        std::vector<TrackViewState> states;
        read_channel_strips_2015(s.bytes.data(), s.bytes.size(), s.named, states);
        ASSERT_EQ(states.size(), c.heights.size());
        for (std::size_t i = 0; i < states.size(); ++i) {
            EXPECT_EQ(states[i].height, c.heights[i]) << i;
            EXPECT_EQ(states[i].automation_mode, 1) << i;
            EXPECT_EQ(states[i].trim_flag, 0) << i;
            EXPECT_EQ(states[i].solo_state, 0) << i;
            EXPECT_EQ(states[i].colour_number, static_cast<std::int32_t>(i + 1)) << i;
        }
        std::map<std::uint64_t, std::vector<std::uint64_t>> links;
        EXPECT_EQ(read_id_links_210c(s.bytes.data(), s.bytes.size(), links), 1);
        EXPECT_TRUE(links.empty());
        std::vector<TrackColourIndex> colours;
        int off_palette = 0;
        read_2015_2104(s.bytes.data(), s.bytes.size(), colours, &off_palette);
        EXPECT_TRUE(colours.empty());
        EXPECT_EQ(off_palette, 0);
    }
}

}  // namespace
