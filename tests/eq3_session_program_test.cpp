// Sessions of many EQ3 7-Bands through the program: the stand-ins are made ahead of the writing,
// on several threads, remembered per input; the console says so first, through to a pipe at once,
// and --progress counts them.
#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

#include "tests/eq_session.h"
#include "tests/test_support.h"

namespace {

using namespace test_support;

struct EqRun {
    std::string console, project, second;
};

EqRun convert(eq_session::Kind kind, int tracks, std::vector<std::string> options = {},
              bool merge_err = false) {
    TempDir root;
    RunSetup setup;
    setup.merge_err = merge_err;
    for (const char* name : {"home", "appdata", "current", "program"})
        std::filesystem::create_directory(root.path() / name);
    setup.home = root.file("home");
    setup.appdata = root.file("appdata");
    setup.current_dir = root.file("current");
    setup.program_dir = root.file("program");
    const std::string session = root.file("Eq.ptx");
    write_file(session, eq_session::encrypted(kind, tracks));
    std::vector<std::string> args = {session, "-o", root.file("Eq.rpp"), "--no-pause"};
    args.insert(args.end(), options.begin(), options.end());
    const auto r = run_lanwick(args, setup);
    EXPECT_EQ(r.exit_code, 0) << r.out;
    return {r.out, read_file(root.file("Eq.rpp")), read_file(root.file("Eq-2nd.rpp"))};
}

// The text of every ReaEQ block, from its opening line to its closing one.
std::vector<std::string> reaeq_blocks(const std::string& project) {
    std::vector<std::string> blocks;
    for (std::size_t at = project.find("<VST \"VST: ReaEQ"); at != std::string::npos;
         at = project.find("<VST \"VST: ReaEQ", at + 1)) {
        const std::size_t end = project.find("\n      >\n", at);
        blocks.push_back(project.substr(at, end - at));
    }
    return blocks;
}

TEST(Eq3SessionProgram, ManyDifferentStandInsAreAnnouncedAndTheSecondPassMatches) {
    // Gentle bells, which need no fit: the test looks at the making, not at the fits.
    const EqRun run = convert(eq_session::Kind::gentle, 16, {"--convert-twice"});
    const std::string announced = "Fitting 16 EQ3 stand-in(s) onto ReaEQ's bands...\n";
    const std::size_t said = run.console.find(announced);
    ASSERT_NE(said, std::string::npos) << run.console;
    // Before the summary, which comes once the project is written.
    EXPECT_LT(said, run.console.find("Read:")) << run.console;
    EXPECT_EQ(run.console.find(announced, said + 1), std::string::npos) << run.console;
    const std::vector<std::string> blocks = reaeq_blocks(run.project);
    ASSERT_EQ(blocks.size(), 16u);
    for (std::size_t i = 1; i < blocks.size(); ++i) EXPECT_NE(blocks[i], blocks[0]) << i;
    EXPECT_EQ(run.second, run.project);
}

TEST(Eq3SessionProgram, IdenticalStandInsAreMadeOnceAndWrittenAlike) {
    const EqRun run = convert(eq_session::Kind::identical_busy, 16, {"--convert-twice"});
    // One stand-in to make, announced once: the second pass finds it remembered.
    const std::string announced = "Fitting 1 EQ3 stand-in(s) onto ReaEQ's bands...\n";
    const std::size_t said = run.console.find(announced);
    ASSERT_NE(said, std::string::npos) << run.console;
    EXPECT_EQ(run.console.find("Fitting ", said + 1), std::string::npos) << run.console;
    const std::vector<std::string> blocks = reaeq_blocks(run.project);
    ASSERT_EQ(blocks.size(), 16u);
    // The blocks differ only in their seeds: their ReaEQ states are the same lines.
    const auto state = [](const std::string& block) { return block.substr(block.find('\n')); };
    for (std::size_t i = 1; i < blocks.size(); ++i) EXPECT_EQ(state(blocks[i]), state(blocks[0]));
    EXPECT_EQ(run.second, run.project);
}

TEST(Eq3SessionProgram, ProgressCountsTheFitsBetweenTracksAndWriting) {
    // Standard error shares the file with standard output: the announcement, flushed, comes
    // before the progress lines written during the fit, where a line left in the buffer of a
    // redirected standard output would come after them.
    const EqRun run = convert(eq_session::Kind::gentle, 3, {"--progress"}, true);
    const std::string& all = run.console;
    const std::size_t tracks = all.find("progress 2/6 tracks\n");
    const std::size_t said = all.find("Fitting 3 EQ3 stand-in(s) onto ReaEQ's bands...\n");
    const std::size_t writing = all.find("progress 3/6 writing\n");
    ASSERT_NE(tracks, std::string::npos) << all;
    ASSERT_NE(said, std::string::npos) << all;
    ASSERT_NE(writing, std::string::npos) << all;
    EXPECT_LT(tracks, said) << all;
    std::size_t at = said;
    for (const char* count : {"1/3", "2/3", "3/3"}) {
        const std::size_t line = all.find(std::string("progress 2/6 fit ") + count + "\n");
        ASSERT_NE(line, std::string::npos) << count << "\n" << all;
        EXPECT_LT(at, line) << count << "\n" << all;
        at = line;
    }
    EXPECT_LT(at, writing) << all;
    EXPECT_EQ(all.find("progress 2/6 fit 4/"), std::string::npos) << all;
}

}  // namespace
