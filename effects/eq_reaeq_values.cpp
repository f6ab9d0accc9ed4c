#include "effects/eq_reaeq_values.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <numbers>

#include "effects/eq_curves.h"
#include "effects/held_values.h"
#include "util/portable_math.h"

namespace {

constexpr double kBandwidthScale = 2.0 / std::numbers::ln2;
constexpr double kMaxShelfSlope = 1.2;

double shelf_a_sum(double gain_db) {
    const double a = eq_gain_amplitude(gain_db);
    return a + 1.0 / a;
}

// w'/sin w', w' = min(2 pi f / rate, pi/2): how much wider the cookbook makes a band at f.
double cramping(double f, double rate) {
    const double w = std::min(2.0 * std::numbers::pi * f / rate, std::numbers::pi / 2.0);
    return w / portable::sin(w);
}

// Breakpoints of the Q correction: |gain| 1 to 18 dB, Q 0.1 to 10.
constexpr std::array<double, 21> kCorrectionQ = {0.1, 0.15, 0.2, 0.25, 0.3, 0.5, 1.0,
                                                 2.0, 4.0,  4.5, 5.0,  5.5, 6.0, 6.5,
                                                 7.0, 7.5,  8.0, 8.5,  9.0, 9.5, 10.0};
constexpr std::size_t kCorrectionGains = 18;
using CorrectionRow = std::array<double, kCorrectionGains>;

// Factor by Q row and gain column (1, 2, ... 18 dB). Pro Tools' bells have not been measured
// against ReaEQ's yet, so every factor is 1: measured factors replace these rows as they are.
constexpr std::array<CorrectionRow, kCorrectionQ.size()> correction_table() {
    std::array<CorrectionRow, kCorrectionQ.size()> table{};
    for (auto& row : table) row.fill(1.0);
    return table;
}
constexpr auto kCorrection = correction_table();

// The factor at gain column position g (0 = 1 dB ... 17 = 18 dB), Q row position r; both
// interpolated linearly between their neighbours.
double correction_at(double g, double r) {
    const auto g0 = static_cast<std::size_t>(g);
    const auto r0 = static_cast<std::size_t>(r);
    const std::size_t g1 = std::min(g0 + 1, kCorrectionGains - 1);
    const std::size_t r1 = std::min(r0 + 1, kCorrectionQ.size() - 1);
    const double gt = g - static_cast<double>(g0);
    const double rt = r - static_cast<double>(r0);
    const double low = kCorrection[r0][g0] + (kCorrection[r0][g1] - kCorrection[r0][g0]) * gt;
    const double high = kCorrection[r1][g0] + (kCorrection[r1][g1] - kCorrection[r1][g0]) * gt;
    return low + (high - low) * rt;
}

}  // namespace

double eq_shelf_q_cap(double gain_db) {
    return 0.9999 / std::sqrt(2.0 - shelf_a_sum(gain_db) / 6.0);
}

double eq_shelf_q_to_slope(double gain_db, double q) {
    const double v = (1.0 / (q * q) - 2.0) / shelf_a_sum(gain_db) + 1.0;
    if (v <= 1e-9 || 1.0 / v > kMaxShelfSlope) return 0.9128709291752769;  // sqrt(5/6)
    return 1.0 / std::sqrt(1.0 / v);
}

double reaeq_slope_to_shelf_q(double gain_db, double value) {
    const double slope = std::min(1.0 / (value * value), kMaxShelfSlope);
    return 1.0 / std::sqrt(shelf_a_sum(gain_db) * (1.0 / slope - 1.0) + 2.0);
}

double eq_q_to_bandwidth_oct(double f, double q, double rate) {
    return kBandwidthScale * portable::asinh(1.0 / (2.0 * q)) * cramping(f, rate);
}

double eq_q_to_reaeq_bandwidth_oct(double f, double q, double rate) {
    return kBandwidthScale * portable::asinh(1.0 / (2.0 * q)) / cramping(f, rate);
}

double reaeq_bandwidth_oct_to_q(double f, double bandwidth_oct, double rate) {
    return 1.0 / (2.0 * portable::sinh(bandwidth_oct * cramping(f, rate) / kBandwidthScale));
}

double eq_corrected_q(double gain_db, double q) {
    const double held_q = hold_to(q, 0.1, 10.0);
    const double magnitude = std::isnan(gain_db) ? 0.0 : std::fabs(gain_db);

    // Row position in ln Q between the breakpoints around held_q.
    std::size_t row = 0;
    while (row + 2 < kCorrectionQ.size() && kCorrectionQ[row + 1] <= held_q) ++row;
    const double rt = std::clamp(portable::log(held_q / kCorrectionQ[row]) /
                                     portable::log(kCorrectionQ[row + 1] / kCorrectionQ[row]),
                                 0.0, 1.0);
    const double r = static_cast<double>(row) + rt;

    double factor = 0.0;
    if (magnitude <= 1.0) {
        factor = 1.0 + (correction_at(0.0, r) - 1.0) * magnitude;
    } else {
        factor = correction_at(std::min(magnitude, 18.0) - 1.0, r);
    }
    return std::max(held_q * factor, 0.1);
}
