// The mixer's wiring into the run: the strip-row track list, the lanes dump, lane group names,
// clip gain onto clips and the summary rows.
#include "convert/tracks/mixer_wiring.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "convert/clips/clip_gain.h"
#include "convert/reading/stage_reading.h"
#include "convert/summary/console_summary.h"

namespace {

TEST(MixerWiring, StripRowTrackList) {
    using List = std::vector<std::string>;
    struct Case {
        List named;
        List scanned;
        bool taken;
    };
    const Case cases[] = {
        {{"Kick", "Snare"}, {"Kick"}, true},
        {{"Kick", "Snare"}, {"Kick", "Snare"}, false},  // the same list
        {{"Kick", ""}, {"Kick"}, false},
        {{"Kick", "Kick"}, {"Kick"}, false},
        {{}, {"Kick"}, false},  // no named blocks keep the scanned list
    };
    for (const Case& c : cases) {
        List scanned = c.scanned;
        EXPECT_EQ(take_strip_row_track_list(c.named, scanned), c.taken);
        EXPECT_EQ(scanned, c.taken ? c.named : c.scanned);
    }
}

TEST(MixerWiring, LanesDumpAndSummaryRows) {
    TrackLaneSet lane;
    lane.name = "Audio 2";
    lane.fader_db = -6.5;
    lane.volume.initial_value = -65;
    lane.volume.points = {{44100, 0}};
    EXPECT_EQ(lane_dump_text(std::vector<TrackLaneSet>{lane}),
              "LANES Audio 2 | fader -6.5 dB | vol 1 pt init -65 | mute 0 pt | pan 0 pt\n"
              "LANES   vol          44100        0\n");

    ConsoleSummaryInput in;
    in.mixer_strips = 4;
    in.name_scan_found = 3;
    in.track_list_size = 5;
    in.clip_group_lines_not_applied = {"Group 1"};
    const std::string text = console_summary_text(in);
    EXPECT_NE(text.find("  4 mixer strips (faders, pans, mute)\n"
                        "  track list taken from the strip rows (name scan found 3 of 5)\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("      \"Group 1\"\n"), std::string::npos) << text;
}

TEST(MixerWiring, LaneGroupNames) {
    std::vector<TrackLaneSet> lanes(4);
    const char* names[] = {"A", "B", "C", "D"};
    const std::uint64_t faders[] = {150, 120, 250, 999};
    for (std::size_t i = 0; i < 4; ++i) {
        lanes[i].name = names[i];
        lanes[i].fader_position = faders[i];
        lanes[i].assigned = i != 3 ? 1 : 0;
    }
    std::vector<LaneGroup> groups(4);
    const std::uint64_t bounds[][2] = {{100, 200}, {200, 300}, {300, 400}, {900, 1000}};
    for (std::size_t i = 0; i < 4; ++i) {
        groups[i].name = "g" + std::to_string(i);
        groups[i].block_start = bounds[i][0];
        groups[i].block_end = bounds[i][1];
    }
    const std::vector<std::string> got = lane_group_names(groups, lanes);
    EXPECT_EQ(got, (std::vector<std::string>{"A", "C", "g2", "g3"}));
    for (std::size_t i = 0; i < groups.size(); ++i)
        EXPECT_EQ(got[i], lane_group_name(groups[i], lanes)) << i;
    EXPECT_EQ(assigned_lane_sets(lanes), 3);
}

TEST(MixerWiring, ClipGainOntoClips) {
    ClipModel model;
    auto& clips = model.main_clips[0];
    clips.resize(4);
    clips[0].name = "static";
    clips[1].name = "line";
    clips[2].name = "grouped";
    clips[2].rare.edit().group_name = "Group";
    clips[3].name = "line";
    clips[3].rare.edit().group_name = "Group";
    const std::map<std::string, double> gains = {{"static", -6.0}, {"line", -6.0}, {"Group", 3.0}};
    const std::map<std::string, GainCurve> lines = {{"line", {{0, -6.0}, {44100, 0.0}}},
                                                    {"Group", {{0, 3.0}, {10, 0.0}}}};
    const ClipGainCounts counts = apply_clip_gain(gains, lines, model);
    EXPECT_EQ(clips[0].rare.get().has_gain, 1);
    EXPECT_EQ(clips[0].rare.get().gain_db, -6.0);
    EXPECT_TRUE(clips[0].rare.get().gain_points.empty());
    // A clip whose line becomes its envelope keeps no static gain of its own.
    EXPECT_EQ(clips[1].rare.get().gain_db, 0.0);
    ASSERT_EQ(clips[1].rare.get().gain_points.size(), 2u);
    EXPECT_EQ(clips[1].rare.get().gain_points[1].time, 44100.0);
    EXPECT_EQ(clips[1].rare.get().gain_points[0].value, -6.0);
    EXPECT_EQ(clips[2].rare.get().has_gain, 1);
    EXPECT_EQ(clips[2].rare.get().gain_db, 3.0);
    EXPECT_EQ(clips[3].rare.get().gain_db, 3.0);  // only the group's gain besides the line
    EXPECT_EQ(counts.clips_with_gain, 4);
    EXPECT_EQ(counts.group_gains_added, 2);
    EXPECT_EQ(counts.group_lines_not_applied, std::set<std::string>{"Group"});
    EXPECT_EQ(counts.group_line_clips, 2);  // both clips of the group lose its line
}

}  // namespace
