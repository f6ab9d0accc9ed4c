// The chain writer on instances built in memory: the frame forms, the one-sided polarity block,
// PINFLAGS, and the Trim on a wide track.
#include "effects/fx_chain.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "app/convert_options.h"
#include "convert/run_state.h"
#include "plugins/plugin_state.h"
#include "util/codecs.h"

namespace {

struct Chain {
    std::string text;
    int slots = 0;
};

Chain write_chain(const FxSession& session, const FxChainTrack& track) {
    std::FILE* file = std::tmpfile();
    Chain out;
    out.slots = write_fx_chain(file, session, track);
    std::rewind(file);
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) out.text.append(buffer, n);
    std::fclose(file);
    return out;
}

SessionPluginInstance instance(const std::string& id, std::uint64_t pos) {
    SessionPluginInstance i;
    i.aax_id = id;
    i.block_pos = pos;
    return i;
}

std::size_t count_of(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

class FxChain : public ::testing::Test {
  protected:
    void SetUp() override { reset_conversion_state(ConvertOptions{}); }
    void TearDown() override { reset_conversion_state(ConvertOptions{}); }
};

TEST_F(FxChain, FrameFormsWithoutSlots) {
    const std::map<std::string, std::vector<SessionPluginInstance>> none;
    FxSession session;
    session.plugins_by_track = &none;
    FxChainTrack track;
    track.name = "Gtr";
    EXPECT_EQ(write_chain(session, track).text, "");

    track.one_sided_polarity = 1;
    track.extra_text = "      EXTRA\n";
    const std::string text = write_chain(session, track).text;
    EXPECT_EQ(text.substr(0, 13), "    <FXCHAIN\n");
    EXPECT_NE(text.find("      <JS IX/StereoPhaseInvert \"Trim polarity, left channel (Channel "
                        "Polarity Control)\"\n        1 -"),
              std::string::npos)
        << text;
    std::string params = "        1";
    for (int i = 0; i < 63; ++i) params += " -";
    EXPECT_NE(text.find(params + "\n"), std::string::npos);
    EXPECT_NE(text.find("FXID {"), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 18), "      EXTRA\n    >\n");
    EXPECT_EQ(fx_chain_state.polarity_js, 1u);

    // The master's list and --no-stand-ins write no frame for the polarity.
    track.tag = "MASTERFXLIST";
    EXPECT_EQ(write_chain(session, track).text, "");
    track.tag = "FXCHAIN";
    track.extra_text.clear();
    settings.no_stand_ins = 1;
    EXPECT_EQ(write_chain(session, track).text, "");
}

TEST_F(FxChain, PinflagsOnTheLastSlotThatIsNoPlaceholder) {
    std::map<std::string, std::vector<SessionPluginInstance>> by_track;
    by_track["Keyed"] = {instance("DigiTrim", 100), instance("DigiQzzy", 200)};
    const std::map<std::uint64_t, double> gains = {{100, 6.0}};
    FxSession session;
    session.plugins_by_track = &by_track;
    session.trim_gain_by_instance = &gains;
    FxChainTrack track;
    track.name = "Keyed";
    track.pinflags = true;
    Chain chain = write_chain(session, track);
    EXPECT_EQ(chain.slots, 2);
    EXPECT_NE(chain.text.find("        5.979471 150"), std::string::npos);
    EXPECT_NE(chain.text.find("PRESETNAME \"Avid Trim +6.00 dB\"\n      FLOATPOS 0 0 0 0\n      "
                              "FXID "),
              std::string::npos);
    EXPECT_EQ(count_of(chain.text, "PINFLAGS 1"), 1u);
    EXPECT_LT(chain.text.find("PINFLAGS 1"), chain.text.find("DigiQzzy"));

    // Only placeholders: no PINFLAGS line.
    by_track["Keyed"] = {instance("DigiQzzy", 200)};
    chain = write_chain(session, track);
    EXPECT_EQ(count_of(chain.text, "PINFLAGS"), 0u);
}

TEST_F(FxChain, StandInIsCarriedOnlyWhenItsTextExists) {
    SessionPluginInstance eq = instance("Digi1be3", 300);
    eq.payload_kind = 5;
    eq.values.assign(8, 0.0f);
    std::map<std::string, std::vector<SessionPluginInstance>> by_track;
    by_track["Keyed"] = {instance("DigiTrim", 100), eq};
    const std::map<std::uint64_t, double> gains = {{100, 0.0}};
    std::string standin;
    FxSession session;
    session.plugins_by_track = &by_track;
    session.trim_gain_by_instance = &gains;
    session.standin_built = [](const std::string&) { return true; };
    session.write_stock_standins = [&](const SessionPluginInstance&, SessionBytes) {
        return standin;
    };
    FxChainTrack track;
    track.name = "Keyed";
    track.pinflags = true;

    // Its text: carried, PINFLAGS right after the stand-in's last block, where REAPER puts it.
    standin =
        "      BYPASS 0 0 0\n      <JS a \"\"\n      >\n      FLOATPOS 0 0 0 0\n      WAK 0 0\n";
    Chain chain = write_chain(session, track);
    ASSERT_EQ(fx_chain_state.rows.size(), 2u);
    EXPECT_EQ(fx_chain_state.rows[1].outcome, fx_carried);
    EXPECT_TRUE(chain.text.ends_with(
        "      >\n      PINFLAGS 1\n      FLOATPOS 0 0 0 0\n      WAK 0 0\n    >\n"))
        << chain.text;

    // Empty text: a named placeholder without settings, the Trim before it takes the pins; with
    // placeholders off it is left out, named.
    for (const int placeholders : {1, 0}) {
        reset_conversion_state(ConvertOptions{});
        settings.placeholders_enabled = placeholders;
        standin.clear();
        chain = write_chain(session, track);
        ASSERT_EQ(fx_chain_state.rows.size(), 2u);
        const FxReportRow& row = fx_chain_state.rows[1];
        EXPECT_EQ(row.outcome, placeholders ? fx_without_settings : fx_left_out_no_settings);
        EXPECT_NE(row.text.find("did not read"), std::string::npos) << row.text;
        EXPECT_EQ(count_fx_rows_carried(), 1u);  // the Trim
        EXPECT_EQ(chain.slots, placeholders ? 2 : 1);
        EXPECT_EQ(count_of(chain.text, "replace me here"), placeholders ? 1u : 0u);
        EXPECT_NE(
            chain.text.find("      >\n      PINFLAGS 1\n      PRESETNAME \"Avid Trim +0.00 dB\""),
            std::string::npos)
            << chain.text;
        EXPECT_EQ(count_of(chain.text, "PINFLAGS 1"), 1u);
    }
}

TEST_F(FxChain, TrimOnAWideTrackIsAPlaceholderOfItsWidth) {
    std::map<std::string, std::vector<SessionPluginInstance>> by_track;
    by_track["Surround"] = {instance("DigiTrim", 100)};
    const std::map<std::uint64_t, double> gains = {{100, 6.0}};
    FxSession session;
    session.plugins_by_track = &by_track;
    session.trim_gain_by_instance = &gains;
    FxChainTrack track;
    track.name = "Surround";
    track.channels = 6;
    const Chain chain = write_chain(session, track);
    EXPECT_EQ(chain.text.find("utility/volume"), std::string::npos);
    ASSERT_NE(chain.text.find("<VST \"VST3: Trim\""), std::string::npos) << chain.text;
    // The header: id, magic, then 6 input pins, over two lines (REAPER wraps at 128).
    const std::size_t header_at = chain.text.find('\n', chain.text.find("<VST ")) + 9;
    const std::size_t second_at = chain.text.find('\n', header_at) + 9;
    ASSERT_EQ(second_at - 9 - header_at, 128u);
    const std::string header =
        base64_decode(chain.text.substr(header_at, 128)) +
        base64_decode(chain.text.substr(second_at, chain.text.find('\n', second_at) - second_at));
    ASSERT_EQ(header.size(), 12u + 6 * 8 + 4 + 6 * 8 + 12);
    EXPECT_EQ(header[8], 6);
    // It ends as REAPER ends a VST3 build's header.
    EXPECT_EQ(header.substr(header.size() - 4), std::string("\xFF\xFF\x10\x00", 4));
    EXPECT_EQ(fx_chain_state.trim_wide_tracks, 1u);
    ASSERT_EQ(fx_chain_state.rows.size(), 1u);
    EXPECT_EQ(fx_chain_state.rows[0].outcome, fx_aax_only);
    EXPECT_EQ(fx_chain_state.rows[0].text, "AAX only - no VST/VST3 version exists");
    EXPECT_EQ(fx_chain_state.aax_only_labels["Trim"], "Avid's gain utility");
}

TEST_F(FxChain, RowsOfLeftOutSlots) {
    std::map<std::string, std::vector<SessionPluginInstance>> by_track;
    SessionPluginInstance off = instance("QzzyNone", 1);
    off.bypassed = 1;
    off.inactive = 1;
    SessionPluginInstance waves = instance("WavsShel", 2);
    waves.payload_kind = 9;
    waves.plugin_name = "C4";
    by_track["T"] = {off, waves, instance("", 3)};
    FxSession session;
    session.plugins_by_track = &by_track;
    FxChainTrack track;
    track.name = "T";
    settings.fx_bypass_mode = BypassedFxMode::leave_out;
    const Chain chain = write_chain(session, track);
    EXPECT_EQ(chain.text, "");
    ASSERT_EQ(fx_chain_state.rows.size(), 3u);
    EXPECT_EQ(fx_chain_state.rows[0].outcome, fx_left_out_bypassed);
    EXPECT_EQ(fx_chain_state.rows[0].text, "was inactive in Pro Tools");
    EXPECT_EQ(fx_chain_state.rows[1].name, "Waves C4");
    EXPECT_EQ(fx_chain_state.rows[1].text,
              "REAPER has not scanned this Waves plug-in - rescan plug-ins in REAPER and convert "
              "again");
    EXPECT_EQ(fx_chain_state.rows[2].slot, 3u);
    EXPECT_EQ(fx_chain_state.rows[2].outcome, fx_not_recognised);
    EXPECT_EQ(fx_chain_state.unrecognised_counts.size(), 2u);

    // A cache that lists the shell's plug-ins by name only (REAPER 6) has scanned it: the text
    // says why it still was not found.
    ReaperPluginEntry shell;
    shell.file = "WaveShell1-VST3 12.7_x64.vst3";
    shell.name = "CLA-2A (Waves)";
    shell.vst2_id = 1303613859;
    shell.is_vst3 = 1;
    plugin_knowledge.cache = {shell};
    reset_fx_chain_state();
    write_chain(session, track);
    ASSERT_EQ(fx_chain_state.rows.size(), 3u);
    EXPECT_EQ(fx_chain_state.rows[1].text,
              "REAPER's cache lists the Waves shell's plug-ins by name only, and none by this "
              "one's name - rescan plug-ins in REAPER and convert again");
    plugin_knowledge.cache.clear();
}

}  // namespace
