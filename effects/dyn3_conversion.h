// Avid's Dyn3 Compressor/Limiter and Dyn3 Expander/Gate as REAPER's own dynamics: the
// compressor as ReaComp (a polarity JS before it, a volume JS after it for gain past ReaComp's
// 6 dB), the expander/gate as SStillwell's downward expander (gentle ratios) or ReaGate (1:10
// and more). Every setting that does not carry adds a note.
//
// Compressor/Limiter control values (14): 0 knee dB, 1 ratio, 2 attack s, 3 release s, 4 gain
// dB, 5 threshold dB, 6 polarity; key filter A 7 frequency Hz, 8 type, 9 on; key filter B 10
// frequency, 11 type, 12 on; 13 external key.
// Expander/Gate (15): 0 depth dB (the floor, 0 or below), 1 ratio, 2 attack s, 3 release s, 4
// hold s, 5 threshold dB, 6 polarity, 7 look-ahead; key filter A 8 frequency, 9 type, 10 on; key
// filter B 11 frequency, 12 type, 13 on; 14 external key.
// Switches are on at 0.5 or more; a key filter whose type is 0.5 or more is a pass filter (A the
// detector's low-pass, B its high-pass), else a band filter. NaN reads as the control's neutral
// value and every value is held to its range, so no NaN or infinity reaches a word or a text.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "effects/standin_effects.h"

// A key filter: its frequency, pass-filter type and on switch.
struct Dyn3KeyFilter {
    double freq_hz = 20000.0;
    std::uint8_t pass = 1;  // else a band filter
    std::uint8_t on = 0;
};

struct Dyn3CompValues {
    double knee_db = 0.0;
    double ratio = 1.0;
    double attack_ms = 0.0;
    double release_ms = 0.0;
    double gain_db = 0.0;
    double threshold_db = 0.0;
    std::uint8_t polarity = 0;
    Dyn3KeyFilter filter_a;  // the detector's low-pass
    Dyn3KeyFilter filter_b;  // the detector's high-pass
    std::uint8_t external_key = 0;
};

struct Dyn3GateValues {
    double depth_db = 0.0;
    double ratio = 1.0;
    double attack_ms = 0.0;
    double release_ms = 0.0;
    double hold_ms = 0.0;
    double threshold_db = 0.0;
    std::uint8_t polarity = 0;
    std::uint8_t look_ahead = 0;
    Dyn3KeyFilter filter_a;
    Dyn3KeyFilter filter_b;
    std::uint8_t external_key = 0;
};

// The values of an instance (missing values read as NaN), held; times in ms.
Dyn3CompValues read_dyn3_comp_values(const std::vector<float>& values);
Dyn3GateValues read_dyn3_gate_values(const std::vector<float>& values);

// The detector's filters as ReaComp/ReaGate words: low-pass 1.0 and high-pass 0 unless a pass
// filter is on (low-pass min(f / 20000, 1), high-pass f / 20000); a band filter adds its note.
void map_dyn3_sidechain_filter(const Dyn3KeyFilter& a, const Dyn3KeyFilter& b, double& low_pass,
                               double& high_pass, std::set<std::string>& notes);

// The stand-ins' effects, in order, all unbypassed; each takes seed base + counter as its seed
// and advances the counter. `keyed`: the instance's key input is wired; `track_channels`: the
// channel count of the track being written.
std::vector<StandInEffect> convert_dyn3_compressor(const std::vector<float>& values, bool keyed,
                                                   int track_channels, std::uint32_t seed_base,
                                                   std::uint32_t& counter,
                                                   std::set<std::string>& notes);
std::vector<StandInEffect> convert_dyn3_expander_gate(const std::vector<float>& values, bool keyed,
                                                      int track_channels, std::uint32_t seed_base,
                                                      std::uint32_t& counter,
                                                      std::set<std::string>& notes);

inline constexpr const char* kDyn3BandFilterNote =
    "Dyn3 side-chain band filter not carried (REAPER's detector filters are high and low pass "
    "only)";
inline constexpr const char* kCompTimeHeldNote =
    "compressor time past ReaComp's range held at its top (attack 500 ms, release 5 s)";
inline constexpr const char* kCompKneeHeldNote = "compressor knee past ReaComp's 24 dB held at 24";
inline constexpr const char* kGateTimeHeldNote =
    "gate time past ReaGate's range held at its top (attack 500 ms, release 5 s, hold 1 s)";
inline constexpr const char* kExpanderDepthNote =
    "expander depth (its floor) not carried: REAPER's Downward Expander has none";
inline constexpr const char* kExpanderHoldNote =
    "expander hold not carried: REAPER's Downward Expander has none";
inline constexpr const char* kExpanderFilterNote = "expander side-chain filter not carried";
inline constexpr const char* kExpanderAsGateNote =
    "expander at 1:10 or more written as a gate, with Pro Tools' depth as its floor";
