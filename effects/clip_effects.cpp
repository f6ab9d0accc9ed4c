#include "effects/clip_effects.h"

#include <algorithm>
#include <cmath>

#include "convert/run_state.h"
#include "convert/summary/console_summary.h"
#include "effects/channel_strip_conversion.h"
#include "effects/fx_blocks.h"
#include "effects/fx_summary.h"
#include "effects/stock_standins.h"
#include "util/number_text.h"
#include "util/portable_math.h"
#include "util/text_wrap.h"

ClipEffectsState clip_effects_state;

void reset_clip_effects_state() {
    clip_effects_state = ClipEffectsState{};
}

namespace {

using Values = std::vector<std::pair<std::string, double>>;

// Ratio curves sampled from Pro Tools' controls: normalised value -> ratio.
const std::vector<std::pair<double, double>> kExpRatioPoints = {
    {0.0, 1.0}, {0.614583, 3.0}, {0.909404, 10.0}};
const std::vector<std::pair<double, double>> kCmpRatioPoints = {
    {0.0, 1.0}, {0.171875, 2.0}, {0.253906, 3.0}, {0.3359375, 4.0}, {0.593715, 10.0}};
// Past these the curves are carried on beyond their last sample.
constexpr double kExpRatioSampledTo = 0.909405;
constexpr double kCmpRatioSampledTo = 0.593716;

// A stored value held to 0..1; no number takes the name's default.
struct ClipValues {
    const Values& values;

    double v(const std::string& name) const {
        const double x = channel_strip_param_value(values, name);
        if (std::isnan(x)) return channel_strip_param_value({}, name);
        return std::clamp(x, 0.0, 1.0);
    }
    bool on(const std::string& name) const { return v(name) >= 0.5; }
    double gain(const std::string& name, double range) const { return (v(name) - 0.5) * range; }
    double freq(const std::string& name) const { return 20.0 * portable::pow(1050.0, v(name)); }
    double q(const std::string& name) const { return 0.2 * portable::pow(500.0, v(name)); }
    std::int32_t type(const std::string& name) const {
        return static_cast<std::int32_t>(std::floor(3.0 * v(name) + 0.5));
    }
    bool differs_from_zero(const std::string& name) const {
        const double x = channel_strip_param_value(values, name);
        return std::isfinite(x) ? std::fabs(x) >= 0.0001 : std::isinf(x);
    }
};

bool known_name(const std::string& name) {
    if (name == "Process Order") return true;
    for (const ChannelStripDefault& d : CHANNEL_STRIP_DEFAULTS)
        if (name == d.name) return true;
    return false;
}

std::string plugin_name(const StandInEffect& e) {
    switch (e.kind) {
        case StandInKind::reaeq:
            return "ReaEQ";
        case StandInKind::reacomp:
            return "ReaComp";
        case StandInKind::reagate:
            return "ReaGate";
        case StandInKind::js:
            break;
    }
    return "JS " + e.js_path;
}

}  // namespace

double log_linear_ratio(const std::vector<std::pair<double, double>>& points, double v) {
    if (!(v > 0.0) || points.size() < 2) return 1.0;
    std::size_t seg = 1;
    while (seg + 1 < points.size() && v > points[seg].first) ++seg;
    const auto [x0, r0] = points[seg - 1];
    const auto [x1, r1] = points[seg];
    return portable::exp(portable::log(r0) +
                         (v - x0) * (portable::log(r1) - portable::log(r0)) / (x1 - x0));
}

ChannelStripSettings clip_effects_settings(const Values& values) {
    const ClipValues c{values};
    ChannelStripSettings s;
    s.name = "Clip Effects";
    // The take's own polarity carries the phase switch.
    s.polarity = 0;
    s.input_trim_db = c.gain("Input Trim", 72.0);
    s.eq_on = c.on("EQ On/Off");
    s.filters_on = c.on("Filters On/Off");
    s.dynamics_on = c.on("Dynamics On/Off");
    // Clip Effects always hold the EQ, filter and dynamics sections.
    s.eq_present = 1;
    s.filters_present = 1;
    s.exp_present = 1;

    for (std::size_t b = 0; b < EQ_BAND_NAMES.size(); ++b) {
        const std::string prefix = EQ_BAND_NAMES[b];
        ChannelStripEqBand& band = s.eq[b];
        band.on = c.on(prefix + " In/Out");
        band.shelf = (b == 0 || b == 3) && c.on(prefix + " Type") ? 1 : 0;
        band.gain_db = c.gain(prefix + " Gain", 48.0);
        band.freq_hz = c.freq(prefix + " Frequency");
        band.q = c.q(prefix + " Q");
    }
    for (std::size_t k = 0; k < s.filters.size(); ++k) {
        const std::string prefix = "Filter " + std::to_string(k + 1);
        ChannelStripFilter& f = s.filters[k];
        f.on = c.on(prefix + " In/Out");
        f.type = c.type(prefix + " Type");
        f.freq_hz = c.freq(prefix + " Frequency");
        f.q = c.q(prefix + " Q");
        f.slope_24 = c.on(prefix + " Slope 12/24dB");
    }

    s.sc_peak = c.on("Sc Detector Type Avg/Pk");
    s.sc_filter_on = c.on("Sc Filter In/Out");
    s.sc_filter_type = c.type("Sc Filter Type");
    s.sc_filter_freq_hz = c.freq("Sc Filter Frequency");
    // A clip has no key input: "on" links the pair's detectors.
    s.sc_source = c.on("Sc Source") ? 2 : 0;

    s.exp_on = c.on("Exp In/Out");
    const double exp_ratio = c.v("Exp Ratio");
    s.exp_ratio = log_linear_ratio(kExpRatioPoints, exp_ratio);
    s.exp_ratio_extrapolated = exp_ratio > kExpRatioSampledTo ? 1 : 0;
    s.exp_threshold_db = 70.0 * c.v("Exp Threshold") - 80.0;
    s.exp_attack_ms = 0.02 * portable::pow(10.0, 5.0 * c.v("Exp Attack Time"));
    s.exp_release_ms = portable::pow(10.0, 4.0 * c.v("Exp Release Time"));
    s.exp_hold_ms = portable::pow(10.0, 4.0 * c.v("Exp Hold Time"));
    s.exp_knee = 30.0 * c.v("Exp Knee");
    s.exp_depth_db = (1.0 - c.v("Exp Depth")) * -108.0;
    s.exp_hold = channel_strip_param_changed(values, "Exp Hold Time") ? 1 : 0;
    s.exp_hysteresis = channel_strip_param_changed(values, "Exp Hysteresis") ? 1 : 0;

    s.cmp_on = c.on("Cmp In/Out");
    const double cmp_ratio = c.v("Cmp Ratio");
    s.cmp_ratio = log_linear_ratio(kCmpRatioPoints, cmp_ratio);
    s.cmp_ratio_extrapolated = cmp_ratio > kCmpRatioSampledTo ? 1 : 0;
    s.cmp_makeup_db = 30.0 * c.v("Cmp Gain Makeup");
    s.cmp_threshold_db = 60.0 * c.v("Cmp Threshold") - 60.0;
    s.cmp_attack_ms = 0.1 * portable::pow(10.0, 4.0 * c.v("Cmp Attack Time"));
    s.cmp_release_ms = portable::pow(10.0, 4.0 * c.v("Cmp Release Time"));
    s.cmp_knee_db = 30.0 * c.v("Cmp Knee");
    s.cmp_depth = channel_strip_param_changed(values, "Cmp Depth") ? 1 : 0;

    // The clip fader's scale is unmeasured: a change is named, never played.
    s.fader_on = 0;
    s.clip_fader = channel_strip_param_changed(values, "Fader Volume") ? 1 : 0;
    s.order = c.differs_from_zero("Process Order") ? 1 : 0;
    s.range = c.differs_from_zero("EQ Range") || c.differs_from_zero("Dynamics Range") ? 1 : 0;
    return s;
}

std::string clip_effects_blocks(const Values& values, bool linked_pair, std::uint32_t seed) {
    ClipEffectsState& st = clip_effects_state;
    for (const auto& [name, value] : values) {
        if (known_name(name)) continue;
        // Session bytes: a control byte would break the summary's line.
        std::string shown = name;
        for (char& ch : shown)
            if (static_cast<unsigned char>(ch) < 0x20 || ch == 0x7f) ch = '?';
        ++st.unknown_names[shown];
    }
    std::uint32_t counter = 0;
    std::set<std::string> notes;
    std::set<std::string> carried;
    const std::vector<StandInEffect> effects = convert_channel_strip(
        clip_effects_settings(values), linked_pair, false,
        static_cast<double>(settings.session_sample_rate), seed, counter, notes, carried);
    std::string blocks;
    std::set<std::string> plugins;
    for (const StandInEffect& e : effects) {
        blocks += standin_effect_block(e);
        plugins.insert(plugin_name(e));
    }
    ++st.clips;
    for (const std::string& p : plugins) ++st.plugin_clips[p];
    for (const std::string& n : notes) ++st.note_clips[n];
    return blocks;
}

std::string take_fx_frame(const std::string& blocks) {
    if (blocks.empty()) return std::string();
    return "      <TAKEFX\n        SHOW 0\n        LASTSEL 0\n        DOCKED 0\n" + blocks +
           "      >\n";
}

void write_clip_effects(std::string& out, const Values& values, bool linked_pair,
                        std::uint32_t seed) {
    out += take_fx_frame(clip_effects_blocks(values, linked_pair, seed));
}

std::string clip_effects_paragraph() {
    const ClipEffectsState& st = clip_effects_state;
    if (st.clips == 0) return std::string();
    std::string text;
    append_format(text,
                  "  %d clip(s) carry Pro Tools Clip Effects, written as take FX on the item\n"
                  "      (",
                  st.clips);
    const char* separator = "";
    for (const auto& [plugin, clips] : st.plugin_clips) {
        append_format(text, "%s%s on %d", separator, plugin.c_str(), clips);
        separator = ", ";
    }
    text +=
        ").\n"
        "      Clip Effects are Pro Tools' Channel Strip working on one clip.\n"
        "      REAPER has no clip processor, so each of these items carries the\n"
        "      same processing as its take's effect chain: the EQ and filters\n"
        "      as Pro Tools plays them, the expander and compressor close but\n"
        "      not identical. Open the item's take FX chain to see or change\n"
        "      them, or to switch one off.\n";
    std::vector<std::string> notes;
    for (const auto& note : st.note_clips) notes.push_back(note.first);
    text += name_rows(notes);
    return text;
}

std::string clip_effects_losses_paragraph() {
    const ClipEffectsState& st = clip_effects_state;
    std::string text;
    if (!st.note_clips.empty()) {
        text += "  Clip Effects approximated or left out:\n";
        for (const auto& [note, clips] : st.note_clips)
            text += wrapped_row(note + " (" + std::to_string(clips) + " clip(s))", 6);
    }
    if (!st.unknown_names.empty()) {
        int seen_all = 0;
        for (const auto& name : st.unknown_names) seen_all += name.second;
        append_format(text, "    %d not recognized:\n", seen_all);
        for (const auto& [name, seen] : st.unknown_names)
            append_format(text, "      %-24s x%d\n", name.c_str(), seen);
        text += stock_processors_paragraph();
    }
    return text;
}
