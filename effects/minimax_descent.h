// A minimax descent over a vector of parameters: minimises the largest |r_j(x)| of a set of
// residuals by sequential linear programming in a trust region.
//
// Each iteration takes the Jacobian J by forward differences and solves the linear programme
//   min t  subject to  -t <= r_j + J_j d <= t  for the points j of a working set,
//                      |d_i| <= radius x s_i  (narrowed where `project` holds x),
// whose working set is the points with |r_j| within a fraction of the current worst plus the
// last step's active points, so the programme stays small. s_i is parameter i's difference step
// scaled by how little it moves the residuals (within a factor of 10 either way), so that the
// box is about as wide in every parameter in what it does. The step is kept when the worst case
// over all the points falls; the ratio of that fall to the one the programme promised grows or
// shrinks the radius. The programme is solved through its dual (n + 1 rows, two columns per point
// and per parameter) by a revised simplex with a fixed pivot rule. Plain arithmetic and a fixed
// order of sums only, so the result is the same on every platform.
#pragma once

#include <cstddef>
#include <functional>
#include <vector>

#include "effects/least_squares.h"

// Fills r[w] with the residual of row rows[w] at x, for w over rows.
using RowResidualFunction = std::function<void(
    const std::vector<double>& x, const std::vector<std::size_t>& rows, std::vector<double>& r)>;

struct MinimaxOptions {
    // The residuals of the working set alone, for the Jacobian (may be empty: all the residuals
    // are worked out and the working set's taken).
    RowResidualFunction row_residuals;
    // The programme takes every point whose |r_j| is at least this fraction of the worst.
    double working_fraction = 0.6;
    // The trust region's half-width, in units of the difference steps: where it starts, its
    // limits, and the width below which the descent gives up.
    double initial_radius = 300.0;
    double largest_radius = 1e5;
    double smallest_radius = 0.5;
    // A step whose fall is under this fraction of the promised one shrinks the radius to a
    // quarter; one over that fraction, at the edge of the box, doubles it.
    double shrink_below = 0.1;
    double grow_above = 0.5;
    // The descent ends once a kept step lowers the worst case by less than this fraction, or to
    // at most `stop_at`.
    double least_gain = 1e-6;
    double stop_at = 0.0;
};

struct MinimaxResult {
    std::vector<double> best;
    double value = 0.0;  // the largest |r_j| at best
    int evaluations = 0;
    int iterations = 0;
};

// Minimises max_j |r_j(x)| from `start` with difference steps `steps` (one per parameter);
// `project` (may be empty) maps a trial point onto the feasible set before it is scored; `done`
// (may be empty) is asked after each kept step and ends the descent when it says so. Runs at most
// `iterations` linear programmes.
MinimaxResult minimax_descent(const ResidualFunction& residuals, const std::vector<double>& start,
                              const std::vector<double>& steps, int iterations,
                              const std::function<void(std::vector<double>&)>& project,
                              const std::function<bool(const std::vector<double>&)>& done,
                              const MinimaxOptions& options = {});

// The linear programme alone: min t subject to -t <= r[j] + sum_i g[j * n + i] u_i <= t for
// every row j and lo[i] <= u_i <= hi[i] (lo[i] <= 0 <= hi[i]). Fills u and the rows that bind at
// the optimum; returns t, or the largest |r[j]| (with u = 0) when the solver gives up.
struct MinimaxLpResult {
    std::vector<double> u;
    std::vector<std::size_t> active;
    double t = 0.0;
    bool solved = false;
};
MinimaxLpResult minimax_lp(const std::vector<double>& r, const std::vector<double>& g,
                           const std::vector<double>& lo, const std::vector<double>& hi);
