// The project-level text: header, settings lines, master track, and the whole project's order.
#include "convert/writer/project_writer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "convert/writer/project_header.h"
#include "convert/writer/writer_summary.h"
#include "platform/ptformat.h"
#include "tests/test_support.h"
#include "tests/writer_test_support.h"
#include "util/guid.h"

namespace {

using writer_test::project_text;
using WriterProject = writer_test::WriterTest;

bool has_line(const std::string& text, const std::string& line) {
    return text.find("\n" + line + "\n") != std::string::npos;
}

TEST_F(WriterProject, EmptyProjectGolden) {
    ProjectWriteInput in;
    in.hooks.write_tempo_and_markers = [](std::FILE* f) { std::fputs("  MARKER_SITE\n", f); };
    EXPECT_EQ(project_text(in),
              "<REAPER_PROJECT 0.1 \"7.0\" 0\n"
              "  RIPPLE 0\n"
              "  GROUPOVERRIDE 0 0 0\n"
              "  AUTOXFADE 1\n"
              "  SAMPLERATE 48000 0 0\n"
              "  TEMPO 120 4 4\n"
              "  PLAYRATE 1 0 0.25 4\n"
              "  <RECORD_CFG\n"
              "  >\n"
              "  <APPLYFX_CFG\n"
              "  >\n"
              "  RENDER_FILE \"\"\n"
              "  MARKER_SITE\n"
              "  MASTERMUTESOLO 0\n"
              "  MASTER_NCH 2 2\n"
              "  PANLAW 0.7079457844\n"
              "  MASTER_VOLUME 1.000000000 0.000000 -1 -1.000000 1.000000\n"
              "  MASTER_PANMODE 3\n"
              ">\n");
}

TEST_F(WriterProject, SampleRateTempoAndSignature) {
    ProjectWriteInput in;
    in.sample_rate = 44100;
    in.tempo = 97.5;
    MeterChange three_four;
    three_four.numerator = 3;
    in.session_settings.meters = {three_four};
    std::string text = project_text(in);
    EXPECT_TRUE(has_line(text, "  SAMPLERATE 44100 0 0"));
    EXPECT_TRUE(has_line(text, "  TEMPO 97.5 3 4"));

    in.sample_rate = 0;  // the library reported none
    EXPECT_TRUE(has_line(project_text(in), "  SAMPLERATE 48000 0 0"));
}

// Frame-rate code, start, and the 0x204d values: the timecode lines and what the console keeps.
TEST_F(WriterProject, TimecodeLines) {
    // A fractional rate REAPER has no preset for is written in REAPER's fractional form (the flag
    // 2 of its 23.976) beside the whole rate's preset: 47.952 and 59.94 as 48 and 60 with flag 2.
    // A rate of more frames than any preset runs at half as many; that ruler's rate is kept for
    // the summary.
    struct Case {
        const char* what;
        int code;
        std::uint32_t start;
        int found;
        std::uint32_t session_code;
        std::uint32_t full_rate_start;
        const char* lines;  // empty: neither line
        const char* label;
        bool drop;
        bool thirty_drop;
        const char* ruler_rate;
    } cases[] = {
        {"29.97 from 0", 3, 0, 0, 0xFFFFFFFF, 0,
         "  PROJOFFS 0.0000000000 0 0\n  TIMEMODE 1 4 -1 30 2 0 -1\n", "29.97", false, false, ""},
        {"30 from 0", 7, 0, 0, 0xFFFFFFFF, 0, "", "30", false, false, ""},
        {"no block", -1, 0, 0, 0xFFFFFFFF, 0, "", "30", false, false, ""},
        {"30 drop from 0", 8, 0, 0, 0xFFFFFFFF, 0, "", "30 drop", true, true, ""},
        {"25 from one hour", 2, 90000, 0, 0xFFFFFFFF, 0,
         "  PROJOFFS 3600.0000000000 0 0\n  TIMEMODE 1 2 -1 25 0 0 -1\n", "25", false, false, ""},
        {"29.97 drop", 5, 108000, 0, 0xFFFFFFFF, 0,
         "  PROJOFFS 3603.6000000000 0 0\n  TIMEMODE 1 3 -1 30 1 0 -1\n", "29.97 drop", true, false,
         ""},
        {"48", 1, 0, 1, 16, 0, "  PROJOFFS 0.0000000000 0 0\n  TIMEMODE 1 7 -1 48 0 0 -1\n", "48",
         false, false, ""},
        {"47.952", 9, 0, 1, 15, 0, "  PROJOFFS 0.0000000000 0 0\n  TIMEMODE 1 7 -1 48 2 0 -1\n",
         "47.952", false, false, ""},
        {"59.94 from one hour", 3, 108000, 1, 11, 216000,
         "  PROJOFFS 3603.6000000000 0 0\n  TIMEMODE 1 9 -1 60 2 0 -1\n", "59.94", false, false,
         ""},
        {"59.94 drop", 5, 0, 1, 12, 0, "  PROJOFFS 0.0000000000 0 0\n  TIMEMODE 1 9 -1 60 2 0 -1\n",
         "59.94 drop", true, false, ""},
        {"119.88", 3, 0, 1, 18, 0, "  PROJOFFS 0.0000000000 0 0\n  TIMEMODE 1 9 -1 60 2 0 -1\n",
         "119.88", false, false, "59.94"},
        {"100 from one hour", 2, 90000, 1, 17, 360000,
         "  PROJOFFS 3600.0000000000 0 0\n  TIMEMODE 1 8 -1 50 0 0 -1\n", "100", false, false,
         "50"},
        {"120", 7, 0, 1, 20, 0, "  PROJOFFS 0.0000000000 0 0\n  TIMEMODE 1 9 -1 60 0 0 -1\n", "120",
         false, false, "60"},
        // The stored start at the full rate must agree with the base start, else no row.
        {"100, starts disagree", 2, 90000, 1, 17, 4,
         "  PROJOFFS 3600.0000000000 0 0\n  TIMEMODE 1 2 -1 25 0 0 -1\n", "25", false, false, ""},
        {"23.976", 9, 0, 0, 0xFFFFFFFF, 0,
         "  PROJOFFS 0.0000000000 0 0\n  TIMEMODE 1 0 -1 24 2 0 -1\n", "23.976", false, false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        reset_conversion_state(ConvertOptions{});
        ProjectWriteInput in;
        in.session_settings.timecode_code = c.code;
        in.session_settings.timecode_start = c.start;
        in.session_settings.time_values_found = c.found;
        in.session_settings.session_timecode_code = c.session_code;
        in.session_settings.start_frames_full_rate = c.full_rate_start;
        const std::string text = project_text(in);
        const std::size_t at = text.find("  PLAYRATE 1 0 0.25 4\n") + 22;
        const std::size_t end = text.find("  <RECORD_CFG\n");
        EXPECT_EQ(text.substr(at, end - at), c.lines);
        EXPECT_EQ(writer_summary.timecode_written, c.lines[0] != '\0');
        EXPECT_EQ(settings.timecode_rate_text, c.label);
        EXPECT_EQ(writer_summary.drop_frame, c.drop);
        EXPECT_EQ(writer_summary.thirty_drop, c.thirty_drop);
        EXPECT_EQ(writer_summary.ruler_rate, c.ruler_rate);
    }
}

TEST_F(WriterProject, TimecodeTwinAndLongLabels) {
    ProjectSettingsRead read;
    read.timecode_code = 8;
    read.time_values_found = 1;
    read.session_timecode_code = 14;  // 60 drop
    read.timecode_start = 5;
    read.start_frames_full_rate = 11;  // 11 / 2 = 5
    TimecodeChoice tc = choose_timecode(read);
    EXPECT_EQ(tc.label, "60 drop");
    EXPECT_EQ(tc.long_label, "60 fps drop frame");
    EXPECT_EQ(tc.twin_label, "60");
    EXPECT_EQ(tc.fps, 60);
    EXPECT_EQ(tc.flag, 0);
    EXPECT_TRUE(tc.thirty_drop);
    EXPECT_DOUBLE_EQ(tc.offset_seconds, 11.0 / 60.0);
}

TEST_F(WriterProject, RecordFormat) {
    struct Case {
        int bits, is_float, format;
        const char* block;
        int kept_bits, kept_float;
    } cases[] = {
        {16, 0, 3, "  <RECORD_CFG\n    ZXZhdxAAAQ==\n  >\n", 16, 0},
        {24, 0, 3, "  <RECORD_CFG\n  >\n", 24, 0},
        {32, 1, 3, "  <RECORD_CFG\n    ZXZhdyAAAQ==\n  >\n", 32, 1},
        {16, 0, 4, "  <RECORD_CFG\n  >\n", 16, 0},  // AIFF keeps REAPER's default
        {-1, 0, 0, "  <RECORD_CFG\n  >\n", 24, 0},  // unknown: the reset's depth stays
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bits);
        reset_conversion_state(ConvertOptions{});
        ProjectWriteInput in;
        in.session_settings.bit_depth = c.bits;
        in.session_settings.bit_float = c.is_float;
        in.session_settings.file_format = c.format;
        const std::string text = project_text(in);
        EXPECT_NE(text.find("  AUTOXFADE 1\n"), std::string::npos);
        EXPECT_NE(text.find(std::string(c.block) + "  <APPLYFX_CFG\n"), std::string::npos);
        EXPECT_EQ(settings.bit_depth, c.kept_bits);
        EXPECT_EQ(writer_summary.record_float, c.kept_float);
        EXPECT_EQ(writer_summary.aiff_session, c.format == 4);
    }
}

TEST_F(WriterProject, PanLawAndGrid) {
    struct PanCase {
        int depth;
        const char* line;
    } pans[] = {{1, "  PANLAW 0.7498942093"}, {2, "  PANLAW 0.7079457844"},
                {3, "  PANLAW 0.5956621435"}, {4, "  PANLAW 0.5011872336"},
                {0, "  PANLAW 0.7079457844"}, {-1, "  PANLAW 0.7079457844"}};
    for (const PanCase& p : pans) {
        ProjectWriteInput in;
        in.session_settings.pan_depth = p.depth;
        EXPECT_TRUE(has_line(project_text(in), p.line)) << p.depth;
    }

    struct GridCase {
        BarsBeatsTicks grid;
        std::uint32_t numerator;
        const char* line;  // null: no GRID line
    } grids[] = {
        {{0, 1, 0}, 4, "  GRID 3199 8 1 8 1 0 0 0"},
        {{1, 0, 0}, 3, "  GRID 3199 8 3 8 1 0 0 0"},
        {{0, 0, 480}, 4, "  GRID 3199 8 0.5 8 1 0 0 0"},
        {{0, 0, 320}, 4, "  GRID 3199 8 0.33333333333333 8 1 0 0 0"},
        {{0, 0, 0}, 4, nullptr},
        {{300, 0, 0}, 4, nullptr},  // 1200 quarter notes is no grid
    };
    for (const GridCase& g : grids) {
        reset_conversion_state(ConvertOptions{});
        ProjectWriteInput in;
        in.session_settings.grid_found = 1;
        in.session_settings.grid = g.grid;
        in.session_settings.nudge = {0, 0, 240};
        MeterChange meter;
        meter.numerator = g.numerator;
        in.session_settings.meters = {meter};
        const std::string text = project_text(in);
        if (g.line) {
            // GRID follows PANLAW, before the master's volume.
            EXPECT_NE(
                text.find("  PANLAW 0.7079457844\n" + std::string(g.line) + "\n  MASTER_VOLUME"),
                std::string::npos)
                << text;
        } else {
            EXPECT_EQ(text.find("GRID"), std::string::npos);
        }
        EXPECT_EQ(writer_summary.grid_set, g.line != nullptr);
        EXPECT_EQ(writer_summary.nudge.ticks, 240u);
    }
    ProjectWriteInput no_grid;
    no_grid.session_settings.grid = {0, 1, 0};  // read but not found as a pair
    EXPECT_EQ(project_text(no_grid).find("GRID"), std::string::npos);
}

TrackLaneSet master_lanes(double fader_db, bool muted) {
    TrackLaneSet l;
    l.name = "Master 1";
    l.assigned = 1;
    l.fader_db = fader_db;
    l.muted = muted;
    return l;
}

TEST_F(WriterProject, MasterWithVolumeLaneParksTheFader) {
    std::vector<TrackLaneSet> lanes = {master_lanes(-6.0, false)};
    lanes[0].volume.initial_value = -60;
    lanes[0].volume.points = {{48000, 0}};
    ProjectWriteInput in;
    in.master_fader_name = "Master 1";
    in.lane_sets = lanes;
    int master_fx_calls = 0;
    in.hooks.write_master_fx_chain = [&](std::FILE*) { return ++master_fx_calls, 2; };
    const std::string text = project_text(in);
    EXPECT_NE(text.find("  MASTERMUTESOLO 0\n"
                        "  MASTER_NCH 2 2\n"
                        "  PANLAW 0.7079457844\n"
                        "  MASTER_VOLUME 1.000000000 0.000000 -1 -1.000000 1.000000\n"
                        "  MASTER_PANMODE 3\n"
                        "  MASTERAUTOMODE 1\n"
                        "  <MASTERVOLENV2\n"
                        "    ACT 1 -1\n"
                        "    VIS 1 1 1\n"
                        "    LANEHEIGHT 0 0\n"
                        "    ARM 0\n"
                        "    DEFSHAPE 0 -1 -1\n"
                        "    PT 0.0000000000 0.501187234 0\n"
                        "    PT 1.0000000000 1.000000000 0\n"
                        "  >\n"
                        ">\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(writer_summary.master_volume_automated, 1);
    EXPECT_EQ(writer_summary.master_envelope_points, 1);
    EXPECT_EQ(writer_summary.master_fx_slots, 2);
    EXPECT_EQ(master_fx_calls, 1);
}

TEST_F(WriterProject, MasterFaderMuteAndLastLaneSet) {
    std::vector<TrackLaneSet> lanes = {master_lanes(-20.0, false), master_lanes(-6.0, true),
                                       master_lanes(-1.0, false)};
    lanes[2].assigned = 0;  // not a master lane set
    lanes[1].mute.points = {{0, 1}};
    ProjectWriteInput in;
    in.master_fader_name = "Master 1";
    in.lane_sets = lanes;
    const std::string text = project_text(in);
    EXPECT_TRUE(has_line(text, "  MASTERMUTESOLO 1"));
    EXPECT_TRUE(has_line(text, "  MASTER_VOLUME 0.501187234 0.000000 -1 -1.000000 1.000000"));
    EXPECT_TRUE(has_line(text, "  MASTERAUTOMODE 1"));
    EXPECT_NE(text.find("  <MASTERMUTEENV\n"), std::string::npos);
    EXPECT_EQ(writer_summary.master_volume_automated, 0);

    // Without a master fader name nothing is a master lane set.
    in.master_fader_name.clear();
    EXPECT_TRUE(has_line(project_text(in), "  MASTERMUTESOLO 0"));
}

TEST_F(WriterProject, ProjectNotes) {
    std::vector<TrackComment> comments = {
        {"Vox", "Take 3 is best\r\nwatch the ending"},
        {"Empty", ""},
        {"Line\nbreak", ">\nend"},
    };
    ProjectWriteInput in;
    in.comments = comments;
    const std::string text = project_text(in);
    EXPECT_NE(text.find("<REAPER_PROJECT 0.1 \"7.0\" 0\n"
                        "  <NOTES 0 2\n"
                        "    |Vox: Take 3 is best\n"
                        "    |    watch the ending\n"
                        "    |Line break:  >\n"
                        "    |    end\n"
                        "  >\n"
                        "  RIPPLE 0\n"),
              std::string::npos)
        << text;

    for (CommentsMode mode : {CommentsMode::item, CommentsMode::none}) {
        in.comments_mode = mode;
        EXPECT_EQ(project_text(in).find("NOTES"), std::string::npos);
    }
    in.comments_mode = CommentsMode::project;
    in.comments = {};
    EXPECT_EQ(project_text(in).find("NOTES"), std::string::npos);
}

TEST_F(WriterProject, ClickTrackForTheConsole) {
    auto plugin = [](const char* id, bool bypassed = false) {
        SessionPluginInstance p;
        p.aax_id = id;
        p.bypassed = bypassed;
        return p;
    };
    std::map<std::string, std::vector<SessionPluginInstance>> plugins = {
        {"A Click", {plugin("DigiclikClk2", true)}},  // bypassed
        {"B Click", {plugin("DigiclikClk2")}},        // muted
        {"C Click", {plugin("DigiclikClk2")}},        // only an [alt takes] track
        {"D Click", {plugin("EQ3"), plugin("DigiclikClk2")}},
        {"E Click", {plugin("DigiclikClk2")}},
    };
    std::vector<TrackLaneSet> lanes(1);
    lanes[0].name = "B Click";
    lanes[0].muted = 1;
    std::vector<OutputTrack> tracks(4);
    tracks[0].name = "B Click";
    tracks[1].name = "C Click [alt takes]";
    tracks[1].session_name = "C Click";
    tracks[1].alternate = AlternateKind::takes;
    tracks[2].name = "D Click";
    tracks[3].name = "E Click";
    EXPECT_EQ(find_click_track(1, plugins, lanes, tracks), "D Click");
    EXPECT_EQ(find_click_track(0, plugins, lanes, tracks), "");
    tracks[2].inactive = 1;
    EXPECT_EQ(find_click_track(1, plugins, lanes, tracks), "E Click");

    ProjectWriteInput in;
    in.session_settings.click_enabled = 1;
    in.plugins_by_track = &plugins;
    in.lane_sets = lanes;
    in.tracks = tracks;
    project_text(in);
    EXPECT_EQ(writer_summary.click_track_name, "E Click");
}

// The whole order: header, settings, tempo and markers, master, tracks, what follows the tracks.
TEST_F(WriterProject, TracksFollowTheMasterInOrder) {
    std::vector<OutputTrack> tracks(2);
    tracks[0].name = "One";
    tracks[1].name = "Two";
    ProjectWriteInput in;
    in.tracks = tracks;
    in.hooks.write_tempo_and_markers = [](std::FILE* f) { std::fputs("  MARKER_SITE\n", f); };
    in.hooks.write_after_tracks = [](std::FILE* f) { std::fputs("  AFTER_TRACKS\n", f); };
    in.hooks.track.write_track_items = [](std::FILE* f, std::int32_t i) {
        std::fprintf(f, "    ITEMS_OF %d\n", i);
    };
    const std::string text = project_text(in);
    const std::size_t marker = text.find("MARKER_SITE");
    const std::size_t master = text.find("MASTERMUTESOLO");
    const std::size_t one = text.find("NAME \"One\"");
    const std::size_t two = text.find("NAME \"Two\"");
    const std::size_t after = text.find("AFTER_TRACKS");
    EXPECT_LT(marker, master);
    EXPECT_LT(master, one);
    EXPECT_LT(one, two);
    EXPECT_LT(two, after);
    EXPECT_NE(text.find("    ITEMS_OF 1\n  >\n  AFTER_TRACKS\n>\n"), std::string::npos);
    EXPECT_NE(text.find("  <TRACK " + guid_from_seed(2) + "\n    NAME \"Two\""), std::string::npos);
}

// Real sessions: their own settings give a project that parses, at their rate, depth, timecode
// and edit grid. Pro Tools' default session start, 01:00:00:00, is one hour of project offset.
TEST_F(WriterProject, RealSessionSettings) {
    const std::string one_hour_30 = "  PROJOFFS 3600.0000000000 0 0\n  TIMEMODE 1 5 -1 30 0 0 -1\n";
    struct Case {
        const char* name;
        const char* rate_line;
        std::string timecode;  // the text between PLAYRATE and RECORD_CFG
        const char* record_cfg;
        const char* grid_line;
    } cases[] = {
        {"RegionTest.ptx", "  SAMPLERATE 44100 0 0", "", "  <RECORD_CFG\n  >\n",
         "  GRID 3199 8 1 8 1 0 0 0"},
        {"TestPTX.ptx", "  SAMPLERATE 48000 0 0",
         "  PROJOFFS 0.0000000000 0 0\n  TIMEMODE 1 0 -1 24 2 0 -1\n", "  <RECORD_CFG\n  >\n",
         "  GRID 3199 8 4 8 1 0 0 0"},
        {"Untitled32.ptx", "  SAMPLERATE 44100 0 0", one_hour_30,
         "  <RECORD_CFG\n    ZXZhdyAAAQ==\n  >\n", "  GRID 3199 8 0.25 8 1 0 0 0"},
        {"MetadataFields.ptx", "  SAMPLERATE 44100 0 0", one_hour_30, "  <RECORD_CFG\n  >\n",
         "  GRID 3199 8 0.25 8 1 0 0 0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        REQUIRE_SESSION(path, c.name);
        reset_conversion_state(ConvertOptions{});
        PTFFormat session;
        const std::int64_t rate = 48000;
        ASSERT_EQ(session.load(path, rate), 0);
        if (session.sample_rate() != rate) {
            ASSERT_EQ(session.load(path, session.sample_rate()), 0);
        }
        ProjectWriteInput in;
        in.sample_rate = session.sample_rate();
        in.session_settings = read_project_settings(session.bytes().data(), session.bytes().size());
        const std::string text = project_text(in);
        EXPECT_TRUE(has_line(text, c.rate_line));
        EXPECT_NE(text.find("  PLAYRATE 1 0 0.25 4\n" + c.timecode + c.record_cfg),
                  std::string::npos)
            << text;
        EXPECT_TRUE(has_line(text, "  TEMPO 120 4 4"));
        EXPECT_TRUE(has_line(text, c.grid_line));
    }
}

}  // namespace
