#include "effects/eq_curves.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "util/portable_math.h"

namespace {

using Complex = std::complex<double>;

// 10 with its logarithm worked out once: every band of every fit's evaluation takes a power of it.
const portable::PowBase kTen(10.0);

// 1 / ((1 - x^2) + j x / q): one second-order Butterworth section at x = f / f0.
Complex second_order_low_pass(double x, double q) {
    return 1.0 / Complex(1.0 - x * x, x / q);
}

Complex butterworth_low_pass(double x, std::int32_t order) {
    Complex h = 1.0;
    if (order % 2 != 0) h /= Complex(1.0, x);
    switch (order) {
        case 2:
            h *= second_order_low_pass(x, 0.70710678);
            break;
        case 3:
            h *= second_order_low_pass(x, 1.0);
            break;
        case 4:
            h *= second_order_low_pass(x, 0.5411961) * second_order_low_pass(x, 1.30656296);
            break;
        default:
            break;
    }
    return h;
}

}  // namespace

Complex eq_source_response(const EqSourceFilter& source, double f) {
    const double x = f / source.freq_hz;
    const Complex s(0.0, x);
    const double a = eq_gain_amplitude(source.gain_db);
    const double q = source.q;
    switch (source.type) {
        case kEqSourcePeak:
            return (s * s + s * a / q + 1.0) / (s * s + s / (a * q) + 1.0);
        case kEqSourceShelf: {
            const double root_a = std::sqrt(a);
            if (source.side)
                return a * (a * s * s + s * root_a / q + 1.0) / (s * s + s * root_a / q + a);
            return a * (s * s + s * root_a / q + a) / (a * s * s + s * root_a / q + 1.0);
        }
        case kEqSourcePass:
            return butterworth_low_pass(source.side ? source.freq_hz / f : x, source.order);
        default:
            return (s * s + 1.0) / (s * s + s / q + 1.0);
    }
}

double eq_gain_amplitude(double gain_db) {
    return portable::pow_of(kTen, gain_db / 40.0);
}

Biquad eq_band_biquad(const EqBand& band, double rate) {
    const double w0 = 2.0 * std::numbers::pi * band.freq_hz / rate;
    const double cos_w = portable::cos(w0);
    const double alpha = portable::sin(w0) / (2.0 * band.q);
    const double a = eq_gain_amplitude(band.gain_db);
    const double two_root_a_alpha = 2.0 * std::sqrt(a) * alpha;
    switch (band.type) {
        case kEqPeak:
            return {1.0 + alpha * a, -2.0 * cos_w, 1.0 - alpha * a,
                    1.0 + alpha / a, -2.0 * cos_w, 1.0 - alpha / a};
        case kEqLowShelf:
            return {a * ((a + 1.0) - (a - 1.0) * cos_w + two_root_a_alpha),
                    2.0 * a * ((a - 1.0) - (a + 1.0) * cos_w),
                    a * ((a + 1.0) - (a - 1.0) * cos_w - two_root_a_alpha),
                    (a + 1.0) + (a - 1.0) * cos_w + two_root_a_alpha,
                    -2.0 * ((a - 1.0) + (a + 1.0) * cos_w),
                    (a + 1.0) + (a - 1.0) * cos_w - two_root_a_alpha};
        case kEqHighShelf:
            return {a * ((a + 1.0) + (a - 1.0) * cos_w + two_root_a_alpha),
                    -2.0 * a * ((a - 1.0) + (a + 1.0) * cos_w),
                    a * ((a + 1.0) + (a - 1.0) * cos_w - two_root_a_alpha),
                    (a + 1.0) - (a - 1.0) * cos_w + two_root_a_alpha,
                    2.0 * ((a - 1.0) - (a + 1.0) * cos_w),
                    (a + 1.0) - (a - 1.0) * cos_w - two_root_a_alpha};
        case kEqLowPass:
            return {(1.0 - cos_w) / 2.0, 1.0 - cos_w,  (1.0 - cos_w) / 2.0,
                    1.0 + alpha,         -2.0 * cos_w, 1.0 - alpha};
        case kEqHighPass:
            return {(1.0 + cos_w) / 2.0, -(1.0 + cos_w), (1.0 + cos_w) / 2.0,
                    1.0 + alpha,         -2.0 * cos_w,   1.0 - alpha};
        default:
            return {1.0, -2.0 * cos_w, 1.0, 1.0 + alpha, -2.0 * cos_w, 1.0 - alpha};
    }
}

Complex one_pole_response(double f1, double rate, bool high_pass, Complex z1) {
    const double w = 2.0 * std::numbers::pi * f1;
    const double k = 3.0 * rate;
    const double a = (k - w) / (k + w);
    const double b = 2.0 * w / (k + w);
    const Complex h1 = b / (1.0 - a * z1);
    return high_pass ? 1.0 - h1 : h1;
}

Complex unit_delay_at(double f, double rate) {
    const double w = 2.0 * std::numbers::pi * f / rate;
    return {portable::cos(w), -portable::sin(w)};
}

double level_db(Complex response) {
    return 10.0 * portable::log10(std::max(std::norm(response), 1e-24));
}
