#include "convert/clips/clip_time.h"

#include "session/scan.h"

double stored_ticks(std::uint64_t stored, bool tick_byte_stored) {
    if (stored >= kStoredTickOffset) return static_cast<double>(stored - kStoredTickOffset);
    if (tick_byte_stored) return -static_cast<double>(kStoredTickOffset - stored);
    return static_cast<double>(static_cast<std::uint32_t>(stored - kLowTickOffset));
}

double tick_seconds(const TimeContext& time, double ticks) {
    static const TempoMap constant;
    return ticks_to_seconds(time.tempo_map ? *time.tempo_map : constant, ticks, time.session_tempo);
}

double stored_seconds(const TimeContext& time, std::uint64_t stored, bool ticks,
                      bool tick_byte_stored) {
    if (!ticks) return static_cast<double>(stored) / time.sample_rate;
    return tick_seconds(time, stored_ticks(stored, tick_byte_stored));
}
