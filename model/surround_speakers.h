// Where REAPER's surround panner places each Pro Tools speaker name (x left -1 to right 1, y rear
// -1 to front 1); flag 4 marks the LFE.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

struct SurroundSpeaker {
    std::string_view name;
    double x = 0.0;
    double y = 0.0;
    std::uint32_t flags = 0;
};

inline constexpr std::array<SurroundSpeaker, 14> surround_speakers{{
    {"L", -1.0, 1.0, 0},
    {"R", 1.0, 1.0, 0},
    {"C", 0.0, 1.0, 0},
    {"Lc", -0.5, 1.0, 0},
    {"Rc", 0.5, 1.0, 0},
    {"Ls", -1.0, -1.0, 0},
    {"Rs", 1.0, -1.0, 0},
    {"S", 0.0, -1.0, 0},
    {"Cs", 0.0, -1.0, 0},
    {"Lss", -1.0, 0.0, 0},
    {"Rss", 1.0, 0.0, 0},
    {"Lsr", -1.0, -1.0, 0},
    {"Rsr", 1.0, -1.0, 0},
    {"LFE", 0.0, 0.0, 4},
}};

// The speaker of that exact name; null when the table has none.
inline const SurroundSpeaker* find_surround_speaker(std::string_view name) {
    for (const SurroundSpeaker& speaker : surround_speakers)
        if (speaker.name == name) return &speaker;
    return nullptr;
}
