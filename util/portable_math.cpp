#include "util/portable_math.h"

#include <cmath>
#include <limits>

namespace portable {

namespace {

// ln 2 and pi / 2 in parts whose leading part has trailing zero bits, so that k times it is
// exact for the multiples the reductions meet.
constexpr double kLn2Hi = 6.93147180369123816490e-01;
constexpr double kLn2Lo = 1.90821492927058770002e-10;
constexpr double kInvLn2 = 1.44269504088896338700e+00;
constexpr double kPio2_1 = 1.57079632673412561417e+00;
constexpr double kPio2_2 = 6.07710050630396597660e-11;
constexpr double kPio2_3 = 2.02226624871116645580e-21;
constexpr double kTwoOverPi = 6.36619772367581382433e-01;
constexpr double kLn10 = 2.30258509299404568402e+00;
constexpr double kInvLn10 = 4.34294481903251827651e-01;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// The series' coefficients, worked out (and rounded) by the compiler: 1 / n, and 1 / (n (n - 1)).
struct Reciprocals {
    double of[24] = {};
    double of_pair[24] = {};
};
constexpr Reciprocals make_reciprocals() {
    Reciprocals r;
    for (int n = 1; n < 24; ++n) r.of[n] = 1.0 / n;
    for (int n = 2; n < 24; ++n) r.of_pair[n] = 1.0 / (n * (n - 1));
    return r;
}
constexpr Reciprocals kReciprocal = make_reciprocals();

// e^r for |r| <= ln 2 / 2, by its Taylor series (the terms left out are below 1e-17).
double exp_reduced(double r) {
    double p = 1.0;
    for (int n = 13; n >= 1; --n) p = 1.0 + r * p * kReciprocal.of[n];
    return p;
}

// sin r and cos r for |r| <= pi / 4, by their Taylor series.
double sin_reduced(double r) {
    const double s = r * r;
    double p = 1.0;
    for (int n = 17; n >= 3; n -= 2) p = 1.0 - s * p * kReciprocal.of_pair[n];
    return r * p;
}
double cos_reduced(double r) {
    const double s = r * r;
    double p = 1.0;
    for (int n = 18; n >= 2; n -= 2) p = 1.0 - s * p * kReciprocal.of_pair[n];
    return p;
}

// x = k pi / 2 + r; returns r and sets the quadrant k mod 4.
double reduce_quadrant(double x, int& quadrant) {
    const double k = std::floor(x * kTwoOverPi + 0.5);
    const double r = ((x - k * kPio2_1) - k * kPio2_2) - k * kPio2_3;
    quadrant = static_cast<int>(std::fmod(k, 4.0));
    if (quadrant < 0) quadrant += 4;
    return r;
}

// ln (1 + t), exact for the rounding of 1 + t.
double log1p(double t) {
    const double w = 1.0 + t;
    if (w == 1.0) return t;
    return log(w) * (t / (w - 1.0));
}

}  // namespace

double exp(double x) {
    if (std::isnan(x)) return x;
    if (x > 709.78) return kInf;
    if (x < -745.2) return 0.0;
    const double k = std::floor(x * kInvLn2 + 0.5);
    const double r = (x - k * kLn2Hi) - k * kLn2Lo;
    return std::ldexp(exp_reduced(r), static_cast<int>(k));
}

double log(double x) {
    if (std::isnan(x) || x < 0.0) return kNaN;
    if (x == 0.0) return -kInf;
    if (std::isinf(x)) return kInf;
    int e = 0;
    double m = std::frexp(x, &e);  // m in [0.5, 1)
    if (m < 0.70710678118654752440) {
        m *= 2.0;
        --e;
    }
    // ln m = 2 atanh u, u = (m - 1) / (m + 1), |u| <= 0.172: the series to u^23.
    const double u = (m - 1.0) / (m + 1.0);
    const double s = u * u;
    double p = kReciprocal.of[23];
    for (int n = 21; n >= 1; n -= 2) p = kReciprocal.of[n] + s * p;
    const double k = static_cast<double>(e);
    return k * kLn2Hi + (2.0 * u * p + k * kLn2Lo);
}

double log10(double x) {
    return log(x) * kInvLn10;
}

double pow(double x, double y) {
    if (y == 0.0) return 1.0;
    if (std::isnan(x) || std::isnan(y) || x < 0.0) return kNaN;
    if (x == 0.0) return y > 0.0 ? 0.0 : kInf;
    if (x == 1.0) return 1.0;
    return exp(y * log(x));
}

double from_db(double db) {
    return exp(db * (kLn10 / 20.0));
}

double sin(double x) {
    if (!std::isfinite(x)) return kNaN;
    int quadrant = 0;
    const double r = reduce_quadrant(x, quadrant);
    switch (quadrant) {
        case 0:
            return sin_reduced(r);
        case 1:
            return cos_reduced(r);
        case 2:
            return -sin_reduced(r);
        default:
            return -cos_reduced(r);
    }
}

double cos(double x) {
    if (!std::isfinite(x)) return kNaN;
    int quadrant = 0;
    const double r = reduce_quadrant(x, quadrant);
    switch (quadrant) {
        case 0:
            return cos_reduced(r);
        case 1:
            return -sin_reduced(r);
        case 2:
            return -cos_reduced(r);
        default:
            return sin_reduced(r);
    }
}

double tan(double x) {
    return sin(x) / cos(x);
}

double sinh(double x) {
    if (std::isnan(x)) return x;
    const double a = std::fabs(x);
    double s = 0.0;
    if (a < 0.5) {
        // The series: e^a - e^-a cancels here.
        const double q = a * a;
        double p = 1.0;
        for (int n = 17; n >= 3; n -= 2) p = 1.0 + q * p * kReciprocal.of_pair[n];
        s = a * p;
    } else {
        const double e = exp(a);
        s = 0.5 * (e - 1.0 / e);
    }
    return x < 0.0 ? -s : s;
}

double asinh(double x) {
    if (std::isnan(x)) return x;
    const double a = std::fabs(x);
    double s = 0.0;
    if (a > 1e150) {
        s = log(a) + kLn2Hi + kLn2Lo;
    } else {
        // ln (a + sqrt(a^2 + 1)) = ln (1 + a + a^2 / (1 + sqrt(a^2 + 1))).
        const double q = a * a;
        s = log1p(a + q / (1.0 + std::sqrt(q + 1.0)));
    }
    return x < 0.0 ? -s : s;
}

}  // namespace portable
