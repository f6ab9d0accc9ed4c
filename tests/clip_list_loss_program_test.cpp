// Clip lists the program cannot read, and tracks no clip list is given to, from the whole program
// on damaged copies of a real session: the clips are still written, and the console and the
// report say what they lost. Playlists the walk refuses: their clips are named, by track.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "mixer_builder.h"
#include "platform/ptformat.h"
#include "test_support.h"

namespace {

using test_support::read_file;
using test_support::TempDir;

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

std::uint32_t u32_at(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    return static_cast<std::uint32_t>(bytes[at]) | static_cast<std::uint32_t>(bytes[at + 1]) << 8 |
           static_cast<std::uint32_t>(bytes[at + 2]) << 16 |
           static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

// A clip list (0x1052) of the decrypted session, by its name: where its children begin and where
// the list ends.
struct ListAt {
    std::size_t first_child = 0;
    std::size_t end = 0;
};

ListAt clip_list_named(const std::vector<std::uint8_t>& bytes, const std::string& name) {
    std::string head = "\x52\x10" + std::string(4, '\0') + name;
    head[2] = static_cast<char>(name.size());
    const std::string text(bytes.begin(), bytes.end());
    const std::size_t at = text.find(head);
    if (at == std::string::npos || at < 7) return {};
    const std::size_t marker = at - 7;
    return {at + head.size() + 4, marker + 7 + u32_at(bytes, marker + 3)};
}

// Damaged decrypted bytes, encrypted again as a session in `dir` and converted with a report
// ("Damaged-vantrel-report.txt").
test_support::RunResult convert_damaged(std::vector<std::uint8_t> bytes, const TempDir& dir) {
    ptf_xor_crypt(bytes);
    const std::string session = dir.file("Damaged.ptx");
    test_support::write_file(session, std::string(bytes.begin(), bytes.end()));
    return test_support::run_lanwick(
        {session, "-o", dir.file("Damaged.rpp"), "--report", "--no-pause"});
}

// RegionTest's clip list of its track "Track_Name": a fade placement, then its one clip.
constexpr const char* kList = "Track_Name";
// A list that fails its framing yields no record: the clips still come from the walk, and the
// tracks then left without a list are named.
TEST(ClipListLossProgram, DamagedListsAreNamedWithWhatTheirClipsLose) {
    struct Case {
        const char* what;
        std::function<void(std::vector<std::uint8_t>&, const ListAt&)> damage;
    } cases[] = {
        {"a kind byte of 3",
         [](std::vector<std::uint8_t>& b, const ListAt& l) { b[l.end - 2] = 3; }},
        {"a child count past the list's children",
         [](std::vector<std::uint8_t>& b, const ListAt& l) { b[l.first_child - 4] = 5; }},
    };
    const std::vector<std::uint8_t> plain = mixer_blocks::real_session("RegionTest.ptx");
    if (plain.empty())
        GTEST_SKIP() << "real session RegionTest.ptx not found under " << LANWICK_SESSIONS_DIR
                     << "; skipped";
    const ListAt list = clip_list_named(plain, kList);
    ASSERT_NE(list.end, 0u);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::uint8_t> bytes = plain;
        c.damage(bytes, list);
        TempDir dir;
        const auto run = convert_damaged(std::move(bytes), dir);
        ASSERT_EQ(run.exit_code, 0) << run.out << run.err;
        // Every clip is still written.
        EXPECT_TRUE(has(run.out, " tracks, 7 clips, 0 MIDI notes\n")) << run.out;
        EXPECT_TRUE(
            has(run.out,
                "  WARNING: 1 clip list(s) of this session could not be read (damaged, or\n"
                "      nested too deep to walk). The clips on their tracks are written where\n"
                "      the session places them, but WITHOUT what the list holds: clip locks,\n"))
            << run.out;
        EXPECT_TRUE(has(run.out,
                        "  WARNING: 2 track(s) matched none of the session's clip lists, so their\n"
                        "      clips are written WITHOUT clip locks, clip colors, fades and clip\n"
                        "      groups, and their time base (ticks or samples) is inferred:\n"
                        "      \"Audio 1\"\n      \"Audio 3\"\n"))
            << run.out;
        const std::string report = read_file(dir.file("Damaged-vantrel-report.txt"));
        EXPECT_TRUE(has(report,
                        "  1 clip list(s) could not be read: the clips on their tracks lack\n"
                        "  their clip locks, clip colors, fades and clip groups\n"
                        "  2 track(s) matched no clip list: their clips lack their clip locks,\n"
                        "  clip colors, fades and clip groups:\n"
                        "    Audio 1\n    Audio 3\n"))
            << report;
    }
}

// A playlist whose closing byte (two past its end) is 1 is refused, and that byte is the header
// of the block after it. On "Audio 1" that is its second playlist, whose placement is then found
// in the track itself: both clips go. On "Audio 3" the refused playlist holds a fade, no clip,
// and only the clip found in the track counts. After the last playlist of "Track_Name" the byte
// is the header of the track "Audio 1", whose playlists are then found in the list itself. Each
// is named with its track on the console and in the report, and the clip balance holds.
TEST(ClipListLossProgram, RefusedPlaylistsNameTheirClipsByTrack) {
    struct Case {
        const char* track;
        int playlist;  // the refused one, from 0
        int clips;     // written
        int refused;
        const char* rows;  // as the report gives them
    } cases[] = {
        {"Audio 1", 0, 5, 2, "Audio 1: 2 placement(s)\n"},
        {"Audio 3", 0, 6, 1, "Audio 3: 1 placement(s)\n"},
        {"Track_Name", 1, 4, 3, "Track_Name: 1 placement(s)\n    Audio 1: 2 placement(s)\n"},
    };
    const std::vector<std::uint8_t> plain = mixer_blocks::real_session("RegionTest.ptx");
    if (plain.empty())
        GTEST_SKIP() << "real session RegionTest.ptx not found under " << LANWICK_SESSIONS_DIR
                     << "; skipped";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.track);
        const ListAt list = clip_list_named(plain, c.track);
        ASSERT_NE(list.end, 0u);
        std::size_t playlist_end = list.first_child;
        for (int k = 0; k <= c.playlist; ++k) playlist_end += 7 + u32_at(plain, playlist_end + 3);
        std::vector<std::uint8_t> bytes = plain;
        ASSERT_NE(bytes[playlist_end + 2], 1);
        bytes[playlist_end + 2] = 1;
        TempDir dir;
        const auto run = convert_damaged(std::move(bytes), dir);
        ASSERT_EQ(run.exit_code, 0) << run.out << run.err;
        EXPECT_TRUE(has(run.out, " tracks, " + std::to_string(c.clips) + " clips, 0 MIDI notes\n"))
            << run.out;
        const std::string count = std::to_string(c.refused);
        EXPECT_TRUE(
            has(run.out, "  WARNING: " + count +
                             " clip placement(s) were NOT written: the session's record of\n"
                             "      their playlist or its track is damaged (or the file ends "
                             "inside it),\n"
                             "      so where they lie cannot be read. Place them again from Pro "
                             "Tools:\n      \"" +
                             c.track + "\": "))
            << run.out;
        EXPECT_FALSE(has(run.out, "fault of this build")) << run.out;
        const std::string report = read_file(dir.file("Damaged-vantrel-report.txt"));
        const std::string section = "  " + count +
                                    " clip placement(s) NOT written: the session's record of "
                                    "their\n  playlist or its track is damaged; place them "
                                    "again from Pro Tools:\n    " +
                                    c.rows;
        EXPECT_TRUE(has(report, section)) << report;
        // Under NEEDS A LOOK, beside the clip-list sections.
        EXPECT_LT(report.find("NEEDS A LOOK"), report.find(section));
    }
}

// The first block of `content_type` from `from` on whose bytes the session holds: its marker's
// position, or 0.
std::size_t first_block_of_from(const std::vector<std::uint8_t>& bytes, std::uint16_t content_type,
                                std::size_t from) {
    for (std::size_t q = from; q + 9 <= bytes.size(); ++q) {
        if (bytes[q] == 'Z' && (bytes[q + 7] | bytes[q + 8] << 8) == content_type &&
            q + 7 + u32_at(bytes, q + 3) <= bytes.size())
            return q;
    }
    return 0;
}

std::size_t first_block_of(const std::vector<std::uint8_t>& bytes, std::uint16_t content_type) {
    return first_block_of_from(bytes, content_type, 20);
}

// One byte of the content type of a placement container (the audio tracks' 0x1054, the MIDI
// tracks' 0x1058) damaged: nothing places the clips of its playlists. The console and the
// report count them, and the conversion still ends well.
TEST(ClipListLossProgram, AContainerThatCannotBeReadCountsItsPlaylistsClips) {
    struct Case {
        const char* session;
        std::uint16_t container;
        const char* console;
        const char* report;
    } cases[] = {
        {"RegionTest.ptx", 0x1054,
         "  WARNING: 7 clip(s) on the session's playlists were NOT written: the\n"
         "      session's record of where its tracks' clips lie is damaged (or the\n",
         "  7 clip(s) on the session's playlists NOT written: the session's record\n"
         "  of where its tracks' clips lie is damaged; place them again from Pro Tools\n"},
        {"TestPTX.ptx", 0x1058,
         "  WARNING: 3 MIDI clip(s) on the session's playlists were NOT written: the\n"
         "      session's record of where its tracks' clips lie is damaged (or the\n",
         "  3 MIDI clip(s) on the session's playlists NOT written: the session's\n"
         "  record of where its tracks' clips lie is damaged; place them again from\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.session);
        std::vector<std::uint8_t> bytes = mixer_blocks::real_session(c.session);
        if (bytes.empty())
            GTEST_SKIP() << "real session " << c.session << " not found under "
                         << LANWICK_SESSIONS_DIR << "; skipped";
        const std::size_t at = first_block_of(bytes, c.container);
        ASSERT_NE(at, 0u);
        bytes[at + 7] ^= 0x80;
        TempDir dir;
        const auto run = convert_damaged(std::move(bytes), dir);
        ASSERT_EQ(run.exit_code, 0) << run.out << run.err;
        EXPECT_TRUE(has(run.out, c.console)) << run.out;
        const std::string report = read_file(dir.file("Damaged-vantrel-report.txt"));
        EXPECT_TRUE(has(report, c.report)) << report;
        EXPECT_LT(report.find("NEEDS A LOOK"), report.find(c.report));
    }
}

}  // namespace

namespace {

// The first placement (0x104F) after the marker at `from`, skipping `skip` of them.
std::size_t placement_after(const std::vector<std::uint8_t>& bytes, std::size_t from, int skip) {
    std::size_t at = from;
    for (int k = 0; k <= skip; ++k) {
        at = first_block_of_from(bytes, 0x104F, at + 1);
        if (at == 0) return 0;
    }
    return at;
}

}  // namespace

// One changed byte in a placement, or a container whose size byte is damaged short: every clip
// the session holds is written or named with its count, on the console and in the report.
TEST(ClipListLossProgram, ADamagedPlacementOrAShortenedContainerNamesEveryLostClip) {
    struct Case {
        const char* what;
        const char* session;
        std::function<void(std::vector<std::uint8_t>&)> damage;
        int written;  // items
        const char* console;
        const char* report;
    } cases[] = {
        {"the content type of Track_Name's clip placement 0x4F -> 0x50", "RegionTest.ptx",
         [](std::vector<std::uint8_t>& b) {
             b[placement_after(b, first_block_of(b, 0x1054), 1) + 7] = 0x50;
         },
         6,
         "  WARNING: 1 clip placement(s) were NOT written: the session's record of\n"
         "      their playlist or its track is damaged (or the file ends inside it),\n"
         "      so where they lie cannot be read. Place them again from Pro Tools:\n"
         "      \"Track_Name\": 1 placement(s)\n",
         "    Track_Name: 1 placement(s)\n"},
        {"the content type of MIDI 1's placement 0x4F -> 0x50", "TestPTX.ptx",
         [](std::vector<std::uint8_t>& b) {
             b[placement_after(b, first_block_of(b, 0x1058), 0) + 7] = 0x50;
         },
         5, "      MIDI \"MIDI 1\": 1 placement(s)\n", "    MIDI MIDI 1: 1 placement(s)\n"},
        {"0x1054's size byte 03 -> 02: a list straddles the new end", "RegionTest.ptx",
         [](std::vector<std::uint8_t>& b) { b[first_block_of(b, 0x1054) + 4] = 0x02; }, 5,
         "  WARNING: 2 clip(s) on the session's playlists were NOT written: the\n",
         "  2 clip(s) on the session's playlists NOT written: the session's record\n"},
        {"0x1054's size byte 03 -> 00: the first list straddles it", "RegionTest.ptx",
         [](std::vector<std::uint8_t>& b) { b[first_block_of(b, 0x1054) + 4] = 0x00; }, 0,
         "  WARNING: 7 clip(s) on the session's playlists were NOT written: the\n",
         "  7 clip(s) on the session's playlists NOT written: the session's record\n"},
        {"0x1058's low size byte -> 00: the last MIDI list straddles it", "TestPTX.ptx",
         [](std::vector<std::uint8_t>& b) { b[first_block_of(b, 0x1058) + 3] = 0x00; }, 5,
         "  WARNING: 1 MIDI clip(s) on the session's playlists were NOT written: the\n",
         "  1 MIDI clip(s) on the session's playlists NOT written: the session's\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::uint8_t> bytes = mixer_blocks::real_session(c.session);
        if (bytes.empty())
            GTEST_SKIP() << "real session " << c.session << " not found under "
                         << LANWICK_SESSIONS_DIR << "; skipped";
        c.damage(bytes);
        TempDir dir;
        const auto run = convert_damaged(std::move(bytes), dir);
        ASSERT_EQ(run.exit_code, 0) << run.out << run.err;
        const std::string project = read_file(dir.file("Damaged.rpp"));
        std::size_t items = 0;
        for (std::size_t at = project.find("<ITEM"); at != std::string::npos;
             at = project.find("<ITEM", at + 1))
            ++items;
        EXPECT_EQ(items, static_cast<std::size_t>(c.written));
        EXPECT_TRUE(has(run.out, c.console)) << run.out;
        const std::string report = read_file(dir.file("Damaged-vantrel-report.txt"));
        EXPECT_TRUE(has(report, c.report)) << report;
    }
}
