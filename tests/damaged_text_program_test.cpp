// Session texts that are not UTF-8 (a damaged session) reach the project, the report and the
// console repaired: each bad byte sequence becomes U+FFFD, in track and clip names, marker names
// and track comments alike, under both ways of carrying the comments.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "mixer_builder.h"
#include "platform/ptformat.h"
#include "tempo_blocks.h"
#include "test_support.h"
#include "util/utf8_text.h"
#include "walk_builder.h"

namespace {

using test_support::read_file;
using test_support::TempDir;

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

constexpr const char* kRepaired = "\xEF\xBF\xBD";

// Names of bytes a name may hold that still do not make UTF-8: a lead byte without its
// continuation, a lone continuation byte, a sequence past U+10FFFF.
const std::string kTrack = "Vo\xC3(x";
const std::string kClip =
    "Take\x80"
    "1";
const std::string kMarker = "Verse\xF4\x90\x80\x80";
// A comment may hold any bytes.
const std::string kComment = "Lead \xFF take\nfrom \xC0\xAF Tuesday";

// A strip (0x2015) with its comment, shown in the mixer.
std::string strip_with_comment(const std::string& comment) {
    using namespace mixer_blocks;
    std::string tail = zeros(1) + "\x01" + zeros(4);
    test_blocks::append_u16le(tail, 48);
    tail += text(comment) + zeros(11);
    test_blocks::append_u16le(tail, 0);
    tail += zeros(2) + u32le(0);
    return z_block(0x2015, z_block(0x0001, "xx") + tail) + std::string(1, '\0');
}

std::string damaged_session() {
    using namespace walk_blocks;
    using namespace test_blocks;
    const std::string walk =
        region_list({audio_region(kClip, 0, 44100, 0, 0)}) +
        track_list({track_entry(kTrack, {0})}) +
        placement_tracks({placement_track(kTrack, {audio_playlist({placement(0, 0)})})});
    const std::string mixer = strip_with_comment(kComment) +
                              z_block(0x261b, z_block(0x102d, mixer_blocks::name_block(kTrack) +
                                                                  std::string{0, 1, 0} + zeros(4)));
    const std::string plain = session_header() + lead_block() + version_block(12) +
                              z_block(0x7777, zeros(5000)) + rate_block(44100) +
                              audio_files_block(1, {{"Take.wav", "EVAW"}}, {441000}) + walk +
                              mixer + location_block(kMarker, 1, 0, 0) +
                              // Room after the last block for the scanners.
                              z_block(0x7777, zeros(55));
    std::vector<std::uint8_t> bytes(plain.begin(), plain.end());
    EXPECT_TRUE(ptf_xor_crypt(bytes));
    return std::string(bytes.begin(), bytes.end());
}

TEST(DamagedTextProgram, ProjectReportAndConsoleAreUtf8) {
    TempDir dir;
    const std::string session = dir.file("Damaged.ptx");
    test_support::write_file(session, damaged_session());
    for (const char* mode : {"project", "item"}) {
        SCOPED_TRACE(mode);
        const std::string project = dir.file(std::string("Damaged-") + mode + ".rpp");
        const auto run = test_support::run_lanwick(
            {session, "-o", project, "--comments", mode, "--report", "--no-pause"});
        ASSERT_EQ(run.exit_code, 0) << run.out;
        const std::string text = read_file(project);
        const std::string report =
            read_file(dir.file(std::string("Damaged-") + mode + "-vantrel-report.txt"));
        EXPECT_TRUE(is_valid_utf8(text)) << text;
        EXPECT_TRUE(is_valid_utf8(report)) << report;
        EXPECT_TRUE(is_valid_utf8(run.out)) << run.out;
        EXPECT_TRUE(is_valid_utf8(run.err)) << run.err;

        const std::string track = repair_utf8(kTrack);
        EXPECT_EQ(track, std::string("Vo") + kRepaired + "(x");
        EXPECT_TRUE(has(text, "    NAME \"" + track + "\"\n")) << text;
        EXPECT_TRUE(has(text, "      NAME \"" + repair_utf8(kClip) + "\"\n")) << text;
        EXPECT_TRUE(has(text, " \"" + repair_utf8(kMarker) + "\" ")) << text;
        const std::string first = std::string("Lead ") + kRepaired + " take";
        const std::string second = std::string("from ") + kRepaired + kRepaired + " Tuesday";
        if (std::string(mode) == "project")
            EXPECT_TRUE(
                has(text, "  <NOTES 0 2\n    |" + track + ": " + first + "\n    |    " + second))
                << text;
        else
            EXPECT_TRUE(has(text, "        |" + first + "\n        |" + second + "\n")) << text;
        EXPECT_TRUE(has(report, "  1   " + track + " ")) << report;
        EXPECT_TRUE(has(run.out,
                        "  1 track comment(s) were not valid UTF-8 (damaged bytes): each bad byte\n"
                        "      sequence is written as U+FFFD, the replacement character; the "
                        "tracks:\n      \"" +
                            track + "\"\n"))
            << run.out;
        EXPECT_TRUE(has(run.out, "      \"" + repair_utf8(kClip) + "\"\n")) << run.out;
    }
}

}  // namespace
