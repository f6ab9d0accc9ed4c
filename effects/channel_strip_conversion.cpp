#include "effects/channel_strip_conversion.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <utility>

#include "effects/dyn3_conversion.h"
#include "effects/eq_curves.h"
#include "effects/eq_reaeq_values.h"
#include "util/portable_math.h"

namespace {

constexpr double kPi = std::numbers::pi;
constexpr std::uint32_t kReaEqBandPass = 7;
constexpr double kMaxMakeupGain_db = 6.0206;
constexpr double kShelfSlopeValue = 1.41421356;
constexpr double kPassBandwidth = 1.8999686297483922;      // Butterworth Q 0.7071 in octaves
constexpr double kPassBandwidthHigh = 1.2095575965759668;  // the same past w = pi/2
constexpr double kOctavesPerAsinh = 2.8853900817779268;    // 2 / ln 2

using Row = std::pair<double, double>;
constexpr std::array<Row, 6> kGainTable = {
    {{0, 0}, {3, 0.6716}, {6, 0.8474}, {9, 0.9508}, {12, 1.0}, {18, 0.9911}}};
constexpr std::array<Row, 8> kFrequencyTable = {{{2.0, 1.0297},
                                                 {2.4771, 1.0225},
                                                 {3.0, 1.0},
                                                 {3.4771, 0.9394},
                                                 {3.7782, 0.8556},
                                                 {4.0, 0.7463},
                                                 {4.1761, 0.5908},
                                                 {4.301, 0.3603}}};

// Linear interpolation between neighbouring rows, the end rows beyond them.
template <std::size_t N>
double interpolate(const std::array<Row, N>& table, double x) {
    if (!(x > table.front().first)) return table.front().second;
    for (std::size_t i = 1; i < N; ++i) {
        if (x <= table[i].first) {
            const auto [x0, y0] = table[i - 1];
            const auto [x1, y1] = table[i];
            return y0 + (y1 - y0) * (x - x0) / (x1 - x0);
        }
    }
    return table.back().second;
}

double gain_word(double db) {
    return portable::from_db(db);
}

ReaEqStateBand eq_band(const ChannelStripEqBand& b, bool low, double rate) {
    ReaEqStateBand out;
    out.enabled = b.on;
    out.gain_db = b.gain_db;
    out.q = b.q;
    if (b.shelf) {
        // ReaEQ's shelf reaches half its gain elsewhere than Pro Tools': move the corner there.
        out.type = low ? kEqLowShelf : kEqHighShelf;
        const double a = eq_gain_amplitude(std::fabs(b.gain_db));
        const double stretch = low ? a : 1.0 / a;
        const double f = std::min(b.freq_hz, 0.49 * rate);
        out.freq_hz = portable::atan(portable::tan(kPi * f / rate) * stretch) * rate / kPi;
        out.value = kShelfSlopeValue;
        return out;
    }
    out.type = kEqPeak;
    out.freq_hz = b.freq_hz;
    out.q = std::max(0.2, b.q) * 0.4044 * channel_strip_gain_factor(b.gain_db) *
            channel_strip_frequency_factor(b.freq_hz, rate);
    out.value = eq_q_to_reaeq_bandwidth_oct(b.freq_hz, out.q, rate);
    return out;
}

void filter_bands(const ChannelStripFilter& f, double rate, std::vector<ReaEqStateBand>& bands) {
    const double w = 2.0 * kPi * f.freq_hz / rate;
    ReaEqStateBand band;
    band.enabled = f.on;
    band.freq_hz = f.freq_hz;
    band.gain_db = 0.0;
    if (f.type == kStripBandPass || f.type == kStripNotch) {
        band.type = f.type == kStripBandPass ? kReaEqBandPass : kEqNotch;
        band.q = f.q;
        const double wc = std::min(w, kPi / 2.0);
        band.value = kOctavesPerAsinh * portable::asinh(1.0 / (2.0 * f.q)) * portable::sin(wc) / wc;
        bands.push_back(band);
        return;
    }
    band.type = f.type == kStripHighPass ? kEqHighPass : kEqLowPass;
    band.q = 0.70710678;
    band.value = w > kPi / 2.0 ? kPassBandwidthHigh : portable::sin(w) * kPassBandwidth / w;
    bands.push_back(band);
    if (f.slope_24) bands.push_back(band);
}

// The detector's filters as words, and whether a band filter was left out.
struct Detector {
    double low_pass = 1.0;
    double high_pass = 0.0;
    bool band_filter = false;
};

Detector detector_of(const ChannelStripSettings& s) {
    Detector d;
    if (!s.sc_filter_on) return d;
    if (s.sc_filter_type == kStripHighPass) {
        d.high_pass = std::min(s.sc_filter_freq_hz / 20000.0, 1.0);
    } else if (s.sc_filter_type == kStripLowPass) {
        d.low_pass = std::min(s.sc_filter_freq_hz / 20000.0, 1.0);
    } else {
        d.band_filter = true;
    }
    return d;
}

std::string gain_preset(const std::string& what, double db) {
    return text_of("%s %+.1f dB", what.c_str(), db);
}

}  // namespace

double channel_strip_gain_factor(double gain_db) {
    const double g = std::fabs(gain_db);
    if (!(g >= 0.05)) return 1.0;  // NaN too
    if (g < 3.0) return portable::pow(g / 3.0, 0.25) * 0.6716;
    return interpolate(kGainTable, g);
}

double channel_strip_frequency_factor(double freq_hz, double rate) {
    const double x = 48000.0 * freq_hz / rate;
    if (!(x >= 100.0) || portable::log10(x) <= 2.0) return 1.0297;
    return interpolate(kFrequencyTable, portable::log10(x));
}

std::vector<StandInEffect> convert_channel_strip(const ChannelStripSettings& settings,
                                                 bool linked_pair, bool keyed, double rate,
                                                 std::uint32_t seed_base, std::uint32_t& counter,
                                                 std::set<std::string>& notes,
                                                 std::set<std::string>& carried) {
    if (!(rate > 0.0) || !std::isfinite(rate)) rate = 48000.0;
    const ChannelStripSettings s = held_channel_strip_settings(settings);
    const std::string& n = s.name;
    StandInSeeds seeds{seed_base, counter};
    std::vector<StandInEffect> out;
    const auto add = [&](StandInEffect e, const char* word) {
        out.push_back(std::move(e));
        carried.insert(word);
    };

    if (s.polarity) {
        add(polarity_js(seeds, join_name_parenthesised(n + " polarity", "Channel Polarity Control"),
                        n + " polarity"),
            "polarity");
    }
    if (std::fabs(s.input_trim_db) >= 0.005) {
        add(volume_js(seeds, s.input_trim_db,
                      join_name_parenthesised(n + " input trim", "Volume Adjustment"),
                      gain_preset(n + " input trim", s.input_trim_db)),
            "input trim");
    }

    if (s.eq_present) {
        StandInEffect eq;
        eq.kind = StandInKind::reaeq;
        eq.bypass = s.eq_on ? 0 : 1;
        eq.seed = seeds.next();
        eq.name = join_name_parenthesised(n + " EQ", "ReaEQ");
        eq.preset = n + " EQ";
        bool audible = false;
        for (std::size_t b = 0; b < s.eq.size(); ++b) {
            eq.bands.push_back(eq_band(s.eq[b], b == 0, rate));
            audible = audible || (s.eq[b].on && std::fabs(s.eq[b].gain_db) >= 0.05);
        }
        if (n == "Clip Effects" && audible) {
            notes.insert(
                "EQ written as Channel Strip plays it (measured 26 Sep); checked on a Clip "
                "Effects bell, which matches Pro Tools to -109 dB");
        }
        add(std::move(eq), "EQ");
    }

    if (s.filters_present) {
        StandInEffect filters;
        filters.kind = StandInKind::reaeq;
        filters.bypass = s.filters_on ? 0 : 1;
        filters.seed = seeds.next();
        filters.name = join_name_parenthesised(n + " Filters", "ReaEQ");
        filters.preset = n + " Filters";
        for (const ChannelStripFilter& f : s.filters) filter_bands(f, rate, filters.bands);
        add(std::move(filters), "filters");
    }

    const Detector det = detector_of(s);
    const bool key = s.sc_source == 1 && keyed;
    bool dynamics = false;

    if (s.exp_ratio > 1.0001) {
        dynamics = true;
        const std::uint8_t bypass = s.dynamics_on && s.exp_on ? 0 : 1;
        if (s.exp_ratio_extrapolated) {
            notes.insert("expander ratio past 1:10 extrapolated (unsampled)");
        }
        if (s.exp_knee >= 0.05) {
            notes.insert("expander/gate knee not carried (no knee in REAPER's gate or expander)");
        }
        if (s.exp_hysteresis) {
            notes.insert("gate hysteresis not carried (its Pro Tools scale is unmeasured)");
        }
        if (s.exp_ratio < 9.99) {
            if (s.exp_depth_db > -100.0) notes.insert(kExpanderDepthNote);
            if (s.exp_hold) notes.insert(kExpanderHoldNote);
            if (std::fabs(det.low_pass - 1.0) > 0.000001 || det.high_pass > 0.0011 ||
                det.band_filter) {
                notes.insert(kExpanderFilterNote);
            }
            StandInEffect e = js_effect(
                seeds, kExpanderJs,
                text_of("%.3f %.4f 0 %d %d %.4f %.4f", s.exp_threshold_db, s.exp_ratio, key ? 1 : 0,
                        s.sc_peak ? 3 : 2, s.exp_attack_ms, s.exp_release_ms),
                7, join_name_parenthesised(n + " Exp/Gate", "Downward Expander"),
                text_of("%s Expander 1:%.3g", n.c_str(), s.exp_ratio));
            e.bypass = bypass;
            add(std::move(e), "expander");
        } else {
            const double g = gain_word(s.exp_depth_db);
            DynWords w{};
            w[0] = f32_word(gain_word(s.exp_threshold_db));
            w[1] = f32_word(std::min(s.exp_attack_ms / 500.0, 1.0));
            w[2] = f32_word(std::min(s.exp_release_ms / 5000.0, 1.0));
            w[4] = f32_word(std::min(s.exp_hold_ms / 1000.0, 1.0));
            w[5] = f32_word(det.low_pass);
            w[6] = f32_word(det.high_pass);
            if (key) w[7] = kKeyInputWord;
            w[9] = f32_word(g);
            w[10] = f32_word(1.0 - g);
            w[11] = kDynFloorWord;
            w[12] = f32_word(s.exp_present ? gain_word(-s.exp_hysteresis_db) : 1.0);
            if (s.sc_peak) w[14] = f32_word(0.05);
            w[16] = kGateDefaultWord;
            if (s.exp_attack_ms > 500.0 || s.exp_release_ms > 5000.0 || s.exp_hold_ms > 1000.0) {
                notes.insert(kGateTimeHeldNote);
            }
            if (det.band_filter) notes.insert(kStripBandFilterNote);
            if (s.exp_ratio < 50.0) notes.insert(kExpanderAsGateNote);
            StandInEffect e = dyn_effect(seeds, StandInKind::reagate, w,
                                         join_name_parenthesised(n + " Exp/Gate", "ReaGate"),
                                         text_of("%s Exp/Gate 1:%.3g", n.c_str(), s.exp_ratio));
            e.bypass = bypass;
            add(std::move(e), "gate");
        }
    }

    if (s.cmp_ratio > 1.0001 || s.cmp_makeup_db >= 0.05) {
        dynamics = true;
        const std::uint8_t bypass = s.dynamics_on && s.cmp_on ? 0 : 1;
        DynWords w{};
        w[0] = f32_word(gain_word(s.cmp_threshold_db));
        w[1] = f32_word(std::clamp((s.cmp_ratio - 1.0) / 99.0, 0.0, 1.0));
        w[2] = f32_word(std::min(s.cmp_attack_ms / 500.0, 1.0));
        w[3] = f32_word(std::min(s.cmp_release_ms / 5000.0, 1.0));
        w[6] = f32_word(det.low_pass);
        w[7] = f32_word(det.high_pass);
        if (key) w[8] = kKeyInputWord;
        w[10] = kDynFloorWord;
        w[11] = f32_word(s.cmp_makeup_db <= kMaxMakeupGain_db ? gain_word(s.cmp_makeup_db) : 1.0);
        if (s.sc_peak) w[13] = f32_word(0.05);
        w[14] = f32_word(std::min(s.cmp_knee_db / 24.0, 1.0));
        w[17] = f32_word(0.25);
        if (s.cmp_attack_ms > 500.0 || s.cmp_release_ms > 5000.0) notes.insert(kCompTimeHeldNote);
        if (s.cmp_knee_db > 24.0) notes.insert(kCompKneeHeldNote);
        if (s.cmp_depth) {
            notes.insert("compressor depth (a gain-reduction limit) not carried: ReaComp has none");
        }
        if (s.cmp_ratio_extrapolated) {
            notes.insert("compressor ratio past 10:1 extrapolated (unsampled)");
        }
        if (det.band_filter) notes.insert(kStripBandFilterNote);
        StandInEffect c = dyn_effect(seeds, StandInKind::reacomp, w,
                                     join_name_parenthesised(n + " Comp/Lim", "ReaComp"),
                                     text_of("%s Comp/Lim %.3g:1", n.c_str(), s.cmp_ratio));
        c.bypass = bypass;
        add(std::move(c), "compressor");
        if (s.cmp_makeup_db > kMaxMakeupGain_db) {
            StandInEffect m = volume_js(seeds, s.cmp_makeup_db,
                                        join_name_parenthesised(n + " makeup", "Volume Adjustment"),
                                        gain_preset(n + " makeup", s.cmp_makeup_db));
            m.bypass = bypass;
            add(std::move(m), "compressor");
        }
    }

    if (dynamics) {
        if (linked_pair && s.sc_source == 2) {
            notes.insert(
                "side chain All-Linked not carried: each side of the stereo pair detects on its "
                "own");
        }
        if (s.sc_source == 1 && !keyed) notes.insert(kStripKeyUnwiredNote);
    }

    if (s.fader_on) {
        add(volume_js(seeds, s.fader_db, join_name_parenthesised(n + " fader", "Volume Adjustment"),
                      gain_preset(n + " fader", s.fader_db)),
            "fader");
    }

    if (s.clip_fader) notes.insert("clip fader not carried (its scale is unmeasured)");
    if (s.order) {
        notes.insert(
            "processing order other than EQ, filters, dynamics not carried (written in that "
            "order)");
    }
    if (s.range) {
        notes.insert(
            "EQ/Dynamics Range other than the default: gains read at the default range "
            "(unmeasured)");
    }
    return out;
}
