// Stored placement positions turned into seconds.
//
// A placement's byte +23 says what its 48-bit position counts: 0x40 ticks stored as ticks + 10^12,
// 0x00 plain samples. Where no such byte was stored, a value below 10^12 is taken as the low 32
// bits of ticks + 10^12, as older readers kept it.
#pragma once

#include <cstdint>

#include "session/tempo_map.h"

// The low 32 bits of 10^12.
inline constexpr std::uint64_t kLowTickOffset = 3'567'587'328ULL;

struct TimeContext {
    double sample_rate = 48000.0;
    const TempoMap* tempo_map = nullptr;  // null: a constant tempo
    double session_tempo = 120.0;
};

// The ticks a stored position stands for. With the tick byte: stored - 10^12 (below 10^12 that is
// before the session start). Without one: stored - 10^12 from 10^12 on, else
// (stored - 3,567,587,328) mod 2^32.
double stored_ticks(std::uint64_t stored, bool tick_byte_stored);

// Seconds from the session start to `ticks` over the context's tempo map.
double tick_seconds(const TimeContext& time, double ticks);

// The seconds a stored position stands for on a track that counts ticks or samples.
double stored_seconds(const TimeContext& time, std::uint64_t stored, bool ticks,
                      bool tick_byte_stored);
