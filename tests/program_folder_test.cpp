// The program's own folder holds its tables: started by its bare name through PATH, from any
// current folder, --learn writes beside the program, and later conversions elsewhere read the
// learned table, the parameter-name table and REAPER's cache from there.
#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "platform/paths.h"
#include "platform/ptformat.h"
#include "tests/plugin_blocks.h"
#include "tests/plugin_fixtures.h"
#include "tests/plugin_session.h"
#include "tests/test_support.h"
#include "util/bytes.h"
#include "util/codecs.h"

namespace {

using test_support::read_file;
using test_support::RunSetup;
using test_support::TempDir;
using test_support::write_file;
namespace fs = std::filesystem;

// A chain export of one VST plug-in with a plain stereo state header.
std::string qzzy_chain() {
    std::string header;
    for (std::uint32_t word : {0x12345678u, 0xFEED5EEEu, 2u}) append_u32le(header, word);
    header += std::string(16, '\x03');
    append_u32le(header, 2);
    header += std::string(16, '\x03');
    for (std::uint32_t word : {0u, 1u, 0u}) append_u32le(header, word);
    return "<REAPER_FXCHAIN\n  BYPASS 0 0 0\n"
           "  <VST \"VST: Qzzy EQ (Qzzy)\" qzzy.dll 0 \"\" 1366952817<56535451> \"\"\n    " +
           base64_encode(header) + "\n  >\n>\n";
}

std::string encrypted(const std::string& plain) {
    std::vector<std::uint8_t> bytes(plain.begin(), plain.end());
    EXPECT_TRUE(ptf_xor_crypt(bytes));
    return std::string(bytes.begin(), bytes.end());
}

TEST(ProgramFolder, StartedThroughPathItsTablesLieBesideTheProgram) {
    TempDir program, learn_here, convert_here;
    RunSetup setup;
    setup.program_dir = program.path().string();
    setup.through_path = true;

    setup.current_dir = learn_here.path().string();
    write_file(learn_here.file("one.RfxChain"), qzzy_chain());
    auto r =
        test_support::run_lanwick({"--learn", "one.RfxChain", "QzzyQzEq", "--no-pause"}, setup);
    ASSERT_EQ(r.exit_code, 0) << r.out;
    const std::string table = join_path(program.path().string(), "lanwick-plugins.txt");
    EXPECT_NE(r.out.find("\n  appended to " + table + "\n"), std::string::npos) << r.out;
    EXPECT_EQ(read_file(table),
              "QzzyQzEq | VST: Qzzy EQ (Qzzy) | qzzy.dll | 1366952817<56535451> | 2 | 2 | 0\n");
    EXPECT_FALSE(fs::exists(learn_here.path() / "lanwick-plugins.txt"));

    write_file(program.file("lanwick-params.tsv"), "VST: Beside (Qzzy)\tv1\t1\tGain\n");
    write_file(program.file("reaper-vstplugins64.ini"),
               plugin_fixtures::vst_cache({plugin_fixtures::kReaEq}));
    test_plugins::PluginBlock slot;
    slot.id = "QzzyQzEq";
    slot.settings = test_plugins::zeros(40);
    write_file(convert_here.file("Song.ptx"),
               encrypted(plugin_session::drums_with_slots(test_plugins::plugin_block(slot))));
    setup.current_dir = convert_here.path().string();
    r = test_support::run_lanwick({"Song.ptx", "--no-pause"}, setup);
    ASSERT_EQ(r.exit_code, 0) << r.out;
    EXPECT_NE(r.out.find("  1 plug-in(s) learned from lanwick-plugins.txt\n"), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("  plug-in parameter names: 1 plug-in build(s) from " +
                         program.file("lanwick-params.tsv") + "\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("  plug-in cache: 1 entries from " +
                         program.file("reaper-vstplugins64.ini") + "\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(read_file(convert_here.file("Song.rpp")).find("<VST \"VST: Qzzy EQ (Qzzy)\" "),
              std::string::npos);
}

}  // namespace
