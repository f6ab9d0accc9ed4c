// The built program with REAPER's cache, the learned table and the parameter-name tables: every
// run sees only the folders the test gives it (HOME, APPDATA, the current and program folders).
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/ptformat.h"
#include "tests/plugin_blocks.h"
#include "tests/plugin_fixtures.h"
#include "tests/test_support.h"

namespace {

namespace fs = std::filesystem;
using namespace plugin_fixtures;
using test_support::RunSetup;
using test_support::TempDir;
using test_support::write_file;

// The console text before the session summary, where the plug-in lines go.
// The text before the "Read:" line, past the damage line that --check prints first.
std::string before_read(const std::string& out) {
    const std::size_t from = out.starts_with("damage none\n") ? 12 : 0;
    return out.substr(from, out.find("  Read:") - from);
}

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// Folders of one run, all empty until the test fills them.
struct Folders {
    TempDir root;
    RunSetup setup;
    Folders() {
        for (const char* name : {"home", "appdata", "current", "program"})
            fs::create_directory(root.path() / name);
        setup.home = root.file("home");
        setup.appdata = root.file("appdata");
        setup.current_dir = root.file("current");
        setup.program_dir = root.file("program");
    }
};

TEST(PluginProgram, CacheListingOnARealSession) {
    REQUIRE_SESSION(session, "RegionTest.ptx");
    Folders f;
    const std::string vstini = f.root.file("reaper-vstplugins64.ini");
    write_file(
        vstini,
        vst_cache({kReaEq, kReaComp, "Broken.dll=00A1B2C3D4E5F601\n",
                   vst_line("Qzzy_EQ.vst3", "5{" + class_id("QzEq") + "}", "Qzzy EQ (Qzzy)")}));
    write_file(f.root.file("reaper-clap-linux-x86_64.ini"),
               clap_section("Surge XT.clap",
                            {"org.surge-synth-team.surge-xt=1|Surge XT (Surge Synth Team)"}));
    const auto r = run_lanwick(
        {session, "--check", "--dump-cache", "--vstini", vstini, "--no-pause"}, f.setup);
    ASSERT_EQ(r.exit_code, 0) << r.out;
    EXPECT_EQ(before_read(r.out),
              "  plug-in cache: 4 entries from " + vstini +
                  "\n"
                  "    (nothing new matched)\n"
                  "\n"
                  "  --- plug-in cache dump ---\n"
                  "    reaeq.dll                                      VST: ReaEQ (Cockos)\n"
                  "      1919247729<56535472656571726561657100000000>\n"
                  "    reacomp.dll                                    VST: ReaComp (Cockos)\n"
                  "      1919247213<5653547265636D726561636F6D700000>\n"
                  "    Qzzy_EQ.vst3                                   VST3: Qzzy EQ (Qzzy)\n"
                  "      5{" +
                  class_id("QzEq") +
                  "}\n"
                  "    Surge XT.clap                                  CLAPi: Surge XT (Surge Synth "
                  "Team)\n"
                  "      org.surge-synth-team.surge-xt\n"
                  "  --- 4 entries ---\n"
                  "\n\n");
}

TEST(PluginProgram, CacheInHomeOrNowhere) {
    REQUIRE_SESSION(session, "RegionTest.ptx");
    Folders f;
    const std::string missing = f.root.file("none/reaper-vstplugins64.ini");
    auto r = run_lanwick({session, "--check", "--dump-cache", "--vstini", missing, "--no-pause"},
                         f.setup);
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(before_read(r.out),
              "  could not read plug-in cache: " + missing +
                  "\n\n  --- plug-in cache dump ---\n  --- 0 entries ---\n\n\n");

    // Without --vstini an empty machine says nothing; a cache in HOME's REAPER folder is found.
    r = run_lanwick({session, "--check", "--no-pause"}, f.setup);
    EXPECT_EQ(before_read(r.out), "\n");
    const fs::path reaper = fs::path(f.setup.home) / ".config/REAPER";
    fs::create_directories(reaper);
    write_file((reaper / "reaper-vstplugins64.ini").string(), vst_cache({kReaEq, kReaGate}));
    r = run_lanwick({session, "--check", "--no-pause"}, f.setup);
    EXPECT_TRUE(has(r.out, "  plug-in cache: 2 entries from " +
                               (reaper / "reaper-vstplugins64.ini").string() + "\n"))
        << r.out;
}

TEST(PluginProgram, CacheBesideTheSessionWhereverTheAudioFolderIs) {
    REQUIRE_SESSION(real, "RegionTest.ptx");
    Folders f;
    fs::create_directory(f.root.path() / "song");
    const std::string session = f.root.file("song/Song.ptx");
    fs::copy_file(real, session);
    write_file(f.root.file("song/reaper-vstplugins64.ini"), vst_cache({kReaEq}));
    const auto r = run_lanwick(
        {session, "--check", "--audio-dir", f.root.file("elsewhere/Audio"), "--no-pause"}, f.setup);
    EXPECT_TRUE(has(r.out, "  plug-in cache: 1 entries from " + f.root.file("song") +
                               "/reaper-vstplugins64.ini\n"))
        << r.out;
}

TEST(PluginProgram, TablesBesideTheProgramAndParamFiles) {
    REQUIRE_SESSION(session, "RegionTest.ptx");
    Folders f;
    write_file(f.setup.program_dir + "/lanwick-plugins.txt",
               "# three good lines, two bad\n"
               "QzzyQzEq | VST: Qzzy EQ (Qzzy) | qzzy.dll | 1<00> | 2 | 2 | 0\n"
               "QzzyVerbX | VST: Qzzy Verb (Qzzy) | verb.dll | 2<00>\n"
               "FabFPQ3a | VST3: Pro-Q 3 (FabFilter) | Pro-Q 3.vst3 | 3{00} | 2 | 2 | 0 | Default "
               "Setting\n"
               "Short | VST: A (B) | a.dll | 4<00>\n"
               "QzzyNoId | VST: A (B) | a.dll |\n");
    write_file(f.setup.program_dir + "/lanwick-params.tsv", "VST: Beside (Qzzy)\tv1\t1\tGain\n");
    write_file(f.setup.current_dir + "/a.tsv",
               "plugin\tbuild\tindex\tname\nVST: Qzzy EQ (Qzzy)\tv1\t1\tGain\n"
               "VST: Qzzy EQ (Qzzy)\tv1\t2\tFreq\n");

    auto r = run_lanwick(
        {session, "--check", "--params", "a.tsv", "--params", "missing.tsv", "--no-pause"},
        f.setup);
    ASSERT_EQ(r.exit_code, 0) << r.out;
    EXPECT_EQ(before_read(r.out),
              "  3 plug-in(s) learned from lanwick-plugins.txt\n\n"
              "  plug-in parameter names: 1 plug-in build(s) from a.tsv\n"
              "  --params missing.tsv: nothing read\n\n");

    // Without --params the tables beside the program are read.
    r = run_lanwick({session, "--check", "--no-pause"}, f.setup);
    EXPECT_TRUE(has(r.out, "  plug-in parameter names: 1 plug-in build(s) from " +
                               f.setup.program_dir + "/lanwick-params.tsv\n"))
        << r.out;
    // The test's program folder holds only what the test put there.
    EXPECT_FALSE(fs::exists(f.setup.program_dir + "/lanwick"));
}

// --- A synthetic session with plug-in slots ----------------------------------------------------

using namespace test_plugins;

// A 0x1017 block naming a plug-in: the name, then the two codes stored reversed.
std::string name_block(const std::string& aax_id, const std::string& name) {
    std::string codes(aax_id.rbegin() + 4, aax_id.rend());
    codes += std::string(aax_id.rbegin(), aax_id.rbegin() + 4);
    return z_block(
        0x1017, byte(4) + u32le(static_cast<std::uint32_t>(name.size())) + name + codes + zeros(4),
        0x06);
}

std::string slot(const std::string& aax_id) {
    PluginBlock p;
    p.id = aax_id;
    p.settings = zeros(40);
    return plugin_block(p);
}

std::string session_with(const std::string& blocks) {
    const std::string plain = session_header() + lead_block() + version_block(12) +
                              z_block(0x7777, zeros(5000)) + rate_block(48000) + blocks +
                              z_block(0x7777, zeros(55));
    std::vector<std::uint8_t> bytes(plain.begin(), plain.end());
    EXPECT_TRUE(ptf_xor_crypt(bytes));
    return std::string(bytes.begin(), bytes.end());
}

TEST(PluginProgram, ResolutionLinesSortedByKey) {
    Folders f;
    const std::string path = f.root.file("Plugins.ptx");
    write_file(path, session_with(slot("QzzyVerb") + slot("QzzyQzEq") + slot("LrndLrnd") +
                                  slot("QzzyQzEq") + slot("Digi47e3") + slot("QzzyNone") +
                                  name_block("QzzyVerb", "Qzzy Verb") +
                                  name_block("QzzyNone", "Nothing Like It")));
    write_file(f.setup.program_dir + "/lanwick-plugins.txt",
               "LrndLrnd | VST: Learned (Qzzy) | learned.dll | 1<00>\n");
    const std::string vstini = f.root.file("reaper-vstplugins64.ini");
    write_file(vstini,
               vst_cache({vst_line("Qzzy_EQ.vst3", "5{" + class_id("QzEq") + "}", "Qzzy EQ (Qzzy)"),
                          vst_line("Verb.dll", "6", "Qzzy Verb (Qzzy) (2 out)"),
                          // The learned key's codes would find this one.
                          vst_line("Other.dll", code_id("Lrnd"), "Other (Else)"),
                          vst_line("EQ3.dll", "7", "EQ3 7-Band (Else)")}));
    const auto r = run_lanwick({path, "--check", "--vstini", vstini, "--no-pause"}, f.setup);
    ASSERT_EQ(r.exit_code, 0) << r.out;
    EXPECT_EQ(before_read(r.out),
              "  1 plug-in(s) learned from lanwick-plugins.txt\n\n"
              "  plug-in cache: 4 entries from " +
                  vstini +
                  "\n"
                  "    QzzyQzEq -> VST3: Qzzy EQ (Qzzy)                           [VST3 compat id "
                  "(--prefer-vst3)]\n"
                  "    QzzyVerb -> VST: Qzzy Verb (Qzzy) (2 out)                  [the name Pro "
                  "Tools stores]\n"
                  "\n\n");
}

// --prefer-clap asks the state conversion: FabFilter preset data carries to the CLAP build, a
// script text does not.
TEST(PluginProgram, PreferClapMovesOnlyWhatConverts) {
    Folders f;
    const std::string path = f.root.file("Clap.ptx");
    PluginBlock fabfilter;
    fabfilter.id = "FabFPrQ3";
    fabfilter.settings = "FFBS" + u32le(1) + u32le(1) + u32le(0x3F800000) + "FFEx" + zeros(8);
    PluginBlock script;
    script.id = "QzzyVerb";
    script.settings = "/*@Meta name=verb */ x = 1;";
    write_file(path, session_with(plugin_block(fabfilter) + plugin_block(script)));
    const std::string vstini = f.root.file("reaper-vstplugins64.ini");
    write_file(
        vstini,
        vst_cache({vst_line("Pro-Q 3.vst3", "5{" + class_id("PrQ3") + "}", "Pro-Q 3 (FabFilter)"),
                   vst_line("Verb.vst3", "6{" + class_id("Verb") + "}", "Qzzy Verb (Qzzy)")}));
    write_file(f.root.file("reaper-clap-linux-x86_64.ini"),
               clap_section("Pro-Q 3.clap", {"com.fabfilter.pro-q.3=0|Pro-Q 3 (FabFilter)"}) +
                   clap_section("Verb.clap", {"com.qzzy.verb=0|Qzzy Verb (Qzzy)"}));
    const auto r =
        run_lanwick({path, "--check", "--vstini", vstini, "--prefer-clap", "--no-pause"}, f.setup);
    ASSERT_EQ(r.exit_code, 0) << r.out;
    EXPECT_TRUE(has(before_read(r.out), "    FabFPrQ3 -> CLAP: Pro-Q 3 (FabFilter)"))
        << before_read(r.out);
    EXPECT_TRUE(has(before_read(r.out), "[--prefer-clap]\n"));
    EXPECT_TRUE(has(before_read(r.out),
                    "    QzzyVerb stays on VST3: Qzzy Verb (Qzzy): its settings cannot be carried "
                    "to the CLAP build yet\n"));
}

}  // namespace
