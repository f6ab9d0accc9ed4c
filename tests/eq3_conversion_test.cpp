// EQ3 7-Band and 1-Band as ReaEQ: the filters their control values make, the bands and
// first-order parts of each, the fit's counts, and held values.
#include "effects/eq3_conversion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <limits>
#include <string>
#include <vector>

#include "effects/eq_reaeq_values.h"

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

// A 7-Band with both filters as pass filters switched off and every band in at 0 dB.
std::vector<float> flat_7band() {
    std::vector<float> v(38, 0.0f);
    v[5] = 1, v[6] = 0, v[7] = 1, v[8] = 1, v[9] = 80;  // high-pass 12 dB/oct, off
    const float bands[5][4] = {
        {1, 0, 100, 1}, {1, 0, 400, 1}, {1, 0, 1000, 1}, {1, 0, 4000, 1}, {1, 0, 10000, 1}};
    const int first[5] = {10, 15, 19, 23, 27};
    for (int b = 0; b < 5; ++b) {
        for (int k = 0; k < 4; ++k) v[first[b] + k] = bands[b][k];
    }
    v[32] = 1, v[33] = 0, v[34] = 1, v[35] = 1, v[36] = 16000;  // low-pass 12 dB/oct, off
    return v;
}

std::vector<float> one_band(float type, float freq, float gain, float q, float slope = 0) {
    return {0, gain, freq, q, slope, type, 0, 0};
}

double read_q(const ReaEqStateBand& band, double rate) {
    if (eq_band_is_shelf(band.type)) return reaeq_slope_to_shelf_q(band.gain_db, band.value);
    return reaeq_bandwidth_oct_to_q(band.freq_hz, band.value, rate);
}

// The stand-in's deviation from its sources on 192 points per octave, read back as REAPER plays
// it: bands through ReaEQ's reading of their values, the one-pole JS at its slider's frequency.
double written_error(const Eq3StandIn& out, double rate) {
    EqFitGrid grid = eq_grid_frequencies(rate, 192);
    for (std::size_t k = 0; k < grid.freq_hz.size(); ++k) {
        std::complex<double> target = 1.0;
        for (const EqSourceFilter& s : out.sources)
            target *= eq_source_response(s, grid.freq_hz[k]);
        grid.target_db[k] = level_db(target);
        for (const Eq3OnePolePart& part : out.one_pole_parts) {
            grid.base[k] *= one_pole_response(one_pole_slider_hz(part.slider), rate,
                                              part.high_pass != 0, grid.z1[k]);
        }
    }
    std::vector<EqBand> bands;
    for (const ReaEqStateBand& b : out.bands) {
        bands.push_back({b.type, b.enabled, b.freq_hz, b.gain_db, read_q(b, rate), 0, 0});
    }
    return eq_bands_error(bands, grid, rate, 0);
}

TEST(Eq3Conversion, TheReportedErrorIsThatOfTheWrittenCurve) {
    const struct {
        const char* what;
        std::vector<float> values;
        double rate;
        std::uint32_t fitted;
    } cases[] = {
        {"HP 18 dB/oct 100 Hz", one_band(0, 100, 0, 1, 2), 48000, 1},
        // The one-pole JS at f1 follows the whole filter: nothing to fit.
        {"HP 6 dB/oct 20 Hz", one_band(0, 20, 0, 1, 0), 48000, 0},
        {"LP 6 dB/oct 1 kHz", one_band(5, 1000, 0, 1, 0), 48000, 1},
        {"high shelf 12 kHz -9 dB Q 2", one_band(4, 12000, -9, 2), 44100, 1},
        {"bell 14 kHz +6 dB Q 3", one_band(3, 14000, 6, 3), 48000, 1},
        {"notch 15 kHz Q 5", one_band(2, 15000, 0, 5), 44100, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        reset_eq3_counters();
        const Eq3StandIn out = convert_eq3_1band(c.values, c.rate);
        EXPECT_EQ(eq3_counters.fitted_band_count, c.fitted);
        const double written = written_error(out, c.rate);
        EXPECT_NEAR(written, eq3_counters.worst_fit_db, 1e-6);
        EXPECT_NEAR(out.miss.error_db, written, 1e-6);
        EXPECT_EQ(out.notes.count(kEq3BeyondReachNote), written > 0.5 ? 1u : 0u);
        EXPECT_EQ(eq3_counters.worst_fit_filter.empty(), written == 0.0);
    }
}

TEST(Eq3Conversion, AFlat7BandIsOneReaEqOfEveryFiltersBands) {
    reset_eq3_counters();
    const Eq3StandIn out = convert_eq3_7band(flat_7band(), 48000);
    EXPECT_EQ(out.polarity, 0);
    ASSERT_EQ(out.bands.size(), 7u);
    const std::uint32_t types[] = {kEqHighPass, kEqPeak, kEqPeak,   kEqPeak,
                                   kEqPeak,     kEqPeak, kEqLowPass};
    for (std::size_t i = 0; i < 7; ++i) {
        EXPECT_EQ(out.bands[i].type, types[i]) << i;
        EXPECT_EQ(out.bands[i].enabled, i == 0 || i == 6 ? 0 : 1) << i;
        EXPECT_NEAR(read_q(out.bands[i], 48000), out.bands[i].q, 1e-12) << i;
    }
    EXPECT_TRUE(out.one_pole_parts.empty());
    EXPECT_EQ(eq3_counters.fitted_band_count, 0u);
    EXPECT_EQ(eq3_counters.one_pole_count, 0u);
    EXPECT_EQ(out.output_gain_db, 0.0);
}

TEST(Eq3Conversion, PassFiltersAndTheirFirstOrderParts) {
    reset_eq3_counters();
    std::vector<float> v = flat_7band();
    v[6] = 1, v[8] = 2, v[9] = 100;  // high-pass 18 dB/oct at 100 Hz, in
    const Eq3StandIn out = convert_eq3_7band(v, 48000);
    ASSERT_GE(out.bands.size(), 7u);
    EXPECT_EQ(out.bands[0].type, kEqHighPass);
    EXPECT_NEAR(read_q(out.bands[0], 48000), 1.0, 0.5);  // held near Q 1.0 by the fit
    ASSERT_EQ(out.one_pole_parts.size(), 1u);
    const Eq3OnePolePart& part = out.one_pole_parts[0];
    EXPECT_EQ(eq3_one_pole_params(part), "0 1 28.982000 0");
    EXPECT_EQ(part.order, 3);
    EXPECT_EQ(part.seed_offset, 900u);
    EXPECT_EQ(part.preset, "EQ3 high-pass, first-order part");
    EXPECT_EQ(eq3_counters.one_pole_count, 1u);

    // The direct conversions, before any fit.
    const struct {
        const char* what;
        EqSourceFilter source;
        std::vector<std::uint32_t> types;
        std::vector<double> qs;
        double one_pole_hz;
    } cases[] = {
        {"HP 18 dB/oct 100 Hz", {kEqSourcePass, 100, 0, 1, 1, 3}, {kEqHighPass}, {1.0}, 150},
        {"LP 6 dB/oct 1 kHz", {kEqSourcePass, 1000, 0, 1, 0, 1}, {}, {}, 1502},
        {"LP 6 dB/oct 15 kHz", {kEqSourcePass, 15000, 0, 1, 0, 1}, {kEqHighShelf}, {0.5}, 0},
        {"HP 6 dB/oct 19 kHz", {kEqSourcePass, 19000, 0, 1, 1, 1}, {kEqLowShelf}, {0.5}, 0},
        {"HP 6 dB/oct 5 Hz", {kEqSourcePass, 5, 0, 1, 1, 1}, {}, {}, 20},
        {"LP 12 dB/oct", {kEqSourcePass, 5000, 0, 1, 0, 2}, {kEqLowPass}, {0.70710678}, 0},
        {"LP 24 dB/oct",
         {kEqSourcePass, 5000, 0, 1, 0, 4},
         {kEqLowPass, kEqLowPass},
         {0.5411961, 1.30656296},
         0},
        // One notch band, as the 1-Band's: two would double its depth in dB.
        {"notch", {kEqSourceNotch, 5000, 0, 3, 0, 0}, {kEqNotch}, {3}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EqFitJob job;
        job.source = c.source;
        eq3_band_to_reaeq(job, 48000, true);
        ASSERT_EQ(job.bands.size(), c.types.size());
        for (std::size_t i = 0; i < c.types.size(); ++i) {
            EXPECT_EQ(job.bands[i].type, c.types[i]);
            EXPECT_EQ(job.bands[i].q, c.qs[i]);
            const bool shelf = eq_band_is_shelf(c.types[i]);
            EXPECT_EQ(job.bands[i].gain_db, shelf ? -12.0 : 0.0);
            EXPECT_EQ(job.bands[i].free_band, shelf ? 1 : 0);
        }
        // The one-pole is fitted at f1: its slider is written for f1 + 0.5 Hz, which the JS
        // rounds down to a whole Hz.
        EXPECT_EQ(job.one_pole_hz, c.one_pole_hz);
    }
    Eq3OnePolePart low;
    low.slider = one_pole_slider(1502);
    EXPECT_EQ(eq3_one_pole_params(low), "0 0 62.401780 0");
}

TEST(Eq3Conversion, ShelvesPastReaEqsSlopeGetTwoPeaks) {
    const double cap = eq_shelf_q_cap(9);
    for (const bool high : {false, true}) {
        EqFitJob job;
        job.source = {kEqSourceShelf, 2000, 9, 1.8, static_cast<std::uint8_t>(high), 0};
        eq3_band_to_reaeq(job, 48000, true);
        ASSERT_EQ(job.bands.size(), 3u);
        EXPECT_EQ(job.bands[0].type, high ? kEqHighShelf : kEqLowShelf);
        EXPECT_EQ(job.bands[0].q, cap);
        const double r = std::pow(10.0, 9 / 80.0);
        EXPECT_NEAR(job.bands[1].freq_hz, high ? 2000 / r : 2000 * r, 1e-9);
        EXPECT_NEAR(job.bands[2].freq_hz, high ? 2000 * r : 2000 / r, 1e-9);
        EXPECT_NEAR(job.bands[1].gain_db, 20 * std::log10(cap / 1.8), 1e-12);
        EXPECT_NEAR(job.bands[2].gain_db, -job.bands[1].gain_db, 1e-12);
        EXPECT_NEAR(job.bands[1].q, std::sqrt(cap * 1.8), 1e-12);

        eq3_band_to_reaeq(job, 48000, false);
        ASSERT_EQ(job.bands.size(), 1u);
        EXPECT_EQ(job.bands[0].q, cap);
    }
    // A 0 dB shelf is converted without the fit, so without the peaks.
    reset_eq3_counters();
    std::vector<float> v = flat_7band();
    v[14] = 1, v[13] = 2;  // LF shelf, Q 2, 0 dB
    const Eq3StandIn out = convert_eq3_7band(v, 48000);
    EXPECT_EQ(out.bands.size(), 7u);
    EXPECT_EQ(out.bands[1].type, kEqLowShelf);
    EXPECT_EQ(out.bands[1].q, eq_shelf_q_cap(0));
}

TEST(Eq3Conversion, ControlValuesBecomeFilters) {
    std::vector<float> v = flat_7band();
    v[11] = 20, v[12] = 5, v[13] = 4, v[14] = 1;  // LF shelf +20 dB at 5 Hz, Q 4
    v[24] = -30, v[25] = 25000;                   // HMF -30 dB at 25 kHz
    v[32] = 0, v[34] = 2;                         // low-pass in notch mode, Q 2
    const std::vector<Eq3Filter> f = eq3_7band_filters(v);
    ASSERT_EQ(f.size(), 7u);
    EXPECT_EQ(f[1].job.source.type, kEqSourceShelf);
    EXPECT_EQ(f[1].job.source.side, 0);
    EXPECT_EQ(f[1].job.source.gain_db, 12.0);
    EXPECT_EQ(f[1].job.source.freq_hz, 20.0);
    EXPECT_EQ(f[1].job.source.q, 2.0);
    EXPECT_EQ(f[4].job.source.type, kEqSourcePeak);
    EXPECT_EQ(f[4].job.source.gain_db, -18.0);
    EXPECT_EQ(f[4].job.source.freq_hz, 18000.0);
    // Each control held is named with the value it had and the one it takes.
    EXPECT_EQ(f[1].held,
              (std::vector<std::string>{
                  "EQ3 7-Band LF gain 20 dB outside the EQ3's range, held at 12 dB",
                  "EQ3 7-Band LF frequency 5 Hz outside the EQ3's range, held at 20 Hz"}));
    EXPECT_EQ(f[4].held,
              (std::vector<std::string>{
                  "EQ3 7-Band HMF gain -30 dB outside the EQ3's range, held at -18 dB",
                  "EQ3 7-Band HMF frequency 25000 Hz outside the EQ3's range, held at 18000 Hz"}));
    for (const std::size_t in_range : {0, 2, 3, 5, 6}) EXPECT_TRUE(f[in_range].held.empty());
    EXPECT_EQ(f[6].job.source.type, kEqSourceNotch);
    EXPECT_NEAR(f[6].job.source.q, 2 * 1.5538, 1e-12);
    EXPECT_EQ(f[6].position, 6u);

    const struct {
        float slope;
        std::int32_t order;
    } orders[] = {{0, 1}, {0.4f, 1}, {0.5f, 2}, {1, 2}, {2, 3}, {3, 4}, {-3, 1}, {7, 4}};
    for (const auto& o : orders) {
        EXPECT_EQ(eq3_1band_filter(one_band(0, 100, 0, 1, o.slope)).job.source.order, o.order)
            << o.slope;
    }
    const struct {
        float type;
        std::uint32_t source;
        std::uint8_t side;
    } types[] = {{0, kEqSourcePass, 1},    {1, kEqSourceShelf, 0}, {2, kEqSourceNotch, 0},
                 {3, kEqSourcePeak, 0},    {4, kEqSourceShelf, 1}, {5, kEqSourcePass, 0},
                 {4.6f, kEqSourcePass, 0}, {-2, kEqSourcePass, 1}, {9, kEqSourcePass, 0}};
    for (const auto& t : types) {
        const Eq3Filter filter = eq3_1band_filter(one_band(t.type, 1000, 3, 1));
        EXPECT_EQ(filter.job.source.type, t.source) << t.type;
        EXPECT_EQ(filter.job.source.side, t.side) << t.type;
    }
}

TEST(Eq3Conversion, NotchesAreOneBandAndFittedOnlyWhereTheyMiss) {
    // A 1-Band notch where ReaEQ's notch follows it: one band, its gain ignored, not fitted.
    reset_eq3_counters();
    std::vector<float> v = one_band(2, 200, 12, 3);
    v[6] = -4.5f, v[7] = -1;
    const Eq3StandIn one = convert_eq3_1band(v, 48000);
    ASSERT_EQ(one.bands.size(), 1u);
    EXPECT_EQ(one.bands[0].type, kEqNotch);
    EXPECT_EQ(one.bands[0].gain_db, 0.0);
    EXPECT_NEAR(read_q(one.bands[0], 48000), 3 * 1.5538, 1e-9);
    EXPECT_EQ(one.output_gain_db, -4.5);
    EXPECT_EQ(one.polarity, 1);
    EXPECT_TRUE(one.one_pole_parts.empty());
    EXPECT_EQ(eq3_counters.fitted_band_count, 0u);
    EXPECT_LE(one.miss.error_db, 0.05);

    // The 7-Band's high-pass in notch mode is the same one band: two would double its depth.
    std::vector<float> seven = flat_7band();
    seven[5] = 0, seven[6] = 1, seven[7] = 3, seven[9] = 200;
    const Eq3StandIn notched = convert_eq3_7band(seven, 48000);
    ASSERT_EQ(notched.bands.size(), 7u);
    EXPECT_EQ(notched.bands[0].type, kEqNotch);
    EXPECT_EQ(notched.bands[0].value, one.bands[0].value);
    EXPECT_EQ(notched.miss.error_db, one.miss.error_db);

    // Near the top the notch alone misses: it is fitted, and plays closer than it alone would.
    reset_eq3_counters();
    const Eq3StandIn high = convert_eq3_1band(one_band(2, 16000, 0, 2), 48000);
    EXPECT_EQ(eq3_counters.fitted_band_count, 1u);
    ASSERT_GE(high.bands.size(), 2u);
    EXPECT_EQ(high.bands[0].type, kEqNotch);
    Eq3StandIn alone = high;
    alone.bands.resize(1);
    alone.bands[0].freq_hz = 16000;
    alone.bands[0].value = eq3_band_value({kEqNotch, 1, 16000, 0, 2 * 1.5538, 0, 0}, 48000);
    EXPECT_GT(written_error(alone, 48000), 0.5);
    EXPECT_LT(high.miss.error_db, written_error(alone, 48000));
    EXPECT_NEAR(high.miss.error_db, written_error(high, 48000), 1e-6);
}

TEST(Eq3Conversion, FitsAreCountedAndTheWorstNamed) {
    reset_eq3_counters();
    const Eq3StandIn out = convert_eq3_1band(one_band(3, 16000, 12, 2), 48000);
    EXPECT_EQ(eq3_counters.fitted_band_count, 1u);
    EXPECT_EQ(eq3_counters.extra_band_count, out.bands.size() - 1);
    EXPECT_GT(eq3_counters.worst_fit_db, 0.0);
    EXPECT_EQ(out.notes.count(kEq3BeyondReachNote), eq3_counters.worst_fit_db > 0.5 ? 1u : 0u);
    EXPECT_EQ(out.notes.count(kEq3BellQNote), 1u);
    EXPECT_EQ(out.notes.count(kEq3BandwidthNote), 1u);
    // A 6 dB/oct 1-Band low-pass: its part takes the seed after the 1-Band's ReaEQ.
    const Eq3StandIn lp = convert_eq3_1band(one_band(5, 1000, 0, 1, 0), 48000);
    ASSERT_EQ(lp.one_pole_parts.size(), 1u);
    EXPECT_EQ(lp.one_pole_parts[0].seed_offset, 901u);
    EXPECT_EQ(eq3_one_pole_params(lp.one_pole_parts[0]), "0 0 62.401780 0");
    EXPECT_EQ(eq3_counters.one_pole_count, 1u);
    eq3_counters.worst_fit_db = 0.734;
    eq3_counters.worst_fit_hz = 19986.2;
    eq3_counters.worst_fit_filter = "EQ3 1-Band peak at 20000 Hz";
    EXPECT_EQ(eq3_worst_fit_text(eq3_counters),
              "      worst of these: 0.73 dB from Pro Tools' curve at 19986 Hz\n"
              "      (EQ3 1-Band peak at 20000 Hz)\n");
    reset_eq3_counters();
    EXPECT_EQ(eq3_counters.fitted_band_count, 0u);
    EXPECT_EQ(eq3_counters.worst_fit_db, 0.0);
}

TEST(Eq3Conversion, NonFiniteControlValuesAreHeld) {
    for (const float bad : {kNaN, kInf, -kInf}) {
        SCOPED_TRACE(bad);
        std::vector<Eq3StandIn> outs = {convert_eq3_7band(std::vector<float>(38, bad), 48000),
                                        convert_eq3_7band(std::vector<float>(38, bad), kNaN)};
        for (float type = 0; type <= 5; ++type) {
            std::vector<float> v(8, bad);
            v[5] = type;
            outs.push_back(convert_eq3_1band(v, 44100));
        }
        outs.push_back(convert_eq3_1band(std::vector<float>(8, bad), 44100));
        for (const Eq3StandIn& out : outs) {
            EXPECT_TRUE(std::isfinite(out.output_gain_db));
            for (const ReaEqStateBand& band : out.bands) {
                EXPECT_TRUE(std::isfinite(band.freq_hz) && std::isfinite(band.gain_db) &&
                            std::isfinite(band.value) && band.value > 0)
                    << band.type;
            }
            for (const Eq3OnePolePart& part : out.one_pole_parts) {
                const std::string params = eq3_one_pole_params(part);
                EXPECT_EQ(params.find_first_of("ni"), std::string::npos) << params;
            }
        }
    }
    for (const auto& [key, job] : eq_fit_memo) {
        EXPECT_EQ(key.find_first_of("ni"), std::string::npos) << key;
    }
}

}  // namespace
