// How REAPER plays what the EQ3 stand-ins write, as the EQ benches read it back: a fact of the
// JS effect, kept here so both benches measure the programs they compare by the same rule.
#pragma once

#include <cmath>

// Liteon's one-pole JS plays 8.17742 x 1.059^(16 + 1.20103 v) for its slider v, rounded down to
// a whole Hz.
inline double js_played_hz(double slider) {
    return std::floor(8.17742 * std::pow(1.059, 16.0 + 1.20103 * slider));
}
