#include <gtest/gtest.h>

#include <filesystem>

#include "platform/ptformat.h"
#include "tests/block_builder.h"
#include "tests/test_support.h"

namespace {

namespace fs = std::filesystem;
using test_support::run_lanwick;
using test_support::TempDir;

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// Nothing but the inputs the test put there may be left in the folder.
std::size_t files_in(const fs::path& dir) {
    std::size_t n = 0;
    for (const auto& e : fs::directory_iterator(dir)) n += e.is_regular_file() ? 1 : 0;
    return n;
}

TEST(Refusal, OlderSessionFormats) {
    REQUIRE_SESSION(ptf, "goodplaylists2.ptf");
    REQUIRE_SESSION(pts, "Fa_16_48.pts");
    TempDir dir;
    std::string renamed = dir.file("Fa_16_48.ptx");
    fs::copy_file(pts, renamed);
    std::string upper = dir.file("x.PTF");
    test_support::write_file(upper, "anything at all, long enough to be read");
    for (const std::string& path : {ptf, pts, renamed, upper}) {
        auto r = run_lanwick({path});
        EXPECT_EQ(r.exit_code, 1) << path;
        EXPECT_TRUE(has(r.out, "\n  Could not convert: " + path +
                                   "\n  Reason: this is an OLDER Pro Tools session format"))
            << r.out;
        EXPECT_FALSE(has(r.out, "Not converted")) << path;
    }
    auto with_progress = run_lanwick({"--progress", renamed});
    EXPECT_TRUE(has(with_progress.out, "\n  Not converted: this is an older Pro Tools session"));
    EXPECT_TRUE(has(with_progress.err, "progress 0/6 reading\n"));
    EXPECT_FALSE(has(with_progress.err, "6/6 done"));
    EXPECT_EQ(files_in(dir.path()), 2u);
}

TEST(Refusal, MissingAndNotARegularFile) {
    TempDir dir;
    const std::string missing = dir.file("none.ptx");
    auto r = run_lanwick({missing});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.out, "\n  No such file:\n    " + missing +
                         "\n\n  If the name has spaces, put it in quotes:\n    lanwick \"My "
                         "Song.ptx\"\n");
    r = run_lanwick({"--progress", missing});
    EXPECT_TRUE(has(r.out, "Not converted: the session file was not found."));

    // A session folder dragged in place of its session file is there: no word of quotes.
    fs::create_directory(dir.file("My Song.ptx"));
    for (const std::string& folder : {dir.path().string(), dir.file("My Song.ptx")}) {
        r = run_lanwick({folder});
        EXPECT_EQ(r.exit_code, 1);
        EXPECT_EQ(r.out, "\n  Not a session file:\n    " + folder +
                             "\n\n  That is a folder. Name the .ptx file inside it:\n    "
                             "lanwick \"My Song/My Song.ptx\"\n");
    }
    r = run_lanwick({"--progress", dir.path().string()});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_TRUE(has(r.out, "\n  Not converted: a folder was given, not a session file.\n"))
        << r.out;
    EXPECT_EQ(files_in(dir.path()), 0u);
}

TEST(Refusal, EmptyFileHasItsOwnText) {
    TempDir dir;
    std::string empty = dir.file("empty.ptx");
    test_support::write_file(empty, "");
    auto r = run_lanwick({"--progress", empty});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_TRUE(has(r.out, "  Reason: the file is EMPTY (0 bytes)."));
    EXPECT_TRUE(has(r.out, "Not converted: the session file is empty (0 bytes)"));
    EXPECT_FALSE(has(r.out, "Decryption"));
    EXPECT_EQ(files_in(dir.path()), 1u);
}

TEST(Refusal, RandomBytesGetTheReasonOfTheirCode) {
    TempDir dir;
    std::string junk;
    for (int i = 0; i < 3000; ++i) junk += static_cast<char>((i * 7919 + 13) % 251);
    junk[18] = 0x07;  // no known encryption scheme
    std::string path = dir.file("junk.ptx");
    test_support::write_file(path, junk);
    auto r = run_lanwick({"--progress", path});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_TRUE(has(r.out, "\n  Could not read: " + path +
                               "\n  Reason: that session could not be decrypted - is this really "
                               "a Pro Tools session file?.  (code -1)\n  Decryption: FAILED\n"))
        << r.out;
    EXPECT_TRUE(
        has(r.out, "\n  The app that ran lanwick may offer to send this as a problem report.\n"));
    EXPECT_TRUE(has(r.err, "problem kind=unreadable the session could not be decrypted"));
    EXPECT_EQ(files_in(dir.path()), 1u);

    test_support::write_file(path, junk.substr(0, 12));
    auto tiny = run_lanwick({path});
    EXPECT_EQ(tiny.exit_code, 1);
    EXPECT_TRUE(has(tiny.out, "(code -1)"));
    // It names no address the program's makers do not have: whom to send to, in words.
    EXPECT_TRUE(has(tiny.out,
                    "\n  Please send this text and the .ptx file to whoever gave you lanwick\n"
                    "  (its maintainers) so that the session can be looked at.\n"))
        << tiny.out;
    EXPECT_FALSE(has(tiny.out, "@"));
}

}  // namespace

namespace {

// Writes an encrypted session holding a version and (when above 0) a rate block.
std::string write_session(const TempDir& dir, const std::string& name, std::uint32_t version,
                          std::uint32_t rate) {
    using namespace test_blocks;
    std::string plain = session_header() + lead_block() + version_block(version);
    if (rate > 0) plain += rate_block(rate);
    plain += zeros(64);
    std::vector<std::uint8_t> bytes = to_bytes(plain);
    ptf_xor_crypt(bytes);
    std::string path = dir.file(name);
    test_support::write_file(path, std::string(bytes.begin(), bytes.end()));
    return path;
}

TEST(Refusal, UnsupportedRateIsNamed) {
    TempDir dir;
    std::string path = write_session(dir, "slow.ptx", 12, 22050);
    auto r = run_lanwick({"--progress", path});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_TRUE(has(r.out, "  Reason: this session is at 22050 Hz, which is outside the range\n"));
    EXPECT_TRUE(has(r.out, "this text if you need 22050 Hz supported.\n"));
    EXPECT_TRUE(has(r.out, "\n  Not converted: the session is at 22050 Hz, outside the supported"));
    EXPECT_FALSE(has(r.out, "Decryption"));
    EXPECT_FALSE(has(r.err, "problem kind"));
}

TEST(Refusal, MissingRateGetsTheReasonByCodeWithDecryptionLines) {
    TempDir dir;
    std::string path = write_session(dir, "norate.ptx", 12, 0);
    auto r = run_lanwick({path});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_TRUE(has(r.out, "  Reason: that session was decrypted but the contents could not be "
                           "parsed.  (code -4)\n  Decryption: OK ("))
        << r.out;
    EXPECT_TRUE(has(r.out, "  Version byte: 12\n"));
}

TEST(Refusal, UnknownVersionLoadsOnTheSecondTry) {
    TempDir dir;
    std::string path = write_session(dir, "future.ptx", 40, 96000);
    auto r = run_lanwick({path});
    EXPECT_FALSE(has(r.out, "Could not")) << r.out;
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_TRUE(has(r.out, "\n  Read:  Pro Tools")) << r.out;
}

}  // namespace
