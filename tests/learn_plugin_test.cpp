// --learn: chain exports written here as REAPER writes them (the "<VST " line, then the state in
// base64 pieces, one per line), learned into a table beside a program path in a temp folder.
#include "app/learn_plugin.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "app/output.h"
#include "platform/ptformat.h"
#include "plugins/learned_table.h"
#include "plugins/table_lines.h"
#include "tests/plugin_blocks.h"
#include "tests/plugin_session.h"
#include "tests/reaper_block_forms.h"
#include "tests/test_support.h"
#include "util/bytes.h"
#include "util/codecs.h"

namespace {

using test_support::read_file;
using test_support::TempDir;
using test_support::write_file;

class CollectSink : public PtxSink {
  public:
    void write(const char* text) override { got += text; }
    std::string got;
};

struct Said {
    CollectSink sink;
    OutputState saved = output_state;
    Said() {
        output_state = OutputState{};
        output_state.current_sink = &sink;
    }
    ~Said() { output_state = saved; }
};

// A VST state header: identifier, magic, the pins with masks `width` bytes wide, the chunk size,
// the word REAPER writes after it (1 for FEED5EEE, 0 for FEED5EEF), the tail word.
std::string state_header(std::uint32_t magic, std::uint32_t inputs, std::uint32_t outputs,
                         std::size_t width, std::uint32_t chunk_size, std::uint32_t tail = 7) {
    std::string h;
    append_u32le(h, 0x12345678);
    append_u32le(h, magic);
    append_u32le(h, inputs);
    h += std::string(inputs * width, '\x03');
    append_u32le(h, outputs);
    h += std::string(outputs * width, '\x03');
    append_u32le(h, chunk_size);
    append_u32le(h, magic == 0xFEED5EEF ? 0 : 1);
    append_u32le(h, tail);
    return h;
}

// The chain text: the "<VST " line, then each piece base64-encoded on a line of its own.
std::string chain(const std::string& vst_line, const std::vector<std::string>& pieces) {
    std::string text = "<REAPER_FXCHAIN\r\n  BYPASS 0 0 0\r\n" + vst_line + "\r\n";
    for (const std::string& piece : pieces) text += "    " + base64_encode(piece) + "\r\n";
    return text + "  >\r\n  FLOATPOS 0 0 0 0\r\n>\r\n";
}

const char* const kVstLine =
    "  <VST \"VST: Qzzy EQ (Qzzy)\" qzzy.dll 0 \"\" 1366952817<56535451> \"\"";

struct Folder {
    TempDir dir;
    std::string program = dir.file("lanwick");
    std::string table = dir.file("lanwick-plugins.txt");
    std::string chain_file = dir.file("one.RfxChain");
};

TEST(ChainTokens, QuotedTokensStayWhole) {
    struct Case {
        const char* line;
        std::vector<std::string> tokens;
    } cases[] = {
        {"\"VST: A B (C)\" a.dll 0", {"VST: A B (C)", "a.dll", "0"}},
        {"'VST: say \"hi\" (C)' `it's.dll`  x", {"VST: say \"hi\" (C)", "it's.dll", "x"}},
        {"\"\" b", {"", "b"}},
        {"\"unclosed a b", {""}},
    };
    for (const Case& c : cases) {
        std::string_view rest = c.line;
        std::vector<std::string> got;
        std::string token;
        while (next_chain_token(rest, token)) got.push_back(token);
        EXPECT_EQ(got, c.tokens) << c.line;
    }
}

TEST(VstStateHeader, EightThenFourByteMasksElseStereo) {
    struct Case {
        const char* what;
        std::string bytes;
        bool readable;
        std::uint32_t inputs, outputs, tail;
    } cases[] = {
        {"8-byte masks", state_header(0xFEED5EEE, 1, 2, 8, 10), true, 1, 2, 7},
        {"4-byte masks", state_header(0xFEED5EEF, 4, 2, 4, 10), true, 4, 2, 7},
        {"an instrument: no inputs", state_header(0xFEED5EEF, 0, 2, 8, 10), true, 0, 2, 7},
        {"no outputs", state_header(0xFEED5EEE, 2, 0, 8, 10), true, 2, 0, 7},
        {"64 in, 64 out", state_header(0xFEED5EEE, 64, 64, 8, 10), true, 64, 64, 7},
        {"70 inputs", state_header(0xFEED5EEF, 70, 2, 8, 10), false, 2, 2, 0},
        {"constant not 1", state_header(0xFEED5EEE, 2, 2, 8, 10).substr(0, 48) + "\x02", false, 2,
         2, 0},
        {"FEED5EEF with the word 1", state_header(0xFEED5EEE, 2, 2, 8, 10).replace(4, 1, "\xef"),
         false, 2, 2, 0},
        {"chunk over 16 MiB", state_header(0xFEED5EEE, 2, 2, 8, 0x1000001), false, 2, 2, 0},
        {"magic only", state_header(0xFEED5EEE, 2, 2, 8, 10).substr(0, 9), false, 2, 2, 0},
    };
    for (const Case& c : cases) {
        const VstStateHeader h = read_vst_state_header(c.bytes);
        EXPECT_EQ(h.readable, c.readable) << c.what;
        EXPECT_EQ(h.inputs, c.inputs) << c.what;
        EXPECT_EQ(h.outputs, c.outputs) << c.what;
        EXPECT_EQ(h.tail_word, c.tail) << c.what;
    }
    EXPECT_EQ(read_vst_state_header("\x01\x02\x03").magic, 0u);
    EXPECT_EQ(read_vst_state_header(state_header(0xFEED5EEF, 70, 2, 8, 10)).magic, 0xFEED5EEFu);
}

TEST(LearnPlugin, WritesTheLineTheReaderReadsBack) {
    Folder f;
    const std::string header = state_header(0xFEED5EEE, 2, 2, 8, 6, 0);
    write_file(f.chain_file, chain(kVstLine, {header + "QzzyEQ"}));
    Said said;
    ASSERT_EQ(learn_plugin(f.chain_file, "QzzyQzEq", f.program), 0) << said.sink.got;
    EXPECT_EQ(read_file(f.table),
              "QzzyQzEq | VST: Qzzy EQ (Qzzy) | qzzy.dll | 1366952817<56535451> | 2 | 2 | 0\n");
    EXPECT_NE(said.sink.got.find("    pins     2 in, 2 out    tail word 0    chunk 6 bytes\n"
                                 "\n  appended to " +
                                 f.table + "\n  The IDENTITY is now known"),
              std::string::npos)
        << said.sink.got;
    // Not a FabFilter plug-in: its settings go over only as the plug-in's own chunk.
    EXPECT_NE(said.sink.got.find("  Its Pro Tools SETTINGS transfer where Pro Tools stored the "
                                 "plug-in's\n  own chunk. Where it stored only control values"),
              std::string::npos)
        << said.sink.got;

    PluginKnowledge knowledge;
    ASSERT_EQ(load_learned_plugins(f.table, knowledge), 1);
    const PluginResolution& r = knowledge.resolutions.at(0);
    EXPECT_EQ(r.key, "QzzyQzEq");
    EXPECT_EQ(r.type_text, "VST: Qzzy EQ (Qzzy)");
    EXPECT_EQ(r.file, "qzzy.dll");
    EXPECT_EQ(r.id_text, "1366952817<56535451>");
    EXPECT_EQ(knowledge.learned_rows.at(0).input_pins, 2u);
}

TEST(LearnPlugin, ChainVariantsGiveTheirLines) {
    const std::string fab = "FabF\x01\x02\x03\x04";
    // FabFilter's VST3 chunk: its size, the word 1, then "FFBS".
    const std::string ffbs = std::string("\x10\0\0\0\x01\0\0\0", 8) + "FFBS\x01\0\0\0";
    struct Case {
        const char* what;
        std::string text;
        const char* signature;
        std::string line_end;  // what the line ends with after the ident
        std::string said;
    } cases[] = {
        {"names in single quotes, indented by TABs",
         "\t \t<VST 'VST: say \"hi\" (Q)' \"my file.dll\" 0 \"\" 99<00>\n" +
             base64_encode(state_header(0xFEED5EEE, 1, 1, 4, 0)) + "\n>\n",
         "QzzyQzEq", "VST: say \"hi\" (Q) | my file.dll | 99<00> | 1 | 1 | 7\n", "1 in, 1 out"},
        {"70 inputs", chain(kVstLine, {state_header(0xFEED5EEF, 70, 2, 8, 0)}), "QzzyQzEq",
         " | 2 | 2 | 0 | | FEED5EEF\n", "header variant (FEED5EEF,"},
        {"FabFilter after 2/2", chain(kVstLine, {state_header(0xFEED5EEE, 2, 2, 8, 8), fab}),
         "FabFPQ3a", " | 2 | 2 | 7 | Default Setting\n", "SETTINGS will transfer too"},
        // Padded header lines (44 and 76 bytes): the chunk decodes in place all the same.
        {"FabFilter after 1/1", chain(kVstLine, {state_header(0xFEED5EEE, 1, 1, 8, 8), fab}),
         "FabFPQ3a", " | 1 | 1 | 7 | Default Setting\n", "SETTINGS will transfer too"},
        {"FabFilter after 4/2", chain(kVstLine, {state_header(0xFEED5EEE, 4, 2, 8, 8), fab}),
         "FabFPQ3a", " | 4 | 2 | 7 | Default Setting\n", "SETTINGS will transfer too"},
        {"FabFilter's VST3 chunk", chain(kVstLine, {state_header(0xFEED5EEE, 2, 2, 8, 16), ffbs}),
         "FabFPQ3a", " | 2 | 2 | 7 | Default Setting\n", "SETTINGS will transfer too"},
        // Learned under another maker's signature, the FabFilter framing is not used: the line
        // keeps the preset, and the text says what the conversion does.
        {"FabFilter chunk, other signature",
         chain(kVstLine, {state_header(0xFEED5EEE, 2, 2, 8, 8), fab}), "QzzyQzEq",
         " | 2 | 2 | 7 | Default Setting\n", "transfer where Pro Tools stored"},
    };
    for (const Case& c : cases) {
        Folder f;
        write_file(f.chain_file, c.text);
        Said said;
        EXPECT_EQ(learn_plugin(f.chain_file, c.signature, f.program), 0) << c.what;
        const std::string table = read_file(f.table);
        EXPECT_TRUE(table.ends_with(c.line_end)) << c.what << ": " << table;
        EXPECT_NE(said.sink.got.find(c.said), std::string::npos) << c.what << said.sink.got;
    }
}

// Chains cut out of REAPER's own projects, one plug-in each, written as REAPER exports them:
// every kind of header learns the pins and the tail word it states.
TEST(LearnPlugin, ChainsCutFromReapersProjectsKeepTheirHeaders) {
    const std::filesystem::path reference = LANWICK_REAPER_REF_DIR;
    if (!std::filesystem::exists(reference))
        GTEST_SKIP() << "no " << reference.string() << "; skipped";
    struct Case {
        const char* what;
        const char* project;
        const char* opening;  // the start of the block's "<VST " line
        const char* signature;
        const char* line_end;
    } cases[] = {
        {"FEED5EEF, 4 in", "exvertus__reaper-projects__projects_test_track_test_track.rpp",
         "<VST \"VST: ReaComp (Cockos)\"", "CcksRcmp", " | 4 | 2 | 1048576 | | FEED5EEF\n"},
        {"an instrument, 0 in",
         "exvertus__reaper-projects__projects_vapors-and-mash_track2_track2.rpp",
         "<VST \"VSTi: ReaSynth (Cockos)\"", "CcksRsyn", " | 0 | 2 | 1048576 | | FEED5EEF\n"},
        {"8 channels, over two lines", "LazyBone2017__tears_dont_fall__project.rpp",
         "<VST \"VST: Acon Digital Multiply", "AcDgMult", " | 8 | 8 | 1048576\n"},
        {"16 channels, over three lines", "Oeyvind__wave_video__stats11_midi_multi.rpp",
         "<VST \"VST: stats_rope11_midi", "CbbgRope", " | 16 | 16 | 1048576\n"},
        {"16 channels, VST3", "Oeyvind__wave_video__water_water1.rpp", "<VST \"VST3i: water_slits",
         "CbbgSlit", " | 16 | 16 | 1114111\n"},
        {"FEED5EEE, 4 in", "LazyBone2017__tears_dont_fall__project.rpp", "<VST \"VST: TDR Nova",
         "TDLbNova", " | 4 | 2 | 1048576\n"},
        {"FabFilter, VST3 (FFBS)",
         "exvertus__reaper-projects__projects_vapors-and-mash_track2_track2.rpp",
         "<VST \"VST3: FabFilter Pro-Q 3", "FabFPQ3a", " | 4 | 2 | 1114111 | Default Setting\n"},
        {"FabFilter, VST2 (FFBS)", "exvertus__reaper-projects__projects_test_track_test_track.rpp",
         "<VST \"VST: FabFilter Pro-Q 3", "FabFPQ3a", " | 4 | 2 | 1048576 | Default Setting\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string text = read_file((reference / c.project).string());
        const std::size_t open = text.find(c.opening);
        ASSERT_NE(open, std::string::npos) << c.project;
        const std::size_t line = text.rfind('\n', open) + 1;
        const std::size_t close = text.find(std::string(open - line, ' ') + ">\n", open);
        ASSERT_NE(close, std::string::npos);
        Folder f;
        write_file(f.chain_file, "<REAPER_FXCHAIN\n  BYPASS 0 0 0\n" +
                                     text.substr(line, close - line) + "  >\n>\n");
        Said said;
        ASSERT_EQ(learn_plugin(f.chain_file, c.signature, f.program), 0) << said.sink.got;
        const std::string table = read_file(f.table);
        EXPECT_TRUE(table.starts_with(std::string(c.signature) + " | ")) << table;
        EXPECT_TRUE(table.ends_with(c.line_end)) << table;
        EXPECT_EQ(said.sink.got.find("could not be read"), std::string::npos) << said.sink.got;
    }
}

TEST(LearnPlugin, FailuresLeaveTheTableAsItWas) {
    const std::string good = chain(kVstLine, {state_header(0xFEED5EEE, 2, 2, 8, 0)});
    const std::string kept = "# mine\nAbcdEfgh | VST: X (Y) | x.dll | 1<00> | 2 | 2 | 0";
    struct Case {
        const char* what;
        std::string chain_text;  // empty: no chain file
        std::string signature;
        std::string said;
        bool through_a_file = false;  // the program's folder is a path through a regular file
    } cases[] = {
        {"missing chain", "", "QzzyQzEq", "  cannot open "},
        {"no <VST line", "<REAPER_FXCHAIN\n  BYPASS 0 0 0\n>\n", "QzzyQzEq",
         " does not look like an .RfxChain\n"},
        {"file ends after the <VST line", std::string(kVstLine) + "\n", "QzzyQzEq",
         " does not look like an .RfxChain\n"},
        {"empty ident", chain("<VST \"VST: A (B)\" a.dll 0 \"\" \"\"", {"x"}), "QzzyQzEq",
         "  could not read the <VST line\n"},
        {"bad magic", chain(kVstLine, {state_header(0xFEED5EED, 2, 2, 8, 0)}), "QzzyQzEq",
         "  header magic is FEED5EED, expected FEED5EEE/FEED5EEF - is this one plug-in?\n"},
        {"random bytes",
         std::string(kVstLine) + "\n" + std::string("\x00\xff\x13=\x80", 5) +
             std::string(9000, 'A') + "\n",
         "QzzyQzEq", "  header magic is 00000000"},
        {"5-character signature", good, "Qzzy5",
         "  cannot learn: the AAX signature cannot be stored in the learned table\n"},
        {"signature with a bar", good, "Qzzy|QzEq", "cannot learn: the AAX signature"},
        {"signature starting #", good, "#zzyQzEq", "cannot learn: the AAX signature"},
        {"signature with a blank at its end", good, "QzzyQzEq ", "cannot learn: the AAX"},
        {"name with a bar, good header",
         chain("<VST \"VST: A|B\" a.dll 0 \"\" 1<00>", {state_header(0xFEED5EEE, 2, 2, 8, 0)}),
         "QzzyQzEq", "cannot learn: the display name cannot be stored"},
        {"unwritable folder", good, "QzzyQzEq", "  cannot write ", true},
    };
    for (const Case& c : cases) {
        for (const bool table_there : {false, true}) {
            Folder f;
            std::string program = f.program;
            std::string table = f.table;
            if (c.through_a_file) {
                write_file(f.dir.file("plain"), "x");
                program = f.dir.file("plain") + "/lanwick";
                table = f.dir.file("plain") + "/lanwick-plugins.txt";
            }
            if (!c.chain_text.empty()) write_file(f.chain_file, c.chain_text);
            if (table_there && !c.through_a_file) write_file(table, kept);
            Said said;
            EXPECT_EQ(learn_plugin(f.chain_file, c.signature, program), 1) << c.what;
            EXPECT_NE(said.sink.got.find(c.said), std::string::npos) << c.what << said.sink.got;
            if (table_there && !c.through_a_file)
                EXPECT_EQ(read_file(table), kept) << c.what;
            else
                EXPECT_FALSE(std::filesystem::exists(f.table)) << c.what;
            EXPECT_FALSE(std::filesystem::exists(f.table + ".tmp")) << c.what;
        }
    }
}

TEST(LearnPlugin, RelearningKeepsOneLinePerSignature) {
    Folder f;
    const std::string first = chain(kVstLine, {state_header(0xFEED5EEE, 2, 2, 8, 0, 0)});
    const std::string other = "Abcd1234 | VST: X (Y) | x.dll | 1<00> | 2 | 2 | 0";
    write_file(f.table, "# kept\r\n" + other);  // no line end after the last line
    write_file(f.chain_file, first);
    Said said;
    ASSERT_EQ(learn_plugin(f.chain_file, "QzzyQzEq", f.program), 0);
    const std::string once = read_file(f.table);
    EXPECT_EQ(once, "# kept\r\n" + other +
                        "\nQzzyQzEq | VST: Qzzy EQ (Qzzy) | qzzy.dll | 1366952817<56535451> | 2 "
                        "| 2 | 0\n");

    ASSERT_EQ(learn_plugin(f.chain_file, "QzzyQzEq", f.program), 0);
    EXPECT_EQ(read_file(f.table), once);
    EXPECT_NE(said.sink.got.find("  already in " + f.table + ", unchanged\n"), std::string::npos);

    // A changed chain for the same signature replaces its line in place.
    write_file(f.table, once + "ZzzzZzzz | VST: Z (Z) | z.dll | 9<00> | 2 | 2 | 0\n");
    write_file(f.chain_file, chain(kVstLine, {state_header(0xFEED5EEE, 1, 2, 8, 0, 0)}));
    ASSERT_EQ(learn_plugin(f.chain_file, " QzzyQzEq", f.program), 1);  // refused: leading blank
    ASSERT_EQ(learn_plugin(f.chain_file, "QzzyQzEq", f.program), 0);
    EXPECT_EQ(read_file(f.table),
              "# kept\r\n" + other +
                  "\nQzzyQzEq | VST: Qzzy EQ (Qzzy) | qzzy.dll | 1366952817<56535451> | 1 | 2 | "
                  "0\nZzzzZzzz | VST: Z (Z) | z.dll | 9<00> | 2 | 2 | 0\n");
    EXPECT_NE(said.sink.got.find("\n  replaced the line for QzzyQzEq in " + f.table + "\n"),
              std::string::npos);
}

TEST(LearnProgram, LearnsBesideTheProgramAndTheNextConversionUsesIt) {
    TempDir program_dir;
    TempDir work;
    write_file(work.file("one.RfxChain"),
               chain(kVstLine, {state_header(0xFEED5EEE, 2, 2, 8, 0, 0)}));
    test_support::RunSetup setup;
    setup.program_dir = program_dir.path().string();
    auto r = test_support::run_lanwick(
        {"--learn", work.file("one.RfxChain"), "QzzyQzEq", "--no-pause"}, setup);
    EXPECT_EQ(r.exit_code, 0) << r.out;
    EXPECT_NE(r.out.find("  learned from "), std::string::npos) << r.out;
    EXPECT_EQ(read_file(program_dir.file("lanwick-plugins.txt")),
              "QzzyQzEq | VST: Qzzy EQ (Qzzy) | qzzy.dll | 1366952817<56535451> | 2 | 2 | 0\n");

    REQUIRE_SESSION(session, "RegionTest.ptx");
    r = test_support::run_lanwick({session, "--check", "--no-pause"}, setup);
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_NE(r.out.find("  1 plug-in(s) learned from lanwick-plugins.txt\n"), std::string::npos)
        << r.out;
}

// A ReaComp learned from REAPER's own 4-input export keeps its key pins in the project: the
// plug-in block's header carries the learned magic, pins and tail word, and the trailer the word
// that goes with that tail, as REAPER saved the block.
TEST(LearnProgram, LearnedPinsReachThePluginHeader) {
    const std::filesystem::path project =
        std::filesystem::path(LANWICK_REAPER_REF_DIR) /
        "exvertus__reaper-projects__projects_test_track_test_track.rpp";
    if (!std::filesystem::exists(project)) GTEST_SKIP() << "no " << project.string() << "; skipped";
    const std::string text = read_file(project.string());
    const std::size_t open = text.find("<VST \"VST: ReaComp (Cockos)\"");
    ASSERT_NE(open, std::string::npos);
    const std::size_t line = text.rfind('\n', open) + 1;
    const std::size_t close = text.find(std::string(open - line, ' ') + ">\n", open);
    ASSERT_NE(close, std::string::npos);

    TempDir program_dir, work;
    test_support::RunSetup setup;
    setup.program_dir = program_dir.path().string();
    setup.home = setup.appdata = setup.current_dir = work.path().string();
    write_file(work.file("comp.RfxChain"),
               "<REAPER_FXCHAIN\n" + text.substr(line, close - line) + "  >\n>\n");
    auto r = test_support::run_lanwick(
        {"--learn", work.file("comp.RfxChain"), "CcksRcmp", "--no-pause"}, setup);
    ASSERT_EQ(r.exit_code, 0) << r.out;

    test_plugins::PluginBlock slot;
    slot.id = "CcksRcmp";
    slot.settings = "/*@Meta name=comp */ x = 1;";
    const std::string plain = plugin_session::drums_with_slots(
        test_plugins::plugin_block(slot) + test_plugins::byte(1) + test_blocks::zeros(3));
    std::vector<std::uint8_t> bytes(plain.begin(), plain.end());
    ASSERT_TRUE(ptf_xor_crypt(bytes));
    write_file(work.file("Comp.ptx"), std::string(bytes.begin(), bytes.end()));
    r = test_support::run_lanwick(
        {work.file("Comp.ptx"), "-o", work.file("Comp.rpp"), "--no-pause"}, setup);
    ASSERT_EQ(r.exit_code, 0) << r.out;
    const std::string out = read_file(work.file("Comp.rpp"));
    const std::size_t block = out.find("<VST \"VST: ReaComp (Cockos)\" reacomp.dll 0 ");
    ASSERT_NE(block, std::string::npos) << out;
    const std::size_t at = out.find('\n', block) + 1;
    const std::size_t end = out.find('\n', at);
    const std::string header = base64_decode(trim_blanks(out.substr(at, end - at)));
    ASSERT_EQ(header.size(), 12u + 4 * 8 + 4 + 2 * 8 + 12);
    EXPECT_EQ(read_u32le_checked(header, 8), 4u);                  // inputs, the key among them
    EXPECT_EQ(read_u32le_checked(header, 12 + 4 * 8), 2u);         // outputs
    EXPECT_EQ(read_u32le_checked(header, 4), 0xFEED5EEFu);         // the magic REAPER saved
    EXPECT_EQ(read_u32le_checked(header, header.size() - 8), 0u);  // its flag
    EXPECT_EQ(read_u32le_checked(header, header.size() - 4), 0x00100000u);  // the tail word
    EXPECT_EQ(reaper_block_forms::unlike_reaper(out), std::vector<std::string>()) << out;
}

}  // namespace
