// The project text against REAPER's own: every statement the writers produce, from the real
// sessions and from one synthetic project that carries the lines the real sessions do not
// (receives, envelopes, fades, clip gain, lanes, timecode, tempo and markers), is held against
// the projects REAPER saved (../shared/reaper-ref) by its reaper_shapes.py. Skipped, saying so,
// without python3 or that folder.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "convert/writer/item_writer.h"
#include "convert/writer/tempo_markers.h"
#include "tests/test_support.h"
#include "tests/writer_test_support.h"

namespace {

namespace fs = std::filesystem;
using test_support::TempDir;

const fs::path kReferenceDir = LANWICK_REAPER_REF_DIR;

std::string quoted(const std::string& path) {
    std::string out = "'";
    for (char c : path) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

bool python_available() {
    return std::system("command -v python3 >/dev/null 2>&1") == 0;
}

// Each report of reaper_shapes.py: "file:line: message" and the example lines under it.
std::vector<std::string> shape_reports(const std::vector<std::string>& projects,
                                       const TempDir& dir) {
    std::string command = "python3 " + quoted((kReferenceDir / "reaper_shapes.py").string()) + "";
    for (const std::string& p : projects) command += " " + quoted(p);
    const std::string out = dir.file("shapes.txt");
    EXPECT_NE(std::system((command + " > " + quoted(out) + " 2>&1").c_str()), -1);
    std::vector<std::string> reports;
    std::istringstream lines(test_support::read_file(out));
    for (std::string line; std::getline(lines, line);) {
        if (line.starts_with("    ") && !reports.empty()) {
            reports.back() += "\n" + line;
        } else if (line.find(".rpp:") != std::string::npos) {
            reports.push_back(line);
        }
    }
    return reports;
}

// Differences judged harmless, by what the report says: REAPER reads each of them as meant.
bool judged_harmless(const std::string& report) {
    static const char* const kHarmless[] = {
        // A pan law other than 0 dB is a fraction; the corpus only holds the default 1.
        "REAPER_PROJECT PANLAW: token 1 is float",
        // Features the corpus does not use: mute, trim and post-FX dual-pan envelopes, send mute
        // envelopes, take envelopes and fixed lanes (REAPER 7 writes a name per lane).
        "REAPER_PROJECT/TRACK <MUTEENV: never in the corpus",
        "REAPER_PROJECT/TRACK <VOLENV3: never in the corpus",
        "REAPER_PROJECT/TRACK <DUALPANENVL2: never in the corpus",
        "REAPER_PROJECT/TRACK <DUALPANENV2: never in the corpus",
        "REAPER_PROJECT/TRACK <AUXMUTEENV: never in the corpus",
        "REAPER_PROJECT/TRACK/ITEM <VOLENV: never in the corpus",
        "REAPER_PROJECT/TRACK/ITEM/VOLENV ",
        "REAPER_PROJECT/TRACK LANESOLO: never in the corpus",
        "REAPER_PROJECT/TRACK LANENAME: ",
        // Fractions where the corpus's values happen to be whole: lane heights, a take's pan, a
        // receive's pan.
        "REAPER_PROJECT/TRACK/ITEM YPOS: token ",
        "REAPER_PROJECT/TRACK/ITEM VOLPAN: token 2 is float",
        "REAPER_PROJECT/TRACK AUXRECV: token 4 is float",
        // Stretch markers as position and source position; REAPER 7 adds two optional values.
        "REAPER_PROJECT/TRACK/ITEM SM: ",
    };
    for (const char* text : kHarmless)
        if (report.find(text) != std::string::npos) return true;
    return false;
}

// The forms REAPER reads otherwise than meant, none of which a project may hold: a receive's pan
// law other than the project's default, a frame-rate preset that contradicts the rate written, a
// take envelope before the take's source, pre-FX dual-pan envelopes, a fractional fade shape.
void expect_reaper_forms(const std::string& name, const std::string& text) {
    SCOPED_TRACE(name);
    EXPECT_EQ(text.find("31:U"), std::string::npos);
    EXPECT_EQ(text.find("DUALPANENVL "), std::string::npos);
    EXPECT_EQ(text.find("<DUALPANENVL\n"), std::string::npos);
    EXPECT_EQ(text.find("<DUALPANENV\n"), std::string::npos);
    const std::size_t timemode = text.find("  TIMEMODE 1 5 -1 ");
    if (timemode != std::string::npos) {
        EXPECT_EQ(text.compare(timemode, 23, "  TIMEMODE 1 5 -1 30 0 "), 0);
    }
    // Forms REAPER writes otherwise: a receive envelope's tag with an index, SHOWINMIX of 9
    // values, a video track's MIDIOUT of 2, CLAP's CFG 4, a signature point flagged 3, PINFLAGS
    // after FXID.
    for (const char* form : {"<AUXVOLENV ", "<AUXMUTEENV ",
                             "SHOWINMIX 0 0.6667 0.5 0 0.5 0 0 0 0\n", "MIDIOUT -1 -1\n", "CFG 4 "})
        EXPECT_EQ(text.find(form), std::string::npos) << form;
    const std::size_t tempo = text.find("  <TEMPOENVEX\n");
    std::istringstream lines(
        tempo == std::string::npos ? "" : text.substr(tempo, text.find("\n  >\n", tempo) - tempo));
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::vector<std::string> tokens;
        for (std::string word; words >> word;) tokens.push_back(word);
        if (tokens.size() == 7) {
            EXPECT_EQ(tokens[6], "1") << "a signature point's flag: " << line;
        }
    }
    for (std::size_t at = text.find("PINFLAGS 1\n"); at != std::string::npos;
         at = text.find("PINFLAGS 1\n", at + 1)) {
        const std::size_t line = text.rfind('\n', at - 1);
        const std::size_t before = text.rfind('\n', line - 1);
        EXPECT_EQ(text.substr(before + 1, line - before - 1).find_first_not_of(' '),
                  text.substr(before + 1, line - before - 1).find('>'))
            << "PINFLAGS not right after its block";
    }
    for (const char* fade : {"FADEIN 5.1 ", "FADEOUT 5.1 "})
        EXPECT_EQ(text.find(fade), std::string::npos);
    for (std::size_t at = text.find("      <VOLENV\n"); at != std::string::npos;
         at = text.find("      <VOLENV\n", at + 1)) {
        const std::size_t item = text.rfind("    <ITEM\n", at);
        const std::size_t source = text.find("      <SOURCE ", item);
        EXPECT_LT(source, at) << "a take envelope before its source";
    }
}

AutomationCurve curve(double initial, std::vector<std::pair<double, double>> points) {
    AutomationCurve c;
    c.initial_value = initial;
    for (const auto& [time, value] : points) c.points.push_back({time, value});
    return c;
}

ClipRecord clip(const std::string& name, double start) {
    ClipRecord c;
    c.name = name;
    c.file_name = name + ".wav";
    c.start = start;
    c.length = 4.0;
    return c;
}

// One project with every kind of line the writers can produce today.
std::string synthetic_project() {
    reset_conversion_state(ConvertOptions{});
    settings.sample_rate = 48000.0;
    settings.audio_folder = "/sessions/Song/Audio Files";

    std::vector<OutputTrack> tracks(3);
    tracks[0].name = tracks[0].session_name = "Gtr";
    tracks[1].name = tracks[1].session_name = "Keys";
    tracks[2].name = tracks[2].session_name = "Bus";

    ClipRecord faded = clip("Gtr take", 1.0);
    faded.fade_in_length = 0.5;
    faded.fade_in_shape = 1;
    faded.fade_out_length = 0.25;
    faded.fade_out_shape = 5;  // the S-curve
    faded.colour_index = 25;
    faded.locked = 1;
    faded.rare.edit().snap_offset = 0.5;
    faded.rare.edit().has_gain = 1;
    faded.rare.edit().gain_db = -3.0;
    faded.rare.edit().pan = 0.5;
    faded.rare.edit().gain_points = {{0.0, 0.0}, {96000.0, -6.0}};
    ClipRecord stretched = clip("Gtr take 2", 6.0);
    stretched.rare.edit().stretch_markers = {{0.0, 0.0}, {1.0, 1.5}, {4.0, 4.0}};
    tracks[0].clips = {faded, stretched};
    tracks[0].lanes.push_back({"Gtr.2", {clip("Gtr alt", 1.0)}});

    std::vector<TrackLaneSet> lanes(2);
    lanes[0].name = "Gtr";
    lanes[0].assigned = 1;
    lanes[0].volume = curve(0, {{48000, -60}});
    lanes[0].mute = curve(0, {{96000, 1}});
    lanes[0].pan = curve(0, {{48000, 50}});
    lanes[0].trim = curve(0, {{48000, 30}});
    lanes[1].name = "Keys";
    lanes[1].assigned = 1;
    lanes[1].stereo_pan = 1;
    lanes[1].list_count = 5;
    lanes[1].dual_pan_points = 2;
    lanes[1].pan_left_lane = curve(-100, {{48000, -50}});
    lanes[1].pan_right_curve = curve(100, {{48000, 50}});

    ProjectWriteInput in;
    in.tracks = tracks;
    in.lane_sets = lanes;
    in.session_settings.timecode_code = 9;  // 23.976
    in.session_settings.meters = {{0, 0, 4, 4, 0}, {4 * 960000.0 * 2, 0, 3, 4, 0}};
    in.track_inputs.resize(3);
    in.track_inputs[0].timebase = 2;
    TrackWriteInput& bus = in.track_inputs[2];
    bus.receives_keys = 1;
    bus.first_key_source = 0;
    bus.key_sources = {1};
    bus.routed_sources = {{1, 2}};
    bus.feeding_sources = {{0, 4}};
    bus.channel_count = 6;
    SessionSend send;
    send.source_index = 0;
    send.gain_db = -6.0;
    send.pan = -0.25;
    send.volume = curve(0, {{48000, -100}});
    send.mute = curve(0, {{96000, 1}});
    in.receives["Bus"] = {send};

    static const TempoMap tempo{{{0, 120.0}, {4 * 960000.0 * 4, 90.0}}};
    static const std::vector<MemoryLocation> locations = [] {
        MemoryLocation marker;
        marker.name = "Chorus";
        marker.kind = LocationKind::marker;
        marker.stored_kind = 1;
        marker.start = 960000.0 * 8;
        marker.palette_index = 30;
        MemoryLocation region = marker;
        region.name = "Bridge";
        region.kind = LocationKind::range;
        region.stored_kind = 2;
        region.end = 960000.0 * 16;
        return std::vector<MemoryLocation>{marker, region};
    }();
    const std::vector<MeterChange> meters = in.session_settings.meters;
    in.hooks.write_tempo_and_markers = [&](std::FILE* file) {
        write_tempo_and_markers(file,
                                TempoMarkersInput{tempo, meters, 120.0, locations, 48000.0, false});
    };
    ItemWriteContext items;
    in.hooks.track.write_track_items = [&](std::FILE* file, std::int32_t index) {
        const OutputTrack& track = tracks[static_cast<std::size_t>(index)];
        write_track_items(file, track, track.name, ItemTrackInput{}, items);
    };
    const std::string text = writer_test::project_text(in);
    reset_conversion_state(ConvertOptions{});
    return text;
}

TEST(ReaperShapes, WrittenLinesHaveTheShapesReaperWrites) {
    if (!python_available()) GTEST_SKIP() << "python3 not found; skipped";
    if (!fs::exists(kReferenceDir / "reaper_shapes.py"))
        GTEST_SKIP() << "no " << (kReferenceDir / "reaper_shapes.py").string() << "; skipped";
    TempDir dir;
    std::vector<std::string> projects;
    for (const char* name :
         {"RegionTest.ptx", "TestPTX.ptx", "Untitled32.ptx", "MetadataFields.ptx"}) {
        const std::string session = test_support::real_session(name);
        if (session.empty()) continue;
        const std::string project = dir.file(std::string(name) + ".rpp");
        const auto r = test_support::run_lanwick({session, "-o", project, "--no-pause"});
        ASSERT_EQ(r.exit_code, 0) << name << "\n" << r.out;
        projects.push_back(project);
    }
    const std::string synthetic = dir.file("synthetic.rpp");
    test_support::write_file(synthetic, synthetic_project());
    projects.push_back(synthetic);

    for (const std::string& project : projects)
        expect_reaper_forms(project, test_support::read_file(project));
    std::vector<std::string> reports = shape_reports(projects, dir);
    std::string unexpected;
    for (const std::string& report : reports)
        if (!judged_harmless(report)) unexpected += report + "\n";
    EXPECT_EQ(unexpected, "");
}

}  // namespace
