#include "effects/minimax_descent.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <utility>

namespace {

// The largest |r_j|; infinity when any is NaN, so that such a point is never kept. Four maxima
// side by side (a NaN passes std::max by), so that neighbouring points run at once.
double worst_of(const std::vector<double>& r) {
    double worst[4] = {0.0, 0.0, 0.0, 0.0};
    bool nan = false;
    const std::size_t m = r.size();
    std::size_t j = 0;
    for (; j + 4 <= m; j += 4) {
        for (std::size_t l = 0; l < 4; ++l) {
            const double a = std::fabs(r[j + l]);
            nan |= a != a;
            worst[l] = std::max(worst[l], a);
        }
    }
    for (; j < m; ++j) {
        const double a = std::fabs(r[j]);
        nan |= a != a;
        worst[0] = std::max(worst[0], a);
    }
    if (nan) return std::numeric_limits<double>::infinity();
    return std::max(std::max(worst[0], worst[1]), std::max(worst[2], worst[3]));
}

// The programme's dual, in standard form: minimise cost . y over y >= 0 subject to M y = (0, .., 0,
// 1), with n + 1 rows. Each point j gives two columns, (+g_j, 1) at cost -r_j and (-g_j, 1) at
// cost r_j (the point's upper and lower bound on t); each parameter i two more, +e_i at cost hi_i
// and -e_i at cost -lo_i (its box). The multipliers of an optimal basis are the primal solution:
// u = pi[0 .. n), t = -pi[n]. The rows are taken in units of the worst |r_j|, so the tolerances
// are relative.
class DualSimplex {
  public:
    DualSimplex(const std::vector<double>& r, const std::vector<double>& g,
                const std::vector<double>& lo, const std::vector<double>& hi, double scale)
        : lo_(lo), hi_(hi), n_(lo.size()), m_(r.size()) {
        r_.resize(m_);
        for (std::size_t j = 0; j < m_; ++j) r_[j] = r[j] * scale;
        g_.resize(g.size());
        for (std::size_t k = 0; k < g.size(); ++k) g_[k] = g[k] * scale;
    }

    bool solve(std::vector<double>& u, std::vector<std::size_t>& active) {
        start_basis();
        const std::size_t columns = 2 * m_ + 2 * n_;
        const int pivots = static_cast<int>(10 * columns + 100);
        bool bland = false;
        int degenerate = 0;
        for (int pivot = 0; pivot < pivots; ++pivot) {
            multipliers();
            const std::size_t entering = choose_entering(bland);
            if (entering == kNone) {
                u.assign(pi_.begin(), pi_.begin() + static_cast<std::ptrdiff_t>(n_));
                active.clear();
                for (std::size_t p = 0; p <= n_; ++p)
                    if (basic_[p] < 2 * m_ && x_[p] > 0.0) active.push_back(basic_[p] / 2);
                std::sort(active.begin(), active.end());
                return true;
            }
            column_in_basis(entering);
            const std::size_t leaving = choose_leaving();
            if (leaving == kNone) return false;  // the primal is always feasible: numerical trouble
            const double theta = x_[leaving] / w_[leaving];
            // A run of steps that go nowhere may cycle: from then on, Bland's rule.
            if (!(theta > 1e-14) && ++degenerate > 20) bland = true;
            exchange(leaving, entering, theta);
        }
        return false;
    }

  private:
    static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
    static constexpr double kPriceTolerance = 1e-10;
    static constexpr double kPivotTolerance = 1e-9;

    double cost(std::size_t k) const {
        if (k < 2 * m_) return k % 2 == 0 ? -r_[k / 2] : r_[k / 2];
        const std::size_t i = (k - 2 * m_) / 2;
        return k % 2 == 0 ? hi_[i] : -lo_[i];
    }
    double g(std::size_t j, std::size_t i) const { return g_[j * n_ + i]; }
    double& inverse(std::size_t p, std::size_t row) { return inverse_[p * (n_ + 1) + row]; }

    // The worst point on its own side, and each parameter's box on the side that balances it:
    // y = 1 for the point, |g_ji| for the boxes. Its basis matrix is triangular, inverted as
    // written.
    void start_basis() {
        const std::size_t size = n_ + 1;
        std::size_t worst = 0;
        for (std::size_t j = 1; j < m_; ++j)
            if (std::fabs(r_[j]) > std::fabs(r_[worst])) worst = j;
        const double sign = r_[worst] >= 0.0 ? 1.0 : -1.0;
        basic_.assign(size, 0);
        is_basic_.assign(2 * m_ + 2 * n_, 0);
        inverse_.assign(size * size, 0.0);
        x_.assign(size, 0.0);
        for (std::size_t i = 0; i < n_; ++i) {
            const double v = sign * g(worst, i);
            const double d = v > 0.0 ? -1.0 : 1.0;
            basic_[i] = 2 * m_ + 2 * i + (v > 0.0 ? 1 : 0);
            inverse(i, i) = d;
            inverse(i, n_) = -d * v;
            x_[i] = -d * v;
        }
        basic_[n_] = 2 * worst + (sign > 0.0 ? 0 : 1);
        inverse(n_, n_) = 1.0;
        x_[n_] = 1.0;
        for (std::size_t p = 0; p < size; ++p) is_basic_[basic_[p]] = 1;
    }

    // pi = c_B B^-1.
    void multipliers() {
        const std::size_t size = n_ + 1;
        pi_.assign(size, 0.0);
        for (std::size_t p = 0; p < size; ++p) {
            const double c = cost(basic_[p]);
            if (c == 0.0) continue;
            for (std::size_t row = 0; row < size; ++row) pi_[row] += c * inverse(p, row);
        }
    }

    // Dantzig's rule (the most negative reduced cost, the first on ties), or Bland's (the first
    // negative one); kNone at the optimum.
    std::size_t choose_entering(bool bland) const {
        std::size_t best = kNone;
        double most = -kPriceTolerance;
        const auto consider = [&](std::size_t k, double reduced) {
            if (is_basic_[k] || !(reduced < most)) return false;
            best = k;
            if (!bland) most = reduced;
            return bland;
        };
        for (std::size_t j = 0; j < m_; ++j) {
            const double* gj = &g_[j * n_];
            double q = 0.0;
            for (std::size_t i = 0; i < n_; ++i) q += pi_[i] * gj[i];
            const double rj = r_[j];
            if (consider(2 * j, -rj - q - pi_[n_])) return best;
            if (consider(2 * j + 1, rj + q - pi_[n_])) return best;
        }
        for (std::size_t i = 0; i < n_; ++i) {
            if (consider(2 * m_ + 2 * i, hi_[i] - pi_[i])) return best;
            if (consider(2 * m_ + 2 * i + 1, pi_[i] - lo_[i])) return best;
        }
        return best;
    }

    // w = B^-1 M_k.
    void column_in_basis(std::size_t k) {
        const std::size_t size = n_ + 1;
        w_.assign(size, 0.0);
        if (k < 2 * m_) {
            const std::size_t j = k / 2;
            const double sign = k % 2 == 0 ? 1.0 : -1.0;
            for (std::size_t p = 0; p < size; ++p) {
                double s = inverse(p, n_);
                for (std::size_t i = 0; i < n_; ++i) s += inverse(p, i) * (sign * g(j, i));
                w_[p] = s;
            }
        } else {
            const std::size_t i = (k - 2 * m_) / 2;
            const double sign = k % 2 == 0 ? 1.0 : -1.0;
            for (std::size_t p = 0; p < size; ++p) w_[p] = sign * inverse(p, i);
        }
    }

    // The ratio test, ties to the basic column of the lowest index.
    std::size_t choose_leaving() const {
        std::size_t best = kNone;
        double least = 0.0;
        for (std::size_t p = 0; p <= n_; ++p) {
            if (!(w_[p] > kPivotTolerance)) continue;
            const double theta = x_[p] / w_[p];
            if (best == kNone || theta < least || (theta == least && basic_[p] < basic_[best])) {
                best = p;
                least = theta;
            }
        }
        return best;
    }

    void exchange(std::size_t leaving, std::size_t entering, double theta) {
        const std::size_t size = n_ + 1;
        const double scale = 1.0 / w_[leaving];
        for (std::size_t row = 0; row < size; ++row) inverse(leaving, row) *= scale;
        for (std::size_t p = 0; p < size; ++p) {
            if (p == leaving || w_[p] == 0.0) continue;
            const double f = w_[p];
            for (std::size_t row = 0; row < size; ++row)
                inverse(p, row) -= f * inverse(leaving, row);
            x_[p] = std::max(x_[p] - f * theta, 0.0);
        }
        x_[leaving] = theta;
        is_basic_[basic_[leaving]] = 0;
        is_basic_[entering] = 1;
        basic_[leaving] = entering;
    }

    std::vector<double> r_, g_;  // in units of the worst |r_j|
    const std::vector<double>& lo_;
    const std::vector<double>& hi_;
    std::size_t n_, m_;
    std::vector<std::size_t> basic_;
    std::vector<char> is_basic_;
    std::vector<double> inverse_, x_, pi_, w_;
};

// max_j |r_j + g_j u| over the rows of the programme.
double model_worst(const std::vector<double>& r, const std::vector<double>& g,
                   const std::vector<double>& u) {
    const std::size_t n = u.size();
    double worst = 0.0;
    for (std::size_t j = 0; j < r.size(); ++j) {
        double v = r[j];
        for (std::size_t i = 0; i < n; ++i) v += g[j * n + i] * u[i];
        worst = std::max(worst, std::fabs(v));
    }
    return worst;
}

}  // namespace

MinimaxLpResult minimax_lp(const std::vector<double>& r, const std::vector<double>& g,
                           const std::vector<double>& lo, const std::vector<double>& hi) {
    MinimaxLpResult result;
    const std::size_t n = lo.size();
    result.u.assign(n, 0.0);
    result.t = worst_of(r);
    if (r.empty() || !(result.t > 0.0) || !(result.t < std::numeric_limits<double>::infinity())) {
        result.solved = !r.empty() && result.t == 0.0;
        return result;
    }
    std::vector<double> u;
    DualSimplex lp(r, g, lo, hi, 1.0 / result.t);
    if (!lp.solve(u, result.active)) return result;
    for (std::size_t i = 0; i < n; ++i) u[i] = std::min(std::max(u[i], lo[i]), hi[i]);
    const double t = model_worst(r, g, u);
    // Rounding may leave the optimum a hair above the start; the start is then as good.
    if (t < result.t) {
        result.u = std::move(u);
        result.t = t;
    }
    result.solved = true;
    return result;
}

MinimaxResult minimax_descent(const ResidualFunction& residuals, const std::vector<double>& start,
                              const std::vector<double>& steps, int iterations,
                              const std::function<void(std::vector<double>&)>& project,
                              const std::function<bool(const std::vector<double>&)>& done,
                              const MinimaxOptions& options) {
    const std::size_t n = start.size();
    MinimaxResult result;
    result.best = start;
    if (project) project(result.best);
    std::vector<double> r;
    residuals(result.best, r);
    ++result.evaluations;
    result.value = worst_of(r);
    const std::size_t m = r.size();
    if (n == 0 || m == 0) return result;

    // The working set's rows: their residuals, their Jacobian (row-major), the same scaled by
    // the box for the programme.
    std::vector<std::size_t> rows;
    std::vector<double> rows_r, jacobian, rows_g;
    std::vector<double> scale(n), reach_up(n), reach_down(n), box(n), lo(n), hi(n), taken(n);
    std::vector<double> shifted, r_shifted, r_full, trial, r_trial;
    std::vector<char> keep(m, 0);  // the last kept step's active points
    double radius = options.initial_radius;
    bool stale = true;
    while (result.iterations < iterations && result.value > options.stop_at &&
           result.value < std::numeric_limits<double>::infinity()) {
        ++result.iterations;
        const std::vector<double>& x = result.best;
        if (stale) {
            stale = false;
            const double threshold = options.working_fraction * result.value;
            rows.clear();
            for (std::size_t j = 0; j < m; ++j)
                if (keep[j] || std::fabs(r[j]) >= threshold) rows.push_back(j);
            rows_r.resize(rows.size());
            for (std::size_t w = 0; w < rows.size(); ++w) rows_r[w] = r[rows[w]];
            // Forward differences, backward where the feasible set ends just ahead; a parameter
            // held on both sides gets no column.
            jacobian.assign(rows.size() * n, 0.0);
            for (std::size_t i = 0; i < n; ++i) {
                double moved = 0.0;
                for (const double h : {steps[i], -steps[i]}) {
                    shifted = x;
                    shifted[i] += h;
                    if (project) project(shifted);
                    moved = shifted[i] - x[i];
                    if (std::fabs(moved) >= 0.5 * std::fabs(h)) break;
                }
                if (!(std::fabs(moved) >= 0.5 * std::fabs(steps[i]))) continue;
                if (options.row_residuals) {
                    options.row_residuals(shifted, rows, r_shifted);
                } else {
                    residuals(shifted, r_full);
                    r_shifted.resize(rows.size());
                    for (std::size_t w = 0; w < rows.size(); ++w) r_shifted[w] = r_full[rows[w]];
                }
                ++result.evaluations;
                for (std::size_t w = 0; w < rows.size(); ++w) {
                    const double d = (r_shifted[w] - rows_r[w]) / moved;
                    jacobian[w * n + i] = std::isfinite(d) ? d : 0.0;
                }
            }
            // Each parameter's box in proportion to 1 / the most its step moves a residual
            // (within a factor of 10 of the steps' own proportions), so that no parameter's box
            // is far wider in what it does than another's.
            double total = 0.0;
            int counted = 0;
            for (std::size_t i = 0; i < n; ++i) {
                double most = 0.0;
                for (std::size_t w = 0; w < rows.size(); ++w)
                    most = std::max(most, std::fabs(jacobian[w * n + i]));
                scale[i] = most * std::fabs(steps[i]);
                if (scale[i] > 0.0) {
                    total += scale[i];
                    ++counted;
                }
            }
            const double mean = counted > 0 ? total / counted : 1.0;
            for (std::size_t i = 0; i < n; ++i) {
                const double s = scale[i] > 0.0 ? mean / scale[i] : 1.0;
                scale[i] = std::fabs(steps[i]) * std::min(std::max(s, 0.1), 10.0);
            }
            // How far the projection lets each parameter move alone, each way, found at the
            // widest box this point will see (the radius grows only with a kept step).
            for (std::size_t i = 0; i < n; ++i) {
                reach_up[i] = reach_down[i] = radius * scale[i];
                if (!project) continue;
                for (const double side : {1.0, -1.0}) {
                    shifted = x;
                    shifted[i] += side * radius * scale[i];
                    project(shifted);
                    (side > 0.0 ? reach_up[i] : reach_down[i]) =
                        std::max(side * (shifted[i] - x[i]), 0.0);
                }
            }
        }
        for (std::size_t i = 0; i < n; ++i) {
            box[i] = radius * scale[i];
            hi[i] = std::min(reach_up[i] / box[i], 1.0);
            lo[i] = -std::min(reach_down[i] / box[i], 1.0);
        }
        rows_g.resize(rows.size() * n);
        for (std::size_t w = 0; w < rows.size(); ++w)
            for (std::size_t i = 0; i < n; ++i) rows_g[w * n + i] = jacobian[w * n + i] * box[i];
        const MinimaxLpResult lp = minimax_lp(rows_r, rows_g, lo, hi);
        if (lp.solved && !(lp.t < result.value * (1.0 - 1e-9))) break;  // nothing to gain here
        double promised = 0.0;
        if (lp.solved) {
            trial = x;
            for (std::size_t i = 0; i < n; ++i) trial[i] += lp.u[i] * box[i];
            if (project) project(trial);
            // What the model promises for the step as projected.
            for (std::size_t i = 0; i < n; ++i) taken[i] = (trial[i] - x[i]) / box[i];
            promised = result.value - model_worst(rows_r, rows_g, taken);
        }
        if (!(promised > 0.0)) {
            radius *= 0.25;
            if (radius < options.smallest_radius) break;
            continue;
        }
        residuals(trial, r_trial);
        ++result.evaluations;
        const double value = worst_of(r_trial);
        const double ratio = (result.value - value) / promised;
        double width = 0.0;
        for (std::size_t i = 0; i < n; ++i) width = std::max(width, std::fabs(lp.u[i]));
        if (ratio < options.shrink_below) {
            radius *= 0.25;
        } else if (ratio > options.grow_above && width > 0.99) {
            radius = std::min(2.0 * radius, options.largest_radius);
        }
        if (value < result.value) {
            const double gain = result.value - value;
            result.best = trial;
            result.value = value;
            r.swap(r_trial);
            std::fill(keep.begin(), keep.end(), 0);
            for (std::size_t w : lp.active) keep[rows[w]] = 1;
            stale = true;
            if (done && done(result.best)) break;
            if (gain < options.least_gain * (result.value + gain)) break;
        }
        if (radius < options.smallest_radius) break;
    }
    return result;
}
