// A send as the project writer carries it: written as a receive on its destination track.
#pragma once

#include <cstdint>
#include <optional>

#include "model/curves.h"

struct SessionSend {
    std::int32_t source_index = 0;  // the sending track's position in the written track list
    double gain_db = 0.0;
    std::uint8_t post_fader = 0;
    std::optional<AutomationCurve> volume;
    std::optional<AutomationCurve> mute;
    double pan = 0.0;  // -1 left to 1 right
};
