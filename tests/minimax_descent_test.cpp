// The minimax descent: best uniform approximations whose worst error is known, a nonlinear model,
// a start that is already the optimum, a projection and an early stop.
#include "effects/minimax_descent.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

namespace {

// 201 points evenly over [lo, hi], and the extra points given.
std::vector<double> grid(double lo, double hi, std::vector<double> extra = {}) {
    std::vector<double> t = std::move(extra);
    for (int k = 0; k <= 200; ++k) t.push_back(lo + (hi - lo) * k / 200.0);
    std::sort(t.begin(), t.end());
    return t;
}

// t^(d+1) against a polynomial of degree d with coefficients x.
ResidualFunction power_against_polynomial(const std::vector<double>& t, int degree) {
    return [t, degree](const std::vector<double>& x, std::vector<double>& r) {
        r.resize(t.size());
        for (std::size_t j = 0; j < t.size(); ++j) {
            double p = 0.0;
            for (int k = degree; k >= 0; --k) p = p * t[j] + x[static_cast<std::size_t>(k)];
            r[j] = std::pow(t[j], degree + 1) - p;
        }
    };
}

TEST(MinimaxDescent, FindsTheChebyshevApproximationOfAPower) {
    // On [-1, 1] the best polynomial of degree d for t^(d+1) leaves t^(d+1) - T_(d+1)(t) / 2^d:
    // worst error 2^-d, reached at the extrema cos(k pi / (d + 1)), which the grid holds.
    struct Case {
        int degree;
        std::vector<double> best;  // coefficients from the constant up
    };
    const Case cases[] = {
        {2, {0.0, 0.75, 0.0}},
        {4, {0.0, -0.3125, 0.0, 1.25, 0.0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.degree);
        std::vector<double> extrema;
        for (int k = 0; k <= c.degree + 1; ++k)
            extrema.push_back(std::cos(k * std::numbers::pi / (c.degree + 1)));
        const std::vector<double> t = grid(-1.0, 1.0, extrema);
        const std::vector<double> start(c.best.size(), 0.0), steps(c.best.size(), 1e-3);
        const MinimaxResult fit = minimax_descent(power_against_polynomial(t, c.degree), start,
                                                  steps, 100, nullptr, nullptr);
        EXPECT_NEAR(fit.value, std::ldexp(1.0, -c.degree), 1e-9);
        for (std::size_t k = 0; k < c.best.size(); ++k) EXPECT_NEAR(fit.best[k], c.best[k], 1e-7);
        EXPECT_LT(fit.iterations, 40);
    }
}

TEST(MinimaxDescent, StopsAtOnceOnAnOptimalStart) {
    const std::vector<double> t = grid(-1.0, 1.0, {-0.5, 0.5});
    const std::vector<double> best = {0.0, 0.75, 0.0};
    const MinimaxResult fit = minimax_descent(power_against_polynomial(t, 2), best,
                                              {1e-3, 1e-3, 1e-3}, 100, nullptr, nullptr);
    EXPECT_NEAR(fit.value, 0.25, 1e-12);
    EXPECT_EQ(fit.iterations, 1);
    EXPECT_EQ(fit.evaluations, 4);  // the start and one Jacobian
    for (std::size_t k = 0; k < 3; ++k) EXPECT_NEAR(fit.best[k], best[k], 1e-12);
}

TEST(MinimaxDescent, FitsANonlinearModelAndHonoursProjectionAndStop) {
    // t^2 on [0, 1] against a + e^b t: the best line is t - 1/8 (b = 0), worst error 1/8 at 0,
    // 1/2 and 1 with alternating signs.
    const std::vector<double> t = grid(0.0, 1.0);
    const auto residuals = [&](const std::vector<double>& x, std::vector<double>& r) {
        r.resize(t.size());
        for (std::size_t j = 0; j < t.size(); ++j)
            r[j] = t[j] * t[j] - x[0] - std::exp(x[1]) * t[j];
    };
    const std::vector<double> steps = {1e-4, 1e-4};
    const MinimaxResult fit = minimax_descent(residuals, {0.5, -1.0}, steps, 100, nullptr, nullptr);
    EXPECT_NEAR(fit.value, 0.125, 1e-9);
    EXPECT_NEAR(fit.best[0], -0.125, 1e-7);
    EXPECT_NEAR(fit.best[1], 0.0, 1e-7);

    // Given the working set's residuals alone for the Jacobian, it walks the same way.
    MinimaxOptions rows_only;
    int rows_asked = 0;
    rows_only.row_residuals = [&](const std::vector<double>& x,
                                  const std::vector<std::size_t>& rows, std::vector<double>& r) {
        ++rows_asked;
        std::vector<double> all;
        residuals(x, all);
        r.clear();
        for (std::size_t j : rows) r.push_back(all[j]);
    };
    const MinimaxResult by_rows =
        minimax_descent(residuals, {0.5, -1.0}, steps, 100, nullptr, nullptr, rows_only);
    EXPECT_GT(rows_asked, 0);
    EXPECT_EQ(by_rows.value, fit.value);
    EXPECT_EQ(by_rows.best, fit.best);

    // Held to b <= -0.5, it ends at the limit, better than it began but short of the optimum.
    const auto hold = [](std::vector<double>& x) { x[1] = std::min(x[1], -0.5); };
    std::vector<double> r;
    residuals({0.5, -1.0}, r);
    double begun = 0.0;
    for (double v : r) begun = std::max(begun, std::fabs(v));
    const MinimaxResult held = minimax_descent(residuals, {0.5, -1.0}, steps, 100, hold, nullptr);
    EXPECT_LE(held.best[1], -0.5);
    EXPECT_GT(held.best[1], -0.5 - 1e-9);
    EXPECT_GT(held.value, 0.125 + 1e-3);
    EXPECT_LT(held.value, begun);

    // Asked to stop after the first kept step, it does.
    int asked = 0;
    const MinimaxResult once =
        minimax_descent(residuals, {0.5, -1.0}, steps, 100, nullptr,
                        [&](const std::vector<double>&) { return ++asked >= 1; });
    EXPECT_EQ(asked, 1);
    EXPECT_GT(once.value, fit.value);
}

TEST(MinimaxDescent, EquioscillatesOnAnExponentialModel) {
    // 1 / (1 + t) on [0, 1] against a e^(b t): at the optimum the error reaches its worst at three
    // points with alternating signs.
    const std::vector<double> t = grid(0.0, 1.0);
    const auto residuals = [&](const std::vector<double>& x, std::vector<double>& r) {
        r.resize(t.size());
        for (std::size_t j = 0; j < t.size(); ++j)
            r[j] = 1.0 / (1.0 + t[j]) - x[0] * std::exp(x[1] * t[j]);
    };
    const MinimaxResult fit =
        minimax_descent(residuals, {1.0, 0.0}, {1e-5, 1e-5}, 100, nullptr, nullptr);
    std::vector<double> r;
    residuals(fit.best, r);
    int alternations = 0;
    double last_sign = 0.0;
    for (double v : r) {
        if (std::fabs(v) < fit.value * (1.0 - 1e-6)) continue;
        const double sign = v > 0.0 ? 1.0 : -1.0;
        if (sign != last_sign) ++alternations;
        last_sign = sign;
    }
    EXPECT_GE(alternations, 3);
    EXPECT_LT(fit.iterations, 40);
}

}  // namespace
