// A track's own colour, stored on its mixer strip, reaches REAPER's PEAKCOL; tracks without one
// keep REAPER's default and are named, and a value off the palette is noted.
#include <gtest/gtest.h>

#include <filesystem>

#include "block_builder.h"
#include "convert/writer/colors.h"
#include "mix_session.h"
#include "mixer_builder.h"
#include "platform/ptformat.h"
#include "test_support.h"

namespace {

using mixer_blocks::strip_block;

TEST(TrackColourProgram, OwnColourReachesPeakcolAndTheRestAreNamed) {
    test_support::TempDir dir;
    const std::filesystem::path song = std::filesystem::path(dir.path()) / "Mix";
    std::filesystem::create_directories(song / "Audio Files");
    mix_session::MixShape shape;
    shape.tracks = 4;
    shape.clips_per_track = 1;
    shape.files = 4;
    shape.automation_points = 0;
    shape.locations = 0;
    std::string plain = mix_session::plain_session(shape);
    // Strips in track order: palette index 47, none, one off the palette (96), none.
    // Strip k is named by the session's k-th named block: the generated session's eight unnamed
    // blocks come first (their strips hold no colour), then a named block per track.
    std::string strips;
    for (int k = 0; k < 8; ++k) strips += strip_block(0xFFFE);
    std::string named;
    for (int t = 1; t <= 4; ++t)
        named += mixer_blocks::track_block(0x261b, "Track " + std::to_string(t));
    plain.insert(plain.rfind("Z"), strips + strip_block(47) + strip_block(0xFFFE) +
                                       strip_block(96) + strip_block(0xFFFE) + named);
    std::vector<std::uint8_t> bytes(plain.begin(), plain.end());
    ptf_xor_crypt(bytes);
    const std::string session = (song / "Mix.ptx").string();
    test_support::write_file(session, std::string(bytes.begin(), bytes.end()));
    const std::string project = (song / "Mix.rpp").string();
    const auto r = test_support::run_lanwick({session, "-o", project, "--no-pause"});
    ASSERT_EQ(r.exit_code, 0) << r.out;
    const std::string text = test_support::read_file(project);

    const std::string own = "PEAKCOL " + std::to_string(palette_color(47)) + "\n";
    EXPECT_EQ(text.find(own), text.rfind(own)) << text;  // one track carries it
    EXPECT_NE(text.find(own), std::string::npos) << text;
    EXPECT_NE(r.out.find("  1 track(s) carried a color onto REAPER track colors\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("  3 track(s) have no color set. Pro Tools does not STORE a color\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("  NOTE: 1 track record(s) held a value where the color belongs\n"),
              std::string::npos)
        << r.out;

    const auto plain_run = test_support::run_lanwick(
        {session, "-o", project, "--overwrite", "--no-track-colors", "--no-pause"});
    EXPECT_EQ(test_support::read_file(project).find(own), std::string::npos);
    EXPECT_EQ(plain_run.out.find("NOTE: 1 track record(s)"), std::string::npos) << plain_run.out;
}

}  // namespace
