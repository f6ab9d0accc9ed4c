// A track's view and mix state as the session gives it; -1 marks a value it did not give.
#pragma once

#include <cstdint>
#include <string>

struct TrackViewState {
    std::uint8_t shown_in_mixer = 1;
    std::int32_t height = 0;            // pixels
    std::int32_t colour_number = 0;     // 1-based position in the track palette
    std::int32_t solo_state = -1;       // 1: soloed
    std::int32_t solo_safe_state = -1;  // 1: solo safe
    // 0 "Off", 1 "Read", 2 "Touch", 3 "Latch", 4 "Write", 5 "Touch/Latch".
    std::int32_t automation_mode = -1;
    std::int32_t trim_flag = -1;  // 1: the automation mode is combined with trim
    std::string comment;
};
