// Input no Pro Tools writes: a crafted file of nested block headers and chained clip lists
// converts in linear time, and a few hundred damaged copies of the real sessions (byte flips,
// planted extreme u32s, bad name bytes, truncations, from fixed seeds) convert in this process
// without a crash or a hang, every project, report, usage summary and console text they give
// being UTF-8.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "app/output.h"
#include "convert/convert_session.h"
#include "convert/run_state.h"
#include "convert/summary/usage_summary.h"
#include "model/conversion_result.h"
#include "platform/ptformat.h"
#include "tests/block_builder.h"
#include "tests/crafted_sessions.h"
#include "tests/plugin_fixtures.h"
#include "tests/test_support.h"
#include "tests/writer_test_support.h"
#include "util/utf8_text.h"

namespace {

using test_support::read_file;
using test_support::TempDir;

// An encrypted session at 48 kHz with no audio files, its blocks after the header.
std::string encrypted_session(const std::string& blocks) {
    using namespace test_blocks;
    const std::string plain = session_header() + lead_block() + version_block(12) +
                              z_block(0x7777, zeros(5000)) + rate_block(48000) +
                              audio_files_block(0, {}, {}) + blocks + zeros(64);
    std::vector<std::uint8_t> bytes(plain.begin(), plain.end());
    EXPECT_TRUE(ptf_xor_crypt(bytes));
    return std::string(bytes.begin(), bytes.end());
}

// Converts the session at `path` through the program; the processor seconds it took, which a
// loaded machine hardly moves (the bounds below lie far from both the linear and the quadratic
// cost).
double timed_conversion(const std::string& path, test_support::RunResult& run) {
    run = test_support::run_lanwick({path, "--no-pause"});
    return run.cpu_seconds;
}

TEST(CraftedSession, NestedHeadersConvertInLinearTime) {
    TempDir dir;
    const std::string path = dir.file("Nested.ptx");
    test_support::write_file(path,
                             encrypted_session(crafted_sessions::nested_header_blocks(1'000'000) +
                                               crafted_sessions::chained_lists(37'000)));
    test_support::RunResult r;
    const double seconds = timed_conversion(path, r);
    EXPECT_EQ(r.exit_code, 0) << r.out;
    // Well under a second in a release build; searched once per enclosing header, the same file
    // took hours.
    EXPECT_LT(seconds, 10.0);
}

// Shapes a search per header, send, placement or track would make quadratic: strip headers that
// overlap every strip after them, MIDI event streams whose first entry holds the rest of the
// file, a track whose first child lies past a long run (asked once per send), placements refused
// on as many tracks, many sends among many tracks, and muted tracks holding the click. The worst
// of them took minutes in a release build.
TEST(CraftedSession, OverlappingStripsAndStreamsConvertInLinearTime) {
    struct Case {
        const char* what;
        std::string blocks;
        const char* says = "";  // a console line that shows the shape was read
    } cases[] = {
        {"strips to one end", crafted_sessions::overlapping_strips(600'000, true)},
        {"strips ending later", crafted_sessions::overlapping_strips(600'000, false)},
        {"failing event streams", crafted_sessions::failing_event_streams(6'000'000)},
        {"event streams sharing their entries", crafted_sessions::chained_event_streams(1'000'000)},
        {"a track of many sends", crafted_sessions::track_of_many_sends(1'000'000),
         "1736 sends into 1 return tracks"},
        {"refused placements on many tracks", crafted_sessions::refused_on_many_tracks(2'000'000),
         "WARNING: 20000 clip placement(s) were NOT written"},
        {"many sends among many tracks", crafted_sessions::many_sends_among_many_tracks(1'000'000),
         "868 sends into 1 return"},
        {"muted tracks holding the click", crafted_sessions::muted_click_tracks(1'000'000),
         "2353 tracks, 0 clips"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        const std::string path = dir.file("Crafted.ptx");
        test_support::write_file(path, encrypted_session(c.blocks));
        test_support::RunResult r;
        const double seconds = timed_conversion(path, r);
        EXPECT_EQ(r.exit_code, 0) << r.out;
        EXPECT_NE(r.out.find(c.says), std::string::npos) << r.out;
        // Well under a second in a release build.
        EXPECT_LT(seconds, 10.0);
    }
}

// Converts in this process, quietly, with a report and a usage summary.
class DamagedSessions : public writer_test::WriterTest {
  protected:
    // Every text the conversion of `plain` (decrypted bytes) gave is UTF-8.
    void convert_and_check(const std::vector<std::uint8_t>& plain, const std::string& what) {
        std::vector<std::uint8_t> bytes = plain;
        ptf_xor_crypt(bytes);
        const std::string session = dir_.file("Damaged.ptx");
        const std::string project = dir_.file("Damaged.rpp");
        test_support::write_file(session, std::string(bytes.begin(), bytes.end()));
        std::remove(project.c_str());
        ConvertOptions options;
        options.input_path = session;
        options.output_path = project;
        options.overwrite = 1;
        options.report = 1;
        ConversionResult result;
        const int code = convert_session(options, &result, nullptr);
        EXPECT_TRUE(code == 0 || code == 1) << what;
        EXPECT_TRUE(is_valid_utf8(result.console_text)) << what;
        EXPECT_TRUE(is_valid_utf8(result.report_text)) << what;
        EXPECT_TRUE(is_valid_utf8(usage_summary_line(code, run_outcome.usage_body))) << what;
        if (code == 0) {
            EXPECT_TRUE(is_valid_utf8(read_file(project))) << what;
        }
        ++converted_;
        if (!utf8_repairs.names.empty()) ++repaired_;
    }

    plugin_fixtures::HermeticFolders hermetic_;  // no plug-in cache or table of the machine's
    TempDir dir_;
    int converted_ = 0;
    int repaired_ = 0;  // conversions that wrote a repaired name
};

// The ways a copy is damaged; each draws its positions from the copy's own generator.
enum class Damage { flips, extreme_u32s, name_bytes, truncation };

// Where the names the undamaged session's project shows (its NAME lines) stand in its bytes.
struct TextSpan {
    std::size_t at = 0, length = 0;
};

std::vector<TextSpan> name_spans(const std::vector<std::uint8_t>& bytes,
                                 const std::string& project) {
    const std::string held(bytes.begin(), bytes.end());
    std::vector<TextSpan> spans;
    for (std::size_t line = project.find("NAME \""); line != std::string::npos;
         line = project.find("NAME \"", line + 1)) {
        const std::size_t first = line + 6;
        const std::string name = project.substr(first, project.find('"', first) - first);
        if (name.empty()) continue;
        for (std::size_t at = held.find(name, 20); at != std::string::npos;
             at = held.find(name, at + 1))
            spans.push_back({at, name.size()});
    }
    return spans;
}

void damage(std::vector<std::uint8_t>& bytes, Damage kind, const std::vector<TextSpan>& texts,
            std::mt19937& random) {
    // The clear header (the first 20 bytes) is left: the copy must still decrypt.
    const auto position = [&] { return 20 + random() % (bytes.size() - 20); };
    switch (kind) {
        case Damage::flips:
            for (int n = 1 + random() % 16; n > 0; --n)
                bytes[position()] ^= static_cast<std::uint8_t>(1 + random() % 255);
            break;
        case Damage::extreme_u32s: {
            static const std::uint32_t values[] = {0xFFFFFFFFu, 0x7FFFFFFFu, 0x80000000u,
                                                   0xFFFFFFFEu, 0x00010000u, 0};
            // Often where a block's size or a list's count stands: 3 bytes after a marker.
            for (int n = 1 + random() % 4; n > 0; --n) {
                std::size_t at = position();
                if (random() % 2 == 0) {
                    for (std::size_t q = at; q + 7 < bytes.size(); ++q)
                        if (bytes[q] == 'Z') {
                            at = q + 3 + random() % 14;
                            break;
                        }
                }
                const std::uint32_t v = values[random() % std::size(values)];
                for (int i = 0; i < 4 && at + i < bytes.size(); ++i)
                    bytes[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
            }
            break;
        }
        case Damage::name_bytes: {
            // Bytes UTF-8 cannot hold there, into the session's names: most of them bytes a name
            // may hold (a lead or continuation byte out of place), so that the name still reads.
            static const std::uint8_t bad[] = {0x80, 0xBF, 0xC3, 0xE9, 0xED, 0xF4, 0xFF};
            if (texts.empty()) break;
            for (int n = 1 + random() % 6; n > 0; --n) {
                const TextSpan& text = texts[random() % texts.size()];
                bytes[text.at + random() % text.length] = bad[random() % std::size(bad)];
            }
            break;
        }
        case Damage::truncation:
            bytes.resize(20 + random() % (bytes.size() - 20));
            break;
    }
}

TEST_F(DamagedSessions, NoCrashNoHangAndEveryTextIsUtf8) {
    const char* names[] = {"RegionTest.ptx", "TestPTX.ptx", "Untitled32.ptx", "MetadataFields.ptx"};
    constexpr int kCopiesPerDamage = 20;
    int sessions = 0;
    for (const char* name : names) {
        const std::string path = test_support::real_session(name);
        if (path.empty()) continue;
        ++sessions;
        PTFFormat session;
        ASSERT_EQ(session.unxor(path), 0) << name;
        convert_and_check(session.bytes(), name);
        const std::vector<TextSpan> texts =
            name_spans(session.bytes(), read_file(dir_.file("Damaged.rpp")));
        for (const Damage kind :
             {Damage::flips, Damage::extreme_u32s, Damage::name_bytes, Damage::truncation}) {
            for (int copy = 0; copy < kCopiesPerDamage; ++copy) {
                std::mt19937 random(
                    static_cast<std::uint32_t>(1000 * static_cast<int>(kind) + copy));
                std::vector<std::uint8_t> bytes = session.bytes();
                damage(bytes, kind, texts, random);
                convert_and_check(bytes, std::string(name) + " damage " +
                                             std::to_string(static_cast<int>(kind)) + " copy " +
                                             std::to_string(copy));
            }
        }
    }
    if (sessions == 0)
        GTEST_SKIP() << "no real session under " << LANWICK_SESSIONS_DIR << "; skipped";
    // Each session whole, then its damaged copies.
    EXPECT_EQ(converted_, sessions * (1 + 4 * kCopiesPerDamage));
    // The bad name bytes reach the project on some copies: the repair is exercised.
    EXPECT_GT(repaired_, 0);
    std::printf("%d of %d conversions wrote a repaired name\n", repaired_, converted_);
}

}  // namespace
