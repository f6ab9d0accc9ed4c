// Stable GUID text for the project file: a fixed hash of a 32-bit seed, so the same session gives
// the same project text on every run.
#pragma once

#include <cstdint>
#include <string>

// The 38-character "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" text of a seed (upper-case hex).
std::string guid_from_seed(std::uint32_t seed);
