// One ReaEQ band as the stand-ins decide it and the ReaEQ block stores it.
#pragma once

#include <cstdint>

struct ReaEqStateBand {
    std::uint32_t type = 8;  // 0 low shelf, 1 high shelf, 3 low-pass, 4 high-pass, 6 notch, 8 peak
    std::uint8_t enabled = 1;
    double freq_hz = 0.0;
    double gain_db = 0.0;
    double q = 0.0;      // the Q the band stands for
    double value = 0.0;  // what ReaEQ stores: the shelf slope, else the bandwidth in octaves
};
