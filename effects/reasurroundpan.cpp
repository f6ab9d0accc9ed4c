#include "effects/reasurroundpan.h"

#include <algorithm>
#include <cmath>
#include <set>
#include <vector>

#include "convert/writer/envelopes.h"
#include "convert/writer/writer_summary.h"
#include "effects/fx_blocks.h"
#include "effects/param_envelopes.h"
#include "model/surround_speakers.h"
#include "util/bytes.h"
#include "util/guid.h"
#include "util/number_text.h"
#include "util/portable_math.h"

ReaSurroundPanState reasurroundpan_state;

void reset_reasurroundpan_state() {
    reasurroundpan_state = ReaSurroundPanState{};
}

namespace {

constexpr std::size_t kMaxOutputs = 64;
constexpr std::size_t kLfeLane = 7;  // after the seven lanes of the first input

double lfe_gain(bool on, double db) {
    return on && db > -143.9 ? portable::from_db(db) : 0.0;
}

// The stored value when it is a number, else 0.
double finite_or_zero(double x) {
    return std::isfinite(x) ? x : 0.0;
}

// One envelope: the lanes it reads (indices into front X, rear X, front/rear, divergence 1 and
// 2, cap, centre, LFE) and REAPER's 0..1 value for the lanes' values then.
struct PanParameter {
    int index;
    const char* identifier;
    const char* display;
    const char* numbers;
    std::vector<std::size_t> lanes;
};

const std::vector<PanParameter> kParameters = {
    {0, "_center__", "center %", "0 1", {6}},
    {7, "_in_1_X", "in 1 X", "1 0", {0, 1, 2}},
    {8, "_in_1_Y", "in 1 Y", "0 1", {2}},
    {10, "_in_1_LFE", "in 1 LFE", "0 1", {kLfeLane}},
    {11, "_in_1_divergence", "in 1 divergence", "0 1", {2, 3, 4, 5}},
};

// The body holds x and y in -1..1, width and centre in 0..1 and the LFE as a gain; REAPER's
// envelope holds (x + 1) / 2, (y + 1) / 2, width, centre and the gain / 4 (its top is +12 dB).
double parameter_value(int index, const std::array<double, 8>& v) {
    std::array<double, 7> input{};
    std::copy(v.begin(), v.begin() + 7, input.begin());
    const SurroundInputPlace place = surround_input_place(input);
    switch (index) {
        case 0:
            return std::clamp(v[6] / 100.0, 0.0, 1.0);
        case 7:
            return std::clamp((place.x + 1.0) / 2.0, 0.0, 1.0);
        case 8:
            return std::clamp((place.y + 1.0) / 2.0, 0.0, 1.0);
        case 10:
            return v[kLfeLane] <= -1439.0
                       ? 0.0
                       : std::min(1.0, portable::pow(10.0, v[kLfeLane] / 200.0) * 0.25);
        default:
            return place.width;
    }
}

// A lane's points in seconds.
std::vector<CurvePoint> seconds_of(const AutomationCurve& curve) {
    std::vector<CurvePoint> out;
    for (const CurvePoint& p : curve.points)
        if (std::isfinite(p.time) && std::isfinite(p.value))
            out.push_back({automation_time_seconds(p.time, curve.in_ticks != 0), p.value});
    std::stable_sort(out.begin(), out.end(),
                     [](const CurvePoint& a, const CurvePoint& b) { return a.time < b.time; });
    return out;
}

// The lane's value at `t`: its first value before it, its last after it, linear between.
double value_at(const std::vector<CurvePoint>& points, double t) {
    if (t <= points.front().time) return points.front().value;
    for (std::size_t i = 1; i < points.size(); ++i) {
        if (t <= points[i].time) {
            const CurvePoint& a = points[i - 1];
            const CurvePoint& b = points[i];
            const double span = b.time - a.time;
            return span > 0.0 ? a.value + (b.value - a.value) * (t - a.time) / span : b.value;
        }
    }
    return points.back().value;
}

std::string envelope_text(const PanParameter& p, const std::array<double, 8>& stored,
                          const std::array<std::vector<CurvePoint>, 8>& lanes, std::uint32_t seed) {
    std::set<double> time_set;
    for (std::size_t lane : p.lanes)
        for (const CurvePoint& point : lanes[lane]) time_set.insert(point.time);
    std::vector<double> times(time_set.begin(), time_set.end());
    if (p.lanes.size() > 1) {
        std::vector<double> filled;
        for (std::size_t i = 0; i < times.size(); ++i) {
            filled.push_back(times[i]);
            if (i + 1 < times.size())
                for (int step = 1; step < 8; ++step)
                    filled.push_back(times[i] + (times[i + 1] - times[i]) * step / 8.0);
        }
        times = std::move(filled);
    }
    std::vector<CurvePoint> points;
    for (double t : times) {
        std::array<double, 8> v = stored;
        for (std::size_t lane : p.lanes)
            if (!lanes[lane].empty()) v[lane] = value_at(lanes[lane], t);
        points.push_back({std::max(t, 0.0), parameter_value(p.index, v)});
    }
    // The GUID follows the parameter, not the lane: one envelope may read several lanes.
    std::string head;
    append_format(head, "%d:%s %s 0.5 \"%s / ReaSurroundPan\"", p.index, p.identifier, p.numbers,
                  p.display);
    std::string text;
    append_param_envelope(
        text, head, guid_from_seed((static_cast<std::uint32_t>(p.index) + 0x5E000000u) ^ seed),
        true, std::nullopt, points);
    reasurroundpan_state.points += static_cast<int>(times.size());
    ++reasurroundpan_state.envelopes;
    return text;
}

void append_input(std::string& body, const std::array<std::int32_t, 7>& stored, double lfe,
                  bool right) {
    std::array<double, 7> percent{};
    std::copy(stored.begin(), stored.end(), percent.begin());
    const SurroundInputPlace place = surround_input_place(percent);
    if (right) append_f64le(body, 1.0);
    for (double x : {lfe, place.x, place.y, 0.0, place.width, 0.0}) append_f64le(body, x);
    append_u32le(body, right ? 8u : 0u);
    append_u32le(body, 9);
    body += right ? "channel 2" : "channel 1";
    append_u32le(body, right ? 0xFFFF2020u : 0xFFF0F0F0u);
}

bool writable(const SurroundPanState& state) {
    return state.output_channels > 0 &&
           static_cast<std::size_t>(state.output_channels) <= kMaxOutputs &&
           state.speakers.size() == static_cast<std::size_t>(state.output_channels);
}

}  // namespace

SurroundInputPlace surround_input_place(const std::array<double, 7>& p) {
    const double f = std::clamp(p[2] / 100.0, -1.0, 1.0);
    const double t = (1.0 - f) / 2.0;  // 0 at the front, 1 at the rear
    SurroundInputPlace place;
    place.x = std::clamp(((p[1] - p[0]) * t + p[0]) / 100.0, -1.0, 1.0);
    place.y = f;
    const double divergence = std::min((p[4] - p[3]) * t + p[3], p[5]);
    place.width = std::clamp((100.0 - divergence) / 100.0, 0.0, 1.0);
    return place;
}

std::string reasurroundpan_body(const SurroundPanState& state) {
    if (!writable(state)) return std::string();
    const std::uint32_t inputs = state.stereo_input ? 2u : 1u;
    const std::uint32_t outputs = static_cast<std::uint32_t>(state.output_channels);
    std::string body;
    for (std::uint32_t word : {5u, 0u, 5u, 0u, 0u, 0u, 1u, inputs}) append_u32le(body, word);
    append_f64le(body, state.input_1[6] / 100.0);
    append_f64le(body, state.stereo_input ? finite_or_zero(state.second_input_gain) : 1.0);
    append_u32le(body, inputs);
    append_u32le(body, outputs);
    const double lfe = lfe_gain(state.lfe_on != 0, finite_or_zero(state.lfe_level_db));
    append_input(body, state.input_1, lfe, false);
    if (state.stereo_input) append_input(body, state.input_2, lfe, true);
    for (const std::string& name : state.speakers) {
        const SurroundSpeaker* speaker = find_surround_speaker(name);
        append_f64le(body, 1.0);
        append_f64le(body, speaker ? speaker->x : 0.0);
        append_f64le(body, speaker ? speaker->y : 0.0);
        append_f64le(body, 0.0);
        append_f64le(body, 1.0);
        append_u32le(body, speaker ? speaker->flags : 0u);
        append_u32le(body, static_cast<std::uint32_t>(name.size()));
        body += name;
    }
    append_f64le(body, -3.0);
    append_u32le(body, 0);
    return body;
}

std::string reasurroundpan_header(const SurroundPanState& state, std::uint32_t body_length) {
    if (!writable(state)) return std::string();
    std::string header;
    for (std::uint32_t word : {0x72737232u, 0xFEED5EEEu, 2u, 1u, 0u, 2u, 0u})
        append_u32le(header, word);
    append_u32le(header, static_cast<std::uint32_t>(state.output_channels));
    for (int k = 0; k < state.output_channels; ++k) {
        const std::uint64_t mask = std::uint64_t{1} << k;
        append_u32le(header, static_cast<std::uint32_t>(mask));
        append_u32le(header, static_cast<std::uint32_t>(mask >> 32));
    }
    append_u32le(header, body_length);
    append_u32le(header, 1);
    append_u32le(header, 0x100000u);
    return header;
}

std::string write_reasurroundpan(const SurroundPanState& state, std::uint32_t seed) {
    if (!writable(state)) {
        ++reasurroundpan_state.refused;
        return std::string();
    }
    const std::string body = reasurroundpan_body(state);
    const std::string header =
        reasurroundpan_header(state, static_cast<std::uint32_t>(body.size()));
    // A track's chain is indented six blanks.
    const std::string saved_indent = fx_indent;
    fx_indent = "      ";
    std::string block = build_vst_block(
        "VST: ReaSurroundPan (Cockos)", reaper_plugin_file("reasurround2"),
        "1920168498<56535472737232726561737572726F75>", header, body, 0, seed, "", "");
    fx_indent = saved_indent;
    ++reasurroundpan_state.blocks;
    ++(state.stereo_input ? reasurroundpan_state.stereo_blocks : reasurroundpan_state.mono_blocks);

    // The lanes: the first input's seven, then the LFE level.
    std::array<std::vector<CurvePoint>, 8> lanes;
    for (std::size_t k = 0; k < 7 && k < state.lanes.size(); ++k)
        lanes[k] = seconds_of(state.lanes[k]);
    lanes[kLfeLane] = seconds_of(state.lfe_curve);
    // The second input's lanes have no parameters of their own; with a stereo input, neither
    // have the first's: only a mono input's position maps onto one set of parameters.
    int& not_carried = writer_summary.surround_pan_lanes_not_carried;
    for (const AutomationCurve& lane : state.lanes_2)
        if (!lane.points.empty()) ++not_carried;
    if (state.stereo_input) {
        for (const std::vector<CurvePoint>& lane : lanes)
            if (!lane.empty()) ++not_carried;
        return block;
    }
    std::array<double, 8> stored{};
    std::copy(state.input_1.begin(), state.input_1.end(), stored.begin());
    stored[kLfeLane] = state.lfe_on ? finite_or_zero(state.lfe_level_db) * 10.0 : -1440.0;
    std::string envelopes;
    for (const PanParameter& p : kParameters) {
        const bool automated = std::any_of(p.lanes.begin(), p.lanes.end(),
                                           [&](std::size_t lane) { return !lanes[lane].empty(); });
        if (automated) envelopes += envelope_text(p, stored, lanes, seed);
    }
    // Envelopes go after FXID, before the closing WAK line.
    const std::string wak = "      WAK 0 0\n";
    block.insert(block.size() - wak.size(), envelopes);
    return block;
}

std::string reasurroundpan_paragraph() {
    const ReaSurroundPanState& st = reasurroundpan_state;
    std::string text;
    if (st.envelopes != 0)
        append_format(text,
                      "  %d surround panner automation envelope(s) written on ReaSurroundPan\n"
                      "      (%d point(s)).\n",
                      st.envelopes, st.points);
    if (st.refused != 0)
        append_format(text,
                      "  %d surround panner(s) not written: more than 64 outputs, or a speaker\n"
                      "      list that does not match the output's width.\n",
                      st.refused);
    return text;
}
