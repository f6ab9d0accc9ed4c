// Placement containers of every size, from the whole program: the audio tracks' clip lists
// (0x1052 inside 0x1054) and the MIDI tracks' (0x1057 inside 0x1058) as Pro Tools writes them.
// A container whose size has 0x5A in its second byte holds a 'Z' inside its own size field; the
// blocks that would start there are no children of it, and every clip is written.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "mix_session.h"
#include "placement_builder.h"
#include "platform/ptformat.h"
#include "test_support.h"
#include "walk_builder.h"

namespace {

using test_support::read_file;
using test_support::TempDir;

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

std::size_t count_of(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

std::uint32_t u32_at(const std::string& bytes, std::size_t at) {
    const auto byte = [&](std::size_t i) {
        return static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes[at + i]));
    };
    return byte(0) | byte(1) << 8 | byte(2) << 16 | byte(3) << 24;
}

// The payload size of the first block of `content_type` in the decrypted session that fits.
std::uint32_t container_size(const std::string& plain, std::uint16_t content_type) {
    for (std::size_t q = 20; q + 9 <= plain.size(); ++q) {
        if (plain[q] != 'Z' || static_cast<std::uint8_t>(plain[q + 7]) != (content_type & 0xFF) ||
            static_cast<std::uint8_t>(plain[q + 8]) != content_type >> 8)
            continue;
        const std::uint32_t size = u32_at(plain, q + 3);
        if (q + 7 + size <= plain.size()) return size;
    }
    return 0;
}

// The size lies where a 'Z' stands in its second byte, and the block that would start there
// (its type the size's upper bytes, its size the content type and the track count's low bytes)
// fits inside the container.
void expect_in_window(std::uint32_t size, std::uint16_t content_type, std::uint32_t tracks) {
    EXPECT_EQ((size >> 8) & 0xFF, 0x5Au) << size;
    EXPECT_GE(std::uint64_t{size}, 4u + content_type + 65536ull * (tracks & 0xFFFF)) << size;
}

std::string encrypted(std::string plain) {
    std::vector<std::uint8_t> bytes(plain.begin(), plain.end());
    EXPECT_TRUE(ptf_xor_crypt(bytes));
    return std::string(bytes.begin(), bytes.end());
}

struct Converted {
    test_support::RunResult run;
    std::string project;
    std::string report;
};

Converted convert(const TempDir& dir, const std::string& plain) {
    const std::string session = dir.file("Dense.ptx");
    test_support::write_file(session, encrypted(plain));
    Converted out;
    out.run =
        test_support::run_lanwick({session, "-o", dir.file("Dense.rpp"), "--report", "--no-pause"});
    out.project = read_file(dir.file("Dense.rpp"));
    out.report = read_file(dir.file("Dense-vantrel-report.txt"));
    return out;
}

TEST(PlacementContainerProgram, AudioContainersOfAnySizeWriteEveryClip) {
    struct Case {
        int tracks;
        int clips_per_track;
    } cases[] = {
        {1, 1073},  // a container of 88,637 bytes: 0x15A3D
        {3, 886},   // 219,699 bytes: 0x35A33
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.tracks) + " track(s) of " +
                     std::to_string(c.clips_per_track) + " clips");
        mix_session::MixShape shape;
        shape.tracks = c.tracks;
        shape.clips_per_track = c.clips_per_track;
        shape.automation_points = 2;
        shape.tempo_entries = 1;
        shape.locations = 0;
        const std::string plain = mix_session::plain_session(shape);
        expect_in_window(container_size(plain, 0x1054), 0x1054,
                         static_cast<std::uint32_t>(c.tracks));
        TempDir dir;
        const Converted r = convert(dir, plain);
        ASSERT_EQ(r.run.exit_code, 0) << r.run.out;
        const int clips = c.tracks * c.clips_per_track;
        EXPECT_EQ(count_of(r.project, "<ITEM"), static_cast<std::size_t>(clips));
        EXPECT_TRUE(has(r.run.out, "\n  " + std::to_string(c.tracks) + " tracks, " +
                                       std::to_string(clips) + " clips, 0 MIDI notes\n"))
            << r.run.out;
        EXPECT_FALSE(has(r.run.out, "NOT written")) << r.run.out;
        EXPECT_FALSE(has(r.report, "NOT written")) << r.report;
    }
}

TEST(PlacementContainerProgram, MidiContainersOfAnySizeWriteEveryClip) {
    using namespace walk_blocks;
    using test_blocks::kOrigin;
    using test_blocks::u32le;
    using test_blocks::z_block;
    using test_blocks::zeros;
    constexpr int kClips = 1612;  // a container of 88,687 bytes: 0x15A6F
    std::vector<test_placements::TestPlacement> placed;
    for (int i = 0; i < kClips; ++i)
        placed.push_back(test_placements::ticks(
            test_placements::clip_at(0, kOrigin + 960000ull * 4 * static_cast<unsigned>(i))));
    const std::string container =
        midi_placement_tracks({test_placements::clip_list("Keys", placed, -1, 0x1057, 0x1056)});
    const std::string walk =
        track_order({"Keys"}) + z_block(0x2620, z_block(0x2619, u32le(4) + "Keys" + zeros(4))) +
        z_block(0x2000, zeros(4) + midi_chunk({{kOrigin, 60, 240000, 100}}) +
                            z_block(0x2633, midi_region("Keys-01", kOrigin, 960000, 0))) +
        container + zeros(64);
    using namespace test_blocks;
    const std::string plain = session_header() + lead_block() + version_block(12) +
                              z_block(0x7777, zeros(5000)) + rate_block(48000) +
                              audio_files_block(0, {}, {}) + walk;
    expect_in_window(container_size(plain, 0x1058), 0x1058, 1);
    TempDir dir;
    const Converted r = convert(dir, plain);
    ASSERT_EQ(r.run.exit_code, 0) << r.run.out;
    EXPECT_EQ(count_of(r.project, "<ITEM"), static_cast<std::size_t>(kClips));
    EXPECT_TRUE(
        has(r.run.out, "\n  1 tracks, 0 clips, " + std::to_string(kClips) + " MIDI notes\n"))
        << r.run.out;
    EXPECT_FALSE(has(r.run.out, "had no clips")) << r.run.out;
}

// A MIDI track record (0x1057) or a MIDI playlist (0x1056) whose header is damaged: its
// placements are named with their track, on the console and in the report, as on audio tracks.
TEST(PlacementContainerProgram, DamagedMidiRecordsNameTheirPlacements) {
    using namespace walk_blocks;
    using test_blocks::kOrigin;
    using test_blocks::u32le;
    using test_blocks::z_block;
    using test_blocks::zeros;
    struct Case {
        const char* what;
        std::uint16_t track_type;
        std::uint16_t playlist_type;
    } cases[] = {
        {"a damaged track record", 0x1059, 0x1056},
        {"a damaged playlist", 0x1057, 0x1055},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string track =
            z_block(c.track_type,
                    named("Keys") + u32le(1) +
                        playlist(c.playlist_type, {placement(0, kOrigin, kTicks),
                                                   placement(0, kOrigin + 3840000, kTicks)}),
                    3);
        const std::string walk =
            track_order({"Keys"}) +
            z_block(0x2620, z_block(0x2619, u32le(4) + "Keys" + zeros(4))) +
            z_block(0x2000, zeros(4) + midi_chunk({{kOrigin, 60, 240000, 100}}) +
                                z_block(0x2633, midi_region("Keys-01", kOrigin, 960000, 0))) +
            z_block(0x1058, u32le(1) + track) + zeros(64);
        using namespace test_blocks;
        const std::string plain = session_header() + lead_block() + version_block(12) +
                                  z_block(0x7777, zeros(5000)) + rate_block(48000) +
                                  audio_files_block(0, {}, {}) + walk;
        TempDir dir;
        const Converted r = convert(dir, plain);
        ASSERT_EQ(r.run.exit_code, 0) << r.run.out;
        EXPECT_EQ(count_of(r.project, "<ITEM"), 0u);
        EXPECT_TRUE(has(r.run.out,
                        "  WARNING: 2 clip placement(s) were NOT written: the session's record of\n"
                        "      their playlist or its track is damaged (or the file ends inside it),\n"
                        "      so where they lie cannot be read. Place them again from Pro Tools:\n"
                        "      MIDI \"Keys\": 2 placement(s)\n"))
            << r.run.out;
        EXPECT_TRUE(has(r.report, "  2 clip placement(s) NOT written: the session's record of their\n"
                                  "  playlist or its track is damaged; place them again from Pro "
                                  "Tools:\n    MIDI Keys: 2 placement(s)\n"))
            << r.report;
    }
}

}  // namespace

namespace {

// The names that follow `key` in the project, in order (`NAME "Take 3"` gives "Take 3").
std::vector<std::string> names_after(const std::string& project, const std::string& key) {
    std::vector<std::string> out;
    for (std::size_t at = project.find(key); at != std::string::npos;
         at = project.find(key, at + 1)) {
        const std::size_t from = at + key.size();
        out.push_back(project.substr(from, project.find('"', from) - from));
    }
    return out;
}

// A session of MIDI tracks "Keys 1" to "Keys n", each of `clips` one-bar clips of one region,
// its lists as Pro Tools writes them.
std::string midi_session(int tracks, int clips) {
    using namespace walk_blocks;
    using test_blocks::kOrigin;
    std::vector<std::string> names;
    std::vector<std::string> lists;
    std::string kinds;
    for (int t = 0; t < tracks; ++t) {
        const std::string name = "Keys " + std::to_string(t + 1);
        names.push_back(name);
        kinds += z_block(0x2620, z_block(0x2619, u32le(static_cast<std::uint32_t>(name.size())) +
                                                     name + zeros(4)));
        std::vector<test_placements::TestPlacement> placed;
        for (int i = 0; i < clips; ++i)
            placed.push_back(test_placements::ticks(
                test_placements::clip_at(0, kOrigin + 960000ull * 4 * static_cast<unsigned>(i))));
        lists.push_back(test_placements::clip_list(name, placed, -1, 0x1057, 0x1056));
    }
    using namespace test_blocks;
    return session_header() + lead_block() + version_block(12) + z_block(0x7777, zeros(5000)) +
           rate_block(48000) + audio_files_block(0, {}, {}) + track_order(names) + kinds +
           z_block(0x2000, zeros(4) + midi_chunk({{kOrigin, 60, 240000, 100}}) +
                               z_block(0x2633, midi_region("Keys-01", kOrigin, 960000, 0))) +
           midi_placement_tracks(lists) + zeros(64);
}

}  // namespace

// Counts whose low byte is 0x5A (a block marker) at the head of a container: 90 and 346 tracks,
// one list of 2,906 entries, 6,490 regions. Each container is read by its framing, so every clip
// is written, on its own track and playing its own region, and nothing is said to be damaged.
TEST(PlacementContainerProgram, CountsOfLowByte0x5AWriteEveryClipOnItsTrack) {
    struct Case {
        int tracks;
        int clips_per_track;
        const char* what;
    } cases[] = {
        {90, 40, "90 tracks"},
        {346, 40, "346 tracks"},
        {1, 1936, "one list of 2,906 entries (clips and fades)"},
        {2, 3245, "6,490 regions"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        mix_session::MixShape shape;
        shape.tracks = c.tracks;
        shape.clips_per_track = c.clips_per_track;
        TempDir dir;
        const Converted r = convert(dir, mix_session::plain_session(shape));
        ASSERT_EQ(r.run.exit_code, 0) << r.run.out;
        const int clips = c.tracks * c.clips_per_track;
        EXPECT_TRUE(has(r.run.out, "\n  " + std::to_string(c.tracks) + " tracks, " +
                                       std::to_string(clips) + " clips, 0 MIDI notes\n"))
            << r.run.out;
        EXPECT_FALSE(has(r.run.out, "NOT written")) << r.run.out;
        EXPECT_FALSE(has(r.run.out, "damaged")) << r.run.out;
        // Track t holds clips t * clips_per_track on, each playing the region of its number.
        std::vector<std::string> tracks;
        std::vector<std::string> takes;
        for (int t = 0; t < c.tracks; ++t) tracks.push_back("Track " + std::to_string(t + 1));
        for (int k = 0; k < clips; ++k) takes.push_back("Take " + std::to_string(k));
        std::vector<std::string> named = names_after(r.project, "\n    NAME \"");
        EXPECT_EQ(named, tracks);
        EXPECT_EQ(names_after(r.project, "\n      NAME \""), takes);
    }
}

// The same for MIDI: 90 tracks of 50 clips (the 0x1058 count) and one track of 2,906 clips (its
// list's count), past the size at which the count would be taken for a child.
TEST(PlacementContainerProgram, MidiCountsOfLowByte0x5AWriteEveryClip) {
    for (const auto& [tracks, clips] : {std::pair{90, 50}, std::pair{1, 2906}}) {
        SCOPED_TRACE(std::to_string(tracks) + " MIDI track(s) of " + std::to_string(clips));
        TempDir dir;
        const Converted r = convert(dir, midi_session(tracks, clips));
        ASSERT_EQ(r.run.exit_code, 0) << r.run.out;
        EXPECT_EQ(count_of(r.project, "<ITEM"), static_cast<std::size_t>(tracks * clips));
        EXPECT_TRUE(has(r.run.out, "\n  " + std::to_string(tracks) + " tracks, 0 clips, " +
                                       std::to_string(tracks * clips) + " MIDI notes\n"))
            << r.run.out;
        EXPECT_FALSE(has(r.run.out, "NOT written")) << r.run.out;
        std::vector<std::string> names;
        for (int t = 0; t < tracks; ++t) names.push_back("Keys " + std::to_string(t + 1));
        EXPECT_EQ(names_after(r.project, "\n    NAME \""), names);
    }
}
