// Alternate playlists through the whole program: where each one goes (a track of its own beside
// the parent it was matched to, or one matched to no parent), the console's count of each, the
// renamed rows under the count they belong to, and --drop-alt-takes. The session records no
// version, so the Dark theme chosen for it is not said to be newer than its release.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/ptformat.h"
#include "tests/console_lines.h"
#include "tests/mixer_builder.h"
#include "tests/placement_builder.h"
#include "tests/test_support.h"
#include "tests/walk_builder.h"

namespace {

using test_support::read_file;
using test_support::TempDir;

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// The block of the track named `name`, up to its end.
std::string track_text(const std::string& project, const std::string& name) {
    const std::size_t at = project.find("    NAME \"" + name + "\"\n");
    if (at == std::string::npos) return {};
    return project.substr(at, project.find("\n  >\n", at) - at);
}

// A placement of clip colour 5.
test_placements::TestPlacement coloured(test_placements::TestPlacement p) {
    p.value = 5;
    return p;
}

// Two tracks of one clip each, "Vox" and "Keys", playing the playlists "Vox.01" and "Keys take":
// neither is a track's name, so both are alternates. "Vox" has a mixer block, so "Vox.01" is
// matched to it by name; "Keys take" is matched to no parent.
std::string session() {
    using namespace walk_blocks;
    using namespace test_placements;
    using namespace test_blocks;
    const std::vector<FileEntry> files = {{"Vox.wav", "EVAW"}, {"Keys.wav", "EVAW"}};
    const std::string walk = region_list({audio_region("Vox-01", 0, 96000, 0, 0),
                                          audio_region("Keys-01", 0, 96000, 0, 1)}) +
                             track_list({track_entry("Vox", {0}), track_entry("Keys", {1})}) +
                             placement_tracks({clip_list("Vox.01", {coloured(clip_at(0, 0))}),
                                               clip_list("Keys take", {clip_at(1, 48000)})});
    const std::string mixer = mixer_blocks::track_block(
        0x261b, "Vox",
        mixer_blocks::lane_block(mixer_blocks::fader_block(0),
                                 mixer_blocks::output_block(2, "Out 1-2")));
    const std::string plain = session_header() + lead_block() + version_block(12) +
                              z_block(0x7777, zeros(5000)) + rate_block(48000) +
                              audio_files_block(2, files, {480000, 480000}) + walk + mixer +
                              z_block(0x7777, zeros(55));
    std::vector<std::uint8_t> bytes(plain.begin(), plain.end());
    EXPECT_TRUE(ptf_xor_crypt(bytes));
    return std::string(bytes.begin(), bytes.end());
}

struct Converted {
    std::string console, project;
};

Converted convert(const std::vector<std::string>& options) {
    TempDir dir;
    test_support::write_file(dir.file("Takes.ptx"), session());
    std::vector<std::string> args = {dir.file("Takes.ptx"), "-o", dir.file("Takes.rpp"),
                                     "--no-pause"};
    args.insert(args.end(), options.begin(), options.end());
    const auto r = test_support::run_lanwick(args);
    EXPECT_EQ(r.exit_code, 0) << r.out;
    return {r.out, read_file(dir.file("Takes.rpp"))};
}

TEST(AltPlaylistProgram, EachPlaylistIsCountedWhereItWentWithItsRenamedRow) {
    const Converted c = convert({});
    // Both are tracks of their own, their clips muted; neither is a lane.
    const std::string vox = track_text(c.project, "Vox.01 [lane: Vox]");
    const std::string keys = track_text(c.project, "Keys take [alt playlist]");
    ASSERT_FALSE(vox.empty()) << c.project;
    ASSERT_FALSE(keys.empty()) << c.project;
    EXPECT_TRUE(has(vox, "      MUTE 1 0\n")) << vox;
    EXPECT_TRUE(has(keys, "      MUTE 1 0\n")) << keys;
    EXPECT_FALSE(has(c.project, "LANE")) << c.project;

    EXPECT_FALSE(has(c.console, "kept as lanes")) << c.console;
    EXPECT_TRUE(has(c.console,
                    "  1 alternate playlist(s) could not be matched to a parent track by\n"
                    "      name and arrive as their own tracks, MUTED -- Pro Tools plays one\n"
                    "      playlist per track, so these never sounded there either. Unmute\n"
                    "      one in REAPER to audition it.\n"
                    "      renamed Keys take -> Keys take [alt playlist]\n"))
        << c.console;
    EXPECT_TRUE(has(c.console,
                    "  1 alternate playlist(s) matched to a parent are kept as tracks of\n"
                    "      their own, MUTED -- Pro Tools plays one playlist per track. Unmute\n"
                    "      one to audition it (--drop-alt-takes to leave them out):\n"
                    "      renamed Vox.01 -> Vox.01 [lane: Vox]\n"))
        << c.console;
    // Each renamed row once.
    EXPECT_EQ(c.console.find("renamed Vox.01"), c.console.rfind("renamed Vox.01"));
    EXPECT_EQ(c.console.find("renamed Keys take"), c.console.rfind("renamed Keys take"));
    test_console::expect_own_lines_fit(c.console);

    // Left out, neither is written nor named as kept.
    const Converted dropped = convert({"--drop-alt-takes"});
    EXPECT_FALSE(has(dropped.project, "Vox.01")) << dropped.project;
    EXPECT_FALSE(has(dropped.project, "Keys take")) << dropped.project;
    EXPECT_TRUE(
        has(dropped.console, "  2 alternate playlists set aside (--drop-alt-takes was given)\n"))
        << dropped.console;
    EXPECT_FALSE(has(dropped.console, "renamed")) << dropped.console;
}

TEST(AltPlaylistProgram, TheDarkThemeOfASessionOfNoVersionSaysNothingOfItsRelease) {
    const Converted c = convert({"--pt-theme", "dark"});
    EXPECT_TRUE(has(c.console, "this session does not record which version saved it")) << c.console;
    EXPECT_TRUE(has(c.console, "  Clip colors follow Pro Tools' Dark theme, as chosen ("))
        << c.console;
    EXPECT_FALSE(has(c.console, "predates")) << c.console;
}

}  // namespace
