#include "plugins/plugin_state.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "convert/run_state.h"
#include "melodyne/zlib_encode.h"
#include "plugins/state_conversion.h"
#include "plugins/state_layouts.h"
#include "session/plugin_settings.h"
#include "tests/plugin_blocks.h"
#include "util/zlib_inflate.h"

namespace {

using namespace test_plugins;

std::string f32le(float value) {
    std::uint32_t bits = 0;
    std::memcpy(&bits, &value, 4);
    return u32le(bits);
}

// A session holding one plug-in block, and the record the reader makes of it.
struct Slot {
    std::string session;
    SessionPluginInstance in;
    SessionBytes bytes() const {
        return {reinterpret_cast<const std::uint8_t*>(session.data()), session.size()};
    }
    std::string_view payload() const {
        return std::string_view(session).substr(in.payload_offset, in.payload_length);
    }
};

Slot read_slot(const std::string& settings, const std::string& id = "AcmeDemo") {
    PluginBlock p;
    p.id = id;
    p.settings = settings;
    Slot slot;
    slot.session = zeros(16) + plugin_block(p) + zeros(4);
    std::vector<SessionPluginInstance> out;
    read_aax_settings_chunk(reinterpret_cast<const std::uint8_t*>(slot.session.data()),
                            slot.session.size(), out);
    EXPECT_EQ(out.size(), 1u);
    if (!out.empty()) slot.in = out.front();
    return slot;
}

// A slot whose record is set by hand: the settings area is the whole session, the payload the
// bytes between `before` and `after`.
Slot hand_slot(std::uint32_t kind, const std::string& before, const std::string& payload,
               const std::string& after = "", const std::string& id = "AcmeDemo") {
    Slot slot;
    slot.session = before + payload + after;
    slot.in.aax_id = id;
    slot.in.settings_end = slot.session.size();
    slot.in.payload_kind = kind;
    slot.in.payload_offset = before.size();
    slot.in.payload_length = static_cast<std::uint32_t>(payload.size());
    return slot;
}

PluginRuleRow row_for(const char* type_text, const char* id_text) {
    PluginRuleRow row;
    row.signature = "Acme";
    row.display_name = "Demo";
    row.type_text = type_text;
    row.file = "demo.dll";
    row.id_text = id_text;
    return row;
}
const PluginRuleRow kVst2 = row_for("VST: Demo (Acme)", "1234");
const PluginRuleRow kVst3 = row_for("VST3: Demo (Acme)", "1234{0123456789ABCDEF0123456789ABCDEF}");
const PluginRuleRow kClap = row_for("CLAP: Demo (Acme)", "com.acme.demo");

PluginState convert(const Slot& slot, const PluginRuleRow& row, bool midi = false,
                    bool write = false) {
    return convert_plugin_state(slot.in, row, slot.bytes(), midi, write);
}
std::string state(const Slot& slot, const PluginRuleRow& row) {
    return convert(slot, row).bytes;
}

// Every VST3 framing: [u32 n][u32 1][n bytes][u32 m][u32 0][m bytes], ending at the end.
void expect_block_rule(const std::string& s) {
    ASSERT_GE(s.size(), 16u);
    const std::uint64_t n = read_u32le_checked(s, 0);
    ASSERT_EQ(read_u32le_checked(s, 4), 1u);
    ASSERT_LE(n + 16, s.size());
    const std::uint64_t m = read_u32le_checked(s, 8 + n);
    EXPECT_EQ(read_u32le_checked(s, 12 + n), 0u);
    EXPECT_EQ(16 + n + m, s.size());
}

class PluginStateTest : public ::testing::Test {
  protected:
    void SetUp() override {
        settings = ConversionSettings{};
        reset_plugin_knowledge();
        reset_plugin_state_counts();
    }
    void TearDown() override { SetUp(); }
};

// FabFilter preset data as Pro Tools stores it: "FFBS", a word, n, n values, more, "FFEx" and 8.
std::string fabfilter_payload(const std::vector<float>& values, const std::string& more) {
    std::string out = "FFBS" + u32le(1) + u32le(static_cast<std::uint32_t>(values.size()));
    for (float v : values) out += f32le(v);
    return out + more + "FFEx" + u32le(5) + u32le(6);
}

TEST_F(PluginStateTest, FabFilterPresetData) {
    const std::string payload = fabfilter_payload({0.25f, 0.5f}, "tail");
    const Slot slot = read_slot(payload);
    ASSERT_EQ(slot.in.payload_kind, 1u);
    ASSERT_EQ(slot.payload(), payload);
    EXPECT_EQ(state(slot, kVst2), payload);
    EXPECT_EQ(state(slot, kClap), payload);

    const std::string a = payload.substr(0, 20) + "FFpr" + u32le(1) + u32le(0);
    const std::string b = "tail" + std::string("FFed") + u32le(0) + u32le(0);
    const std::string vst3 = state(slot, kVst3);
    EXPECT_EQ(vst3, u32le(a.size()) + u32le(1) + a + u32le(b.size()) + u32le(0) + b);
    expect_block_rule(vst3);

    // A value count past the payload gives nothing rather than a read past it.
    Slot bad = slot;
    bad.session.replace(bad.in.payload_offset + 8, 4, u32le(0x40000000));
    EXPECT_EQ(state(bad, kVst3), "");
    EXPECT_EQ(convert(bad, kVst3).gap, StateGap::not_carried);
}

TEST_F(PluginStateTest, FabFilterValuesWithAPresetRow) {
    Slot slot = hand_slot(5, "d_", "");
    slot.in.values = {0.5f, 2.0f};
    PluginRuleRow vst2 = kVst2, vst3 = kVst3, clap = kClap;
    for (PluginRuleRow* row : {&vst2, &vst3, &clap}) row->preset_name = "Default Setting";
    slot.in.aax_id = "FabFPrQ3";

    const std::string v = "FabF" + u32le(2) + u32le(15) + "Default Setting" + u32le(0) + u32le(2) +
                          f32le(0.5f) + f32le(2.0f);
    const std::string tail = u32le(1) + u32le(1) + u32le(12) + u32le(0) + "FFed" + u32le(0) +
                             std::string("\x00\x00\x80\x3F", 4);
    EXPECT_EQ(state(slot, vst2), v + tail);
    const std::string vst3_state = state(slot, vst3);
    EXPECT_EQ(vst3_state, u32le(v.size() + 8) + u32le(1) + v + tail);
    expect_block_rule(vst3_state);
    EXPECT_EQ(state(slot, clap), "FFBS" + u32le(1) + u32le(2) + f32le(0.5f) + f32le(2.0f) + "PrQ3" +
                                     u32le(3) + u32le(15) + "Default Setting" + u32le(0xFFFFFFFF) +
                                     u32le(1) + u32le(0) + u32le(0) + "CuSV" + u32le(1) + u32le(0));

    // The framing is FabFilter's: another maker's row with a preset name carries nothing.
    slot.in.aax_id = "AcmeDemo";
    EXPECT_EQ(state(slot, vst2), "");
    EXPECT_EQ(state(slot, clap), "");
}

// A FabFilter instrument on a MIDI track: MIDI triggering stored off (0.0) is written on, counted
// once per value and only when writing.
TEST_F(PluginStateTest, MidiTriggerOnMidiTracks) {
    std::vector<float> values(700, 0.25f);
    values[699] = 0.0f;
    Slot twin = hand_slot(5, "d_", "", "", "FabFFS2a");
    twin.in.values = values;
    PluginRuleRow clap = kClap;
    clap.preset_name = "Default Setting";
    const std::size_t at = 12 + 4 * 699;

    PluginState s = convert(twin, clap, true, false);
    EXPECT_EQ(s.bytes.substr(at, 4), f32le(1.0f));
    EXPECT_EQ(s.midi_trigger_changes, 1u);
    EXPECT_EQ(plugin_state_counts.midi_trigger_off_count, 0u);  // probing counts nothing
    convert(twin, clap, true, true);
    EXPECT_EQ(plugin_state_counts.midi_trigger_off_count, 1u);  // not twice for the one value
    EXPECT_EQ(convert(twin, clap, false, true).bytes.substr(at, 4), f32le(0.0f));
    settings.keep_plugin_midi = 1;
    EXPECT_EQ(convert(twin, clap, true, true).bytes.substr(at, 4), f32le(0.0f));
    EXPECT_EQ(plugin_state_counts.midi_trigger_off_count, 1u);
    settings.keep_plugin_midi = 0;

    // Stored preset data of "FabFFC2p" (index 42), in its VST2 and VST3 forms.
    std::vector<float> c2(43, 0.5f);
    c2[42] = 0.0f;
    Slot stored = read_slot(fabfilter_payload(c2, "x"), "FabFFC2p");
    ASSERT_EQ(stored.in.payload_kind, 1u);
    const PluginState vst2 = convert(stored, kVst2, true, true);
    EXPECT_EQ(vst2.bytes.substr(12 + 4 * 42, 4), f32le(1.0f));
    EXPECT_EQ(convert(stored, kVst3, true, true).bytes.substr(8 + 12 + 4 * 42, 4), f32le(1.0f));
    EXPECT_EQ(plugin_state_counts.midi_trigger_off_count, 3u);
    EXPECT_EQ(state(stored, kVst2).substr(12 + 4 * 42, 4), f32le(0.0f));

    std::string again = vst2.bytes;
    EXPECT_EQ(release_midi_trigger(again, "FabFFC2p"), 0u);
    EXPECT_EQ(release_midi_trigger(again, "AcmeDemo"), 0u);
}

// The framings of kinds 6, 7, 10 and 11 for both targets.
TEST_F(PluginStateTest, TextTaggedAndArchiveKinds) {
    const std::string script = "/*@Meta name=x */ value = 1;";
    const std::string braces = "{\n\tindex = 3\n}";
    const std::string tagged = u32le(0x0085988D) + u32le(0) + u32le(20) + std::string(20, 'q');
    const std::string archive = "22 serialization::archive 17 0 0 " + std::string(40, 'a');
    const std::string archive_twice =
        u32le(archive.size()) + archive + u32le(archive.size()) + archive;
    struct Case {
        std::string settings;
        std::uint32_t kind;
        std::string payload;
        std::string vst2;
        std::string vst3;
    };
    const std::string s = u32le(script.size());
    const std::string a = u32le(archive.size());
    const std::vector<Case> cases = {
        {script, 6, script, "#pgm=From Pro Tools\n" + script,
         u32le(script.size() + 4) + u32le(1) + s + script + u32le(script.size() + 4) + u32le(0) +
             s + script},
        {tagged, 7, tagged, u32le(32) + tagged + u32le(7) + "Default",
         u32le(32) + tagged + u32le(7) + "Default"},
        {braces + "rest", 10, braces, braces, u32le(braces.size()) + u32le(1) + braces + zeros(8)},
        {archive_twice, 11, archive, a + u32le(1) + archive + a + u32le(0) + archive,
         a + u32le(1) + archive + a + u32le(0) + archive},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        const Slot slot = read_slot(c.settings);
        ASSERT_EQ(slot.in.payload_kind, c.kind);
        ASSERT_EQ(slot.payload(), c.payload);
        EXPECT_EQ(state(slot, kVst2), c.vst2);
        EXPECT_EQ(state(slot, kVst3), c.vst3);
        if (c.kind != 7) expect_block_rule(c.vst3);
    }
    EXPECT_EQ(state(read_slot(script), kClap), "");
    EXPECT_EQ(convert(read_slot(script), kClap).gap, StateGap::layout_unknown);
}

TEST_F(PluginStateTest, ZlibStream) {
    const std::string text(300, 'z');
    const std::string stream =
        zlib_compress_fixed(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    const std::string words = u32le(11) + u32le(22) + u32le(stream.size() + 4) + u32le(300);
    const Slot slot = read_slot(words + stream);
    ASSERT_EQ(slot.in.payload_kind, 8u);
    ASSERT_EQ(slot.payload(), stream);
    const std::string l16 = u32le(stream.size() + 16);
    EXPECT_EQ(state(slot, kVst2), l16 + words + stream + u32le(7) + "Default");
    const std::string vst3 = state(slot, kVst3);
    EXPECT_EQ(vst3, l16 + u32le(1) + words + stream + l16 + u32le(0) + words + stream);
    expect_block_rule(vst3);
    // The stream in the state inflates to the unpacked length the words give.
    std::string inflated;
    ASSERT_TRUE(inflate_zlib(reinterpret_cast<const std::uint8_t*>(vst3.data()) + 24, stream.size(),
                             inflated));
    EXPECT_EQ(inflated.size(), read_u32le_checked(vst3, 8 + 12));
}

TEST_F(PluginStateTest, WavesShell) {
    const std::string tree =
        "<PresetChunkXMLTree><PluginSubComp>CLA2</PluginSubComp><ActiveSetup>SETUP_B"
        "</ActiveSetup></PresetChunkXMLTree>";
    const Slot slot = read_slot(u32be(24 + tree.size()) + zeros(16) + "XPst" + tree);
    ASSERT_EQ(slot.in.payload_kind, 9u);
    ASSERT_EQ(slot.payload(), tree);
    const std::string bypass = "<Bypass Version=\"1\" Bypass=\"0\" />\n";
    ASSERT_EQ(bypass.size(), 34u);
    const std::uint32_t l = static_cast<std::uint32_t>(tree.size());
    const std::string expected = u32le(l + 62) + u32le(1) + u32be(l + 28) + u32be(3) + u32be(1) +
                                 "CLA2" + "setB" + u32be(l) + "XPst" + tree + bypass + zeros(8);
    EXPECT_EQ(state(slot, kVst2), expected);
    EXPECT_EQ(state(slot, kVst3), expected);
    expect_block_rule(expected);

    // A key moved to a VST2 build over a table row carries only kinds 1 and 10.
    plugin_knowledge.prefer_vst2_keys.insert("AcmeDemoCLA2");
    EXPECT_EQ(state(slot, kVst2), "");
    const Slot fab = read_slot(fabfilter_payload({1.0f}, ""), "AcmeDemo");
    plugin_knowledge.prefer_vst2_keys.insert("AcmeDemo");
    EXPECT_FALSE(state(fab, kVst2).empty());
}

TEST_F(PluginStateTest, Kontakt) {
    const std::string payload(100, 'k');
    const Slot slot = read_slot(u32le(112) + u32le(0) + u32le(1) + payload);
    ASSERT_EQ(slot.in.payload_kind, 12u);
    const std::string stored = std::string(slot.session).substr(slot.in.payload_offset - 12, 112);
    EXPECT_EQ(state(slot, kVst2), stored);
    const std::string vst3 = state(slot, kVst3);
    EXPECT_EQ(vst3, u32le(112) + u32le(1) + stored + zeros(8));
    expect_block_rule(vst3);

    PluginRuleRow no_id = kVst2;
    no_id.id_text = "";
    EXPECT_EQ(state(slot, no_id), "");
    settings.kontakt_state_enabled = 0;
    EXPECT_EQ(state(slot, kVst2), "");
    EXPECT_EQ(convert(slot, kVst2).gap, StateGap::left_out);
}

// Kind 13 chunks: VST2 raw; VST3 by the chunk's surroundings and the row's class id.
TEST_F(PluginStateTest, ClassifiedChunks) {
    const std::string chunk(40, 'c');
    const std::string l = u32le(40);
    Slot plain = hand_slot(13, zeros(40), chunk, zeros(4));
    EXPECT_EQ(state(plain, kVst2), chunk);
    EXPECT_EQ(state(plain, kClap), chunk);

    // JUCE: the class id is the prefix and the key in hex, "juce" 36 bytes before the chunk.
    Slot juce = hand_slot(13, "juce" + zeros(32), chunk);
    const PluginRuleRow juce_row =
        row_for("VST3: Demo (Acme)", "5{abcdef019182faeb41636D6544656D6F}");
    EXPECT_EQ(state(juce, juce_row), juce_vst3_state_blob(chunk));
    // Not JUCE without the marker: the plain framing.
    EXPECT_EQ(state(plain, juce_row), l + u32le(1) + chunk + zeros(8));

    Slot doubled = plain;
    doubled.in.container_match = 2;
    EXPECT_EQ(state(doubled, kVst3), l + u32le(1) + chunk + l + u32le(0) + chunk);

    // The 12 bytes before the chunk go with it.
    const std::string before = u32le(0x0610D6DB) + u32le(9) + l;
    Slot tagged = hand_slot(13, zeros(8) + before, chunk);
    const std::string b = before + chunk;
    EXPECT_EQ(state(tagged, kVst3), u32le(52) + u32le(1) + b + u32le(52) + u32le(0) + b);

    const PluginRuleRow inner_row =
        row_for("VST3: Demo (Acme)", "7{f2aee70d00de4f4e0123456789abcdef}");
    const std::string inner = l + chunk + u32le(0);
    EXPECT_EQ(state(plain, inner_row), u32le(48) + u32le(1) + inner + u32le(48) + u32le(0) + inner);

    for (const Slot* s : {&juce, &plain, &doubled, &tagged}) expect_block_rule(state(*s, kVst3));

    // A chunk after "elck" has no framing beyond the raw and JUCE forms.
    Slot elck = plain;
    elck.in.container_label = "AAX chunk after elck";
    EXPECT_EQ(convert(elck, kVst3).gap, StateGap::layout_unknown);
    EXPECT_EQ(state(elck, kVst2), chunk);

    Slot empty = plain;
    empty.in.payload_length = 0;
    EXPECT_EQ(state(empty, kVst2), "");
}

// Values with an "elck" section: the section is the chunk, JUCE-framed for "xlnAxaAK".
TEST_F(PluginStateTest, ParameterPathWithElck) {
    const std::string chunk(48, 'e');
    Slot slot = hand_slot(5, zeros(40), chunk, zeros(4), "xlnAxaAK");
    slot.in.elck_found = 1;
    slot.in.elck_binary_sections = 1;
    slot.in.elck_offset = 40;
    slot.in.elck_length = 48;
    slot.in.payload_offset = 0;
    slot.in.payload_length = 0;
    EXPECT_EQ(state(slot, kVst3), juce_vst3_state_blob(chunk));
    EXPECT_EQ(state(slot, kVst2), chunk);
    EXPECT_EQ(state(slot, kClap), chunk);

    slot.in.aax_id = "AcmeDemo";
    slot.in.values = {1.0f};
    EXPECT_EQ(state(slot, kVst2), chunk);
    EXPECT_EQ(convert(slot, kVst3).gap, StateGap::layout_unknown);

    // Two binary sections: which one the build reads is not known.
    slot.in.elck_binary_sections = 2;
    EXPECT_EQ(convert(slot, kVst2).gap, StateGap::layout_unknown);
    // A section past the settings area is not read.
    slot.in.elck_binary_sections = 1;
    slot.in.elck_length = 4000;
    EXPECT_EQ(convert(slot, kVst2).gap, StateGap::not_carried);

    // A JUCE VST2 build: its framing waits for a state REAPER wrote.
    Slot juce = hand_slot(5, "juce" + zeros(32), chunk);
    juce.in.elck_found = 1;
    juce.in.elck_binary_sections = 1;
    juce.in.elck_offset = 36;
    juce.in.elck_length = 48;
    EXPECT_EQ(convert(juce, kVst2).gap, StateGap::layout_unknown);

    Slot bare = hand_slot(5, "d_", "");
    EXPECT_EQ(convert(bare, kVst2).gap, StateGap::not_carried);
    bare.in.values = {1.0f};
    EXPECT_EQ(convert(bare, kVst2).gap, StateGap::not_carried);
}

TEST_F(PluginStateTest, ValueListRows) {
    Slot slot = hand_slot(5, "d_", "");
    slot.in.values = {0.5f, 0.25f};
    PluginRuleRow row = kVst3;
    row.mode = 1;
    row.value_count = 3;
    row.zero_prefix = 2;
    const std::string s = state(slot, row);
    EXPECT_EQ(
        s, u32le(14) + u32le(1) + zeros(2) + f32le(0.5f) + f32le(0.25f) + f32le(0.0f) + zeros(8));
    expect_block_rule(s);
    row.value_count = 0;
    EXPECT_EQ(state(slot, row).size(), 16u + 2 + 4 * 20);
    row.preset_name = "P";  // mode 1 rows keep their framing for the CLAP gate too
    row.type_text = "CLAP: Demo (Acme)";
    EXPECT_EQ(state(slot, row), "");
}

TEST_F(PluginStateTest, AntaresTaggedChunk) {
    const std::string xml =
        "<?xml?><PARAM id=\"bypa\" value=\"0\"/><PARAM id=\"sld1\" value=\"5\"/>"
        "<PARAM id=\"bypa\" value=\"1\"/>";
    const std::string rest = "REST";
    const Slot slot =
        hand_slot(2, "", "VC2!" + u32le(xml.size()) + xml + '\0' + rest, "", "AntrAPan");
    const std::string s = state(slot, kVst2);
    // Read back as the payload was read: the remapped XML, then the rest as it was.
    ASSERT_GE(s.size(), 8u);
    EXPECT_EQ(s.substr(0, 4), "VC2!");
    const std::uint32_t length = read_u32le_checked(s, 4);
    EXPECT_EQ(s.substr(8, length + 1),
              "<?xml?><PARAM id=\"MasterBypass\" value=\"0\"/><PARAM id=\"RetuneSpeed_ID\" "
              "value=\"5\"/><PARAM id=\"bypa\" value=\"1\"/>" +
                  std::string(1, '\0'));
    EXPECT_EQ(s.substr(9 + length), rest);
    EXPECT_EQ(state(slot, kClap), s);
    // The VST3 builds' framings are not known (Auto-Tune's waits for JUCE's VST2 one).
    EXPECT_EQ(convert(slot, kVst3).gap, StateGap::layout_unknown);

    // An XML length past the payload is not read.
    Slot bad = hand_slot(2, "", "VC2!" + u32le(500) + xml, "", "AntrAPan");
    EXPECT_EQ(convert(bad, kVst2).gap, StateGap::not_carried);
    EXPECT_EQ(convert(bad, kVst3).gap, StateGap::not_carried);
}

TEST_F(PluginStateTest, XmlBanks) {
    const std::string xml =
        "<?xml version=\"1.0\"?><Root><Program name=\"a\"><p v=\"1\"/></Program>"
        "<Program name=\"b\"></Program></Root>";
    const Slot slot = read_slot(xml + '\0');
    ASSERT_EQ(slot.in.payload_kind, 3u);
    std::string expected =
        "<?xml version=\"1.0\"?><Root><Bank><Program name=\"a\"><p v=\"1\"/>"
        "</Program>";
    for (int i = 0; i < 99; ++i) expected += "<Program />";
    expected += "</Bank>";
    expected += '\0';
    EXPECT_EQ(state(slot, kVst2), expected);
    EXPECT_EQ(state(slot, kVst3), expected);
    // A bank is not wrapped again; short or program-less XML stays as stored.
    EXPECT_EQ(wrap_xml_bank(expected), expected);
    EXPECT_EQ(wrap_xml_bank("<?xml version=\"1.0\"?><Root><Other/></Root>"),
              "<?xml version=\"1.0\"?><Root><Other/></Root>");
    EXPECT_EQ(wrap_xml_bank("<?xml?><Program />"), "<?xml?><Program />");

    // Antares' XML plug-ins: the session's parameter ids are not their builds' ids.
    const Slot warm = read_slot(xml + '\0', "AntrWarm");
    EXPECT_EQ(convert(warm, kVst2).gap, StateGap::layout_unknown);
}

TEST_F(PluginStateTest, AntaresParameterRewrite) {
    const AntaresParamRow rows[] = {
        {"AntrWarm", "Drive_ID", "0.5", "drv1"},
        {"AntrOther", "X", "9", "drv1"},
        {"AntrWarm", "bypa", "0", "byp"},
        {"AntrWarm", "Tone_ID", "0.7", "ton1"},
    };
    const std::string xml =
        "<?xml?><Parameters><PARAM id=\"ton1\" value=\"0.1\"/>"
        "<PARAM id=\"drv1\" value=\"0.9\"/></Parameters>";
    EXPECT_EQ(rewrite_antares_params(xml, "AntrWarm", rows),
              "<?xml?><Parameters><PARAM id=\"Drive_ID\" value=\"0.9\"/><PARAM "
              "id=\"MasterBypass\" value=\"0\"/><PARAM id=\"Tone_ID\" value=\"0.1\"/>"
              "</Parameters>");
}

TEST_F(PluginStateTest, Line6Sections) {
    auto section = [](const std::string& tag, const std::string& data) {
        return tag + zeros(4) + u32be(0) + u32be(static_cast<std::uint32_t>(data.size())) +
               zeros(8) + data;
    };
    const std::string head = "CMS6" + std::string(32, 'h');
    const std::string walked = section("DHSH", "dh") + section("LGSH", "LG1234") +
                               section("APSH", "ap") + section("X9Z1", std::string(10, 'x'));
    const Slot slot = read_slot("pad" + head + walked + "end!", "Lin66SAX");
    std::string s_bytes = walked;
    s_bytes[24 + 2 + 24] = '\0';  // the first data byte of "LGSH"
    const std::uint32_t l = static_cast<std::uint32_t>(walked.size());
    const std::string expected = u32le(l + 8) + u32le(1) + "CMS6" + u32le(l) + s_bytes + zeros(8);
    EXPECT_EQ(state(slot, kVst3), expected);
    EXPECT_EQ(state(slot, kVst2), expected);
    expect_block_rule(expected);

    EXPECT_EQ(state(read_slot("pad" + head + section("DHSH", "dh") + section("LGSH", "L") +
                                  std::string(40, '.'),
                              "Lin66SAX"),
                    kVst3),
              "");
    std::string past = "pad" + head + section("DHSH", "dh") + section("APSH", "a") +
                       section("LGSH", "L") + zeros(8);
    past.replace(past.size() - 8 - 25 + 12, 4, u32be(1000));  // LGSH's length runs past the end
    EXPECT_EQ(state(read_slot(past, "Lin66SAX"), kVst3), "");
}

// Rows with a header template and a wrap flag take "HXMC" payloads whose records start at +32.
TEST_F(PluginStateTest, TemplateRows) {
    auto record = [](const std::string& tag, const std::string& data) {
        return tag + u32le(0) + u32le(static_cast<std::uint32_t>(data.size())) + zeros(4) + data;
    };
    const std::uint8_t header[20] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18};
    const std::uint8_t trailer[3] = {0xAA, 0xBB, 0xCC};
    PluginRuleRow row = kVst3;
    row.header_template = header;
    row.header_template_len = sizeof header;
    row.trailing_block = trailer;
    row.trailing_block_len = sizeof trailer;
    row.wrap_flag = 1;

    // "DPCP" at +116: the template, sized, then the bytes from +208.
    const std::string after = std::string(30, 'z');
    const std::string payload = zeros(32) + record("RHCP", std::string(68, 'r')) +
                                record("DPCP", std::string(76, 'd')) + after;
    const Slot at116 = hand_slot(4, "HXMC", payload);
    std::string expected(reinterpret_cast<const char*>(header), sizeof header);
    expected.replace(0, 4, u32le(30 + 184));
    expected.replace(12, 4, u32le(30 + 184));
    EXPECT_EQ(state(at116, row), expected + after + "\xAA\xBB\xCC");

    // Elsewhere: a "CMXH" block of the records, the byte after VGCP's data cleared.
    const std::string records =
        record("RHCP", "r") + record("DPCP", "d") + record("VGCP", "vgcp") + "!";
    const Slot other = hand_slot(4, "HXMC", zeros(32) + records);
    std::string copied = records;
    copied[34 + 12 + 4] = '\0';
    const std::uint32_t n = static_cast<std::uint32_t>(records.size());
    const std::string cmxh = u32le(n + 8) + u32le(1) + "CMXH" + u32le(n) + copied + zeros(8);
    EXPECT_EQ(state(other, row), cmxh);
    expect_block_rule(cmxh);

    EXPECT_EQ(state(hand_slot(4, "HXMC", zeros(32) + record("RHCP", "r")), row), "");
    EXPECT_EQ(state(hand_slot(3, "", "<?xml" + std::string(60, ' ')), row), "");
}

TEST_F(PluginStateTest, BadBoundsGiveNothing) {
    Slot slot = read_slot(fabfilter_payload({1.0f}, ""));
    slot.in.payload_length += 100;  // past the settings area
    EXPECT_EQ(convert(slot, kVst2).gap, StateGap::not_carried);
    slot = read_slot(fabfilter_payload({1.0f}, ""));
    slot.in.settings_end = slot.session.size() + 1;  // past the session
    EXPECT_EQ(convert(slot, kVst2).gap, StateGap::not_carried);
    Slot none = hand_slot(0, "", "");
    EXPECT_EQ(convert(none, kVst2).gap, StateGap::not_carried);
}

TEST(StateLayouts, JuceBlobs) {
    const std::string block = std::string(
                                  "JUCEPrivateData\0\x01\x01"
                                  "Bypass\0\x01\x01\x03\x00\x1D",
                                  30) +
                              zeros(7) + "JUCEPrivateData";
    ASSERT_EQ(block.size(), 52u);
    EXPECT_EQ(juce_vst3_state_blob("abc"), u32le(55) + u32le(1) + "abc" + block + zeros(8));
    expect_block_rule(juce_vst3_state_blob("abc"));

    // The fxb bank's size words close over 144 filler bytes.
    const std::string payload(10, 'p');
    const std::string s = juce_vst2_state_blob(0x41424344, 0x010203, payload);
    EXPECT_EQ(read_u32le_checked(s, 0), s.size() - 8);
    EXPECT_EQ(s.substr(8, 4), "VstW");
    EXPECT_EQ(s.substr(24, 4), "CcnK");
    EXPECT_EQ(u32be(static_cast<std::uint32_t>(s.size() - 32)), s.substr(28, 4));
    EXPECT_EQ(s.substr(32, 4), "FBCh");
    EXPECT_EQ(s.substr(40, 4), "ABCD");
    EXPECT_EQ(s.substr(52, 144), zeros(144));
    EXPECT_EQ(s.substr(196), u32le(9) + payload + "JUCEPrivateData" + zeros(8));
}

TEST(StateLayouts, SmallReaders) {
    EXPECT_EQ(parse_chunk_version("<x ChunkVersion=\"2.10.3\">"), (2u << 16) | (10u << 8) | 3u);
    EXPECT_EQ(parse_chunk_version(std::string(600, ' ') + "ChunkVersion=\"1.0.0\""), 0u);
    EXPECT_EQ(parse_chunk_version("ChunkVersion=\"1.0\""), 0u);

    const std::string records =
        "RHCP" + zeros(4) + u32le(3) + zeros(4) + "abc" + "DPCP" + zeros(12) + "XXXX" + zeros(12);
    EXPECT_EQ(find_cp_subchunk(records, "DPCP"), 19u);
    EXPECT_EQ(find_cp_subchunk(records, "VGCP"), 0u);
    EXPECT_EQ(find_cp_subchunk(records.substr(0, 20), "DPCP"), 0u);  // header cut short

    const std::string name = zeros(4) + u32be(4) + std::string("\0A\0b", 4);
    auto u8 = [](const std::string& s) { return reinterpret_cast<const std::uint8_t*>(s.data()); };
    EXPECT_TRUE(is_utf16be_name_block(u8(name), name.size()));
    EXPECT_FALSE(is_utf16be_name_block(u8(name), name.size() - 1));
    const std::string odd = zeros(4) + u32be(3) + std::string("\0A\0", 3);
    EXPECT_FALSE(is_utf16be_name_block(u8(odd), odd.size()));
    const std::string wide = zeros(4) + u32be(2) +
                             std::string(
                                 "\x01"
                                 "A",
                                 2);
    EXPECT_FALSE(is_utf16be_name_block(u8(wide), wide.size()));

    SessionPluginInstance in;
    in.aax_id = "AcmeDemo";
    EXPECT_EQ(aax_product_code_for_state(kVst2, in), "Demo");
    EXPECT_EQ(
        aax_product_code_for_state(row_for("VST3: x", "1{565354415438314175746F2D54756E65}"), in),
        "AT81");
    in.aax_id = "JptrATLv";
    EXPECT_EQ(aax_product_code_for_state(kVst2, in), "ATxL");
}

}  // namespace

namespace {

// Records whose spans and lengths point anywhere: every framing stays inside the session (the
// sanitizers see any read past it).
TEST_F(PluginStateTest, ArbitraryRecordsStayInsideTheSession) {
    std::uint32_t x = 12345;
    auto next = [&x] { return x = x * 1103515245u + 12345u; };
    const std::uint8_t header[16] = {};
    PluginRuleRow templated = kVst3;
    templated.header_template = header;
    templated.header_template_len = sizeof header;
    templated.wrap_flag = 1;
    PluginRuleRow listed = kVst2;
    listed.mode = 1;
    PluginRuleRow preset = kClap;
    preset.preset_name = "P";
    const char* tags[] = {"FFBS", "VC2!", "CMS6", "DHSH",  "LGSH",      "APSH", "RHCP",
                          "DPCP", "VGCP", "juce", "<?xml", "<Program ", "FFEx"};
    const char* ids[] = {"AcmeDemo", "Lin66SAX", "AntrAPan", "xlnAxaAK", "FabFFC2p", "AntrWarm"};
    for (int round = 0; round < 3000; ++round) {
        std::string session(64 + next() % 400, '\0');
        for (char& c : session) c = static_cast<char>(next() >> 24);
        for (int t = 0; t < 4; ++t) {
            const std::string tag = tags[next() % std::size(tags)];
            session.replace(next() % (session.size() - tag.size()), tag.size(), tag);
        }
        Slot slot;
        slot.session = session;
        SessionPluginInstance& in = slot.in;
        in.aax_id = ids[next() % std::size(ids)];
        in.block_pos = next() % 32;
        in.settings_end = in.block_pos + next() % (session.size() - in.block_pos + 1);
        in.payload_kind = next() % 15;
        in.payload_offset = in.block_pos + next() % (in.settings_end - in.block_pos + 1);
        in.payload_length =
            static_cast<std::uint32_t>(next() % (in.settings_end - in.payload_offset + 1));
        in.subcomponent_code = next() % 2 ? "ABCD" : "";
        in.container_match = 1 + next() % 2;
        in.container_label = next() % 2 ? "AAX chunk after elck" : nullptr;
        in.elck_found = next() % 2;
        in.elck_binary_sections = next() % 3;
        in.elck_offset = next() % (session.size() + 8);
        in.elck_length = next() % 200;
        in.values.assign(next() % 50, 0.0f);
        const PluginRuleRow* rows[] = {&kVst2, &kVst3, &kClap, &templated, &listed, &preset};
        for (const PluginRuleRow* row : rows) {
            const PluginState s = convert(slot, *row, true, false);
            EXPECT_EQ(s.bytes.empty(), s.gap != StateGap::none);
        }
    }
}

}  // namespace
