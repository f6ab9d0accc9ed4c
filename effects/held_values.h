// Numbers held to their limits where NaN and infinities may arrive from a session's bytes: NaN
// goes to the lower limit and a gain that is not finite to 0 dB, so none reaches a band, a
// printed number or a search.
#pragma once

#include <algorithm>
#include <cmath>

// x held to lo..hi; NaN at lo.
inline double hold_to(double x, double lo, double hi) {
    if (std::isnan(x)) return lo;
    return std::min(std::max(x, lo), hi);
}

inline double finite_gain_db(double gain_db) {
    return std::isfinite(gain_db) ? gain_db : 0.0;
}
