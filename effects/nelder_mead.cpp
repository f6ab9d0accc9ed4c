#include "effects/nelder_mead.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>

namespace {

struct Vertex {
    std::vector<double> x;
    double value = 0.0;
};

double checked(double value) {
    return std::isnan(value) ? std::numeric_limits<double>::infinity() : value;
}

// c + t (p - c)
std::vector<double> along(const std::vector<double>& c, const std::vector<double>& p, double t) {
    std::vector<double> out(c.size());
    for (std::size_t i = 0; i < c.size(); ++i) out[i] = c[i] + t * (p[i] - c[i]);
    return out;
}

}  // namespace

SimplexResult nelder_mead_minimize(
    const std::function<double(const std::vector<double>&)>& objective,
    const std::vector<double>& start, const std::vector<double>& steps, int iterations,
    double stop_below, double converged_spread) {
    const std::size_t n = start.size();
    const auto evaluate = [&](std::vector<double> x) {
        const double value = checked(objective(x));
        return Vertex{std::move(x), value};
    };

    std::vector<Vertex> simplex;
    simplex.reserve(n + 1);
    simplex.push_back(evaluate(start));
    for (std::size_t i = 0; i < n; ++i) {
        std::vector<double> x = start;
        x[i] += steps[i];
        simplex.push_back(evaluate(std::move(x)));
    }
    const auto by_value = [](const Vertex& a, const Vertex& b) { return a.value < b.value; };
    std::stable_sort(simplex.begin(), simplex.end(), by_value);

    for (int it = 0; it < iterations && n > 0; ++it) {
        if (simplex[0].value <= stop_below) break;
        if (simplex[n].value - simplex[0].value <= converged_spread) break;
        std::vector<double> centroid(n, 0.0);
        for (std::size_t v = 0; v < n; ++v) {
            for (std::size_t i = 0; i < n; ++i) centroid[i] += simplex[v].x[i];
        }
        for (double& c : centroid) c /= static_cast<double>(n);

        Vertex& worst = simplex[n];
        Vertex reflected = evaluate(along(centroid, worst.x, -1.0));
        bool shrink = false;
        if (reflected.value < simplex[0].value) {
            Vertex expanded = evaluate(along(centroid, worst.x, -2.0));
            worst = expanded.value < reflected.value ? std::move(expanded) : std::move(reflected);
        } else if (reflected.value < simplex[n - 1].value) {
            worst = std::move(reflected);
        } else if (reflected.value < worst.value) {
            Vertex outside = evaluate(along(centroid, reflected.x, 0.5));
            if (outside.value <= reflected.value) {
                worst = std::move(outside);
            } else {
                shrink = true;
            }
        } else {
            Vertex inside = evaluate(along(centroid, worst.x, 0.5));
            if (inside.value < worst.value) {
                worst = std::move(inside);
            } else {
                shrink = true;
            }
        }
        if (shrink) {
            for (std::size_t v = 1; v <= n; ++v) {
                simplex[v] = evaluate(along(simplex[0].x, simplex[v].x, 0.5));
            }
        }
        std::stable_sort(simplex.begin(), simplex.end(), by_value);
    }
    return SimplexResult{simplex[0].x, simplex[0].value};
}
