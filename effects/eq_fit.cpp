#include "effects/eq_fit.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <mutex>
#include <numbers>
#include <optional>

#include "effects/eq_reaeq_values.h"
#include "effects/held_values.h"
#include "effects/least_squares.h"
#include "effects/minimax_descent.h"
#include "effects/nelder_mead.h"
#include "util/portable_math.h"

std::map<std::string, EqFitJob> eq_fit_memo;
std::mutex eq_fit_memo_lock;
EqFitKernels eq_fit_kernels;

void reset_eq_fit_kernels() {
#if defined(__GNUC__) && defined(__x86_64__)
    eq_fit_kernels.wide = __builtin_cpu_supports("avx2");
#else
    eq_fit_kernels.wide = false;
#endif
}

namespace {
// The kernels are chosen before main runs, so that no fit sees them change.
const bool kernels_chosen = (reset_eq_fit_kernels(), true);
}  // namespace

namespace {

constexpr double kLowestHz = 10.0;
constexpr double kLowestQ = 0.02;
constexpr double kHighestQ = 30.0;
constexpr double kFreeGain_db = 12.0;
constexpr double kHeldGain_db = 3.0;
constexpr double kFreeQ = 2.0;
// A trial that ends this close to the tolerance gets one fresh simplex; one further off will not
// reach it that way.
constexpr double kRestartBelow_db = 0.25;
// The search goes on until it is this close: a margin under the tolerance, so that filters
// fitted each on its own still add up to a curve within it.
constexpr double kSearchTarget_db = 0.04;
// The initial steps of those fresh simplexes (the 32nd-power mean's, the worst case's).
struct RestartSteps {
    double smooth, worst;
};
constexpr RestartSteps kRestarts[] = {{0.1, 0.03}, {0.3, 0.1}, {0.03, 0.01}};

double top_of_band(double rate) {
    return std::min(0.46 * rate, 20000.0);
}
double highest_hz(double rate) {
    return 0.48 * rate;
}

// A non-finite number at its limit (NaN at the lower one); a finite one as it is.
double finite_or(double x, double lo, double hi) {
    if (std::isnan(x)) return lo;
    if (std::isinf(x)) return x > 0 ? hi : lo;
    return x;
}

void hold_finite(EqFitJob& job, double rate) {
    job.source.freq_hz = finite_or(job.source.freq_hz, kLowestHz, highest_hz(rate));
    job.source.gain_db = finite_gain_db(job.source.gain_db);
    job.source.q = finite_or(job.source.q, kLowestQ, kHighestQ);
    job.one_pole_hz = finite_or(job.one_pole_hz, 0.0, highest_hz(rate));
    for (EqBand& band : job.bands) {
        band.freq_hz = finite_or(band.freq_hz, kLowestHz, highest_hz(rate));
        band.gain_db = finite_gain_db(band.gain_db);
        band.q = finite_or(band.q, kLowestQ, kHighestQ);
    }
}

bool varies_gain(std::uint32_t type) {
    return type == kEqPeak || eq_band_is_shelf(type);
}

std::vector<double> band_params(const std::vector<EqBand>& bands) {
    std::vector<double> params;
    params.reserve(bands.size() * 3);
    for (const EqBand& band : bands) {
        params.push_back(portable::log(band.freq_hz));
        params.push_back(band.gain_db);
        params.push_back(portable::log(band.q));
    }
    return params;
}

// The start fractions of the sample rate for the extra band of rounds 1 to 3, trials 0 to 2.
constexpr double kExtraBandStart[3][3] = {
    {0.45, 0.40, 0.33},
    {0.42, 0.38, 0.30},
    {0.36, 0.30, 0.25},
};
constexpr double kExtraBandGain_db[3] = {0.0, 3.0, -3.0};

EqBand extra_band(int round, int trial, double rate) {
    EqBand band;
    band.type = round == 1 ? kEqHighShelf : kEqPeak;
    band.q = round == 1 ? 0.7 : 1.0;
    band.freq_hz = rate * kExtraBandStart[round - 1][trial];
    band.gain_db = kExtraBandGain_db[trial];
    band.free_band = 1;
    return band;
}

EqFitGrid make_grid_frequencies(double rate, int points_per_octave) {
    EqFitGrid grid;
    grid.top_hz = top_of_band(rate);
    for (int k = 0;; ++k) {
        const double f = 20.0 * portable::pow(2.0, static_cast<double>(k) / points_per_octave);
        if (f > grid.top_hz) break;
        grid.freq_hz.push_back(f);
    }
    grid.top_count = grid.freq_hz.size();
    const double span = highest_hz(rate) - grid.top_hz;
    for (int n = 1; n <= 8; ++n) {
        const double f = grid.top_hz + n * span / 8.0;
        if (f > grid.top_hz + 1.0) grid.freq_hz.push_back(f);
    }
    for (double f : grid.freq_hz) {
        const std::complex<double> z1 = unit_delay_at(f, rate);
        grid.z1.push_back(z1);
        grid.z2.push_back(z1 * z1);
        const double half_sine = portable::sin(std::numbers::pi * f / rate);
        grid.phi.push_back(half_sine * half_sine);
    }
    grid.target_db.assign(grid.freq_hz.size(), 0.0);
    grid.base.assign(grid.freq_hz.size(), 1.0);
    return grid;
}

}  // namespace

const EqFitGrid& eq_grid_frequencies(double rate, int points_per_octave) {
    // Every fit and every measure of one conversion shares the grid of its rate: it is made once,
    // and stays where it is (a map's entries do not move).
    static std::mutex lock;
    static std::map<std::pair<double, int>, EqFitGrid> made;
    const std::lock_guard<std::mutex> hold(lock);
    auto it = made.find({rate, points_per_octave});
    if (it == made.end())
        it = made.emplace(std::pair{rate, points_per_octave},
                          make_grid_frequencies(rate, points_per_octave))
                 .first;
    return it->second;
}

EqFitGrid eq_fit_grid(const EqFitJob& job, double rate, int points_per_octave) {
    EqFitGrid grid = eq_grid_frequencies(rate, points_per_octave);
    for (std::size_t k = 0; k < grid.freq_hz.size(); ++k) {
        grid.target_db[k] = level_db(eq_source_response(job.source, grid.freq_hz[k]));
        if (job.one_pole_hz > 0.0) {
            grid.base[k] =
                one_pole_response(job.one_pole_hz, rate, job.source.side != 0, grid.z1[k]);
        }
    }
    return grid;
}

namespace {

// |b0 + b1 z^-1 + b2 z^-2|^2 at z = e^(jw) as a polynomial in phi = sin^2(w / 2):
// (b0 + b1 + b2)^2 - 4 (b0 b1 + 4 b0 b2 + b1 b2) phi + 16 b0 b2 phi^2. It keeps its precision
// where the sum of the coefficients nearly cancels (a pass band far below its corner), and costs
// a few products a point.
struct PhiPolynomial {
    double c0 = 1.0, c1 = 0.0, c2 = 0.0;
    double at(double phi) const { return c0 + phi * (c1 + phi * c2); }
};
PhiPolynomial phi_polynomial(double b0, double b1, double b2) {
    const double sum = b0 + b1 + b2;
    return {sum * sum, -4.0 * (b0 * b1 + 4.0 * b0 * b2 + b1 * b2), 16.0 * b0 * b2};
}

struct BandMagnitudes {
    std::vector<PhiPolynomial> numerators;
    std::vector<PhiPolynomial> denominators;
};
void band_magnitudes(const std::vector<EqBand>& bands, double rate, BandMagnitudes& m) {
    m.numerators.clear();
    m.denominators.clear();
    for (const EqBand& band : bands) {
        if (!band.enabled) continue;
        const Biquad c = eq_band_biquad(band, rate);
        m.numerators.push_back(phi_polynomial(c.b0, c.b1, c.b2));
        m.denominators.push_back(phi_polynomial(c.a0, c.a1, c.a2));
    }
}

// ln r, by its series in u = (r - 1) / (r + 1) while r is near 1 (within 0.87 dB: the terms left
// out are below 2e-14 of it), else in full.
double ln_near_one(double r) {
    const double u = (r - 1.0) / (r + 1.0);
    if (!(std::fabs(u) <= 0.1)) return portable::log(r);
    const double u2 = u * u;
    return 2.0 * u *
           (1.0 + u2 * (1.0 / 3 + u2 * (1.0 / 5 + u2 * (1.0 / 7 + u2 * (1.0 / 9 + u2 / 11)))));
}

constexpr double kDbPerNeper = 4.342944819032518;  // 10 / ln 10, for powers
constexpr double kNepersPerDb = 0.23025850929940458;

// The points a mode scores, in three runs by their rule: [0, low) where the level in dB counts,
// [low, top) below -20 dB where the magnitudes count, [top, size) above the top of the band where
// only an overshoot counts. Each point holds what depends on the grid alone: phi, the base's
// power, and 1 / the target's power (the target's magnitude in the second run).
struct ScoredPoints {
    std::vector<std::size_t> index;  // into the grid
    std::vector<double> phi, base_power, reference;
    std::size_t low = 0, top = 0;
};

// The power means look at every fourth point (mode 8, which finds the region) or every second
// (mode 32, which walks it in) up to the top; the worst case looks at every point.
std::size_t point_step(int mode) {
    return mode == 8 ? 4 : mode > 0 ? 2 : 1;
}
// The search looks at half as many: every eighth point, every fourth, every second, but at every
// point where the worst case's do, from a fifth of the rate up, where the bands cramp and a
// narrow bell spans few points. Each of its simplexes ends on the dense grid's worst case, which
// every decision reads.
std::size_t search_step(int mode) {
    return 2 * point_step(mode);
}

ScoredPoints scored_points(const EqFitGrid& grid, std::size_t step, double dense_from_hz) {
    ScoredPoints p;
    std::vector<std::size_t> runs[3];
    const auto take = [&](std::size_t k) {
        const double target = grid.target_db[k];
        if (target < -50.0) return;
        runs[k >= grid.top_count ? 2 : target < -20.0 ? 1 : 0].push_back(k);
    };
    for (std::size_t k = 0; k < grid.top_count; k += grid.freq_hz[k] < dense_from_hz ? step : 1)
        take(k);
    for (std::size_t k = grid.top_count; k < grid.freq_hz.size(); ++k) take(k);
    for (int run = 0; run < 3; ++run) {
        if (run == 1) p.low = p.index.size();
        if (run == 2) p.top = p.index.size();
        for (std::size_t k : runs[run]) {
            const double target = grid.target_db[k];
            p.index.push_back(k);
            p.phi.push_back(grid.phi[k]);
            p.base_power.push_back(std::norm(grid.base[k]));
            p.reference.push_back(run == 1 ? portable::exp(target * (kNepersPerDb / 2.0))
                                           : portable::exp(-target * kNepersPerDb));
        }
    }
    return p;
}

// The loops over every scored point are written once and built twice: for any x86-64, and for
// processors with AVX2, which run four points a step instead of two. Both run the same
// operations on each point (no fused multiply-add, no reordered sums), so their results are the
// same to the bit; eq_fit_kernels says which one runs.
#if defined(__GNUC__) && defined(__x86_64__)
#define LANWICK_POINT_LOOPS [[gnu::always_inline]] inline
#define LANWICK_WIDE_LOOPS [[gnu::target("avx2")]]
#else
#define LANWICK_POINT_LOOPS inline
#endif

// The power the bands and the base play at each point. The bands are taken one at a time over
// all the points, a loop the compiler runs several points a step.
LANWICK_POINT_LOOPS void point_powers_loops(const BandMagnitudes& m, const ScoredPoints& p,
                                            std::vector<double>& power,
                                            std::vector<double>& denominator) {
    const std::size_t n = p.index.size();
    power.assign(p.base_power.begin(), p.base_power.end());
    denominator.assign(n, 1.0);
    // Two bands a pass, which halves the loads and stores of the running products.
    const std::size_t bands = m.numerators.size();
    std::size_t i = 0;
    for (; i + 2 <= bands; i += 2) {
        const PhiPolynomial top = m.numerators[i], top2 = m.numerators[i + 1];
        const PhiPolynomial bottom = m.denominators[i], bottom2 = m.denominators[i + 1];
        for (std::size_t j = 0; j < n; ++j) {
            const double phi = p.phi[j];
            power[j] *= top.at(phi) * top2.at(phi);
            denominator[j] *= bottom.at(phi) * bottom2.at(phi);
        }
    }
    if (i < bands) {
        const PhiPolynomial top = m.numerators[i];
        const PhiPolynomial bottom = m.denominators[i];
        for (std::size_t j = 0; j < n; ++j) {
            power[j] *= top.at(p.phi[j]);
            denominator[j] *= bottom.at(p.phi[j]);
        }
    }
    for (std::size_t j = 0; j < n; ++j) power[j] = std::max(power[j] / denominator[j], 1e-24);
}

// The signed deviation at scored point j: the level against the target in dB, the magnitudes'
// difference x 25 below -20 dB, the overshoot past 3 dB above the top.
double signed_deviation(const ScoredPoints& p, std::size_t j, double power) {
    if (j >= p.low && j < p.top) return 25.0 * (p.reference[j] - std::sqrt(power));
    const double d = kDbPerNeper * ln_near_one(power * p.reference[j]);
    return j >= p.top ? std::max(d - 3.0, 0.0) : d;
}

// The deviation at scored point j under the scoring rules: the signed one's size.
double point_deviation(const ScoredPoints& p, std::size_t j, double power) {
    return std::fabs(signed_deviation(p, j, power));
}

// The level against the target in dB at each point by the series of ln_near_one, and the series'
// u, in a loop without branches that the compiler runs several points a step (the callers take
// the logarithm in full where |u| > 0.1). The scores have always multiplied 10 / ln 10 into 2 u
// first, the residuals into the whole series: the two differ in their last bits, and each one's
// results rest on its own, so `factor_first` keeps them apart.
template <bool factor_first>
LANWICK_POINT_LOOPS void level_series(const ScoredPoints& p, const std::vector<double>& power,
                                      std::vector<double>& series_u, std::vector<double>& out) {
    const std::size_t n = p.index.size();
    out.resize(n);
    series_u.resize(n);
    for (std::size_t j = 0; j < n; ++j) {
        const double r = power[j] * p.reference[j];
        const double u = (r - 1.0) / (r + 1.0);
        const double u2 = u * u;
        series_u[j] = u;
        const double series =
            1.0 + u2 * (1.0 / 3 + u2 * (1.0 / 5 + u2 * (1.0 / 7 + u2 * (1.0 / 9 + u2 / 11))));
        out[j] = factor_first ? kDbPerNeper * 2.0 * u * series : kDbPerNeper * (2.0 * u * series);
    }
}

// The sum of d^p over the deviations, p = 8 or 32: four sums side by side, each point's power
// by squaring, so the products of neighbouring points run at once; the sums add in a fixed
// order.
template <int p>
LANWICK_POINT_LOOPS double sum_of_powers(const std::vector<double>& deviation) {
    const auto power = [](double d) {
        double x = d * d;
        x *= x;
        x *= x;
        if constexpr (p == 32) {
            x *= x;
            x *= x;
        }
        return x;
    };
    const std::size_t n = deviation.size();
    double sum[4] = {0.0, 0.0, 0.0, 0.0};
    std::size_t j = 0;
    for (; j + 4 <= n; j += 4) {
        for (std::size_t l = 0; l < 4; ++l) sum[l] += power(deviation[j + l]);
    }
    for (; j < n; ++j) sum[0] += power(deviation[j]);
    return (sum[0] + sum[1]) + (sum[2] + sum[3]);
}

// The error of the powers in `mode`. The worst case takes the largest and smallest ratio of
// level to target and the logarithm of those alone: the logarithm keeps their order.
LANWICK_POINT_LOOPS double scored_error_loops(const ScoredPoints& p,
                                              const std::vector<double>& power, int mode,
                                              std::vector<double>& deviation,
                                              std::vector<double>& series_u) {
    const std::size_t n = p.index.size();
    if (n == 0) return 0.0;
    if (mode <= 0) {
        double worst = 0.0;
        double most = 1.0, least = 1.0;
        for (std::size_t j = 0; j < p.low; ++j) {
            const double r = power[j] * p.reference[j];
            most = std::max(most, r);
            least = std::min(least, r);
        }
        worst = kDbPerNeper * portable::log(std::max(most, 1.0 / least));
        for (std::size_t j = p.low; j < p.top; ++j)
            worst = std::max(worst, 25.0 * std::fabs(p.reference[j] - std::sqrt(power[j])));
        double over = 1.0;
        for (std::size_t j = p.top; j < n; ++j) over = std::max(over, power[j] * p.reference[j]);
        return std::max(worst, kDbPerNeper * portable::log(over) - 3.0);
    }
    // Each run by its rule, in a loop of its own. The level against the target, in dB, is the
    // series of ln_near_one at every point first, in a loop without branches that the compiler
    // runs several points a step, then the logarithm in full where the series does not hold.
    level_series<true>(p, power, series_u, deviation);
    for (std::size_t j = 0; j < n; ++j) {
        if (!(std::fabs(series_u[j]) <= 0.1))
            deviation[j] = kDbPerNeper * portable::log(power[j] * p.reference[j]);
    }
    for (std::size_t j = 0; j < p.low; ++j) deviation[j] = std::fabs(deviation[j]);
    for (std::size_t j = p.low; j < p.top; ++j)
        deviation[j] = 25.0 * std::fabs(p.reference[j] - std::sqrt(power[j]));
    for (std::size_t j = p.top; j < n; ++j) deviation[j] = std::max(deviation[j] - 3.0, 0.0);
    double sum = 0.0;
    if (mode == 8) {
        sum = sum_of_powers<8>(deviation);
    } else if (mode == 32) {
        sum = sum_of_powers<32>(deviation);
    } else {
        for (double d : deviation) sum += portable::pow(d, mode);
    }
    return portable::pow(sum / static_cast<double>(n), 1.0 / mode);
}

// The signed deviation at each point (the level against the target in dB, the magnitudes'
// difference x 25 below -20 dB, the overshoot past 3 dB above the top) divided by `scale` and
// raised to `power` keeping its sign: the residuals whose sum of squares is the 2 x power-th power
// mean. The level's logarithm as in ln_near_one: its series everywhere first, in a loop without
// branches, then in full where the series does not hold.
LANWICK_POINT_LOOPS void residual_loops(const ScoredPoints& p, const std::vector<double>& power,
                                        int exponent, double scale, std::vector<double>& series_u,
                                        std::vector<double>& out) {
    const std::size_t n = p.index.size();
    level_series<false>(p, power, series_u, out);
    const auto in_full = [&](std::size_t j) {
        if (!(std::fabs(series_u[j]) <= 0.1))
            out[j] = kDbPerNeper * portable::log(power[j] * p.reference[j]);
    };
    for (std::size_t j = 0; j < p.low; ++j) in_full(j);
    for (std::size_t j = p.top; j < n; ++j) in_full(j);
    for (std::size_t j = p.low; j < p.top; ++j)
        out[j] = 25.0 * (p.reference[j] - std::sqrt(power[j]));
    for (std::size_t j = p.top; j < n; ++j) out[j] = std::max(out[j] - 3.0, 0.0);
    for (std::size_t j = 0; j < n; ++j) out[j] /= scale;
    for (int k = 1; k < exponent; k *= 2) {
        for (std::size_t j = 0; j < n; ++j) out[j] *= std::fabs(out[j]);
    }
}

#ifdef LANWICK_WIDE_LOOPS
LANWICK_WIDE_LOOPS void point_powers_wide(const BandMagnitudes& m, const ScoredPoints& p,
                                          std::vector<double>& power,
                                          std::vector<double>& denominator) {
    point_powers_loops(m, p, power, denominator);
}
LANWICK_WIDE_LOOPS double scored_error_wide(const ScoredPoints& p, const std::vector<double>& power,
                                            int mode, std::vector<double>& deviation,
                                            std::vector<double>& series_u) {
    return scored_error_loops(p, power, mode, deviation, series_u);
}
LANWICK_WIDE_LOOPS void residuals_wide(const ScoredPoints& p, const std::vector<double>& power,
                                       int exponent, double scale, std::vector<double>& series_u,
                                       std::vector<double>& out) {
    residual_loops(p, power, exponent, scale, series_u, out);
}
#endif

void point_powers(const BandMagnitudes& m, const ScoredPoints& p, std::vector<double>& power,
                  std::vector<double>& denominator) {
#ifdef LANWICK_WIDE_LOOPS
    if (eq_fit_kernels.wide) return point_powers_wide(m, p, power, denominator);
#endif
    point_powers_loops(m, p, power, denominator);
}
double scored_error(const ScoredPoints& p, const std::vector<double>& power, int mode,
                    std::vector<double>& deviation, std::vector<double>& series_u) {
#ifdef LANWICK_WIDE_LOOPS
    if (eq_fit_kernels.wide) return scored_error_wide(p, power, mode, deviation, series_u);
#endif
    return scored_error_loops(p, power, mode, deviation, series_u);
}
void signed_residuals(const ScoredPoints& p, const std::vector<double>& power, int exponent,
                      double scale, std::vector<double>& series_u, std::vector<double>& out) {
#ifdef LANWICK_WIDE_LOOPS
    if (eq_fit_kernels.wide) return residuals_wide(p, power, exponent, scale, series_u, out);
#endif
    residual_loops(p, power, exponent, scale, series_u, out);
}

// Scores band sets against one grid in one mode, with the grid's part worked out once.
class Scorer {
  public:
    Scorer(const EqFitGrid& grid, double rate, int mode, std::size_t step,
           double dense_from_hz = std::numeric_limits<double>::infinity())
        : points_(scored_points(grid, step, dense_from_hz)), rate_(rate), mode_(mode) {}
    double error(const std::vector<EqBand>& bands) {
        play(bands);
        return scored_error(points_, power_, mode_, deviation_, series_u_);
    }
    // The residuals of signed_residuals for `bands`.
    void residuals(const std::vector<EqBand>& bands, int power, double scale,
                   std::vector<double>& out) {
        play(bands);
        signed_residuals(points_, power_, power, scale, series_u_, out);
    }
    // The signed deviations (residuals' with power 1) at the points `rows` alone, the bands
    // multiplied in the order point_powers takes them.
    void row_residuals(const std::vector<EqBand>& bands, const std::vector<std::size_t>& rows,
                       std::vector<double>& out) {
        band_magnitudes(bands, rate_, magnitudes_);
        const std::vector<PhiPolynomial>& top = magnitudes_.numerators;
        const std::vector<PhiPolynomial>& bottom = magnitudes_.denominators;
        out.resize(rows.size());
        for (std::size_t w = 0; w < rows.size(); ++w) {
            const std::size_t j = rows[w];
            const double phi = points_.phi[j];
            double power = points_.base_power[j], denominator = 1.0;
            std::size_t i = 0;
            for (; i + 2 <= top.size(); i += 2) {
                power *= top[i].at(phi) * top[i + 1].at(phi);
                denominator *= bottom[i].at(phi) * bottom[i + 1].at(phi);
            }
            if (i < top.size()) {
                power *= top[i].at(phi);
                denominator *= bottom[i].at(phi);
            }
            out[w] = signed_deviation(points_, j, std::max(power / denominator, 1e-24));
        }
    }
    EqFitMiss worst_point(const std::vector<EqBand>& bands, const EqFitGrid& grid) {
        play(bands);
        EqFitMiss miss;
        for (std::size_t j = 0; j < points_.index.size(); ++j) {
            const double d = point_deviation(points_, j, power_[j]);
            const double f = grid.freq_hz[points_.index[j]];
            if (miss.freq_hz == 0.0 || d > miss.error_db ||
                (d == miss.error_db && f < miss.freq_hz))
                miss = {d, f};
        }
        return miss;
    }

  private:
    void play(const std::vector<EqBand>& bands) {
        band_magnitudes(bands, rate_, magnitudes_);
        point_powers(magnitudes_, points_, power_, denominator_);
    }
    ScoredPoints points_;
    double rate_;
    int mode_;
    BandMagnitudes magnitudes_;
    std::vector<double> power_, denominator_, deviation_, series_u_;
};

}  // namespace

double eq_bands_error(const std::vector<EqBand>& bands, const EqFitGrid& grid, double rate,
                      int mode) {
    return Scorer(grid, rate, mode, point_step(mode)).error(bands);
}

EqFitMiss eq_bands_worst_point(const std::vector<EqBand>& bands, const EqFitGrid& grid,
                               double rate) {
    return Scorer(grid, rate, 0, 1).worst_point(bands, grid);
}

double eq_fit_error(const EqFitJob& job, const EqFitGrid& grid, double rate, int mode) {
    return eq_bands_error(job.bands, grid, rate, mode);
}

void eq_fit_clamp_bands(EqFitJob& job, const std::vector<double>& params, double rate) {
    for (std::size_t i = 0; i < job.bands.size() && 3 * i + 2 < params.size(); ++i) {
        EqBand& band = job.bands[i];
        double f = hold_to(portable::exp(params[3 * i]), kLowestHz, highest_hz(rate));
        double gain = params[3 * i + 1];
        double q = hold_to(portable::exp(params[3 * i + 2]), kLowestQ,
                           std::numeric_limits<double>::infinity());

        const bool held = i < job.source_bands.size() && !job.source_bands[i].free_band;
        const bool shelf = eq_band_is_shelf(band.type);
        const bool pass = eq_band_is_pass(band.type);
        if (!shelf && !pass) {
            q = std::min(q, kHighestQ);
        } else if (!held) {
            q = std::min(q, kFreeQ);
        }
        if (held) {
            const EqBand& source = job.source_bands[i];
            const bool wide = pass && source.freq_hz > 0.2 * rate;
            f = hold_to(f, 0.8 * source.freq_hz, (wide ? 1.8 : 1.25) * source.freq_hz);
            f = hold_to(f, kLowestHz, highest_hz(rate));
            gain = hold_to(gain, source.gain_db - kHeldGain_db, source.gain_db + kHeldGain_db);
            q = hold_to(q, (wide ? 0.3 : 0.5) * source.q, (wide ? 3.0 : 2.0) * source.q);
        } else {
            gain = hold_to(gain, -kFreeGain_db, kFreeGain_db);
        }
        if (!varies_gain(band.type)) gain = band.gain_db;
        // ReaEQ plays no shelf steeper than slope 1.2: a Q past that would be written at the cap.
        if (shelf) q = std::min(q, eq_shelf_q_cap(gain));

        band.freq_hz = f;
        band.gain_db = gain;
        band.q = q;
    }
}

namespace {

// The points the simplex scores in `mode`: see search_step.
Scorer simplex_scorer(const EqFitGrid& grid, double rate, int mode) {
    return Scorer(grid, rate, mode, search_step(mode),
                  mode == 0 ? 0.2 * rate : std::numeric_limits<double>::infinity());
}

// fit_bands_simplex with its scorers given: `scorer` the search's (simplex_scorer), `dense` the
// worst case on every point, whose error is returned.
double simplex_with(EqFitJob& job, Scorer& scorer, Scorer& dense, double rate, int mode,
                    int iterations, double initial_step, bool early) {
    const std::vector<double> start = band_params(job.bands);
    std::vector<double> steps(start.size());
    for (std::size_t i = 0; i < steps.size(); ++i) {
        steps[i] = i % 3 == 1 ? initial_step : 0.1 * initial_step;
    }
    EqFitJob scratch = job;
    const auto objective = [&](const std::vector<double>& params) {
        eq_fit_clamp_bands(scratch, params, rate);
        return scorer.error(scratch.bands);
    };
    // The worst case on the search's points is at most the dense grid's: stopping at 0.9 x the
    // target leaves room for the points between them.
    const double stop_below =
        early && mode == 0 ? 0.9 * kSearchTarget_db : -std::numeric_limits<double>::infinity();
    const double spread = early ? (mode == 0 ? 1e-5 : 1e-6) : -1.0;
    const SimplexResult result =
        nelder_mead_minimize(objective, start, steps, iterations, stop_below, spread);
    eq_fit_clamp_bands(job, result.best, rate);
    return dense.error(job.bands);
}

}  // namespace

double fit_bands_simplex(EqFitJob& job, const EqFitGrid& grid, double rate, int mode,
                         int iterations, double initial_step, bool early) {
    Scorer scorer = simplex_scorer(grid, rate, mode);
    Scorer dense(grid, rate, 0, point_step(0));
    return simplex_with(job, scorer, dense, rate, mode, iterations, initial_step, early);
}

std::string eq_fit_memo_key(const EqFitJob& job, double rate) {
    char key[200];
    std::snprintf(key, sizeof key, "%d %.9g %.9g %.9g %d %d %.9g %.9g %u %d%d",
                  static_cast<int>(job.source.type), job.source.freq_hz, job.source.gain_db,
                  job.source.q, job.source.side, job.source.order, job.one_pole_hz, rate,
                  static_cast<unsigned>(job.bands.size()), 0, job.key_flag);
    return key;
}

namespace {

// The scorers of one search, whose points are worked out once: the least squares' (every fourth
// point, and every point from a fifth of the rate up, where the bands cramp and a narrow bell
// spans few points), the simplex's in each of its modes, and the worst case on the dense grid,
// which every decision reads.
struct SearchScorers {
    SearchScorers(const EqFitGrid& grid, double rate)
        : grid(grid), fit(grid, rate, 2, 4, 0.2 * rate), dense(grid, rate, 0, 1) {}
    const EqFitGrid& grid;
    Scorer fit;
    Scorer dense;
    // The simplex's, made when a walk first needs them: only a fit that still misses walks.
    std::optional<Scorer> mean8, mean32, worst;
    // The simplex in `mode` from the job's bands; returns the dense worst case.
    double simplex(EqFitJob& job, double rate, int mode, int iterations, double initial_step) {
        std::optional<Scorer>& scorer = mode == 8 ? mean8 : mode == 32 ? mean32 : worst;
        if (!scorer) scorer.emplace(simplex_scorer(grid, rate, mode));
        return simplex_with(job, *scorer, dense, rate, mode, iterations, initial_step, true);
    }
};

// The difference steps of the least squares and the descent: 1e-3 dB of gain, 1e-4 of ln f and
// of ln Q.
std::vector<double> band_steps(std::size_t bands) {
    std::vector<double> steps(3 * bands);
    for (std::size_t i = 0; i < steps.size(); ++i) steps[i] = i % 3 == 1 ? 1e-3 : 1e-4;
    return steps;
}

// Maps parameters onto the bands' limits, and back onto the parameters the bands hold.
void project_params(EqFitJob& scratch, std::vector<double>& params, double rate) {
    eq_fit_clamp_bands(scratch, params, rate);
    params = band_params(scratch.bands);
}

// The bands of `params` (set in `scratch`) go to the job when their dense worst case beats the
// job's, `error`; returns the worst case the job is left with.
double keep_if_better(EqFitJob& job, EqFitJob& scratch, const std::vector<double>& params,
                      SearchScorers& scorers, double rate, double error) {
    eq_fit_clamp_bands(scratch, params, rate);
    const double e = scorers.dense.error(scratch.bands);
    if (!(e < error)) return error;
    job.bands = scratch.bands;
    return e;
}

// Least squares of the deviations from the job's bands, which gets near the region fast; it
// stops as soon as the dense worst case is within the search's target. The job keeps the better
// bands by that worst case, which is returned.
double fit_bands_least_squares(EqFitJob& job, SearchScorers& scorers, double rate) {
    double best_error = scorers.dense.error(job.bands);
    if (best_error <= kSearchTarget_db || job.bands.empty()) return best_error;
    EqFitJob scratch = job;
    const auto project = [&](std::vector<double>& params) {
        project_params(scratch, params, rate);
    };
    const auto within = [&](const std::vector<double>& params) {
        eq_fit_clamp_bands(scratch, params, rate);
        return scorers.dense.error(scratch.bands) <= kSearchTarget_db;
    };
    // Deviations in units of the worst so far.
    const double scale = best_error;
    const auto residuals = [&](const std::vector<double>& params, std::vector<double>& r) {
        eq_fit_clamp_bands(scratch, params, rate);
        scorers.fit.residuals(scratch.bands, 1, scale, r);
    };
    const LeastSquaresResult result = levenberg_marquardt(
        residuals, band_params(job.bands), band_steps(job.bands.size()), 20, project, within);
    return keep_if_better(job, scratch, result.best, scorers, rate, best_error);
}

// The simplex on the worst case from the job's bands, whose dense worst case is `error`: a
// polish for a fit that ends close to the target, with fresh simplexes of other sizes while they
// gain. Returns the error left.
double polish_bands(EqFitJob& job, SearchScorers& scorers, double rate, double error) {
    const int n = static_cast<int>(job.bands.size());
    for (const RestartSteps& steps : kRestarts) {
        if (!(error > kSearchTarget_db && error < kRestartBelow_db)) break;
        EqFitJob again = job;
        scorers.simplex(again, rate, 32, 100 * n + 300, steps.smooth);
        const double e = scorers.simplex(again, rate, 0, 50 * n + 200, steps.worst);
        if (!(e < error - 1e-6)) break;
        job = std::move(again);
        error = e;
    }
    return error;
}

// The simplex's whole walk from the job's bands, whose dense worst case is `error`: the
// eighth-power mean finds the region, the 32nd-power mean (close to the worst case, but smooth)
// walks it in, the worst case itself finishes, then the polish. The job keeps the better of its
// bands and the walk's; returns the error left.
double walk_bands(EqFitJob& job, SearchScorers& scorers, double rate, double error) {
    EqFitJob again = job;
    const int n = static_cast<int>(again.bands.size());
    scorers.simplex(again, rate, 8, 150 * n + 400, 1.0);
    scorers.simplex(again, rate, 32, 100 * n + 300, 0.3);
    double e = scorers.simplex(again, rate, 0, 50 * n + 200, 0.1);
    e = polish_bands(again, scorers, rate, e);
    if (!(e < error)) return polish_bands(job, scorers, rate, error);
    job = std::move(again);
    return e;
}

// The minimax descent on the dense grid's signed deviations from the job's bands, whose dense
// worst case is `error`, until that is within the search's target. The job keeps the better of
// its bands and the descent's; returns the error left.
double descend_bands(EqFitJob& job, SearchScorers& scorers, double rate, double error) {
    EqFitJob scratch = job;
    const auto project = [&](std::vector<double>& params) {
        project_params(scratch, params, rate);
    };
    const auto residuals = [&](const std::vector<double>& params, std::vector<double>& r) {
        eq_fit_clamp_bands(scratch, params, rate);
        scorers.dense.residuals(scratch.bands, 1, 1.0, r);
    };
    MinimaxOptions options;
    options.row_residuals = [&](const std::vector<double>& params,
                                const std::vector<std::size_t>& rows, std::vector<double>& r) {
        eq_fit_clamp_bands(scratch, params, rate);
        scorers.dense.row_residuals(scratch.bands, rows, r);
    };
    // The points within 0.7 of the worst: of 0.5, 0.6 and 0.7 the fastest, and on the held-out
    // settings the one that left none worse than the simplex did.
    options.working_fraction = 0.7;
    options.stop_at = 0.999 * kSearchTarget_db;
    const MinimaxResult result =
        minimax_descent(residuals, band_params(job.bands), band_steps(job.bands.size()), 80,
                        project, nullptr, options);
    return keep_if_better(job, scratch, result.best, scorers, rate, error);
}

// The search from the job's bands, whose error on the grid is job.worst_error_db: round 0 refits
// the bands as they are, rounds 1 to 3 each add one free band (four starts, the best kept), until
// the error is within tolerance. A round's result is kept only when it beats the best so far, the
// job as given included, so the fit never leaves a curve worse than the one it was given. Each
// start is walked in by least squares, then by the minimax descent when it ends short of the
// target; a fit that still misses the tolerance at the end gets the simplex's whole walk from
// its best bands.
void search_bands(EqFitJob& job, const EqFitGrid& grid, double rate) {
    SearchScorers scorers(grid, rate);
    EqFitJob best = job;
    double best_error = job.worst_error_db;
    for (int round = 0; round <= 3; ++round) {
        EqFitJob round_job;
        double round_error = std::numeric_limits<double>::infinity();
        // Rounds 1 to 3 try a fourth start besides the table's: a bell where the best curve so
        // far misses most, which the others, starting near the top, may never reach.
        const EqFitMiss worst =
            round > 0 ? scorers.dense.worst_point(best.bands, grid) : EqFitMiss{};
        for (int trial = 0; trial < (round == 0 ? 1 : 4); ++trial) {
            EqFitJob candidate = best;
            if (round > 0) {
                if (trial < 3) {
                    candidate.bands.push_back(extra_band(round, trial, rate));
                } else {
                    if (!(worst.freq_hz > 0.0)) continue;
                    EqBand bell;
                    bell.type = kEqPeak;
                    bell.q = 2.0;
                    bell.freq_hz = worst.freq_hz;
                    bell.gain_db = 0.0;
                    bell.free_band = 1;
                    candidate.bands.push_back(bell);
                }
                ++candidate.extra_band_count;
            }
            if (candidate.bands.empty()) continue;
            double error = fit_bands_least_squares(candidate, scorers, rate);
            if (error > kSearchTarget_db) error = descend_bands(candidate, scorers, rate, error);
            if (error < round_error) {
                round_job = std::move(candidate);
                round_error = error;
            }
            if (round_error <= kSearchTarget_db) break;  // the trials after it cannot do better
        }
        if (round_error < best_error - 1e-9) {
            best = std::move(round_job);
            best_error = round_error;
        }
        if (best_error <= kSearchTarget_db) break;
    }
    // A fit that still misses gets the simplex's whole walk from its best bands: the simplex
    // keeps moving where the descent's linear models stall.
    if (best_error > kEqFitTolerance_db && !best.bands.empty())
        best_error = walk_bands(best, scorers, rate, best_error);
    job.bands = best.bands;
    job.worst_error_db = best_error;
    job.extra_band_count = best.extra_band_count;
}

}  // namespace

void fit_eq3_band(EqFitJob& job, double rate) {
    if (!(rate > 0.0) || !std::isfinite(rate)) rate = 48000.0;
    hold_finite(job, rate);
    const std::string key = eq_fit_memo_key(job, rate);
    {
        const std::lock_guard<std::mutex> hold(eq_fit_memo_lock);
        if (const auto known = eq_fit_memo.find(key); known != eq_fit_memo.end()) {
            job = known->second;
            return;
        }
    }

    const EqFitGrid grid = eq_fit_grid(job, rate);
    job.source_bands = job.bands;
    job.extra_band_count = 0;
    job.fitted = 0;
    job.worst_error_db = eq_fit_error(job, grid, rate, 0);
    if (job.worst_error_db > kEqFitTolerance_db) {
        job.fitted = 1;
        search_bands(job, grid, rate);
    }
    // Another thread may have fitted the same filter meanwhile, to the same result.
    const std::lock_guard<std::mutex> hold(eq_fit_memo_lock);
    eq_fit_memo.emplace(key, job);
}

EqFitJob fit_correction_bands(const EqFitGrid& grid, double rate) {
    EqFitJob job;
    job.worst_error_db = eq_bands_error({}, grid, rate, 0);
    if (job.worst_error_db > kEqFitTolerance_db) {
        job.fitted = 1;
        search_bands(job, grid, rate);
    }
    return job;
}
