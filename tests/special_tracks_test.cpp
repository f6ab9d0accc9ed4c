// The tracks after the output tracks (send-return buses, the solo helper) and the WAV length the
// frozen renders are placed with.
#include "convert/writer/special_tracks.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "convert/run_state.h"
#include "convert/summary/special_track_rows.h"
#include "convert/writer/video_tracks.h"
#include "convert/writer/writer_summary.h"
#include "platform/paths.h"
#include "tests/test_support.h"
#include "tests/writer_test_support.h"
#include "util/guid.h"

namespace {

using writer_test::WriterTest;

std::string le32(std::uint32_t v) {
    std::string out(4, '\0');
    for (int i = 0; i < 4; ++i) out[static_cast<std::size_t>(i)] = static_cast<char>(v >> (8 * i));
    return out;
}

std::string chunk(const std::string& id, const std::string& body, std::uint32_t size) {
    std::string out = id + le32(size) + body;
    if (body.size() & 1) out += '\0';
    return out;
}

// fmt: PCM, channels, rate, bits.
std::string fmt_body(std::uint32_t channels, std::uint32_t rate, std::uint32_t bits) {
    const std::uint32_t align = channels * (bits / 8);
    return le32(1 | channels << 16) + le32(rate) + le32(rate * align) + le32(align | bits << 16);
}

std::string wave(const std::string& chunks) {
    return "RIFF" + le32(static_cast<std::uint32_t>(4 + chunks.size())) + "WAVE" + chunks;
}

TEST(WavDuration, ReadsTheDataChunkOverTheFrameSizeAndRate) {
    const std::string fmt = chunk("fmt ", fmt_body(2, 48000, 24), 16);
    const std::string data = chunk("data", std::string(2 * 3 * 4800, '\0'), 2 * 3 * 4800);
    struct Case {
        const char* what;
        std::string bytes;
        double seconds;
    } cases[] = {
        {"fmt then data", wave(fmt + data), 0.1},
        {"an odd chunk padded before fmt", wave(chunk("LIST", "abc", 3) + fmt + data), 0.1},
        {"data before fmt", wave(data + fmt), 0.0},
        {"fmt under 16 bytes", wave(chunk("fmt ", std::string(14, '\1'), 14) + data), 0.0},
        {"4-bit samples", wave(chunk("fmt ", fmt_body(2, 48000, 4), 16) + data), 0.0},
        {"no channels", wave(chunk("fmt ", fmt_body(0, 48000, 24), 16) + data), 0.0},
        {"data sized past the file", wave(fmt + "data" + le32(1000000) + "xx"), 0.0},
        {"a chunk sized near 2^32", wave(fmt + "JUNK" + le32(0xFFFFFFFF) + data), 0.0},
        {"not RIFF", "RIFX" + wave(fmt + data).substr(4), 0.0},
        {"short", "RIFF", 0.0},
    };
    test_support::TempDir dir;
    for (const Case& c : cases) {
        const std::string path = dir.file("a.wav");
        test_support::write_file(path, c.bytes);
        EXPECT_DOUBLE_EQ(wav_duration_seconds(path), c.seconds) << c.what;
    }
    EXPECT_EQ(wav_duration_seconds(dir.file("missing.wav")), 0.0);
}

// Two tracks, the first soloed; whether it is muted decides the helper.
class SoloHelper : public WriterTest {
  protected:
    std::string project(bool soloed_track_muted) {
        tracks_ = {OutputTrack{}, OutputTrack{}};
        tracks_[0].name = "Vox";
        tracks_[1].name = "Gtr";
        lanes_.resize(1);
        lanes_[0].name = "Vox";
        lanes_[0].assigned = 1;
        lanes_[0].muted = soloed_track_muted ? 1 : 0;
        ProjectWriteInput in;
        in.tracks = tracks_;
        in.lane_sets = lanes_;
        in.track_inputs.resize(2);
        TrackViewValues view;
        view.key = "Vox";
        view.solo_state = 1;
        in.track_inputs[0].view = view;
        in.hooks.write_after_tracks = [](std::FILE* file) { write_solo_helper(file); };
        return writer_test::project_text(in);
    }
    std::vector<OutputTrack> tracks_;
    std::vector<TrackLaneSet> lanes_;
};

TEST_F(SoloHelper, OnlyWhenEverySoloedTrackLostItsSoloToItsMute) {
    const std::string muted = project(true);
    const std::string helper = writer_test::track_block(muted, 2);
    EXPECT_EQ(helper, "  <TRACK " + guid_from_seed(69999) +
                          "\n    NAME \"Pro Tools solo (the soloed tracks were muted)\"\n"
                          "    VOLPAN 1 0 -1 -1 1\n    MUTESOLO 0 2 0\n    IPHASE 0\n"
                          "    ISBUS 0 0\n    NCHAN 2\n    MAINSEND 1 0\n  >\n");
    EXPECT_NE(writer_test::track_block(muted, 0).find("    MUTESOLO 1 0 0\n"), std::string::npos);
    EXPECT_EQ(special_tracks.solo_helper, kSoloHelperName);

    reset_conversion_state(ConvertOptions{});
    const std::string soloed = project(false);
    EXPECT_NE(writer_test::track_block(soloed, 0).find("    MUTESOLO 0 2 0\n"), std::string::npos);
    EXPECT_EQ(soloed.find("Pro Tools solo"), std::string::npos);
}

// Buses come in name order after the output tracks; a sidechain key source keeps its main send
// off; a stereo-panned bus writes its two pans; receives keep their sending track's index.
TEST_F(WriterTest, BusTracksFollowTheOutputTracksInNameOrder) {
    std::vector<OutputTrack> tracks(1);
    tracks[0].name = "Vox";
    std::vector<TrackLaneSet> lanes(1);
    lanes[0].name = "Verb";
    lanes[0].assigned = 1;
    lanes[0].stereo_pan = 1;
    lanes[0].fader_db = -6.0;
    lanes[0].pan.initial_value = -50;
    lanes[0].pan_right_curve.initial_value = 100;
    lanes[0].volume.points = {{48000, -60}};  // the envelope carries the level: fader at unity
    // The track written before left its envelopes unarmed and inactive.
    settings.envelope_arm = 0;
    settings.envelope_active = 0;
    std::map<std::string, std::vector<SessionSend>> receives;
    SessionSend send;
    send.source_index = 0;
    receives["Verb"].push_back(send);
    receives["Key"].push_back(send);
    receives["Vox"].push_back(send);  // a written track: no bus

    BusTracksInput in;
    in.tracks = tracks;
    in.lane_sets = lanes;
    in.receives = &receives;
    in.video_tracks = 1;
    in.key_source_buses = {"Key"};
    std::vector<std::int32_t> indices;
    in.write_comment_item = [&](std::FILE*, const std::string&, std::int32_t index) {
        indices.push_back(index);
    };
    const std::string text = writer_test::capture([&](std::FILE* f) { write_bus_tracks(f, in); });
    const std::string key = writer_test::track_block(text, 0);
    const std::string verb = writer_test::track_block(text, 1);
    EXPECT_TRUE(key.starts_with("  <TRACK " + guid_from_seed(50001) + "\n    NAME \"Key\"\n"));
    EXPECT_NE(key.find("    TRACKID " + guid_from_seed(60001) + "\n    MAINSEND 0 0\n"),
              std::string::npos)
        << key;
    EXPECT_NE(key.find("    AUXRECV 0 "), std::string::npos);
    EXPECT_TRUE(verb.starts_with("  <TRACK " + guid_from_seed(50002) + "\n    NAME \"Verb\"\n"));
    EXPECT_NE(verb.find("    VOLPAN 1.000000 0.25 -1 -0.500000 1.000000\n    MUTESOLO 0 0 0\n"
                        "    IPHASE 0\n    ISBUS 0 0\n    PANMODE 6\n"),
              std::string::npos)
        << verb;
    EXPECT_NE(verb.find("    MAINSEND 1 0\n"), std::string::npos);
    // Its volume envelope takes the bus track's own Read mode: armed and active.
    EXPECT_NE(verb.find("    AUTOMODE 1\n"), std::string::npos) << verb;
    EXPECT_NE(verb.find("    <VOLENV2\n      ACT 1 -1\n      VIS 1 1 1\n      LANEHEIGHT 0 0\n"
                        "      ARM 1\n"),
              std::string::npos)
        << verb;
    EXPECT_EQ(writer_test::track_block(text, 2), "");
    EXPECT_EQ(indices, (std::vector<std::int32_t>{2, 3}));  // after 1 output and 1 video track
    writer_test::expect_parses("<REAPER_PROJECT 0.1 \"7.0\" 0\n" + text + ">\n");
}

}  // namespace

namespace {

// One frozen track with the given render beside the session's audio folder.
class FrozenTrack : public WriterTest {
  protected:
    std::string project(const std::string& render_name, bool lanes) {
        ConvertOptions options;
        options.keep_frozen = 1;
        reset_conversion_state(options);
        settings.audio_folder = dir_.path().string();
        const std::string render = wave(chunk("fmt ", fmt_body(1, 48000, 16), 16) +
                                        chunk("data", std::string(96000, '\0'), 96000));
        test_support::write_file(dir_.file("Vox-FZ_01.wav"), render);
        tracks_.assign(1, OutputTrack{});
        tracks_[0].name = "Vox";
        if (lanes) tracks_[0].lanes.resize(1);
        ProjectWriteInput in;
        in.tracks = tracks_;
        in.track_inputs.resize(1);
        in.track_inputs[0].freeze.frozen = 1;
        in.track_inputs[0].freeze.renders = {{render_name, 2.0, 0.5}};
        in.hooks.track.write_fx_chain = [](std::FILE* f, const FxChainCall&) {
            std::fputs("    <FXCHAIN\n    >\n", f);
            return 1;
        };
        in.hooks.track.write_track_items = [](std::FILE* f, std::int32_t) {
            std::fputs("    <ITEM\n      NAME \"source\"\n    >\n", f);
        };
        return writer_test::project_text(in);
    }
    test_support::TempDir dir_;
    std::vector<OutputTrack> tracks_;
};

TEST_F(FrozenTrack, KeepsItsChainAndSourceItemsInsideFreezeAndPlaysItsRender) {
    const std::string track = writer_test::track_block(project("Vox-FZ_01.wav", false), 0);
    const std::size_t freeze = track.find(
        "    <FREEZE 0\n    <FXCHAIN\n    >\n    <ITEM\n"
        "      NAME \"source\"\n    >\n    >\n");
    ASSERT_NE(freeze, std::string::npos) << track;
    const std::size_t render = track.find(
        "    <ITEM\n      POSITION 2.0000000000\n"
        "      SNAPOFFS 0\n      LENGTH 1.0000000000\n");
    ASSERT_NE(render, std::string::npos) << track;
    EXPECT_LT(freeze, render);
    const std::string item = track.substr(render);
    for (const std::string& line :
         {std::string("      FREEZE 2.0000000000 1.0000000000 0\n      LOCK 1\n"),
          "      IGUID " + guid_from_seed(0x465A0000) + "\n      NAME \"Freeze 1\"\n",
          std::string("      SOFFS 0.5000000000\n"),
          "      GUID " + guid_from_seed(0x465B0000) + "\n"})
        EXPECT_NE(item.find(line), std::string::npos) << line << item;
    EXPECT_TRUE(track.ends_with("    >\n  >\n"));
    EXPECT_EQ(special_tracks.frozen_delivered, 1);
    EXPECT_EQ(special_tracks.freeze_records_left_out, 0);
    EXPECT_EQ(freeze_records_row(special_tracks), "");
    EXPECT_FALSE(std::filesystem::exists(dir_.file("Vox-FZ_01.wav.freeze.tmp")));
}

TEST_F(FrozenTrack, IsWrittenUnfrozenWithItsReason) {
    struct Case {
        const char* render;
        bool lanes;
        const char* reason;
    } cases[] = {
        {"Vox-FZ_01.wav", true, "it has alternate playlist lanes"},
        {"Vox_01.wav", false, "its render could not be identified in the session"},
        {"Gone-FZ_01.wav", false, "its render \"Gone-FZ_01.wav\" is not on disk"},
    };
    for (const Case& c : cases) {
        const std::string track = writer_test::track_block(project(c.render, c.lanes), 0);
        EXPECT_EQ(track.find("FREEZE"), std::string::npos) << c.reason;
        EXPECT_NE(track.find("      NAME \"source\"\n"), std::string::npos) << c.reason;
        ASSERT_EQ(special_tracks.frozen_unfrozen.size(), 1u);
        EXPECT_EQ(special_tracks.frozen_unfrozen[0].second, c.reason);
        // Its freeze record is left out and counted.
        EXPECT_EQ(special_tracks.freeze_records_left_out, 1);
        EXPECT_TRUE(freeze_records_row(special_tracks)
                        .starts_with("  1 internal freeze record(s) left out (Pro Tools writes "
                                     "these when a\n"));
    }
}

}  // namespace

namespace {

TEST(VideoFrameRate, SessionRateFirstThenTheTimecodeCode) {
    EXPECT_EQ(video_frame_rate(29.97, 2), 29.97);
    for (const auto& [code, rate] : std::vector<std::pair<int, double>>{
             {2, 25.0}, {3, 30.0}, {5, 30.0}, {7, 30.0}, {8, 30.0}, {1, 24.0}, {-1, 24.0}})
        EXPECT_EQ(video_frame_rate(0.0, code), rate) << code;
}

// One video track: its item times come from frames over the rate; a file found in "Video Files"
// is written with its path, a file found nowhere keeps its bare name (the stored name's last
// component) and is counted.
TEST_F(WriterTest, VideoTracksFollowTheOutputTracks) {
    test_support::TempDir dir;
    settings.audio_folder = (dir.path() / "Audio Files").string();
    const std::string folder = dir.path().string() + path_separator;
    std::filesystem::create_directories(dir.path() / "Video Files");
    test_support::write_file(folder + "Video Files/Found.mov", "x");
    for (const char* stored : {"C:\\Media\\Found.mov", "/elsewhere/Gone.mp4"}) {
        reset_video_tracks();
        VideoTracksInput in;
        in.track_names = {"Picture"};
        in.file_names = {stored};
        in.placements = {VideoPlacement{0, 1, 250.0, 0, 0, 0}};
        in.placement_lists = {"Picture"};
        in.entries[stored] = {{"Reel 1", 25.0, 100.0, 0.0}};
        in.timecode_code = 2;
        in.session_folder = folder;
        const std::string text =
            writer_test::capture([&](std::FILE* f) { write_video_tracks(f, in); });
        writer_test::expect_parses("<REAPER_PROJECT 0.1 \"7.0\" 0\n" + text + ">\n");
        EXPECT_TRUE(text.starts_with("  <TRACK " + guid_from_seed(70000) +
                                     "\n    NAME \"Picture\"\n    PEAKCOL 16576\n"))
            << text;
        // MIDIOUT of one value, as REAPER writes it.
        EXPECT_NE(text.find("    TRACKID " + guid_from_seed(71000) +
                            "\n    PERF 0\n    MIDIOUT -1\n    MAINSEND 1 0\n"),
                  std::string::npos)
            << text;
        EXPECT_NE(text.find("      POSITION 10.0000000000\n      SNAPOFFS 0\n"
                            "      LENGTH 4.0000000000\n"),
                  std::string::npos)
            << text;
        EXPECT_NE(text.find("      SOFFS 1.0000000000\n"), std::string::npos);
        const bool found = std::string(stored).ends_with("Found.mov");
        const std::string file =
            found ? join_path(folder + "Video Files", "Found.mov") : "Gone.mp4";
        EXPECT_NE(text.find("      <SOURCE VIDEO\n        FILE \"" + file + "\"\n      >\n"),
                  std::string::npos)
            << text;
        EXPECT_EQ(video_tracks.files_missing, found ? 0 : 1);
        EXPECT_EQ(video_tracks.items, 1);
    }
}

// A video track whose file the session names with no video extension is written empty and
// counted, apart from a file that is named but not found.
TEST_F(WriterTest, VideoTrackWithoutARecognisedFileIsCounted) {
    reset_video_tracks();
    VideoTracksInput in;
    in.track_names = {"Picture", "Second"};
    in.file_names = {"Gone.mov"};
    const std::string text = writer_test::capture([&](std::FILE* f) { write_video_tracks(f, in); });
    EXPECT_NE(text.find("NAME \"Second\""), std::string::npos);
    EXPECT_EQ(video_tracks.files_unrecognised, 1);
    EXPECT_EQ(video_tracks.files_missing, 1);
    // The summary names it under the video row.
    std::string rows;
    video_track_paragraphs(rows);
    EXPECT_NE(rows.find("      1 video track(s) hold a file this build does not recognize as\n"
                        "      video: those tracks are written empty."),
              std::string::npos)
        << rows;
}

TEST_F(WriterTest, NoVideoTrackWritesNothing) {
    VideoTracksInput in;
    in.file_names = {"a.mov"};
    EXPECT_EQ(writer_test::capture([&](std::FILE* f) { write_video_tracks(f, in); }), "");
}

}  // namespace

namespace {

// A receive from a bus (a track after the output tracks) is kept; past the last track it is not.
TEST_F(WriterTest, ReceivesFromTracksAfterTheOutputTracksAreKept) {
    std::vector<OutputTrack> tracks(1);
    tracks[0].name = "Comp";
    for (const std::size_t after : {std::size_t{0}, std::size_t{2}}) {
        ProjectWriteInput in;
        in.tracks = tracks;
        in.track_inputs.resize(1);
        in.track_inputs[0].routed_sources = {{2, 0}};  // the second track after the output track
        in.tracks_after = after;
        const std::string track = writer_test::track_block(writer_test::project_text(in), 0);
        EXPECT_EQ(track.find("    AUXRECV 2 ") != std::string::npos, after == 2) << track;
    }
}

}  // namespace
