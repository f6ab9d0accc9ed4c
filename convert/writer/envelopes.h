// Automation envelopes in the project text: times of stored breakpoints in seconds, the envelope
// block with its PT lines, and cutting a point list at a time.
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "model/curves.h"

enum class EnvelopeKind : int {
    volume = 0,    // tenths of a dB -> amplitude
    mute = 1,      // 1 muted -> 0, anything else -> 1
    pan = 2,       // percent, -100 left -> REAPER's envelope pan (1 left)
    dual_pan = 3,  // as pan
};

// Seconds of a stored breakpoint time: samples over the session rate, or ticks through the
// session's tempo map (`ticks_to_seconds` with the session tempo).
double automation_time_seconds(double time, bool in_ticks);

// The envelope value of a stored breakpoint value.
double envelope_value(double stored, EnvelopeKind kind);

// Writes the <NAME block: a first point at 0 with the curve's initial value, then one point per
// breakpoint. A curve without breakpoints writes nothing unless `force`. ACT takes
// settings.envelope_active; ARM is settings.envelope_arm for the track's own volume, pan and mute
// envelopes and 0 for the others. Returns the number of breakpoints written.
int write_envelope(std::FILE* file, const std::string& name, const AutomationCurve& curve,
                   EnvelopeKind kind, const char* indent, bool force);

// Cuts a point list at time t for a clip whose head is cut: with at least two points, t > 0 and
// t + 1e-9 before the last point, the list becomes {0, value at t} followed by the later points
// moved back by t, and the value at t is returned. Otherwise the list is left alone and nothing
// is returned (a value of its own, not a sentinel, since -1 is a valid gain).
std::optional<double> curve_value_at(std::vector<CurvePoint>& points, double t);
