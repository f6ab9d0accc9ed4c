// The stand-in dispatch: an instance's stored values through its converter into block text, with
// the key offset, the bypass state, PINFLAGS and the counts every stand-in shares.
#include "effects/stock_standins.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/convert_options.h"
#include "convert/run_state.h"
#include "effects/dyn3_conversion.h"
#include "effects/eq3_conversion.h"
#include "util/codecs.h"
#include "util/guid.h"

namespace {

std::size_t count_of(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

SessionPluginInstance instance(const char* id, std::vector<float> values) {
    SessionPluginInstance i;
    i.aax_id = id;
    i.block_pos = 0x12345678;
    i.values = std::move(values);
    return i;
}

// Dyn3 compressor: threshold -20 dB, ratio 4, attack 10 ms, release 80 ms, gain 3 dB.
SessionPluginInstance compressor() {
    return instance("Digidn3cXXXX", {0, 4, 0.010f, 0.080f, 3, -20, 0, 20000, 1, 0, 20, 1, 0, 0});
}

// The input pin masks (low words) in the header line of the first <VST block.
std::vector<std::uint32_t> input_masks(const std::string& text) {
    const std::size_t vst = text.find("<VST ");
    const std::size_t line = text.find('\n', vst) + 1;
    const std::string header =
        base64_decode(text.substr(line + 8, text.find('\n', line) - line - 8));
    std::vector<std::uint32_t> masks;
    for (int i = 0; i < 4; ++i) {
        std::uint32_t m = 0;
        for (int b = 0; b < 4; ++b)
            m |= static_cast<std::uint32_t>(static_cast<unsigned char>(header[12 + 8 * i + b]))
                 << (8 * b);
        masks.push_back(m);
    }
    return masks;
}

struct StandIns : ::testing::Test {
    void SetUp() override {
        settings = ConversionSettings{};
        reset_stock_standin_state();
    }
    void TearDown() override { settings = ConversionSettings{}; }
};

TEST_F(StandIns, KeyedCompressorTakesItsKeyPinsAndPinflags) {
    const SessionPluginInstance i = compressor();
    const std::set<std::uint64_t> keyed = {i.block_pos};
    const std::map<std::uint64_t, std::int32_t> index = {{i.block_pos, 1}};
    const std::string text = write_stock_standins(i, {}, true, StandInKeys{&keyed, &index});
    EXPECT_EQ(input_masks(text), (std::vector<std::uint32_t>{1, 2, 16, 32}));
    EXPECT_EQ(count_of(text, "PINFLAGS 1"), 1u);
    // Right after the last block's body, as REAPER writes it.
    const std::size_t pinflags = text.find("      >\n      PINFLAGS 1\n      PRESETNAME ");
    ASSERT_NE(pinflags, std::string::npos) << text;
    EXPECT_GT(pinflags, text.rfind("<VST")) << text;
    // Seed base (0x345678 ^ 0x53540000) + 0 for the one block.
    EXPECT_NE(text.find("<VST \"VST: ReaComp (Cockos)\""), std::string::npos);
    EXPECT_NE(text.find("      FXID " + guid_from_seed(0x345678u ^ 0x53540000u) + "\n"),
              std::string::npos);
    // The block writers are back at their defaults for the next chain.
    EXPECT_EQ(fx_current_key_offset, 0u);
    EXPECT_EQ(fx_indent, "        ");
    const std::string unkeyed = write_stock_standins(i, {}, false, StandInKeys{});
    EXPECT_EQ(input_masks(unkeyed), (std::vector<std::uint32_t>{1, 2, 4, 8}));
    EXPECT_EQ(unkeyed.find("PINFLAGS"), std::string::npos);
    EXPECT_EQ(stock_standin_state.standin_counts.at("Dyn3 Compressor/Limiter"), 2u);
    EXPECT_EQ(stock_standin_state.standin_total, 2u);
}

TEST_F(StandIns, BypassFollowsTheInstanceAndTheMode) {
    struct Case {
        bool bypassed, inactive;
        BypassedFxMode mode;
        const char* line;
    };
    // The polarity JS, ReaComp and the gain JS past ReaComp's 6 dB: every block follows.
    for (const Case& c : {Case{false, false, BypassedFxMode::keep, "BYPASS 0 0 0"},
                          Case{true, false, BypassedFxMode::keep, "BYPASS 1 0 0"},
                          Case{true, false, BypassedFxMode::offline, "BYPASS 1 1 0"},
                          Case{false, true, BypassedFxMode::keep, "BYPASS 1 1 0"}}) {
        settings.fx_bypass_mode = c.mode;
        SessionPluginInstance i = compressor();
        i.values[4] = 10;  // gain past 6 dB: a volume JS after ReaComp
        i.values[6] = 1;   // polarity
        i.bypassed = c.bypassed;
        i.inactive = c.inactive;
        const std::string text = write_stock_standins(i, {}, false, StandInKeys{});
        EXPECT_EQ(count_of(text, "      BYPASS "), 3u) << text;
        EXPECT_EQ(count_of(text, std::string("      ") + c.line + "\n"), 3u) << c.line << text;
    }
}

TEST_F(StandIns, NotesAndKindsAreCountedOncePerStandIn) {
    // Two band-type key filters on an expander/gate: one note for the stand-in.
    SessionPluginInstance gate =
        instance("Digidn3eXXXX", {-40, 4, 0.010f, 0.100f, 0, -40, 0, 0, 1000, 0, 1, 1000, 0, 1, 0});
    write_stock_standins(gate, {}, false, StandInKeys{});
    write_stock_standins(gate, {}, false, StandInKeys{});
    EXPECT_EQ(stock_standin_state.notes.at(kDyn3BandFilterNote), 2u);
    EXPECT_EQ(stock_standin_state.standin_counts.at("Dyn3 Expander/Gate"), 2u);
    // A Channel Strip without a readable document: no text, no count.
    EXPECT_EQ(write_stock_standins(instance("AVIDChStXXXX", {}), {}, false, StandInKeys{}), "");
    EXPECT_EQ(stock_standin_state.standin_total, 2u);
    EXPECT_TRUE(stock_standin_built("Channel Strip"));
    EXPECT_FALSE(stock_standin_built("Trim"));
}

TEST_F(StandIns, OneBandNotchIsOneReaEqBand) {
    // Gain, 1 kHz, Q 1, slope, type 2 (notch), output gain 2 dB, no polarity.
    const std::string text = write_stock_standins(
        instance("Digi1be3XXXX", {0, 6, 1000, 1, 0, 2, 2, 0}), {}, false, StandInKeys{});
    EXPECT_EQ(count_of(text, "<VST "), 1u);
    EXPECT_EQ(count_of(text, "<JS "), 0u);
    EXPECT_NE(text.find(" 0 \"EQ3 1-Band (ReaEQ)\" 1919247729<"), std::string::npos) << text;
    EXPECT_NE(text.find("      PRESETNAME \"EQ3 1-Band\"\n"), std::string::npos);
    EXPECT_EQ(eq3_counters.fitted_band_count, 0u);
}

}  // namespace
