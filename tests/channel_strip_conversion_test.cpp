// The Channel Strip as REAPER effects: its named values read into settings, the EQ and filter
// bands with their measured corrections, the dynamics words, the carried words and the notes.
#include "effects/channel_strip_conversion.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <numbers>
#include <set>
#include <string>
#include <vector>

#include "effects/dyn3_conversion.h"
#include "effects/eq_curves.h"
#include "util/portable_math.h"

namespace {

constexpr std::uint32_t kBase = 0x53540100;
constexpr double kPi = std::numbers::pi;

struct Strip {
    std::vector<StandInEffect> effects;
    std::set<std::string> notes;
    std::set<std::string> carried;
    std::uint32_t counter = 0;
};

Strip convert(const ChannelStripSettings& s, bool keyed = false, double rate = 48000,
              bool linked = false) {
    Strip out;
    out.effects =
        convert_channel_strip(s, linked, keyed, rate, kBase, out.counter, out.notes, out.carried);
    return out;
}
Strip convert(const std::map<std::string, double>& document, bool keyed = false) {
    return convert(read_channel_strip_params(document), keyed);
}

const StandInEffect* find(const Strip& s, const std::string& name) {
    for (const StandInEffect& e : s.effects) {
        if (e.name == name) return &e;
    }
    return nullptr;
}

TEST(ChannelStrip, DefaultsWriteTheTwoReaEqsAndNothingElse) {
    const Strip s = convert(std::map<std::string, double>{});
    ASSERT_EQ(s.effects.size(), 2u);
    const StandInEffect& eq = s.effects[0];
    EXPECT_EQ(eq.kind, StandInKind::reaeq);
    EXPECT_EQ(eq.name, "Channel Strip EQ (ReaEQ)");
    EXPECT_EQ(eq.preset, "Channel Strip EQ");
    EXPECT_EQ(eq.bypass, 0);
    EXPECT_EQ(eq.seed, kBase);
    ASSERT_EQ(eq.bands.size(), 4u);
    for (const ReaEqStateBand& b : eq.bands) {
        EXPECT_EQ(b.type, kEqPeak);
        EXPECT_EQ(b.enabled, 1);
        EXPECT_EQ(b.gain_db, 0.0);
    }
    const StandInEffect& filters = s.effects[1];
    EXPECT_EQ(filters.name, "Channel Strip Filters (ReaEQ)");
    EXPECT_EQ(filters.preset, "Channel Strip Filters");
    EXPECT_EQ(filters.seed, kBase + 1);
    ASSERT_EQ(filters.bands.size(), 2u);
    for (const ReaEqStateBand& b : filters.bands) EXPECT_EQ(b.enabled, 0);
    EXPECT_EQ(s.counter, 2u);
    EXPECT_EQ(s.carried, (std::set<std::string>{"EQ", "filters"}));
    EXPECT_TRUE(s.notes.empty());
}

TEST(ChannelStrip, EqBandsCarryTheMeasuredCorrections) {
    const struct {
        const char* what;
        bool shelf;
        std::size_t band;  // 0 Low ... 3 High
        double gain, freq, q;
        double rate;
        std::uint32_t type;
        double freq_out;  // written frequency
        double q_out;     // the bell's Q before its bandwidth (shelves: none)
        double value;
    } cases[] = {
        {"bell +12 dB 1 kHz", false, 1, 12, 1000, 1, 48000, kEqPeak, 1000, 0.4044, 2.989564},
        {"bell 0.01 dB: G 1", false, 2, 0.01, 1000, 1, 48000, kEqPeak, 1000, 0.4044, 2.989564},
        {"bell +1.5 dB 50 Hz at 96 kHz", false, 1, 1.5, 50, 2, 96000, kEqPeak, 50,
         2 * 0.4044 * std::pow(0.5, 0.25) * 0.6716 * 1.0297, 0},
        {"bell -24 dB 20 kHz", false, 2, -24, 20000, 1, 48000, kEqPeak, 20000,
         0.4044 * 0.9911 * 0.3603, 0},
        {"low shelf +6 dB 100 Hz", true, 0, 6, 100, 1, 48000, kEqLowShelf, 141.2517, 0, 1.41421356},
        {"high shelf +6 dB 10 kHz", true, 3, 6, 10000, 1, 48000, kEqHighShelf, 7603.188, 0,
         1.41421356},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ChannelStripSettings s;
        s.eq[c.band] = {1, c.shelf ? std::uint8_t{1} : std::uint8_t{0}, c.gain, c.freq, c.q};
        const ReaEqStateBand b = convert(s, false, c.rate).effects[0].bands[c.band];
        EXPECT_EQ(b.type, c.type);
        EXPECT_NEAR(b.freq_hz, c.freq_out, 5e-5 * c.freq_out);
        EXPECT_EQ(b.gain_db, c.gain);
        if (!c.shelf) {
            EXPECT_NEAR(b.q, c.q_out, 1e-12);
            // Octaves that ReaEQ reads back as the bell's Q: narrowed by sin w'/w'.
            const double w = std::min(2 * kPi * c.freq / c.rate, kPi / 2);
            EXPECT_NEAR(b.value,
                        2 / std::numbers::ln2 * std::asinh(1 / (2 * c.q_out)) * std::sin(w) / w,
                        1e-12);
        }
        if (c.value != 0) {
            EXPECT_NEAR(b.value, c.value, 5e-7);
        }
    }
}

// The written bands come from the portable functions, bit for bit, so both platforms write the
// same states (the C library's differ in last bits for these: a shelf's frequency, a band-pass's
// width, a pass filter's width).
TEST(ChannelStrip, WrittenBandsTakeThePortableFunctionsBits) {
    ChannelStripSettings s;
    s.eq[0] = {1, 1, -4.5, 100, 1};
    s.filters[0] = {1, kStripHighPass, 30, 1, 0};
    s.filters[1] = {1, kStripBandPass, 137, 2, 0};
    const Strip strip = convert(s);
    const double shelf_hz =
        portable::atan(portable::tan(kPi * 100 / 48000) * portable::pow(10.0, 4.5 / 40)) * 48000 /
        kPi;
    EXPECT_EQ(strip.effects[0].bands[0].freq_hz, shelf_hz);
    const double w_pass = 2 * kPi * 30 / 48000;
    EXPECT_EQ(strip.effects[1].bands[0].value, portable::sin(w_pass) * 1.8999686297483922 / w_pass);
    const double w_band = 2 * kPi * 137 / 48000;
    EXPECT_EQ(strip.effects[1].bands[1].value,
              2.8853900817779268 * portable::asinh(1 / (2 * 2.0)) * portable::sin(w_band) / w_band);
}

TEST(ChannelStrip, FiltersAsReaEqPassAndBandBands) {
    const auto w = [](double f) { return 2 * kPi * f / 48000; };
    const struct {
        const char* what;
        ChannelStripFilter filter;
        std::vector<std::uint32_t> types;
        double value;
    } cases[] = {
        {"HP 12 dB/oct 100 Hz",
         {1, 0, 100, 1, 0},
         {4},
         std::sin(w(100)) * 1.8999686297483922 / w(100)},
        {"HP 24 dB/oct 15 kHz", {1, 0, 15000, 1, 1}, {4, 4}, 1.2095575965759668},
        {"LP 24 dB/oct 5 kHz",
         {1, 1, 5000, 1, 1},
         {3, 3},
         std::sin(w(5000)) * 1.8999686297483922 / w(5000)},
        {"band-pass Q 2 2 kHz",
         {1, 2, 2000, 2, 0},
         {7},
         2.8853900817779268 * std::asinh(0.25) * std::sin(w(2000)) / w(2000)},
        {"notch Q 0 at 0 Hz: held at Q 0.2, 20 Hz",
         {1, 3, 0, 0, 0},
         {6},
         2.8853900817779268 * std::asinh(2.5) * std::sin(w(20)) / w(20)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ChannelStripSettings s;
        s.filters[0] = c.filter;
        const StandInEffect filters = convert(s).effects[1];
        ASSERT_EQ(filters.bands.size(), c.types.size() + 1);
        for (std::size_t i = 0; i < c.types.size(); ++i) {
            EXPECT_EQ(filters.bands[i].type, c.types[i]);
            EXPECT_EQ(filters.bands[i].enabled, 1);
            EXPECT_DOUBLE_EQ(filters.bands[i].value, c.value);
        }
    }
}

TEST(ChannelStrip, DynamicsWords) {
    // Expander 1:10 with the peak detector: ReaGate.
    ChannelStripSettings s;
    s.exp_ratio = 10;
    s.exp_threshold_db = -50;
    s.exp_attack_ms = 5;
    s.exp_release_ms = 300;
    s.exp_hold_ms = 20;
    s.exp_hold = 1;
    s.exp_hysteresis_db = 4;
    Strip out = convert(s);
    const StandInEffect* gate = find(out, "Channel Strip Exp/Gate (ReaGate)");
    ASSERT_NE(gate, nullptr);
    EXPECT_EQ(gate->preset, "Channel Strip Exp/Gate 1:10");
    EXPECT_EQ(gate->seed, kBase + 2);
    const double g = std::pow(10.0, -36.0 / 20);
    DynWords expected{};
    expected[0] = f32_word(std::pow(10.0, -50.0 / 20));
    expected[1] = f32_word(5.0 / 500);
    expected[2] = f32_word(300.0 / 5000);
    expected[4] = f32_word(20.0 / 1000);
    expected[5] = f32_word(1.0);
    expected[6] = f32_word(20.0 / 20000);  // the side-chain high-pass is on at 20 Hz
    expected[9] = f32_word(g);
    expected[10] = f32_word(1 - g);
    expected[11] = kDynFloorWord;
    expected[12] = f32_word(std::pow(10.0, -4.0 / 20));
    expected[14] = f32_word(0.05);
    expected[16] = kGateDefaultWord;
    EXPECT_EQ(gate->words, expected);
    EXPECT_EQ(out.notes, (std::set<std::string>{kExpanderAsGateNote}));
    EXPECT_EQ(out.carried.count("gate"), 1u);
    s.exp_ratio = 60;
    EXPECT_TRUE(convert(s).notes.empty());

    // Below 1:10: the expander JS, the detector as its 6th parameter.
    s.exp_ratio = 2;
    s.sc_peak = 0;
    out = convert(s);
    const StandInEffect* js = find(out, "Channel Strip Exp/Gate (Downward Expander)");
    ASSERT_NE(js, nullptr);
    EXPECT_EQ(js->js_path, "sstillwell/expander");
    EXPECT_EQ(js->js_params, "-50.000 2.0000 0 0 2 5.0000 300.0000");
    EXPECT_EQ(js->preset, "Channel Strip Expander 1:2");
    EXPECT_EQ(out.notes, (std::set<std::string>{kExpanderDepthNote, kExpanderHoldNote}));

    // A compressor kept for its makeup alone: ratio 1, 3 dB.
    ChannelStripSettings c;
    c.cmp_makeup_db = 3;
    out = convert(c);
    const StandInEffect* comp = find(out, "Channel Strip Comp/Lim (ReaComp)");
    ASSERT_NE(comp, nullptr);
    EXPECT_EQ(comp->preset, "Channel Strip Comp/Lim 1:1");
    DynWords cw{};
    cw[0] = f32_word(std::pow(10.0, -24.0 / 20));
    cw[3] = f32_word(200.0 / 5000);
    cw[6] = f32_word(1.0);
    cw[7] = f32_word(20.0 / 20000);
    cw[10] = kDynFloorWord;
    cw[11] = f32_word(std::pow(10.0, 3.0 / 20));
    cw[13] = f32_word(0.05);
    cw[17] = f32_word(0.25);
    EXPECT_EQ(comp->words, cw);
    EXPECT_EQ(out.effects.size(), 3u);  // no makeup JS
    // A ratio under 1 holds at 1:1; makeup past 6 dB goes to a JS after ReaComp.
    c.cmp_ratio = 0.5;
    c.cmp_makeup_db = 8;
    out = convert(c);
    ASSERT_EQ(out.effects.size(), 4u);
    EXPECT_EQ(out.effects[2].words[1], 0u);
    EXPECT_EQ(out.effects[2].words[11], f32_word(1.0));
    EXPECT_EQ(out.effects[3].js_path, "utility/volume");
    EXPECT_EQ(out.effects[3].preset, "Channel Strip makeup +8.0 dB");
    EXPECT_EQ(out.effects[3].seed, kBase + 3);
}

TEST(ChannelStrip, KeyBypassAndSettingNotes) {
    ChannelStripSettings s;
    s.cmp_ratio = 4;
    s.sc_source = 1;
    s.dynamics_on = 0;
    Strip unkeyed = convert(s);
    EXPECT_EQ(unkeyed.notes, (std::set<std::string>{kStripKeyUnwiredNote}));
    EXPECT_EQ(unkeyed.effects[2].words[8], 0u);
    EXPECT_EQ(unkeyed.effects[2].bypass, 1);
    const Strip keyed = convert(s, true);
    EXPECT_TRUE(keyed.notes.empty());
    EXPECT_EQ(keyed.effects[2].words[8], kKeyInputWord);

    s.sc_source = 2;
    s.sc_filter_type = 2;  // band-pass
    s.eq_on = 0;
    const Strip linked = convert(s, false, 48000, true);
    EXPECT_EQ(linked.effects[0].bypass, 1);
    EXPECT_EQ(linked.notes,
              (std::set<std::string>{kStripBandFilterNote,
                                     "side chain All-Linked not carried: each side of the stereo "
                                     "pair detects on its own"}));
}

TEST(ChannelStrip, ChainOrderAndSeedsFromADocument) {
    const std::map<std::string, double> doc = {
        {"Phase Switch In/Out", 1}, {"Input Trim", -3},   {"EQ Low Gain", 4},
        {"Exp Ratio", 3},           {"Cmp Ratio", 4},     {"Cmp Gain Makeup", 9},
        {"Fader Volume", -6.5},     {"Process Order", 1}, {"EQ Range", 1},
        {"Exp Hold Time", 0.002},   {"Cmp Depth", -20},   {"Exp Knee", 2},
    };
    const Strip s = convert(doc);
    const std::vector<std::string> names = {
        "Channel Strip polarity (Channel Polarity Control)",
        "Channel Strip input trim (Volume Adjustment)",
        "Channel Strip EQ (ReaEQ)",
        "Channel Strip Filters (ReaEQ)",
        "Channel Strip Exp/Gate (Downward Expander)",
        "Channel Strip Comp/Lim (ReaComp)",
        "Channel Strip makeup (Volume Adjustment)",
        "Channel Strip fader (Volume Adjustment)",
    };
    ASSERT_EQ(s.effects.size(), names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        EXPECT_EQ(s.effects[i].name, names[i]);
        EXPECT_EQ(s.effects[i].seed, kBase + i);
    }
    EXPECT_EQ(s.effects[1].preset, "Channel Strip input trim -3.0 dB");
    EXPECT_EQ(s.effects[7].preset, "Channel Strip fader -6.5 dB");
    EXPECT_EQ(s.carried, (std::set<std::string>{"polarity", "input trim", "EQ", "filters",
                                                "expander", "compressor", "fader"}));
    for (const char* note :
         {"processing order other than EQ, filters, dynamics not carried (written in that order)",
          "EQ/Dynamics Range other than the default: gains read at the default range "
          "(unmeasured)",
          "compressor depth (a gain-reduction limit) not carried: ReaComp has none",
          "expander/gate knee not carried (no knee in REAPER's gate or expander)",
          kExpanderHoldNote}) {
        EXPECT_EQ(s.notes.count(note), 1u) << note;
    }
}

TEST(ChannelStrip, ClipEffectsNameTheirBlocksAndSayHowTheEqWasMeasured) {
    ChannelStripSettings s;
    s.name = "Clip Effects";
    const char* note =
        "EQ written as Channel Strip plays it (measured 26 Sep); checked on a Clip Effects bell, "
        "which matches Pro Tools to -109 dB";
    EXPECT_EQ(convert(s).notes.count(note), 0u);
    s.eq[2].gain_db = 3;
    const Strip out = convert(s);
    EXPECT_EQ(out.effects[0].name, "Clip Effects EQ (ReaEQ)");
    EXPECT_EQ(out.notes.count(note), 1u);
}

TEST(ChannelStrip, UnreadableValuesStayFinite) {
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    constexpr double inf = std::numeric_limits<double>::infinity();
    for (double bad : {nan, inf, -inf}) {
        std::map<std::string, double> doc;
        for (const ChannelStripDefault& d : CHANNEL_STRIP_DEFAULTS) doc[d.name] = bad;
        for (const char* name : {"Cmp Gain Makeup", "Exp Hold Time", "Process Order"})
            doc[name] = bad;
        const Strip s = convert(doc, true);
        for (const StandInEffect& e : s.effects) {
            for (std::uint32_t w : e.words) EXPECT_TRUE(std::isfinite(std::bit_cast<float>(w)));
            for (const ReaEqStateBand& b : e.bands) {
                EXPECT_TRUE(std::isfinite(b.freq_hz) && std::isfinite(b.value) &&
                            std::isfinite(b.gain_db));
            }
            for (const std::string& text : {e.js_params, e.preset}) {
                EXPECT_EQ(text.find("nan"), std::string::npos) << text;
                EXPECT_EQ(text.find("inf"), std::string::npos) << text;
            }
        }
    }
    // NaN takes the name's default: the strip at its defaults.
    std::map<std::string, double> doc;
    for (const ChannelStripDefault& d : CHANNEL_STRIP_DEFAULTS) doc[d.name] = nan;
    EXPECT_EQ(convert(doc).effects.size(), 2u);
    // A record filled elsewhere is held too.
    ChannelStripSettings s;
    s.eq[1].q = nan;
    s.filters[0] = {1, 7, -5, -1, 0};
    s.cmp_makeup_db = inf;
    for (const StandInEffect& e : convert(s).effects) {
        for (const ReaEqStateBand& b : e.bands) EXPECT_TRUE(std::isfinite(b.value));
        EXPECT_EQ(e.js_params.find("inf"), std::string::npos);
    }
}

TEST(ChannelStripParams, DefaultsAndDocuments) {
    EXPECT_EQ(CHANNEL_STRIP_DEFAULTS.front().name, std::string("Phase Switch In/Out"));
    EXPECT_EQ(CHANNEL_STRIP_DEFAULTS.back().name, std::string("Fader Volume On/Off"));
    const std::vector<std::pair<std::string, double>> clip = {
        {"EQ Low Gain", 0.5}, {"Input Trim", 0.6}, {"Input Trim", 0.1}, {"Other", 3}};
    EXPECT_EQ(channel_strip_param_value(clip, "Input Trim"), 0.6);  // the first listed
    EXPECT_EQ(channel_strip_param_value(clip, "Fader Volume"), 0.888889);
    EXPECT_EQ(channel_strip_param_value(clip, "Other"), 3.0);
    EXPECT_EQ(channel_strip_param_value(clip, "Unknown"), 0.0);
    EXPECT_FALSE(channel_strip_param_changed(clip, "EQ Low Gain"));
    EXPECT_TRUE(channel_strip_param_changed(clip, "Input Trim"));
    EXPECT_FALSE(channel_strip_param_changed(clip, "Other"));
    EXPECT_FALSE(channel_strip_param_changed({{"Cmp Threshold", 0.60009}}, "Cmp Threshold"));

    std::map<std::string, double> doc = {
        {"Cmp Ratio", 1}, {"EQ Low Gain", 0}, {"Filter 2 Type", 1}, {"Sc Source", 0}};
    EXPECT_TRUE(channel_strip_document_usable(doc));
    EXPECT_EQ(read_channel_strip_params(doc).filters[1].type, kStripLowPass);
    doc.erase("Cmp Ratio");
    EXPECT_FALSE(channel_strip_document_usable(doc));
    EXPECT_EQ(param_by_name(doc, "Cmp Ratio", 7), 7.0);
}

}  // namespace
