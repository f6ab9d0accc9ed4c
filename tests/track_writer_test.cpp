// Track blocks: mixer lines, pan modes, channels, receives, sends and envelopes.
#include "convert/writer/track_writer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "convert/writer/colors.h"
#include "convert/writer/envelopes.h"
#include "convert/writer/writer_summary.h"
#include "session/tempo_map.h"
#include "tests/writer_test_support.h"
#include "util/guid.h"

namespace {

using writer_test::project_text;
using writer_test::track_block;
using TrackWriter = writer_test::WriterTest;

OutputTrack track_named(const std::string& name, const std::string& session_name = "") {
    OutputTrack t;
    t.name = name;
    t.session_name = session_name.empty() ? name : session_name;
    return t;
}

// The stacked takes of `parent`, written beside it.
OutputTrack alt_takes_of(const std::string& parent) {
    OutputTrack t = track_named(parent + " [alt takes]", parent);
    t.alternate = AlternateKind::takes;
    return t;
}

TrackLaneSet lanes_named(const std::string& name, double fader_db = 0.0) {
    TrackLaneSet l;
    l.name = name;
    l.assigned = 1;
    l.fader_db = fader_db;
    l.list_count = 3;
    return l;
}

// The lines every track block carries from FREEMODE to MAINSEND, for track `i` with NCHAN 2.
std::string plain_tail(int i) {
    return "    FREEMODE 0\n    TRACKHEIGHT 0 0 0 0 0 0 0\n    INQ 0 0 0 0.5 100 0 0 100\n"
           "    NCHAN 2\n    FX 1\n    TRACKID " +
           guid_from_seed(static_cast<std::uint32_t>(i + 9001)) + "\n    MAINSEND 1 0\n";
}

struct Project {
    std::vector<OutputTrack> tracks;
    std::vector<TrackLaneSet> lanes;
    ProjectWriteInput in;

    std::string write() {
        in.tracks = tracks;
        in.lane_sets = lanes;
        return project_text(in);
    }
};

TEST_F(TrackWriter, VolumeAndPanAutomationGolden) {
    Project p;
    p.tracks = {track_named("Lead Vox")};
    p.lanes = {lanes_named("Lead Vox", -3.0)};
    p.lanes[0].volume.initial_value = -30;
    p.lanes[0].volume.points = {{48000, -60}};
    p.lanes[0].pan.initial_value = -50;
    p.lanes[0].pan.points = {{96000, 50}};
    const std::string block = track_block(p.write(), 0);
    EXPECT_EQ(block, "  <TRACK " + guid_from_seed(1) +
                         "\n"
                         "    NAME \"Lead Vox\"\n"
                         "    PEAKCOL 16576\n"
                         "    BEAT -1\n"
                         "    AUTOMODE 1\n"
                         "    VOLPAN 1.000000 0 -1 -1.000000 1.000000\n"
                         "    MUTESOLO 0 0 0\n"
                         "    IPHASE 0\n"
                         "    ISBUS 0 0\n" +
                         plain_tail(0) +
                         "    <VOLENV2\n"
                         "      ACT 1 -1\n"
                         "      VIS 1 1 1\n"
                         "      LANEHEIGHT 0 0\n"
                         "      ARM 1\n"
                         "      DEFSHAPE 0 -1 -1\n"
                         "      PT 0.0000000000 0.707945784 0\n"
                         "      PT 1.0000000000 0.501187234 0\n"
                         "    >\n"
                         "    <PANENV2\n"
                         "      ACT 1 -1\n"
                         "      VIS 1 1 1\n"
                         "      LANEHEIGHT 0 0\n"
                         "      ARM 1\n"
                         "      DEFSHAPE 0 -1 -1\n"
                         "      PT 0.0000000000 0.500000000 0\n"
                         "      PT 2.0000000000 -0.500000000 0\n"
                         "    >\n"
                         "  >\n");
    EXPECT_EQ(writer_summary.faders_parked, 1);
    EXPECT_EQ(writer_summary.automated_tracks, 1);
    EXPECT_EQ(writer_summary.automation_points, 2);
    EXPECT_EQ(writer_summary.automated_tracks_read, 1);
}

TEST_F(TrackWriter, ViewStateColourGroupsAndMonoPanGolden) {
    Project p;
    p.tracks = {track_named("Bass")};
    p.lanes = {lanes_named("Bass", -6.0)};
    p.lanes[0].pan.initial_value = 30;  // the knob, no automation
    TrackWriteInput in;
    in.color_index = 25;
    in.timebase = reaper_timebase(true);
    TrackViewValues view;
    view.key = "Bass";
    view.shown_in_mixer = 0;
    view.height = 80;
    view.solo_state = 1;
    view.solo_safe_state = 1;
    view.automation_mode = 3;  // Latch
    in.view = view;
    in.group_masks = {1, 0, 0, 0, 0, 0};
    in.channel_count = 1;
    p.in.track_inputs = {in};
    const std::string block = track_block(p.write(), 0);
    EXPECT_EQ(block, "  <TRACK " + guid_from_seed(1) +
                         "\n"
                         "    NAME \"Bass\"\n"
                         "    PEAKCOL " +
                         std::to_string(palette_color(25)) +
                         "\n"
                         "    BEAT 2\n"
                         "    AUTOMODE 4\n"
                         "    VOLPAN 0.501187 0.3 -1 -1.000000 1.000000\n"
                         "    MUTESOLO 0 2 1\n"
                         "    IPHASE 0\n"
                         "    ISBUS 0 0\n"
                         "    SHOWINMIX 0 0.6667 0.5 0 0.5 0 0 0\n"
                         "    GROUP_FLAGS 1 1\n"
                         "    PANMODE 3\n"
                         "    FREEMODE 0\n"
                         "    TRACKHEIGHT 80 0 0 0 0 0 0\n"
                         "    INQ 0 0 0 0.5 100 0 0 100\n"
                         "    NCHAN 2\n"
                         "    FX 1\n"
                         "    TRACKID " +
                         guid_from_seed(9001) +
                         "\n"
                         "    MAINSEND 1 0\n"
                         "  >\n");
    EXPECT_EQ(writer_summary.hidden_tracks, std::vector<std::string>{"Bass"});
    EXPECT_EQ(writer_summary.soloed_tracks, std::vector<std::string>{"Bass"});
    EXPECT_EQ(writer_summary.solo_safe_tracks, std::vector<std::string>{"Bass"});
    EXPECT_EQ(writer_summary.tracks_with_height, 1);
    EXPECT_EQ(writer_summary.timebase_beats_position, 1);
    EXPECT_EQ(color_counters.tracks_colored, 1);
}

TEST_F(TrackWriter, PeakColourAutomationModeAndTimebase) {
    struct Case {
        std::optional<std::int32_t> own, coding;
        std::uint8_t no_track_colors;
        std::uint32_t peakcol;
    } colours[] = {
        {std::nullopt, std::nullopt, 0, 16576},
        {25, std::nullopt, 1, 16576},  // --no-track-colors
        {std::nullopt, 49, 0, palette_color(49)},
        {26, 49, 0, palette_color(26)},
    };
    for (const Case& c : colours) {
        reset_conversion_state(ConvertOptions{});
        settings.no_track_colors = c.no_track_colors;
        Project p;
        p.tracks = {track_named("T")};
        TrackWriteInput in;
        in.color_index = c.own;
        in.coding_color_index = c.coding;
        p.in.track_inputs = {in};
        EXPECT_NE(p.write().find("    PEAKCOL " + std::to_string(c.peakcol) + "\n"),
                  std::string::npos);
    }

    const std::pair<int, int> modes[] = {{0, 0}, {1, 1}, {2, 2}, {3, 4},
                                         {4, 3}, {5, 4}, {7, 9}, {-1, 9}};
    for (auto [stored, written] : modes) {
        TrackViewValues view;
        view.automation_mode = stored;
        EXPECT_EQ(track_automode(view, 9), written) << stored;
    }
    EXPECT_EQ(track_automode(std::nullopt, 9), 9);

    reset_conversion_state(ConvertOptions{});
    Project p;
    p.tracks = {track_named("Midi A"), track_named("Midi B"), track_named("Audio")};
    p.in.track_inputs.resize(3);
    p.in.track_inputs[0].midi = 1;
    p.in.track_inputs[1].midi = 1;
    p.in.track_inputs[1].midi_time_based = 1;
    p.in.track_inputs[2].timebase = reaper_timebase(false);
    const std::string text = p.write();
    EXPECT_NE(track_block(text, 0).find("    BEAT 1\n"), std::string::npos);
    EXPECT_NE(track_block(text, 1).find("    BEAT 0\n"), std::string::npos);
    EXPECT_NE(track_block(text, 2).find("    BEAT 0\n"), std::string::npos);
    EXPECT_EQ(writer_summary.midi_timebase_beats, 1);
    EXPECT_EQ(writer_summary.midi_timebase_time, 1);
    EXPECT_EQ(writer_summary.timebase_time, 1);
}

TEST_F(TrackWriter, MutedSoloedTracks) {
    Project p;
    p.tracks = {track_named("Plain muted"), track_named("Muted automated"), track_named("Inactive"),
                track_named("Voice off")};
    p.tracks[2].inactive = 1;
    p.tracks[3].voice_off = 1;
    p.lanes = {lanes_named("Plain muted"), lanes_named("Muted automated")};
    p.lanes[0].muted = 1;
    p.lanes[1].muted = 1;
    p.lanes[1].mute.initial_value = 1;
    p.lanes[1].mute.points = {{48000, 0}, {96000, 1}};
    TrackViewValues soloed;
    soloed.solo_state = 1;
    p.in.track_inputs.resize(4);
    for (TrackWriteInput& in : p.in.track_inputs) in.view = soloed;
    const std::string text = p.write();
    EXPECT_NE(track_block(text, 0).find("    MUTESOLO 1 0 0\n"), std::string::npos);
    const std::string automated = track_block(text, 1);
    EXPECT_NE(automated.find("    MUTESOLO 1 2 0\n"), std::string::npos);
    // A mute point of 1 (muted) is 0 in REAPER's mute envelope, 0 is 1; steps throughout.
    EXPECT_NE(automated.find("    <MUTEENV\n"
                             "      ACT 1 -1\n"
                             "      VIS 1 1 1\n"
                             "      LANEHEIGHT 0 0\n"
                             "      ARM 1\n"
                             "      DEFSHAPE 1 -1 -1\n"
                             "      PT 0.0000000000 0.000000000 1\n"
                             "      PT 1.0000000000 1.000000000 1\n"
                             "      PT 2.0000000000 0.000000000 1\n"
                             "    >\n"),
              std::string::npos)
        << automated;
    EXPECT_NE(track_block(text, 2).find("    MUTESOLO 1 0 0\n"), std::string::npos);
    EXPECT_NE(track_block(text, 3).find("    MUTESOLO 1 0 0\n"), std::string::npos);
    EXPECT_EQ(writer_summary.soloed_and_muted, 3);
    EXPECT_EQ(writer_summary.soloed_muted_automated, 1);  // keeps its solo through the mute
    EXPECT_EQ(writer_summary.soloed_written, 1);
    EXPECT_EQ(mutesolo_solo_value(0, false, false), 0);
    EXPECT_EQ(mutesolo_solo_value(2, false, false), 2);
}

TEST_F(TrackWriter, StereoWidthAndDualPan) {
    auto stereo = [](const std::string& name) {
        TrackLaneSet l = lanes_named(name);
        l.stereo_pan = 1;
        l.list_count = 5;
        l.pan.initial_value = -60;
        l.pan_right_curve.initial_value = 40;
        return l;
    };
    Project p;
    p.tracks = {track_named("Width"), track_named("Dual"), track_named("Dual off"),
                track_named("Surround")};
    p.lanes = {stereo("Width"), stereo("Dual"), stereo("Dual off"), stereo("Surround")};
    for (int i : {1, 2, 3}) {
        p.lanes[i].dual_pan_points = 2;
        p.lanes[i].pan_left_lane = p.lanes[i].pan;
        p.lanes[i].pan_left_lane.points = {{48000, -100}};
        p.lanes[i].pan_right_curve.points = {{48000, 100}};
    }
    p.in.track_inputs.resize(4);
    TrackViewValues off;
    off.automation_mode = 0;
    p.in.track_inputs[2].view = off;
    p.in.track_inputs[3].surround_panned = 1;
    const std::string text = p.write();

    const std::string width = track_block(text, 0);
    EXPECT_NE(width.find("    VOLPAN 1.000000 0 -1 -0.600000 0.400000\n"), std::string::npos);
    EXPECT_NE(width.find("    PANMODE 6\n"), std::string::npos);

    const std::string dual = track_block(text, 1);
    EXPECT_NE(dual.find("    VOLPAN 1.000000 0 -1 -1.000000 1.000000\n"), std::string::npos);
    EXPECT_NE(dual.find("    <DUALPANENVL2\n"), std::string::npos);
    EXPECT_NE(dual.find("      PT 0.0000000000 0.600000000 0\n"
                        "      PT 1.0000000000 1.000000000 0\n"
                        "    >\n"
                        "    <DUALPANENV2\n"),
              std::string::npos)
        << dual;
    EXPECT_EQ(dual.find("<PANENV2"), std::string::npos);

    // Automation Off: the static widths stay and the envelopes are written inactive.
    const std::string dual_off = track_block(text, 2);
    EXPECT_NE(dual_off.find("    AUTOMODE 0\n"), std::string::npos);
    EXPECT_NE(dual_off.find("    VOLPAN 1.000000 0 -1 -0.600000 0.400000\n"), std::string::npos);
    EXPECT_NE(dual_off.find("    <DUALPANENVL2\n      ACT 0 -1\n"), std::string::npos);

    // A surround-panned track: no stereo pan mode, no pan envelopes, its pan lanes counted.
    const std::string surround = track_block(text, 3);
    EXPECT_EQ(surround.find("PANMODE"), std::string::npos);
    EXPECT_EQ(surround.find("PANENV"), std::string::npos);
    EXPECT_NE(surround.find("    VOLPAN 1.000000 0 -1 -0.600000 0.400000\n"), std::string::npos);
    EXPECT_EQ(writer_summary.surround_pan_lanes_not_carried, 2);
    EXPECT_EQ(writer_summary.surround_pan_strips, 1);
}

TEST_F(TrackWriter, KeptFaderChannelSideAndFolders) {
    Project p;
    p.tracks = {track_named("VCA"), track_named("Left leg"), track_named("Folder")};
    p.lanes = {lanes_named("VCA", -10.0), lanes_named("Left leg")};
    p.lanes[0].volume.points = {{0, 0}};
    p.lanes[1].pan.initial_value = 40;
    p.in.track_inputs.resize(3);
    p.in.track_inputs[0].kept_fader_db = -6.0;
    p.in.track_inputs[1].channel_side = -1;
    p.in.track_inputs[2].folder = 1;
    p.in.track_inputs[2].folder_text = "1 1";
    const std::string text = p.write();
    EXPECT_NE(track_block(text, 0).find("    VOLPAN 0.501187 0 -1"), std::string::npos);
    const std::string leg = track_block(text, 1);
    EXPECT_NE(leg.find("    VOLPAN 1.000000 0 -1 -1.000000 -1.000000\n"), std::string::npos);
    EXPECT_NE(leg.find("    PANMODE 6\n"), std::string::npos);
    const std::string folder = track_block(text, 2);
    EXPECT_NE(folder.find("    ISBUS 1 1\n"), std::string::npos);
    EXPECT_NE(folder.find("    PANMODE 6\n"), std::string::npos);
}

TEST_F(TrackWriter, ChannelsAndReceives) {
    Project p;
    p.tracks = {track_named("Comp"), track_named("5.1 Bus"), track_named("Kick"),
                track_named("Snare")};
    p.in.track_inputs.resize(4);
    TrackWriteInput& comp = p.in.track_inputs[0];
    comp.receives_keys = 1;
    comp.first_key_source = 2;
    comp.key_sources = {2, 0, 3};  // the track itself is skipped
    comp.routed_sources = {{1, 2}, {0, 4}};
    TrackWriteInput& bus = p.in.track_inputs[1];
    bus.surround_bus_width = 5;
    bus.feeding_sources = {{0, 6}, {2, 2}, {3, 8}};
    bus.output_into_aux = 1;
    std::vector<int> channels_seen;
    std::vector<std::uint32_t> seeds;
    p.in.track_inputs[2].surround_panned = 1;
    p.in.track_inputs[2].surround_panner_width = 5;
    p.in.hooks.track.build_surround_pan = [&](std::int32_t, std::uint32_t seed) {
        seeds.push_back(seed);
    };
    std::vector<FxChainCall> calls;
    p.in.hooks.track.write_fx_chain = [&](std::FILE* f, const FxChainCall& call) {
        calls.push_back(call);
        channels_seen.push_back(writer_state.current_track_channels);
        std::fputs("    <FXCHAIN\n    >\n", f);
        return 1;
    };
    const std::string text = p.write();

    EXPECT_NE(
        track_block(text, 0).find("    NCHAN 10\n    FX 1\n    TRACKID " + guid_from_seed(9001) +
                                  "\n    MAINSEND 1 0\n"
                                  "    MAINSEND_NCH 2\n"
                                  "    AUXRECV 2 1 1 0 0 0 0 0 2 -1:U 4177951 -1 ''\n"
                                  "    AUXRECV 2 1 1 0 0 0 0 0 4 -1:U 4177951 -1 ''\n"
                                  "    AUXRECV 3 1 1 0 0 0 0 0 8 -1:U 4177951 -1 ''\n"
                                  "    AUXRECV 1 0 1 0 0 0 0 2 0 -1:U 4177951 -1 ''\n"
                                  "    <FXCHAIN\n    >\n  >\n"),
        std::string::npos)
        << track_block(text, 0);
    EXPECT_NE(
        track_block(text, 1).find("    NCHAN 6\n    FX 1\n    TRACKID " + guid_from_seed(9002) +
                                  "\n    MAINSEND 0 0\n"
                                  "    AUXRECV 0 0 1 0 0 0 0 3072 0 -1:U 4177951 -1 ''\n"
                                  "    AUXRECV 2 0 1 0 0 0 0 0 0 -1:U 4177951 -1 ''\n"
                                  "    AUXRECV 3 0 1 0 0 0 0 0 0 -1:U 4177951 -1 ''\n"),
        std::string::npos)
        << track_block(text, 1);
    EXPECT_NE(track_block(text, 2).find("    NCHAN 6\n"), std::string::npos);
    EXPECT_EQ(seeds, std::vector<std::uint32_t>{0x53555202u});
    EXPECT_EQ(channels_seen, (std::vector<int>{10, 6, 6, 2}));
    EXPECT_EQ(writer_state.current_track_channels, -1);
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_TRUE(calls[0].keys_sidechain);
    EXPECT_EQ(calls[0].track_name, "Comp");
    EXPECT_STREQ(calls[0].block_name, "FXCHAIN");
    EXPECT_EQ(writer_summary.mainsend_nch, 1);
    EXPECT_EQ(writer_summary.surround_bus_widths, 1);
    EXPECT_EQ(writer_summary.mono_panner_widths, 1);
    EXPECT_EQ(writer_summary.track_fx_slots, 4);

    // --no-sidechain: no key channels, no key receives.
    reset_conversion_state(ConvertOptions{});
    p.in.no_sidechain = 1;
    const std::string plain = track_block(p.write(), 0);
    EXPECT_NE(plain.find("    NCHAN 2\n"), std::string::npos);
    EXPECT_EQ(plain.find("AUXRECV 2 1"), std::string::npos);
    EXPECT_EQ(plain.find("MAINSEND_NCH"), std::string::npos);
}

TEST_F(TrackWriter, SendsBecomeReceivesOnTheirDestination) {
    std::vector<OutputTrack> tracks = {track_named("Gtr"), track_named("Bus"),
                                       alt_takes_of("Gtr")};
    std::vector<TrackLaneSet> lanes = {lanes_named("Gtr")};
    lanes[0].fader_position = 150;
    LaneGroup group;
    group.name = "Gtr block";
    group.block_start = 100;
    group.block_end = 200;
    TrackSend send;
    send.destination_name = "Verb";
    send.level_db = -6.0;
    send.post_fader = 0;
    send.volume.points = {{48000, -100}};
    send.mute.initial_value = 1;  // switched off, no automation
    group.sends = {send};
    std::vector<LaneGroup> groups = {group};

    NameIndex index;
    index.override_by_key["Verb"] = "Bus";
    auto receives = prepare_sends(groups, lanes, tracks, &index);
    ASSERT_EQ(receives.size(), 1u);
    ASSERT_EQ(receives["Bus"].size(), 1u);  // not from the [alt takes] track
    EXPECT_EQ(receives["Bus"][0].source_index, 0);

    Project p;
    p.tracks = tracks;
    p.lanes = lanes;
    p.in.receives = receives;
    const std::string text = p.write();
    EXPECT_NE(track_block(text, 1).find("    MAINSEND 1 0\n"
                                        "    AUXRECV 0 3 0.5011872336 0 1 0 0 0 0 -1:U 4177951 "
                                        "-1 ''\n"
                                        "    <AUXVOLENV\n"
                                        "      ACT 1 -1\n"
                                        "      VIS 1 1 1\n"
                                        "      LANEHEIGHT 0 0\n"
                                        "      ARM 0\n"
                                        "      DEFSHAPE 0 -1 -1\n"
                                        "      PT 0.0000000000 1.000000000 0\n"
                                        "      PT 1.0000000000 0.316227766 0\n"
                                        "    >\n"
                                        "  >\n"),
              std::string::npos)
        << track_block(text, 1);
    EXPECT_EQ(track_block(text, 0).find("AUXRECV"), std::string::npos);
    // The [alt takes] track is muted on its one MUTESOLO line, and takes no receive.
    EXPECT_NE(track_block(text, 2).find("    MUTESOLO 1 0 0\n"), std::string::npos);
    EXPECT_EQ(track_block(text, 2).find("MUTESOLO", track_block(text, 2).find("MUTESOLO") + 1),
              std::string::npos);
    EXPECT_TRUE(track_block(text, 2).ends_with("    MAINSEND 1 0\n  >\n")) << track_block(text, 2);
    EXPECT_EQ(writer_summary.sends_written, 1);
    EXPECT_EQ(writer_summary.send_points, 1);
    EXPECT_EQ(writer_summary.sends_muted, 1);

    // Without a resolver the send's own name is the destination; a post-fader send is mode 0.
    group.sends[0].post_fader = 1;
    groups = {group};
    auto own = prepare_sends(groups, lanes, tracks, nullptr);
    ASSERT_EQ(own.count("Verb"), 1u);
    const std::string line = writer_test::capture([&](std::FILE* f) {
        const SessionSend& s = own["Verb"][0];
        write_send(f, s.source_index, s.gain_db, s.post_fader, nullptr, nullptr, s.pan);
    });
    EXPECT_EQ(line, "    AUXRECV 0 0 0.5011872336 0 0 0 0 0 0 -1:U 4177951 -1 ''\n");
}

TEST_F(TrackWriter, SendPans) {
    struct Case {
        const char* what;
        bool sender_lane_set;
        bool sender_stereo;
        std::uint32_t channel_count;
        std::int32_t left, right;
        double pan;
        bool listed;
    } cases[] = {
        {"mono track, two pan values", true, false, 2, -150, 0, -1.0, false},
        {"mono track, one pan value", true, false, 1, -50, 0, 0.0, false},
        {"stereo track, moved", true, true, 2, -50, 100, 0.0, true},
        {"stereo track, at its defaults", true, true, 2, -100, 100, 0.0, false},
        {"no lane set, second pan set", false, false, 2, 20, 30, 0.0, true},
        {"no lane set, second pan 0", false, false, 2, 40, 0, 0.4, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        reset_conversion_state(ConvertOptions{});
        std::vector<OutputTrack> tracks = {track_named("Src")};
        std::vector<TrackLaneSet> lanes;
        if (c.sender_lane_set) {
            lanes.push_back(lanes_named("Src"));
            lanes[0].stereo_pan = c.sender_stereo;
        }
        LaneGroup g;
        g.name = "Src";
        TrackSend s;
        s.destination_name = "Bus";
        s.channel_count = c.channel_count;
        s.pan_left = c.left;
        s.pan_right = c.right;
        g.sends = {s};
        std::vector<LaneGroup> groups = {g};
        auto receives = prepare_sends(groups, lanes, tracks, nullptr);
        ASSERT_EQ(receives["Bus"].size(), 1u);
        EXPECT_DOUBLE_EQ(receives["Bus"][0].pan, c.pan);
        EXPECT_EQ(writer_summary.sends_panned, c.pan != 0.0);
        EXPECT_EQ(writer_summary.stereo_send_tracks.size(), c.listed ? 1u : 0u);
    }
}

TEST_F(TrackWriter, Polarity) {
    PolarityTables t;
    t.flips_left = {{"Inverted", 1}, {"Kick", 2}, {"Gtr", 1}, {"Snare", 3}};
    t.flips_right = {{"Inverted", 1}, {"Kick", 2}, {"Snare", 2}};
    EXPECT_EQ(track_polarity("Inverted", "", t), 1);
    EXPECT_EQ(track_polarity("Renamed", "Inverted", t), 1);     // by the second name
    EXPECT_EQ(track_polarity("Inverted [lane: 2]", "", t), 1);  // the lane suffix cut
    EXPECT_EQ(track_polarity("Kick", "", t), 0);                // flipped back on both sides
    EXPECT_EQ(track_polarity("Nothing", "", t), 0);
    EXPECT_TRUE(writer_state.one_sided_polarity.empty());
    EXPECT_EQ(track_polarity("Gtr", "", t), 0);    // left only
    EXPECT_EQ(track_polarity("Snare", "", t), 0);  // 3 left, 2 right: left only
    t.flips_right["Bass"] = 1;
    EXPECT_EQ(track_polarity("Bass", "", t), 0);  // right only
    EXPECT_EQ(writer_state.one_sided_polarity,
              (std::map<std::string, int>{{"Gtr", 1}, {"Snare", 1}, {"Bass", 2}}));

    Project p;
    p.tracks = {track_named("Inverted")};
    p.in.polarity = t;
    EXPECT_NE(p.write().find("    IPHASE 1\n"), std::string::npos);
}

TEST_F(TrackWriter, MixerFlagsOncePerViewName) {
    Project p;
    p.tracks = {track_named("Hidden"), alt_takes_of("Hidden")};
    TrackViewValues view;
    view.key = "Hidden";
    view.shown_in_mixer = 0;
    p.in.track_inputs = {TrackWriteInput{}, TrackWriteInput{}};
    p.in.track_inputs[0].view = view;
    p.in.track_inputs[1].view = view;
    const std::string text = p.write();
    EXPECT_NE(track_block(text, 0).find("SHOWINMIX"), std::string::npos);
    EXPECT_EQ(track_block(text, 1).find("SHOWINMIX"), std::string::npos);
    EXPECT_EQ(writer_summary.hidden_tracks.size(), 1u);
}

// A track whose automation is Off writes inactive envelopes and is listed for the console; the
// next track's play again.
TEST_F(TrackWriter, AutomationOffDoesNotCarryOver) {
    Project p;
    p.tracks = {track_named("Off"), track_named("Unknown view")};
    p.lanes = {lanes_named("Off"), lanes_named("Unknown view")};
    for (TrackLaneSet& l : p.lanes) l.volume.points = {{0, -10}};
    p.in.track_inputs.resize(2);
    TrackViewValues off;
    off.automation_mode = 0;
    p.in.track_inputs[0].view = off;
    const std::string text = p.write();
    EXPECT_NE(track_block(text, 0).find("    <VOLENV2\n      ACT 0 -1\n"), std::string::npos);
    EXPECT_NE(track_block(text, 1).find("    <VOLENV2\n      ACT 1 -1\n"), std::string::npos);
    EXPECT_EQ(writer_summary.automation_off_tracks, std::vector<std::string>{"Off"});
}

TEST_F(TrackWriter, MidiMuteLaneAndTrimEnvelope) {
    Project p;
    p.tracks = {track_named("Keys"), track_named("Pad")};
    p.lanes = {lanes_named("Pad", -6.0)};
    p.lanes[0].trim.points = {{0, -30}};
    p.in.track_inputs.resize(2);
    p.in.track_inputs[0].midi = 1;
    AutomationCurve mute;
    mute.points = {{48000, 1}};
    p.in.track_inputs[0].midi_mute_lane = mute;
    p.in.track_inputs[0].midi_muted = 1;
    p.in.track_inputs[0].midi_other_lanes = 2;
    const std::string text = p.write();
    const std::string keys = track_block(text, 0);
    // Its stored mute state mutes it; its two other lanes are counted as not carried.
    EXPECT_NE(keys.find("    MUTESOLO 1 "), std::string::npos) << keys;
    EXPECT_EQ(writer_summary.midi_muted_tracks, 1);
    EXPECT_EQ(writer_summary.midi_lanes_not_carried, 2);
    EXPECT_NE(keys.find("    AUTOMODE 1\n"), std::string::npos);
    EXPECT_NE(keys.find("    <MUTEENV\n      ACT 1 -1\n      VIS 1 1 1\n      LANEHEIGHT 0 0\n"
                        "      ARM 1\n"),
              std::string::npos);
    EXPECT_EQ(writer_summary.midi_mute_tracks, 1);
    const std::string pad = track_block(text, 1);
    EXPECT_NE(pad.find("    <VOLENV3\n"), std::string::npos);
    EXPECT_NE(pad.find("    AUTOMODE 1\n"), std::string::npos);
    EXPECT_EQ(pad.find("ARM 1"), std::string::npos);  // the trim envelope never arms
    EXPECT_NE(pad.find("    VOLPAN 0.501187 0 -1"), std::string::npos);  // trim keeps the fader
}

// Names with quotes of every kind, control bytes, NUL and invalid UTF-8 stay one token.
TEST_F(TrackWriter, HostileNamesStayOneToken) {
    struct Case {
        std::string name, session_name, written;
    } cases[] = {
        {"Say \"hi\"", "", "'Say \"hi\"'"},
        {"it's \"x\"", "", "`it's \"x\"`"},
        {"a\"b'c`d", "", "\"a_b'c`d\""},
        {"tab\there\nnew\rcr", "", "\"tab here new cr\""},
        {std::string("nul\0x", 5), "", "\"nul x\""},
        // Bytes that are not UTF-8 become U+FFFD, one per bad sequence.
        {"\xff\xfe\xc3(", "", "\"\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd(\""},
        {"", "Session name", "\"Session name\""},
        {"", "", "\"Track 8\""},
        {"\x01\x7f", "", "\"\x01\x7f\""},
    };
    Project p;
    for (const Case& c : cases) {
        OutputTrack t;
        t.name = c.name;
        t.session_name = c.session_name;
        p.tracks.push_back(t);
    }
    const std::string text = p.write();
    for (std::size_t i = 0; i < std::size(cases); ++i)
        EXPECT_NE(
            track_block(text, static_cast<int>(i)).find("    NAME " + cases[i].written + "\n"),
            std::string::npos)
            << i;
}

TEST_F(TrackWriter, ProgressLinePerTrack) {
    struct Recorder : ptxgui::Progress {
        std::vector<std::string> lines;
        bool update(int step, int total, const char* text) override {
            lines.push_back(std::to_string(step) + "/" + std::to_string(total) + " " + text);
            return true;
        }
    } recorder;
    output_state.progress_reporter = &recorder;
    Project p;
    p.tracks = {track_named("A"), track_named("B")};
    p.write();
    EXPECT_EQ(recorder.lines, (std::vector<std::string>{"3/6 writing 0/2", "3/6 writing 1/2"}));
}

TEST_F(TrackWriter, EnvelopeBlocks) {
    AutomationCurve empty;
    empty.initial_value = -100;
    EXPECT_EQ(writer_test::capture([&](std::FILE* f) {
                  EXPECT_EQ(write_envelope(f, "VOLENV2", empty, EnvelopeKind::volume, "  ", false),
                            0);
              }),
              "");
    settings.envelope_arm = 1;
    settings.envelope_active = 0;
    EXPECT_EQ(writer_test::capture([&](std::FILE* f) {
                  write_envelope(f, "DUALPANENV2", empty, EnvelopeKind::dual_pan, "", true);
              }),
              "<DUALPANENV2\n  ACT 0 -1\n  VIS 1 1 1\n  LANEHEIGHT 0 0\n  ARM 1\n"
              "  DEFSHAPE 0 -1 -1\n  PT 0.0000000000 1.000000000 0\n>\n");
    for (const char* name : {"VOLENV3", "AUXVOLENV", "MASTERVOLENV2"}) {
        const std::string text = writer_test::capture(
            [&](std::FILE* f) { write_envelope(f, name, empty, EnvelopeKind::volume, "", true); });
        EXPECT_NE(text.find("  ARM 0\n"), std::string::npos) << name;
    }
    EXPECT_DOUBLE_EQ(envelope_value(-60, EnvelopeKind::volume), std::pow(10.0, -0.3));
    EXPECT_DOUBLE_EQ(envelope_value(1, EnvelopeKind::mute), 0.0);
    EXPECT_DOUBLE_EQ(envelope_value(0, EnvelopeKind::mute), 1.0);
    EXPECT_DOUBLE_EQ(envelope_value(0.5, EnvelopeKind::mute), 1.0);
    EXPECT_DOUBLE_EQ(envelope_value(-100, EnvelopeKind::pan), 1.0);
}

TEST_F(TrackWriter, AutomationTimes) {
    settings.sample_rate = 44100;
    EXPECT_DOUBLE_EQ(automation_time_seconds(88200, false), 2.0);
    settings.session_tempo = 90;
    EXPECT_DOUBLE_EQ(automation_time_seconds(960000, true), 60.0 / 90.0);
    session_tempo_map.entries = {{0, 120}, {1920000, 60}};
    EXPECT_DOUBLE_EQ(automation_time_seconds(1920000, true), 1.0);
    EXPECT_DOUBLE_EQ(automation_time_seconds(2880000, true), 2.0);
    // A map that starts after 0 counts the span before its first entry at that entry's tempo,
    // so times never run backwards across the first entry.
    session_tempo_map.entries = {{960000, 120}};
    EXPECT_DOUBLE_EQ(automation_time_seconds(480000, true), 0.25);
    EXPECT_DOUBLE_EQ(automation_time_seconds(960000, true), 0.5);
    EXPECT_DOUBLE_EQ(automation_time_seconds(1920000, true), 1.0);
}

TEST_F(TrackWriter, CurveValueAt) {
    const std::vector<CurvePoint> base = {{0, 0}, {10, 10}, {20, 0}};
    std::vector<CurvePoint> c = base;
    EXPECT_EQ(curve_value_at(c, 5), 5.0);
    EXPECT_EQ(c.size(), 3u);
    EXPECT_DOUBLE_EQ(c[0].time, 0);
    EXPECT_DOUBLE_EQ(c[0].value, 5);
    EXPECT_DOUBLE_EQ(c[1].time, 5);
    EXPECT_DOUBLE_EQ(c[2].time, 15);

    c = base;
    EXPECT_EQ(curve_value_at(c, 10), 10.0);
    ASSERT_EQ(c.size(), 2u);
    EXPECT_DOUBLE_EQ(c[1].time, 10);
    EXPECT_DOUBLE_EQ(c[1].value, 0);

    for (double t : {0.0, -1.0, 20.0, 20.0 - 1e-10}) {
        c = base;
        EXPECT_FALSE(curve_value_at(c, t)) << t;
        EXPECT_EQ(c.size(), 3u);
    }
    std::vector<CurvePoint> one = {{5, 1}};
    EXPECT_FALSE(curve_value_at(one, 1));

    // A value of -1 at the cut is a value, not "nothing cut".
    std::vector<CurvePoint> gain = {{0, -1}, {10, -1}};
    EXPECT_EQ(curve_value_at(gain, 4), -1.0);
    EXPECT_DOUBLE_EQ(gain[1].time, 6);
}

}  // namespace
