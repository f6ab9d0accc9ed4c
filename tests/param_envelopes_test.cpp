// Parameter envelopes of plug-in slots: how a lane finds its REAPER index, the envelope text, the
// lanes counted instead of written, and the whole program on a synthetic session.
#include "effects/param_envelopes.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "app/convert_options.h"
#include "convert/run_state.h"
#include "convert/writer/writer_summary.h"
#include "effects/fx_chain.h"
#include "effects/fx_lanes.h"
#include "effects/fx_summary.h"
#include "platform/ptformat.h"
#include "plugins/plugin_state.h"
#include "session/tempo_map.h"
#include "tests/mixer_builder.h"
#include "tests/plugin_blocks.h"
#include "tests/plugin_fixtures.h"
#include "tests/plugin_session.h"
#include "tests/rpp_grammar.h"
#include "tests/test_support.h"
#include "tests/walk_builder.h"
#include "util/guid.h"

namespace {

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

AutomationLane lane(const std::string& name, std::uint32_t word, const std::string& second = "",
                    std::vector<CurvePoint> points = {{0, 0.25}}) {
    AutomationLane l;
    l.name = name;
    l.lane_word = word;
    l.second_name = second;
    l.points = std::move(points);
    return l;
}

struct Written {
    std::string text;
    std::uint32_t points = 0;
};

Written write(const SessionPluginInstance& instance, const PluginRuleRow* rule) {
    std::FILE* file = std::tmpfile();
    Written out;
    out.points = write_param_envelopes(file, instance, rule, "Gtr");
    std::rewind(file);
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) out.text.append(buffer, n);
    std::fclose(file);
    return out;
}

class ParamEnvelopes : public ::testing::Test {
  protected:
    void SetUp() override {
        reset_conversion_state(ConvertOptions{});
        settings.sample_rate = 48000.0;
        rule.type_text = "VST3: Qzzy Verb (Qzzy)";
    }
    void TearDown() override { reset_conversion_state(ConvertOptions{}); }
    PluginRuleRow rule;
};

TEST_F(ParamEnvelopes, OneEnvelopeWhole) {
    SessionPluginInstance instance;
    instance.aax_id = "QzzyVerb";
    instance.block_pos = 0x1234;
    AutomationLane mix = lane("Mix", 4, "3", {{24000, 0.75}, {-10, 0.5}, {48000, 1.5}});
    mix.initial_value = 0.125;
    instance.lanes = {mix};
    const Written w = write(instance, &rule);
    const std::string guid = guid_from_seed((0x1234u << 4) ^ (4u * 0x9E3779B1u));
    EXPECT_EQ(w.text,
              "      <PARMENV 3:3 0 1 0.5 \"Mix / VST3: Qzzy Verb (Qzzy)\"\n"
              "        EGUID " +
                  guid +
                  "\n"
                  "        ACT 1 -1\n        VIS 1 1 1\n        LANEHEIGHT 0 0\n        ARM 0\n"
                  "        DEFSHAPE 0 -1 -1\n"
                  "        PT 0 0.125000000 0\n"
                  "        PT 0.5000000000 0.750000000 0\n"
                  "        PT 0.0000000000 0.500000000 0\n"
                  "        PT 1.0000000000 1.000000000 0\n"
                  "      >\n");
    EXPECT_EQ(w.points, 3u);
    EXPECT_EQ(param_envelope_state.points, 3u);
    EXPECT_EQ(param_envelope_state.by_number, 1u);
    EXPECT_TRUE(writer_summary.wanted_param_plugins.empty());
}

// A tick lane's points go through the tempo map: 120 BPM for two beats, then 60.
TEST_F(ParamEnvelopes, TickLaneAcrossATempoChange) {
    session_tempo_map.entries = {{0, 120}, {1920000, 60}};
    SessionPluginInstance instance;
    AutomationLane mix = lane("Mix", 4, "3", {{1920000, 0.5}, {2880000, 0.5}});
    mix.in_ticks = 1;
    instance.lanes = {mix};
    const std::string text = write(instance, &rule).text;
    EXPECT_TRUE(has(text,
                    "        PT 1.0000000000 0.500000000 0\n"
                    "        PT 2.0000000000 0.500000000 0\n"))
        << text;
}

// Where each lane lands: its index, and whether it is written active or as "ASSIGN: ...".
TEST_F(ParamEnvelopes, LaneIndexByNumberNameAndOffset) {
    plugin_knowledge.param_names.names_by_plugin["VST3: Qzzy Verb (Qzzy)"] = {
        {3, "Gain"}, {4, "Gain"}, {10, "Band 1: Freq"}, {20, "Width"}};
    struct Case {
        const char* id;
        AutomationLane lane;
        const char* line;  // the PARMENV line, or "" for none
        bool active;
    };
    const Case cases[] = {
        {"QzzyVerb", lane("Drive", 8, "7"), "<PARMENV 7:7 0 1 0.5 \"Drive / ", true},
        {"QzzyVerb", lane("Drive", 1, "0"), "<PARMENV 0:0 0 1 0.5 \"Drive / ", true},
        // A leading zero is no number, nor a number beyond the two near indices.
        {"QzzyVerb", lane("Drive", 8, "07"), "<PARMENV 7:7 0 1 0.5 \"ASSIGN: Drive / ", false},
        {"QzzyVerb", lane("Drive", 8, "3"), "<PARMENV 7:7 0 1 0.5 \"ASSIGN: Drive / ", false},
        // Both near indices match the name: the name places nothing.
        {"QzzyVerb", lane("Gain", 5), "<PARMENV 4:4 0 1 0.5 \"ASSIGN: Gain / ", false},
        {"QzzyVerb", lane("Gain", 6), "<PARMENV 4:4 0 1 0.5 \"Gain / ", true},
        // Far from the lane word, a name found once anywhere, as stored or after ": ".
        {"QzzyVerb", lane("Width", 90), "<PARMENV 20:20 0 1 0.5 \"Width / ", true},
        {"QzzyVerb", lane("Freq", 50), "<PARMENV 10:10 0 1 0.5 \"Freq / ", true},
        // The maker's offset.
        {"FabFQzzy", lane("Drive", 9), "<PARMENV 7:7 0 1 0.5 \"Drive / ", true},
        {"VstPXfTT", lane("Drive", 9), "<PARMENV 8:8 0 1 0.5 \"Drive / ", true},
        // Outside REAPER's range, a bypass, a lane without points: nothing.
        {"FabFQzzy", lane("Drive", 1), "", false},
        {"QzzyVerb", lane("Drive", 0), "", false},
        {"QzzyVerb", lane("Drive", 0x90000000u), "", false},
        {"QzzyVerb", lane("Master Bypass", 3), "", false},
        {"QzzyVerb", lane("Drive", 5, "", {}), "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lane.name + " " + std::to_string(c.lane.lane_word) + " " + c.id);
        reset_param_envelope_state();
        writer_summary.wanted_param_plugins.clear();
        SessionPluginInstance instance;
        instance.aax_id = c.id;
        instance.lanes = {c.lane};
        const Written w = write(instance, &rule);
        if (*c.line == '\0') {
            EXPECT_EQ(w.text, "");
            continue;
        }
        EXPECT_TRUE(has(w.text, std::string("      ") + c.line)) << w.text;
        EXPECT_TRUE(has(w.text, c.active ? "  ACT 1 -1\n" : "  ACT 0 -1\n")) << w.text;
        EXPECT_EQ(param_envelope_state.points, c.active ? 1u : 0u);
        EXPECT_EQ(param_envelope_state.assign_lanes.size(), c.active ? 0u : 1u);
    }
}

// A slot's lanes as counted: bypass lanes apart, two lanes on one index, lanes out of range,
// unnamed lanes listed for --want-params (never a type text that would break its line).
TEST_F(ParamEnvelopes, CountsAndTheWantedPlugins) {
    SessionPluginInstance instance;
    instance.aax_id = "QzzyVerb";
    instance.lanes = {lane("Global Bypass", 2), lane("Drive", 8, "7"), lane("Tone", 8, "7"),
                      lane("Room", 9), lane("Low", 0)};
    const Written w = write(instance, &rule);
    EXPECT_EQ(w.points, 2u);
    const ParamEnvelopeState& st = param_envelope_state;
    EXPECT_EQ(st.bypass_lanes, 1u);
    EXPECT_EQ(st.unplaced_lanes, 2u);
    EXPECT_EQ(st.points, 1u);
    EXPECT_EQ(writer_summary.wanted_param_plugins, std::set<std::string>{"VST3: Qzzy Verb (Qzzy)"});

    count_unwritten_lanes_by_fx(instance, &rule, "Gtr");
    count_unwritten_lanes_by_key(instance, "Trim", "Gtr");
    count_unwritten_lanes_by_key(instance, "Trim", "Bass");
    EXPECT_EQ(st.lanes_by_fx.at({"Gtr", "VST3: Qzzy Verb (Qzzy)"}), 4u);
    EXPECT_EQ(st.lanes_by_key.at({"Gtr", "Trim"}), 4u);
    EXPECT_EQ(st.bypass_lanes, 4u);
    const std::string text = fx_param_envelope_paragraphs();
    EXPECT_TRUE(has(text,
                    "  1 plug-in parameter automation points\n"
                    "      1 automated control(s) placed by the parameter number the\n"))
        << text;
    EXPECT_TRUE(has(text, "      \"Gtr\" VST3: Qzzy Verb (Qzzy) (1)\n")) << text;
    // The same plug-in on two tracks: a row for each, under its track's name.
    EXPECT_TRUE(has(text,
                    "  8 automation lane(s) NOT carried on Avid plug-ins written as REAPER's\n"
                    "      own effects, whose parameters do not match Avid's:\n"
                    "      \"Bass\" Trim (4)\n"
                    "      \"Gtr\" Trim (4)\n"))
        << text;
    EXPECT_TRUE(has(text, "  4 plug-in bypass automation lane(s) NOT carried")) << text;

    writer_summary.wanted_param_plugins.clear();
    PluginRuleRow broken;
    broken.type_text = "VST: Two\nLines";
    SessionPluginInstance quoted;
    quoted.lanes = {lane("Say \"hi\"\x01", 3)};
    const Written odd = write(quoted, &broken);
    EXPECT_TRUE(writer_summary.wanted_param_plugins.empty());
    EXPECT_TRUE(
        has(odd.text, "      <PARMENV 2:2 0 1 0.5 'ASSIGN: Say \"hi\"  / VST: Two Lines'\n"))
        << odd.text;
}

// The program on a session with one VST3 slot and two lanes, its REAPER cache and learned row
// written by the test.
TEST(ParamEnvelopesProgram, TwoLanesInsideTheSlot) {
    namespace fs = std::filesystem;
    using namespace test_blocks;
    using namespace walk_blocks;
    using namespace mixer_blocks;
    test_support::TempDir root;
    test_support::RunSetup setup;
    for (const char* name : {"home", "appdata", "current", "program"})
        fs::create_directory(root.path() / name);
    setup.home = root.file("home");
    setup.appdata = root.file("appdata");
    setup.current_dir = root.file("current");
    setup.program_dir = root.file("program");
    const std::string id = "1234{" + plugin_fixtures::class_id("Qzzy") + "}";
    test_support::write_file(
        setup.program_dir + "/lanwick-plugins.txt",
        "QzzyVerb | VST3: Qzzy Verb (Qzzy) | verb.vst3 | " + id + " | 2 | 2 | 0\n");
    const std::string vstini = root.file("reaper-vstplugins64.ini");
    test_support::write_file(vstini, plugin_fixtures::vst_cache({plugin_fixtures::vst_line(
                                         "verb.vst3", id, "Qzzy Verb (Qzzy)")}));

    test_plugins::PluginBlock verb;
    verb.id = "QzzyVerb";
    verb.settings = "/*@Meta name=verb */ x = 1;";
    test_plugins::Lane numbered;
    numbered.name = "Mix";
    numbered.lane_word = 4;
    numbered.second_name = "3";
    numbered.points = {{0, 0}, {44100, 0x20000000}};
    test_plugins::Lane unnamed;
    unnamed.name = "Room";
    unnamed.lane_word = 9;
    unnamed.second_name = "";
    unnamed.points = {{22050, -0x40000000}};
    const std::string slot = test_plugins::plugin_block(verb) + test_plugins::byte(1) + zeros(3) +
                             test_plugins::lane_block(numbered) + test_plugins::lane_block(unnamed);

    const std::string plain = plugin_session::drums_with_slots(slot);
    std::vector<std::uint8_t> bytes(plain.begin(), plain.end());
    ASSERT_TRUE(ptf_xor_crypt(bytes));
    const std::string session = root.file("Fx.ptx");
    test_support::write_file(session, std::string(bytes.begin(), bytes.end()));

    const std::string out = root.file("Fx.rpp");
    const std::string wanted = root.file("w.txt");
    const auto r = run_lanwick(
        {session, "-o", out, "--no-pause", "--vstini", vstini, "--want-params", wanted}, setup);
    ASSERT_EQ(r.exit_code, 0) << r.out;
    const std::string project = test_support::read_file(out);
    const auto grammar = rpp_grammar::check_project(project);
    EXPECT_TRUE(grammar.ok) << grammar.line << ": " << grammar.message;

    const std::size_t fxid = project.find("      FXID ");
    const std::size_t mix =
        project.find("      <PARMENV 3:3 0 1 0.5 \"Mix / VST3: Qzzy Verb (Qzzy)\"");
    const std::size_t room =
        project.find("      <PARMENV 8:8 0 1 0.5 \"ASSIGN: Room / VST3: Qzzy Verb (Qzzy)\"");
    const std::size_t wak = project.find("      WAK 0 0");
    ASSERT_NE(mix, std::string::npos) << project;
    ASSERT_NE(room, std::string::npos) << project;
    EXPECT_LT(fxid, mix);
    EXPECT_LT(mix, room);
    EXPECT_LT(room, wak);
    EXPECT_TRUE(has(project, "        PT 1.0000000000 0.750000000 0\n")) << project;
    EXPECT_TRUE(has(project, "        PT 0 0.500000000 0\n        PT 0.5000000000 0.000000000 0\n"))
        << project;
    EXPECT_TRUE(has(r.out, "  2 plug-in parameter automation points\n")) << r.out;
    EXPECT_TRUE(
        has(r.out, "  1 automation lane(s) written SWITCHED OFF, titled \"ASSIGN\": which\n"))
        << r.out;
    // Its row names the track the slot sits on.
    EXPECT_TRUE(has(r.out, "      \"Drums\" VST3: Qzzy Verb (Qzzy) (1)\n")) << r.out;
    EXPECT_EQ(test_support::read_file(wanted), "VST3: Qzzy Verb (Qzzy)\n");
}

}  // namespace
