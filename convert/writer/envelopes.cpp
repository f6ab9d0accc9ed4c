#include "convert/writer/envelopes.h"

#include <cmath>
#include <utility>

#include "convert/run_state.h"
#include "session/tempo_map.h"
#include "util/number_text.h"
#include "util/portable_math.h"

double automation_time_seconds(double time, bool in_ticks) {
    if (in_ticks) return ticks_to_seconds(session_tempo_map, time, settings.session_tempo);
    const double rate = settings.sample_rate > 0.0 ? settings.sample_rate : 48000.0;
    return time / rate;
}

double envelope_value(double stored, EnvelopeKind kind) {
    switch (kind) {
        case EnvelopeKind::volume:
            return portable::from_db(stored / 10.0);
        case EnvelopeKind::mute:
            return stored == 1.0 ? 0.0 : 1.0;
        case EnvelopeKind::pan:
        case EnvelopeKind::dual_pan:
            return -stored / 100.0;
    }
    return stored;
}

namespace {

// The track's own envelopes follow its arm state; sends and the master's never arm.
bool arms_with_track(const std::string& name) {
    for (const char* armed : {"VOLENV2", "PANENV2", "MUTEENV", "DUALPANENVL2", "DUALPANENV2"})
        if (name == armed) return true;
    return false;
}

}  // namespace

int write_envelope(std::FILE* file, const std::string& name, const AutomationCurve& curve,
                   EnvelopeKind kind, const char* indent, bool force) {
    if (curve.points.empty() && !force) return 0;
    const int arm = settings.envelope_arm && arms_with_track(name) ? 1 : 0;
    const int shape = kind == EnvelopeKind::mute ? 1 : 0;
    print_text(file,
               "%s<%s\n%s  ACT %d -1\n%s  VIS 1 1 1\n%s  LANEHEIGHT 0 0\n%s  ARM %d\n"
               "%s  DEFSHAPE %d -1 -1\n",
               indent, name.c_str(), indent, static_cast<int>(settings.envelope_active), indent,
               indent, indent, arm, indent, shape);
    print_text(file, "%s  PT %.10f %.9f %d\n", indent, 0.0,
               envelope_value(curve.initial_value, kind), shape);
    for (const CurvePoint& p : curve.points)
        print_text(file, "%s  PT %.10f %.9f %d\n", indent,
                   automation_time_seconds(p.time, curve.in_ticks != 0),
                   envelope_value(p.value, kind), shape);
    print_text(file, "%s>\n", indent);
    return static_cast<int>(curve.points.size());
}

std::optional<double> curve_value_at(std::vector<CurvePoint>& points, double t) {
    if (points.size() < 2 || !(t > 0.0) || !(t + 1e-9 < points.back().time)) return std::nullopt;
    std::size_t later = 0;
    while (later < points.size() && points[later].time <= t) ++later;
    double value = points[0].value;
    if (later > 0) {
        const CurvePoint& a = points[later - 1];
        const CurvePoint& b = points[later];
        const double span = b.time - a.time;
        value = span > 0.0 ? a.value + (b.value - a.value) * (t - a.time) / span : a.value;
    }
    std::vector<CurvePoint> cut;
    cut.reserve(points.size() - later + 1);
    cut.push_back({0.0, value});
    for (std::size_t i = later; i < points.size(); ++i)
        cut.push_back({points[i].time - t, points[i].value});
    points = std::move(cut);
    return value;
}
