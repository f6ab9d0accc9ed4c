// The built program on whole sessions: the real sessions beside the checkout (skipped, saying
// so, when they are absent) and small synthetic sessions, checked through the project text, the
// console and the exit code.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <future>
#include <set>
#include <string>
#include <vector>

#include "platform/ptformat.h"
#include "tests/midi_builder.h"
#include "tests/mix_session.h"
#include "tests/plugin_blocks.h"
#include "tests/rpp_grammar.h"
#include "tests/tempo_blocks.h"
#include "tests/test_support.h"
#include "tests/walk_builder.h"
#include "util/utf8_text.h"

namespace {

std::size_t count_of(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

namespace fs = std::filesystem;
using test_support::read_file;
using test_support::run_lanwick;
using test_support::TempDir;

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

void expect_valid_project(const std::string& text) {
    const rpp_grammar::Result r = rpp_grammar::check_project(text);
    EXPECT_TRUE(r.ok) << "line " << r.line << ": " << r.message;
}

// Runs the program with `dir` as its current folder.
test_support::RunResult run_in(const TempDir& dir, const std::vector<std::string>& args) {
    test_support::RunSetup setup;
    setup.current_dir = dir.path().string();
    return run_lanwick(args, setup);
}

// What a project's items say, one row per item in the order written.
struct ItemRow {
    std::string track;
    std::string position, length, offset, file;
    bool operator==(const ItemRow&) const = default;
};

std::string value_after(const std::string& block, const std::string& key) {
    const std::size_t at = block.find("\n" + key + " ");
    if (at == std::string::npos) return {};
    const std::size_t start = at + key.size() + 2;
    return block.substr(start, block.find('\n', start) - start);
}

std::vector<ItemRow> items_of(const std::string& project) {
    std::vector<ItemRow> rows;
    std::string track;
    std::size_t at = 0;
    while (true) {
        const std::size_t next_track = project.find("\n  <TRACK ", at);
        const std::size_t next_item = project.find("\n    <ITEM\n", at);
        if (next_item == std::string::npos) break;
        if (next_track != std::string::npos && next_track < next_item) {
            track = value_after(project.substr(next_track, 200), "    NAME");
            at = next_track + 1;
            continue;
        }
        const std::size_t end = project.find("\n    >\n", next_item);
        const std::string block = project.substr(next_item, end - next_item);
        rows.push_back({track, value_after(block, "      POSITION"),
                        value_after(block, "      LENGTH"), value_after(block, "      SOFFS"),
                        value_after(block, "        FILE")});
        at = end;
    }
    return rows;
}

std::string seconds(std::int64_t samples, double rate) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.10f", static_cast<double>(samples) / rate);
    return buffer;
}

// The FILE value the program writes for a session's audio file. A session named by an absolute
// path keeps that path (normalised); one named relative to the current folder is found from the
// folder the system reports, where every link is already resolved.
std::string sessions_audio_file(const std::string& name, bool named_relative = false) {
    const fs::path given = LANWICK_SESSIONS_DIR;
    const fs::path folder =
        named_relative ? fs::weakly_canonical(given) : fs::absolute(given).lexically_normal();
    return "\"" + (folder / "Audio Files" / name).string() + "\"";
}

// --- Real sessions ---------------------------------------------------------------------------

// Named by a relative path, as a user types it: the items still point at the session's audio
// folder, by absolute paths that hold from the project's own folder.
TEST(EndToEndReal, RegionTestItemsMatchThePlacements) {
    REQUIRE_SESSION(path, "RegionTest.ptx");
    TempDir dir;
    const std::string relative = fs::relative(path, dir.path()).string();
    const auto r = run_in(dir, {relative, "-o", "OUT.rpp", "--no-pause"});
    ASSERT_EQ(r.exit_code, 0) << r.out;
    const std::string project = read_file(dir.file("OUT.rpp"));
    expect_valid_project(project);

    const double rate = 44100.0;
    const std::string file = sessions_audio_file("region_name_WAV.wav", true);
    auto row = [&](const char* track, std::int64_t at, std::int64_t length, std::int64_t offset) {
        return ItemRow{"\"" + std::string(track) + "\"", seconds(at, rate), seconds(length, rate),
                       seconds(offset, rate), file};
    };
    const std::vector<ItemRow> expected = {
        row("Track_Name", 0, 2650000, 0),
        row("Audio 1", 0, 2650000, 0),
        row("Audio 1", 2650000, 1290000, 950000),
        row("Audio 2", 0, 2650000, 0),
        row("Audio 2", 0, 2650000, 0),
        row("Audio 3", 950000, 1290000, 950000),
        row("Audio 3", 950000, 1290000, 950000),
    };
    EXPECT_EQ(items_of(project), expected);

    // Audio 2 and Audio 3 are each one stereo track again: left leg first, panned apart.
    EXPECT_EQ(count_of(project, "\n  <TRACK "), 4u);
    for (const char* track : {"Audio 2", "Audio 3"}) {
        const std::size_t at = project.find(std::string("\n    NAME \"") + track + "\"\n");
        ASSERT_NE(at, std::string::npos) << track;
        const std::string block = project.substr(at, project.find("\n  >\n", at) - at);
        const std::size_t left = block.find("\n      VOLPAN 1.000000000 -1 1 -1\n");
        const std::size_t right = block.find("\n      VOLPAN 1.000000000 1 1 -1\n");
        EXPECT_NE(left, std::string::npos) << track;
        EXPECT_NE(right, std::string::npos) << track;
        EXPECT_LT(left, right) << track;
    }
    EXPECT_TRUE(has(r.out, "\n  4 tracks, 7 clips, 0 MIDI notes\n")) << r.out;
    EXPECT_TRUE(has(r.out, "\n  2 Pro Tools stereo track(s) merged from split mono\n")) << r.out;
    EXPECT_TRUE(has(r.out,
                    "  WARNING: 1 referenced audio file(s) are not in \"Audio Files\" or beside "
                    "it:\n      region_name_WAV.wav\n"));
    EXPECT_TRUE(has(r.out, "  Wrote: OUT.rpp\n"));
}

TEST(EndToEndReal, TestPtxMonoAndStereoTones) {
    REQUIRE_SESSION(path, "TestPTX.ptx");
    TempDir dir;
    const auto r = run_lanwick({path, "-o", dir.file("t.rpp"), "--no-pause"});
    ASSERT_EQ(r.exit_code, 0) << r.out;
    const std::string project = read_file(dir.file("t.rpp"));
    expect_valid_project(project);
    const std::string ten = "10.0000000000", zero = "0.0000000000";
    const std::vector<ItemRow> expected = {
        {"\"monoTone\"", zero, ten, zero, sessions_audio_file("monoTone.1.aif")},
        {"\"stereoTone\"", zero, ten, zero, sessions_audio_file("stereoTone.L.aif")},
        {"\"stereoTone\"", zero, ten, zero, sessions_audio_file("stereoTone.R.aif")},
        {"\"MIDI 1\"", zero, "2.0000000000", "", ""},
        {"\"MIDI 2\"", zero, "2.0000000000", "", ""},
        {"\"MIDI 3\"", zero, "6.0000000000", "", ""},
    };
    EXPECT_EQ(items_of(project), expected);
}

// The source lines of the MIDI item named `item`.
std::string midi_source_of(const std::string& project, const std::string& item) {
    const std::size_t at = project.find("\n      NAME \"" + item + "\"\n");
    if (at == std::string::npos) return {};
    const std::size_t source = project.find("      <SOURCE MIDI\n", at);
    const std::size_t end = project.find("\n      >\n", source);
    if (source == std::string::npos || end == std::string::npos) return {};
    return project.substr(source, end + 9 - source);
}

std::string note_pairs(const std::vector<std::pair<int, int>>& notes) {
    std::string out;
    char line[96];
    for (const auto& [delta, key] : notes) {
        std::snprintf(line, sizeof line, "        E %d 90 %02x 50\n        E 240 80 %02x 00\n",
                      delta, key, key);
        out += line;
    }
    return out;
}

TEST(EndToEndReal, TestPtxMidiTracksCarryTheirNotes) {
    REQUIRE_SESSION(path, "TestPTX.ptx");
    TempDir dir;
    const auto r = run_lanwick({path, "-o", dir.file("t.rpp"), "--no-pause", "--progress"});
    ASSERT_EQ(r.exit_code, 0) << r.out;
    const std::string project = read_file(dir.file("t.rpp"));
    const std::string head =
        "      <SOURCE MIDI\n        HASDATA 1 960 QN\n        E 0 b0 07 60\n"
        "        E 0 b0 0a 40\n";
    const std::string tail = "        E 1 b0 7b 00\n      >\n";
    std::vector<std::pair<int, int>> midi2;
    for (int i = 0; i < 16; ++i) midi2.push_back({0, i < 6 ? 0x30 : i < 11 ? 0x34 : 0x35});
    EXPECT_EQ(midi_source_of(project, "MIDI 1-01"), head +
                                                        note_pairs({{0, 0x40},
                                                                    {0, 0x40},
                                                                    {0, 0x40},
                                                                    {240, 0x3b},
                                                                    {0, 0x3b},
                                                                    {0, 0x3b},
                                                                    {240, 0x40},
                                                                    {0, 0x40},
                                                                    {0, 0x40}}) +
                                                        tail);
    EXPECT_EQ(midi_source_of(project, "MIDI 2-01"), head + note_pairs(midi2) + tail);
    EXPECT_EQ(midi_source_of(project, "MIDI 3-01"),
              head +
                  "        E 0 90 43 50\n        E 2160 80 43 00\n        E 240 90 49 50\n"
                  "        E 2880 80 49 00\n        E 240 90 40 50\n        E 3360 80 40 00\n"
                  "        E 0 90 44 50\n        E 720 80 44 00\n" +
                  tail);
    for (const char* track : {"MIDI 1", "MIDI 2", "MIDI 3"}) {
        const std::size_t at = project.find(std::string("\n    NAME \"") + track + "\"\n");
        ASSERT_NE(at, std::string::npos) << track;
        const std::string block = project.substr(at, project.find("\n  >\n", at) - at);
        EXPECT_TRUE(has(block, "\n    BEAT 1\n")) << track;
        EXPECT_TRUE(has(block, "\n      MUTE 0 0\n")) << track;
        EXPECT_TRUE(has(block, "\n      NAME \"" + std::string(track) + "-01\"\n")) << track;
    }
    // The MIDI tracks hold one item each and no audio track holds one.
    std::size_t sources = 0;
    for (std::size_t at = 0; (at = project.find("<SOURCE MIDI", at)) != std::string::npos; ++at)
        ++sources;
    EXPECT_EQ(sources, 3u);
    EXPECT_FALSE(has(r.out, "write MIDI clips yet"));
    EXPECT_TRUE(has(r.out, "\n  5 tracks, 3 clips, 29 MIDI notes\n")) << r.out;
    EXPECT_TRUE(has(r.out, "\n  1 Pro Tools stereo track(s) merged from split mono\n")) << r.out;
    // stereoTone's two legs are one track of two channels, left then right.
    EXPECT_EQ(count_of(project, "\n    NAME \"stereoTone\"\n"), 1u);
    {
        const std::size_t at = project.find("\n    NAME \"stereoTone\"\n");
        const std::string block = project.substr(at, project.find("\n  >\n", at) - at);
        EXPECT_TRUE(has(block, "\n    NCHAN 2\n"));
        const std::size_t left =
            block.find("NAME \"stereoTone.L\"\n      VOLPAN 1.000000000 -1 1 -1");
        const std::size_t right =
            block.find("NAME \"stereoTone.R\"\n      VOLPAN 1.000000000 1 1 -1");
        EXPECT_NE(left, std::string::npos);
        EXPECT_NE(right, std::string::npos);
        EXPECT_LT(left, right);
    }
    EXPECT_TRUE(
        has(r.out, "\n  3 MIDI/instrument track(s) carry their MIDI fader and pan as a CC 7\n"))
        << r.out;
    EXPECT_TRUE(has(r.err, "summary tracks=5 clips=3 notes=29 ")) << r.err;

    // A second run writes the same text.
    const auto again = run_lanwick({path, "-o", dir.file("u.rpp"), "--no-pause"});
    ASSERT_EQ(again.exit_code, 0);
    EXPECT_EQ(read_file(dir.file("u.rpp")), project);
}

TEST(EndToEndReal, EveryRealSessionConvertsIntoAValidProject) {
    struct Case {
        const char* name;
        const char* read_line;
        const char* counts;
    } cases[] = {
        {"RegionTest.ptx", "  Read:  Pro Tools 2019.6.0, 44100 Hz, 120 BPM\n",
         "  4 tracks, 7 clips, 0 MIDI notes\n"},
        {"TestPTX.ptx", "  Read:  Pro Tools HD 12.8.3, 48000 Hz, 120 BPM\n",
         "  5 tracks, 3 clips, 29 MIDI notes\n"},
        {"Untitled32.ptx", "  Read:  Pro Tools Ultimate 2021.2.0, 44100 Hz, 120 BPM\n",
         "  0 tracks, 0 clips, 0 MIDI notes\n"},
        {"MetadataFields.ptx", "  Read:  Pro Tools Ultimate 2021.10.0, 44100 Hz, 120 BPM\n",
         "  0 tracks, 0 clips, 0 MIDI notes\n"},
    };
    bool any = false;
    for (const Case& c : cases) {
        const std::string path = test_support::real_session(c.name);
        if (path.empty()) continue;
        any = true;
        TempDir dir;
        const auto r = run_lanwick({path, "-o", dir.file("p.rpp"), "--no-pause"});
        EXPECT_EQ(r.exit_code, 0) << c.name << "\n" << r.out;
        const std::string project = read_file(dir.file("p.rpp"));
        expect_valid_project(project);
        // Every real session here runs at a constant 120 BPM in 4/4 with no memory locations.
        EXPECT_FALSE(has(project, "TEMPOENVEX")) << c.name;
        EXPECT_FALSE(has(project, "MARKER")) << c.name;
        EXPECT_TRUE(has(r.out, c.read_line)) << c.name << "\n" << r.out;
        EXPECT_TRUE(has(r.out, c.counts)) << c.name << "\n" << r.out;
        // Nothing of the clip extras, and every track matches a strip row.
        for (const char* absent : {"TAKEFX", "matched no strip row", "Clip Effects", "loop",
                                   "ELASTIC", "transposed", "stretch "})
            EXPECT_FALSE(has(project + r.out, absent)) << c.name << ": " << absent;
        EXPECT_TRUE(has(r.out, "  Media folder written into every FILE line:\n")) << c.name;
        EXPECT_TRUE(r.out.ends_with("unless you send it\n      yourself.\n")) << c.name;
    }
    if (!any) GTEST_SKIP() << "no real session under " << LANWICK_SESSIONS_DIR << "; skipped";
}

TEST(EndToEndReal, ProgressSummaryAndCheck) {
    REQUIRE_SESSION(path, "RegionTest.ptx");
    TempDir dir;
    auto r = run_lanwick({path, "-o", dir.file("p.rpp"), "--no-pause", "--progress"});
    ASSERT_EQ(r.exit_code, 0);
    std::string expected_err =
        "progress 0/6 reading\nprogress 1/6 clips\nprogress 2/6 tracks\nprogress 3/6 writing\n";
    for (int i = 0; i < 4; ++i)
        expected_err += "progress 3/6 writing " + std::to_string(i) + "/4\n";
    expected_err +=
        "progress 4/6 media\nprogress 5/6 report\nprogress 6/6 done\n"
        "summary tracks=4 clips=7 notes=0 fx=0 written=0 needs_look=1\n";
    EXPECT_EQ(r.err, expected_err);

    // --check writes nothing and says so first and last.
    r = run_lanwick({path, "-o", dir.file("c.rpp"), "--no-pause", "--check"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_FALSE(fs::exists(dir.file("c.rpp")));
    EXPECT_TRUE(has(r.out, "  Not written (--check).\n"));
    EXPECT_TRUE(
        r.out.ends_with("\n  --check: nothing was written. The lines above are what a real\n"
                        "      conversion of this session would produce.\n"))
        << r.out;
}

// --- Synthetic sessions ----------------------------------------------------------------------

using namespace walk_blocks;

// A whole encrypted session at 48 kHz: version, rate, audio files, then the walk's blocks.
std::string encrypted_session(const std::vector<test_blocks::FileEntry>& files,
                              const std::string& walk) {
    using namespace test_blocks;
    std::vector<std::uint64_t> lengths(files.size(), 480000);
    const std::string plain =
        session_header() + lead_block() + version_block(12) +
        // Scheme 0x05 leaves the first 4096 bytes clear: the rest lies past them.
        z_block(0x7777, zeros(5000)) + rate_block(48000) +
        audio_files_block(static_cast<std::uint32_t>(files.size()), files, lengths) + walk;
    std::vector<std::uint8_t> bytes(plain.begin(), plain.end());
    EXPECT_TRUE(ptf_xor_crypt(bytes));
    return std::string(bytes.begin(), bytes.end());
}

// One track, "Drums", playing one clip of "Kick.wav"; `tail`, blocks after the placements.
void write_one_clip_session(const std::string& path, const std::string& tail = "") {
    const std::string walk =
        region_list({audio_region("Kick", 0, 48000, 0, 0)}) +
        track_list({track_entry("Drums", {0})}) +
        placement_tracks({placement_track("Drums", {audio_playlist({placement(0, 0)})})}) + tail;
    test_support::write_file(path, encrypted_session({{"Kick.wav", "EVAW"}}, walk));
}

// Every occurrence of `from` replaced by `to`.
std::string replaced(std::string text, const std::string& from, const std::string& to) {
    std::size_t at = text.find(from);
    while (at != std::string::npos) {
        text.replace(at, from.size(), to);
        at = text.find(from, at + to.size());
    }
    return text;
}

TEST(EndToEnd, SmallSessionGoldenProject) {
    TempDir dir;
    const fs::path song = dir.path() / "Song";
    fs::create_directories(song / "Audio Files");
    test_support::write_file((song / "Audio Files" / "Kick.wav").string(), "RIFF");
    const std::string walk =
        region_list(
            {audio_region("Kick", 0, 48000, 0, 0), audio_region("Snare-02", 24000, 96000, 0, 1)}) +
        track_list({track_entry("Drums", {0}), track_entry("Perc", {1})}) +
        placement_tracks(
            {placement_track("Drums", {audio_playlist({placement(0, 0), placement(0, 96000)})}),
             placement_track("Perc", {audio_playlist({placement(1, 48000)})})});
    const std::string session_path = (song / "Song.ptx").string();
    test_support::write_file(
        session_path, encrypted_session({{"Kick.wav", "EVAW"}, {"Snare.wav", "EVAW"}}, walk));

    const auto r = run_lanwick({session_path, "--no-pause"});
    ASSERT_EQ(r.exit_code, 0) << r.out;
    const std::string project = read_file((song / "Song.rpp").string());
    expect_valid_project(project);
    const std::string root = fs::absolute(dir.path()).lexically_normal().string();
    EXPECT_EQ(replaced(project, root, "<DIR>"), R"(<REAPER_PROJECT 0.1 "7.0" 0
  RIPPLE 0
  GROUPOVERRIDE 0 0 0
  AUTOXFADE 1
  SAMPLERATE 48000 0 0
  TEMPO 120 4 4
  PLAYRATE 1 0 0.25 4
  <RECORD_CFG
  >
  <APPLYFX_CFG
  >
  RENDER_FILE ""
  MASTERMUTESOLO 0
  MASTER_NCH 2 2
  PANLAW 0.7079457844
  MASTER_VOLUME 1.000000000 0.000000 -1 -1.000000 1.000000
  MASTER_PANMODE 3
  <TRACK {3C6EF36A-27F2-CA46-3B01-C6AE80CD33F2}
    NAME "Drums"
    PEAKCOL 16576
    BEAT 0
    AUTOMODE 0
    VOLPAN 1.000000 0 -1 -1.000000 1.000000
    MUTESOLO 0 0 0
    IPHASE 0
    ISBUS 0 0
    FREEMODE 0
    TRACKHEIGHT 0 0 0 0 0 0 0
    INQ 0 0 0 0.5 100 0 0 100
    NCHAN 2
    FX 1
    TRACKID {8ABD2A12-B9A6-C25E-F634-34660E2740BA}
    MAINSEND 1 0
    <ITEM
      POSITION 0.0000000000
      SNAPOFFS 0
      LENGTH 1.0000000000
      LOOP 0
      ALLTAKES 0
      FADEIN 0 0.0000000000 0 0 0 0 0
      FADEOUT 0 0.0000000000 0 0 0 0 0
      MUTE 0 0
      SOFFS 0.0000000000
      PLAYRATE 1.000000000 1 0.000000 -1 0 0.0025
      CHANMODE 0
      NAME "Kick"
      <SOURCE WAVE
        FILE "<DIR>/Song/Audio Files/Kick.wav"
      >
    >
    <ITEM
      POSITION 2.0000000000
      SNAPOFFS 0
      LENGTH 1.0000000000
      LOOP 0
      ALLTAKES 0
      FADEIN 0 0.0000000000 0 0 0 0 0
      FADEOUT 0 0.0000000000 0 0 0 0 0
      MUTE 0 0
      SOFFS 0.0000000000
      PLAYRATE 1.000000000 1 0.000000 -1 0 0.0025
      CHANMODE 0
      NAME "Kick"
      <SOURCE WAVE
        FILE "<DIR>/Song/Audio Files/Kick.wav"
      >
    >
  >
  <TRACK {DAA66D1B-243D-058D-D25A-28994F85E717}
    NAME "Perc"
    PEAKCOL 16576
    BEAT 0
    AUTOMODE 0
    VOLPAN 1.000000 0 -1 -1.000000 1.000000
    MUTESOLO 0 0 0
    IPHASE 0
    ISBUS 0 0
    FREEMODE 0
    TRACKHEIGHT 0 0 0 0 0 0 0
    INQ 0 0 0 0.5 100 0 0 100
    NCHAN 2
    FX 1
    TRACKID {28F4A3C3-B5F0-FDA5-8D8C-9651DCDFF3DF}
    MAINSEND 1 0
    <ITEM
      POSITION 1.0000000000
      SNAPOFFS 0
      LENGTH 2.0000000000
      LOOP 0
      ALLTAKES 0
      FADEIN 0 0.0000000000 0 0 0 0 0
      FADEOUT 0 0.0000000000 0 0 0 0 0
      MUTE 0 0
      SOFFS 0.5000000000
      PLAYRATE 1.000000000 1 0.000000 -1 0 0.0025
      CHANMODE 0
      NAME "Snare-02"
      <SOURCE WAVE
        FILE "<DIR>/Song/Audio Files/Snare.wav"
      >
    >
  >
>
)");
    EXPECT_TRUE(has(r.out, "  2 tracks, 3 clips, 0 MIDI notes\n"));
    EXPECT_TRUE(has(r.out, "      Snare.wav\n"));
    EXPECT_FALSE(has(r.out, "      Kick.wav\n"));
}

// Placements no item can carry: each named in the console, the project valid.
TEST(EndToEnd, BadPlacementsAreNamedAndLeftOut) {
    TempDir dir;
    const std::uint64_t day_and_more = 48000ULL * 90000;
    const std::string walk =
        region_list({audio_region("Good", 0, 48000, 0, 0), audio_region("Empty", 0, 0, 0, 0),
                     audio_region("Lost", 0, 48000, 0, 7)}) +
        track_list({track_entry("A", {0}), track_entry("B", {1})}) +
        placement_tracks(
            {placement_track(
                 "A", {audio_playlist({placement(0, 0), placement(1, 48000), placement(2, 96000),
                                       // A damaged region number.
                                       placement(0xFFFFFFF0, 144000)})}),
             placement_track("B", {audio_playlist({placement(0, 0), placement(0, 48000),
                                                   placement(0, day_and_more)})})});
    const std::string session_path = dir.file("Bad.ptx");
    test_support::write_file(session_path, encrypted_session({{"Good.wav", "EVAW"}}, walk));

    const auto r = run_lanwick({session_path, "-o", dir.file("Bad.rpp"), "--no-pause"});
    ASSERT_EQ(r.exit_code, 0) << r.out;
    expect_valid_project(read_file(dir.file("Bad.rpp")));
    EXPECT_TRUE(has(r.out, "  2 tracks, 3 clips, 0 MIDI notes\n")) << r.out;
    EXPECT_TRUE(has(r.out,
                    "than a day or unreadable) and were left out:\n      \"Empty\" on "
                    "\"A\"\n"))
        << r.out;
    EXPECT_TRUE(has(r.out, "left out as misread placements:\n      \"Good\" on \"B\"\n")) << r.out;
    EXPECT_TRUE(has(r.out, "audio file at all) and were left out:\n      \"Lost\" on \"A\"\n"))
        << r.out;
    EXPECT_TRUE(has(r.out, "could not be placed:\n      region 4294967280 on \"A\"\n")) << r.out;
    // Every placement read is written or named: the clip balance holds.
    EXPECT_FALSE(has(r.out, "fault of this build")) << r.out;
}

// --want-params replaces its file with the plug-ins wanted (none yet: an empty file), but not
// under --check; a file that cannot be created leaves the conversion as it was.
TEST(EndToEnd, WantParamsFile) {
    TempDir dir;
    const std::string session_path = dir.file("Song.ptx");
    write_one_clip_session(session_path);
    const std::string want = dir.file("want.txt");
    test_support::write_file(want, "stale\n");
    auto r = run_lanwick({session_path, "-o", dir.file("Song.rpp"), "--overwrite", "--want-params",
                          want, "--no-pause"});
    ASSERT_EQ(r.exit_code, 0) << r.out;
    EXPECT_EQ(read_file(want), "");

    // --check writes nothing, and empties nothing: the file, the corpus folder and an earlier
    // report stay as they were; a report asked for after --check is new or not written.
    test_support::write_file(want, "stale\n");
    test_support::write_file(dir.file("Song-vantrel-report.txt"), "earlier\n");
    fs::create_directory(dir.file("corpus"));
    r = run_lanwick({session_path, "-o", dir.file("Song.rpp"), "--check", "--want-params", want,
                     "--dump-corpus", dir.file("corpus"), "--report", "--no-pause"});
    ASSERT_EQ(r.exit_code, 0) << r.out;
    EXPECT_EQ(read_file(want), "stale\n");
    EXPECT_TRUE(fs::is_empty(dir.file("corpus")));
    EXPECT_EQ(read_file(dir.file("Song-vantrel-report.txt")), "earlier\n");
    EXPECT_TRUE(has(r.out, "  could not write report: " + dir.file("Song-vantrel-report.txt") +
                               "\n  (it exists already, and --check replaces nothing)\n"))
        << r.out;
    EXPECT_TRUE(
        r.out.ends_with("\n  --check: nothing was written. The lines above are what a real\n"
                        "      conversion of this session would produce.\n"))
        << r.out;
    fs::remove(dir.file("Song-vantrel-report.txt"));
    r = run_lanwick(
        {session_path, "-o", dir.file("Song.rpp"), "--check", "--report", "--no-pause"});
    EXPECT_TRUE(fs::exists(dir.file("Song-vantrel-report.txt")));
    EXPECT_TRUE(
        r.out.ends_with("\n  --check: nothing but the report was written. The lines above "
                        "are\n      what a real conversion of this session would produce.\n"))
        << r.out;
    fs::remove(dir.file("Song-vantrel-report.txt"));
    const auto plain =
        run_lanwick({session_path, "-o", dir.file("p.rpp"), "--overwrite", "--no-pause"});
    r = run_lanwick({session_path, "-o", dir.file("p.rpp"), "--overwrite", "--want-params",
                     dir.file("no/such/folder/w.txt"), "--no-pause"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, plain.out);
}

TEST(EndToEnd, UnlinkedMultiMonoSlotIsNamed) {
    TempDir dir;
    test_plugins::PluginBlock comp;
    comp.settings = "Comp" + test_blocks::zeros(1);
    comp.header_byte = 2;
    const std::string session_path = dir.file("Song.ptx");
    write_one_clip_session(session_path, test_plugins::plugin_block(comp) + test_blocks::zeros(8));
    const auto r = run_lanwick({session_path, "--check", "--no-pause"});
    ASSERT_EQ(r.exit_code, 0) << r.out;
    EXPECT_TRUE(has(r.out, "  WARNING: 1 unlinked MULTI-MONO instance(s). Pro Tools stores a\n"))
        << r.out;
    EXPECT_TRUE(has(r.out, "\n      Comp on (unmatched strip) (2 channels)\n")) << r.out;
}

}  // namespace

namespace {

TEST(EndToEnd, TempoChangesAndMarkersReachTheProject) {
    using namespace test_blocks;
    TempDir dir;
    constexpr std::uint64_t quarter = 960000;
    // 3/4 from bar 2, then 3/4 again 2.5 quarter notes before its second bar line after that:
    // Pro Tools starts bar 4 there.
    const double q = static_cast<double>(quarter);
    const std::string walk =
        tempo_block({{kOrigin, 120}, {kOrigin + 8 * quarter, 60}}) +
        meter_block({{0, 0, 4, 4, 0}, {4 * q, 0, 3, 4, 0}, {4 * q + 6 * q - 2.5 * q, 0, 3, 4, 0}}) +
        location_block("Verse", 2, 4 * quarter, 12 * quarter) +
        location_block("Verse", 2, 4 * quarter, 12 * quarter) +
        location_block("Hit \"it\"", 1, 10 * quarter, 10 * quarter) +
        location_block(std::string(255, 'n'), 1, 12 * quarter, 12 * quarter) +
        location_block("Bell\x07", 1, 14 * quarter, 14 * quarter) + zeros(64);
    const std::string session_path = dir.file("Tempo.ptx");
    test_support::write_file(session_path, encrypted_session({}, walk));

    const auto r = run_lanwick({session_path, "--no-pause"});
    ASSERT_EQ(r.exit_code, 0) << r.out;
    const std::string project = read_file(dir.file("Tempo.rpp"));
    expect_valid_project(project);
    // 8 quarter notes at 120 BPM are 4 s; the region runs from 2 s to 4 s + 4 quarters at 60.
    EXPECT_TRUE(has(project, "  <TEMPOENVEX\n")) << project;
    EXPECT_TRUE(has(project, "    PT 0.0000000000 120.000000")) << project;
    EXPECT_TRUE(has(project, "    PT 4.0000000000 60.000000")) << project;
    EXPECT_TRUE(has(project, "    PT 2.0000000000 120.000000 1 262147 0 1\n")) << project;
    EXPECT_TRUE(has(project, "    PT 3.7500000000 120.000000 1 262147 0 1\n")) << project;
    EXPECT_TRUE(has(r.out, "      3/4 at bar 2\n      3/4 at bar 4\n")) << r.out;
    // The region is stored twice and written once: its start line, then its end line.
    const std::string region = "  MARKER 1 2.0000000000 \"Verse\" 1 ";
    ASSERT_TRUE(has(project, region)) << project;
    EXPECT_EQ(project.find(region), project.rfind(region));
    EXPECT_TRUE(has(project, "  MARKER 1 8.0000000000 \"\" 1\n")) << project;
    EXPECT_TRUE(has(project, " 6.0000000000 'Hit \"it\"' 0 ")) << project;
    // Pro Tools' longest names arrive whole; a location that cannot be read is named.
    EXPECT_TRUE(has(project, "  MARKER 3 8.0000000000 \"" + std::string(255, 'n') + "\" 0 "))
        << project;
    EXPECT_FALSE(has(project, "Bell"));
    EXPECT_TRUE(has(r.out, "too short for its name and position):\n      \"Bell \"\n")) << r.out;
}

TEST(EndToEnd, SessionTheWalkDeclinesFailsWithItsReason) {
    // Byte 17 (the byte order, outside the cipher) set to a value no reader takes.
    std::vector<std::pair<std::string, std::string>> sessions = {
        {"synthetic", encrypted_session({}, zeros(64))}};
    if (const std::string real = test_support::real_session("RegionTest.ptx"); !real.empty())
        sessions.emplace_back("RegionTest", read_file(real));
    for (auto& [what, bytes] : sessions) {
        bytes[17] = 2;
        TempDir dir;
        const std::string session_path = dir.file("Odd.ptx");
        test_support::write_file(session_path, bytes);
        const auto r = run_lanwick({session_path, "--progress", "--no-pause"});
        EXPECT_EQ(r.exit_code, 1) << what << "\n" << r.out;
        EXPECT_TRUE(has(r.out, "\n  Could not read: " + session_path +
                                   "\n  Reason: that session was decrypted but the contents "
                                   "could not be parsed.  (code -4)\n  Decryption: OK ("))
            << what << "\n"
            << r.out;
        EXPECT_TRUE(has(r.err,
                        "problem kind=unreadable the session was decrypted but the "
                        "contents could not be parsed (code -4)\n"))
            << what << "\n"
            << r.err;
        EXPECT_FALSE(has(r.err, "progress 6/6 done")) << what;
        EXPECT_FALSE(fs::exists(dir.file("Odd.rpp"))) << what;
    }
}

TEST(EndToEnd, LongClipListKeepsEveryClipsLock) {
    // One track of 13,334 locked clips with their fades: 20,003 list entries.
    mix_session::MixShape shape;
    shape.tracks = 1;
    shape.clips_per_track = 13334;
    shape.files = 1;
    shape.regions = 1;
    shape.automation_points = 0;
    shape.tempo_entries = 0;
    shape.locations = 0;
    shape.locked = true;
    TempDir dir;
    const std::string session_path = dir.file("Film.ptx");
    test_support::write_file(session_path, mix_session::encrypted_session(shape));
    const auto r = run_lanwick({session_path, "--no-pause"});
    ASSERT_EQ(r.exit_code, 0) << r.out;
    const std::string project = read_file(dir.file("Film.rpp"));
    EXPECT_EQ(count_of(project, "\n    <ITEM\n"), 13334u);
    EXPECT_EQ(count_of(project, "\n      LOCK 1\n"), 13334u);
}

TEST(EndToEnd, TempoOverrideTakesOnlyWritableTempos) {
    TempDir dir;
    const std::string session_path = dir.file("Tempo.ptx");
    test_support::write_file(session_path, encrypted_session({}, zeros(64)));
    const std::string project_path = dir.file("Tempo.rpp");
    const std::string usage_path = dir.file("usage.json");
    for (const char* given :
         {"inf", "-inf", "nan", "1e300", "1e-300", "-120", "19.99", "999.5", "abc", "120bpm", ""}) {
        const auto r =
            run_lanwick({session_path, "--tempo", given, "--usage-json", usage_path, "--no-pause"});
        EXPECT_EQ(r.exit_code, 1) << given;
        EXPECT_EQ(r.out, "\n  --tempo " + std::string(given) +
                             ": not a tempo this tool can write. Give a number of beats per\n"
                             "  minute from 20 to 999, or leave --tempo out to keep the "
                             "session's tempo.\n\n  Nothing was converted.\n")
            << given;
        EXPECT_FALSE(fs::exists(project_path)) << given;
        EXPECT_FALSE(fs::exists(usage_path)) << given;
    }
    struct Case {
        const char* given;
        const char* line;
    } accepted[] = {{"20", "  TEMPO 20 4 4\n"},
                    {"999", "  TEMPO 999 4 4\n"},
                    {"97.5", "  TEMPO 97.5 4 4\n"},
                    {"0", "  TEMPO 120 4 4\n"}};
    for (const Case& c : accepted) {
        const auto r = run_lanwick({session_path, "--tempo", c.given, "--overwrite", "--no-pause"});
        ASSERT_EQ(r.exit_code, 0) << c.given << "\n" << r.out;
        EXPECT_TRUE(has(read_file(project_path), c.line)) << c.given;
    }
}

TEST(EndToEnd, MeterStoredBeforeTheStartIsTheOpeningMeter) {
    using namespace test_blocks;
    constexpr double q = 960000.0;
    struct Case {
        const char* what;
        std::vector<MeterChange> meters;
        const char* opening;
    } cases[] = {
        {"3/4 a bar before the start, 6/8 at bar 5",
         {{-3 * q, 0, 3, 4, 0}, {12 * q, 0, 6, 8, 0}},
         "  TEMPO 120 3 4\n"},
        {"two before the start: the later holds",
         {{-8 * q, 0, 5, 4, 0}, {-3 * q, 0, 3, 4, 0}, {12 * q, 0, 6, 8, 0}},
         "  TEMPO 120 3 4\n"},
        {"one before and one at the start: the one at the start holds",
         {{-3 * q, 0, 3, 4, 0}, {0, 0, 7, 8, 0}, {14 * q, 0, 6, 8, 0}},
         "  TEMPO 120 7 8\n"},
    };
    for (const Case& c : cases) {
        TempDir dir;
        const std::string session_path = dir.file("Meter.ptx");
        test_support::write_file(session_path,
                                 encrypted_session({}, meter_block(c.meters) + zeros(64)));
        const auto r = run_lanwick({session_path, "--no-pause"});
        ASSERT_EQ(r.exit_code, 0) << c.what << "\n" << r.out;
        const std::string project = read_file(dir.file("Meter.rpp"));
        EXPECT_TRUE(has(project, c.opening)) << c.what << "\n" << project;
        EXPECT_TRUE(has(r.out, "      6/8 at bar 5\n")) << c.what << "\n" << r.out;
    }
}

}  // namespace

namespace {

TEST(EndToEndReal, OutputNamesOverwriteAndUnwritableFolders) {
    REQUIRE_SESSION(path, "RegionTest.ptx");
    TempDir dir;
    const std::string out = dir.file("OUT.rpp");
    ASSERT_EQ(run_lanwick({path, "-o", out, "--no-pause"}).exit_code, 0);
    const std::string first = read_file(out);

    const auto again = run_lanwick({path, "-o", out, "--no-pause"});
    EXPECT_EQ(again.exit_code, 0);
    EXPECT_TRUE(has(again.out, "\n  " + out + " already exists - writing " +
                                   dir.file("OUT (1).rpp") +
                                   " instead\n  (--overwrite to replace it)\n"));
    // The same session gives the same project text, byte for byte.
    EXPECT_EQ(read_file(dir.file("OUT (1).rpp")), first);

    test_support::write_file(out, "old");
    EXPECT_EQ(run_lanwick({path, "-o", out, "--overwrite", "--no-pause"}).exit_code, 0);
    EXPECT_EQ(read_file(out), first);
    EXPECT_FALSE(fs::exists(dir.file("OUT (2).rpp")));

    // The missing folders of an -o path are made, as the README's "Mixes/My Song.rpp" expects,
    // and the report goes beside the project there.
    fs::copy_file(path, dir.file("Song.ptx"));
    const auto made =
        run_in(dir, {"Song.ptx", "-o", "Mixes/2024/Song.rpp", "--report", "--no-pause"});
    EXPECT_EQ(made.exit_code, 0) << made.out;
    EXPECT_TRUE(has(made.out, "\n  Mixes/2024 did not exist - made it for the project\n"))
        << made.out;
    EXPECT_TRUE(read_file(dir.file("Mixes/2024/Song.rpp")).starts_with("<REAPER_PROJECT"));
    EXPECT_TRUE(fs::exists(dir.file("Mixes/2024/Song-vantrel-report.txt")));
    EXPECT_FALSE(has(made.out, "Could not write")) << made.out;

    // A file standing where a folder should be is named as the file it is, and nothing is written.
    test_support::write_file(dir.file("blocked"), "a file");
    const std::string nowhere = dir.file("blocked/inner/OUT.rpp");
    const auto failed = run_lanwick({path, "-o", nowhere, "--no-pause"});
    EXPECT_EQ(failed.exit_code, 1);
    EXPECT_TRUE(has(failed.out, "\nCould not write " + nowhere + "\n  (" + dir.file("blocked") +
                                    " is a file, not a folder)\n"))
        << failed.out;
    EXPECT_FALSE(has(failed.out, "did not exist - made it")) << failed.out;

    TempDir empty;
    const auto check = run_lanwick({path, "-o", empty.file("c.rpp"), "--check", "--overwrite"});
    EXPECT_EQ(check.exit_code, 0);
    EXPECT_TRUE(fs::is_empty(empty.path()));
}

// An -o path is read with the system's separators, and every folder made holds the project: an
// -o naming a folder puts the project in it under the session's name, "\\" parts folders only on
// Windows.
TEST(EndToEnd, OutputPathsAndTheFoldersMadeForThem) {
    TempDir dir;
    write_one_clip_session(dir.file("Song.ptx"));
    auto r = run_in(dir, {"Song.ptx", "-o", "Newdir/", "--convert-twice", "--no-pause"});
    ASSERT_EQ(r.exit_code, 0) << r.out;
    EXPECT_TRUE(has(r.out, "\n  Newdir did not exist - made it for the project\n")) << r.out;
    EXPECT_TRUE(read_file(dir.file("Newdir/Song.rpp")).starts_with("<REAPER_PROJECT"));
    EXPECT_TRUE(fs::exists(dir.file("Newdir/Song-2nd.rpp")));
    // An existing folder named without a separator takes the project too.
    r = run_in(dir, {"Song.ptx", "-o", "Newdir", "--no-pause"});
    EXPECT_TRUE(has(r.out, "Newdir/Song.rpp already exists - writing Newdir/Song (1).rpp"))
        << r.out;

    r = run_in(dir, {"Song.ptx", "-o", "A\\b\\x.rpp", "--no-pause"});
    ASSERT_EQ(r.exit_code, 0) << r.out;
#ifdef _WIN32
    EXPECT_TRUE(fs::exists(dir.file("A/b/x.rpp")));
#else
    // A "\\" is a byte of the file's name here: no folder is made.
    EXPECT_TRUE(read_file(dir.file("A\\b\\x.rpp")).starts_with("<REAPER_PROJECT"));
    EXPECT_FALSE(fs::exists(dir.file("A\\b")));
    EXPECT_FALSE(has(r.out, "did not exist")) << r.out;
#endif
}

// Conversions started at the same moment into one name each keep their project: every run
// writes a file of its own, whole, and names it.
TEST(EndToEnd, ConversionsAtTheSameMomentKeepEveryProject) {
    TempDir dir;
    write_one_clip_session(dir.file("Song.ptx"));
    const std::string whole = [&] {
        const auto once = run_in(dir, {"Song.ptx", "-o", "one.rpp", "--no-pause"});
        EXPECT_EQ(once.exit_code, 0) << once.out;
        return read_file(dir.file("one.rpp"));
    }();
    constexpr int kRounds = 3;
    constexpr int kRuns = 3;
    for (int round = 0; round < kRounds; ++round) {
        const std::string out = "out" + std::to_string(round) + ".rpp";
        std::vector<std::future<test_support::RunResult>> runs;
        for (int i = 0; i < kRuns; ++i)
            runs.push_back(std::async(std::launch::async, [&] {
                return run_in(dir, {"Song.ptx", "-o", out, "--no-pause"});
            }));
        std::set<std::string> written;
        for (auto& run : runs) {
            const test_support::RunResult r = run.get();
            EXPECT_EQ(r.exit_code, 0) << r.out;
            const std::size_t at = r.out.find("  Wrote: ");
            ASSERT_NE(at, std::string::npos) << r.out;
            written.insert(r.out.substr(at + 9, r.out.find('\n', at) - at - 9));
        }
        const std::string stem = "out" + std::to_string(round);
        EXPECT_EQ(written,
                  (std::set<std::string>{stem + ".rpp", stem + " (1).rpp", stem + " (2).rpp"}));
        for (const std::string& name : written) EXPECT_EQ(read_file(dir.file(name)), whole) << name;
    }
}

TEST(EndToEndReal, ConvertTwiceWritesTheSameProjectTwice) {
    REQUIRE_SESSION(path, "TestPTX.ptx");
    TempDir dir;
    const std::string out = dir.file("twice.rpp");
    const auto r = run_lanwick({path, "-o", out, "--convert-twice", "--no-pause"});
    EXPECT_EQ(r.exit_code, 0) << r.out;
    ASSERT_TRUE(fs::exists(dir.file("twice-2nd.rpp")));
    EXPECT_EQ(read_file(dir.file("twice-2nd.rpp")), read_file(out));

    // Without -o both passes would write beside the session: here a copy of it.
    fs::copy_file(path, dir.file("copy.ptx"));
    const auto without_o = run_in(dir, {"copy.ptx", "--convert-twice", "--no-pause"});
    EXPECT_EQ(without_o.exit_code, 1);
    EXPECT_TRUE(
        has(without_o.out, "  --convert-twice needs -o: both passes would write the same file.\n"));
}

}  // namespace

namespace {

// --- Synthetic MIDI sessions -------------------------------------------------------------------

using namespace walk_blocks;

// A session with one MIDI track "Keys" holding one region placed at `start` with `time_base`.
// `track_extra` goes inside the track's named block, `after` after the walk's blocks; the chunk
// and its region stand in a node of `chunk_node`.
std::string one_midi_track(const std::string& chunk, std::uint64_t region_length,
                           std::uint64_t start, std::uint8_t time_base,
                           const std::string& track_extra = {}, const std::string& after = {},
                           std::uint16_t chunk_node = 0x2000) {
    using namespace test_blocks;
    const std::string named_block =
        z_block(0x2620, z_block(0x2619, u32le(4) + "Keys" + zeros(4)) + track_extra);
    return track_order({"Keys"}) + named_block +
           z_block(chunk_node, zeros(4) + chunk +
                                   z_block(0x2633, midi_region("Keys-01", test_blocks::kOrigin,
                                                               region_length, 0))) +
           midi_placement_tracks({midi_placement_track(
               "Keys", {playlist(0x1056, {placement(0, start, time_base)})})}) +
           after + zeros(64);
}

struct MidiRun {
    test_support::RunResult run;
    std::string project;
};

MidiRun convert_midi(const TempDir& dir, const std::string& walk,
                     const std::vector<std::string>& options = {}) {
    const std::string session_path = dir.file("Midi.ptx");
    test_support::write_file(session_path, encrypted_session({}, walk));
    std::vector<std::string> args = {session_path, "-o", dir.file("Midi.rpp"), "--no-pause"};
    args.insert(args.end(), options.begin(), options.end());
    MidiRun out{run_lanwick(args), ""};
    out.project = read_file(dir.file("Midi.rpp"));
    expect_valid_project(out.project);
    return out;
}

TEST(EndToEndMidi, PlacementsInSamplesAndTicks) {
    using test_blocks::kOrigin;
    const std::string chunk = midi_chunk({{kOrigin, 60, 240000, 100}});
    struct Case {
        const char* what;
        std::uint64_t start;
        std::uint8_t time_base;
        const char* position;
        int beat;
    } cases[] = {
        {"samples at 48 kHz", 144000, kSamples, "3.0000000000", 0},
        {"samples past a day", 4'200'000'000ULL, kSamples, "87500.0000000000", 0},
        {"ticks past 2^32", kOrigin + 5'000'000'000ULL, kTicks, "2604.1666666667", 1},
        {"ticks before zero", kOrigin - 480, kTicks, "0.0000000000", 1},
    };
    for (const Case& c : cases) {
        TempDir dir;
        const MidiRun r = convert_midi(dir, one_midi_track(chunk, 960000, c.start, c.time_base));
        ASSERT_EQ(r.run.exit_code, 0) << c.what << "\n" << r.run.out;
        EXPECT_TRUE(has(r.project, "\n      POSITION " + std::string(c.position) + "\n"))
            << c.what << "\n"
            << r.project;
        EXPECT_TRUE(has(r.project, "\n    BEAT " + std::to_string(c.beat) + "\n")) << c.what;
        EXPECT_EQ(
            has(r.run.out, "  1 MIDI clip(s) sit on a SAMPLE-BASED track, so their position and\n"),
            c.beat == 0)
            << c.what << "\n"
            << r.run.out;
        EXPECT_TRUE(has(r.run.out, "\n  1 tracks, 0 clips, 1 MIDI notes\n")) << c.what << r.run.out;
    }
}

TEST(EndToEndMidi, ControllerOnlyRegionWritesItsControllers) {
    using test_blocks::kOrigin;
    const std::string chunk =
        midi_chunk({}) +
        midi_blocks::controller_data(0x0102, {{kOrigin, 64}, {kOrigin + 480000, 127}});
    // Every node kind the notes are read from carries its controllers too.
    for (const std::uint16_t node : {0x2000, 0x2002, 0x2634}) {
        TempDir dir;
        const MidiRun r =
            convert_midi(dir, one_midi_track(chunk, 960000, kOrigin, kTicks, {}, {}, node));
        ASSERT_EQ(r.run.exit_code, 0) << node << "\n" << r.run.out;
        EXPECT_TRUE(has(r.project,
                        "        HASDATA 1 960 QN\n        E 0 b0 01 40\n        E 480 b0 01 7f\n"
                        "        E 1 b0 7b 00\n"))
            << node << "\n"
            << r.project;
        EXPECT_TRUE(has(r.run.out, "  2 MIDI controller events (pitch bend, CC, aftertouch)\n"))
            << node << "\n"
            << r.run.out;
    }
}

TEST(EndToEndMidi, ControllersFollowTheirChunkAcrossNodeKinds) {
    using namespace test_blocks;
    // Chunk 0 stands under a 0x2634 node, chunk 1 under a 0x2000 node: each region keeps the
    // controllers of its own chunk.
    auto node = [](std::uint16_t kind, const std::string& name, std::uint32_t chunk,
                   std::uint16_t controller, std::uint32_t value) {
        return z_block(kind, zeros(4) + midi_chunk({}) +
                                 midi_blocks::controller_data(controller, {{kOrigin, value}}) +
                                 z_block(0x2633, midi_region(name, kOrigin, 960000, chunk)));
    };
    const std::string named_block = z_block(0x2620, z_block(0x2619, u32le(4) + "Keys" + zeros(4)));
    const std::string walk =
        track_order({"Keys"}) + named_block + node(0x2634, "A", 0, 0x0102, 64) +
        node(0x2000, "B", 1, 0x0702, 127) +
        midi_placement_tracks({midi_placement_track(
            "Keys", {playlist(0x1056, {placement(0, kOrigin, kTicks),
                                       placement(1, kOrigin + 4 * 960000, kTicks)})})}) +
        zeros(64);
    TempDir dir;
    const MidiRun r = convert_midi(dir, walk);
    ASSERT_EQ(r.run.exit_code, 0) << r.run.out;
    const std::size_t a = r.project.find("\n      NAME \"A\"\n");
    const std::size_t b = r.project.find("\n      NAME \"B\"\n");
    ASSERT_NE(a, std::string::npos) << r.project;
    ASSERT_NE(b, std::string::npos) << r.project;
    const std::string item_a = r.project.substr(a, b > a ? b - a : std::string::npos);
    const std::string item_b = r.project.substr(b, a > b ? a - b : std::string::npos);
    EXPECT_TRUE(has(item_a, "        E 0 b0 01 40\n")) << item_a;
    EXPECT_FALSE(has(item_a, "b0 07")) << item_a;
    EXPECT_TRUE(has(item_b, "        E 0 b0 07 7f\n")) << item_b;
}

TEST(EndToEndMidi, NamesThatAreNotUtf8ArriveRepairedAndCounted) {
    using test_blocks::kOrigin;
    // "K\xE9ys": a Latin-1 e-acute, which UTF-8 cannot hold alone.
    const std::string walk =
        replaced(one_midi_track(midi_chunk({{kOrigin, 60, 240000, 100}}), 960000, kOrigin, kTicks),
                 "Keys", "K\xE9ys");
    TempDir dir;
    const MidiRun r = convert_midi(
        dir, walk, {"--report", "--usage-json", dir.file("usage.json"), "--usage-shared"});
    ASSERT_EQ(r.run.exit_code, 0) << r.run.out;
    const std::string fixed = "K\xEF\xBF\xBDys";
    EXPECT_TRUE(has(r.project, "\n    NAME \"" + fixed + "\"\n")) << r.project;
    EXPECT_TRUE(has(r.project, "\n      NAME \"" + fixed + "-01\"\n")) << r.project;
    EXPECT_TRUE(
        has(r.run.out,
            "  2 name(s) were not valid UTF-8 (damaged bytes, or a path in another\n"
            "      encoding): each bad byte sequence is written as U+FFFD, the replacement\n"
            "      character:\n"
            "      \"" +
                fixed + "\"\n      \"" + fixed + "-01\"\n"))
        << r.run.out;
    for (const std::string& text :
         {r.project, r.run.out, read_file(dir.file("Midi-vantrel-report.txt")),
          read_file(dir.file("usage.json"))}) {
        EXPECT_FALSE(has(text, "K\xE9ys"));
        EXPECT_TRUE(is_valid_utf8(text));
    }
}

TEST(EndToEndMidi, RealTimePropertiesFaderPanAndProgram) {
    using namespace test_blocks;
    // Volume 100, pan 30, program 5; velocity 50 % + 10, delay 240 ticks, transpose +2.
    std::string values(20, '\0');
    values[0] = 100;
    values[8] = 30;
    values[16] = 5;
    std::string properties = z_block(0x2502, zeros(158), 2);
    const std::pair<std::size_t, std::uint8_t> set[] = {{133, 1},    {136, 0x80}, {137, 0xA9},
                                                        {138, 0x03}, {148, 1},    {149, 50},
                                                        {151, 10},   {156, 1},    {159, 2}};
    for (const auto& [offset, value] : set) properties[offset] = static_cast<char>(value);
    const std::string chunk = midi_chunk({{kOrigin, 60, 240000, 100}});
    TempDir dir;
    const MidiRun r =
        convert_midi(dir, one_midi_track(chunk, 960000, kOrigin, kTicks, z_block(0x2036, values),
                                         properties + z_block(0x2502, zeros(158), 2)));
    ASSERT_EQ(r.run.exit_code, 0) << r.run.out;
    EXPECT_TRUE(has(r.project,
                    "        E 0 b0 07 64\n        E 0 b0 0a 1e\n        E 0 c0 05 00\n"
                    "        E 240 90 3e 3c\n        E 240 80 3e 00\n"))
        << r.project;
    EXPECT_TRUE(has(r.run.out,
                    "  MIDI Real-Time Properties APPLIED to the notes on 1 track(s): transpose,\n"))
        << r.run.out;
}

}  // namespace
