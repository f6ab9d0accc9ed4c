// The project file's name, the " (N)" probing, --overwrite, --check and "Could not write".
#include "convert/writer/output_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "convert/writer/project_writer.h"
#include "platform/paths.h"
#include "tests/test_support.h"
#include "tests/writer_test_support.h"

namespace {

using test_support::read_file;
using test_support::TempDir;
using test_support::write_file;
using OutputFile = writer_test::WriterTest;

TEST(OutputName, FromTheSessionPath) {
    struct Case {
        const char* output;
        const char* session;
        std::string expected;
    } cases[] = {
        {"", "Song.ptx", "Song.rpp"},
        {"", "a.b/Song", "a.b/Song.rpp"},  // the only dot is in a folder name
        {"", "a.b\\Song", "a.b\\Song.rpp"},
        {"", "/x/Song.v2.ptx", "/x/Song.v2.rpp"},
        {"", "Song", "Song.rpp"},
        {"mix/out.rpp", "Song.ptx", "mix/out.rpp"},  // -o is taken as given
        {"mix/", "dir/Song.ptx", "mix" + std::string(1, path_separator) + "Song.rpp"},
        {"mix//", "Song", "mix" + std::string(1, path_separator) + "Song.rpp"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(project_output_name(c.output, c.session), c.expected) << c.session;

    EXPECT_EQ(numbered_output_name("Song.rpp", 2), "Song (2).rpp");
    EXPECT_EQ(numbered_output_name("a.b/Song", 1), "a.b/Song (1)");
    EXPECT_EQ(numbered_output_name("dir/My.Song.rpp", 12), "dir/My.Song (12).rpp");
}

TEST_F(OutputFile, AnExistingProjectIsKeptAndTheNextFreeNameTaken) {
    TempDir dir;
    const std::string first = dir.file("Song.rpp");
    write_file(first, "old");
    write_file(dir.file("Song (1).rpp"), "older");
    std::string path = first;
    ProjectFile file = open_project_output(path, false, false);
    ASSERT_TRUE(file);
    EXPECT_EQ(path, dir.file("Song (2).rpp"));
    EXPECT_EQ(console_, "\n  " + first + " already exists - writing " + path +
                            " instead\n  (--overwrite to replace it)\n");
    file.reset();
    EXPECT_EQ(read_file(first), "old");
    EXPECT_TRUE(std::filesystem::exists(path));
}

TEST_F(OutputFile, AFolderOrAnyEntryInTheWayCountsAsTaken) {
    TempDir dir;
    std::filesystem::create_directory(dir.path() / "Song.rpp");
    std::string path = dir.file("Song.rpp");
    ProjectFile file = open_project_output(path, false, false);
    ASSERT_TRUE(file);
    EXPECT_EQ(path, dir.file("Song (1).rpp"));
}

TEST_F(OutputFile, OverwriteReplaces) {
    TempDir dir;
    std::string path = dir.file("Song.rpp");
    write_file(path, "old text");
    ProjectFile file = open_project_output(path, false, true);
    ASSERT_TRUE(file);
    std::fputs("new", file.get());
    file.reset();
    EXPECT_EQ(path, dir.file("Song.rpp"));
    EXPECT_EQ(read_file(path), "new");
    EXPECT_EQ(console_, "");
}

// The text goes out in large writes: what a track of items writes stays in the buffer, where
// the C library's own block-sized buffer would have sent it out in 4 KiB writes already.
TEST_F(OutputFile, TheTextIsHeldInALargeBuffer) {
    TempDir dir;
    std::string path = dir.file("Song.rpp");
    ProjectFile file = open_project_output(path, false, false);
    ASSERT_TRUE(file);
    const std::string text(256 * 1024, 'x');
    std::fwrite(text.data(), 1, text.size(), file.get());
    EXPECT_EQ(std::filesystem::file_size(path), 0u);
    file.reset();
    EXPECT_EQ(read_file(path), text);
}

// The missing folders of the path are made, and said; a folder that cannot be made (a file
// stands in its place) is said, and nothing is written.
TEST_F(OutputFile, MissingFoldersAreMadeOrSaidToBeUnmakeable) {
    TempDir dir;
    std::string path = dir.file("missing/deeper/Song.rpp");
    EXPECT_TRUE(open_project_output(path, false, false));
    EXPECT_EQ(console_,
              "\n  " + dir.file("missing/deeper") + " did not exist - made it for the project\n");
    EXPECT_TRUE(std::filesystem::is_regular_file(path));

    write_file(dir.file("blocked"), "a file");
    std::string blocked = dir.file("blocked/Song.rpp");
    const std::string said = "\nCould not write " + blocked + "\n  (" + dir.file("blocked") +
                             " is a file, not a folder)\n";
    console_.clear();
    EXPECT_FALSE(open_project_output(blocked, false, false));
    EXPECT_EQ(console_, said);

    ProjectWriteInput in;
    in.output_path = blocked;
    std::string written;
    console_.clear();
    EXPECT_EQ(write_project(in, written), 1);
    EXPECT_EQ(console_, said);
}

// When every numbered name is taken the project is not written over one of them.
TEST_F(OutputFile, AllNumberedNamesTaken) {
    TempDir dir;
    for (const char* name : {"Song.rpp", "Song (1).rpp", "Song (2).rpp"})
        write_file(dir.file(name), name);
    std::string path = dir.file("Song.rpp");
    EXPECT_FALSE(open_project_output(path, false, false, 2));
    EXPECT_EQ(console_, "\nCould not write " + dir.file("Song.rpp") + "\n");
    EXPECT_EQ(read_file(dir.file("Song (2).rpp")), "Song (2).rpp");
}

TEST_F(OutputFile, CheckWritesToTheNullDeviceAndProbesNothing) {
    TempDir dir;
    const std::string session = dir.file("Song.ptx");
    write_file(dir.file("Song.rpp"), "old");
    for (bool overwrite : {false, true}) {
        ProjectWriteInput in;
        in.session_path = session;
        in.check = 1;
        in.overwrite = overwrite;
        std::string written;
        console_.clear();
        EXPECT_EQ(write_project(in, written), 0);
        EXPECT_EQ(written, dir.file("Song.rpp"));
        EXPECT_EQ(console_, "");
        EXPECT_EQ(read_file(dir.file("Song.rpp")), "old");
        EXPECT_FALSE(std::filesystem::exists(dir.file("Song (1).rpp")));
        EXPECT_FALSE(std::filesystem::exists(dir.path() / "NUL"));
    }
#ifdef _WIN32
    EXPECT_STREQ(null_device_path(), "NUL");
#else
    EXPECT_STREQ(null_device_path(), "/dev/null");
#endif
}

TEST_F(OutputFile, OverwriteNeverReplacesTheSession) {
    TempDir dir;
    const std::string session = dir.file("Song.ptx");
    write_file(session, "session bytes");
    ProjectWriteInput in;
    in.session_path = session;
    in.output_path = session;
    in.overwrite = 1;
    std::string written;
    EXPECT_EQ(write_project(in, written), 1);
    EXPECT_EQ(console_, "\nCould not write " + session + "\n");
    EXPECT_EQ(read_file(session), "session bytes");
}

TEST_F(OutputFile, WriteProjectBesideTheSession) {
    TempDir dir;
    ProjectWriteInput in;
    in.session_path = dir.file("My Song.ptx");
    std::vector<OutputTrack> tracks(1);
    tracks[0].name = "Kick";
    in.tracks = tracks;
    std::string written;
    EXPECT_EQ(write_project(in, written), 0);
    EXPECT_EQ(written, dir.file("My Song.rpp"));
    const std::string text = read_file(written);
    writer_test::expect_parses(text);
    EXPECT_NE(text.find("    NAME \"Kick\"\n"), std::string::npos);

    // A second run keeps the first project.
    EXPECT_EQ(write_project(in, written), 0);
    EXPECT_EQ(written, dir.file("My Song (1).rpp"));
}

}  // namespace
