// Avid's Channel Strip (and a clip's Clip Effects, the same processor) as a record in real
// units: what its named parameter values say, read from the "elck" document of an instance or
// filled from a clip's values.
//
// The names read, with the value a missing name takes (switches on at 0.5 or more, a type the
// whole part of its value + 0.5; times stored in seconds, held here in ms):
//   "Phase Switch In/Out" 0, "Input Trim" 0, "EQ On/Off" 1, "Filters On/Off" 1,
//   "Dynamics On/Off" 1; per EQ band ("EQ Low", "EQ Low-Mid", "EQ High-Mid", "EQ High"):
//   " In/Out" 1, " Type" 0 (Low and High: a shelf at 1), " Gain" 0, " Frequency" 1000, " Q" 1;
//   per "Filter 1", "Filter 2": " In/Out" 0, " Type" 0 (0 high-pass, 1 low-pass, 2 band-pass,
//   3 notch), " Frequency" 1000, " Q" 1, " Slope 12/24dB" 0; "Sc Detector Type Avg/Pk" 1,
//   "Sc Filter In/Out" 1, "Sc Filter Type" 0, "Sc Filter Frequency" 20, "Sc Source" 0 (1 key,
//   2 all-linked); "Exp In/Out" 1, "Exp Ratio" 1, "Exp Threshold" -80, "Exp Attack Time" 0,
//   "Exp Release Time" 0.2, "Exp Hold Time" 0.001, "Exp Knee" 0, "Exp Depth" -36,
//   "Exp Hysteresis" 0; "Cmp In/Out" 1, "Cmp Ratio" 1, "Cmp Threshold" -24, "Cmp Attack Time" 0,
//   "Cmp Release Time" 0.2, "Cmp Knee" 0, "Cmp Gain Makeup" 0, "Cmp Depth" -36;
//   "Fader Volume" 0, "Fader Volume On/Off" 1, "Process Order" 0, "EQ Range" 0,
//   "Dynamics Range" 0.
// NaN reads as the name's default; infinities and values out of range are held (Q at 0.2 and
// frequencies at 20 Hz at least), so no NaN or infinity reaches a band or a word.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

struct ChannelStripEqBand {
    std::uint8_t on = 1;
    std::uint8_t shelf = 0;  // Low and High only
    double gain_db = 0.0;
    double freq_hz = 1000.0;
    double q = 1.0;
};

struct ChannelStripFilter {
    std::uint8_t on = 0;
    std::int32_t type = 0;  // 0 high-pass, 1 low-pass, 2 band-pass, 3 notch
    double freq_hz = 1000.0;
    double q = 1.0;
    std::uint8_t slope_24 = 0;  // else 12 dB/oct
};

inline constexpr std::int32_t kStripHighPass = 0;
inline constexpr std::int32_t kStripLowPass = 1;
inline constexpr std::int32_t kStripBandPass = 2;
inline constexpr std::int32_t kStripNotch = 3;

struct ChannelStripSettings {
    std::string name = "Channel Strip";  // or "Clip Effects"
    std::uint8_t polarity = 0;
    double input_trim_db = 0.0;
    std::uint8_t eq_on = 1;
    std::uint8_t eq_present = 1;
    std::uint8_t filters_on = 1;
    std::uint8_t filters_present = 1;
    std::uint8_t dynamics_on = 1;

    std::array<ChannelStripEqBand, 4> eq{};  // Low, Low-Mid, High-Mid, High
    std::array<ChannelStripFilter, 2> filters{};

    std::uint8_t exp_on = 1;
    double exp_ratio = 1.0;
    double exp_threshold_db = -80.0;
    double exp_attack_ms = 0.0;
    double exp_release_ms = 200.0;
    double exp_hold_ms = 1.0;
    double exp_knee = 0.0;
    double exp_depth_db = -36.0;
    double exp_hysteresis_db = 0.0;
    std::uint8_t exp_ratio_extrapolated = 0;
    std::uint8_t exp_hold = 0;
    std::uint8_t exp_hysteresis = 0;
    std::uint8_t exp_present = 1;

    std::uint8_t cmp_on = 1;
    double cmp_ratio = 1.0;
    double cmp_threshold_db = -24.0;
    double cmp_attack_ms = 0.0;
    double cmp_release_ms = 200.0;
    double cmp_knee_db = 0.0;
    double cmp_makeup_db = 0.0;
    std::uint8_t cmp_ratio_extrapolated = 0;
    std::uint8_t cmp_depth = 0;

    std::uint8_t sc_filter_on = 1;
    std::int32_t sc_filter_type = 0;  // 0 high-pass, 1 low-pass, else band-pass or notch
    double sc_filter_freq_hz = 20.0;
    std::int32_t sc_source = 0;  // 1 key input, 2 all-linked, else internal
    std::uint8_t sc_peak = 1;

    double fader_db = 0.0;
    std::uint8_t fader_on = 0;
    std::uint8_t clip_fader = 0;
    std::uint8_t order = 0;  // a processing order other than EQ, filters, dynamics
    std::uint8_t range = 0;  // an EQ or Dynamics Range other than the default
};

inline constexpr std::array<const char*, 4> EQ_BAND_NAMES = {"EQ Low", "EQ Low-Mid", "EQ High-Mid",
                                                             "EQ High"};

// A parameter name and its normalised (0..1) default: the values of a clip's Clip Effects.
struct ChannelStripDefault {
    const char* name;
    double value;
};
extern const std::array<ChannelStripDefault, 60> CHANNEL_STRIP_DEFAULTS;

// The names a Channel Strip document must hold for a stand-in to be built from it.
bool channel_strip_document_usable(const std::map<std::string, double>& values);

// The value of the name, else `fallback`.
double param_by_name(const std::map<std::string, double>& values, const std::string& name,
                     double fallback);
// The first value listed under the name, else its default in CHANNEL_STRIP_DEFAULTS, else 0.
double channel_strip_param_value(const std::vector<std::pair<std::string, double>>& values,
                                 const std::string& name);
// The name is in CHANNEL_STRIP_DEFAULTS and its value differs from the default by 0.0001 or more.
bool channel_strip_param_changed(const std::vector<std::pair<std::string, double>>& values,
                                 const std::string& name);

ChannelStripSettings read_channel_strip_params(const std::map<std::string, double>& values);

// The record with every number held to the ranges read_channel_strip_params holds to (NaN at
// the record's default), for records filled elsewhere (a clip's Clip Effects).
ChannelStripSettings held_channel_strip_settings(ChannelStripSettings s);
