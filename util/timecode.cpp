#include "util/timecode.h"

#include <cstdio>

std::string format_timecode(std::uint32_t frames, std::int32_t fps, std::uint8_t drop) {
    const std::uint64_t rate = fps < 1 ? 1u : static_cast<std::uint64_t>(fps);
    // 64 bits so that the drop-frame correction of a count near 2^32 cannot wrap.
    std::uint64_t count = frames;
    if (drop != 0 && rate >= 30 && rate % 30 == 0) {
        // Turn the real frame count into the nominal one that drop-frame labels skip to.
        const std::uint64_t m = rate / 30;
        const std::uint64_t per_ten_minutes = 17982 * m;
        const std::uint64_t tens = count / per_ten_minutes;
        const std::uint64_t rest = count % per_ten_minutes;
        const std::uint64_t into_minutes = rest >= 2 * m ? rest - 2 * m : 0;
        count += (9 * tens + into_minutes / (1798 * m)) * 2 * m;
    }
    const std::uint64_t seconds = count / rate;
    const std::uint64_t frame = count % rate;
    const char separator = drop != 0 ? ';' : ':';

    char text[64];
    std::snprintf(text, sizeof text,
                  rate > 100 ? "%02llu:%02llu:%02llu%c%03llu" : "%02llu:%02llu:%02llu%c%02llu",
                  static_cast<unsigned long long>(seconds / 3600),
                  static_cast<unsigned long long>(seconds / 60 % 60),
                  static_cast<unsigned long long>(seconds % 60), separator,
                  static_cast<unsigned long long>(frame));
    return text;
}
