// Timecode text for messages and the project's timecode settings.
#pragma once

#include <cstdint>
#include <string>

// "HH:MM:SS:FF" (";" before the frame with the drop flag; three frame digits above 100 fps).
// Drop-frame counting applies at multiples of 30 fps: 29.97 drop-frame passes 30, 59.94 passes 60.
// Hours do not wrap at 24. An fps below 1 counts as 1 so that no frame count divides by zero.
std::string format_timecode(std::uint32_t frames, std::int32_t fps, std::uint8_t drop);
