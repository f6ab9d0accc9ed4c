// The learned plug-in table and the parameter-name tables.
#include <gtest/gtest.h>

#include <string>

#include "convert/run_state.h"
#include "plugins/learned_table.h"
#include "plugins/param_names.h"
#include "plugins/plugin_rules.h"
#include "plugins/plugin_state.h"
#include "tests/plugin_fixtures.h"
#include "tests/test_support.h"

namespace {

using test_support::TempDir;
using test_support::write_file;

std::string text_of(const char* text) {
    return text ? text : "(null)";
}

class LearnedTable : public ::testing::Test {
  protected:
    void SetUp() override { reset_plugin_knowledge(); }
    void TearDown() override { reset_plugin_knowledge(); }
    plugin_fixtures::HermeticFolders hermetic;
    int load(const std::string& text) {
        write_file(dir.file("lanwick-plugins.txt"), text);
        return load_learned_plugins(dir.file("lanwick-plugins.txt"), plugin_knowledge);
    }
    TempDir dir;
};

TEST_F(LearnedTable, LinesAsLearnWritesThem) {
    const int taken = load(
        "# learned plug-ins\n"
        "FabFPQ3a | VST3: Pro-Q 3 (FabFilter) | FabFilter Pro-Q 3.vst3 | 1{ABCD} | 2 | 2 | 0 | "
        "Default Setting\n"
        // Four fields and a 9-character signature: the key is its first 8 characters.
        "\tQzzyQzEqX\t|VST: Qzzy EQ (Qzzy)|  qzzy.dll |  1366323801<00> \n"
        "FabFPQ4a | VST3: Pro-Q 4 (FabFilter) | Pro-Q 4.vst3 | 2{EF} | 6 | 8 | 65535\n"
        "QzzyVerb |  | verb.dll | 5<00> | x | 3junk | | My Room\n"
        // 12 characters or more keep 12: a plug-in inside a Waves shell; 9 to 11 keep 8.
        "WvS3ShelCL76extra | VST3: CLA-76 (Waves) | WaveShell.vst3 | 7{77} \n"
        "WvS3ShelC | VST3: Shell (Waves) | WaveShell.vst3 | 8{88}\n"
        // REAPER's ReaComp, whose header opens FEED5EEF: an empty preset name before the magic.
        "CockRCmp | VST: ReaComp (Cockos) | reacomp.dll | 9<00> | 4 | 2 | 1048576 | | FEED5EEF\n"
        "Short | VST: A (B) | a.dll | 1<00>\n"
        "QzzyNoId | VST: A (B) | a.dll |  \n"
        "QzzyFew | VST: A (B) | a.dll\n");
    EXPECT_EQ(taken, 7);
    ASSERT_EQ(plugin_knowledge.learned_rows.size(), 7u);
    ASSERT_EQ(plugin_knowledge.resolutions.size(), 7u);

    struct Expected {
        const char* key;
        const char* display;
        const char* type;
        const char* file;
        const char* id;
        std::uint32_t in, out, tail;
        const char* preset;
        std::uint32_t magic = 0xFEED5EEE;  // a line without the field, as tables before it
    };
    // A VST3 line whose tail is 0 or missing takes REAPER's VST3 tail; a VST2 line keeps its own.
    constexpr std::uint32_t vst3_tail = 0x0010FFFF;
    const Expected expected[] = {
        {"FabFPQ3a", "VST3: Pro-Q 3 (FabFilter)", "VST3: Pro-Q 3 (FabFilter)",
         "FabFilter Pro-Q 3.vst3", "1{ABCD}", 2, 2, vst3_tail, "Default Setting"},
        {"QzzyQzEq", "VST: Qzzy EQ (Qzzy)", "VST: Qzzy EQ (Qzzy)", "qzzy.dll", "1366323801<00>", 2,
         2, 0, "(null)"},
        // A FabFilter key without a preset name gets the default one.
        {"FabFPQ4a", "VST3: Pro-Q 4 (FabFilter)", "VST3: Pro-Q 4 (FabFilter)", "Pro-Q 4.vst3",
         "2{EF}", 6, 8, 65535, "Default Setting"},
        {"QzzyVerb", "QzzyVerb", "", "verb.dll", "5<00>", 2, 3, 0, "My Room"},
        {"WvS3ShelCL76", "VST3: CLA-76 (Waves)", "VST3: CLA-76 (Waves)", "WaveShell.vst3", "7{77}",
         2, 2, vst3_tail, "(null)"},
        {"WvS3Shel", "VST3: Shell (Waves)", "VST3: Shell (Waves)", "WaveShell.vst3", "8{88}", 2, 2,
         vst3_tail, "(null)"},
        {"CockRCmp", "VST: ReaComp (Cockos)", "VST: ReaComp (Cockos)", "reacomp.dll", "9<00>", 4, 2,
         1048576, "(null)", 0xFEED5EEF},
    };
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        const PluginRuleRow& row = plugin_knowledge.learned_rows[i];
        const Expected& e = expected[i];
        SCOPED_TRACE(e.key);
        EXPECT_EQ(text_of(row.signature), e.key);
        EXPECT_EQ(text_of(row.display_name), e.display);
        EXPECT_EQ(text_of(row.type_text), e.type);
        EXPECT_EQ(text_of(row.file), e.file);
        EXPECT_EQ(text_of(row.id_text), e.id);
        EXPECT_EQ(row.input_pins, e.in);
        EXPECT_EQ(row.output_pins, e.out);
        EXPECT_EQ(row.tail_word, e.tail);
        EXPECT_EQ(text_of(row.preset_name), e.preset);
        EXPECT_EQ(row.header_magic, e.magic);
        EXPECT_EQ(plugin_knowledge.resolutions[i].id_known, 1);
    }

    // The shell's 8-character row names no plug-in inside it; the 12-character row names one.
    EXPECT_EQ(text_of(find_mapping_rule("WvS3ShelCL76")->signature), "WvS3ShelCL76");
    EXPECT_EQ(find_mapping_rule("WvS3ShelLA2A"), nullptr);
    EXPECT_EQ(text_of(find_mapping_rule("WvS3Shel")->signature), "WvS3Shel");
    EXPECT_EQ(text_of(find_mapping_rule("QzzyQzEq")->file), "qzzy.dll");
}

TEST_F(LearnedTable, RowsStayValidAsTheTableGrows) {
    std::string text;
    for (int i = 0; i < 300; ++i)
        text += "Qzzy" + std::to_string(1000 + i) + " | VST: P" + std::to_string(i) +
                " (Q) | p.dll | " + std::to_string(i + 1) + "<00>\n";
    ASSERT_EQ(load(text), 300);
    EXPECT_EQ(text_of(plugin_knowledge.learned_rows.front().type_text), "VST: P0 (Q)");
    EXPECT_EQ(text_of(plugin_knowledge.learned_rows.back().id_text), "300<00>");
    EXPECT_EQ(load_learned_plugins(dir.file("missing.txt"), plugin_knowledge), 0);
    // The run's reset empties the table.
    reset_conversion_state(ConvertOptions{});
    EXPECT_TRUE(plugin_knowledge.learned_rows.empty());
    EXPECT_TRUE(plugin_knowledge.resolutions.empty());
    EXPECT_EQ(find_mapping_rule("Qzzy1000"), nullptr);
}

TEST(ParamNames, RowsAndTheirTests) {
    plugin_fixtures::HermeticFolders hermetic;
    TempDir dir;
    const std::string path = dir.file("a.tsv");
    write_file(path,
               "plugin\tbuild\tindex\tname\n"
               "VST: Qzzy EQ (Qzzy)\tv1\t0\tGain\textra\n"
               "VST: Qzzy EQ (Qzzy)\tv1\t1\tFreq\r\n"
               "VST: Qzzy EQ (Qzzy)\tv1\t1\tFrequency\n"
               "VST: Qzzy EQ (Qzzy)\tv1\t1234567\tTooLong\n"
               "VST: Qzzy EQ (Qzzy)\tv1\t12a\tNotANumber\n"
               "VST: Qzzy EQ (Qzzy)\tv1\t\tNoIndex\n"
               "VST: Qzzy EQ (Qzzy)\tv1\t3\n"
               "VST: Other (Qzzy)\t\t999999\tLast\n" +
                   std::string(1100, 'x') + "\tv\t2\tOverlong\n");
    ParamNameTable table;
    EXPECT_EQ(read_param_table(path, table), 4);
    const auto& eq = table.names_by_plugin["VST: Qzzy EQ (Qzzy)"];
    EXPECT_EQ(eq, (std::map<std::uint32_t, std::string>{{0, "Gain"}, {1, "Frequency"}}));
    EXPECT_EQ(table.names_by_plugin["VST: Other (Qzzy)"][999999], "Last");
    EXPECT_EQ(table.names_by_plugin.size(), 2u);
    EXPECT_EQ(read_param_table(dir.file("missing.tsv"), table), 0);
}

TEST(ParamNames, BuildsThatDisagreeKeepOnlyTheSharedNames) {
    plugin_fixtures::HermeticFolders hermetic;
    TempDir dir;
    write_file(dir.file("a.tsv"),
               "P\tv1\t1\tGain\nP\tv1\t5\tMix\nP\tv1\t6\tOnlyInV1\n"
               "Single\tv1\t5\tMix\n");
    write_file(dir.file("b.tsv"), "P\tv2\t1\tGain\nP\tv2\t5\tDry/Wet\n");
    ParamNameTable table;
    read_param_table(dir.file("a.tsv"), table);
    read_param_table(dir.file("b.tsv"), table);
    merge_param_name_tables(table);
    EXPECT_EQ(table.names_by_plugin["P"], (std::map<std::uint32_t, std::string>{{1, "Gain"}}));
    EXPECT_EQ(table.names_by_plugin["Single"], (std::map<std::uint32_t, std::string>{{5, "Mix"}}));
}

}  // namespace
