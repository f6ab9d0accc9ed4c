#include "convert/tracks/plugin_tracks.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "convert/run_state.h"
#include "convert/summary/console_summary.h"
#include "convert/tracks/session_plugins.h"
#include "convert/writer/project_writer.h"
#include "convert/writer/track_writer.h"
#include "convert/writer/writer_summary.h"
#include "platform/ptformat.h"
#include "session/plugin_settings.h"
#include "tests/plugin_blocks.h"
#include "tests/test_support.h"
#include "tests/writer_test_support.h"

namespace {

using namespace test_plugins;

TEST(TrimGain, MeasuredPointsSegmentsAndExtension) {
    struct Case {
        std::int32_t stored;
        double db;
        bool extended;
    } cases[] = {
        {1093684240, 0.0, false},
        {463923640, -6.0, false},
        {778803940, -3.0, false},
        {-161638556, -12.0, false},
        {1364481298, 1.5, false},  // midway between 0 and +3 dB
        {2147483645, 6.0 - 3.0 / (2147483646.0 - 1635278356.0), false},
        {2147483646, 6.0, false},
        {2147483647, 6.0, false},
        {0, -12.0 + 161638556.0 * 6.0 / 625562196.0, false},  // the first segment
        {INT_MIN, -12.0 + (INT_MIN + 161638556.0) * 6.0 / 625562196.0, true},
    };
    for (const Case& c : cases) {
        bool extended = !c.extended;
        EXPECT_NEAR(trim_gain_db(c.stored, extended), c.db, 1e-9) << c.stored;
        EXPECT_EQ(extended, c.extended) << c.stored;
    }
}

// A track block holding `slots` (the byte after a slot is 0 when it is inactive), then a state
// block whose byte before is not 1: not bypassed.
std::string track_block(const std::string& slots) {
    return z_block(0x261B, zeros(3) + slots + byte(2) + z_block(0x2614, zeros(6)) + zeros(4));
}

struct Session {
    std::string bytes;
    std::vector<SessionPluginInstance> instances;
    std::vector<TrackLaneSet> lane_sets;

    // A track named `name` over the track block `block`, appended.
    void add_track(const std::string& name, const std::string& block) {
        TrackLaneSet lane_set;
        lane_set.name = name;
        lane_set.assigned = 1;
        lane_set.list_count = 3;
        lane_set.fader_position = bytes.size() + 1;  // inside the track block
        bytes += block;
        lane_sets.push_back(lane_set);
    }

    PluginTrackTies tie(std::span<const LaneGroup> groups = {},
                        const char* rule_display_name = nullptr) {
        bytes += zeros(8);
        instances.clear();
        read_aax_settings_chunk(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(),
                                instances);
        PluginTrackInput in;
        in.bytes = session_bytes(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
        in.instances = instances;
        in.lane_sets = lane_sets;
        in.lane_groups = groups;
        in.rule_name = [rule_display_name](const SessionPluginInstance& instance) {
            return instance.aax_id == "AcmeDemo" ? rule_display_name : nullptr;
        };
        return tie_plugins_to_tracks(in);
    }
};

TEST(PluginTracks, SlotsGoToTheTrackWhoseFaderLiesInsideTheirOwner) {
    Session s;
    s.bytes = zeros(16);
    PluginBlock eq;
    eq.settings = "EQ" + zeros(1);
    s.add_track("Vox", track_block(plugin_block(eq) + byte(1) + plugin_block(eq) + byte(1)));
    s.add_track("Off", track_block(plugin_block(eq) + byte(1)));
    s.lane_sets.back().assigned = 0;  // no fader block: no slot is tied to it
    TrackLaneSet edge;                // a fader at the owner's very start is not inside it
    edge.name = "Edge";
    edge.assigned = 1;
    edge.fader_position = s.bytes.size();
    s.lane_sets.push_back(edge);
    s.bytes += track_block(plugin_block(eq) + byte(1));

    const PluginTrackTies ties = s.tie();
    ASSERT_EQ(ties.plugins_by_track.size(), 1u);
    ASSERT_EQ(ties.plugins_by_track.at("Vox").size(), 2u);
    EXPECT_LT(ties.plugins_by_track.at("Vox")[0].block_pos,
              ties.plugins_by_track.at("Vox")[1].block_pos);
    EXPECT_EQ(ties.strip_name_by_instance.size(), 2u);
}

TEST(PluginTracks, TrimGainsCountsAndPolarity) {
    Session s;
    s.bytes = zeros(16);
    // Stereo, channels at different gains: counted once, the first channel's gain.
    s.add_track("Stereo",
                track_block(trim_block({{1093684240, false}, {463923640, false}}) + byte(1)));
    // Mono and inverting: its one value flips both sides.
    s.add_track("Mono", track_block(trim_block({{1635278356, true}}) + byte(1)));
    // Inverting on the left only.
    s.add_track("Left",
                track_block(trim_block({{1093684240, true}, {1093684240, false}}) + byte(1)));
    // Surround: the third channel differs from the first.
    s.add_track("Wide",
                track_block(trim_block({{0x80000000u, true}, {0, true}, {0, false}}) + byte(1)));
    // Inverting but inactive (a zero byte after the slot): no flip, counted as such.
    s.add_track("Inactive", track_block(trim_block({{1093684240, true}}) + byte(0)));

    const PluginTrackTies ties = s.tie();
    ASSERT_EQ(ties.trim_gain_by_instance.size(), 5u);
    std::vector<double> gains;
    for (const auto& [position, gain] : ties.trim_gain_by_instance) gains.push_back(gain);
    EXPECT_NEAR(gains[0], 0.0, 1e-9);
    EXPECT_NEAR(gains[1], 3.0, 1e-9);
    EXPECT_NEAR(gains[2], 0.0, 1e-9);
    EXPECT_LT(gains[3], -12.0);
    EXPECT_EQ(ties.trims.active, 4);
    EXPECT_EQ(ties.trims.different_gain_per_channel, 2);  // Stereo and Wide
    EXPECT_EQ(ties.trims.below_measured_range, 1);
    EXPECT_EQ(ties.trims.mixed_polarity, 1);
    EXPECT_EQ(ties.trims.polarity_while_off, 1);

    PolarityTables tables;
    tables.flips_left = ties.flips_left;
    tables.flips_right = ties.flips_right;
    EXPECT_EQ(track_polarity("Stereo", "", tables), 0);
    EXPECT_EQ(track_polarity("Mono", "", tables), 1);  // IPHASE 1
    EXPECT_EQ(track_polarity("Wide", "", tables), 1);
    EXPECT_EQ(track_polarity("Inactive", "", tables), 0);
    EXPECT_EQ(ties.flips_left.count("Left"), 1u);
    EXPECT_EQ(ties.flips_right.count("Left"), 0u);
}

// Two inverting Trims on one track cancel; a strip a Trim inverts that no written track carries
// (the master fader) is counted by the writer, and both reach the summary.
TEST(PluginTracks, TrimsThatCancelAndStripsWithoutAPhaseSwitch) {
    reset_conversion_state(ConvertOptions{});
    Session s;
    s.bytes = zeros(16);
    const std::string flip = trim_block({{1093684240, true}}) + byte(1);
    s.add_track("Twice", track_block(flip + flip));
    s.add_track("Once", track_block(flip));
    s.add_track("Master 1", track_block(flip));
    const PluginTrackTies ties = s.tie();
    EXPECT_EQ(ties.trims.cancelling_tracks, 1);

    std::vector<OutputTrack> tracks(2);
    tracks[0].name = "Once";
    tracks[1].name = "Twice";
    ProjectWriteInput in;
    in.tracks = tracks;
    in.polarity.flips_left = ties.flips_left;
    in.polarity.flips_right = ties.flips_right;
    writer_test::project_text(in);
    EXPECT_EQ(writer_summary.trim_flips_not_carried, 1);  // "Master 1"; "Twice" is in phase

    ConsoleSummaryInput summary;
    summary.trims = ties.trims;
    const std::string text = console_summary_text(summary);
    EXPECT_NE(text.find("  1 track(s) carry an EVEN number of inverting Trims, which cancel:\n"
                        "      Pro Tools plays them in phase and so does the conversion.\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("  1 strip(s) inverted by Avid Trim have no phase switch in REAPER\n"),
              std::string::npos)
        << text;
    reset_conversion_state(ConvertOptions{});
}

TEST(PluginTracks, MultiMonoRowsAndTheirSummary) {
    Session s;
    s.bytes = zeros(16);
    PluginBlock comp;
    comp.settings = "Comp" + zeros(1);
    comp.header_byte = 2;
    std::string slots;
    for (int i = 0; i < 8; ++i) slots += plugin_block(comp) + byte(1);
    s.add_track("Drums", track_block(slots));
    PluginBlock other = comp;
    other.id = "OtheCoOp";
    other.header_byte = 6;
    s.bytes += plugin_block(other) + byte(1);  // on no track

    const PluginTrackTies ties = s.tie({}, "Pro Compressor");
    ASSERT_EQ(ties.multi_mono.size(), 9u);
    EXPECT_EQ(ties.multi_mono[0], "Pro Compressor on Drums (2 channels)");
    EXPECT_EQ(ties.multi_mono[8], "Comp on (unmatched strip) (6 channels)");

    ConsoleSummaryInput in;
    in.multi_mono = ties.multi_mono;
    const std::string text = console_summary_text(in);
    EXPECT_NE(text.find("  WARNING: 9 unlinked MULTI-MONO instance(s). Pro Tools stores a\n"),
              std::string::npos);
    EXPECT_NE(text.find("      Pro Compressor on Drums (2 channels)\n"), std::string::npos);
    EXPECT_EQ(text.find("(unmatched strip)"), std::string::npos);  // the ninth row is not shown
    EXPECT_NE(text.find("      ... and 1 more\n"), std::string::npos);
}

TEST(PluginTracks, OneChannelLegsAndStripsNeitherMonoNorStereo) {
    Session s;
    auto lane_set = [](const std::string& name, std::uint32_t lists) {
        TrackLaneSet l;
        l.name = name;
        l.assigned = 1;
        l.list_count = lists;
        return l;
    };
    s.lane_sets = {lane_set("Mono", 3),  lane_set("Plain", 2), lane_set("Stereo", 4),
                   lane_set("Trim", 5),  lane_set("Wide", 7),  lane_set("Odd", 1),
                   lane_set("Leg L", 1), lane_set("Leg R", 1)};
    s.lane_sets.push_back(lane_set("Unassigned", 9));
    s.lane_sets.back().assigned = 0;
    std::vector<LaneGroup> groups(4);
    groups[0].name = "Pair";
    groups[0].output_name = "Out 3 / Out 4";
    groups[1].name = "Leg L";
    groups[1].output_name = "Out 3";
    groups[2].name = "Leg R";
    groups[2].output_name = "Out 4";
    groups[3].name = "Mono";
    groups[3].output_name = "Out 1";

    const PluginTrackTies ties = s.tie(groups);
    EXPECT_EQ(ties.channel_side,
              (std::map<std::string, std::int32_t>{{"Leg L", -1}, {"Leg R", 1}}));
    EXPECT_EQ(ties.odd_strips,
              (std::vector<std::string>{"Wide (7 control slots)", "Odd (1 control slots)"}));
    EXPECT_EQ(ties.odd_strip_names, (std::set<std::string>{"Odd", "Wide"}));

    ConsoleSummaryInput in;
    in.odd_strips = ties.odd_strips;
    in.one_channel_tracks = ties.one_channel_tracks;
    const std::string text = console_summary_text(in);
    EXPECT_NE(text.find("  WARNING: 2 mixer strip(s) are neither mono nor stereo and were\n"),
              std::string::npos);
    EXPECT_NE(text.find("  2 track(s) output to ONE channel of a stereo output, so Pro Tools\n"
                        "      plays them on that side only; they are written panned hard "
                        "there:\n"
                        "      Leg L (left)\n"
                        "      Leg R (right)\n"),
              std::string::npos)
        << text;
}

// The real sessions' strips are mono (three lists) or stereo (four or five) and hold no slot.
TEST(PluginTracks, RealSessionsListNoStripAndNoSlot) {
    for (const char* name :
         {"RegionTest.ptx", "TestPTX.ptx", "MetadataFields.ptx", "Untitled32.ptx"}) {
        REQUIRE_SESSION(path, name);
        PTFFormat session;
        ASSERT_EQ(session.load(path, 48000), 0) << name;
        ConvertOptions options;
        options.input_path = path;
        reset_conversion_state(options);
        settings.session_sample_rate = session.sample_rate();
        SessionReading reading;
        read_session(session, options, reading);
        const PluginTrackTies ties =
            tie_session_plugins(reading, session.bytes().data(), session.bytes().size());
        EXPECT_TRUE(ties.plugins_by_track.empty()) << name;
        EXPECT_TRUE(ties.multi_mono.empty()) << name;
        EXPECT_TRUE(ties.odd_strips.empty()) << name;
        EXPECT_TRUE(ties.channel_side.empty()) << name;
        EXPECT_TRUE(ties.trim_gain_by_instance.empty()) << name;
    }
}

}  // namespace
