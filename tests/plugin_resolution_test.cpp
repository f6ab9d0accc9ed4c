// Which REAPER plug-in stands for each Pro Tools plug-in: the identification rules, the
// resolution pass with its Kontakt and VST2 choices, and the CLAP preference.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/output.h"
#include "plugins/identification.h"
#include "plugins/plugin_rules.h"
#include "plugins/plugin_state.h"
#include "plugins/reaper_cache.h"
#include "plugins/resolution.h"
#include "tests/plugin_fixtures.h"
#include "util/names.h"

namespace {

using namespace plugin_fixtures;

std::vector<ReaperPluginEntry> cache_of(const std::vector<std::string>& vst_lines,
                                        const std::vector<std::string>& clap_lines = {}) {
    std::vector<ReaperPluginEntry> cache;
    for (std::string line : vst_lines) {
        if (!line.empty() && line.back() == '\n') line.pop_back();
        EXPECT_TRUE(parse_vst_cache_line(line, cache)) << line;
    }
    std::string section;
    for (const std::string& line : clap_lines) parse_clap_cache_line(line, section, cache);
    return cache;
}

SessionPluginInstance instance(const std::string& aax_id, std::uint32_t kind = 1,
                               const std::string& sub = "", std::int32_t channel_word = -1) {
    SessionPluginInstance i;
    i.aax_id = aax_id;
    i.payload_kind = kind;
    i.subcomponent_code = sub;
    i.channel_word = channel_word;
    return i;
}

std::string text_of(const char* text) {
    return text ? text : "";
}

class RecordingSink : public PtxSink {
  public:
    void write(const char* text) override { got += text; }
    std::string got;
};

// Each test starts from an empty run and keeps what the pass prints.
class Resolution : public ::testing::Test {
  protected:
    void SetUp() override {
        reset_plugin_knowledge();
        previous_ = output_state.current_sink;
        output_state.current_sink = &sink;
    }
    void TearDown() override {
        output_state.current_sink = previous_;
        reset_plugin_knowledge();
    }
    int resolve(const std::vector<SessionPluginInstance>& instances, bool prefer_vst3 = true,
                const std::map<std::string, std::string>& names = {}) {
        return resolve_session_plugins(instances, names, prefer_vst3, builtin);
    }
    RecordingSink sink;
    std::vector<PluginRuleRow> builtin{builtin_rule_rows().begin(), builtin_rule_rows().end()};

  private:
    PtxSink* previous_ = nullptr;
};

// --- Keys, rows and makers -------------------------------------------------------------------

TEST(PluginRules, KeysRowsAndMakers) {
    EXPECT_EQ(plugin_key(instance("WvS3Shel", 9, "cl76")), "WvS3Shelcl76");
    EXPECT_EQ(plugin_key(instance("WvS3Shel", 9, "cl7")), "WvS3Shel");
    EXPECT_EQ(plugin_key(instance("WvS3Shel", 1, "cl76")), "WvS3Shel");

    reset_plugin_knowledge();
    // Avid's processors keep their names without a target; a longer key still matches.
    for (const auto& [key, name] :
         std::vector<std::pair<std::string, std::string>>{{"Digi47e3", "EQ3 7-Band"},
                                                          {"Digi1be3", "EQ3 1-Band"},
                                                          {"Digidn3c", "Dyn3 Compressor/Limiter"},
                                                          {"Digidn3e", "Dyn3 Expander/Gate"},
                                                          {"AVIDChSt", "Channel Strip"},
                                                          {"DigiTrimXX", "Trim"}}) {
        const PluginRuleRow* row = find_mapping_rule(key);
        ASSERT_NE(row, nullptr) << key;
        EXPECT_EQ(text_of(row->display_name), name);
        EXPECT_FALSE(row_has_target(*row));
    }
    EXPECT_EQ(find_mapping_rule("QzzyQzEq"), nullptr);

    // The Kontakt row carries exactly what REAPER's cache line of that build describes.
    const std::vector<ReaperPluginEntry> kontakt = cache_of(
        {vst_line("Kontakt.dll", "1315513412", "Kontakt (Native Instruments) (64 out)!!!VSTi")});
    std::string id_text, type_text;
    describe_reaper_plugin(kontakt[0], id_text, type_text);
    const PluginRuleRow* row = find_mapping_rule("NiInNi$D");
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(text_of(row->type_text), type_text);
    EXPECT_EQ(text_of(row->id_text), id_text);
    EXPECT_EQ(text_of(row->file), kontakt[0].file);

    for (const char* id : {"DigiXXXX", "AVIDxxxx", "Avidxxxx", "BFD xxxx", "TrLnxxxx"})
        EXPECT_TRUE(is_avid_maker_id(id)) << id;
    for (const char* id : {"digiXXXX", "QzzyDigi", "BFDxxxxx", ""})
        EXPECT_FALSE(is_avid_maker_id(id)) << id;

    for (const auto& [name, maker] : std::vector<std::pair<std::string, std::string>>{
             {"Foo (Maker) (2 out)", "Maker"},
             {"Kontakt (Native Instruments) (64 out)", "Native Instruments"},
             {"ReaStream (Cockos) (8ch)", "Cockos"},
             {"Foo (Maker) x", ""},
             {"Foo ()", ""},
             {"Foo", ""},
             {"Foo (2 out)", ""},
             {"Foo (Maker) (2 outs)", "2 outs"}})
        EXPECT_EQ(last_parenthesised_text(name), maker) << name;
}

// --- Identification --------------------------------------------------------------------------

TEST(Identification, OneCasePerRule) {
    const std::string vst3_line_of_code =
        vst_line("Qzzy EQ.vst3", "5{" + class_id("QzEq") + "}", "Qzzy EQ (Qzzy)");
    const std::string vst2_line = vst_line("Qzzy_EQ.dll", code_id("QzEq"), "Qzzy EQ (Qzzy)");
    struct Case {
        std::string key;
        std::string display;
        bool prefer_vst3;
        std::vector<std::string> cache;
        int found;
        std::string rule;
    };
    const std::vector<Case> cases = {
        {"iZtpZab0",
         "",
         true,
         {vst_line("o.dll", code_id("Znab"), "O (iZ)"),
          vst_line("o.vst3", "9{" + class_id("Znab") + "}", "O (iZ)")},
         1,
         "iZotope code rule"},
        {"iZtpZab0",
         "",
         true,
         {vst_line("o.dll", code_id("Znab"), "O (iZ)")},
         0,
         "iZotope code rule (VST2)"},
        {"QzzyQzEq", "", true, {vst2_line, vst3_line_of_code}, 1, "VST3 compat id (--prefer-vst3)"},
        {"QzzyQzEq",
         "",
         true,
         {vst2_line, vst_line("Qzzy EQ.vst3", "5{" + class_id("Othr") + "}", "Qzzy EQ (Qzzy)")},
         1,
         "VST3 by filename stem (--prefer-vst3)"},
        {"QzzyQzEq", "", false, {vst3_line_of_code, vst2_line}, 1, "VST2 id"},
        {"QzzyQzEq", "", false, {vst3_line_of_code}, 0, "VST3 compat id"},
        {"QzzyQzEq",
         "",
         true,
         {vst_line("a.dll", "1", "QzEq (No)"),
          vst_line("b.vst3", "2{000102030405060708090A0B517A4571}", "B (Qzzy)")},
         1,
         "VST3 class id ends in the AAX code"},
        {"QzzyQzEq",
         "",
         true,
         {vst_line("b.vst3", "2{00517A4571000102515A7A7900000000}", "B (Qzzy)"),
          vst_line("c.vst3", "2{00517A4571000102517A7A7900000000}", "C (Qzzy)")},
         1,
         "VST3 class id holds both AAX codes"},
        {"QzzyZZZZ",
         "Qzzy-Verb",
         true,
         {vst_line("a.dll", "1", "Qzzy Verb Pro (Qzzy)"),
          vst_line("b.dll", "2", "QzzyVerb (Qzzy) (2 out)")},
         1,
         "name"},
        {"QzzyZZZZ",
         "Qzzy Verb Pro Mono",
         true,
         {vst_line("a.dll", "1", "Pro (Qzzy)"), vst_line("b.dll", "2", "Qzzy Verb (Qzzy)")},
         1,
         "name (partial)"},
        // A name without letters or digits finds nothing.
        {"QzzyZZZZ", " -- ", true, {vst_line("b.dll", "2", "Qzzy Verb (Qzzy)")}, -1, ""},
        {"QzzyZZZZ", "", true, {vst_line("b.dll", "2", "Qzzy Verb (Qzzy)")}, -1, ""},
        {"Qzz", "Qzzy Verb", true, {vst_line("b.dll", "2", "Qzzy Verb (Qzzy)")}, 0, "name"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key + " " + c.display + " " + std::to_string(c.found));
        const std::vector<ReaperPluginEntry> cache = cache_of(c.cache);
        std::string rule;
        EXPECT_EQ(identify_in_cache(index_cache(cache), c.key, c.display, c.prefer_vst3, rule),
                  c.found);
        EXPECT_EQ(rule, c.rule);
    }
}

TEST(Identification, Vst2Alternative) {
    const std::vector<ReaperPluginEntry> cache =
        cache_of({vst_line("Qzzy EQ.vst3", "5{" + class_id("QzEq") + "}", "Qzzy EQ (Qzzy)"),
                  vst_line("Qzzy_EQ.dll", code_id("QzEq"), "Qzzy EQ (Qzzy)")});
    PluginRuleRow row;
    row.display_name = "Qzzy EQ";
    row.id_text = "5{ABC}";
    EXPECT_EQ(find_vst2_alternative(index_cache(cache), "QzzyQzEq", row), 1);
    EXPECT_EQ(find_vst2_alternative(index_cache(cache), "QzzyQzEqabcd", row), -1);
    const std::uint8_t header[4] = {};
    PluginRuleRow templated = row;
    templated.header_template = header;
    EXPECT_EQ(find_vst2_alternative(index_cache(cache), "QzzyQzEq", templated), -1);
    PluginRuleRow vst2_row = row;
    vst2_row.id_text = "5<ABC>";
    EXPECT_EQ(find_vst2_alternative(index_cache(cache), "QzzyQzEq", vst2_row), -1);
    // A 32-bit build or a CLAP build is no VST2 alternative.
    const auto x86 = cache_of({vst_line("q.dll", code_id("QzEq"), "Qzzy EQ (x86) (Qzzy)")});
    EXPECT_EQ(find_vst2_alternative(index_cache(x86), "QzzyQzEq", row), -1);
    const auto clap = cache_of({}, {"[q.clap]", "q.eq=0|Qzzy EQ (Qzzy)"});
    EXPECT_EQ(find_vst2_alternative(index_cache(clap), "QzzyQzEq", row), -1);
}

// --- The resolution pass ---------------------------------------------------------------------

// A REAPER 6 cache lists a Waves shell's plug-ins as .vst3 entries without class ids: the entry
// of the session's Waves plug-in name stands for it, with the class id its code and name give.
TEST_F(Resolution, WavesShellEntriesWithoutClassIds) {
    plugin_knowledge.cache = cache_of({
        vst_line("WaveShell1-VST3 12.7_x64.vst3<1303613859", "1303613859", "CLA-2A (Waves)"),
        vst_line("WaveShell1-VST3 12.7_x64.vst3<1303613859", "1303613859", "CLA-76 Mono (Waves)"),
        vst_line("Other.vst3", "77", "CLA-76 Mono (Elsewhere)"),
    });
    SessionPluginInstance waves = instance("WvS3Shel", 9, "76CM");
    waves.plugin_name = "CLA-76 Mono";
    SessionPluginInstance unnamed = instance("WvS3Shel", 9, "ZZZZ");
    EXPECT_EQ(resolve({waves, unnamed}, true), 1);
    EXPECT_EQ(sink.got,
              "    WvS3Shel76CM -> VST3: CLA-76 Mono (Waves)                      [Waves shell "
              "entry of that name, VST3 class id unknown - written with the id its name gives]\n");
    const PluginRuleRow* row = find_mapping_rule("WvS3Shel76CM");
    ASSERT_NE(row, nullptr);
    // "VST", the code "76CM", "cla-76 mo": a VST3 build keeps the blanks and signs of its name.
    EXPECT_EQ(text_of(row->id_text), "1303613859{5653543736434D636C612D3736206D6F}");
    EXPECT_EQ(text_of(row->file), "WaveShell1-VST3 12.7_x64.vst3");
    EXPECT_EQ(plugin_knowledge.marker_only_keys, (std::set<std::string>{"WvS3Shel76CM"}));
    EXPECT_EQ(find_mapping_rule("WvS3ShelZZZZ"), nullptr);
}

TEST_F(Resolution, LinesSortedByKeyAndTheRowsLeftBehind) {
    plugin_knowledge.cache = cache_of({
        vst_line("Qzzy_EQ.vst3", "5{" + class_id("QzEq") + "}", "Qzzy EQ (Qzzy)"),
        vst_line("Bare.vst3", "3", "Bare (Qzzy)"),
        vst_line("Pro-Q_3.vst3", "7{" + class_id("PQ3a") + "}", "Pro-Q 3 (FabFilter)"),
        vst_line("WaveShell.vst3<" + class_id("cl76") + ">", "9", "CLA-76 (Waves)"),
        vst_line("Verb.dll", "11", "Qzzy Verb (Qzzy)"),
    });
    const std::vector<SessionPluginInstance> instances = {
        instance("QzzyQzEq", 1, "", 0), instance("FabFPQ3a"),
        instance("QzzyQzEq"),           instance("WvS3Shel", 9, "cl76"),
        instance("QzzyBare"),           instance("Digi47e3"),
        instance("QzzyVerb"),           instance("QzzyNone")};
    EXPECT_EQ(resolve(instances, true, {{"QzzyVerb", "Qzzy Verb"}, {"QzzyBare", "Bare"}}), 5);
    EXPECT_EQ(sink.got,
              "    FabFPQ3a -> VST3: Pro-Q 3 (FabFilter)                      [VST3 compat id "
              "(--prefer-vst3)]\n"
              "    QzzyBare -> VST3: Bare (Qzzy)                              [the name Pro Tools "
              "stores, VST3 class id unknown - written with the id its name gives]\n"
              "    QzzyQzEq -> VST3: Qzzy EQ (Qzzy)                           [VST3 compat id "
              "(--prefer-vst3)]\n"
              "    QzzyVerb -> VST: Qzzy Verb (Qzzy)                          [the name Pro Tools "
              "stores]\n"
              "    WvS3Shelcl76 -> VST3: CLA-76 (Waves)                           [Waves "
              "PluginSubComp]\n");
    EXPECT_EQ(plugin_knowledge.marker_only_keys, (std::set<std::string>{"QzzyBare"}));

    const PluginRuleRow* eq = find_mapping_rule("QzzyQzEq");
    ASSERT_NE(eq, nullptr);
    EXPECT_EQ(text_of(eq->file), "Qzzy EQ.vst3");  // the '_' of the cache key put back
    EXPECT_EQ(text_of(eq->display_name), "Qzzy EQ");
    EXPECT_EQ(eq->input_pins, 4u);          // an instance has a key input
    EXPECT_EQ(eq->tail_word, 0x0010FFFFu);  // REAPER's last header word for a VST3 build
    EXPECT_EQ(eq->preset_name, nullptr);
    EXPECT_EQ(text_of(find_mapping_rule("FabFPQ3a")->preset_name), "Default Setting");
    EXPECT_EQ(find_mapping_rule("FabFPQ3a")->input_pins, 2u);
    EXPECT_EQ(text_of(find_mapping_rule("FabFPQ3a")->file), "Pro-Q 3.vst3");
    EXPECT_EQ(text_of(find_mapping_rule("Digi47e3")->display_name), "EQ3 7-Band");
    EXPECT_EQ(find_mapping_rule("QzzyNone"), nullptr);
}

TEST_F(Resolution, LearnedKeysAndAvidProcessorsAreNotIdentified) {
    plugin_knowledge.cache = cache_of({
        vst_line("Other.vst3", "5{" + class_id("QzEq") + "}", "Other EQ (Else)"),
        vst_line("WaveShell.vst3<" + class_id("cl76") + ">", "9", "CLA-76 (Waves)"),
        vst_line("EQ3.dll", "12", "EQ3 7-Band (Elsewhere)"),
    });
    PluginResolution learned;
    learned.key = "QzzyQzEq";
    learned.display_name = learned.type_text = "VST: Qzzy EQ (Qzzy)";
    learned.file = "qzzy.dll";
    learned.id_text = "1<00>";
    plugin_knowledge.resolutions.push_back(learned);
    PluginRuleRow row;
    row.signature = plugin_knowledge.resolutions[0].key.c_str();
    row.id_text = plugin_knowledge.resolutions[0].id_text.c_str();
    row.file = plugin_knowledge.resolutions[0].file.c_str();
    plugin_knowledge.learned_rows.push_back(row);
    plugin_knowledge.learned_table_rows = 1;
    // A learned row of the shell's 8 characters leaves the plug-ins inside it to the pass.
    PluginRuleRow shell = row;
    shell.signature = "WvS3Shel";
    plugin_knowledge.learned_rows.push_back(shell);
    plugin_knowledge.learned_table_rows = 2;

    // A built-in row without a target lends its name to the name rules, except for Avid's own
    // processors, which exist only as AAX.
    PluginRuleRow named;
    named.signature = "QzzyNamd";
    named.display_name = "EQ3 7-Band";
    builtin.push_back(named);
    EXPECT_EQ(resolve({instance("QzzyQzEq"), instance("WvS3Shel", 9, "cl76"), instance("Digi47e3"),
                       instance("QzzyNamd")}),
              2);
    EXPECT_EQ(sink.got,
              "    QzzyNamd -> VST: EQ3 7-Band (Elsewhere)                    [name]\n"
              "    WvS3Shelcl76 -> VST3: CLA-76 (Waves)                           [Waves "
              "PluginSubComp]\n");
    EXPECT_EQ(text_of(find_mapping_rule("QzzyQzEq")->file), "qzzy.dll");
    EXPECT_EQ(text_of(find_mapping_rule("QzzyNamd")->display_name), "EQ3 7-Band");
    EXPECT_FALSE(row_has_target(*find_mapping_rule("Digi47e3")));
}

TEST_F(Resolution, NameProToolsStoresPicksOneBuild) {
    const std::string verb_vst3 =
        vst_line("Verb.vst3", "2{" + class_id("Abcd") + "}", "Qzzy Verb (Qzzy)");
    struct Case {
        std::string key, stored;
        std::vector<std::string> cache, clap;
        std::string line;  // empty: nothing found
    };
    const std::vector<Case> cases = {
        // VST3 before VST2 before CLAP.
        {"QzzyVerb",
         "Qzzy Verb",
         {vst_line("Verb.dll", "1", "Qzzy Verb (Qzzy)"), verb_vst3},
         {"[v.clap]", "q.verb=0|Qzzy Verb (Qzzy)"},
         "VST3: Qzzy Verb (Qzzy)"},
        {"QzzyVerb",
         "Qzzy Verb",
         {vst_line("Verb.dll", "1", "Qzzy Verb (Qzzy) (2 out)")},
         {"[v.clap]", "q.verb=0|Qzzy Verb (Qzzy)"},
         "VST: Qzzy Verb (Qzzy) (2 out)"},
        {"QzzyVerb",
         "Qzzy Verb",
         {},
         {"[v.clap]", "q.verb=0|Qzzy Verb (Qzzy)"},
         "CLAP: Qzzy Verb (Qzzy)"},
        // Two makers of one name: ambiguous.
        {"QzzyVerb", "Qzzy Verb", {verb_vst3, vst_line("V.dll", "1", "Qzzy Verb (Other)")}, {}, ""},
        {"DigiVerb", "Qzzy Verb", {verb_vst3}, {}, ""},
        {"QzzyVerb", "Q-V", {vst_line("V.dll", "1", "QV (Qzzy)")}, {}, ""},
        {"QzzyVerb", "Other", {verb_vst3}, {}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key + " " + c.line);
        reset_plugin_knowledge();
        sink.got.clear();
        plugin_knowledge.cache = cache_of(c.cache, c.clap);
        resolve({instance(c.key)}, true, {{c.key, c.stored}});
        if (c.line.empty()) {
            EXPECT_EQ(sink.got, "");
            continue;
        }
        EXPECT_EQ(sink.got, "    " + c.key + " -> " + c.line +
                                std::string(46 - c.line.size(), ' ') +
                                " [the name Pro Tools stores]\n");
    }
}

TEST_F(Resolution, KontaktOutcomes) {
    const std::string vst2 =
        vst_line("Kontakt.dll", "1315513412", "Kontakt (Native Instruments) (64 out)!!!VSTi");
    const std::string vst2_x86 = vst_line("Kontakt32.dll", "1315513412",
                                          "Kontakt (x86) (Native Instruments) (16 out)!!!VSTi");
    const std::string k7 = vst_line("Kontakt 7.vst3", "1{5653544E694B376B6F6E74616B742037}",
                                    "Kontakt 7 (Native Instruments) (64 out)!!!VSTi");
    const std::string k8 = vst_line("Kontakt 8.vst3", "2{" + class_id("NiK8", "kontakt 8") + "}",
                                    "Kontakt 8 (Native Instruments) (32 out)!!!VSTi");
    const std::string k9 = vst_line("Kontakt 9.vst3", "3{" + class_id("NiK9", "kontakt 9") + "}",
                                    "Kontakt 9 (Native Instruments)!!!VSTi");
    const std::string k10_other = vst_line("Kontakt 10.vst3", "4{" + class_id("NiKa") + "}",
                                           "Kontakt 10 (Someone Else)!!!VSTi");
    struct Case {
        std::vector<std::string> cache;
        bool prefer_vst3;
        std::string line;  // empty: the table row stands
        std::uint32_t output_pins;
        std::uint8_t predicted;
    };
    const std::vector<Case> cases = {
        {{vst2, k7, k8},
         true,
         "    NiInNi$D -> VST3i: Kontakt 7 (Native Instruments) (64 out) [Kontakt 7 takes "
         "Kontakt 6's settings, measured]\n",
         64,
         0},
        {{vst2_x86, k9, k8, k10_other},
         true,
         "    NiInNi$D -> VST3i: Kontakt 9 (Native Instruments)          [predicted: written the "
         "way Kontakt 7 takes them]\n",
         64,
         1},
        {{k8},
         true,
         "    NiInNi$D -> VST3i: Kontakt 8 (Native Instruments) (32 out) [predicted: written the "
         "way Kontakt 7 takes them]\n",
         32,
         1},
        {{vst2, k8}, true, "", 0, 0},
        {{vst2, k7}, false, "", 0, 0},
        {{vst2_x86}, true, "", 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        reset_plugin_knowledge();
        sink.got.clear();
        plugin_knowledge.cache = cache_of(c.cache);
        resolve({instance("NiInNi$D"), instance("NiInNi$D")}, c.prefer_vst3);
        EXPECT_EQ(sink.got, c.line);
        EXPECT_EQ(plugin_knowledge.kontakt.instance_count, 2u);
        const PluginRuleRow* row = find_mapping_rule("NiInNi$D");
        ASSERT_NE(row, nullptr);
        if (c.line.empty()) {
            EXPECT_EQ(text_of(row->file), "Kontakt.dll");
            EXPECT_TRUE(plugin_knowledge.resolved_rows.empty());
            continue;
        }
        EXPECT_EQ(row->output_pins, c.output_pins);
        EXPECT_EQ(row->tail_word, 0x0010FFFFu);
        EXPECT_EQ(text_of(row->display_name), "Kontakt");
        EXPECT_EQ(plugin_knowledge.kontakt.predicted, c.predicted);
        EXPECT_EQ(plugin_knowledge.kontakt.chosen_name,
                  c.predicted ? (c.output_pins == 32 ? "Kontakt 8 (Native Instruments) (32 out)"
                                                     : "Kontakt 9 (Native Instruments)")
                              : "Kontakt 7 (Native Instruments) (64 out)");
    }
}

TEST_F(Resolution, PreferVst2) {
    // A built-in row aimed at a VST3 build, as a vendor row would be.
    PluginRuleRow vst3_row;
    vst3_row.signature = "QzzyQzEq";
    vst3_row.display_name = "Qzzy EQ";
    vst3_row.type_text = "VST3: Qzzy EQ (Qzzy)";
    vst3_row.file = "Qzzy EQ.vst3";
    vst3_row.id_text = "5{ABCD}";
    vst3_row.preset_name = "Init";
    builtin.push_back(vst3_row);
    const std::vector<std::string> cache = {
        vst_line("Qzzy EQ.vst3", "5{" + class_id("QzEq") + "}", "Qzzy EQ (Qzzy)"),
        vst_line("Qzzy_EQ.dll", code_id("QzEq"), "Qzzy EQ (Qzzy) (2 out)"),
        vst_line("Pro-Q 3.vst3", "7{" + class_id("PQ3a") + "}", "Pro-Q 3 (FabFilter)"),
        vst_line("Pro-Q_3.dll", code_id("PQ3a"), "Pro-Q 3 (FabFilter)"),
    };

    // With VST3 preferred a built-in row stands silently.
    plugin_knowledge.cache = cache_of(cache);
    EXPECT_EQ(resolve({instance("QzzyQzEq")}), 0);
    EXPECT_EQ(sink.got, "");

    // Settings a VST2 build takes: the key moves to the VST2 build.
    reset_plugin_knowledge();
    plugin_knowledge.cache = cache_of(cache);
    EXPECT_EQ(resolve({instance("QzzyQzEq", 10), instance("FabFPQ3a", 1)}, false), 2);
    EXPECT_EQ(sink.got,
              "    FabFPQ3a -> VST: Pro-Q 3 (FabFilter)                       [VST2 id]\n"
              "    QzzyQzEq -> VST: Qzzy EQ (Qzzy) (2 out)                    [--prefer-vst2 over "
              "the table row]\n");
    const PluginRuleRow* row = find_mapping_rule("QzzyQzEq");
    EXPECT_EQ(text_of(row->file), "Qzzy_EQ.dll");
    EXPECT_EQ(text_of(row->preset_name), "Init");
    EXPECT_EQ(row->tail_word, 0x00100000u);  // REAPER's last header word for a VST2 build
    EXPECT_EQ(plugin_knowledge.prefer_vst2_keys, (std::set<std::string>{"QzzyQzEq"}));

    // Settings of another kind: both stay on VST3, and say so.
    reset_plugin_knowledge();
    sink.got.clear();
    plugin_knowledge.cache = cache_of(cache);
    EXPECT_EQ(
        resolve({instance("QzzyQzEq", 1), instance("QzzyQzEq", 5), instance("FabFPQ3a", 5)}, false),
        1);
    EXPECT_EQ(sink.got,
              "    FabFPQ3a -> VST3: Pro-Q 3 (FabFilter)                      [kept on VST3: its "
              "VST2 build cannot take these settings]\n"
              "    QzzyQzEq -> VST3: Qzzy EQ (Qzzy)                           [kept on VST3: its "
              "VST2 build cannot take these settings]\n");
    EXPECT_EQ(plugin_knowledge.kept_on_vst3,
              (std::map<std::string, std::uint32_t>{{"FabFilter Pro-Q 3", 1}, {"Qzzy EQ", 2}}));
    EXPECT_TRUE(plugin_knowledge.resolved_rows.empty());
    EXPECT_TRUE(plugin_knowledge.prefer_vst2_keys.empty());
}

TEST_F(Resolution, PreferClap) {
    plugin_knowledge.cache =
        cache_of({vst_line("Qzzy_EQ.vst3", "5{" + class_id("QzEq") + "}", "Qzzy EQ (Qzzy)"),
                  vst_line("Verb.vst3", "6{" + class_id("Verb") + "}", "Qzzy Verb (Qzzy)"),
                  vst_line("Comp.vst3", "7{" + class_id("Comp") + "}", "Qzzy Comp (Qzzy)")},
                 {"[Qzzy EQ.clap]", "com.qzzy.eq=0|Qzzy EQ (Qzzy)", "[Verb.clap]",
                  "com.qzzy.verb=0|Verb Renamed (Qzzy)", "[Comp.clap]", "com.qzzy.c1=0|C1 (Qzzy)",
                  "com.qzzy.c2=0|C2 (Qzzy)"});
    const std::vector<SessionPluginInstance> instances = {
        instance("QzzyQzEq", 1), instance("QzzyVerb", 7), instance("QzzyVerb", 7),
        instance("QzzyComp", 1)};
    resolve(instances);
    sink.got.clear();
    // The probe carries settings of kind 1 only.
    const StateProbe probe = [](const SessionPluginInstance& i, const PluginRuleRow& row) {
        EXPECT_TRUE(starts_with(row.type_text, "CLAP"));
        return i.payload_kind == 1 ? std::string("state") : std::string();
    };
    EXPECT_EQ(apply_prefer_clap(instances, probe), 1);
    EXPECT_EQ(sink.got,
              "    QzzyQzEq -> CLAP: Qzzy EQ (Qzzy)                           [--prefer-clap]\n"
              "    QzzyVerb stays on VST3: Qzzy Verb (Qzzy): its settings cannot be carried to the "
              "CLAP build yet\n");
    EXPECT_EQ(text_of(find_mapping_rule("QzzyQzEq")->id_text), "com.qzzy.eq");
    EXPECT_EQ(text_of(find_mapping_rule("QzzyVerb")->type_text), "VST3: Qzzy Verb (Qzzy)");
    EXPECT_EQ(plugin_knowledge.kept_off_clap,
              (std::map<std::string, std::uint32_t>{{"Qzzy Verb", 2}}));
    EXPECT_EQ(plugin_knowledge.chosen.size(), 1u);

    // A key already on CLAP is passed over; a second pass changes nothing.
    sink.got.clear();
    EXPECT_EQ(apply_prefer_clap({instance("QzzyQzEq", 1)}, probe), 0);
    EXPECT_EQ(sink.got, "");
}

TEST_F(Resolution, PreferClapReplacesAnEarlierChoice) {
    plugin_knowledge.cache =
        cache_of({vst_line("Kontakt 7.vst3", "1{5653544E694B376B6F6E74616B742037}",
                           "Kontakt 7 (Native Instruments) (64 out)!!!VSTi")},
                 {"[Kontakt 7.clap]", "com.ni.kontakt7=1|Kontakt 7 (Native Instruments) (64 out)"});
    const std::vector<SessionPluginInstance> instances = {instance("NiInNi$D")};
    resolve(instances);
    apply_prefer_clap(instances, [](const SessionPluginInstance&, const PluginRuleRow&) {
        return std::string("state");
    });
    EXPECT_EQ(text_of(find_mapping_rule("NiInNi$D")->type_text),
              "CLAPi: Kontakt 7 (Native Instruments) (64 out)");
    EXPECT_EQ(plugin_knowledge.resolved_rows.size(), 1u);
}

TEST_F(Resolution, NothingHappensWithoutACache) {
    EXPECT_EQ(resolve({instance("QzzyQzEq"), instance("NiInNi$D")}), 0);
    EXPECT_EQ(apply_prefer_clap({instance("QzzyQzEq")}, nullptr), 0);
    EXPECT_EQ(sink.got, "");
    EXPECT_TRUE(plugin_knowledge.resolutions.empty());
}

}  // namespace
