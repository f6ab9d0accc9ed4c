// Clip Effects as a take's effect chain: the stored values in real units, the ratio curves, the
// chain's blocks and notes, and the take's order in an item.
#include "effects/clip_effects.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <filesystem>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "convert/writer/item_writer.h"
#include "platform/ptformat.h"
#include "tests/block_builder.h"
#include "tests/mix_session.h"
#include "tests/test_support.h"
#include "tests/writer_test_support.h"
#include "util/guid.h"

namespace {

using Values = std::vector<std::pair<std::string, double>>;

std::size_t count_of(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

class ClipEffects : public writer_test::WriterTest {
  protected:
    void SetUp() override {
        WriterTest::SetUp();
        reset_item_writer();
    }
};

TEST_F(ClipEffects, DefaultsReadAsTheStripsOwnSettings) {
    const ChannelStripSettings s = clip_effects_settings({});
    EXPECT_EQ(s.name, "Clip Effects");
    const double freqs[] = {41.2, 329.0, 2630.0, 10500.0};
    for (std::size_t b = 0; b < 4; ++b) {
        EXPECT_NEAR(s.eq[b].freq_hz, freqs[b], freqs[b] * 0.002) << b;
        EXPECT_NEAR(s.eq[b].q, 0.5, 0.0005) << b;
        EXPECT_NEAR(s.eq[b].gain_db, 0.0, 1e-9) << b;
        EXPECT_EQ(s.eq[b].shelf, 0) << b;
    }
    EXPECT_NEAR(s.filters[0].freq_hz, 20.59, 0.01);
    EXPECT_EQ(s.filters[0].type, kStripHighPass);
    EXPECT_NEAR(s.filters[1].freq_hz, 21000.0, 0.01);
    EXPECT_EQ(s.filters[1].type, kStripLowPass);
    EXPECT_NEAR(s.exp_threshold_db, -58.0, 0.001);
    EXPECT_NEAR(s.exp_release_ms, 200.0, 0.05);
    EXPECT_NEAR(s.exp_depth_db, -36.0, 0.001);
    EXPECT_NEAR(s.cmp_threshold_db, -24.0, 1e-9);
    EXPECT_NEAR(s.cmp_release_ms, 200.0, 0.05);
    EXPECT_DOUBLE_EQ(s.exp_ratio, 1.0);
    EXPECT_DOUBLE_EQ(s.cmp_ratio, 1.0);
    EXPECT_EQ(s.cmp_depth + s.exp_hold + s.exp_hysteresis + s.clip_fader + s.fader_on, 0);
    EXPECT_EQ(s.eq_present + s.filters_present + s.exp_present, 3);
    EXPECT_EQ(s.order + s.range + s.polarity, 0);
}

TEST_F(ClipEffects, RatioCurvesAndTheirExtrapolatedEnds) {
    struct Case {
        const char* name;
        double v;
        double ratio;
        int extrapolated;
    };
    const Case cases[] = {
        {"Cmp Ratio", 0.0, 1.0, 0},       {"Cmp Ratio", 0.171875, 2.0, 0},
        {"Cmp Ratio", 0.3359375, 4.0, 0}, {"Cmp Ratio", 0.593715, 10.0, 0},
        {"Exp Ratio", 0.614583, 3.0, 0},  {"Exp Ratio", 0.909404, 10.0, 0},
        {"Exp Ratio", -0.5, 1.0, 0},
    };
    for (const Case& c : cases) {
        const ChannelStripSettings s = clip_effects_settings({{c.name, c.v}});
        const bool cmp = std::string(c.name) == "Cmp Ratio";
        EXPECT_NEAR(cmp ? s.cmp_ratio : s.exp_ratio, c.ratio, 1e-6) << c.name << " " << c.v;
        EXPECT_EQ(cmp ? s.cmp_ratio_extrapolated : s.exp_ratio_extrapolated, c.extrapolated)
            << c.name << " " << c.v;
    }
    // Between samples the curve is log-linear: halfway between 2:1 and 3:1 gives sqrt(6).
    EXPECT_NEAR(log_linear_ratio({{0, 1}, {0.2, 2}, {0.4, 3}}, 0.3), std::sqrt(6.0), 1e-12);
    const ChannelStripSettings past = clip_effects_settings({{"Cmp Ratio", 0.7}});
    EXPECT_GT(past.cmp_ratio, 10.0);
    EXPECT_EQ(past.cmp_ratio_extrapolated, 1);
    const std::string blocks = clip_effects_blocks({{"Cmp Ratio", 0.7}}, false, 0x43460000u);
    EXPECT_EQ(
        clip_effects_state.note_clips.count("compressor ratio past 10:1 extrapolated (unsampled)"),
        1u);
    EXPECT_NE(blocks.find("ReaComp"), std::string::npos);
}

TEST_F(ClipEffects, ValuesThatAreNoNumberOrOutOfRangeAreHeld) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const ChannelStripSettings s = clip_effects_settings(
        {{"EQ Low Gain", nan}, {"EQ High Gain", inf}, {"Cmp Ratio", -inf}, {"Input Trim", 7.0}});
    EXPECT_NEAR(s.eq[0].gain_db, 0.0, 1e-9);  // the default
    EXPECT_NEAR(s.eq[3].gain_db, 24.0, 1e-9);
    EXPECT_DOUBLE_EQ(s.cmp_ratio, 1.0);
    EXPECT_NEAR(s.input_trim_db, 36.0, 1e-9);
    const std::string blocks = clip_effects_blocks({{"EQ Low Gain", nan},
                                                    {"Exp Ratio", inf},
                                                    {"Cmp Gain Makeup", inf},
                                                    {"EQ High Frequency", -inf}},
                                                   false, 1);
    EXPECT_EQ(blocks.find("nan"), std::string::npos);
    EXPECT_EQ(blocks.find("inf"), std::string::npos);
}

// One changed EQ gain: a take chain after the source holding the EQ and the filters.
TEST_F(ClipEffects, TakeChainSitsAfterTheSourceAndBeforeTheGainEnvelope) {
    reset_item_writer();
    item_writer.items_written = 3;
    ClipRecord clip;
    clip.name = "Vox";
    clip.file_name = "Vox.wav";
    clip.start = 1.0;
    clip.length = 4.0;
    clip.rare.edit().clip_effects = {{"EQ Low Gain", 0.625}};
    clip.rare.edit().has_gain = 1;
    clip.rare.edit().gain_points = {{0.0, 0.0}, {96000.0, -6.0}};
    ItemWriteContext context;
    const std::string text = writer_test::capture(
        [&](std::FILE* f) { write_audio_item(f, clip, "Track", ItemLane{}, {}, context); });
    const std::uint32_t seed = 0x43460000u + 16u * 3u;
    const std::string head =
        "      >\n      <TAKEFX\n        SHOW 0\n        LASTSEL 0\n"
        "        DOCKED 0\n        BYPASS 0 0 0\n        <VST \"VST: ReaEQ";
    const std::size_t source = text.find("      <SOURCE WAVE\n");
    const std::size_t chain = text.find(head);
    const std::size_t eq = text.find("        PRESETNAME \"Clip Effects EQ\"\n");
    const std::size_t filters = text.find("        PRESETNAME \"Clip Effects Filters\"\n");
    const std::size_t closed = text.find("        WAK 0 0\n      >\n      <VOLENV");
    ASSERT_NE(source, std::string::npos);
    EXPECT_LT(source, chain);
    EXPECT_LT(chain, eq);
    EXPECT_LT(eq, filters);
    EXPECT_LT(filters, closed);
    EXPECT_NE(closed, std::string::npos) << text;
    EXPECT_NE(text.find("        FXID " + guid_from_seed(seed) + "\n"), std::string::npos);
    EXPECT_NE(text.find("        FXID " + guid_from_seed(seed + 1) + "\n"), std::string::npos);
    EXPECT_EQ(count_of(text, "<VST "), 2u);  // no dynamics at ratio 1:1
    EXPECT_EQ(count_of(text, "<TAKEFX"), 1u);
    writer_test::expect_parses("<REAPER_PROJECT\n  <TRACK\n" + text + "  >\n>\n");
    EXPECT_EQ(clip_effects_state.clips, 1);
    EXPECT_EQ(clip_effects_state.plugin_clips.at("ReaEQ"), 1);
    EXPECT_NE(clip_effects_paragraph().find("1 clip(s) carry Pro Tools Clip Effects"),
              std::string::npos);
}

TEST_F(ClipEffects, NotesOfLinkedDetectorsAndTheClipFader) {
    const Values values = {{"Sc Source", 1.0}, {"Cmp Ratio", 0.3359375}, {"Fader Volume", 0.5}};
    const std::string linked = clip_effects_blocks(values, true, 0);
    EXPECT_EQ(clip_effects_state.note_clips.count(
                  "side chain All-Linked not carried: each side of the stereo pair detects on its "
                  "own"),
              1u);
    EXPECT_EQ(
        clip_effects_state.note_clips.count("clip fader not carried (its scale is unmeasured)"),
        1u);
    EXPECT_EQ(linked.find("fader"), std::string::npos);
    EXPECT_EQ(linked.find("utility/volume"), std::string::npos);
    // The same clip alone (not one leg of a pair) has no linked detectors to name.
    reset_clip_effects_state();
    clip_effects_blocks(values, false, 0);
    EXPECT_EQ(clip_effects_state.note_clips.size(), 1u);
    const std::string losses = clip_effects_losses_paragraph();
    EXPECT_NE(losses.find("  Clip Effects approximated or left out:\n"), std::string::npos);
    EXPECT_NE(losses.find("      clip fader not carried (its scale is unmeasured) (1 clip(s))\n"),
              std::string::npos);
}

TEST_F(ClipEffects, UnknownNamesAreCountedAndNamed) {
    clip_effects_blocks(
        {{"Warp Drive", 0.3}, {"Warp Drive", 0.4}, {"EQ Low Gain", 0.6}, {"Line\nBreak", 0.1}},
        false, 0);
    EXPECT_EQ(clip_effects_state.unknown_names.at("Line?Break"), 1);
    EXPECT_EQ(clip_effects_state.unknown_names.at("Warp Drive"), 2);
    const std::string losses = clip_effects_losses_paragraph();
    EXPECT_EQ(losses.substr(losses.find("    3 not recognized:\n")),
              "    3 not recognized:\n"
              "      Line?Break               x1\n"
              "      Warp Drive               x2\n"
              "      Avid's own stock processors exist only as AAX and no tool can\n"
              "      transfer them; anything else can be added - send this report to\n"
              "      whoever gave you lanwick and say which one.\n");
}

// The two rows whole: the plug-ins, the six lines and at most eight notes by name; then every
// note with its clips.
TEST_F(ClipEffects, TheSummaryRowsWhole) {
    ClipEffectsState& st = clip_effects_state;
    st.clips = 3;
    st.plugin_clips = {{"ReaComp", 1}, {"ReaEQ", 3}};
    for (char c = 'a'; c <= 'i'; ++c) st.note_clips[std::string("note ") + c] = c == 'a' ? 2 : 1;
    const std::string carried = clip_effects_paragraph();
    EXPECT_EQ(carried.substr(0, carried.find("      Clip Effects are")),
              "  3 clip(s) carry Pro Tools Clip Effects, written as take FX on the item\n"
              "      (ReaComp on 1, ReaEQ on 3).\n");
    EXPECT_EQ(carried.substr(carried.find("      them, or to switch one off.\n")),
              "      them, or to switch one off.\n"
              "      note a\n      note b\n      note c\n      note d\n"
              "      note e\n      note f\n      note g\n      note h\n"
              "      ... and 1 more\n");
    EXPECT_EQ(count_of(carried, "\n"), 2u + 6u + 9u);
    const std::string losses = clip_effects_losses_paragraph();
    EXPECT_EQ(losses.rfind("  Clip Effects approximated or left out:\n"
                           "      note a (2 clip(s))\n      note b (1 clip(s))\n",
                           0),
              0u)
        << losses;
    EXPECT_NE(losses.find("      note i (1 clip(s))\n"), std::string::npos);
    EXPECT_EQ(losses.find("not recognized"), std::string::npos);
}

// The program on a whole session: the clip "Take 1" names a Clip Effects list (a 0x4400 block of
// 'px' name records, tied by the id its 0x2629 block stores before its 0x4403 block).
TEST(ClipEffectsProgram, AClipsChangedValuesBecomeItsTakeChain) {
    using test_blocks::le;
    using test_blocks::z_block;
    using test_blocks::zeros;
    const auto text = [](const std::string& v) { return le(v.size(), 4) + v; };
    const auto px = [&](const std::string& name, double value) {
        return std::string("px\x01\x00", 4) + le(name.size() + 12, 4) + text(name) +
               le(std::bit_cast<std::uint64_t>(value), 8);
    };
    const std::uint64_t id = 0x0000000500000007ULL;
    const std::string list = px("EQ Low Gain", 0.625) + px("Cmp Ratio", 0.3359375);
    const std::string lists =
        z_block(0x4400, le(1, 4) + le(id, 8) + zeros(4) + text(list) + zeros(20), 0x02);
    const std::string clip = z_block(0x2629,
                                     z_block(0x2628, text("Take 1") + zeros(4), 0x02) + zeros(3) +
                                         le(id, 8) + z_block(0x4403, zeros(4)) + zeros(12),
                                     0x05);
    test_support::TempDir dir;
    const std::filesystem::path song = std::filesystem::path(dir.path()) / "Mix";
    std::filesystem::create_directories(song / "Audio Files");
    test_support::write_file((song / "Audio Files" / "Take 1.wav").string(), "RIFF");
    std::string plain = mix_session::plain_session(mix_session::MixShape{}) + lists + clip;
    std::vector<std::uint8_t> bytes(plain.begin(), plain.end());
    ptf_xor_crypt(bytes);
    const std::string session = (song / "Mix.ptx").string();
    test_support::write_file(session, std::string(bytes.begin(), bytes.end()));
    const std::string project = (song / "Mix.rpp").string();
    const auto r = test_support::run_lanwick({session, "-o", project, "--no-pause"});
    ASSERT_EQ(r.exit_code, 0) << r.out;
    const std::string out = test_support::read_file(project);
    writer_test::expect_parses(out);
    const std::size_t item = out.find("NAME \"Take 1\"");
    ASSERT_NE(item, std::string::npos);
    const std::size_t chain = out.find("      <TAKEFX\n", item);
    ASSERT_NE(chain, std::string::npos) << out;
    EXPECT_LT(out.find("      <SOURCE WAVE\n", item), chain);
    EXPECT_NE(out.find("PRESETNAME \"Clip Effects Comp/Lim 4:1\"", chain), std::string::npos);
    EXPECT_NE(
        r.out.find("  1 clip(s) carry Pro Tools Clip Effects, written as take FX on the item\n"
                   "      (ReaComp on 1, ReaEQ on 1).\n"),
        std::string::npos)
        << r.out;
    EXPECT_EQ(r.out.find("play dry"), std::string::npos);
}

}  // namespace
