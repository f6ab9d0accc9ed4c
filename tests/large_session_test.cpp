// Sessions past 65,535 regions: every region placed arrives as an item on its track.
#include "tests/large_session.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/test_support.h"

namespace {

using test_support::TempDir;

int count_of(const std::string& text, const std::string& part) {
    int n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

TEST(LargeSession, SeventyThousandRegionsOn350TracksAllArrive) {
    TempDir dir;
    const std::string session = dir.file("Large.ptx");
    test_support::write_file(session, large_session::encrypted({}));
    const std::string project = dir.file("Large.rpp");
    const auto r = test_support::run_lanwick({session, "-o", project, "--no-pause"});
    ASSERT_EQ(r.exit_code, 0) << r.out;
    EXPECT_NE(r.out.find("\n  350 tracks, 70000 clips, 0 MIDI notes\n"), std::string::npos)
        << r.out;
    const std::string text = test_support::read_file(project);
    EXPECT_EQ(count_of(text, "\n  <TRACK "), 350);
    EXPECT_EQ(count_of(text, "\n    <ITEM\n"), 70000);
    // The last region of the last track, far past 65,535, on its own track.
    const std::size_t last_track = text.rfind("\n  <TRACK ");
    EXPECT_NE(text.find("NAME \"Take 69999\"", last_track), std::string::npos);
    EXPECT_EQ(r.out.find("WARNING"), r.out.find("WARNING: 350 referenced audio file(s)"));
}

}  // namespace
