// Replays the session fuzz target's regression corpus through the target's own entry.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "block_builder.h"
#include "fuzz/session_fuzz_entry.h"

namespace {

TEST(SessionFuzzCorpus, EveryInputRunsClean) {
    const std::filesystem::path folder =
        std::filesystem::path(LANWICK_SOURCE_DIR) / "fuzz" / "corpus" / "session";
    ASSERT_TRUE(std::filesystem::is_directory(folder)) << folder;
    int replayed = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (!entry.is_regular_file()) continue;
        SCOPED_TRACE(entry.path().filename().string());
        const std::vector<std::uint8_t> bytes = test_blocks::read_file(entry.path());
        run_session_fuzz_input(bytes.data(), bytes.size());
        ++replayed;
    }
    EXPECT_GT(replayed, 0);
}

}  // namespace
