// Dyn3 Compressor/Limiter and Expander/Gate as ReaComp, ReaGate and REAPER's JS effects: the
// effects chosen, every parameter word of ReaComp and ReaGate, the texts and the notes.
#include "effects/dyn3_conversion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr std::uint32_t kBase = 0x53540000;

// {knee, ratio, attack s, release s, gain, threshold, polarity, A freq, A type, A on, B freq,
//  B type, B on, external key}
std::vector<float> compressor(double threshold, double ratio, double attack_s, double release_s,
                              double gain) {
    return {0,
            static_cast<float>(ratio),
            static_cast<float>(attack_s),
            static_cast<float>(release_s),
            static_cast<float>(gain),
            static_cast<float>(threshold),
            0,
            1000,
            1,
            0,
            100,
            1,
            0,
            0};
}

// {depth, ratio, attack s, release s, hold s, threshold, polarity, look-ahead, A freq, A type,
//  A on, B freq, B type, B on, external key}
std::vector<float> gate(double ratio, double threshold = -40, double attack_s = 0.01,
                        double release_s = 0.1, double depth = -20) {
    return {static_cast<float>(depth),
            static_cast<float>(ratio),
            static_cast<float>(attack_s),
            static_cast<float>(release_s),
            0,
            static_cast<float>(threshold),
            0,
            0,
            1000,
            1,
            0,
            100,
            1,
            0,
            0};
}

// ReaComp/ReaGate words: f32 of each value given, the fixed bit patterns as given.
struct Word {
    std::size_t index;
    double value;
    std::uint32_t bits = 0;  // when set, the word's bits
};
DynWords words_of(std::initializer_list<Word> list) {
    DynWords w{};
    for (const Word& x : list) w[x.index] = x.bits ? x.bits : f32_word(x.value);
    return w;
}

// A stored time in seconds as the converter reads it: the f32, in ms.
double ms(float seconds) {
    return static_cast<double>(seconds) * 1000.0;
}

float word_value(const StandInEffect& e, std::size_t i) {
    return std::bit_cast<float>(e.words[i]);
}

struct Converted {
    std::vector<StandInEffect> effects;
    std::set<std::string> notes;
    std::uint32_t counter = 0;
};

Converted compress(const std::vector<float>& v, bool keyed = false, int channels = 2,
                   std::uint32_t counter = 0) {
    Converted c;
    c.counter = counter;
    c.effects = convert_dyn3_compressor(v, keyed, channels, kBase, c.counter, c.notes);
    return c;
}
Converted expand(const std::vector<float>& v, bool keyed = false, int channels = 2) {
    Converted c;
    c.effects = convert_dyn3_expander_gate(v, keyed, channels, kBase, c.counter, c.notes);
    return c;
}

TEST(Dyn3Compressor, WritesEveryReaCompWordAndItsNames) {
    const Converted c = compress(compressor(-20, 4, 0.010, 0.080, 3));
    ASSERT_EQ(c.effects.size(), 1u);
    const StandInEffect& e = c.effects[0];
    EXPECT_EQ(e.kind, StandInKind::reacomp);
    EXPECT_EQ(e.bypass, 0);
    EXPECT_EQ(e.seed, kBase);
    EXPECT_EQ(c.counter, 1u);
    EXPECT_EQ(e.name, "Dyn3 Compressor/Limiter (ReaComp)");
    EXPECT_EQ(e.preset, "Dyn3 Compressor/Limiter 4:1");
    const DynWords expected = words_of({
        {0, std::pow(10.0, (-20 + 0.337) / 20)},
        {1, 3.0 / 99},
        {2, ms(0.010f) * 0.584 / 500},
        {3, ms(0.080f) * 0.4134 / 5000},
        {6, 1.0},
        {10, 0, kDynFloorWord},
        {11, std::pow(10.0, 3.0 / 20)},
        {17, 0.25},
    });
    EXPECT_EQ(e.words, expected);
    // The figures REAPER shows for them.
    EXPECT_NEAR(word_value(e, 0), 0.1039561, 1e-7);
    EXPECT_NEAR(word_value(e, 1), 0.0303030, 1e-7);
    EXPECT_NEAR(word_value(e, 2), 0.01168, 1e-7);
    EXPECT_NEAR(word_value(e, 3), 0.0066144, 1e-7);
    EXPECT_NEAR(word_value(e, 11), 1.4125375, 1e-7);
    EXPECT_TRUE(c.notes.empty());
}

TEST(Dyn3Compressor, GainPastReaCompsReachGoesToAVolumeJs) {
    const struct {
        double gain;
        double word11;
        const char* volume;  // the JS's parameters, or none
    } cases[] = {
        {10, 1.0, "9.965784 150"},
        {6, std::pow(10.0, 6.0 / 20), nullptr},
        {-4, 1.0, nullptr},  // a cut counts as 0 dB
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.gain);
        const Converted c = compress(compressor(-20, 4, 0.01, 0.08, k.gain), false, 2, 3);
        ASSERT_EQ(c.effects.size(), k.volume ? 2u : 1u);
        EXPECT_EQ(c.effects[0].words[11], f32_word(k.word11));
        if (!k.volume) continue;
        const StandInEffect& js = c.effects[1];
        EXPECT_EQ(js.kind, StandInKind::js);
        EXPECT_EQ(js.js_path, "utility/volume");
        EXPECT_EQ(js.js_params, k.volume);
        EXPECT_EQ(js.js_param_count, 2u);
        EXPECT_EQ(js.name, "Dyn3 Compressor/Limiter gain (Volume Adjustment)");
        EXPECT_EQ(js.preset, "Dyn3 gain +10.0 dB");
        EXPECT_EQ(js.seed, kBase + 4);
        EXPECT_EQ(c.counter, 5u);
    }
}

TEST(Dyn3Compressor, PolarityKeyFiltersAndHeldValues) {
    std::vector<float> v = compressor(-10, 1000, 1.0, 20.0, 0);
    v[0] = 80;                          // knee x 0.3575 = 28.6 dB
    v[6] = 1;                           // polarity
    v[7] = 5000, v[8] = 1, v[9] = 1;    // low-pass at 5 kHz
    v[10] = 500, v[11] = 0, v[12] = 1;  // a band filter
    v[13] = 1;                          // external key
    const Converted keyed = compress(v, true, 6);
    ASSERT_EQ(keyed.effects.size(), 2u);
    EXPECT_EQ(keyed.effects[0].js_path, "IX/StereoPhaseInvert");
    EXPECT_EQ(keyed.effects[0].js_params, "3");
    EXPECT_EQ(keyed.effects[0].name, "Dyn3 Compressor/Limiter polarity (Channel Polarity Control)");
    EXPECT_EQ(keyed.effects[0].preset, "Dyn3 polarity");
    const StandInEffect& e = keyed.effects[1];
    EXPECT_EQ(e.seed, kBase + 1);
    EXPECT_EQ(e.preset, "Dyn3 Compressor/Limiter 1e+03:1");
    const DynWords expected = words_of({
        {0, std::pow(10.0, (-10 + 0.337) / 20)},
        {1, 1.0},
        {2, 1.0},
        {3, 1.0},
        {6, 0.25},
        {8, 0, kKeyInputWord},
        {10, 0, kDynFloorWord},
        {11, 1.0},
        {14, 1.0},
        {17, 0.25},
    });
    EXPECT_EQ(e.words, expected);
    EXPECT_EQ(keyed.notes,
              (std::set<std::string>{kDyn3BandFilterNote, kCompTimeHeldNote, kCompKneeHeldNote}));

    // Unwired: on a stereo track it listens to the empty channels 3/4, as Pro Tools hears
    // silence; wider, it cannot, and detects on its own signal.
    const Converted stereo = compress(v, false, 2);
    EXPECT_EQ(stereo.effects[1].words[8], kKeyInputWord);
    EXPECT_EQ(stereo.notes.count(
                  "Dyn3 External Key on with no key input: Pro Tools hears silence there, so the "
                  "compressor never acts (its gain still applies); REAPER's does the same, keyed "
                  "from the track's empty channels 3/4"),
              1u);
    const Converted wide = compress(v, false, 6);
    EXPECT_EQ(wide.effects[1].words[8], 0u);
    EXPECT_EQ(wide.notes.count("Dyn3 External Key on with no key input, on a track wider than "
                               "stereo: Pro Tools hears silence there and never acts; here it "
                               "detects on its own signal"),
              1u);
}

TEST(Dyn3ExpanderGate, RatioChoosesTheExpanderOrReaGate) {
    const std::string as_gate = kExpanderAsGateNote;
    const struct {
        double ratio;
        StandInKind kind;
        bool gate_note;
    } cases[] = {
        {4, StandInKind::js, false},        {9.98, StandInKind::js, false},
        {10, StandInKind::reagate, true},   {49.9, StandInKind::reagate, true},
        {100, StandInKind::reagate, false},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.ratio);
        const Converted c = expand(gate(k.ratio));
        ASSERT_EQ(c.effects.size(), 1u);
        EXPECT_EQ(c.effects[0].kind, k.kind);
        EXPECT_EQ(c.notes.count(as_gate), k.gate_note ? 1u : 0u);
    }

    const Converted js = expand(gate(4));
    const StandInEffect& e = js.effects[0];
    EXPECT_EQ(e.js_path, "sstillwell/expander");
    EXPECT_EQ(e.js_params, "-40.000 4.0000 0 0 2 10.0000 100.0000");
    EXPECT_EQ(e.js_param_count, 7u);
    EXPECT_EQ(e.name, "Dyn3 Expander/Gate (Downward Expander)");
    EXPECT_EQ(e.preset, "Dyn3 Expander/Gate 4:1");
    EXPECT_EQ(js.notes, (std::set<std::string>{kExpanderDepthNote}));  // -20 dB of floor

    const Converted g = expand(gate(100, -30, 0.01, 0.1, -20));
    EXPECT_EQ(g.effects[0].name, "Dyn3 Expander/Gate (ReaGate)");
    EXPECT_EQ(g.effects[0].preset, "Dyn3 Expander/Gate 100:1");
    const double floor = std::pow(10.0, -20.0 / 20);
    const DynWords expected = words_of({
        {0, std::pow(10.0, -30.0 / 20)},
        {1, ms(0.01f) / 500},
        {2, ms(0.1f) / 5000},
        {5, 1.0},
        {9, floor},
        {10, 1.0 - floor},
        {11, 0, kDynFloorWord},
        {12, 1.0},
        {16, 0, kGateDefaultWord},
    });
    EXPECT_EQ(g.effects[0].words, expected);
}

TEST(Dyn3ExpanderGate, ExternalKeyWithoutAKeyInput) {
    std::vector<float> v = gate(2);
    v[14] = 1;
    // Stereo: a gate at any ratio, detecting on the silent channels 3/4, without the 1:10 note.
    const Converted stereo = expand(v, false, 2);
    ASSERT_EQ(stereo.effects.size(), 1u);
    EXPECT_EQ(stereo.effects[0].kind, StandInKind::reagate);
    EXPECT_EQ(stereo.effects[0].words[7], kKeyInputWord);
    EXPECT_EQ(stereo.notes.count(kExpanderAsGateNote), 0u);
    EXPECT_EQ(stereo.notes.count("Dyn3 Expander/Gate External Key on with no key input: Pro "
                                 "Tools hears silence there, so it stays shut at its range; "
                                 "REAPER's gate does the same, keyed from the track's empty "
                                 "channels 3/4"),
              1u);
    // Wider: the ratio decides, detecting on its own signal.
    const Converted wide = expand(v, false, 6);
    EXPECT_EQ(wide.effects[0].kind, StandInKind::js);
    EXPECT_EQ(wide.effects[0].js_params, "-40.000 2.0000 0 0 2 10.0000 100.0000");
    EXPECT_EQ(wide.notes.count("Dyn3 Expander/Gate External Key on with no key input, on a "
                               "track wider than stereo: Pro Tools keeps it shut at its range; "
                               "here it detects on its own signal"),
              1u);
    // Wired: the expander listens to its key.
    const Converted keyed = expand(v, true, 6);
    EXPECT_EQ(keyed.effects[0].js_params, "-40.000 2.0000 0 1 2 10.0000 100.0000");
}

TEST(Dyn3ExpanderGate, DeepGatesScaleTheirTimesAndSayWhenHeld) {
    // Depth -80 dB: attack x 4 (800 ms, held to 500), release x 22/80 (27.5 ms).
    std::vector<float> v = gate(100, -40, 0.2, 0.1, -80);
    const Converted c = expand(v);
    EXPECT_EQ(c.effects[0].words[1], f32_word(1.0));
    EXPECT_EQ(c.effects[0].words[2], f32_word(22.0 / 80 * ms(0.1f) / 5000));
    EXPECT_EQ(c.notes, (std::set<std::string>{kGateTimeHeldNote}));
    // Release scaled back into range: nothing held, no note.
    v[2] = 0.1f, v[3] = 6.0f;
    EXPECT_TRUE(expand(v).notes.empty());
    // Look-ahead: a 2 ms pre-open; on an expander, a note only.
    v = gate(100);
    v[7] = 1;
    const Converted ahead = expand(v);
    EXPECT_EQ(ahead.effects[0].words[3], f32_word(0.008));
    EXPECT_EQ(ahead.notes.count(
                  "Dyn3 look-ahead written as a 2 ms pre-open (its length is not measured)"),
              1u);
    v[1] = 3;
    EXPECT_EQ(expand(v).notes.count("Dyn3 look-ahead not carried on an expander (REAPER's "
                                    "Downward Expander has none)"),
              1u);
}

TEST(Dyn3ExpanderGate, KeyFiltersBecomeDetectorWords) {
    std::vector<float> v = gate(100);
    v[8] = 4000, v[9] = 1, v[10] = 1;   // low-pass 4 kHz
    v[11] = 200, v[12] = 1, v[13] = 1;  // high-pass 200 Hz
    const Converted c = expand(v);
    EXPECT_EQ(c.effects[0].words[5], f32_word(0.2));
    EXPECT_EQ(c.effects[0].words[6], f32_word(0.01));
    // Both band filters: one note; the detector stays open.
    v[9] = 0, v[12] = 0;
    const Converted band = expand(v);
    EXPECT_EQ(band.effects[0].words[5], f32_word(1.0));
    EXPECT_EQ(band.effects[0].words[6], 0u);
    EXPECT_EQ(band.notes, (std::set<std::string>{kDyn3BandFilterNote}));
    // On an expander, a filter that does something is a note.
    v = gate(4);
    v[11] = 200, v[12] = 1, v[13] = 1;
    EXPECT_EQ(expand(v).notes.count(kExpanderFilterNote), 1u);
}

TEST(Dyn3, NaNInfinitiesAndShortValueListsStayFinite) {
    constexpr float nan = std::numeric_limits<float>::quiet_NaN();
    constexpr float inf = std::numeric_limits<float>::infinity();
    const std::vector<std::vector<float>> inputs = {
        std::vector<float>(15, nan), std::vector<float>(15, inf), std::vector<float>(15, -inf),
        std::vector<float>{}};
    for (const auto& v : inputs) {
        for (const Converted& c : {compress(v), expand(v)}) {
            for (const StandInEffect& e : c.effects) {
                for (std::uint32_t w : e.words) EXPECT_TRUE(std::isfinite(std::bit_cast<float>(w)));
                for (const std::string& text : {e.js_params, e.preset}) {
                    EXPECT_EQ(text.find("nan"), std::string::npos) << text;
                    EXPECT_EQ(text.find("inf"), std::string::npos) << text;
                }
            }
        }
    }
    // NaN is neutral: a 1:1 compressor at 0 dB of gain.
    const Converted c = compress(std::vector<float>(14, nan));
    EXPECT_EQ(c.effects[0].preset, "Dyn3 Compressor/Limiter 1:1");
    EXPECT_EQ(c.effects[0].words[11], f32_word(1.0));
}

}  // namespace
