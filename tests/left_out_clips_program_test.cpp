// Clips no item can carry (no usable length, a start past a day, no audio file) are named in the
// report's NEEDS A LOOK with their reasons, as the console names them, and the report's track
// list counts the clips written, so that its counts line and its rows agree.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/ptformat.h"
#include "test_support.h"
#include "walk_builder.h"

namespace {

using test_support::read_file;
using test_support::TempDir;

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

constexpr std::uint32_t kRate = 44100;

// Track "Vox" holds a good clip, one longer than a day, one placed 25 hours in, one whose audio
// file the session does not list, and one of no length.
std::string left_out_session() {
    using namespace walk_blocks;
    using namespace test_blocks;
    constexpr std::uint64_t kDay = std::uint64_t{kRate} * 24 * 3600;
    const std::vector<std::string> regions = {
        audio_region("Good", 0, kRate, 0, 0), audio_region("Long", 0, kDay + kRate, 0, 0),
        audio_region("Late", 0, kRate, 0, 0), audio_region("Orphan", 0, kRate, 0, 7),
        audio_region("Empty", 0, 0, 0, 0)};
    const std::vector<std::string> placements = {placement(0, 0), placement(1, 2 * kRate),
                                                 placement(2, kDay + kRate * 3600),
                                                 placement(3, 4 * kRate), placement(4, 6 * kRate)};
    const std::string walk =
        region_list(regions) + track_list({track_entry("Vox", {0})}) +
        placement_tracks({placement_track("Vox", {audio_playlist(placements)})});
    const std::string plain =
        session_header() + lead_block() + version_block(12) + z_block(0x7777, zeros(5000)) +
        rate_block(kRate) +
        audio_files_block(1, {{"Vox.wav", "EVAW"}}, {std::uint64_t{kRate} * 600}) + walk;
    std::vector<std::uint8_t> bytes(plain.begin(), plain.end());
    EXPECT_TRUE(ptf_xor_crypt(bytes));
    return std::string(bytes.begin(), bytes.end());
}

TEST(LeftOutClipsProgram, TheReportNamesEveryClipLeftOutAndCountsWhatWasWritten) {
    TempDir dir;
    const std::string session = dir.file("Left.ptx");
    test_support::write_file(session, left_out_session());
    const auto run =
        test_support::run_lanwick({session, "-o", dir.file("Left.rpp"), "--report", "--no-pause"});
    ASSERT_EQ(run.exit_code, 0) << run.out;
    const std::string report = read_file(dir.file("Left-vantrel-report.txt"));

    // The console names them.
    EXPECT_TRUE(has(run.out, "  1 tracks, 1 clips, 0 MIDI notes\n")) << run.out;
    EXPECT_TRUE(has(run.out, "      \"Late\" on \"Vox\"\n")) << run.out;
    EXPECT_TRUE(has(run.out, "      \"Orphan\" on \"Vox\"\n")) << run.out;

    // The report's counts and its row agree with the project.
    EXPECT_TRUE(has(report, "\n1 tracks (1 audio/aux, 0 instrument), 1 clips, 0 MIDI notes\n"))
        << report;
    EXPECT_TRUE(has(report, "\n  1   Vox                                    1     0   0\n"))
        << report;
    const std::string rows =
        "    \"Empty\" on \"Vox\": no usable length (zero, negative, longer than a day or "
        "unreadable)\n"
        "    \"Long\" on \"Vox\": no usable length (zero, negative, longer than a day or "
        "unreadable)\n"
        "    \"Late\" on \"Vox\": starts more than 24 hours in\n"
        "    \"Orphan\" on \"Vox\": names no audio file the session lists\n";
    EXPECT_TRUE(has(report, "\n  4 clip(s) NOT written, each with the reason:\n" + rows)) << report;
}

}  // namespace
