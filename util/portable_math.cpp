#include "util/portable_math.h"

#include <cmath>
#include <cstdint>
#include <cstring>
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
// pi / 2 - (kPio2_1 + kPio2_2 + kPio2_3), and pi / 2 as a pair for the long reduction.
constexpr double kPio2_3Tail = 8.47842766036889956997e-32;
constexpr double kPio2Hi = 1.57079632679489655800e+00;
constexpr double kPio2Lo = 6.12323399573676603587e-17;
// Up to here the short reduction's multiples k pi / 2 are exact (k < 2^20).
constexpr double kShortReductionLimit = 1.6e6;
// ln of the largest double: e^x is finite up to it.
constexpr double kExpOverflow = 7.09782712893383973096e+02;
// exp(y ln x) loses up to about 3 |y ln x| units of its last place to the rounding of ln x. The
// curves' and the fit's powers lie between these (down to the means of deviations of 1e-28 dB)
// and keep that form; outside them the power carries ln x to twice the precision.
constexpr double kPlainPowLow = -64.0;
constexpr double kPlainPowHigh = 8.0;

// 2 / pi in 24-bit parts, the most significant first: 1248 bits, enough for the reduction of
// the largest double.
constexpr std::uint32_t kTwoOverPiBits[52] = {
    0xA2F983, 0x6E4E44, 0x1529FC, 0x2757D1, 0xF534DD, 0xC0DB62, 0x95993C, 0x439041, 0xFE5163,
    0xABDEBB, 0xC561B7, 0x246E3A, 0x424DD2, 0xE00649, 0x2EEA09, 0xD1921C, 0xFE1DEB, 0x1CB129,
    0xA73EE8, 0x8235F5, 0x2EBB44, 0x84E99C, 0x7026B4, 0x5F7E41, 0x3991D6, 0x398353, 0x39F49C,
    0x845F8B, 0xBDF928, 0x3B1FF8, 0x97FFDE, 0x05980F, 0xEF2F11, 0x8B5A0A, 0x6D1F6D, 0x367ECF,
    0x27CB09, 0xB74F46, 0x3F669E, 0x5FEA2D, 0x7527BA, 0xC7EBE5, 0xF17B3D, 0x0739F7, 0x8A5292,
    0xEA6BFB, 0x5FB11F, 0x8D5D08, 0x560330, 0x46FC7B, 0x6BABF0, 0xCFBC20,
};

// ln (j / 64) for j = 45 ... 91 as a pair (the nearest double, then the rest).
constexpr double kLnSixtyFourths[47][2] = {
    {-0.3522205935893521, -5.7233316949182485e-18},
    {-0.33024168687057687, 1.0828321637483858e-17},
    {-0.3087354816496133, 1.6199186085148102e-17},
    {-0.2876820724517809, -2.607160616442564e-17},
    {-0.26706278524904525, 7.32891532732017e-18},
    {-0.24686007793152578, -1.361743371748368e-17},
    {-0.22705745063534608, -9.551415762738488e-18},
    {-0.2076393647782445, -1.2053243216686129e-17},
    {-0.18859116980755003, 7.432164219196925e-18},
    {-0.16989903679539747, 4.868008764439071e-19},
    {-0.15154989812720093, -5.1669593684615594e-18},
    {-0.13353139262452263, 3.664457663660085e-18},
    {-0.1158318155251217, -4.338484369808096e-18},
    {-0.09844007281325252, 4.439009633675136e-18},
    {-0.0813456394539524, -5.07707635593117e-18},
    {-0.06453852113757118, 6.470486661692933e-18},
    {-0.048009219186360606, -1.4390903347292205e-18},
    {-0.0317486983145803, -3.0382263084680858e-18},
    {-0.015748356968139168, -1.0021578630528974e-18},
    {0.0, 0.0},
    {0.015504186535965254, -3.278321022892429e-19},
    {0.030771658666753687, 1.0431732029005968e-18},
    {0.0458095360312942, 1.902959866474257e-18},
    {0.06062462181643484, 2.6424025938726934e-18},
    {0.07522342123758753, -5.930604196293241e-18},
    {0.08961215868968714, -5.4268129336647135e-18},
    {0.10379679368164356, 5.47772415726659e-18},
    {0.11778303565638346, -1.1971685747593677e-18},
    {0.13157635778871926, 1.1123000879729588e-17},
    {0.1451820098444979, 8.242418783022475e-18},
    {0.15860503017663857, 1.1257003872182592e-17},
    {0.17185025692665923, -6.0224538210113705e-18},
    {0.184922338494012, 3.0236614153574064e-18},
    {0.19782574332991987, 1.2821194372980142e-17},
    {0.21056476910734964, -4.249405314729895e-18},
    {0.22314355131420976, -9.091270597324799e-18},
    {0.2355660713127669, -2.3943371495187355e-18},
    {0.24783616390458127, -1.2432209578702523e-17},
    {0.25995752443692605, 2.069806938978935e-17},
    {0.27193371548364176, 7.83319637697442e-19},
    {0.2837681731306446, -2.032665581126656e-17},
    {0.2954642128938359, -2.16461086040599e-17},
    {0.3070250352949119, -1.2319916200101964e-17},
    {0.3184537311185346, 2.7114779367326236e-17},
    {0.329753286372468, 2.122020616196946e-18},
    {0.3409265869705932, 1.7467136443544747e-17},
    {0.3519764231571782, -1.2953893030191963e-17},
};

// atan (j / 8) for j = 1 ... 8 as a pair.
constexpr double kAtanEighths[8][2] = {
    {0.12435499454676144, -3.1253241424539383e-18}, {0.24497866312686414, 1.0698755618734451e-17},
    {0.35877067027057225, -2.4623815582638635e-17}, {0.4636476090008061, 2.2698777452961687e-17},
    {0.5585993153435624, -5.4556305485916264e-18},  {0.6435011087932844, 1.5834785051444286e-17},
    {0.7188299996216245, -2.1478388444456983e-17},  {0.7853981633974483, 3.061616997868383e-17},
};

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

// Sums and products carried exactly as a pair (the rounded result and its error): Knuth's two-sum,
// and Dekker's product through Veltkamp's split (no fused multiply-add, which not every target
// has in hardware).
struct Pair {
    double hi = 0.0;
    double lo = 0.0;
};
Pair two_sum(double a, double b) {
    const double s = a + b;
    const double v = s - a;
    return {s, (a - (s - v)) + (b - v)};
}
Pair split(double a) {
    const double c = 134217729.0 * a;  // 2^27 + 1
    const double hi = c - (c - a);
    return {hi, a - hi};
}
Pair two_product(double a, double b) {
    const double p = a * b;
    const Pair x = split(a);
    const Pair y = split(b);
    return {p, ((x.hi * y.hi - p) + x.hi * y.lo + x.lo * y.hi) + x.lo * y.lo};
}

// x = k pi / 2 + r for |x| past kShortReductionLimit (Payne and Hanek's reduction): the bits of
// x 2 / pi from 2^1 down to 2^-214 and beyond, as an exact product of x's 53-bit integer with
// the part of 2 / pi that reaches them (the parts before it give multiples of 4).
double reduce_quadrant_long(double x, int& quadrant) {
    constexpr int kParts = 10;
    int e2 = 0;
    const double fraction = std::frexp(std::fabs(x), &e2);
    const auto m = static_cast<std::uint64_t>(std::ldexp(fraction, 53));
    const int e = e2 - 53;  // |x| = m 2^e, e >= -32 here
    const int first = e > 2 ? (e - 2) / 24 : 0;
    // m times the parts as one integer in 24-bit digits, the least significant first.
    const std::uint64_t m_digits[3] = {m & 0xFFFFFF, (m >> 24) & 0xFFFFFF, m >> 48};
    std::uint64_t digits[kParts + 3] = {};
    std::uint64_t carry = 0;
    for (int d = 0; d < kParts + 3; ++d) {
        std::uint64_t sum = carry;
        for (int i = 0; i < 3; ++i) {
            const int j = d - i;  // digit j of the parts is part kParts - 1 - j
            if (j >= 0 && j < kParts) sum += m_digits[i] * kTwoOverPiBits[first + kParts - 1 - j];
        }
        digits[d] = sum & 0xFFFFFF;
        carry = sum >> 24;
    }
    // Bit b of the product weighs 2^(b - point).
    const int point = 24 * (first + kParts) - e;
    const auto bit = [&](int b) { return static_cast<int>((digits[b / 24] >> (b % 24)) & 1); };
    quadrant = bit(point) + 2 * bit(point + 1);
    // From a half up, x is nearer the next multiple: r = -(1 - fraction), the complement of the
    // fraction's bits (short of one unit at 2^-point).
    const int flip = bit(point - 1);
    if (flip) quadrant = (quadrant + 1) & 3;
    int lead = point - 1;
    while (lead > 0 && (bit(lead) ^ flip) == 0) --lead;
    // The 106 bits from the leading one on, as two exact doubles.
    std::uint64_t hi = 0, lo = 0;
    for (int b = lead; b > lead - 53; --b)
        hi = 2 * hi + static_cast<std::uint64_t>(b >= 0 && (bit(b) ^ flip));
    for (int b = lead - 53; b > lead - 106; --b)
        lo = 2 * lo + static_cast<std::uint64_t>(b >= 0 && (bit(b) ^ flip));
    const double f_hi = std::ldexp(static_cast<double>(hi), lead - 52 - point);
    const double f_lo = std::ldexp(static_cast<double>(lo), lead - 105 - point);
    const Pair p = two_product(f_hi, kPio2Hi);
    double r = p.hi + (p.lo + (f_hi * kPio2Lo + f_lo * kPio2Hi));
    if (flip) r = -r;
    if (x < 0.0) {
        r = -r;
        quadrant = (4 - quadrant) & 3;
    }
    return r;
}

// x = k pi / 2 + r; returns r and sets the quadrant k mod 4. Up to kShortReductionLimit the
// multiples of pi / 2's parts are exact and each subtraction is exact or rounds no more than r
// itself (Cody and Waite's reduction).
double reduce_quadrant(double x, int& quadrant) {
    if (!(std::fabs(x) <= kShortReductionLimit)) return reduce_quadrant_long(x, quadrant);
    const double k = std::floor(x * kTwoOverPi + 0.5);
    const double r = (((x - k * kPio2_1) - k * kPio2_2) - k * kPio2_3) - k * kPio2_3Tail;
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

// v 2^k for v within [0.5, 2], as ldexp gives it: while the result stays far from the edges of
// the normal doubles it is v times a power of two that is itself a double, which is exact, and
// saves the library call on the fit's path.
double scaled_by_power_of_two(double v, int k) {
    if (k > -1000 && k < 1000) {
        const std::uint64_t bits = static_cast<std::uint64_t>(k + 1023) << 52;
        double power = 0.0;
        std::memcpy(&power, &bits, sizeof power);
        return v * power;
    }
    return std::ldexp(v, k);
}

// m and e with x = m 2^e, m in [0.5, 1), for a finite x > 0, as frexp gives them: a normal x's
// exponent field read off its bits.
double split_exponent(double x, int& e) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, &x, sizeof bits);
    const int field = static_cast<int>((bits >> 52) & 0x7ff);
    if (field == 0) return std::frexp(x, &e);  // a subnormal
    e = field - 1022;
    bits = (bits & ~(std::uint64_t{0x7ff} << 52)) | (std::uint64_t{1022} << 52);
    double m = 0.0;
    std::memcpy(&m, &bits, sizeof m);
    return m;
}

// m and e with x = m 2^e, m in [sqrt(1/2), sqrt(2)), for a finite x > 0: the mantissa the
// logarithms' series take.
double mantissa_near_one(double x, int& e) {
    double m = split_exponent(x, e);  // m in [0.5, 1)
    if (m < 0.70710678118654752440) {
        m *= 2.0;
        --e;
    }
    return m;
}

// e^(x + tail) for |x| below 1500, |tail| within an ulp of x: ldexp takes the result to
// infinity, a subnormal or 0 at the edges.
double exp_scaled(double x, double tail) {
    const double k = std::floor(x * kInvLn2 + 0.5);
    const double r = ((x - k * kLn2Hi) - k * kLn2Lo) + tail;
    return scaled_by_power_of_two(exp_reduced(r), static_cast<int>(k));
}

// ln x for a finite x > 0 as a pair, to about 2^-70 of itself: x = 2^e m, m near c = j / 64,
// ln m = ln c + 2 atanh u with u = (m - c) / (m + c) below 1/180, whose series after 2u is
// a hundred-thousandth of it.
Pair log_pair(double x) {
    int e = 0;
    const double m = mantissa_near_one(x, e);
    const int j = static_cast<int>(std::floor(m * 64.0 + 0.5));
    const double c = j / 64.0;
    const double f = m - c;  // exact
    const Pair d = two_sum(m, c);
    const double u = f / d.hi;
    const Pair ud = two_product(u, d.hi);
    const double u_lo = (((f - ud.hi) - ud.lo) - u * d.lo) / d.hi;
    const double s = u * u;
    const double series = 2.0 * u * s * (1.0 / 3 + s * (1.0 / 5 + s * (1.0 / 7)));
    const double k = static_cast<double>(e);
    const Pair a = two_sum(k * kLn2Hi, kLnSixtyFourths[j - 45][0]);
    const Pair b = two_sum(a.hi, 2.0 * u);
    const double low =
        a.lo + b.lo + (k * kLn2Lo + kLnSixtyFourths[j - 45][1]) + 2.0 * u_lo + series;
    return two_sum(b.hi, low);
}

// atan t for |t| <= 1/16, by its series.
double atan_reduced(double t) {
    const double s = t * t;
    double p = kReciprocal.of[17];
    for (int n = 15; n >= 1; n -= 2) p = kReciprocal.of[n] - s * p;
    return t * p;
}

}  // namespace

double exp(double x) {
    if (std::isnan(x)) return x;
    if (x > kExpOverflow) return kInf;
    if (x < -745.2) return 0.0;
    return exp_scaled(x, -0.0);  // adding -0 is no operation: the compiler leaves it out
}

double log(double x) {
    if (std::isnan(x) || x < 0.0) return kNaN;
    if (x == 0.0) return -kInf;
    if (std::isinf(x)) return kInf;
    int e = 0;
    const double m = mantissa_near_one(x, e);
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

namespace {

// x^y for a finite x > 0 and a finite y past pow's window, t = y ln x as rounded.
double pow_far(double x, double y, double t) {
    if (!(std::fabs(t) <= 1500.0)) return t > 0.0 ? kInf : 0.0;
    const Pair ln = log_pair(x);
    const Pair yl = two_product(y, ln.hi);
    return exp_scaled(yl.hi, yl.lo + y * ln.lo);
}

// x^y where pow's common path does not reach: NaN, infinities, zeros, negative bases and powers
// past the window. Out of line, so that the common path is as short as it always was.
[[gnu::noinline]] double pow_rest(double x, double y) {
    if (y == 0.0 || x == 1.0) return 1.0;
    if (std::isnan(x) || std::isnan(y)) return kNaN;
    if (std::isinf(y)) {
        const double a = std::fabs(x);
        if (a == 1.0) return 1.0;
        return (a < 1.0) == (y < 0.0) ? kInf : 0.0;
    }
    // A negative base takes an integer power only, its sign by the power's parity (any power
    // of -0 and of -infinity has one).
    double sign = 1.0;
    if (std::signbit(x)) {
        const bool whole = std::floor(y) == y;
        if (!whole && x != 0.0 && !std::isinf(x)) return kNaN;
        if (whole && std::fabs(y) < 9007199254740992.0 && std::fmod(y, 2.0) != 0.0) sign = -1.0;
        x = -x;
    }
    if (x == 0.0) return sign * (y > 0.0 ? 0.0 : kInf);
    if (std::isinf(x)) return sign * (y > 0.0 ? kInf : 0.0);
    if (x == 1.0) return sign;
    const double t = y * log(x);
    if (t >= kPlainPowLow && t <= kPlainPowHigh) return sign * exp_scaled(t, -0.0);
    return sign * pow_far(x, y, t);
}

}  // namespace

double pow(double x, double y) {
    return pow_of(PowBase(x), y);
}

double pow_of(const PowBase& base, double y) {
    // x > 0 and y ln x in the window (so both finite): e^(y ln x), which is 1 for y = 0 and for
    // x = 1 as they need.
    if (base.x > 0.0) {
        const double t = y * base.log_x;
        if (t >= kPlainPowLow && t <= kPlainPowHigh) return exp_scaled(t, -0.0);
    }
    return pow_rest(base.x, y);
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

double atan(double x) {
    if (std::isnan(x)) return x;
    const double a = std::fabs(x);
    double s = 0.0;
    if (a > 1.0) {
        // pi/2 - atan (1/a); past 2^54 that is pi/2 itself.
        s = kPio2Hi - (atan(1.0 / a) - kPio2Lo);
    } else {
        // atan a = atan c + atan ((a - c) / (1 + c a)), c the nearest eighth.
        const int j = static_cast<int>(std::floor(a * 8.0 + 0.5));
        if (j == 0) {
            s = atan_reduced(a);
        } else {
            const double c = j / 8.0;
            const double t = (a - c) / (1.0 + c * a);
            s = kAtanEighths[j - 1][0] + (atan_reduced(t) + kAtanEighths[j - 1][1]);
        }
    }
    return std::signbit(x) ? -s : s;
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
    } else if (a < 709.0) {
        const double e = exp(a);
        s = 0.5 * (e - 1.0 / e);
    } else {
        // e^a / 2 as (e^(a/2) / 2) e^(a/2), finite where e^a alone is not.
        const double h = exp(0.5 * a);
        s = (0.5 * h) * h;
    }
    return std::signbit(x) ? -s : s;
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
    return std::signbit(x) ? -s : s;
}

}  // namespace portable
