// Elastic-audio warp markers: the 0x2636 point lists that follow a clip's 0x2628 block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct WarpPoint {
    double tick = 0.0;    // ticks from the session start
    double sample = 0.0;  // sample position in the source; 0 for the first point
};

// Clip name -> its warp points (two or more); a later block with the same name replaces the list.
void read_warp_markers(const std::uint8_t* data, std::size_t length,
                       std::map<std::string, std::vector<WarpPoint>>& out);
