// The standard Nelder-Mead downhill simplex over a vector of parameters.
//
// Each iteration reflects the worst vertex through the centroid of the others (coefficient 1).
// A reflection better than the best vertex tries an expansion (2) and keeps it when it beats the
// reflection; one between the best and the second worst is kept; one that beats only the worst
// vertex is contracted outside (0.5 of the way from the centroid to the reflection); one that
// beats none is contracted inside (halfway to the worst vertex). A contraction that fails shrinks
// every vertex halfway towards the best. Vertices are kept in a stable order by value, so equal
// values keep the order they had; NaN values count as worse than any number.
#pragma once

#include <functional>
#include <limits>
#include <vector>

struct SimplexResult {
    std::vector<double> best;
    double value = 0.0;
};

// Minimises `objective` from `start`; vertex i + 1 is the start with steps[i] added to parameter
// i. Runs `iterations` iterations (none for 0 or less) and returns the best vertex seen. It stops
// early once the best value is at most `stop_below`, or once the values of all vertices lie
// within `converged_spread` of each other (a simplex shrunk that far moves no more).
SimplexResult nelder_mead_minimize(
    const std::function<double(const std::vector<double>&)>& objective,
    const std::vector<double>& start, const std::vector<double>& steps, int iterations,
    double stop_below = -std::numeric_limits<double>::infinity(), double converged_spread = -1.0);
