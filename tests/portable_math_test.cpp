// The portable elementary functions against the C library's, over the ranges the EQ fit and the
// stand-ins use and over the rest of their domain, at the points where a result must be exact,
// and at the bits the fit's results rest on.
#include "util/portable_math.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <numbers>
#include <random>

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

// Relative distance, or absolute near 0.
double distance(double got, double want) {
    return want == 0.0 ? std::fabs(got) : std::fabs(got - want) / std::fabs(want);
}

// Units in the last place between two doubles (0 for two NaNs).
std::uint64_t ulps(double a, double b) {
    if (std::isnan(a) && std::isnan(b)) return 0;
    if (a == b) return 0;
    const auto ordered = [](double v) {
        const auto bits = std::bit_cast<std::int64_t>(v);
        return bits < 0 ? std::numeric_limits<std::int64_t>::min() - bits : bits;
    };
    const std::int64_t x = ordered(a), y = ordered(b);
    return x > y ? static_cast<std::uint64_t>(x - y) : static_cast<std::uint64_t>(y - x);
}

bool same_bits(double a, double b) {
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

TEST(PortableMath, FollowsTheLibraryToAFewUnitsInTheLastPlace) {
    // A few units in the last place (tan near its poles magnifies the argument's rounding).
    double worst[9] = {};
    for (int i = -4000; i <= 4000; ++i) {
        const double t = i / 4000.0;
        worst[0] = std::max(worst[0], distance(portable::exp(50 * t), std::exp(50 * t)));
        const double y = std::exp(60 * t);
        worst[1] = std::max(worst[1], distance(portable::log(y), std::log(y)));
        worst[2] = std::max(worst[2], std::fabs(portable::sin(10 * t) - std::sin(10 * t)));
        worst[3] = std::max(worst[3], std::fabs(portable::cos(10 * t) - std::cos(10 * t)));
        worst[4] = std::max(worst[4], distance(portable::tan(1.5 * t), std::tan(1.5 * t)));
        worst[5] = std::max(worst[5], distance(portable::pow(10, t), std::pow(10, t)));
        worst[6] = std::max(worst[6], distance(portable::sinh(3 * t), std::sinh(3 * t)));
        worst[7] = std::max(worst[7], distance(portable::asinh(y), std::asinh(y)));
        worst[8] = std::max(worst[8], distance(portable::from_db(40 * t), std::pow(10, 2 * t)));
    }
    for (int f = 0; f < 9; ++f) EXPECT_LT(worst[f], 2e-15) << f;
}

TEST(PortableMath, ExactAndEdgeValues) {
    EXPECT_EQ(portable::exp(0.0), 1.0);
    EXPECT_EQ(portable::log(1.0), 0.0);
    EXPECT_EQ(portable::sin(0.0), 0.0);
    EXPECT_EQ(portable::cos(0.0), 1.0);
    EXPECT_EQ(portable::pow(2.0, 0.0), 1.0);
    EXPECT_EQ(portable::pow(0.0, 2.0), 0.0);
    EXPECT_EQ(portable::pow(1.0, 1e300), 1.0);
    EXPECT_EQ(portable::log(0.0), -kInf);
    EXPECT_TRUE(std::isnan(portable::log(-1.0)));
    EXPECT_TRUE(std::isnan(portable::pow(-2.0, 0.5)));
    EXPECT_TRUE(std::isnan(portable::sin(kInf)));
    EXPECT_EQ(portable::exp(1000.0), kInf);
    EXPECT_EQ(portable::exp(-1000.0), 0.0);
    EXPECT_EQ(portable::asinh(-2.0), -portable::asinh(2.0));
    EXPECT_EQ(portable::sinh(-0.25), -portable::sinh(0.25));
    EXPECT_NEAR(portable::sin(std::numbers::pi), 0.0, 1e-15);
}

// Special operands give C's results, signed zeros included.
TEST(PortableMath, SpecialOperandsFollowC) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double tiny = std::numeric_limits<double>::denorm_min();
    struct Case {
        const char* what;
        double got, want;
    };
    const Case cases[] = {
        {"pow(-3, 1e300)", portable::pow(-3.0, 1e300), kInf},
        {"pow(-1, inf)", portable::pow(-1.0, kInf), 1.0},
        {"pow(1, NaN)", portable::pow(1.0, nan), 1.0},
        {"pow(NaN, 0)", portable::pow(nan, 0.0), 1.0},
        {"pow(-8, 1/3)", portable::pow(-8.0, 1.0 / 3), nan},
        {"pow(-0, 3)", portable::pow(-0.0, 3.0), -0.0},
        {"pow(-0, 2)", portable::pow(-0.0, 2.0), 0.0},
        {"pow(-0, -3)", portable::pow(-0.0, -3.0), -kInf},
        {"pow(-0, 0.5)", portable::pow(-0.0, 0.5), 0.0},
        {"pow(-inf, 3)", portable::pow(-kInf, 3.0), -kInf},
        {"pow(-inf, -3)", portable::pow(-kInf, -3.0), -0.0},
        {"pow(-inf, 0.5)", portable::pow(-kInf, 0.5), kInf},
        {"pow(0.5, inf)", portable::pow(0.5, kInf), 0.0},
        {"pow(0.5, -inf)", portable::pow(0.5, -kInf), kInf},
        {"pow(2, -inf)", portable::pow(2.0, -kInf), 0.0},
        {"pow(2, 1024)", portable::pow(2.0, 1024.0), kInf},
        {"pow(2, -1074)", portable::pow(2.0, -1074.0), tiny},
        {"pow(2, -1076)", portable::pow(2.0, -1076.0), 0.0},
        {"pow(tiny, 0.5)", portable::pow(tiny, 0.5), std::ldexp(1.0, -537)},
        {"exp(-0)", portable::exp(-0.0), 1.0},
        {"exp(inf)", portable::exp(kInf), kInf},
        {"exp(-inf)", portable::exp(-kInf), 0.0},
        {"exp(709.79)", portable::exp(709.79), kInf},
        {"exp(-745.14)", portable::exp(-745.14), 0.0},
        {"exp(-745.13)", portable::exp(-745.13), tiny},
        {"log(tiny)", portable::log(tiny), -744.4400719213812},
        {"log(inf)", portable::log(kInf), kInf},
        {"log(-0)", portable::log(-0.0), -kInf},
        {"sin(-0)", portable::sin(-0.0), -0.0},
        {"sin(tiny)", portable::sin(tiny), tiny},
        {"cos(-inf)", portable::cos(-kInf), nan},
        {"tan(-0)", portable::tan(-0.0), -0.0},
        {"atan(-0)", portable::atan(-0.0), -0.0},
        {"atan(tiny)", portable::atan(tiny), tiny},
        {"atan(inf)", portable::atan(kInf), std::numbers::pi / 2},
        {"atan(-inf)", portable::atan(-kInf), -std::numbers::pi / 2},
        {"atan(1)", portable::atan(1.0), std::numbers::pi / 4},
        {"atan(NaN)", portable::atan(nan), nan},
        {"sinh(-0)", portable::sinh(-0.0), -0.0},
        {"sinh(-inf)", portable::sinh(-kInf), -kInf},
        {"sinh(710.48)", portable::sinh(710.48), kInf},
        {"asinh(-0)", portable::asinh(-0.0), -0.0},
        {"asinh(-inf)", portable::asinh(-kInf), -kInf},
    };
    for (const Case& c : cases) {
        if (std::isnan(c.want)) {
            EXPECT_TRUE(std::isnan(c.got)) << c.what << " = " << c.got;
        } else {
            EXPECT_TRUE(same_bits(c.got, c.want)) << c.what << " = " << c.got;
        }
    }
}

// Far from the fit's ranges, against correctly rounded values: the reduction of large arguments
// (down to the double nearest a multiple of pi/2 of them all, 6381956970095103 2^797, whose
// cosine is -4.7e-19: worked out exactly, as glibc's is 8 units off there), the overflow edges of
// exp and sinh, negative bases and long powers (inside pow's window a few units more).
TEST(PortableMath, RightFarFromTheFitRanges) {
    struct Case {
        const char* what;
        double got, want;
        std::uint64_t most_ulps;
    };
    const double hard = std::ldexp(6381956970095103.0, 797);
    const double largest = std::numeric_limits<double>::max();
    const Case cases[] = {
        {"sin(1600000.5)", portable::sin(1600000.5), -0.07204020908138985, 2},
        {"sin(1e7)", portable::sin(1e7), 0.4205477931907825, 2},
        {"cos(1e7)", portable::cos(1e7), -0.9072703861817396, 2},
        {"sin(3.4e16)", portable::sin(3.4e16), 0.5028519377319924, 2},
        {"cos(3.4e16)", portable::cos(3.4e16), -0.864372563608529, 2},
        {"sin(1e22)", portable::sin(1e22), -0.8522008497671888, 2},
        {"cos(1e22)", portable::cos(1e22), 0.523214785395139, 2},
        {"tan(1e22)", portable::tan(1e22), -1.6287782256068988, 3},
        {"sin(-1e22)", portable::sin(-1e22), 0.8522008497671888, 2},
        {"sin(largest)", portable::sin(largest), 0.004961954789184062, 2},
        {"cos(largest)", portable::cos(largest), -0.9999876894265599, 2},
        {"sin(hard)", portable::sin(hard), 1.0, 1},
        {"cos(hard)", portable::cos(hard), -4.687165924254628e-19, 1},
        {"exp(709.782712893384)", portable::exp(709.782712893384), 1.7976931348622732e308, 2},
        {"sinh(710.4758600739439)", portable::sinh(710.4758600739439), 1.7976931348621744e308, 3},
        {"atan(0.3)", portable::atan(0.3), 0.2914567944778671, 2},
        {"atan(-7.5)", portable::atan(-7.5), -1.4382447944982226, 2},
        {"atan(1e300)", portable::atan(1e300), 1.5707963267948966, 0},
        {"pow(-2, 3)", portable::pow(-2.0, 3.0), -8.0, 8},
        {"pow(-2, -2)", portable::pow(-2.0, -2.0), 0.25, 8},
        {"pow(-1.5, 7)", portable::pow(-1.5, 7.0), -17.0859375, 8},
        {"pow(10, 100)", portable::pow(10.0, 100.0), 1e100, 2},
        {"pow(10, 308)", portable::pow(10.0, 308.0), 1e308, 2},
        {"pow(-10, 307)", portable::pow(-10.0, 307.0), -1e307, 2},
        {"pow(1.0000001, 1e9)", portable::pow(1.0000001, 1e9), 2.6881038582144647e43, 2},
    };
    for (const Case& c : cases) {
        EXPECT_LE(ulps(c.got, c.want), c.most_ulps) << c.what << " = " << c.got;
    }
}

// Random arguments over each function's whole domain against the C library's, where that
// library reduces large arguments exactly (some reduce them by a 66-bit pi and are far off).
TEST(PortableMath, SweepsTheWholeDomainAgainstTheLibrary) {
    // Through a volatile, so that the compiler does not work the library's answers out itself.
    volatile double probe[3] = {1e22, -9.8648608750943569e+224, 709.78};
    if (ulps(std::sin(probe[0]), -0.8522008497671888) > 1 ||
        ulps(std::sin(probe[1]), 0.99989921294166195) > 1 ||
        ulps(std::exp(probe[2]), 1.7928227943945155e308) > 1) {
        GTEST_SKIP() << "this C library does not reduce large arguments exactly";
    }
    std::mt19937_64 random(52);
    const auto uniform = [&](double lo, double hi) {
        return std::uniform_real_distribution<double>(lo, hi)(random);
    };
    const auto log_uniform = [&](double lo, double hi) {
        return std::exp(uniform(std::log(lo), std::log(hi)));
    };
    const auto sign = [&] { return uniform(0, 1) < 0.5 ? -1.0 : 1.0; };
    struct Sweep {
        const char* what;
        std::function<double()> argument;
        double (*ours)(double);
        double (*library)(double);
        std::uint64_t most_ulps;
    };
    const Sweep sweeps[] = {
        {"sin", [&] { return sign() * log_uniform(1e-300, 1e308); }, portable::sin,
         [](double x) { return std::sin(x); }, 3},
        {"cos", [&] { return sign() * log_uniform(1, 1e308); }, portable::cos,
         [](double x) { return std::cos(x); }, 3},
        {"tan", [&] { return sign() * log_uniform(1, 1e308); }, portable::tan,
         [](double x) { return std::tan(x); }, 4},
        {"exp", [&] { return uniform(-745.2, 709.8); }, portable::exp,
         [](double x) { return std::exp(x); }, 2},
        {"sinh", [&] { return uniform(-711, 711); }, portable::sinh,
         [](double x) { return std::sinh(x); }, 4},
        {"log", [&] { return log_uniform(4.9e-324, 1.7e308); }, portable::log,
         [](double x) { return std::log(x); }, 2},
        {"atan", [&] { return sign() * log_uniform(1e-300, 1e300); }, portable::atan,
         [](double x) { return std::atan(x); }, 2},
        {"asinh", [&] { return sign() * log_uniform(1e-300, 1e300); }, portable::asinh,
         [](double x) { return std::asinh(x); }, 4},
    };
    for (const Sweep& s : sweeps) {
        std::uint64_t worst = 0;
        double at = 0.0;
        for (int i = 0; i < 20000; ++i) {
            const double x = s.argument();
            const std::uint64_t u = ulps(s.ours(x), s.library(x));
            if (u > worst) worst = u, at = x;
        }
        EXPECT_LE(worst, s.most_ulps) << s.what << " at " << at;
    }
    // pow past the window where it keeps the fit's form, negative bases with integer powers.
    std::uint64_t worst = 0;
    for (int i = 0; i < 20000; ++i) {
        double x = log_uniform(1e-300, 1e300);
        double t = uniform(-745, 709);
        if (t > -64.0 && t < 8.0) t -= 72.0;
        double y = t / std::log(x);
        if (i % 3 == 0) y = std::round(y), x = -x;
        worst = std::max(worst, ulps(portable::pow(x, y), std::pow(x, y)));
    }
    EXPECT_LE(worst, 2u) << "pow";
}

// Results the fit, the curves and the stand-ins are built on: a change in any of these bits
// changes EQ3 projects.
TEST(PortableMath, KeepsTheBitsTheFitRestsOn) {
    struct Case {
        const char* what;
        double got, bits;
    };
    const Case cases[] = {
        {"pow(2, 73/12)", portable::pow(2.0, 73.0 / 12), 0x1.0f38f92d97962p+6},
        {"pow(10, -13.5/40)", portable::pow(10.0, -13.5 / 40), 0x1.d6c2abf3508dp-2},
        {"pow(3.7e-40, 1/8)", portable::pow(3.7e-40, 1.0 / 8), 0x1.8b2974cb49a7p-17},
        {"cos(2 pi 12001/48000)", portable::cos(2 * std::numbers::pi * 12001 / 48000),
         -0x1.12843ce3525c6p-13},
        {"sin(pi 19000/44100)", portable::sin(std::numbers::pi * 19000 / 44100),
         0x1.f3f64811c97adp-1},
        {"tan(pi 9000/48000)", portable::tan(std::numbers::pi * 9000 / 48000), 0x1.561b82ab7f99p-1},
        {"exp(-3.1)", portable::exp(-3.1), 0x1.710b065fb809fp-5},
        {"log(0.0123)", portable::log(0.0123), -0x1.197b635f81342p+2},
        {"log10(7.77e-5)", portable::log10(7.77e-5), -0x1.0703578f250f8p+2},
        {"sinh(0.3)", portable::sinh(0.3), 0x1.37d42af54b926p-2},
        {"sinh(2.5)", portable::sinh(2.5), 0x1.83368cdb0b6d3p+2},
        {"asinh(0.07)", portable::asinh(0.07), 0x1.1e7c82192e48p-4},
        {"from_db(-7.3)", portable::from_db(-7.3), 0x1.b9e0230a4d2bfp-2},
    };
    for (const Case& c : cases) EXPECT_TRUE(same_bits(c.got, c.bits)) << c.what;
}

// A base whose logarithm is kept gives pow's own bits, in pow's window and past it, for every
// kind of base; exp and log scale by the exponent's bits only where that is exact, so their
// results at the edges of the doubles are the library's ldexp and frexp ones.
TEST(PortableMath, PowersOfAKeptBaseAndTheScalingEdges) {
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> power(-60.0, 60.0);
    for (const double base : {10.0, 2.0, 0.37, 1.0, 1e-300, 7e300, 0.0, -2.0, kInf}) {
        const portable::PowBase kept(base);
        for (int i = 0; i < 2000; ++i) {
            const double y = i < 4 ? std::array<double, 4>{0.0, 1.0, -1.0, 0.5}[i] : power(random);
            ASSERT_TRUE(same_bits(portable::pow_of(kept, y), portable::pow(base, y)))
                << base << "^" << y;
        }
    }
    // e^x near the ends of the doubles: subnormal results, the last normal ones, overflow.
    for (const double x : {-745.1, -744.0, -708.5, -708.39, -700.0, 700.0, 709.0, 709.78}) {
        EXPECT_LE(ulps(portable::exp(x), std::exp(x)), 2u) << x;
    }
    // ln x for subnormal, smallest normal, and the largest doubles.
    for (const double x :
         {4.9e-324, 1e-310, 2.2250738585072014e-308, 1e-300, 1.7976931348623157e308}) {
        EXPECT_LE(ulps(portable::log(x), std::log(x)), 2u) << x;
    }
}

}  // namespace
