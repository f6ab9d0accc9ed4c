// The damage test and the diagnostic listings: synthetic buffers for the byte rules, the real
// sessions (cut short or with a broken block chain) through the built program.
#include <gtest/gtest.h>

#include <vector>

#include "convert/reading/diagnostic_listings.h"
#include "convert/reading/session_damage.h"
#include "platform/ptformat.h"
#include "session/block_index.h"
#include "tests/test_support.h"

namespace {

using test_support::read_file;
using test_support::run_lanwick;
using test_support::TempDir;
using test_support::write_file;

// A block header: 'Z', block type 1 (high byte 0), the payload size, then `payload` bytes.
std::vector<std::uint8_t> block(std::uint32_t size, std::size_t payload) {
    std::vector<std::uint8_t> b = {0x5A,
                                   0x01,
                                   0x00,
                                   static_cast<std::uint8_t>(size),
                                   static_cast<std::uint8_t>(size >> 8),
                                   static_cast<std::uint8_t>(size >> 16),
                                   static_cast<std::uint8_t>(size >> 24)};
    b.resize(b.size() + payload, 0x11);
    return b;
}

std::vector<std::uint8_t> join(std::initializer_list<std::vector<std::uint8_t>> parts) {
    std::vector<std::uint8_t> out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

TEST(SessionDamage, FindsCutAndBrokenChainsWithAndWithoutTheIndex) {
    struct Case {
        const char* what;
        std::vector<std::uint8_t> bytes;
        SessionDamageKind kind;
        std::uint64_t after_last;  // L - E
        std::uint64_t chain_end;
    } cases[] = {
        {"two whole blocks", join({block(12, 12), block(20, 20)}), SessionDamageKind::none, 0, 46},
        {"fewer than 10 bytes", block(2, 2), SessionDamageKind::none, 9, 0},
        {"the last block cut short", join({block(12, 12), block(40, 20)}),
         SessionDamageKind::incomplete, 27, 19},
        // A junk byte between the blocks stops the chain although every block fits.
        {"a broken chain", join({block(12, 12), {0x00}, block(20, 20)}), SessionDamageKind::damaged,
         0, 19},
        // A size near 2^32 at the end is no block: its end is never taken for E.
        {"a huge size at the end", join({block(12, 12), block(0xFFFFFFF0u, 4)}),
         SessionDamageKind::incomplete, 11, 19},
    };
    for (const Case& c : cases) {
        for (const bool indexed : {false, true}) {
            const BlockIndex index(c.bytes);
            std::optional<BlockIndexScope> scope;
            if (indexed) scope.emplace(index);
            const SessionDamage d = test_session_damage(c.bytes, true);
            EXPECT_EQ(d.kind, c.kind) << c.what << (indexed ? " (indexed)" : "");
            EXPECT_EQ(d.length - d.furthest_end, c.after_last) << c.what;
            EXPECT_EQ(d.chain_end, c.chain_end) << c.what;
        }
    }
    // Without --check the chain is followed only when every block fits.
    EXPECT_EQ(test_session_damage(join({block(12, 12), block(40, 20)}), false).chain_end, 0u);
}

TEST(SessionDamage, WarningsNameWhereAndHowMuch) {
    SessionDamage cut{1000, 900, 0, SessionDamageKind::incomplete};
    EXPECT_NE(incomplete_warning(cut).find("      100 byte(s) after the last complete block."),
              std::string::npos);
    EXPECT_EQ(damaged_warning(cut), "");
    SessionDamage broken{1000, 1000, 355, SessionDamageKind::damaged};
    EXPECT_NE(damaged_warning(broken).find("Its structure breaks at byte 355, 36% of the way in"),
              std::string::npos);
    EXPECT_EQ(incomplete_warning(broken), "");
}

TEST(ControllerDump, StreamsInKeyOrderWithTotals) {
    MidiChunk chunk;
    chunk.position = 1000000000480ull;
    chunk.event_count = 2;
    for (int i = 0; i < 3; ++i) chunk.controller_events.push_back({0x0702, 10u + i, 100});
    chunk.controller_events.push_back({0x0001, 5, 200});
    chunk.controller_events.push_back({0x0001, 6, 300});
    chunk.controller_events.push_back({0x4004, 7, 60});
    const std::vector<MidiChunk> chunks = {MidiChunk{}, chunk};
    EXPECT_EQ(controller_dump_text(chunks),
              "chunk 0   notes 0     origin 0\n"
              "chunk 1   notes 2     origin 1000000000480\n"
              "    pitch bend       count 2\n"
              "    CC 007           count 3\n"
              "    aftertouch       count 1\n"
              "2 chunks, 3 streams with data, 6 events\n");
    EXPECT_EQ(controller_dump_text({}), "0 chunks, 0 streams with data, 0 events\n");
}

TEST(SessionList, MarksLibraryNamesMissingFromTheTableAndBlanksControlBytes) {
    SessionLayout layout;
    layout.audio_track_regions.push_back(TrackRegion{});
    layout.audio_track_regions.back().track_name = "Vox";
    layout.midi_track_regions.push_back(TrackRegion{});
    layout.midi_track_regions.back().track_name = "Keys\x1b[2J";
    layout.midi_track_regions.push_back(layout.audio_track_regions.back());
    const std::vector<std::string> table = {"Vox", "Bass\n"};
    const std::vector<std::string> buses = {"Bus 1-2"};
    SessionListInput in;
    in.tempo = 97.5;
    in.sample_rate = 96000;
    in.track_table = table;
    in.buses = buses;
    in.layout = &layout;
    EXPECT_EQ(session_list_text(in),
              "\n  tempo 97.5 BPM, 96000 Hz\n\n  session track table (2):\n"
              "     0  Vox\n     1  Bass \n"
              "\n  buses (1): Bus 1-2 | "
              "\n\n  libptformat track names (2 unique):\n"
              "    Keys [2J                           <- not in table\n"
              "    Vox                                \n");
}

// --- The built program on the real sessions --------------------------------------------------

std::size_t count_of(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

TEST(SessionDamageProgram, RealSessionsAreWhole) {
    for (const char* name :
         {"RegionTest.ptx", "TestPTX.ptx", "MetadataFields.ptx", "Untitled32.ptx"}) {
        const std::string session = test_support::real_session(name);
        if (session.empty()) continue;
        auto r = run_lanwick({session, "--check", "--no-pause"});
        EXPECT_EQ(r.exit_code, 0) << name;
        EXPECT_EQ(count_of(r.out, "damage "), 1u) << name;
        EXPECT_EQ(r.out.rfind("damage none\n", 0), 0u) << name << "\n" << r.out;
        EXPECT_EQ(count_of(r.out, "***"), 0u) << name;
    }
}

TEST(SessionDamageProgram, CutAndBrokenCopiesWarnAndConvert) {
    REQUIRE_SESSION(original, "RegionTest.ptx");
    TempDir dir;
    const std::string bytes = read_file(original);
    write_file(dir.file("cut.ptx"), bytes.substr(0, 30000));
    // The 'Z' of a top-level block zeroed in the decrypted bytes, encrypted again.
    std::vector<std::uint8_t> plain(bytes.begin(), bytes.end());
    ASSERT_TRUE(ptf_xor_crypt(plain));
    ASSERT_EQ(plain[14430], 0x5A);
    plain[14430] = 0;
    ASSERT_TRUE(ptf_xor_crypt(plain));
    write_file(dir.file("broken.ptx"), std::string(plain.begin(), plain.end()));

    struct Case {
        const char* file;
        const char* word;
        const char* warning;
    } cases[] = {
        {"cut.ptx", "incomplete",
         "  *** THIS SESSION FILE LOOKS INCOMPLETE ***\n"
         "      31 byte(s) after the last complete block."},
        {"broken.ptx", "damaged",
         "  *** THIS SESSION FILE IS DAMAGED ***\n"
         "      Its structure breaks at byte 14430, 35% of the way in"},
    };
    for (const Case& c : cases) {
        auto converted = run_lanwick({dir.file(c.file), "-o", "out.rpp", "--no-pause"});
        EXPECT_EQ(converted.exit_code, 0) << c.file;
        EXPECT_EQ(count_of(converted.out, c.warning), 1u) << c.file << "\n" << converted.out;
        EXPECT_EQ(count_of(converted.out, "damage "), 0u) << c.file;
        auto checked = run_lanwick({dir.file(c.file), "--check", "--no-pause"});
        const std::size_t word = checked.out.find(std::string("damage ") + c.word + "\n");
        ASSERT_NE(word, std::string::npos) << c.file << "\n" << checked.out;
        EXPECT_LT(word, checked.out.find(c.warning)) << c.file;
    }
    // The controller listing comes before the --list tables and the damage warning.
    auto listed =
        run_lanwick({dir.file("broken.ptx"), "--check", "--list", "--dump-cc", "--no-pause"});
    const std::size_t dump = listed.out.find(" chunks, 0 streams with data, 0 events\n");
    ASSERT_NE(dump, std::string::npos) << listed.out;
    const std::size_t list = listed.out.find("\n  tempo 120 BPM, ");
    const std::size_t warning = listed.out.find("  *** THIS SESSION FILE IS DAMAGED ***\n");
    ASSERT_NE(list, std::string::npos) << listed.out;
    ASSERT_NE(warning, std::string::npos) << listed.out;
    EXPECT_LT(dump, list);
    EXPECT_LT(dump, warning);
}

TEST(ListingsProgram, ControllerDumpOfRealSessions) {
    REQUIRE_SESSION(midi, "TestPTX.ptx");
    REQUIRE_SESSION(audio, "RegionTest.ptx");
    auto r = run_lanwick({midi, "--dump-cc", "--check", "--no-pause"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_NE(r.out.find("chunk 0   notes 16    origin 1000000000000\n"
                         "chunk 1   notes 9     origin 1000000000000\n"
                         "chunk 2   notes 4     origin 1000000000000\n"
                         "3 chunks, 0 streams with data, 0 events\n"),
              std::string::npos)
        << r.out;
    r = run_lanwick({audio, "--dump-cc", "--check", "--no-pause"});
    EXPECT_NE(r.out.find("\n0 chunks, 0 streams with data, 0 events\n"), std::string::npos);
    EXPECT_EQ(r.out.find("chunk "), std::string::npos);
}

TEST(ListingsProgram, ListPrintsTablesAndGoesOn) {
    REQUIRE_SESSION(audio, "RegionTest.ptx");
    REQUIRE_SESSION(midi, "TestPTX.ptx");
    TempDir out;
    auto r = run_lanwick({audio, "--list", "-o", out.file("a.rpp"), "--no-pause"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_TRUE(std::filesystem::exists(out.file("a.rpp")));
    EXPECT_NE(r.out.find("\n  tempo 120 BPM, 44100 Hz\n\n  session track table (4):\n"
                         "     0  Track_Name\n     1  Audio 1\n     2  Audio 2\n     3  Audio 3\n"
                         "\n  buses (16): Bus 1-2 | "),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find(" | Output | \n\n  libptformat track names (4 unique):\n"
                         "    Audio 1                            \n"
                         "    Audio 2                            \n"
                         "    Audio 3                            \n"
                         "    Track_Name                         \n"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(r.out.find("<- not in table"), std::string::npos);

    r = run_lanwick({midi, "--list", "-o", out.file("m.rpp"), "--no-pause"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_TRUE(std::filesystem::exists(out.file("m.rpp")));
    EXPECT_NE(r.out.find("  session track table (5):\n     0  monoTone\n     1  stereoTone\n"
                         "     2  MIDI 1\n     3  MIDI 2\n     4  MIDI 3\n\n  buses (3): "),
              std::string::npos)
        << r.out;
}

TEST(ListingsProgram, LaneDumpGoesToStandardErrorOnly) {
    REQUIRE_SESSION(audio, "RegionTest.ptx");
    auto plain = run_lanwick({audio, "--check", "--no-pause"});
    test_support::RunSetup setup;
    setup.env = "PTX_DUMP_LANES=1";
    auto dumped = run_lanwick({audio, "--check", "--no-pause"}, setup);
    EXPECT_EQ(dumped.out, plain.out);
    EXPECT_EQ(plain.err.find("LANES"), std::string::npos);
    EXPECT_EQ(count_of(dumped.err, "LANES ") - count_of(dumped.err, "LANES   vol"), 4u)
        << dumped.err;
}

}  // namespace
