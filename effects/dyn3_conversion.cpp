#include "effects/dyn3_conversion.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>

#include "util/portable_math.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kMaxMakeupGain_db = 6.0206;  // ReaComp's output gain word reaches 2.0 at most
constexpr double kGateRatio = 9.99;

const char* const kCompName = "Dyn3 Compressor/Limiter";
const char* const kGateName = "Dyn3 Expander/Gate";

double value_at(const std::vector<float>& values, std::size_t i) {
    return i < values.size() ? static_cast<double>(values[i]) : kNaN;
}
std::uint8_t switch_at(const std::vector<float>& values, std::size_t i) {
    return value_at(values, i) >= 0.5 ? 1 : 0;  // NaN is off
}
// Seconds as ms, held to 0..1000 s.
double ms_at(const std::vector<float>& values, std::size_t i) {
    return held_or(value_at(values, i), 0.0, 1000.0, 0.0) * 1000.0;
}
// The key filter at i (frequency, type, on); NaN frequencies read as the filter's open end.
Dyn3KeyFilter key_filter_at(const std::vector<float>& values, std::size_t i, double open_hz) {
    Dyn3KeyFilter f;
    f.freq_hz = held_or(value_at(values, i), 20.0, 20000.0, open_hz);
    f.pass = switch_at(values, i + 1);
    f.on = switch_at(values, i + 2);
    return f;
}
double ratio_at(const std::vector<float>& values, std::size_t i) {
    return held_or(value_at(values, i), 1.0, 1000.0, 1.0);
}
double db_at(const std::vector<float>& values, std::size_t i, double lo, double hi) {
    return held_or(value_at(values, i), lo, hi, 0.0);
}

std::string ratio_preset(const char* name, double ratio) {
    return text_of("%s %.3g:1", name, ratio);
}

}  // namespace

Dyn3CompValues read_dyn3_comp_values(const std::vector<float>& values) {
    Dyn3CompValues v;
    v.knee_db = held_or(value_at(values, 0), 0.0, 200.0, 0.0);
    v.ratio = ratio_at(values, 1);
    v.attack_ms = ms_at(values, 2);
    v.release_ms = ms_at(values, 3);
    v.gain_db = db_at(values, 4, -200.0, 200.0);
    v.threshold_db = db_at(values, 5, -200.0, 40.0);
    v.polarity = switch_at(values, 6);
    v.filter_a = key_filter_at(values, 7, 20000.0);
    v.filter_b = key_filter_at(values, 10, 20.0);
    v.external_key = switch_at(values, 13);
    return v;
}

Dyn3GateValues read_dyn3_gate_values(const std::vector<float>& values) {
    Dyn3GateValues v;
    v.depth_db = db_at(values, 0, -200.0, 0.0);
    v.ratio = ratio_at(values, 1);
    v.attack_ms = ms_at(values, 2);
    v.release_ms = ms_at(values, 3);
    v.hold_ms = ms_at(values, 4);
    v.threshold_db = db_at(values, 5, -200.0, 40.0);
    v.polarity = switch_at(values, 6);
    v.look_ahead = switch_at(values, 7);
    v.filter_a = key_filter_at(values, 8, 20000.0);
    v.filter_b = key_filter_at(values, 11, 20.0);
    v.external_key = switch_at(values, 14);
    return v;
}

void map_dyn3_sidechain_filter(const Dyn3KeyFilter& a, const Dyn3KeyFilter& b, double& low_pass,
                               double& high_pass, std::set<std::string>& notes) {
    low_pass = 1.0;
    high_pass = 0.0;
    if (a.on) {
        if (!a.pass) {
            notes.insert(kDyn3BandFilterNote);
        } else {
            low_pass = std::min(a.freq_hz / 20000.0, 1.0);
        }
    }
    if (b.on) {
        if (!b.pass) {
            notes.insert(kDyn3BandFilterNote);
        } else {
            high_pass = b.freq_hz / 20000.0;
        }
    }
}

std::vector<StandInEffect> convert_dyn3_compressor(const std::vector<float>& values, bool keyed,
                                                   int track_channels, std::uint32_t seed_base,
                                                   std::uint32_t& counter,
                                                   std::set<std::string>& notes) {
    const Dyn3CompValues v = read_dyn3_comp_values(values);
    StandInSeeds seeds{seed_base, counter};
    std::vector<StandInEffect> out;
    if (v.polarity) {
        out.push_back(polarity_js(seeds,
                                  join_name_parenthesised(std::string(kCompName) + " polarity",
                                                          "Channel Polarity Control"),
                                  "Dyn3 polarity"));
    }
    double low_pass = 1.0, high_pass = 0.0;
    map_dyn3_sidechain_filter(v.filter_a, v.filter_b, low_pass, high_pass, notes);

    const double attack = v.attack_ms * 0.584;
    const double release = v.release_ms * 0.4134;
    const double knee = v.knee_db * 0.3575;
    DynWords w{};
    w[0] = f32_word(portable::from_db(v.threshold_db + 0.337));
    w[1] = f32_word(std::clamp((v.ratio - 1.0) / 99.0, 0.0, 1.0));
    w[2] = f32_word(std::min(attack / 500.0, 1.0));
    w[3] = f32_word(std::min(release / 5000.0, 1.0));
    w[6] = f32_word(low_pass);
    w[7] = f32_word(high_pass);
    const bool unkeyed_key = v.external_key && !keyed;
    if ((v.external_key && keyed) || (unkeyed_key && track_channels == 2)) w[8] = kKeyInputWord;
    w[10] = kDynFloorWord;
    const double gain = std::max(v.gain_db, 0.0);
    w[11] = f32_word(gain <= kMaxMakeupGain_db ? portable::from_db(gain) : 1.0);
    w[14] = f32_word(std::min(knee / 24.0, 1.0));
    w[17] = f32_word(0.25);

    if (unkeyed_key) {
        notes.insert(track_channels == 2
                         ? "Dyn3 External Key on with no key input: Pro Tools hears silence "
                           "there, so the compressor never acts (its gain still applies); "
                           "REAPER's does the same, keyed from the track's empty channels 3/4"
                         : "Dyn3 External Key on with no key input, on a track wider than "
                           "stereo: Pro Tools hears silence there and never acts; here it "
                           "detects on its own signal");
    }
    if (attack > 500.0 || release > 5000.0) notes.insert(kCompTimeHeldNote);
    if (knee > 24.0) notes.insert(kCompKneeHeldNote);

    out.push_back(dyn_effect(seeds, StandInKind::reacomp, w,
                             join_name_parenthesised(kCompName, "ReaComp"),
                             ratio_preset(kCompName, v.ratio)));
    if (v.gain_db > kMaxMakeupGain_db) {
        out.push_back(volume_js(
            seeds, v.gain_db,
            join_name_parenthesised(std::string(kCompName) + " gain", "Volume Adjustment"),
            text_of("%s %+.1f dB", "Dyn3 gain", v.gain_db)));
    }
    return out;
}

std::vector<StandInEffect> convert_dyn3_expander_gate(const std::vector<float>& values, bool keyed,
                                                      int track_channels, std::uint32_t seed_base,
                                                      std::uint32_t& counter,
                                                      std::set<std::string>& notes) {
    const Dyn3GateValues v = read_dyn3_gate_values(values);
    StandInSeeds seeds{seed_base, counter};
    std::vector<StandInEffect> out;
    if (v.polarity) {
        out.push_back(polarity_js(seeds,
                                  join_name_parenthesised(std::string(kGateName) + " polarity",
                                                          "Channel Polarity Control"),
                                  "Dyn3 polarity"));
    }
    double low_pass = 1.0, high_pass = 0.0;
    map_dyn3_sidechain_filter(v.filter_a, v.filter_b, low_pass, high_pass, notes);

    const bool key_wired = v.external_key && keyed;
    // An unwired external key on a stereo track detects on the track's empty channels 3/4, as
    // Pro Tools detects on silence: only the gate can stay shut at its range.
    const bool silent_key = v.external_key && !keyed && track_channels == 2;
    if (v.external_key && !keyed) {
        notes.insert(silent_key
                         ? "Dyn3 Expander/Gate External Key on with no key input: Pro Tools "
                           "hears silence there, so it stays shut at its range; REAPER's gate "
                           "does the same, keyed from the track's empty channels 3/4"
                         : "Dyn3 Expander/Gate External Key on with no key input, on a track "
                           "wider than stereo: Pro Tools keeps it shut at its range; here it "
                           "detects on its own signal");
    }

    if (v.ratio < kGateRatio && !silent_key) {
        if (v.depth_db > -100.0) notes.insert(kExpanderDepthNote);
        if (v.hold_ms >= 0.5) notes.insert(kExpanderHoldNote);
        if (v.look_ahead) {
            notes.insert(
                "Dyn3 look-ahead not carried on an expander (REAPER's Downward Expander has "
                "none)");
        }
        if (low_pass < 1.0 || high_pass > 0.0) notes.insert(kExpanderFilterNote);
        out.push_back(js_effect(seeds, kExpanderJs,
                                text_of("%.3f %.4f 0 %d 2 %.4f %.4f", v.threshold_db, v.ratio,
                                        key_wired ? 1 : 0, v.attack_ms, v.release_ms),
                                7, join_name_parenthesised(kGateName, "Downward Expander"),
                                ratio_preset(kGateName, v.ratio)));
        return out;
    }

    // Past 20 dB of depth Pro Tools' gate opens and closes over a longer stretch of its range:
    // attack scales by D / 20 and release by 22 / D.
    const double depth = std::fabs(v.depth_db);
    double attack = v.attack_ms;
    double release = v.release_ms;
    if (depth / 20.0 > 1.0) {
        attack = depth / 20.0 * v.attack_ms;
        if (22.0 / depth < 1.0) release = 22.0 / depth * v.release_ms;
    }
    const double g = portable::from_db(v.depth_db);
    DynWords w{};
    w[0] = f32_word(portable::from_db(v.threshold_db));
    w[1] = f32_word(std::min(attack / 500.0, 1.0));
    w[2] = f32_word(std::min(release / 5000.0, 1.0));
    if (v.look_ahead) {
        w[3] = f32_word(0.008);
        notes.insert("Dyn3 look-ahead written as a 2 ms pre-open (its length is not measured)");
    }
    w[4] = f32_word(std::min(v.hold_ms / 1000.0, 1.0));
    w[5] = f32_word(low_pass);
    w[6] = f32_word(high_pass);
    if (key_wired || silent_key) w[7] = kKeyInputWord;
    w[9] = f32_word(g);
    w[10] = f32_word(1.0 - g);
    w[11] = kDynFloorWord;
    w[12] = f32_word(1.0);
    w[16] = kGateDefaultWord;
    // The times as written: the scaled attack and release, the hold.
    if (attack > 500.0 || release > 5000.0 || v.hold_ms > 1000.0) notes.insert(kGateTimeHeldNote);
    if (v.ratio < 50.0 && !silent_key) notes.insert(kExpanderAsGateNote);
    out.push_back(dyn_effect(seeds, StandInKind::reagate, w,
                             join_name_parenthesised(kGateName, "ReaGate"),
                             ratio_preset(kGateName, v.ratio)));
    return out;
}
