// The session's track list as the program finds it among the session's loose texts, from whole
// sessions built here: a playlist whose name is no track of the session is an alternate one,
// written muted under a name that says so, so a track the list misses loses its sound.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "mix_session.h"
#include "placement_builder.h"
#include "test_support.h"
#include "walk_builder.h"

namespace {

using test_support::read_file;
using test_support::TempDir;

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

int count_of(const std::string& text, const std::string& part) {
    int n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

struct Converted {
    test_support::RunResult run;
    std::string project;
};

Converted convert(const std::string& plain) {
    TempDir dir;
    test_support::write_file(dir.file("Names.ptx"), mix_session::encrypted(plain));
    Converted out;
    out.run = test_support::run_lanwick(
        {dir.file("Names.ptx"), "-o", dir.file("Names.rpp"), "--no-pause"});
    out.project = read_file(dir.file("Names.rpp"));
    return out;
}

// Every track written under its own name, unmuted, with its clips unmuted.
void expect_no_alternates(const Converted& c, int tracks) {
    ASSERT_EQ(c.run.exit_code, 0) << c.run.out;
    EXPECT_EQ(count_of(c.project, "\n  <TRACK "), tracks);
    EXPECT_FALSE(has(c.project, "[alt playlist]")) << c.run.out;
    EXPECT_FALSE(has(c.project, "    MUTESOLO 1 "));
    EXPECT_FALSE(has(c.project, "      MUTE 1 "));
    EXPECT_FALSE(has(c.run.out, "alternate playlist")) << c.run.out;
}

// Forty one-clip tracks whose track list begins a few names before byte 400,000 and ends past it:
// the run of names reaches the end of the first 400,000 bytes without a gap and goes on.
TEST(TrackNameRunProgram, ATrackListAcrossByte400000KeepsEveryTrackItsOwn) {
    mix_session::MixShape shape{.tracks = 40, .clips_per_track = 1, .files = 8};
    // The audio files before it move the track list on; it starts about 200 bytes before the
    // boundary, found by the secant of two counts of files.
    const auto list_at = [&](int files) {
        shape.files = files;
        return static_cast<double>(mix_session::plain_session(shape).find("Track 1"));
    };
    double low = 8, high = 8000, at_low = list_at(8), at_high = list_at(8000);
    for (int round = 0; round < 3; ++round) {
        const double files = low + (399800 - at_low) * (high - low) / (at_high - at_low);
        low = high;
        at_low = at_high;
        high = std::floor(files);
        at_high = list_at(static_cast<int>(high));
    }
    while (list_at(shape.files) > 399850) --shape.files;
    const std::string plain = mix_session::plain_session(shape);
    const std::size_t first = plain.find("Track 1");
    ASSERT_LT(first, 400000u);
    ASSERT_GT(plain.find("Track 40"), 400000u);  // the last name of the list
    expect_no_alternates(convert(plain), 40);
}

// The whole-file clip "Vox" of an import stands in the clip list before the track list, apart
// from the other clips' names; the track list, not that one name, holds the session's tracks.
TEST(TrackNameRunProgram, AClipNamedLikeItsTrackDoesNotHideTheTrackList) {
    using namespace walk_blocks;
    using namespace test_placements;
    using namespace test_blocks;
    const std::vector<FileEntry> files = {{"Vox.wav", "EVAW"}, {"Gtr.wav", "EVAW"}};
    const std::string regions =
        region_list({audio_region("Vox", 0, 96000, 0, 0), audio_region("Gtr_01", 0, 96000, 0, 1)});
    const std::string plain =
        session_header() + lead_block() + version_block(12) + z_block(0x7777, zeros(5000)) +
        rate_block(48000) + audio_files_block(2, files, {480000, 480000}) + regions +
        z_block(0x7777, zeros(64)) +
        track_list({track_entry("Vox", {0}), track_entry("Gtr", {1})}) +
        placement_tracks({clip_list("Vox", {clip_at(0, 0)}), clip_list("Gtr", {clip_at(1, 0)})}) +
        z_block(0x7777, zeros(55));
    const Converted c = convert(plain);
    expect_no_alternates(c, 2);
    EXPECT_TRUE(has(c.project, "    NAME \"Vox\"\n")) << c.project;
    EXPECT_TRUE(has(c.project, "    NAME \"Gtr\"\n")) << c.project;
}

}  // namespace
