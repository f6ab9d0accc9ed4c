// Effect chains written by the program on synthetic sessions: plug-in slots inside a track block,
// a learned table beside the program copy, HOME and APPDATA in temporary folders.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/ptformat.h"
#include "tests/mixer_builder.h"
#include "tests/plugin_blocks.h"
#include "tests/plugin_fixtures.h"
#include "tests/plugin_session.h"
#include "tests/reaper_block_forms.h"
#include "tests/rpp_grammar.h"
#include "tests/test_support.h"
#include "tests/walk_builder.h"
#include "util/codecs.h"

namespace {

namespace fs = std::filesystem;
using test_support::read_file;
using test_support::RunSetup;
using test_support::TempDir;
using test_support::write_file;

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

struct Folders {
    TempDir root;
    RunSetup setup;
    Folders() {
        for (const char* name : {"home", "appdata", "current", "program", "corpus"})
            fs::create_directory(root.path() / name);
        setup.home = root.file("home");
        setup.appdata = root.file("appdata");
        setup.current_dir = root.file("current");
        setup.program_dir = root.file("program");
        write_file(setup.program_dir + "/lanwick-plugins.txt",
                   "QzzyVerb | VST: Qzzy Verb (Qzzy) | verb.dll | 1234<00> | 2 | 2 | 0\n"
                   "QzzyDryx | VST: Qzzy Dry (Qzzy) | dry.dll | 1235<00> | 2 | 2 | 0\n");
    }
};

std::string script_slot(const std::string& id) {
    test_plugins::PluginBlock p;
    p.id = id;
    p.settings = "/*@Meta name=verb */ x = 1;";
    return test_plugins::plugin_block(p);
}

std::string empty_slot(const std::string& id) {
    test_plugins::PluginBlock p;
    p.id = id;
    p.settings = test_blocks::zeros(40);
    return test_plugins::plugin_block(p);
}

// A slot followed by its activity byte.
std::string active(const std::string& slot) {
    return slot + test_plugins::byte(1) + test_blocks::zeros(3);
}
std::string inactive(const std::string& slot) {
    return slot + test_blocks::zeros(4);
}

// A session of one track, "Drums", whose track block holds `slots` after its mixer lane.
std::string session_with_slots(const std::string& slots) {
    const std::string plain = plugin_session::drums_with_slots(slots);
    std::vector<std::uint8_t> bytes(plain.begin(), plain.end());
    EXPECT_TRUE(ptf_xor_crypt(bytes));
    return std::string(bytes.begin(), bytes.end());
}

// The project text of one conversion with these extra arguments.
std::string convert(Folders& f, const std::string& slots, std::vector<std::string> extra = {},
                    std::string* console = nullptr) {
    const std::string session = f.root.file("Fx.ptx");
    write_file(session, session_with_slots(slots));
    const std::string out = f.root.file("Fx.rpp");
    fs::remove(out);
    std::vector<std::string> args = {session, "-o", out, "--no-pause"};
    args.insert(args.end(), extra.begin(), extra.end());
    const auto r = run_lanwick(args, f.setup);
    EXPECT_EQ(r.exit_code, 0) << r.out;
    if (console) *console = r.out;
    const std::string text = read_file(out);
    const auto grammar = rpp_grammar::check_project(text);
    EXPECT_TRUE(grammar.ok) << grammar.line << ": " << grammar.message;
    // Every block in a form REAPER saves (when its projects are there to say).
    if (reaper_block_forms::reaper_forms().found) {
        EXPECT_EQ(reaper_block_forms::unlike_reaper(text), std::vector<std::string>());
    }
    return text;
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = text.find('\n', at);
        lines.push_back(text.substr(at, end - at));
        if (end == std::string::npos) break;
        at = end + 1;
    }
    return lines;
}

// The state carried by the first <VST block: the base64 lines between its header and trailer.
std::string first_vst_state(const std::string& project) {
    const std::vector<std::string> lines = lines_of(project);
    std::size_t open = 0;
    while (open < lines.size() && !has(lines[open], "<VST ")) ++open;
    std::size_t close = open;
    while (close < lines.size() && lines[close] != "      >") ++close;
    std::string state;
    for (std::size_t i = open + 2; i + 1 < close; ++i) {
        const std::string slice = lines[i].substr(8);
        EXPECT_EQ(slice.size() % 4, 0u) << slice;
        state += base64_decode(slice);
    }
    return state;
}

// Drums is a mono track: the placeholder of its AAX-only plug-in has one input and one output
// pin, as its strip has one channel.
TEST(FxChainProgram, APlaceholderOnAMonoTrackHasOnePinEachSide) {
    Folders f;
    const std::string project = convert(f, active(empty_slot("DigiQzzy")));
    const std::vector<std::string> lines = lines_of(project);
    std::size_t open = 0;
    while (open + 1 < lines.size() && !has(lines[open], "<VST \"VST3: DigiQzzy\"")) ++open;
    ASSERT_LT(open + 1, lines.size()) << project;
    const std::string header = base64_decode(lines[open + 1].substr(8));
    // The plug-in's id and the pin magic, then each side's pin count and its 8-byte masks.
    ASSERT_GE(header.size(), 12u);
    EXPECT_EQ(static_cast<unsigned char>(header[8]), 1) << lines[open + 1];
    EXPECT_EQ(header.size(), 8u + 2 * (4 + 8) + 12) << lines[open + 1];
}

TEST(FxChainProgram, CorpusChunkIsTheWrittenState) {
    Folders f;
    const std::string project =
        convert(f, active(script_slot("QzzyVerb")), {"--dump-corpus", f.root.file("corpus")});
    ASSERT_TRUE(has(project, "    <FXCHAIN\n      WNDRECT 0 0 0 0\n")) << project;
    EXPECT_TRUE(has(project,
                    "      BYPASS 0 0 0\n      <VST \"VST: Qzzy Verb (Qzzy)\" verb.dll 0 "
                    "\"\" 1234<00> \"\"\n"))
        << project;
    const std::string state = first_vst_state(project);
    ASSERT_FALSE(state.empty());
    std::vector<fs::path> chunks;
    for (const auto& entry : fs::directory_iterator(f.root.file("corpus")))
        if (entry.path().extension() == ".chunk") chunks.push_back(entry.path());
    ASSERT_EQ(chunks.size(), 1u);
    EXPECT_EQ(read_file(chunks[0].string()), state);
}

TEST(FxChainProgram, OneChainOfEveryOutcome) {
    Folders f;
    const std::string slots = active(script_slot("QzzyVerb")) + active(empty_slot("QzzyDryx")) +
                              active(empty_slot("DigiQzzy")) + active(empty_slot("QzzyNone")) +
                              inactive(script_slot("QzzyVerb")) +
                              active(test_plugins::trim_block({{1093684240, false}}));
    std::string console;
    const std::string project = convert(f, slots, {}, &console);
    EXPECT_TRUE(has(console,
                    "  1 plug-in(s) were INACTIVE in Pro Tools, written offline\n"
                    "    (not instantiated, exactly as Pro Tools had them)\n"
                    "  1 of them written OFFLINE - no DSP, no RAM, one click to restore\n"))
        << console;
    EXPECT_TRUE(has(console,
                    "  6 plug-in instances found, 3 written with their settings\n"
                    "    1 cannot transfer - AAX only, no VST/VST3 version exists:\n"
                    "      DigiQzzy                 x1\n"
                    "      1 of these processed audio, so that much of the mix is\n"
                    "      not carried.\n"))
        << console;
    EXPECT_TRUE(
        has(console, "    1 not recognized:\n      QzzyNone                 x1   QzzyNone\n"))
        << console;
    EXPECT_TRUE(
        has(console, "  1 Avid Trim instance(s). Trim is AAX only and cannot load in REAPER,\n"))
        << console;
    EXPECT_TRUE(
        has(console, "      1 of them sit in their slot as REAPER's Volume Adjustment with\n"));
    EXPECT_TRUE(has(console,
                    "    1 placed OFFLINE - the plug-in is named but its\n"
                    "      settings did not transfer: it waits, offline, at its defaults:\n"
                    "      VST: Qzzy Dry (Qzzy)     x1\n"));
    // Carried, offline without settings, a placeholder, nothing for the unknown one, the inactive
    // one offline, the Trim as volume JS.
    EXPECT_TRUE(has(project, "      BYPASS 1 1 0\n      <VST \"VST: Qzzy Dry (Qzzy)\" dry.dll"));
    EXPECT_TRUE(has(project, "      PRESETNAME \"** Pro Tools settings not transferred **\"\n"));
    EXPECT_TRUE(has(project, "      BYPASS 1 0 0\n      <VST \"VST3: DigiQzzy\" \"\" 0 \"\" "));
    EXPECT_TRUE(
        has(project, "      PRESETNAME \"** Pro Tools only - no VST exists - replace me here\"\n"));
    EXPECT_FALSE(has(project, "QzzyNone"));
    EXPECT_TRUE(has(project, "      <JS utility/volume \"Trim (Volume Adjustment)\"\n"));
    EXPECT_TRUE(has(project, "      PRESETNAME \"Avid Trim "));
    EXPECT_EQ(std::count(project.begin(), project.end(), '<') -
                  std::count(project.begin(), project.end(), '>'),
              0);

    struct Case {
        const char* option;
        const char* absent;   // a line the option leaves out
        const char* present;  // a line still written
    };
    std::string withheld;
    convert(f, slots, {"--no-stand-ins"}, &withheld);
    EXPECT_TRUE(
        has(withheld, "  --no-stand-ins: 1 Avid plug-in(s) left in their slot under their Pro\n"))
        << withheld;
    for (const Case& c : {
             Case{"--no-aax-slots", "VST3: DigiQzzy", "Qzzy Dry"},
             Case{"--no-placeholders", "Qzzy Dry", "VST3: DigiQzzy"},
             Case{"--skip-bypassed-fx", "      BYPASS 1 1 0\n      <VST \"VST: Qzzy Verb",
                  "Qzzy Dry"},
             Case{"--no-stand-ins", "utility/volume", "<VST \"VST3: Trim\""},
         }) {
        const std::string text = convert(f, slots, {c.option});
        EXPECT_FALSE(has(text, c.absent)) << c.option;
        EXPECT_TRUE(has(text, c.present)) << c.option;
    }
    // Nothing left to write: no chain at all.
    const std::string none = convert(
        f, active(empty_slot("QzzyNone")) + active(empty_slot("DigiQzzy")), {"--no-aax-slots"});
    EXPECT_FALSE(has(none, "<FXCHAIN")) << none;
}

// The Kontakt row speaks of the settings written for the installed Kontakt; under
// --no-kontakt-state none are, and the row is left out.
TEST(FxChainProgram, KontaktRowOnlyWhenItsSettingsAreWritten) {
    using namespace plugin_fixtures;
    Folders f;
    const std::string vstini = f.root.file("reaper-vstplugins64.ini");
    write_file(vstini, vst_cache({vst_line("Kontakt 7.vst3", "1{5653544E694B376B6F6E74616B742037}",
                                           "Kontakt 7 (Native Instruments) (64 out)!!!VSTi")}));
    test_plugins::PluginBlock kontakt;
    kontakt.id = "NiInNi$D";
    kontakt.settings = test_blocks::u32le(112) + test_blocks::u32le(0) + test_blocks::u32le(1) +
                       std::string(100, 'k');
    const std::string slots = active(test_plugins::plugin_block(kontakt));
    const std::string row =
        "  Kontakt: 1 instance(s) written for Kontakt 7, the Kontakt installed here.\n"
        "      Pro Tools saved them with Kontakt 6; Kontakt 7 plays those settings\n";
    std::string console;
    convert(f, slots, {"--vstini", vstini}, &console);
    EXPECT_TRUE(has(console, row)) << console;
    convert(f, slots, {"--vstini", vstini, "--no-kontakt-state", "--report"}, &console);
    EXPECT_FALSE(has(console, "  Kontakt: ")) << console;
    EXPECT_TRUE(has(console, "  1 plug-in instances found, 0 written with their settings\n"))
        << console;
    // The report says the settings were left out as asked, not that Pro Tools stored none.
    const std::string report = read_file(f.root.file("Fx-vantrel-report.txt"));
    EXPECT_TRUE(has(report,
                    "its settings ARE in the session and were left out, as asked "
                    "(--no-kontakt-state)"))
        << report;
    EXPECT_FALSE(has(report, "Pro Tools stored no transferable settings")) << report;
}

// A FabFilter preset carried to the CLAP build: the CLAP block with its state.
// The report counts the chain as the console does: the same instances found and carried, the
// AAX-only slot with the label of Avid's stock processors.
TEST(FxChainProgram, ReportCountsTheChainAsTheConsoleDoes) {
    Folders f;
    const std::string slots = active(script_slot("QzzyVerb")) + active(empty_slot("DigiQzzy")) +
                              active(empty_slot("QzzyNone"));
    std::string console;
    convert(f, slots, {"--report"}, &console);
    EXPECT_TRUE(has(console, "  3 plug-in instances found, 1 written with their settings\n"))
        << console;
    const std::string report = read_file(f.root.file("Fx-vantrel-report.txt"));
    EXPECT_TRUE(has(report, "  3 instance(s) found, 1 written with their settings\n")) << report;
    EXPECT_TRUE(has(report, "  1   Drums                                  1     0   3\n"))
        << report;
    EXPECT_TRUE(has(report,
                    "Print or commit these tracks in Pro Tools:\n"
                    "    DigiQzzy                 x1   an Avid stock processor\n"))
        << report;
}

TEST(FxChainProgram, ClapBlockUnderPreferClap) {
    using namespace plugin_fixtures;
    Folders f;
    test_plugins::PluginBlock fabfilter;
    fabfilter.id = "FabFPrQ3";
    fabfilter.settings = "FFBS" + test_blocks::u32le(1) + test_blocks::u32le(1) +
                         test_blocks::u32le(0x3F800000) + "FFEx" + test_blocks::zeros(8);
    const std::string vstini = f.root.file("reaper-vstplugins64.ini");
    write_file(vstini, vst_cache({vst_line("Pro-Q 3.vst3", "5{" + class_id("PrQ3") + "}",
                                           "Pro-Q 3 (FabFilter)")}));
    write_file(f.root.file("reaper-clap-linux-x86_64.ini"),
               clap_section("Pro-Q 3.clap", {"com.fabfilter.pro-q.3=0|Pro-Q 3 (FabFilter)"}));
    const std::string project = convert(f, active(test_plugins::plugin_block(fabfilter)),
                                        {"--vstini", vstini, "--prefer-clap"});
    EXPECT_TRUE(has(project,
                    "      <CLAP \"CLAP: Pro-Q 3 (FabFilter)\" com.fabfilter.pro-q.3 \"\"\n"
                    "        CFG 0 0 0 \"\"\n        <STATE\n"))
        << project;
}

// A plug-in REAPER's cache lists by a .vst3 entry without a class id: the pass says which id the
// block carries, and the offline slot's paragraph says how it was named.
TEST(FxChainProgram, VstThreeEntryWithoutClassIdIsNamedSo) {
    using namespace plugin_fixtures;
    Folders f;
    const std::string vstini = f.root.file("reaper-vstplugins64.ini");
    write_file(vstini, vst_cache({vst_line("Bare.vst3", code_id("Bare"), "Bare (Qzzy)")}));
    std::string console;
    const std::string project =
        convert(f, active(empty_slot("QzzyBare")), {"--vstini", vstini}, &console);
    EXPECT_TRUE(has(console, "    QzzyBare -> VST3: Bare (Qzzy)"));
    EXPECT_TRUE(has(console,
                    "[VST2 id, VST3 class id unknown - written with the id its name "
                    "gives]\n"))
        << console;
    EXPECT_FALSE(has(console, "marker only")) << console;
    EXPECT_TRUE(has(console,
                    "    1 placed OFFLINE - the plug-in is named but its\n"
                    "      settings did not transfer: it waits, offline, at its defaults:\n"
                    "      Bare                     x1\n"
                    "      (1 of these were named from a .vst3 entry, whose class\n"
                    "      id REAPER's cache does not list: the slot carries the id the\n"
                    "      plug-in's name gives, which REAPER may not match)\n"))
        << console;
    // The whole block, with the id its name gives.
    EXPECT_TRUE(has(project, "      <VST \"VST3: Bare (Qzzy)\" Bare.vst3 0 \"\" " +
                                 code_id("Bare") + "{" + class_id("Bare", "bare") + "} \"\"\n"))
        << project;
}

// CLA-76 Mono inside a Waves shell: its sub-plug-in code "76CM" and name in the shell's XML.
test_plugins::PluginBlock cla76_in_a_waves_shell() {
    const std::string xml =
        "<PresetChunkXMLTree><PluginSubComp>76CM</PluginSubComp><PluginName>CLA-76 "
        "Mono</PluginName><ActiveSetup>SETUP_A</ActiveSetup></PresetChunkXMLTree>";
    test_plugins::PluginBlock waves;
    waves.id = "WvS3Shel";
    waves.settings = test_plugins::u32be(static_cast<std::uint32_t>(24 + xml.size())) +
                     test_blocks::zeros(16) + "XPst" + xml;
    return waves;
}

// A Waves plug-in and a REAPER 6 cache, which lists the shell's plug-ins by name without class
// ids: the slot is carried on the shell's entry of that name, with the class id Waves forms from
// the plug-in's code and name.
TEST(FxChainProgram, WavesPluginThroughAReaperSixCache) {
    using namespace plugin_fixtures;
    Folders f;
    const test_plugins::PluginBlock waves = cla76_in_a_waves_shell();
    const std::string vstini = f.root.file("reaper-vstplugins64.ini");
    const std::string shell = "WaveShell1-VST3 12.7_x64.vst3";
    write_file(vstini,
               vst_cache({vst_line(shell + "<1303613859", "1303613859", "CLA-2A (Waves)"),
                          vst_line(shell + "<1303613859", "1303613859", "CLA-76 Mono (Waves)")}));
    std::string console;
    const std::string project =
        convert(f, active(test_plugins::plugin_block(waves)), {"--vstini", vstini}, &console);
    EXPECT_TRUE(has(console, "    WvS3Shel76CM -> VST3: CLA-76 Mono (Waves)"));
    EXPECT_TRUE(has(console,
                    "[Waves shell entry of that name, VST3 class id unknown - written "
                    "with the id its name gives]\n"))
        << console;
    EXPECT_TRUE(has(console, "  1 plug-in instances found, 1 written with their settings\n"))
        << console;
    EXPECT_TRUE(has(project, "      BYPASS 0 0 0\n      <VST \"VST3: CLA-76 Mono (Waves)\" \"" +
                                 shell +
                                 "\" 0 \"\" 1303613859{5653543736434D636C612D3736206D6F} \"\"\n"))
        << project;
}

// Every kind of <VST block the chain writer makes, decoded and held against the blocks REAPER
// saved: a carried VST2 state, an offline slot, an AAX-only placeholder, a learned FEED5EEF
// plug-in, Kontakt through its built-in row and a Waves plug-in through a REAPER 6 cache.
TEST(FxChainProgram, EveryBlockInReapersSavedForms) {
    using namespace plugin_fixtures;
    namespace forms = reaper_block_forms;
    if (!forms::reaper_forms().found)
        GTEST_SKIP() << "no REAPER projects in " << LANWICK_REAPER_REF_DIR << "; skipped";
    Folders f;
    // REAPER's own ReaComp export, learned: FEED5EEF, its four inputs and its tail word.
    write_file(f.setup.program_dir + "/lanwick-plugins.txt",
               read_file(f.setup.program_dir + "/lanwick-plugins.txt") +
                   "CockRCmp | VST: ReaComp (Cockos) | reacomp.dll | "
                   "1919247213<5653547265636D726561636F6D700000> | 4 | 2 | 1048576 | | FEED5EEF\n");
    test_plugins::PluginBlock kontakt;
    kontakt.id = "NiInNi$D";
    kontakt.settings = test_blocks::u32le(112) + test_blocks::u32le(0) + test_blocks::u32le(1) +
                       std::string(100, 'k');
    const std::string project =
        convert(f, active(script_slot("QzzyVerb")) + active(empty_slot("QzzyDryx")) +
                       active(empty_slot("DigiQzzy")) + active(script_slot("CockRCmp")) +
                       active(test_plugins::plugin_block(kontakt)));

    const test_plugins::PluginBlock waves = cla76_in_a_waves_shell();
    const std::string vstini = f.root.file("reaper-vstplugins64.ini");
    write_file(vstini, vst_cache({vst_line("WaveShell1-VST3 12.7_x64.vst3<1303613859", "1303613859",
                                           "CLA-76 Mono (Waves)")}));
    const std::string shell_project =
        convert(f, active(test_plugins::plugin_block(waves)), {"--vstini", vstini});

    // The check sees a fault where there is one: the trailer the chain writer had before, whose
    // last word 0 follows REAPER's tail word 0x00100000.
    const std::string old_pairing =
        "      <VST \"VST: X (Y)\" x.dll 0 \"\" 1<00> \"\"\n        " +
        base64_encode(test_blocks::u32le(1) + test_blocks::u32le(0xFEED5EEE) +
                      test_blocks::zeros(8) + test_blocks::u32le(0) + test_blocks::u32le(1) +
                      test_blocks::u32le(0x100000)) +
        "\n        AAAAAAAA\n      >\n";
    EXPECT_EQ(forms::unlike_reaper(old_pairing).size(), 1u);

    std::vector<forms::VstBlock> blocks = forms::vst_blocks(project);
    const std::vector<forms::VstBlock> more = forms::vst_blocks(shell_project);
    blocks.insert(blocks.end(), more.begin(), more.end());
    ASSERT_EQ(blocks.size(), 6u) << project << shell_project;
    EXPECT_EQ(forms::unlike_reaper(project), std::vector<std::string>()) << project;
    EXPECT_EQ(forms::unlike_reaper(shell_project), std::vector<std::string>()) << shell_project;
    // What each kind carries: the learned magic, a VST3 tail on the placeholder and the shell's
    // plug-in, and Kontakt without inputs, its 64 outputs' header wrapped at 128.
    const auto block_of = [&](const std::string& part) {
        for (const forms::VstBlock& b : blocks)
            if (has(b.opening, part)) return b;
        ADD_FAILURE() << "no block of " << part;
        return forms::VstBlock{};
    };
    EXPECT_EQ(block_of("ReaComp").magic, 0xFEED5EEFu);
    EXPECT_EQ(block_of("ReaComp").flag, 0u);
    EXPECT_EQ(block_of("Qzzy Verb").magic, 0xFEED5EEEu);
    EXPECT_EQ(block_of("DigiQzzy").tail, 0x0010FFFFu);
    EXPECT_EQ(block_of("DigiQzzy").trailer_word, 16u);
    EXPECT_EQ(block_of("CLA-76").tail, 0x0010FFFFu);
    EXPECT_EQ(block_of("CLA-76").trailer_word, 16u);
    EXPECT_EQ(block_of("Kontakt").trailer_word, 16u);
    const std::vector<std::string> lines = lines_of(project);
    std::size_t open = 0;
    while (open < lines.size() && !has(lines[open], "<VST \"VSTi: Kontakt")) ++open;
    ASSERT_LT(open + 1, lines.size());
    const std::string header_start = base64_decode(lines[open + 1].substr(8));
    ASSERT_EQ(lines[open + 1].size(), 8u + 128u);
    EXPECT_EQ(test_plugins::u32_at(header_start, 8), 0u);    // no input
    EXPECT_EQ(test_plugins::u32_at(header_start, 12), 64u);  // 64 outputs
}

}  // namespace

namespace {

// The pins REAPER saves a plug-in with, where the name its cache lists gives them: a mono
// effect one in and one out (two out as a VST3), an instrument's "(32 out)" its outputs and no
// input, "(2->6ch)" and "(16ch)" their inputs and outputs; and a learned VST3 line that names no
// tail takes REAPER's VST3 tail.
TEST(FxChainProgram, PinsFollowTheCachedNamesAndLearnedVst3TakesReapersTail) {
    using namespace plugin_fixtures;
    namespace forms = reaper_block_forms;
    Folders f;
    write_file(f.setup.program_dir + "/lanwick-plugins.txt",
               "QzzyLrn3 | VST3: Learned Three (Qzzy) | l3.vst3 | 9{" + class_id("Lrn3") +
                   "}\n"
                   "QzzyLrnZ | VST3: Learned Zero (Qzzy) | lz.vst3 | 10{" +
                   class_id("LrnZ") + "} | 2 | 2 | 0\n");
    const std::string vstini = f.root.file("reaper-vstplugins64.ini");
    write_file(
        vstini,
        vst_cache({vst_line("Mono.dll", code_id("Cl76"), "Qzzy-76 Mono (Qzzy)"),
                   vst_line("Tune.vst3", "7{" + class_id("Tune") + "}", "Tune Mono (Qzzy)"),
                   vst_line("Drums.dll", code_id("Ezdr"), "Qzzy Drums (Qzzy) (32 out)!!!VSTi"),
                   vst_line("Synth.dll", code_id("Absy"), "Qzzy Synth (Qzzy) (2->6ch)!!!VSTi"),
                   vst_line("Slits.vst3", "8{" + class_id("Wslt") + "}",
                            "Qzzy Slits (Qzzy) (16ch)!!!VSTi"),
                   vst_line("Multi.dll", code_id("Mult"), "Qzzy Multi (Qzzy) (8ch)"),
                   vst_line("Plain.dll", code_id("Plan"), "Qzzy Plain (Qzzy)")}));
    std::string console;
    const std::string project =
        convert(f,
                active(empty_slot("QzzyCl76")) + active(empty_slot("QzzyTune")) +
                    active(empty_slot("QzzyEzdr")) + active(empty_slot("QzzyAbsy")) +
                    active(empty_slot("QzzyWslt")) + active(empty_slot("QzzyMult")) +
                    active(empty_slot("QzzyPlan")) + active(empty_slot("QzzyLrn3")) +
                    active(empty_slot("QzzyLrnZ")),
                {"--vstini", vstini}, &console);
    // One channel per pin, in order.
    const auto masks = [](unsigned n) {
        std::vector<std::uint64_t> out;
        for (unsigned k = 0; k < n; ++k) out.push_back(1ull << k);
        return out;
    };
    struct Expected {
        const char* name;
        std::vector<std::uint64_t> inputs, outputs;
        std::uint32_t tail;
    };
    const Expected expected[] = {
        // REAPER sends a mono plug-in's first output to both channels.
        {"VST: Qzzy-76 Mono (Qzzy)", masks(1), {3}, 0x100000},
        {"VST3: Tune Mono (Qzzy)", masks(1), {3, 2}, 0x10FFFF},
        {"VSTi: Qzzy Drums (Qzzy) (32 out)", masks(0), masks(32), 0x100000},
        {"VSTi: Qzzy Synth (Qzzy) (2->6ch)", masks(2), masks(6), 0x100000},
        {"VST3i: Qzzy Slits (Qzzy) (16ch)", masks(16), masks(16), 0x10FFFF},
        {"VST: Qzzy Multi (Qzzy) (8ch)", masks(8), masks(8), 0x100000},
        {"VST: Qzzy Plain (Qzzy)", masks(2), masks(2), 0x100000},
        {"VST3: Learned Three (Qzzy)", masks(2), masks(2), 0x10FFFF},
        {"VST3: Learned Zero (Qzzy)", masks(2), masks(2), 0x10FFFF},
    };
    const std::vector<forms::VstBlock> blocks = forms::vst_blocks(project);
    ASSERT_EQ(blocks.size(), std::size(expected)) << console << project;
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        const Expected& e = expected[i];
        const forms::VstBlock& b = blocks[i];
        SCOPED_TRACE(e.name);
        ASSERT_TRUE(b.readable);
        EXPECT_TRUE(has(b.opening, std::string("\"") + e.name + "\"")) << b.opening;
        EXPECT_EQ(b.inputs, e.inputs);
        EXPECT_EQ(b.outputs, e.outputs);
        EXPECT_EQ(b.tail, e.tail);
        EXPECT_EQ(b.trailer_word, e.tail >> 16);
    }
}

}  // namespace
