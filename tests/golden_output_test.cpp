// The program's whole output, byte for byte, against texts kept in tests/golden: the project and
// the console of every real session beside the checkout and of a small synthetic mix session.
// Any change to a written number, line or word shows here. Folder names that depend on where
// the test runs are written as <SESSIONS> and <DIR>.
//
// After a deliberate change of the output, LANWICK_GOLDEN_OUT=<folder> writes the new texts into
// that folder (the test then passes); copy them into tests/golden and review the difference.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/mix_session.h"
#include "tests/test_support.h"

namespace {

namespace fs = std::filesystem;
using test_support::read_file;
using test_support::TempDir;

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    if (from.empty()) return text;
    std::size_t at = text.find(from);
    while (at != std::string::npos) {
        text.replace(at, from.size(), to);
        at = text.find(from, at + to.size());
    }
    return text;
}

// Longer forms first, so that a folder inside another is replaced whole.
std::string with_placeholders(std::string text, const fs::path& dir) {
    const fs::path sessions = LANWICK_SESSIONS_DIR;
    std::error_code ec;
    const std::vector<std::pair<std::string, std::string>> folders = {
        {sessions.string(), "<SESSIONS>"},  // as the program prints a path it was given
        {fs::weakly_canonical(sessions, ec).string(), "<SESSIONS>"},
        {fs::absolute(sessions).lexically_normal().string(), "<SESSIONS>"},
        {fs::weakly_canonical(dir, ec).string(), "<DIR>"},
        {fs::absolute(dir).lexically_normal().string(), "<DIR>"},
    };
    for (const auto& [from, to] : folders) text = replaced(text, from, to);
    return text;
}

// Compares one text with its golden file, or writes it where LANWICK_GOLDEN_OUT says.
void expect_golden(const std::string& name, const std::string& text) {
    if (const char* out = std::getenv("LANWICK_GOLDEN_OUT")) {
        test_support::write_file((fs::path(out) / name).string(), text);
        return;
    }
    const fs::path golden = fs::path(LANWICK_SOURCE_DIR) / "tests" / "golden" / name;
    ASSERT_TRUE(fs::exists(golden)) << golden;
    const std::string expected = read_file(golden.string());
    if (text == expected) return;
    std::size_t at = 0;
    while (at < text.size() && at < expected.size() && text[at] == expected[at]) ++at;
    const std::size_t from = at < 200 ? 0 : at - 200;
    ADD_FAILURE() << name << " differs at byte " << at << "\n--- expected:\n"
                  << expected.substr(from, 400) << "\n--- written:\n"
                  << text.substr(from, 400);
}

// Converts the session into `dir` and checks the console text and (when written) the project.
void expect_golden_run(const std::string& name, const std::string& session, const TempDir& dir) {
    const std::string project = dir.file("out.rpp");
    const auto r = test_support::run_lanwick({session, "-o", project, "--no-pause"});
    expect_golden(name + ".console.txt", "exit " + std::to_string(r.exit_code) + "\n" +
                                             with_placeholders(r.out, dir.path()));
    if (fs::exists(project))
        expect_golden(name + ".rpp", with_placeholders(read_file(project), dir.path()));
}

TEST(GoldenOutput, RealSessionsWriteTheKeptTexts) {
    bool any = false;
    for (const char* name : {"RegionTest.ptx", "TestPTX.ptx", "Untitled32.ptx",
                             "MetadataFields.ptx", "Fa_16_48.pts", "goodplaylists2.ptf"}) {
        const std::string path = test_support::real_session(name);
        if (path.empty()) continue;
        any = true;
        SCOPED_TRACE(name);
        TempDir dir;
        expect_golden_run(name, path, dir);
    }
    if (!any) GTEST_SKIP() << "no real session under " << LANWICK_SESSIONS_DIR << "; skipped";
}

TEST(GoldenOutput, SyntheticMixSessionWritesTheKeptTexts) {
    TempDir dir;
    const fs::path song = dir.path() / "Mix";
    fs::create_directories(song / "Audio Files");
    test_support::write_file((song / "Audio Files" / "Take 1.wav").string(), "RIFF");
    const std::string session = (song / "Mix.ptx").string();
    test_support::write_file(session, mix_session::encrypted_session(mix_session::MixShape{}));
    expect_golden_run("Mix.ptx", session, dir);
}

}  // namespace
