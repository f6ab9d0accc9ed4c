// Elementary functions that give the same bits on every platform.
//
// The C libraries of the platforms the program is built for round exp, log, pow, sin and cos
// differently in their last bits. Where such a result feeds a decision (the EQ fit's search is
// chaotic: one last bit can choose another band) or is written into a project, the program uses
// these instead: each is built from + - * /, sqrt, floor, fmod, frexp and ldexp alone, which
// IEEE 754 makes exact or correctly rounded everywhere, in a fixed order. They are accurate to a
// few units in the last place over their whole domain, not correctly rounded, and follow C's
// rules for NaN, infinities, signed zeros and subnormals.
//
// The results the EQ fit, the curves and the stand-ins were built on stay as they were: sin and
// cos reduce arguments up to 1.6e6 by parts of pi/2 (larger ones by the bits of 2/pi; the last
// part of pi/2 takes the few doubles next to its multiples to their true values, once up to 12
// units off), and pow is e^(y ln x) while -64 <= y ln x <= 8, within about 3 |y ln x| units there
// (outside, ln x is carried to twice the precision).
#pragma once

namespace portable {

double exp(double x);
double log(double x);
double log10(double x);
// x^y as C's pow: a negative x takes integer y only (NaN otherwise), its sign by y's parity.
double pow(double x, double y);
// A base whose logarithm is worked out once, for many powers of it: pow_of(base, y) is
// pow(base.x, y) to the bit.
struct PowBase {
    explicit PowBase(double base) : x(base), log_x(base > 0.0 ? log(base) : 0.0) {}
    double x, log_x;
};
double pow_of(const PowBase& base, double y);
// 10^(db / 20): the amplitude of a level in dB.
double from_db(double db);
double sin(double x);
double cos(double x);
double tan(double x);
double atan(double x);
double sinh(double x);
double asinh(double x);

}  // namespace portable
