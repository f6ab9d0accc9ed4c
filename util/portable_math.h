// Elementary functions that give the same bits on every platform.
//
// The C libraries of the platforms the program is built for round exp, log, pow, sin and cos
// differently in their last bits. Where such a result feeds a decision (the EQ fit's search is
// chaotic: one last bit can choose another band) or is written into a project, the program uses
// these instead: each is built from + - * /, sqrt, floor, frexp and ldexp alone, which IEEE 754
// makes exact or correctly rounded everywhere, in a fixed order. They are accurate to a few
// units in the last place, not correctly rounded.
#pragma once

namespace portable {

double exp(double x);
double log(double x);
double log10(double x);
// x^y for x > 0 (and 0^y = 0 for y > 0, x^0 = 1); NaN for x < 0 or NaN.
double pow(double x, double y);
// 10^(db / 20): the amplitude of a level in dB.
double from_db(double db);
double sin(double x);
double cos(double x);
double tan(double x);
double sinh(double x);
double asinh(double x);

}  // namespace portable
