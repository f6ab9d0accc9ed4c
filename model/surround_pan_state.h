// A track's Pro Tools surround panner as handed to the ReaSurroundPan writer.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "model/curves.h"

struct SurroundPanState {
    std::int32_t output_channels = 0;
    std::vector<std::string> speakers;  // output speaker names in channel order
    std::uint8_t stereo_input = 0;
    // Per input, as stored: front X, rear X, front/rear position, divergence 1, divergence 2,
    // divergence cap, centre percent.
    std::array<std::int32_t, 7> input_1{};
    std::array<std::int32_t, 7> input_2{};
    double second_input_gain = 1.0;
    std::uint8_t stored = 0;
    std::uint8_t lfe_on = 0;
    double lfe_level_db = -144.0;
    std::vector<AutomationCurve> lanes;    // the first input's seven, in the order above
    std::vector<AutomationCurve> lanes_2;  // the second input's seven
    AutomationCurve lfe_curve;
};
