// Clip lanes and audio items: the item lines, stretch markers, take volume, clip-gain envelopes,
// colours, audio paths and the clips that cannot be placed.
#include "convert/writer/item_writer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "convert/writer/audio_paths.h"
#include "convert/writer/colors.h"
#include "tests/test_support.h"
#include "tests/writer_test_support.h"

namespace {

using writer_test::capture;

// The session's folders as the system spells an absolute path.
#ifdef _WIN32
#define SONG_FOLDER "C:\\sessions\\Song"
#define AUDIO_FILES SONG_FOLDER "\\Audio Files\\"
#else
#define SONG_FOLDER "/sessions/Song"
#define AUDIO_FILES SONG_FOLDER "/Audio Files/"
#endif

class ItemWriter : public writer_test::WriterTest {
  protected:
    void SetUp() override {
        WriterTest::SetUp();
        reset_item_writer();
        reset_audio_paths();
        settings.audio_folder = SONG_FOLDER "/Audio Files";
        settings.session_folder = SONG_FOLDER;
    }
    void TearDown() override {
        reset_item_writer();
        reset_audio_paths();
        WriterTest::TearDown();
    }

    std::string item(const ClipRecord& clip, ItemLane lane = {}, ItemTrackInput track = {}) {
        return capture(
            [&](std::FILE* f) { write_audio_item(f, clip, "Track", lane, track, context_); });
    }

    ItemWriteContext context_;
};

ClipRecord plain_clip(const std::string& name = "Clip", double start = 1.5, double length = 2.0) {
    ClipRecord c;
    c.name = name;
    c.file_name = name + ".wav";
    c.start = start;
    c.length = length;
    return c;
}

bool has_line(const std::string& text, const std::string& line) {
    return text.find(line + "\n") != std::string::npos;
}

TEST_F(ItemWriter, PlainClipGolden) {
    EXPECT_EQ(item(plain_clip()),
              "    <ITEM\n"
              "      POSITION 1.5000000000\n"
              "      SNAPOFFS 0\n"
              "      LENGTH 2.0000000000\n"
              "      LOOP 0\n"
              "      ALLTAKES 0\n"
              "      FADEIN 0 0.0000000000 0 0 0 0 0\n"
              "      FADEOUT 0 0.0000000000 0 0 0 0 0\n"
              "      MUTE 0 0\n"
              "      SOFFS 0.0000000000\n"
              "      PLAYRATE 1.000000000 1 0.000000 -1 0 0.0025\n"
              "      CHANMODE 0\n"
              "      NAME \"Clip\"\n"
              "      <SOURCE WAVE\n"
              "        FILE \"" AUDIO_FILES
              "Clip.wav\"\n"
              "      >\n"
              "    >\n");
    EXPECT_EQ(item_writer.items_written, 1u);
}

// Every optional line of an item at once, in its place.
TEST_F(ItemWriter, FullClipGolden) {
    settings.sample_rate = 48000.0;
    ClipRecord c = plain_clip("Vox \"take\" 2", 10.0, 4.0);
    ClipRareFields& rare = c.rare.edit();
    rare.snap_offset = 0.25;
    c.fade_in_length = 0.5;
    c.fade_in_shape = 1;
    c.fade_out_length = 0.125;
    c.fade_out_shape = 5;
    c.muted = 1;
    c.locked = 1;
    c.source_offset = 3.0;
    c.colour_index = 25;
    rare.playrate = 0.5;
    rare.pitch = -2.5;
    rare.has_gain = 1;
    rare.gain_db = -6.0;
    rare.pan = -1.0;
    rare.phase_invert = 1;
    // Source samples: 2 s and 5 s into the file, that is -1 s and 2 s into the item.
    rare.gain_points = {{96000.0, 0.0}, {240000.0, -12.0}};
    context_.dark_theme = false;

    EXPECT_EQ(item(c, ItemLane{1, 2}),
              "    <ITEM\n"
              "      POSITION 10.0000000000\n"
              "      SNAPOFFS 0.25\n"
              "      LENGTH 4.0000000000\n"
              "      LOOP 0\n"
              "      ALLTAKES 0\n"
              "      FADEIN 1 0.5000000000 0 1 0 0 0\n"
              "      FADEOUT 5 0.1250000000 0 5 0 0 0\n"
              "      MUTE 1 0\n"
              "      LOCK 1\n"
              "      SOFFS 3.0000000000\n"
              "      COLOR 32289982 R\n"
              "      YPOS 0.333333 0.333333 2\n"
              "      PLAYRATE 0.500000000 1 -2.500000 -1 0 0.0025\n"
              "      CHANMODE 0\n"
              "      NAME 'Vox \"take\" 2'\n"
              "      VOLPAN 0.501187234 -1 -1 -1\n"
              "      <SOURCE WAVE\n"
              "        FILE '" AUDIO_FILES
              "Vox \"take\" 2.wav'\n"
              "      >\n"
              "      <VOLENV\n"
              "        ACT 1 -1\n"
              "        VIS 1 1 1\n"
              "        LANEHEIGHT 0 0\n"
              "        ARM 0\n"
              "        DEFSHAPE 0 -1 -1\n"
              "        VOLTYPE 1\n"
              "        PT 0.0000000000 0.630957344 0\n"
              "        PT 2.0000000000 0.251188643 0\n"
              "      >\n"
              "    >\n");
    EXPECT_EQ(item_writer.locked_clips, 1);
    EXPECT_EQ(item_writer.gain_envelopes, 1);
    EXPECT_EQ(item_writer.clips_colored, 1);
}

TEST_F(ItemWriter, SnapOffsetOnlyStrictlyInsideTheClip) {
    struct Case {
        double snap;
        const char* line;
    } cases[] = {{0.5, "SNAPOFFS 0.5"}, {2.0, "SNAPOFFS 0"}, {-0.5, "SNAPOFFS 0"},
                 {3.0, "SNAPOFFS 0"},   {0.0, "SNAPOFFS 0"}, {NAN, "SNAPOFFS 0"}};
    for (const Case& c : cases) {
        ClipRecord clip = plain_clip();
        clip.rare.edit().snap_offset = c.snap;
        EXPECT_TRUE(has_line(item(clip), std::string("      ") + c.line)) << c.snap;
    }
}

// The fade and rate lines of a clip with no fade and its own rate are ready text: a value beside
// those (a minus zero, a shape without a length, a rate with a pitch) still gets its own digits.
TEST_F(ItemWriter, FadeAndRateLinesNearTheirUsualValues) {
    struct Case {
        std::uint8_t fade_shape;
        double fade_length;
        double playrate;
        double pitch;
        const char* fade_in;
        const char* playrate_line;
    } cases[] = {
        {0, 0.0, 1.0, 0.0, "FADEIN 0 0.0000000000 0 0 0 0 0", "PLAYRATE 1.000000000 1 0.000000"},
        {0, -0.0, 1.0, -0.0, "FADEIN 0 -0.0000000000 0 0 0 0 0",
         "PLAYRATE 1.000000000 1 -0.000000"},
        {1, 0.0, 1.0000000001, 0.0, "FADEIN 1 0.0000000000 0 1 0 0 0",
         "PLAYRATE 1.000000000 1 0.000000"},
        {5, 0.0, 0.9999999996, 0.0, "FADEIN 5 0.0000000000 0 5 0 0 0",
         "PLAYRATE 1.000000000 1 0.000000"},
        {0, 1e-11, 1.0, 1e-7, "FADEIN 0 0.0000000000 0 0 0 0 0", "PLAYRATE 1.000000000 1 0.000000"},
        {0, 0.25, 1.0, 0.0000005, "FADEIN 0 0.2500000000 0 0 0 0 0",
         "PLAYRATE 1.000000000 1 0.000000"},
        {5, 0.25, 2.0, -12.0, "FADEIN 5 0.2500000000 0 5 0 0 0",
         "PLAYRATE 2.000000000 1 -12.000000"},
        {0, NAN, NAN, NAN, "FADEIN 0 0.0000000000 0 0 0 0 0", "PLAYRATE 1.000000000 1 0.000000"},
    };
    for (const Case& c : cases) {
        ClipRecord clip = plain_clip();
        clip.fade_in_shape = c.fade_shape;
        clip.fade_in_length = c.fade_length;
        clip.rare.edit().playrate = c.playrate;
        clip.rare.edit().pitch = c.pitch;
        const std::string text = item(clip);
        EXPECT_TRUE(has_line(text, std::string("      ") + c.fade_in)) << text;
        EXPECT_TRUE(has_line(text, "      FADEOUT 0 0.0000000000 0 0 0 0 0")) << text;
        EXPECT_TRUE(has_line(text, std::string("      ") + c.playrate_line + " -1 0 0.0025"))
            << text;
    }
}

TEST_F(ItemWriter, StretchMarkers) {
    ClipRecord two = plain_clip();
    two.rare.edit().playrate = 0.8;
    two.rare.edit().stretch_markers = {{0.0, 0.0}, {2.0, 1.6}};
    const std::string text = item(two);
    EXPECT_EQ(text.find("SM"), std::string::npos);
    EXPECT_TRUE(has_line(text, "      PLAYRATE 0.800000000 1 0.000000 -1 0 0.0025"));

    // Thirty markers: 1 to 28 on the first line, 29 and 30 on the second; the markers carry the
    // timing, so the rate is 1.
    ClipRecord thirty = plain_clip();
    thirty.rare.edit().playrate = 0.8;
    for (int i = 0; i < 30; ++i)
        thirty.rare.edit().stretch_markers.push_back({i * 0.0625, i * 0.05});
    const std::string marked = item(thirty);
    EXPECT_TRUE(has_line(marked, "      PLAYRATE 1.000000000 1 0.000000 -1 0 0.0025"));
    const std::size_t first = marked.find("      SM ");
    ASSERT_NE(first, std::string::npos);
    const std::size_t end_first = marked.find('\n', first);
    const std::string line1 = marked.substr(first, end_first - first);
    const std::size_t end_second = marked.find('\n', end_first + 1);
    const std::string line2 = marked.substr(end_first + 1, end_second - end_first - 1);
    EXPECT_TRUE(
        line1.starts_with("      SM 0.0000000000 0.0000000000 + 0.0625000000 0.0500000000"));
    std::size_t joins = 0;
    for (std::size_t at = line1.find(" + "); at != std::string::npos;
         at = line1.find(" + ", at + 1))
        ++joins;
    EXPECT_EQ(joins, 27u);
    EXPECT_TRUE(line1.ends_with(" + 1.6875000000 1.3500000000"));  // marker 28
    EXPECT_EQ(line2, "      SM 1.7500000000 1.4000000000 + 1.8125000000 1.4500000000");
    writer_test::expect_parses("<REAPER_PROJECT\n  <TRACK\n" + marked + "  >\n>\n");
}

TEST_F(ItemWriter, TakeVolumeAndPanOnlyWhenTheyChangeSomething) {
    ClipRecord none = plain_clip();
    EXPECT_EQ(item(none).find("VOLPAN"), std::string::npos);

    struct Case {
        std::uint8_t has_gain;
        double gain;
        double pan;
        std::uint8_t invert;
        const char* line;
    } cases[] = {
        {1, 0.0, 0.0, 0, "      VOLPAN 1.000000000 0 1 -1"},
        {1, 6.0, 0.0, 0, "      VOLPAN 1.995262315 0 1 -1"},
        {0, 0.0, 1.0, 0, "      VOLPAN 1.000000000 1 1 -1"},
        {0, 0.0, 0.0, 1, "      VOLPAN 1.000000000 0 -1 -1"},
    };
    for (const Case& c : cases) {
        ClipRecord clip = plain_clip();
        ClipRareFields& rare = clip.rare.edit();
        rare.has_gain = c.has_gain;
        rare.gain_db = c.gain;
        rare.pan = c.pan;
        rare.phase_invert = c.invert;
        EXPECT_TRUE(has_line(item(clip), c.line)) << c.line;
    }
}

// Points are source samples at 1000 Hz here; the clip plays source 10 s to 14 s.
TEST_F(ItemWriter, ClipGainEnvelopeKeepsTheItemsPartOfTheLine) {
    struct Case {
        const char* what;
        std::vector<CurvePoint> stored;
        std::vector<CurvePoint> expected;  // item time, dB
    } cases[] = {
        {"one point", {{11000, -3}}, {}},
        {"inside", {{11000, -3}, {13000, -9}}, {{1, -3}, {3, -9}}},
        {"crossing both edges", {{8000, 0}, {16000, -8}}, {{0, -2}, {4, -6}}},
        {"crossing the start, then inside",
         {{9000, 0}, {11000, -4}, {12000, -6}},
         {{0, -2}, {1, -4}, {2, -6}}},
        {"points on the edges are kept, clamped", {{10000, -1}, {14000, -5}}, {{0, -1}, {4, -5}}},
        // The level the line holds over the item stays: no 0 dB.
        {"all before the item", {{1000, -3}, {2000, -7}}, {{0, -7}, {4, -7}}},
        {"all after the item", {{20000, -4}, {30000, 2}}, {{0, -4}, {4, -4}}},
        {"one on the start, the rest before", {{5000, 0}, {10000, -5}}, {{0, -5}, {4, -5}}},
    };
    for (const Case& c : cases) {
        ClipRecord clip = plain_clip("Clip", 0.0, 4.0);
        clip.source_offset = 10.0;
        clip.rare.edit().gain_points = c.stored;
        const std::vector<CurvePoint> got = clip_gain_envelope(clip, 1000.0);
        ASSERT_EQ(got.size(), c.expected.size()) << c.what;
        for (std::size_t i = 0; i < got.size(); ++i) {
            EXPECT_NEAR(got[i].time, c.expected[i].time, 1e-9) << c.what << " point " << i;
            EXPECT_NEAR(got[i].value, c.expected[i].value, 1e-9) << c.what << " point " << i;
        }
    }

    // What the item gets: a single point writes no envelope, a held level a flat one.
    settings.sample_rate = 1000.0;
    ClipRecord single = plain_clip("Clip", 0.0, 4.0);
    single.rare.edit().gain_points = {{1000, -3}};
    EXPECT_EQ(item(single).find("VOLENV"), std::string::npos);
    ClipRecord before = single;
    before.source_offset = 10.0;
    before.rare.edit().gain_points = {{1000, -6}, {2000, -6}};
    const std::string text = item(before);
    EXPECT_TRUE(has_line(text, "        PT 0.0000000000 0.501187234 0"));
    EXPECT_TRUE(has_line(text, "        PT 4.0000000000 0.501187234 0"));
    EXPECT_EQ(item_writer.gain_envelopes, 1);
}

TEST_F(ItemWriter, ClipColours) {
    // Index 2 gives no colour in the classic theme (an empty light slot): no line.
    context_.dark_theme = false;
    ClipRecord empty_slot = plain_clip();
    empty_slot.colour_index = 2;
    EXPECT_EQ(item(empty_slot).find("COLOR"), std::string::npos);

    ClipRecord colored = plain_clip();
    colored.colour_index = 25;
    EXPECT_TRUE(has_line(item(colored), "      COLOR 32289982 R"));

    // Without an index of its own, clip-colour mode 1 follows the track's view colour number.
    ClipRecord plain = plain_clip();
    context_.clip_color_mode = 1;
    ItemTrackInput track;
    track.view_color_number = 1;  // palette index 93: 0xD7C090
    EXPECT_TRUE(has_line(item(plain, {}, track), "      COLOR 30916752 R"));
    track.has_color_index = true;
    EXPECT_EQ(item(plain, {}, track).find("COLOR"), std::string::npos);

    settings.no_clip_colors = 1;
    EXPECT_EQ(item(colored).find("COLOR"), std::string::npos);
    EXPECT_EQ(color_counters.clips_left_uncolored, 1);
    EXPECT_EQ(item_writer.clips_colored, 1);
    EXPECT_EQ(item_writer.color_indices, (std::set<std::int32_t>{25}));
}

TEST_F(ItemWriter, LanesAndTheirItems) {
    OutputTrack t;
    t.name = "Gtr [lane: B]";
    t.session_name = "Gtr";
    t.clips = {plain_clip("main", 0.0, 1.0)};
    t.lanes = {{"Take 2", {plain_clip("two", 0.0, 1.0)}}, {"Take 3", {plain_clip("three")}}};
    const std::string text =
        capture([&](std::FILE* f) { write_track_items(f, t, t.name, {}, context_); });
    EXPECT_TRUE(
        text.starts_with("    FIXEDLANES 9 0 0 0 0\n    LANESOLO 1 0 0 0 0 0 0 0\n"
                         "    ITEMLANES 3\n    LANENAME \"Gtr\" \"Take 2\" \"Take 3\"\n"))
        << text;
    const std::size_t main = text.find("YPOS 0.000000 0.333333 2");
    const std::size_t two = text.find("YPOS 0.333333 0.333333 2");
    const std::size_t three = text.find("YPOS 0.666667 0.333333 2");
    EXPECT_TRUE(main < two && two < three && three != std::string::npos) << text;
    EXPECT_EQ(item_writer.lanes_written, 2);

    OutputTrack no_lanes;
    no_lanes.clips = {plain_clip()};
    const std::string plain =
        capture([&](std::FILE* f) { write_track_items(f, no_lanes, "T", {}, context_); });
    EXPECT_TRUE(plain.starts_with("    <ITEM\n"));
    EXPECT_EQ(plain.find("YPOS"), std::string::npos);
}

// Values no item can carry leave the clip out, named; the rest of the project is written.
TEST_F(ItemWriter, ClipsThatCannotBePlacedAreLeftOutAndNamed) {
    struct Case {
        double start;
        double length;
        double offset;
        bool written;
    } cases[] = {{0.0, 0.0, 0.0, false},      {0.0, -1.0, 0.0, false}, {0.0, NAN, 0.0, false},
                 {0.0, INFINITY, 0.0, false}, {0.0, 1.0, NAN, false},  {0.0, 86400.5, 0.0, false},
                 {86400.5, 1.0, 0.0, false},  {NAN, 1.0, 0.0, false},  {86399.0, 1.0, 0.0, true},
                 {0.0, 1e-6, 0.0, true}};
    std::set<std::string> listed = {"ok.wav"};
    context_.listed_files = &listed;
    OutputTrack t;
    t.name = "T";
    for (const Case& c : cases) {
        ClipRecord clip = plain_clip("c", c.start, c.length);
        clip.source_offset = c.offset;
        clip.file_name = "ok.wav";
        const std::string text = item(clip);
        EXPECT_EQ(!text.empty(), c.written) << c.start << " " << c.length << " " << c.offset;
        t.clips.push_back(clip);
    }
    EXPECT_EQ(item_writer.bad_length.size(), 6u);
    EXPECT_EQ(item_writer.past_a_day.size(), 2u);
    EXPECT_EQ(item_writer.past_a_day.front().track, "Track");
    EXPECT_EQ(item_writer.past_a_day.front().clip, "c");
    reset_item_writer();

    std::vector<OutputTrack> tracks = {t};
    ProjectWriteInput in;
    in.tracks = tracks;
    in.hooks.track.write_track_items = [&](std::FILE* f, std::int32_t i) {
        write_track_items(f, tracks[static_cast<std::size_t>(i)], "T", {}, context_);
    };
    const std::string project = writer_test::project_text(in);
    EXPECT_EQ(item_writer.items_written, 2u);
    EXPECT_EQ(item_writer.bad_length.size(), 6u);
    EXPECT_EQ(item_writer.past_a_day.size(), 2u);
    EXPECT_EQ(item_writer.past_a_day.front().track, "T");

    ClipRecord unlisted = plain_clip("gone");
    item(unlisted);
    ASSERT_EQ(item_writer.unlisted_sources.size(), 1u);
    EXPECT_EQ(item_writer.unlisted_sources[0].clip, "gone");
}

// A relative audio folder is written as an absolute path: REAPER resolves relative FILE paths
// from the project's folder, not from where the session was named.
TEST_F(ItemWriter, AudioPathsAreAbsoluteAndFoundInSiblingFolders) {
    settings.audio_folder = "some/Song/Audio Files";
    settings.session_folder = "some/Song";
    const std::filesystem::path cwd = std::filesystem::current_path().lexically_normal();
    EXPECT_EQ(resolve_audio_path("a.wav"),
              (cwd / "some" / "Song" / "Audio Files" / "a.wav").string());

    test_support::TempDir dir;
    const std::filesystem::path song = dir.path() / "Song";
    for (const char* folder : {"Audio Files", "Bounced Files", "Rendered Files"})
        std::filesystem::create_directories(song / folder);
    test_support::write_file((song / "Audio Files" / "here.wav").string(), "x");
    test_support::write_file((song / "Bounced Files" / "bounce.wav").string(), "x");
    test_support::write_file((song / "Rendered Files" / "bounce.wav").string(), "x");
    test_support::write_file((song / "Bounced Files" / "mix.wav").string(), "x");
    reset_audio_paths();
    settings.audio_folder = (song / "Audio Files").string();
    settings.session_folder = song.string();

    EXPECT_EQ(resolve_audio_path("here.wav"), (song / "Audio Files" / "here.wav").string());
    // Rendered Files is tried before Bounced Files.
    EXPECT_EQ(resolve_audio_path("bounce.wav"), (song / "Rendered Files" / "bounce.wav").string());
    EXPECT_EQ(resolve_audio_path("mix.wav"), (song / "Bounced Files" / "mix.wav").string());
    EXPECT_EQ(resolve_audio_path("missing.wav"), (song / "Audio Files" / "missing.wav").string());
    EXPECT_EQ(resolve_audio_path("mix.wav"), (song / "Bounced Files" / "mix.wav").string());
    EXPECT_EQ(audio_paths.sibling_files, 2);
    EXPECT_EQ(audio_paths.sibling_files_by_folder,
              (std::map<std::string, int>{{"Bounced Files", 1}, {"Rendered Files", 1}}));

    item(plain_clip("here"));
    item(plain_clip("mix"));
    item(plain_clip("mix"));
    EXPECT_EQ(item_writer.clips_outside_audio_folder, 2);
}

// An item finds its FILE line by its file name's held text, which the clips of one file share:
// a name held twice over gives the same line, and a line is never taken for a name that only
// came to stand where another, dropped, name stood.
TEST_F(ItemWriter, EachItemNamesItsOwnFile) {
    const auto file_line = [](const std::string& text) {
        const std::size_t at = text.find("FILE ");
        return text.substr(at, text.find('\n', at) - at);
    };
    ClipRecord first = plain_clip("a");
    ClipRecord shared = first;
    ClipRecord again = plain_clip("a");  // the same name in a text of its own
    EXPECT_EQ(file_line(item(first)), "FILE \"" AUDIO_FILES "a.wav\"");
    EXPECT_EQ(file_line(item(shared)), "FILE \"" AUDIO_FILES "a.wav\"");
    EXPECT_EQ(file_line(item(again)), "FILE \"" AUDIO_FILES "a.wav\"");
    EXPECT_EQ(item_writer.sources.size(), 1u);
    for (int i = 0; i < 20; ++i) {
        const std::string name = "take " + std::to_string(i);
        EXPECT_EQ(file_line(item(plain_clip(name))), "FILE \"" AUDIO_FILES + name + ".wav\"");
    }

    // More files than the writer keeps at hand, their clips in turn twice over: every item still
    // names its own file, whichever files' texts meet in its memory.
    OutputTrack track;
    constexpr int kFiles = 3000;
    track.clips.reserve(2 * kFiles);
    for (int i = 0; i < kFiles; ++i) track.clips.push_back(plain_clip("f" + std::to_string(i)));
    for (int i = 0; i < kFiles; ++i)
        track.clips.push_back(track.clips[static_cast<std::size_t>(i)]);
    const std::string text = capture(
        [&](std::FILE* f) { write_track_items(f, track, "Track", ItemTrackInput{}, context_); });
    std::size_t at = 0;
    for (int n = 0; n < 2 * kFiles; ++n) {
        at = text.find("FILE ", at);
        ASSERT_NE(at, std::string::npos);
        const std::size_t end = text.find('\n', at);
        ASSERT_EQ(text.substr(at, end - at),
                  "FILE \"" AUDIO_FILES "f" + std::to_string(n % kFiles) + ".wav\"");
        at = end;
    }
}

}  // namespace
