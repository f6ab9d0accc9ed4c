// The REAPER effects that a stand-in for one of Avid's stock processors is made of, as a plain
// plan: each effect with its kind, its names and its parameter values. The Dyn3 and Channel Strip
// converters fill these; the effect-block writers turn them into project text. Nothing here
// prints a block.
//
// ReaComp and ReaGate take 21 parameter words, each the bit pattern of an f32; a word the
// converters leave alone is 0. JS effects are named by their path in REAPER's Effects folder and
// carry their parameter text (the writer pads it to 64 slots).
#pragma once

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "effects/eq3_conversion.h"
#include "effects/fx_blocks.h"
#include "util/number_text.h"

enum class StandInKind : std::uint8_t { js, reaeq, reacomp, reagate };

inline constexpr std::size_t kDynWordCount = 21;
using DynWords = std::array<std::uint32_t, kDynWordCount>;

struct StandInEffect {
    StandInKind kind = StandInKind::js;
    std::uint8_t bypass = 0;
    std::uint32_t seed = 0;  // the FXID seed: the stand-in's seed base + its block number
    std::string name;        // the custom name of a VST, the description of a JS
    std::string preset;      // may be empty
    // JS effects.
    std::string js_path;
    std::string js_params;
    std::uint32_t js_param_count = 0;
    // ReaEQ.
    std::vector<ReaEqStateBand> bands;
    double output_gain_db = 0.0;
    // ReaComp and ReaGate.
    DynWords words{};
};

// REAPER's own JS effects the stand-ins use.
inline constexpr const char* kPolarityJs = "IX/StereoPhaseInvert";
inline constexpr const char* kVolumeJs = "utility/volume";
inline constexpr const char* kExpanderJs = "sstillwell/expander";

// f32 words with the bit patterns REAPER saves for them.
inline constexpr std::uint32_t kKeyInputWord = 0x3AF1D48C;     // 0.0018450185: detect on 3/4
inline constexpr std::uint32_t kDynFloorWord = 0x3307D1A3;     // 3.16228e-08
inline constexpr std::uint32_t kGateDefaultWord = 0x3F0B162B;  // 0.543307

inline std::uint32_t f32_word(double x) {
    return std::bit_cast<std::uint32_t>(static_cast<float>(x));
}

// x held to lo..hi; NaN gives `neutral` (the value that changes nothing).
inline double held_or(double x, double lo, double hi, double neutral) {
    if (std::isnan(x)) return neutral;
    return x < lo ? lo : (x > hi ? hi : x);
}

// printf's text of the format and its arguments.
template <typename... Args>
std::string text_of(const char* format, const Args&... args) {
    std::string text;
    append_format(text, format, args...);
    return text;
}

// The effect pieces, each taking seed base + counter as its seed and advancing the counter.
struct StandInSeeds {
    std::uint32_t base = 0;
    std::uint32_t& counter;
    std::uint32_t next() { return base + counter++; }
};
StandInEffect polarity_js(StandInSeeds& seeds, const std::string& description,
                          const std::string& preset);
// REAPER's volume JS at gain_db: "%.6f 150" of gain_db x 6 / 6.020599913279624 (its slider
// counts 6 dB steps as 6.0206).
StandInEffect volume_js(StandInSeeds& seeds, double gain_db, const std::string& description,
                        const std::string& preset);
StandInEffect js_effect(StandInSeeds& seeds, const char* path, std::string params,
                        std::uint32_t count, const std::string& description,
                        const std::string& preset);
StandInEffect dyn_effect(StandInSeeds& seeds, StandInKind kind, const DynWords& words,
                         const std::string& name, const std::string& preset);
