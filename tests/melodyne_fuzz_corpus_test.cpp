// Replays the Melodyne fuzz target's corpus through the target's own entry, which aborts on any
// broken promise.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "fuzz/melodyne_fuzz_entry.h"
#include "test_support.h"

namespace {

TEST(MelodyneFuzzCorpus, EveryInputRunsClean) {
    const std::filesystem::path folder =
        std::filesystem::path(LANWICK_SOURCE_DIR) / "fuzz" / "corpus" / "melodyne";
    ASSERT_TRUE(std::filesystem::is_directory(folder)) << folder;
    int replayed = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (!entry.is_regular_file()) continue;
        SCOPED_TRACE(entry.path().filename().string());
        const std::string bytes = test_support::read_file(entry.path().string());
        run_melodyne_fuzz_input(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
        ++replayed;
    }
    EXPECT_GT(replayed, 0);
}

}  // namespace
