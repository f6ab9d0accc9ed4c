// Crafted sessions whose mix groups, nested send lanes or tempo map a search of every record per
// record made take many seconds (tests/crafted_readers.h), converted by the program. The bound
// is on the processor time the program spends, which other work on the machine hardly moves;
// the old readers took ten to thirty times it at these sizes in a release build.
#include <gtest/gtest.h>

#include <string>

#include "tests/crafted_readers.h"
#include "tests/test_support.h"

namespace {

TEST(CraftedReaders, EachShapeConvertsInLinearTime) {
    using crafted_readers::Kind;
    const struct {
        const char* what;
        crafted_readers::Shape shape;
    } cases[] = {
        {"mix-group records", {Kind::groups, 3000000}},
        {"nested send lanes", {Kind::send_lanes, 3000000}},
        {"nested mono lanes", {Kind::mono_out_lanes, 3000000}},
        {"a long tempo map", {Kind::tempo_map, 4000000}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        test_support::TempDir dir;
        const std::string path = dir.file("Crafted.ptx");
        test_support::write_file(path, crafted_readers::encrypted(c.shape));
        const test_support::RunResult r = test_support::run_lanwick({path, "--no-pause"});
        EXPECT_EQ(r.exit_code, 0) << r.out;
        EXPECT_NE(test_support::read_file(dir.file("Crafted.rpp")).find("<REAPER_PROJECT"),
                  std::string::npos);
        EXPECT_LT(r.cpu_seconds, 8.0);
    }
}

}  // namespace
