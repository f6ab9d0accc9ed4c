// ReaEQ bands fitted to Pro Tools' EQ3 curves: the grid, the curves, the error, the limits of a
// fit, the simplex, the memo, and the values ReaEQ stores for a band's Q.
#include "effects/eq_fit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "effects/eq_curves.h"
#include "effects/eq_reaeq_values.h"
#include "effects/least_squares.h"
#include "effects/nelder_mead.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

EqFitJob peak_job(double f, double gain, double q) {
    EqFitJob job;
    job.source = {kEqSourcePeak, f, gain, q, 0, 0};
    job.bands = {EqBand{kEqPeak, 1, f, gain, q, 0, 0}};
    return job;
}

EqFitJob shelf_job(bool high, double f, double gain, double q) {
    EqFitJob job;
    job.source = {kEqSourceShelf, f, gain, q, static_cast<std::uint8_t>(high), 0};
    job.bands = {EqBand{high ? kEqHighShelf : kEqLowShelf, 1, f, gain, q, 0, 0}};
    return job;
}

EqFitJob pass_job(bool high, double f, std::vector<double> qs, std::int32_t order) {
    EqFitJob job;
    job.source = {kEqSourcePass, f, 0.0, 1.0, static_cast<std::uint8_t>(high), order};
    for (double q : qs) job.bands.push_back({high ? kEqHighPass : kEqLowPass, 1, f, 0.0, q, 0, 0});
    return job;
}

double direct_error(const EqFitJob& job, double rate) {
    return eq_fit_error(job, eq_fit_grid(job, rate), rate, 0);
}

// The bands as ReaEQ reads them back from the values the stand-in stores: gains as linear
// factors, shelves as slope values, every other band as a bandwidth.
std::vector<EqBand> as_written(std::vector<EqBand> bands, double rate) {
    for (EqBand& band : bands) {
        band.gain_db = 20.0 * std::log10(std::pow(10.0, band.gain_db / 20.0));
        if (eq_band_is_shelf(band.type)) {
            band.q =
                reaeq_slope_to_shelf_q(band.gain_db, eq_shelf_q_to_slope(band.gain_db, band.q));
        } else {
            const double bw = eq_q_to_reaeq_bandwidth_oct(band.freq_hz, band.q, rate);
            band.q = reaeq_bandwidth_oct_to_q(band.freq_hz, bw, rate);
        }
    }
    return bands;
}

TEST(EqFitGrid, TwentyFourPointsPerOctaveThenEightAboveTheTop) {
    const struct {
        double rate;
        double top;
        double last;
    } cases[] = {{44100, 20000, 21168},
                 {48000, 20000, 23040},
                 {96000, 20000, 46080},
                 {192000, 20000, 92160},
                 {22050, 10143, 10584}};
    for (const auto& c : cases) {
        const EqFitGrid grid = eq_grid_frequencies(c.rate, 24);
        SCOPED_TRACE(c.rate);
        EXPECT_DOUBLE_EQ(grid.top_hz, c.top);
        EXPECT_EQ(grid.freq_hz.size(), grid.top_count + 8);
        EXPECT_DOUBLE_EQ(grid.freq_hz.front(), 20.0);
        EXPECT_LE(grid.freq_hz[grid.top_count - 1], c.top);
        EXPECT_GT(20.0 * std::pow(2.0, grid.top_count / 24.0), c.top);
        EXPECT_NEAR(grid.freq_hz.back(), c.last, 1e-9);
    }
    EXPECT_EQ(eq_grid_frequencies(48000, 24).top_count, 240u);
    EXPECT_EQ(eq_grid_frequencies(44100, 24).top_count, 240u);
    // Points above the top are kept only when more than 1 Hz above it.
    const EqFitGrid tiny = eq_grid_frequencies(200, 24);
    EXPECT_EQ(tiny.freq_hz.size() - tiny.top_count, 6u);
    EXPECT_GT(tiny.freq_hz[tiny.top_count], tiny.top_hz + 1.0);
}

TEST(EqFitError, DirectConversionsAt48k) {
    const struct {
        const char* what;
        EqFitJob job;
        double error;
    } cases[] = {
        {"peak 1 kHz +6 dB Q 1", peak_job(1000, 6, 1), 0.019},
        {"peak 5 kHz +6 dB Q 1", peak_job(5000, 6, 1), 0.453},
        {"peak 10 kHz +6 dB Q 1", peak_job(10000, 6, 1), 1.677},
        // 5.508 on 24 points per octave: the worst of the miss lies between those points.
        {"peak 16 kHz +12 dB Q 2", peak_job(16000, 12, 2), 5.523},
        {"high shelf 10 kHz +6 dB Q 0.7", shelf_job(true, 10000, 6, 0.7), 0.623},
        {"low shelf 100 Hz +6 dB Q 0.7", shelf_job(false, 100, 6, 0.7), 0.0001},
        {"high-pass 12 dB/oct 100 Hz", pass_job(true, 100, {0.70710678}, 2), 0.0002},
    };
    for (const auto& c : cases) {
        EXPECT_NEAR(direct_error(c.job, 48000), c.error, 1e-3) << c.what;
    }
}

TEST(EqFitError, ScoringRules) {
    // A flat response (no band) against targets set point by point; every other point's target
    // is below -50 dB, so it is skipped.
    const struct {
        bool above_top;
        double target;
        double error;
    } cases[] = {
        {false, -10.0, 10.0},
        {false, 4.0, 4.0},
        {false, -20.0, 20.0},
        {false, -30.0, 25.0 * (1.0 - std::pow(10.0, -1.5))},  // magnitudes below -20 dB
        {false, -49.0, 25.0 * (1.0 - std::pow(10.0, -49.0 / 20))},
        {false, -51.0, 0.0},
        {true, -2.0, 0.0},  // above the top only an overshoot past 3 dB counts
        {true, -5.0, 2.0},
        {true, 6.0, 0.0},
    };
    for (const auto& c : cases) {
        EqFitGrid grid = eq_grid_frequencies(48000, 24);
        for (double& t : grid.target_db) t = -60.0;
        grid.target_db[c.above_top ? grid.top_count + 3 : 100] = c.target;
        EXPECT_NEAR(eq_bands_error({}, grid, 48000, 0), c.error, 1e-12) << c.target;
        // Mode 8 visits every fourth point below the top: point 100 and those above.
        EXPECT_NEAR(eq_bands_error({}, grid, 48000, 8), c.error, 1e-12) << c.target;
        grid.target_db[c.above_top ? grid.top_count + 3 : 100] = -60.0;
        grid.target_db[101] = c.target;
        EXPECT_EQ(eq_bands_error({}, grid, 48000, 8), 0.0);
    }

    // Mode 8 is the eighth-power mean over the points it visits.
    EqFitGrid grid = eq_grid_frequencies(48000, 24);
    for (double& t : grid.target_db) t = -60.0;
    grid.target_db[0] = -1.0;
    grid.target_db[4] = -2.0;
    EXPECT_NEAR(eq_bands_error({}, grid, 48000, 8), std::pow((1.0 + 256.0) / 2.0, 1.0 / 8.0),
                1e-12);
    EXPECT_NEAR(eq_bands_error({}, grid, 48000, 0), 2.0, 1e-12);

    // The base section plays with the bands; a disabled band plays nothing.
    for (auto& b : grid.base) b = 2.0;
    EXPECT_NEAR(eq_bands_error({{kEqPeak, 0, 1000, 12, 1, 0, 0}}, grid, 48000, 0),
                2.0 + 20 * std::log10(2.0), 1e-12);
}

TEST(EqCurves, SourcesAndBandsAgreeWhereTheyShould) {
    // Far below the top of the band the cookbook's biquads follow the analog prototypes.
    const double rate = 192000;
    const struct {
        EqSourceFilter source;
        EqBand band;
    } cases[] = {
        {{kEqSourcePeak, 300, -9, 2, 0, 0}, {kEqPeak, 1, 300, -9, 2, 0, 0}},
        {{kEqSourceShelf, 200, 6, 0.7, 0, 0}, {kEqLowShelf, 1, 200, 6, 0.7, 0, 0}},
        {{kEqSourceShelf, 500, -6, 0.7, 1, 0}, {kEqHighShelf, 1, 500, -6, 0.7, 0, 0}},
        {{kEqSourcePass, 400, 0, 1, 0, 2}, {kEqLowPass, 1, 400, 0, 0.70710678, 0, 0}},
        {{kEqSourcePass, 400, 0, 1, 1, 2}, {kEqHighPass, 1, 400, 0, 0.70710678, 0, 0}},
        {{kEqSourceNotch, 400, 0, 4, 0, 0}, {kEqNotch, 1, 400, 0, 4, 0, 0}},
    };
    for (const auto& c : cases) {
        for (double f : {50.0, 200.0, 390.0, 1000.0}) {
            const auto z1 = unit_delay_at(f, rate);
            const double analog = level_db(eq_source_response(c.source, f));
            const double digital =
                level_db(biquad_response(eq_band_biquad(c.band, rate), z1, z1 * z1));
            if (analog > -40) {
                EXPECT_NEAR(analog, digital, 0.02) << c.source.type << " at " << f;
            }
        }
    }
    // Butterworth orders: -3.01 dB at f0, slopes of 6n dB/oct far above it.
    for (int order = 1; order <= 4; ++order) {
        const EqSourceFilter lp{kEqSourcePass, 1000, 0, 1, 0, order};
        EXPECT_NEAR(level_db(eq_source_response(lp, 1000)), -3.0103, 1e-3) << order;
        const double slope =
            level_db(eq_source_response(lp, 64000)) - level_db(eq_source_response(lp, 128000));
        EXPECT_NEAR(slope, 6.0206 * order, 0.01) << order;
        const EqSourceFilter hp{kEqSourcePass, 1000, 0, 1, 1, order};
        EXPECT_NEAR(level_db(eq_source_response(hp, 1000 / 64.0)),
                    level_db(eq_source_response(lp, 64000)), 1e-9);
    }
    // Shelves reach their gain on their own side; the one-pole passes 0 Hz (or blocks it).
    EXPECT_NEAR(level_db(eq_source_response({kEqSourceShelf, 1000, 9, 0.7, 1, 0}, 1e6)), 9, 1e-3);
    EXPECT_NEAR(level_db(eq_source_response({kEqSourceShelf, 1000, 9, 0.7, 0, 0}, 1)), 9, 1e-3);
    EXPECT_NEAR(std::abs(one_pole_response(150, 48000, false, 1.0)), 1.0, 1e-12);
    EXPECT_NEAR(std::abs(one_pole_response(150, 48000, true, 1.0)), 0.0, 1e-12);
    // K = 3 x rate puts the -3 dB point of the section at 2/3 of f1, far below the rate.
    EXPECT_NEAR(level_db(one_pole_response(150, 48000, false, unit_delay_at(100, 48000))), -3.01,
                0.01);
    EXPECT_NEAR(level_db(one_pole_response(150, 48000, true, unit_delay_at(100, 48000))), -3.01,
                0.1);
}

TEST(EqReaEqValues, BandwidthBothWays) {
    EXPECT_NEAR(eq_q_to_bandwidth_oct(1000, 1 / std::sqrt(2.0), 48000), 1.905405, 1e-6);
    // ReaEQ reads 1.8999686... x sin w / w as Q 0.70710678 at every frequency.
    for (double f : {100.0, 5000.0, 15000.0, 23000.0}) {
        const double w = std::min(2 * M_PI * f / 48000, M_PI / 2);
        EXPECT_NEAR(reaeq_bandwidth_oct_to_q(f, 1.8999686297483922 * std::sin(w) / w, 48000),
                    0.70710678, 1e-12)
            << f;
    }
    for (double rate : {44100.0, 96000.0}) {
        for (double f : {20.0, 1000.0, 12000.0, 21000.0}) {
            for (double q : {0.1, 0.7, 1.0, 10.0, 30.0}) {
                const double bw = eq_q_to_reaeq_bandwidth_oct(f, q, rate);
                EXPECT_NEAR(reaeq_bandwidth_oct_to_q(f, bw, rate), q, 1e-9 * q);
            }
        }
    }
    // The cramped form widens the band by w/sin w as heard: at 5 kHz it plays a lower Q.
    const double bw = eq_q_to_bandwidth_oct(5000, 1, 48000);
    EXPECT_LT(reaeq_bandwidth_oct_to_q(5000, bw, 48000), 0.95);
}

TEST(EqReaEqValues, ShelfSlopeAndItsCap) {
    EXPECT_NEAR(eq_shelf_q_cap(0), 0.7745, 1e-4);
    EXPECT_NEAR(eq_shelf_q_cap(12), 0.7945, 1e-4);
    EXPECT_NEAR(eq_shelf_q_cap(-12), 0.7945, 1e-4);
    for (double gain : {-12.0, -3.0, 0.0, 6.0, 12.0}) {
        for (double q : {0.1, 0.3, 0.5, 0.7071, eq_shelf_q_cap(gain)}) {
            EXPECT_NEAR(reaeq_slope_to_shelf_q(gain, eq_shelf_q_to_slope(gain, q)), q, 1e-9)
                << gain << " " << q;
        }
        // Past the cap the value is slope 1.2's, whatever the Q.
        for (double q : {eq_shelf_q_cap(gain) * 1.01, 2.0, 50.0}) {
            EXPECT_EQ(eq_shelf_q_to_slope(gain, q), 0.9128709291752769);
        }
    }
}

TEST(EqReaEqValues, CorrectedQHoldsItsLimits) {
    const struct {
        double gain, q, expected;
    } cases[] = {
        {6, 1, 1},        {0, 3.3, 3.3}, {-18, 0.12, 0.12}, {30, 7.25, 7.25},
        {0.5, 0.05, 0.1}, {12, 25, 10},  {kNaN, 2, 2},      {6, kNaN, 0.1},
        {kInf, 4, 4},     {6, kInf, 10}, {6, -1, 0.1},
    };
    for (const auto& c : cases) {
        EXPECT_DOUBLE_EQ(eq_corrected_q(c.gain, c.q), c.expected) << c.gain << " " << c.q;
    }
}

TEST(NelderMead, MinimisesRosenbrockAndKeepsTheBestVertex) {
    const auto rosenbrock = [](const std::vector<double>& x) {
        return 100 * std::pow(x[1] - x[0] * x[0], 2) + std::pow(1 - x[0], 2);
    };
    const SimplexResult result = nelder_mead_minimize(rosenbrock, {-1.2, 1.0}, {0.1, 0.1}, 400);
    EXPECT_NEAR(result.best[0], 1.0, 1e-3);
    EXPECT_NEAR(result.best[1], 1.0, 2e-3);
    EXPECT_DOUBLE_EQ(result.value, rosenbrock(result.best));

    // No iteration: the best of the starting simplex.
    const SimplexResult none = nelder_mead_minimize(rosenbrock, {-1.2, 1.0}, {2.2, 0.0}, 0);
    EXPECT_NEAR(none.best[0], 1.0, 1e-12);
    EXPECT_EQ(none.best[1], 1.0);
    // A NaN vertex never wins; nothing to move leaves the start.
    const auto nan_left = [](const std::vector<double>& x) {
        return x[0] < 0 ? std::numeric_limits<double>::quiet_NaN() : x[0];
    };
    EXPECT_GE(nelder_mead_minimize(nan_left, {1.0}, {-2.0}, 50).best[0], 0.0);
    const auto constant = [](const std::vector<double>&) { return 2.0; };
    const SimplexResult empty = nelder_mead_minimize(constant, {}, {}, 10);
    EXPECT_TRUE(empty.best.empty());
    EXPECT_EQ(empty.value, 2.0);
}

TEST(NelderMead, StopsEarlyBelowAValueOrOnceShrunk) {
    int calls = 0;
    const auto bowl = [&](const std::vector<double>& x) {
        ++calls;
        return x[0] * x[0] + x[1] * x[1];
    };
    const SimplexResult below = nelder_mead_minimize(bowl, {3.0, 4.0}, {0.5, 0.5}, 1000, 1.0);
    EXPECT_LE(below.value, 1.0);
    EXPECT_GT(below.value, 1e-3);  // it stopped, not walked on to the minimum
    calls = 0;
    const SimplexResult shrunk = nelder_mead_minimize(
        bowl, {3.0, 4.0}, {0.5, 0.5}, 100000, -std::numeric_limits<double>::infinity(), 1e-12);
    EXPECT_NEAR(shrunk.best[0], 0.0, 1e-4);
    EXPECT_LT(calls, 2000);  // far fewer than the iterations allowed
}

TEST(LevenbergMarquardt, FitsAnExponentialAndHonoursProjectionAndStop) {
    // y = 2 exp(-0.5 t) sampled without noise: the residuals vanish at (2, -0.5).
    const auto residuals = [](const std::vector<double>& x, std::vector<double>& r) {
        r.clear();
        for (int t = 0; t < 10; ++t)
            r.push_back(x[0] * std::exp(x[1] * t) - 2 * std::exp(-0.5 * t));
    };
    const std::vector<double> steps = {1e-6, 1e-6};
    const LeastSquaresResult fit =
        levenberg_marquardt(residuals, {1.0, 0.0}, steps, 100, nullptr, nullptr);
    EXPECT_NEAR(fit.best[0], 2.0, 1e-5);
    EXPECT_NEAR(fit.best[1], -0.5, 1e-5);
    EXPECT_LT(fit.value, 1e-10);
    // Held to x0 <= 1.5, the best it can do keeps x0 at the limit.
    const auto hold = [](std::vector<double>& x) { x[0] = std::min(x[0], 1.5); };
    const LeastSquaresResult held =
        levenberg_marquardt(residuals, {1.0, 0.0}, steps, 100, hold, nullptr);
    EXPECT_LE(held.best[0], 1.5);
    EXPECT_GT(held.best[0], 1.4);
    // Asked to stop after the first kept step, it does.
    int asked = 0;
    const LeastSquaresResult once =
        levenberg_marquardt(residuals, {1.0, 0.0}, steps, 100, nullptr,
                            [&](const std::vector<double>&) { return ++asked >= 1; });
    EXPECT_EQ(asked, 1);
    EXPECT_GT(once.value, fit.value);
}

// Every band of a fitted job within its limits, held bands judged against the direct conversion.
void expect_within_limits(const EqFitJob& job, double rate) {
    for (std::size_t i = 0; i < job.bands.size(); ++i) {
        const EqBand& band = job.bands[i];
        SCOPED_TRACE(i);
        EXPECT_GE(band.freq_hz, 10.0);
        EXPECT_LE(band.freq_hz, 0.48 * rate);
        EXPECT_GE(band.q, 0.02);
        if (eq_band_is_shelf(band.type)) {
            EXPECT_LE(band.q, eq_shelf_q_cap(band.gain_db));
        }
        const bool held = i < job.source_bands.size() && !job.source_bands[i].free_band;
        if (!held) {
            EXPECT_LE(std::fabs(band.gain_db), 12.0);
            continue;
        }
        const EqBand& source = job.source_bands[i];
        EXPECT_EQ(band.type, source.type);
        const bool wide = eq_band_is_pass(band.type) && source.freq_hz > 0.2 * rate;
        EXPECT_GE(band.freq_hz, 0.8 * source.freq_hz * (1 - 1e-12));
        EXPECT_LE(band.freq_hz, (wide ? 1.8 : 1.25) * source.freq_hz * (1 + 1e-12));
        EXPECT_GE(band.q, (wide ? 0.3 : 0.5) * source.q * (1 - 1e-12));
        EXPECT_LE(band.q, (wide ? 3.0 : 2.0) * source.q * (1 + 1e-12));
        if (eq_band_is_pass(band.type)) {
            EXPECT_EQ(band.gain_db, source.gain_db);
        } else {
            EXPECT_LE(std::fabs(band.gain_db - source.gain_db), 3.0 + 1e-12);
        }
    }
}

TEST(EqFitClampBands, EveryParameterIsHeldToItsLimits) {
    const double rate = 48000;
    EqFitJob job;
    job.source_bands = {
        {kEqPeak, 1, 1000, 6, 1, 0, 0},           // held peak
        {kEqHighPass, 1, 100, 0, 1, 0, 0},        // held pass band low in the range
        {kEqLowPass, 1, 12000, 0, 0.5412, 0, 0},  // held pass band above 0.2 x rate
        {kEqHighShelf, 1, 8000, -9, 0.7, 0, 0},   // held shelf
        {kEqLowShelf, 1, 20000, -12, 0.5, 1, 0},  // free shelf of the direct conversion
        {kEqNotch, 1, 3000, 0, 4, 0, 0},          // held notch
    };
    job.bands = job.source_bands;
    job.bands.push_back({kEqPeak, 1, 20000, 0, 1, 1, 0});         // extra peak
    job.bands.push_back({kEqHighShelf, 1, 20000, 0, 0.7, 1, 0});  // extra shelf
    for (double value : {-80.0, -3.0, 0.0, 2.5, 80.0, kNaN, kInf, -kInf}) {
        SCOPED_TRACE(value);
        std::vector<double> params(job.bands.size() * 3, value);
        EqFitJob clamped = job;
        eq_fit_clamp_bands(clamped, params, rate);
        expect_within_limits(clamped, rate);
        for (const EqBand& band : clamped.bands) {
            EXPECT_TRUE(std::isfinite(band.freq_hz) && std::isfinite(band.gain_db) &&
                        std::isfinite(band.q));
            if (!eq_band_is_shelf(band.type) && band.type != kEqPeak) {
                EXPECT_EQ(band.gain_db, 0.0);
            }
        }
        EXPECT_LE(clamped.bands[4].q, 2.0);
        EXPECT_LE(clamped.bands[7].q, 2.0);
    }
    // Inside the limits a parameter vector is taken as it is.
    EqFitJob inside = job;
    std::vector<double> params;
    for (const EqBand& band : job.bands) {
        params.insert(params.end(),
                      {std::log(band.freq_hz * 1.1), band.gain_db + 1, std::log(band.q * 0.9)});
    }
    eq_fit_clamp_bands(inside, params, rate);
    EXPECT_NEAR(inside.bands[0].freq_hz, 1100, 1e-9);
    EXPECT_NEAR(inside.bands[0].gain_db, 7, 1e-12);
    EXPECT_NEAR(inside.bands[0].q, 0.9, 1e-12);
    EXPECT_NEAR(inside.bands[2].freq_hz, 13200, 1e-9);
    EXPECT_EQ(inside.bands[5].gain_db, 0.0);
}

TEST(FitEq3Band, WithinToleranceTheDirectConversionStands) {
    EqFitJob job = peak_job(1000, 6, 1);
    const EqFitJob given = job;
    fit_eq3_band(job, 48000);
    EXPECT_EQ(job.fitted, 0);
    EXPECT_EQ(job.extra_band_count, 0u);
    EXPECT_NEAR(job.worst_error_db, 0.019, 1e-3);
    ASSERT_EQ(job.bands.size(), 1u);
    EXPECT_EQ(job.bands[0].freq_hz, given.bands[0].freq_hz);
    EXPECT_EQ(job.bands[0].q, given.bands[0].q);
}

TEST(FitEq3Band, FittedJobsHoldTheirLimitsAndReportTheCurveAsWritten) {
    const struct {
        const char* what;
        double rate;
        EqFitJob job;
    } cases[] = {
        {"peak 5 kHz +6 dB Q 1", 48000, peak_job(5000, 6, 1)},
        {"peak 16 kHz +12 dB Q 2", 48000, peak_job(16000, 12, 2)},
        {"peak 12 kHz -18 dB Q 4", 44100, peak_job(12000, -18, 4)},
        {"high shelf 10 kHz +6 dB Q 0.7", 48000, shelf_job(true, 10000, 6, 0.7)},
        {"low-pass 24 dB/oct 12 kHz", 48000, pass_job(false, 12000, {0.5411961, 1.30656296}, 4)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EqFitJob job = c.job;
        const double direct = direct_error(job, c.rate);
        fit_eq3_band(job, c.rate);
        EXPECT_EQ(job.fitted, 1);
        EXPECT_LT(job.worst_error_db, direct);
        EXPECT_EQ(job.bands.size(), c.job.bands.size() + job.extra_band_count);
        EXPECT_LE(job.extra_band_count, 3u);
        EXPECT_EQ(job.source_bands.size(), c.job.bands.size());
        expect_within_limits(job, c.rate);
        const double written =
            eq_bands_error(as_written(job.bands, c.rate), eq_fit_grid(job, c.rate), c.rate, 0);
        EXPECT_NEAR(written, job.worst_error_db, 1e-6);
    }
    // Written as ReaEQ's exact inverse the fitted bell stays within 0.05 dB; in the cramped form
    // (x w/sin w) ReaEQ would play it narrower, as far off as the unfitted bell.
    EqFitJob bell = peak_job(5000, 6, 1);
    fit_eq3_band(bell, 48000);
    EXPECT_LE(bell.worst_error_db, 0.05);
    std::vector<EqBand> cramped = bell.bands;
    for (EqBand& band : cramped) {
        band.q = reaeq_bandwidth_oct_to_q(
            band.freq_hz, eq_q_to_bandwidth_oct(band.freq_hz, band.q, 48000), 48000);
    }
    EXPECT_GT(eq_bands_error(cramped, eq_fit_grid(bell, 48000), 48000, 0), 0.3);
}

TEST(FitEq3Band, AFirstOrderPartAloneGetsFreeBands) {
    // A 6 dB/oct low-pass at 1 kHz: the first-order section carries it all, no band is left.
    EqFitJob job;
    job.source = {kEqSourcePass, 1000, 0, 1, 0, 1};
    job.one_pole_hz = 1502;
    const double direct = direct_error(job, 48000);
    EXPECT_NEAR(direct, 0.646, 1e-3);
    fit_eq3_band(job, 48000);
    EXPECT_EQ(job.fitted, 1);
    EXPECT_GE(job.extra_band_count, 1u);
    EXPECT_EQ(job.bands.size(), job.extra_band_count);
    EXPECT_LT(job.worst_error_db, direct);
    expect_within_limits(job, 48000);
}

// The loops over the frequency points are built twice, for AVX2 and for any x86-64: a fit that
// runs every stage (least squares, the simplex's walks and polish, extra bands, a first-order
// section, free bands for a whole curve) gives the same bits with either.
TEST(FitEq3Band, BothBuildsOfThePointLoopsGiveTheSameBits) {
    const bool chosen = eq_fit_kernels.wide;
    reset_eq_fit_kernels();
    if (!eq_fit_kernels.wide) {
        eq_fit_kernels.wide = chosen;
        GTEST_SKIP() << "this processor has no AVX2: only one build of the loops runs here";
    }
    EqFitJob first_order;
    first_order.source = {kEqSourcePass, 1000, 0, 1, 0, 1};
    first_order.one_pole_hz = 1502;
    const struct {
        const char* what;
        double rate;
        EqFitJob job;
    } cases[] = {
        {"peak 16 kHz +12 dB Q 2", 48000, peak_job(16000, 12, 2)},
        {"high shelf 10 kHz +6 dB Q 0.7", 48000, shelf_job(true, 10000, 6, 0.7)},
        {"6 dB/oct low-pass as a first-order section", 48000, first_order},
    };
    const auto bits = [](const std::vector<EqBand>& bands) {
        std::vector<double> out;
        for (const EqBand& b : bands) out.insert(out.end(), {b.freq_hz, b.gain_db, b.q});
        return out;
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<double> by_build[2];
        double error[2] = {};
        for (const bool wide : {false, true}) {
            eq_fit_kernels.wide = wide;
            EqFitJob job = c.job;
            eq_fit_memo.erase(eq_fit_memo_key(job, c.rate));
            fit_eq3_band(job, c.rate);
            by_build[wide] = bits(job.bands);
            error[wide] = job.worst_error_db;
        }
        EXPECT_EQ(by_build[0].size() % 3, 0u);
        EXPECT_FALSE(by_build[0].empty());
        EXPECT_EQ(by_build[0], by_build[1]);
        EXPECT_EQ(error[0], error[1]);
    }
    // Free bands for a curve already played: a bell's miss of 0.3 dB at 15 kHz.
    EqFitGrid grid = eq_grid_frequencies(48000, kEqFitPointsPerOctave);
    for (std::size_t k = 0; k < grid.freq_hz.size(); ++k)
        grid.target_db[k] = 0.3 / (1.0 + std::pow((grid.freq_hz[k] - 15000.0) / 2000.0, 2));
    std::vector<double> corrected[2];
    for (const bool wide : {false, true}) {
        eq_fit_kernels.wide = wide;
        corrected[wide] = bits(fit_correction_bands(grid, 48000).bands);
    }
    EXPECT_FALSE(corrected[0].empty());
    EXPECT_EQ(corrected[0], corrected[1]);
    eq_fit_kernels.wide = chosen;
}

TEST(FitEq3Band, ARepeatedJobComesFromTheMemo) {
    EqFitJob first = shelf_job(true, 9000, -7, 0.6);
    fit_eq3_band(first, 48000);
    const std::size_t stored = eq_fit_memo.size();
    EqFitJob again = shelf_job(true, 9000, -7, 0.6);
    fit_eq3_band(again, 48000);
    EXPECT_EQ(eq_fit_memo.size(), stored);
    ASSERT_EQ(again.bands.size(), first.bands.size());
    for (std::size_t i = 0; i < again.bands.size(); ++i) {
        EXPECT_EQ(again.bands[i].freq_hz, first.bands[i].freq_hz);
        EXPECT_EQ(again.bands[i].q, first.bands[i].q);
    }
    EXPECT_EQ(again.worst_error_db, first.worst_error_db);

    // The memo answers without fitting: a planted result comes back as it is.
    EqFitJob planted = peak_job(7777, 5, 1.5);
    EqFitJob result = planted;
    result.worst_error_db = 123.0;
    result.extra_band_count = 2;
    eq_fit_memo[eq_fit_memo_key(planted, 96000)] = result;
    fit_eq3_band(planted, 96000);
    EXPECT_EQ(planted.worst_error_db, 123.0);
    EXPECT_EQ(planted.extra_band_count, 2u);
    // The rate, the band count and the extra flag are part of the key.
    EqFitJob other = peak_job(7777, 5, 1.5);
    EXPECT_NE(eq_fit_memo_key(other, 96000), eq_fit_memo_key(other, 48000));
    const std::string key = eq_fit_memo_key(other, 96000);
    other.key_flag = 1;
    EXPECT_NE(eq_fit_memo_key(other, 96000), key);
    EXPECT_EQ(key, "0 7777 5 1.5 0 0 0 96000 1 00");
}

TEST(FitEq3Band, NonFiniteNumbersAreHeldBeforeTheyReachTheKeyOrTheSearch) {
    const struct {
        const char* what;
        EqFitJob job;
        double rate;
    } cases[] = {
        {"gain NaN", peak_job(1000, kNaN, 1), 48000},
        {"gain infinite", shelf_job(false, 1000, kInf, 0.5), 48000},
        {"frequency NaN", peak_job(kNaN, kNaN, 1), 48000},
        {"frequency infinite", peak_job(kInf, -kInf, kNaN), 48000},
        {"Q infinite", peak_job(1000, kNaN, kInf), 48000},
        {"rate NaN", peak_job(1000, kNaN, 1), kNaN},
        {"rate infinite", peak_job(1000, kNaN, 1), kInf},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EqFitJob job = c.job;
        fit_eq3_band(job, c.rate);
        const std::string key =
            eq_fit_memo_key(job, c.rate > 0 && std::isfinite(c.rate) ? c.rate : 48000);
        EXPECT_EQ(key.find("nan"), std::string::npos) << key;
        EXPECT_EQ(key.find("inf"), std::string::npos) << key;
        EXPECT_TRUE(std::isfinite(job.worst_error_db));
        for (const EqBand& band : job.bands) {
            EXPECT_TRUE(std::isfinite(band.freq_hz) && std::isfinite(band.gain_db) &&
                        std::isfinite(band.q));
        }
    }
    EqFitJob held = peak_job(kNaN, kInf, kNaN);
    held.one_pole_hz = kNaN;
    fit_eq3_band(held, 48000);
    EXPECT_EQ(held.source.freq_hz, 10.0);
    EXPECT_EQ(held.source.gain_db, 0.0);
    EXPECT_EQ(held.source.q, 0.02);
    EXPECT_EQ(held.one_pole_hz, 0.0);
}

}  // namespace
