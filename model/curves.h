// Breakpoint envelopes as read from the session. Volume values are tenths of a dB, mute 1 means
// muted, pan is percent (-100 left to 100 right).
#pragma once

#include <cstdint>
#include <vector>

struct CurvePoint {
    double time = 0.0;  // ticks or samples as stored, see AutomationCurve::in_ticks
    double value = 0.0;
};

struct AutomationCurve {
    std::vector<CurvePoint> points;
    double initial_value = 0.0;
    std::uint8_t in_ticks = 0;  // point times are ticks, else samples
    std::uint8_t has_data = 0;  // the stored list marks itself as holding automation
};
