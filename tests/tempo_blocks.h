// Builds the session's "Tempo", "Meter" and memory-location blocks for tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "session/tempo_map.h"
#include "tests/block_builder.h"
#include "util/bytes.h"

namespace test_blocks {

// A "Tempo" block as real sessions hold it: 48-bit positions, BPM and beat length, 61 bytes apart.
struct StoredTempo {
    std::uint64_t position;
    double bpm;
    std::uint64_t beat_length = 960000;
};

inline std::string tempo_block(const std::vector<StoredTempo>& entries) {
    std::string b(84 + 61 * (entries.size() - 1) + 17, '\0');
    b.replace(0, 1, "Z");
    b.replace(1, 2, le(0x03, 2));
    b.replace(3, 4, le(b.size() - 7, 4));
    b.replace(7, 2, le(0x2028, 2));
    b.replace(9, 5, "Tempo");
    b.replace(20, 4, le(entries.size(), 4));
    for (std::size_t i = 0; i < entries.size(); ++i) {
        std::string bpm;
        append_f64le(bpm, entries[i].bpm);
        b.replace(58 + 61 * i, 6, le(entries[i].position, 6));
        b.replace(68 + 61 * i, 8, bpm);
        b.replace(76 + 61 * i, 8, le(entries[i].beat_length, 8));
    }
    return b;
}

inline std::string meter_block(const std::vector<MeterChange>& entries) {
    std::string b(32 + 36 * entries.size(), '\0');
    b.replace(0, 1, "Z");
    b.replace(1, 2, le(0x01, 2));
    b.replace(3, 4, le(b.size() - 7, 4));
    b.replace(7, 2, le(0x2029, 2));
    b.replace(9, 5, "Meter");
    b.replace(20, 4, le(entries.size(), 4));
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const std::size_t e = 23 + 36 * i;
        // A negative position stands before the session start.
        const std::int64_t stored =
            static_cast<std::int64_t>(kOrigin) + static_cast<std::int64_t>(entries[i].position);
        b.replace(e + 1, 6, le(static_cast<std::uint64_t>(stored), 6));
        b.replace(e + 13, 4, le(entries[i].numerator, 4));
        b.replace(e + 17, 4, le(entries[i].denominator, 4));
    }
    return b;
}

// A 0x2077 block with a short name, as read_memory_locations reads it.
inline std::string location_block(const std::string& name, int kind, std::uint64_t start,
                                  std::uint64_t end) {
    std::string content = zeros(3) + std::string(1, static_cast<char>(kind)) + zeros(2) +
                          le(name.size(), 4) + name + le(kOrigin + start, 5) + zeros(3) +
                          le(kOrigin + end, 5) + zeros(3);
    return z_block(0x2077, content, 0x01);
}

}  // namespace test_blocks
