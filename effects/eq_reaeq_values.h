// How a band's Q becomes the value ReaEQ stores, and back: shelves store a slope value, every
// other band a bandwidth in octaves. Also the Q correction of EQ3's bells.
//
// ReaEQ reads a bandwidth BW at w0 = 2 pi f / rate as the RBJ cookbook does, with w' = min(w0,
// pi/2): 1/Q = 2 sinh(ln 2 / 2 x BW x w' / sin w'). A shelf value v is read as the cookbook's
// slope S = 1 / v^2, which ReaEQ holds to at most 1.2.
#pragma once

// The largest shelf Q whose slope stays below ReaEQ's 1.2:
// 0.9999 / sqrt(2 - (A + 1/A) / 6), A = 10^(gain / 40); 0.7745 at 0 dB, 0.7945 at +-12 dB.
double eq_shelf_q_cap(double gain_db);

// The slope value written for a shelf: v = (1/Q^2 - 2) / (A + 1/A) + 1, the value 1 / sqrt(1/v),
// or sqrt(5/6) (slope 1.2) when v <= 1e-9 or 1/v > 1.2.
double eq_shelf_q_to_slope(double gain_db, double q);
// The shelf Q ReaEQ plays for a slope value.
double reaeq_slope_to_shelf_q(double gain_db, double value);

// Bandwidth in octaves as (2 / ln 2) asinh(1 / (2Q)) x w'/sin w'. It is not the inverse of
// ReaEQ's reading (it widens by (w'/sin w')^2 as heard), so no stand-in writes it; the EQ bench
// uses it for comparison.
double eq_q_to_bandwidth_oct(double f, double q, double rate);
// The exact inverse of ReaEQ's reading: (2 / ln 2) asinh(1 / (2Q)) x sin w'/w'.
double eq_q_to_reaeq_bandwidth_oct(double f, double q, double rate);
// The Q ReaEQ plays for a bandwidth.
double reaeq_bandwidth_oct_to_q(double f, double bandwidth_oct, double rate);

// Q times a correction factor interpolated over |gain| (1 to 18 dB, linear) and Q (0.1 to 10, in
// ln Q); Q is held to 0.1..10 first, |gain| at 18 and above reads the 18 dB column, below 1 dB
// the factor blends towards 1; the result is at least 0.1. NaN reads as the lower limits.
double eq_corrected_q(double gain_db, double q);
