#include "effects/least_squares.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <utility>

namespace {

double sum_of_squares(const std::vector<double>& r) {
    double sum = 0.0;
    for (double v : r) sum += v * v;
    return std::isnan(sum) ? std::numeric_limits<double>::infinity() : sum;
}

// Solves a x = b for a small dense n x n system by Gaussian elimination with partial pivoting;
// false when it is singular.
bool solve(std::vector<double> a, std::vector<double> b, std::size_t n, std::vector<double>& x) {
    for (std::size_t col = 0; col < n; ++col) {
        std::size_t pivot = col;
        for (std::size_t row = col + 1; row < n; ++row)
            if (std::fabs(a[row * n + col]) > std::fabs(a[pivot * n + col])) pivot = row;
        if (!(std::fabs(a[pivot * n + col]) > 1e-300)) return false;
        if (pivot != col) {
            for (std::size_t k = 0; k < n; ++k) std::swap(a[col * n + k], a[pivot * n + k]);
            std::swap(b[col], b[pivot]);
        }
        for (std::size_t row = col + 1; row < n; ++row) {
            const double f = a[row * n + col] / a[col * n + col];
            if (f == 0.0) continue;
            for (std::size_t k = col; k < n; ++k) a[row * n + k] -= f * a[col * n + k];
            b[row] -= f * b[col];
        }
    }
    x.assign(n, 0.0);
    for (std::size_t i = n; i-- > 0;) {
        double s = b[i];
        for (std::size_t k = i + 1; k < n; ++k) s -= a[i * n + k] * x[k];
        x[i] = s / a[i * n + i];
    }
    return true;
}

}  // namespace

LeastSquaresResult levenberg_marquardt(
    const ResidualFunction& residuals, const std::vector<double>& start,
    const std::vector<double>& steps, int iterations,
    const std::function<void(std::vector<double>&)>& project,
    const std::function<bool(const std::vector<double>&)>& done) {
    const std::size_t n = start.size();
    LeastSquaresResult result;
    result.best = start;
    if (project) project(result.best);
    std::vector<double> r;
    residuals(result.best, r);
    ++result.evaluations;
    result.value = sum_of_squares(r);
    const std::size_t m = r.size();
    if (n == 0 || m == 0) return result;

    // The Jacobian is kept a residual's row at a time (row j holds the n derivatives of r_j).
    std::vector<double> jacobian(n * m), shifted, r_shifted, trial, r_trial, delta;
    std::vector<double> normal(n * n), gradient(n), damped;
    double lambda = 1e-3;
    for (int iteration = 0; iteration < iterations; ++iteration) {
        // The Jacobian by forward differences, column by column.
        for (std::size_t i = 0; i < n; ++i) {
            shifted = result.best;
            shifted[i] += steps[i];
            residuals(shifted, r_shifted);
            ++result.evaluations;
            for (std::size_t j = 0; j < m; ++j)
                jacobian[j * n + i] = (r_shifted[j] - r[j]) / steps[i];
        }
        // J'r and the lower half of J'J, summed a residual at a time: each sum still adds its
        // terms in the residuals' order, as its own dot product would, but all of them side by
        // side rather than one long chain of additions after another.
        std::fill(gradient.begin(), gradient.end(), 0.0);
        std::fill(normal.begin(), normal.end(), 0.0);
        for (std::size_t j = 0; j < m; ++j) {
            const double* row = &jacobian[j * n];
            for (std::size_t i = 0; i < n; ++i) {
                gradient[i] += row[i] * r[j];
                double* sums = &normal[i * n];
                for (std::size_t k = 0; k <= i; ++k) sums[k] += row[i] * row[k];
            }
        }
        for (std::size_t i = 0; i < n; ++i) {
            gradient[i] = -gradient[i];
            for (std::size_t k = 0; k < i; ++k) normal[k * n + i] = normal[i * n + k];
        }
        bool kept = false;
        double gain = 0.0;
        for (int attempt = 0; attempt < 12 && !kept; ++attempt) {
            damped = normal;
            for (std::size_t i = 0; i < n; ++i)
                damped[i * n + i] += lambda * normal[i * n + i] + 1e-12 * (1.0 + normal[i * n + i]);
            if (solve(damped, gradient, n, delta)) {
                trial = result.best;
                for (std::size_t i = 0; i < n; ++i) trial[i] += delta[i];
                if (project) project(trial);
                residuals(trial, r_trial);
                ++result.evaluations;
                const double value = sum_of_squares(r_trial);
                if (value < result.value) {
                    gain = result.value - value;
                    result.best = std::move(trial);
                    result.value = value;
                    r.swap(r_trial);
                    lambda = std::max(lambda / 3.0, 1e-9);
                    kept = true;
                    break;
                }
            }
            lambda *= 4.0;
        }
        if (!kept) break;
        if (done && done(result.best)) break;
        if (!(gain > 1e-4 * result.value)) break;
    }
    return result;
}
