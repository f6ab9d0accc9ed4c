// Levenberg-Marquardt over a vector of parameters: minimises the sum of the squares of a set of
// residuals, each step solving (J'J + lambda diag(J'J)) d = -J'r for the Jacobian J taken by
// forward differences. A step that lowers the sum is kept and lambda falls to a third; one that
// does not is tried again with lambda four times larger. Plain arithmetic and a fixed order of
// sums only, so the result is the same on every platform.
#pragma once

#include <functional>
#include <vector>

struct LeastSquaresResult {
    std::vector<double> best;
    double value = 0.0;  // the sum of squares at best
    int evaluations = 0;
};

// Fills r with the residuals at x (always the same count).
using ResidualFunction = std::function<void(const std::vector<double>& x, std::vector<double>& r)>;

// Minimises from `start` with difference steps `steps` (one per parameter); `project` (may be
// empty) maps a trial point onto the feasible set before it is scored; `done` (may be empty) is
// asked after each kept step and ends the search when it says so. Runs at most `iterations`
// steps and stops early when a step gains less than 1e-9 of the sum.
LeastSquaresResult levenberg_marquardt(const ResidualFunction& residuals,
                                       const std::vector<double>& start,
                                       const std::vector<double>& steps, int iterations,
                                       const std::function<void(std::vector<double>&)>& project,
                                       const std::function<bool(const std::vector<double>&)>& done);
