#include "effects/channel_strip_settings.h"

#include <algorithm>
#include <cmath>

#include "effects/standin_effects.h"

const std::array<ChannelStripDefault, 60> CHANNEL_STRIP_DEFAULTS = {{
    {"Phase Switch In/Out", 0},
    {"EQ On/Off", 1},
    {"Filters On/Off", 1},
    {"Dynamics On/Off", 1},
    {"Input Trim", 0.5},
    {"Dynamics Range", 0},
    {"EQ Range", 0},
    {"EQ Low In/Out", 1},
    {"EQ Low Type", 0},
    {"EQ Low Gain", 0.5},
    {"EQ Low Frequency", 0.103889},
    {"EQ Low Q", 0.147441},
    {"EQ Low-Mid In/Out", 1},
    {"EQ Low-Mid Gain", 0.5},
    {"EQ Low-Mid Frequency", 0.402545},
    {"EQ Low-Mid Q", 0.147441},
    {"EQ High-Mid In/Out", 1},
    {"EQ High-Mid Gain", 0.5},
    {"EQ High-Mid Frequency", 0.701355},
    {"EQ High-Mid Q", 0.147441},
    {"EQ High In/Out", 1},
    {"EQ High Type", 0},
    {"EQ High Gain", 0.5},
    {"EQ High Frequency", 0.90036},
    {"EQ High Q", 0.147441},
    {"Filter 1 In/Out", 0},
    {"Filter 1 Type", 0},
    {"Filter 1 Frequency", 0.0042},
    {"Filter 1 Q", 0.147441},
    {"Filter 1 Slope 12/24dB", 0},
    {"Filter 2 In/Out", 0},
    {"Filter 2 Type", 0.333333},
    {"Filter 2 Frequency", 1},
    {"Filter 2 Q", 0.147441},
    {"Filter 2 Slope 12/24dB", 0},
    {"Cmp In/Out", 1},
    {"Cmp Ratio", 0},
    {"Cmp Knee", 0},
    {"Cmp Attack Time", 0},
    {"Cmp Release Time", 0.575257},
    {"Cmp Gain Makeup", 0},
    {"Cmp Threshold", 0.6},
    {"Cmp Depth", 0.666667},
    {"Exp In/Out", 1},
    {"Exp Ratio", 0},
    {"Exp Knee", 0},
    {"Exp Attack Time", 0},
    {"Exp Release Time", 0.575257},
    {"Exp Threshold", 0.314286},
    {"Exp Depth", 0.666667},
    {"Exp Hold Time", 0},
    {"Exp Hysteresis", 0},
    {"Sc Filter In/Out", 1},
    {"Sc Filter Type", 0},
    {"Sc Filter Frequency", 0},
    {"Sc Source", 0},
    {"Sc Detector Type Avg/Pk", 1},
    {"Fader Volume", 0.888889},
    {"Fader Volume Pre/Post", 0},
    {"Fader Volume On/Off", 1},
}};

namespace {

const ChannelStripDefault* default_of(const std::string& name) {
    for (const ChannelStripDefault& d : CHANNEL_STRIP_DEFAULTS) {
        if (name == d.name) return &d;
    }
    return nullptr;
}

const double* listed_value(const std::vector<std::pair<std::string, double>>& values,
                           const std::string& name) {
    for (const auto& [n, v] : values) {
        if (n == name) return &v;
    }
    return nullptr;
}

// Reads names of one document; NaN takes the name's default, then the value is held.
struct StripReader {
    const std::map<std::string, double>& values;

    double real(const std::string& name, double fallback, double lo, double hi) const {
        return held_or(param_by_name(values, name, fallback), lo, hi, fallback);
    }
    double gain(const std::string& name, double fallback) const {
        return real(name, fallback, -200.0, 200.0);
    }
    double freq(const std::string& name, double fallback) const {
        return real(name, fallback, 20.0, 40000.0);
    }
    double q(const std::string& name) const { return real(name, 1.0, 0.2, 100.0); }
    // Seconds, as ms.
    double ms(const std::string& name, double fallback_s) const {
        return real(name, fallback_s, 0.0, 1000.0) * 1000.0;
    }
    std::uint8_t on(const std::string& name, double fallback) const {
        return real(name, fallback, -1e9, 1e9) >= 0.5 ? 1 : 0;
    }
    std::int32_t type(const std::string& name, double fallback, std::int32_t top) const {
        return static_cast<std::int32_t>(
            std::floor(real(name, fallback, 0.0, static_cast<double>(top)) + 0.5));
    }
    bool magnitude_at_least(const std::string& name, double limit) const {
        return std::fabs(real(name, 0.0, -1e9, 1e9)) >= limit;
    }
};

}  // namespace

bool channel_strip_document_usable(const std::map<std::string, double>& values) {
    for (const char* name : {"Cmp Ratio", "EQ Low Gain", "Filter 2 Type", "Sc Source"}) {
        if (!values.contains(name)) return false;
    }
    return true;
}

double param_by_name(const std::map<std::string, double>& values, const std::string& name,
                     double fallback) {
    const auto it = values.find(name);
    return it != values.end() ? it->second : fallback;
}

double channel_strip_param_value(const std::vector<std::pair<std::string, double>>& values,
                                 const std::string& name) {
    if (const double* v = listed_value(values, name)) return *v;
    const ChannelStripDefault* d = default_of(name);
    return d ? d->value : 0.0;
}

bool channel_strip_param_changed(const std::vector<std::pair<std::string, double>>& values,
                                 const std::string& name) {
    const ChannelStripDefault* d = default_of(name);
    if (!d) return false;
    // NaN differs from nothing: it is not a change.
    return std::fabs(channel_strip_param_value(values, name) - d->value) >= 0.0001;
}

ChannelStripSettings read_channel_strip_params(const std::map<std::string, double>& values) {
    const StripReader r{values};
    ChannelStripSettings s;
    s.polarity = r.on("Phase Switch In/Out", 0);
    s.input_trim_db = r.gain("Input Trim", 0);
    s.eq_on = r.on("EQ On/Off", 1);
    s.filters_on = r.on("Filters On/Off", 1);
    s.dynamics_on = r.on("Dynamics On/Off", 1);

    for (std::size_t b = 0; b < EQ_BAND_NAMES.size(); ++b) {
        const std::string prefix = EQ_BAND_NAMES[b];
        ChannelStripEqBand& band = s.eq[b];
        band.on = r.on(prefix + " In/Out", 1);
        if (b == 0 || b == 3) band.shelf = r.on(prefix + " Type", 0);
        band.gain_db = r.gain(prefix + " Gain", 0);
        band.freq_hz = r.freq(prefix + " Frequency", 1000);
        band.q = r.q(prefix + " Q");
    }
    for (std::size_t k = 0; k < s.filters.size(); ++k) {
        const std::string prefix = "Filter " + std::to_string(k + 1);
        ChannelStripFilter& f = s.filters[k];
        f.on = r.on(prefix + " In/Out", 0);
        f.type = r.type(prefix + " Type", 0, kStripNotch);
        f.freq_hz = r.freq(prefix + " Frequency", 1000);
        f.q = r.q(prefix + " Q");
        f.slope_24 = r.on(prefix + " Slope 12/24dB", 0);
    }

    s.sc_peak = r.on("Sc Detector Type Avg/Pk", 1);
    s.sc_filter_on = r.on("Sc Filter In/Out", 1);
    s.sc_filter_type = r.type("Sc Filter Type", 0, 3);
    s.sc_filter_freq_hz = r.freq("Sc Filter Frequency", 20);
    s.sc_source = r.type("Sc Source", 0, 2);

    s.exp_on = r.on("Exp In/Out", 1);
    s.exp_ratio = r.real("Exp Ratio", 1, 0.0, 1000.0);
    s.exp_threshold_db = r.real("Exp Threshold", -80, -200.0, 40.0);
    s.exp_attack_ms = r.ms("Exp Attack Time", 0);
    s.exp_release_ms = r.ms("Exp Release Time", 0.2);
    s.exp_hold_ms = r.ms("Exp Hold Time", 0.001);
    s.exp_hold = s.exp_hold_ms > 1.05 ? 1 : 0;
    s.exp_knee = r.real("Exp Knee", 0, 0.0, 200.0);
    s.exp_depth_db = r.real("Exp Depth", -36, -200.0, 0.0);
    s.exp_hysteresis_db = r.gain("Exp Hysteresis", 0);

    s.cmp_on = r.on("Cmp In/Out", 1);
    s.cmp_ratio = r.real("Cmp Ratio", 1, 0.0, 1000.0);
    s.cmp_threshold_db = r.real("Cmp Threshold", -24, -200.0, 40.0);
    s.cmp_attack_ms = r.ms("Cmp Attack Time", 0);
    s.cmp_release_ms = r.ms("Cmp Release Time", 0.2);
    s.cmp_knee_db = r.real("Cmp Knee", 0, 0.0, 200.0);
    s.cmp_makeup_db = r.gain("Cmp Gain Makeup", 0);
    const double depth = r.real("Cmp Depth", -36, -200.0, 0.0);
    s.cmp_depth = std::fabs(depth - -36.0) >= 0.05 ? 1 : 0;

    s.fader_db = r.gain("Fader Volume", 0);
    s.fader_on = r.on("Fader Volume On/Off", 1) && std::fabs(s.fader_db) >= 0.005 ? 1 : 0;
    s.order = r.magnitude_at_least("Process Order", 0.5) ? 1 : 0;
    s.range = r.magnitude_at_least("EQ Range", 0.5) || r.magnitude_at_least("Dynamics Range", 0.5)
                  ? 1
                  : 0;
    return s;
}

ChannelStripSettings held_channel_strip_settings(ChannelStripSettings s) {
    const ChannelStripSettings d;
    const auto hold = [](double& x, double lo, double hi, double fallback) {
        x = held_or(x, lo, hi, fallback);
    };
    hold(s.input_trim_db, -200.0, 200.0, d.input_trim_db);
    for (ChannelStripEqBand& b : s.eq) {
        hold(b.gain_db, -200.0, 200.0, 0.0);
        hold(b.freq_hz, 20.0, 40000.0, 1000.0);
        hold(b.q, 0.2, 100.0, 1.0);
    }
    for (ChannelStripFilter& f : s.filters) {
        f.type = std::clamp(f.type, kStripHighPass, kStripNotch);
        hold(f.freq_hz, 20.0, 40000.0, 1000.0);
        hold(f.q, 0.2, 100.0, 1.0);
    }
    hold(s.exp_ratio, 0.0, 1000.0, d.exp_ratio);
    hold(s.exp_threshold_db, -200.0, 40.0, d.exp_threshold_db);
    hold(s.exp_attack_ms, 0.0, 1e6, d.exp_attack_ms);
    hold(s.exp_release_ms, 0.0, 1e6, d.exp_release_ms);
    hold(s.exp_hold_ms, 0.0, 1e6, d.exp_hold_ms);
    hold(s.exp_knee, 0.0, 200.0, d.exp_knee);
    hold(s.exp_depth_db, -200.0, 0.0, d.exp_depth_db);
    hold(s.exp_hysteresis_db, -200.0, 200.0, d.exp_hysteresis_db);
    hold(s.cmp_ratio, 0.0, 1000.0, d.cmp_ratio);
    hold(s.cmp_threshold_db, -200.0, 40.0, d.cmp_threshold_db);
    hold(s.cmp_attack_ms, 0.0, 1e6, d.cmp_attack_ms);
    hold(s.cmp_release_ms, 0.0, 1e6, d.cmp_release_ms);
    hold(s.cmp_knee_db, 0.0, 200.0, d.cmp_knee_db);
    hold(s.cmp_makeup_db, -200.0, 200.0, d.cmp_makeup_db);
    hold(s.sc_filter_freq_hz, 20.0, 40000.0, d.sc_filter_freq_hz);
    hold(s.fader_db, -200.0, 200.0, d.fader_db);
    return s;
}
