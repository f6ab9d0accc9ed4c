// The platform layer's paths: UTF-8 names reach the file system whole and come back the same,
// and the program finds its own file.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/paths.h"
#include "tests/test_support.h"
#include "util/files.h"

namespace {

namespace fs = std::filesystem;

TEST(PlatformPaths, NonAsciiNamesReachTheFileSystemWhole) {
    test_support::TempDir dir;
    const std::string name = "Łódź ąčę Song.ptx";
    const std::string path = join_path(path_text(dir.path()), name);
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr) << path;
    std::fclose(file);

    EXPECT_TRUE(file_opens_for_reading(path));
    EXPECT_TRUE(fs::is_regular_file(native_path(path)));
    EXPECT_EQ(path_text(native_path(path)), path);
    int listed = 0;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir.path())) {
        EXPECT_EQ(path_text(entry.path().filename()), name);
        ++listed;
    }
    EXPECT_EQ(listed, 1);
    // Bytes that are not UTF-8 name no file, and never throw.
    EXPECT_FALSE(file_opens_for_reading(join_path(path_text(dir.path()), "\xC5\xff.ptx")));
}

TEST(PlatformPaths, TheProgramsOwnFileBeforeArgv0) {
    const std::string own = program_file_path("not-the-program");
    EXPECT_NE(own, "not-the-program");
    EXPECT_TRUE(fs::path(native_path(own)).is_absolute()) << own;
    EXPECT_TRUE(file_opens_for_reading(own)) << own;
}

}  // namespace
