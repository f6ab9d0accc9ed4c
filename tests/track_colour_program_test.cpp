// A track's own colour, stored on its mixer strip, reaches REAPER's PEAKCOL; tracks without one
// keep REAPER's default and are named, and a value off the palette is noted. Clips without a
// colour of their own follow the session's clip colour coding.
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

struct ColourMix {
    std::string session;
    std::string project;
};

// A generated mix session with the mixer strips the test gives, written as Mix/Mix.ptx in `dir`.
// Strip k is named by the session's k-th named block: the generated session's `unnamed` unnamed
// blocks come first (their strips, written here, hold no colour), then the strips of
// `track_strips` in track order, a named block per track, and `after`.
ColourMix write_colour_mix(const test_support::TempDir& dir, const mix_session::MixShape& shape,
                           int unnamed, const std::string& track_strips,
                           const std::string& after = "") {
    const std::filesystem::path song = std::filesystem::path(dir.path()) / "Mix";
    std::filesystem::create_directories(song / "Audio Files");
    std::string plain = mix_session::plain_session(shape);
    std::string strips;
    for (int k = 0; k < unnamed; ++k) strips += strip_block(0xFFFE);
    std::string named;
    for (int t = 1; t <= shape.tracks; ++t)
        named += mixer_blocks::track_block(0x261b, "Track " + std::to_string(t));
    plain.insert(plain.rfind("Z"), strips + track_strips + named + after);
    std::vector<std::uint8_t> bytes(plain.begin(), plain.end());
    ptf_xor_crypt(bytes);
    ColourMix out{(song / "Mix.ptx").string(), (song / "Mix.rpp").string()};
    test_support::write_file(out.session, std::string(bytes.begin(), bytes.end()));
    return out;
}

TEST(TrackColourProgram, OwnColourReachesPeakcolAndTheRestAreNamed) {
    test_support::TempDir dir;
    mix_session::MixShape shape;
    shape.tracks = 4;
    shape.clips_per_track = 1;
    shape.files = 4;
    shape.automation_points = 0;
    shape.locations = 0;
    // Strips in track order: palette index 47, none, one off the palette (96), none.
    const ColourMix mix = write_colour_mix(
        dir, shape, 8, strip_block(47) + strip_block(0xFFFE) + strip_block(96) + strip_block(0xFFFE));
    const std::string& session = mix.session;
    const std::string& project = mix.project;
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

// Under the session's clip colour coding 1 or 2, a clip without a colour of its own takes the
// tint of its track's row, from the track's view-state colour number; a track with a palette
// index of its own keeps its clips uncoloured, and coding 0 colours none.
TEST(TrackColourProgram, ClipsFollowTheirTracksRowUnderClipCodingOneAndTwo) {
    struct Case {
        std::uint8_t coding;
        bool tinted;
    };
    for (const Case c : {Case{1, true}, Case{2, true}, Case{0, false}}) {
        SCOPED_TRACE(static_cast<int>(c.coding));
        test_support::TempDir dir;
        mix_session::MixShape shape;
        shape.tracks = 3;
        shape.clips_per_track = 2;
        shape.files = 2;
        shape.automation_points = 0;
        shape.locations = 0;
        // Track 1 has palette index 47 of its own; Tracks 2 and 3 none, in rows 3 and 0 (none).
        std::string coding = test_blocks::z_block(0x20a2, test_blocks::zeros(39), 0x08);
        coding[38] = static_cast<char>(c.coding);
        const ColourMix mix = write_colour_mix(
            dir, shape, 6,
            strip_block(47, 1, 0, 3) + strip_block(0xFFFE, 1, 0, 3) + strip_block(0xFFFE, 1, 0, 0),
            coding);
        const std::string& session = mix.session;
        const std::string& project = mix.project;
        const auto r = test_support::run_lanwick(
            {session, "-o", project, "--pt-theme", "classic", "--no-pause"});
        ASSERT_EQ(r.exit_code, 0) << r.out;
        const std::string text = test_support::read_file(project);

        // Row 3's tint: palette index 75, 0xD48BB0, marked as set.
        const std::size_t second = text.find("    NAME \"Track 2\"\n");
        const std::size_t third = text.find("    NAME \"Track 3\"\n");
        ASSERT_NE(second, std::string::npos);
        ASSERT_NE(third, std::string::npos);
        const std::string tint = "      COLOR " + std::to_string(0x1D48BB0) + " R\n";
        std::size_t tinted = 0;
        for (std::size_t at = text.find(tint); at != std::string::npos;
             at = text.find(tint, at + 1)) {
            EXPECT_GT(at, second);
            EXPECT_LT(at, third);
            ++tinted;
        }
        EXPECT_EQ(tinted, c.tinted ? 2u : 0u) << text;
        EXPECT_EQ(text.find("      COLOR "), c.tinted ? text.find(tint) : std::string::npos);
        EXPECT_EQ(
            r.out.find("      2 clip(s) with no color of their own were given the tint Pro\n") !=
                std::string::npos,
            c.tinted)
            << r.out;
    }
}

}  // namespace
