// The portable elementary functions against the C library's, over the ranges the EQ fit and the
// stand-ins use, and at the points where a result must be exact.
#include "util/portable_math.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace {

// Relative distance, or absolute near 0.
double distance(double got, double want) {
    return want == 0.0 ? std::fabs(got) : std::fabs(got - want) / std::fabs(want);
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
    EXPECT_EQ(portable::log(0.0), -std::numeric_limits<double>::infinity());
    EXPECT_TRUE(std::isnan(portable::log(-1.0)));
    EXPECT_TRUE(std::isnan(portable::pow(-2.0, 0.5)));
    EXPECT_TRUE(std::isnan(portable::sin(std::numeric_limits<double>::infinity())));
    EXPECT_EQ(portable::exp(1000.0), std::numeric_limits<double>::infinity());
    EXPECT_EQ(portable::exp(-1000.0), 0.0);
    EXPECT_EQ(portable::asinh(-2.0), -portable::asinh(2.0));
    EXPECT_EQ(portable::sinh(-0.25), -portable::sinh(0.25));
    EXPECT_NEAR(portable::sin(std::numbers::pi), 0.0, 1e-15);
}

}  // namespace
