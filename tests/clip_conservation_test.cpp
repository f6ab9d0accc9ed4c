// No clip is lost without a word: on every real session and on a session of 70,000 regions (past
// the 65,535 a 16-bit region number holds), the walk's placements balance against the items
// written, the clips named as left out and the alternates.
#include "convert/summary/clip_conservation.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/output.h"
#include "convert/convert_session.h"
#include "convert/run_state.h"
#include "model/conversion_result.h"
#include "platform/ptformat.h"
#include "session/session_walk.h"
#include "tests/large_session.h"
#include "tests/test_support.h"

namespace {

using test_support::TempDir;

int count_of(const std::string& text, const std::string& part) {
    int n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

// Converts in this process, quietly, and balances the clips of the conversion.
class ClipConservation : public ::testing::Test {
  protected:
    void SetUp() override {
        saved_sink_ = output_state.current_sink;
        output_state.current_sink = &sink_;
    }
    void TearDown() override {
        output_state.current_sink = saved_sink_;
        reset_conversion_state(ConvertOptions{});
    }

    ClipBalance convert(const std::string& session, const std::string& project) {
        ConvertOptions options;
        options.input_path = session;
        options.output_path = project;
        options.overwrite = 1;
        EXPECT_EQ(convert_session(options, &result_, nullptr), 0) << result_.console_text;
        // The layout the conversion read, read again; the counts are the run's own.
        PTFFormat file;
        EXPECT_EQ(file.load(session, 48000), 0);
        SessionLayout layout;
        load_session_regions(file, layout);
        return clip_balance(layout, clip_counts, item_writer);
    }

    ConversionResult result_;

  private:
    NullSink sink_;
    PtxSink* saved_sink_ = nullptr;
};

TEST_F(ClipConservation, EveryRealSessionBalances) {
    struct Case {
        const char* name;
        int read, written;
    } cases[] = {{"RegionTest.ptx", 7, 7},
                 {"TestPTX.ptx", 3, 3},
                 {"Untitled32.ptx", 0, 0},
                 {"MetadataFields.ptx", 0, 0}};
    bool any = false;
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = test_support::real_session(c.name);
        if (path.empty()) continue;
        any = true;
        const ClipBalance b = convert(path, dir.file("p.rpp"));
        EXPECT_EQ(b.read, c.read);
        EXPECT_EQ(b.written, c.written);
        EXPECT_EQ(b.unaccounted(), 0);
        EXPECT_EQ(result_.console_text.find("neither written nor named"), std::string::npos);
    }
    if (!any) GTEST_SKIP() << "no real session under " << LANWICK_SESSIONS_DIR << "; skipped";
}

TEST_F(ClipConservation, SeventyThousandRegionsOn350TracksAllArrive) {
    TempDir dir;
    const std::string session = dir.file("Large.ptx");
    test_support::write_file(session, large_session::encrypted({}));
    const std::string project = dir.file("Large.rpp");
    const ClipBalance b = convert(session, project);
    EXPECT_EQ(b.read, 70000);
    EXPECT_EQ(b.written, 70000);
    EXPECT_EQ(b.left_out + b.alternates + b.not_clips, 0);
    EXPECT_EQ(b.unaccounted(), 0);
    EXPECT_NE(result_.console_text.find("\n  350 tracks, 70000 clips, 0 MIDI notes\n"),
              std::string::npos);

    const std::string text = test_support::read_file(project);
    EXPECT_EQ(count_of(text, "\n  <TRACK "), 350);
    EXPECT_EQ(count_of(text, "\n    <ITEM\n"), 70000);
    // The last region of the last track, far past 65,535, on its own track.
    EXPECT_NE(text.find("NAME \"Take 69999\"", text.rfind("\n  <TRACK ")), std::string::npos);
}

TEST_F(ClipConservation, ThePlacementsLetGoByTheClipStageStillCountAndGiveTheirLengths) {
    // The clip stage lets the walk's placements go once it has made its clips: the console's
    // balance still counts them, and the closing block still finds the one over ten minutes.
    using namespace walk_blocks;
    using namespace test_blocks;
    constexpr std::uint32_t kRate = 48000;
    const std::vector<FileEntry> files = {{"Long.wav", "EVAW"}, {"Short.wav", "EVAW"}};
    const std::string regions = region_list(
        {audio_region("Long", 0, kRate * 660, 0, 0), audio_region("Short", 0, kRate, 0, 1)});
    const std::string tracks = placement_tracks({placement_track(
        "Audio 1",
        {audio_playlist({placement(0, 0), placement(1, kRate * 700), placement(1, kRate * 800),
                         placement(1, kRate * 900, 0, kFade)})})});
    const std::string plain = session_header() + lead_block() + version_block(12) +
                              z_block(0x7777, zeros(5000)) + rate_block(kRate) +
                              audio_files_block(2, files, {kRate * 1200ULL, kRate * 2ULL}) +
                              regions + track_list({track_entry("Audio 1", {0})}) + tracks;
    std::vector<std::uint8_t> bytes(plain.begin(), plain.end());
    ptf_xor_crypt(bytes);
    TempDir dir;
    const std::string session = dir.file("Long.ptx");
    test_support::write_file(session, std::string(bytes.begin(), bytes.end()));

    const ClipBalance b = convert(session, dir.file("Long.rpp"));
    EXPECT_EQ(b.read, 3);
    EXPECT_EQ(b.written, 3);
    const std::string& text = result_.console_text;
    EXPECT_EQ(text.find("neither written nor named"), std::string::npos) << text;
    EXPECT_EQ(text.find("more were written or named"), std::string::npos) << text;
    EXPECT_NE(text.find("note: 1 clip(s) over 10 minutes (longest 11.0 min, from a 20.0 min\n"),
              std::string::npos)
        << text;
}

// The balance names what went where; a clip that went neither way is said as a fault.
TEST(ClipBalanceSum, EachWayOutCounts) {
    SessionLayout layout;
    layout.audio_track_regions.resize(9);
    layout.unplaced = {{"A", 0, 70000, false}, {"M", 0, 3, true}};
    ClipStageCounts clips;
    clips.clip_group_clips = 4;  // two group references laid out as four pieces
    clips.group_references_dropped = 2;
    clips.fade_clips = 1;
    clips.outside_playlist = {{"A", "x"}};
    clips.alternate_clips = 1;
    ItemWriterState items;
    items.items_written = 6;
    items.bad_length = {{"A", "y"}};
    items.no_source = {{"A", "z"}};
    ClipBalance b = clip_balance(layout, clips, items);
    EXPECT_EQ(b.read, 10);  // the MIDI placement is not an audio clip
    EXPECT_EQ(b.left_out, 4);
    EXPECT_EQ(b.unaccounted(), 0);
    items.items_written = 5;
    EXPECT_EQ(clip_balance(layout, clips, items).unaccounted(), 1);
}

// Placements refused with their damaged playlist are read and named, so the balance holds; their
// rows give each track once with its count, in the order met.
TEST(ClipBalanceSum, RefusedPlacementsAreReadAndNamedPerTrack) {
    SessionLayout layout;
    layout.audio_track_regions.resize(2);
    layout.refused = {{"A", 0, 1, false}, {"", 4, 2, false}, {"A", 0, 3, false}, {"M", 1, 0, true}};
    ItemWriterState items;
    items.items_written = 2;
    const ClipBalance b = clip_balance(layout, ClipStageCounts{}, items);
    EXPECT_EQ(b.read, 5);  // the MIDI placement is not an audio clip
    EXPECT_EQ(b.left_out, 3);
    EXPECT_EQ(b.unaccounted(), 0);
    EXPECT_EQ(refused_placement_rows(layout.refused, true),
              (std::vector<std::string>{"\"A\": 2 placement(s)", "track 4: 1 placement(s)",
                                        "MIDI \"M\": 1 placement(s)"}));
    EXPECT_EQ(refused_placement_rows(layout.refused, false).front(), "A: 2 placement(s)");
}

}  // namespace
