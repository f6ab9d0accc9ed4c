// The curves the EQ fitting compares: Pro Tools' EQ3 filters as analog prototypes, ReaEQ's bands
// as the RBJ cookbook's biquads, and the first-order section of the one-pole JS filter that
// carries the odd-order part of a 6 or 18 dB/oct pass filter.
#pragma once

#include <complex>
#include <cstdint>

// One ReaEQ band. A free band (an extra band of the fit, or a stand-in band that replaces a
// part of the source filter, such as the -12 dB shelf standing in for a first-order part above
// 20 kHz) may move anywhere within the general limits; every other band is held near the band
// the direct conversion made.
struct EqBand {
    std::uint32_t type = 8;  // kEqLowShelf ... kEqPeak; any other type plays as a notch
    std::uint8_t enabled = 1;
    double freq_hz = 1000.0;
    double gain_db = 0.0;
    double q = 0.70710678;
    std::uint8_t free_band = 0;
    std::int32_t order = 0;
};

inline constexpr std::uint32_t kEqLowShelf = 0;
inline constexpr std::uint32_t kEqHighShelf = 1;
inline constexpr std::uint32_t kEqLowPass = 3;
inline constexpr std::uint32_t kEqHighPass = 4;
inline constexpr std::uint32_t kEqNotch = 6;
inline constexpr std::uint32_t kEqPeak = 8;

inline bool eq_band_is_shelf(std::uint32_t type) {
    return type == kEqLowShelf || type == kEqHighShelf;
}
inline bool eq_band_is_pass(std::uint32_t type) {
    return type == kEqLowPass || type == kEqHighPass;
}

// One Pro Tools EQ3 filter: the curve a conversion has to follow.
struct EqSourceFilter {
    std::uint32_t type = 0;  // kEqSourcePeak ... kEqSourceNotch
    double freq_hz = 1000.0;
    double gain_db = 0.0;
    double q = 1.0;
    std::uint8_t side = 0;   // a high shelf, or a high-pass
    std::int32_t order = 0;  // 1 to 4 for a pass filter
};

inline constexpr std::uint32_t kEqSourcePeak = 0;
inline constexpr std::uint32_t kEqSourceShelf = 1;
inline constexpr std::uint32_t kEqSourcePass = 2;
inline constexpr std::uint32_t kEqSourceNotch = 3;

// The analog prototype of the source filter at f Hz, evaluated at s = j f / f0. A pass filter is
// a Butterworth of its order (a high-pass is the low-pass at f0 / f); a notch is the standard
// analog notch (s^2 + 1) / (s^2 + s / Q + 1).
std::complex<double> eq_source_response(const EqSourceFilter& source, double f);

// Coefficients of one biquad, H(z) = (b0 + b1 z^-1 + b2 z^-2) / (a0 + a1 z^-1 + a2 z^-2).
struct Biquad {
    double b0 = 1.0, b1 = 0.0, b2 = 0.0;
    double a0 = 1.0, a1 = 0.0, a2 = 0.0;
};

// A = 10^(gain / 40), the cookbook's amplitude of a band's gain (as portable::pow gives it).
double eq_gain_amplitude(double gain_db);

// The RBJ Audio EQ Cookbook biquad of a band at w0 = 2 pi f / rate, alpha = sin w0 / (2 Q),
// A = 10^(gain / 40). Pass filters and notches ignore the gain.
Biquad eq_band_biquad(const EqBand& band, double rate);

inline std::complex<double> biquad_response(const Biquad& c, std::complex<double> z1,
                                            std::complex<double> z2) {
    return (c.b0 + c.b1 * z1 + c.b2 * z2) / (c.a0 + c.a1 * z1 + c.a2 * z2);
}

// The first-order section of the one-pole JS filter at f1 Hz, seen at z1 = e^(-j w). It is the
// bilinear one-pole with K = 3 x rate (not 2 x rate): a = (K - w1) / (K + w1),
// b = 2 w1 / (K + w1), H1 = b / (1 - a z1), gain 1 at 0 Hz; the high-pass is 1 - H1.
std::complex<double> one_pole_response(double f1, double rate, bool high_pass,
                                       std::complex<double> z1);

// z1 = e^(-j 2 pi f / rate).
std::complex<double> unit_delay_at(double f, double rate);

// 20 log10 of a magnitude, floored at 1e-12 (-240 dB).
double level_db(std::complex<double> response);
