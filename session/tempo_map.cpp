#include "session/tempo_map.h"

#include <algorithm>
#include <bit>
#include <string_view>

#include "session/scan.h"
#include "util/bytes.h"

TempoMap session_tempo_map;

namespace {

constexpr std::uint16_t kTempoType = 0x2028;
constexpr std::uint16_t kMeterType = 0x2029;

// Tempo entries are 61 bytes apart; entry i's fields at these offsets + 61 i from the marker.
constexpr std::size_t kTempoStride = 61;
constexpr std::size_t kTempoPosition = 58;    // 48-bit stored tick position
constexpr std::size_t kTempoBpm = 68;         // f64, beats of the entry's beat length per minute
constexpr std::size_t kTempoBeatLength = 76;  // u64 ticks

constexpr std::size_t kMeterCount = 20;
constexpr std::size_t kMeterFirstEntry = 23;
constexpr std::size_t kMeterStride = 36;
constexpr std::uint32_t kMaxMeters = 4096;

bool has_text(SessionBytes bytes, std::uint64_t pos, std::string_view text) {
    if (!bytes_fit(bytes, pos, text.size())) return false;
    return std::string_view(reinterpret_cast<const char*>(bytes.data() + pos), text.size()) == text;
}

// The valid leading entries of a "Tempo" block.
std::vector<TempoEntry> read_tempo_entries(SessionBytes bytes, const BlockHeader& block) {
    std::vector<TempoEntry> entries;
    const std::uint64_t end = block.end();
    for (std::uint64_t base = block.position; base + kTempoBpm + 8 <= end; base += kTempoStride) {
        const double bpm = std::bit_cast<double>(read_u64le_checked(bytes, base + kTempoBpm));
        // Written so that NaN fails too.
        if (!(bpm > kMinStoredBpm && bpm <= kMaxStoredBpm)) break;
        std::uint64_t ticks = 0;
        if (!ticks_from_stored(read_u48le_checked(bytes, base + kTempoPosition), ticks)) break;
        const double start = static_cast<double>(ticks);
        if (!entries.empty() && start < entries.back().start_tick) break;
        const std::uint64_t beat_length = base + kTempoBeatLength + 8 <= end
                                              ? read_u64le_checked(bytes, base + kTempoBeatLength)
                                              : 0;
        entries.push_back({start, quarter_note_bpm(bpm, beat_length)});
    }
    return entries;
}

}  // namespace

double quarter_note_bpm(double stored_bpm, std::uint64_t beat_length) {
    if (beat_length == 0) return stored_bpm;
    return stored_bpm * static_cast<double>(beat_length) / kTicksPerQuarterNote;
}

void read_tempo_map(const std::uint8_t* data, std::size_t length, TempoMap& map) {
    const SessionBytes bytes = session_bytes(data, length);
    if (length < 88) return;
    scan_blocks(bytes, kTempoType, length - 88, [&](const BlockHeader& block) {
        if (block.size == 0 || !block_fits(bytes, block)) return false;
        if (!has_text(bytes, block.position + 9, "Tempo")) return false;
        if (block.end() < block.position + kTempoBeatLength) return false;
        std::vector<TempoEntry> entries = read_tempo_entries(bytes, block);
        if (entries.size() > map.entries.size()) map.entries = std::move(entries);
        return false;
    });
    index_tempo_map(map);
}

void read_meters(const std::uint8_t* data, std::size_t length, std::vector<MeterChange>& out) {
    const SessionBytes bytes = session_bytes(data, length);
    if (length < 32) return;
    scan_blocks(bytes, kMeterType, length - 32, [&](const BlockHeader& block) {
        if (block.size == 0 || !block_fits(bytes, block)) return false;
        if (!has_text(bytes, block.position + 9, "Meter")) return false;
        const std::uint32_t count = read_u32le_checked(bytes, block.position + kMeterCount);
        if (count > kMaxMeters) return false;
        if (std::uint64_t{count} * kMeterStride + 24 > std::uint64_t{block.size} + 7) return false;

        out.clear();
        // The stored position of the meter that holds position 0, while one does.
        std::uint64_t at_start = 0;
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::uint64_t entry = block.position + kMeterFirstEntry + kMeterStride * i;
            MeterChange meter;
            meter.numerator = read_u32le_checked(bytes, entry + 13);
            meter.denominator = read_u32le_checked(bytes, entry + 17);
            if (meter.numerator < 1 || meter.numerator > 99 || meter.denominator < 1 ||
                meter.denominator > 64) {
                out.clear();
                return true;
            }
            const std::uint64_t stored = read_u48le_checked(bytes, entry + 1);
            std::uint64_t ticks = 0;
            if (!ticks_from_stored(stored, ticks)) ticks = 0;
            meter.position = static_cast<double>(ticks);
            meter.field_9 = read_u32le_checked(bytes, entry + 9);
            meter.field_23 = read_u16le_checked(bytes, entry + 23);
            // Of the meters at or before the session start, the last is the one in force at 0.
            if (ticks == 0 && !out.empty() && out.back().position == 0.0) {
                if (stored >= at_start) {
                    out.back() = meter;
                    at_start = stored;
                }
                continue;
            }
            if (ticks == 0) at_start = stored;
            out.push_back(meter);
        }
        return true;
    });
}

namespace {

double ticks_per_second(double bpm) {
    return bpm * kTicksPerQuarterNote / 60.0;
}

// ticks_to_seconds's sum at the start of entry i + 1, from its sum at entry i's.
double next_start_seconds(const std::vector<TempoEntry>& entries, std::size_t i, double at_i) {
    return at_i + (entries[i + 1].start_tick - entries[i].start_tick) * 60.0 /
                      (entries[i].bpm * kTicksPerQuarterNote);
}

// seconds_to_ticks's sum at the start of entry i + 1, from its sum at entry i's.
double next_elapsed_seconds(const std::vector<TempoEntry>& entries, std::size_t i, double at_i) {
    return at_i +
           (entries[i + 1].start_tick - entries[i].start_tick) / ticks_per_second(entries[i].bpm);
}

bool indexed(const TempoMap& map) {
    return map.start_seconds.size() == map.entries.size() &&
           map.elapsed_seconds.size() == map.entries.size();
}

}  // namespace

void index_tempo_map(TempoMap& map) {
    const std::vector<TempoEntry>& entries = map.entries;
    map.start_seconds.clear();
    map.elapsed_seconds.clear();
    if (entries.empty()) return;
    const TempoEntry& first = entries.front();
    map.start_seconds.push_back(first.start_tick * 60.0 / (kTicksPerQuarterNote * first.bpm));
    map.elapsed_seconds.push_back(first.start_tick / ticks_per_second(first.bpm));
    for (std::size_t i = 0; i + 1 < entries.size(); ++i) {
        map.start_seconds.push_back(next_start_seconds(entries, i, map.start_seconds.back()));
        map.elapsed_seconds.push_back(next_elapsed_seconds(entries, i, map.elapsed_seconds.back()));
    }
}

double ticks_to_seconds(const TempoMap& map, double ticks, double default_bpm) {
    constexpr double kLastEnd = 1e18;
    const std::vector<TempoEntry>& entries = map.entries;
    if (entries.empty()) return ticks * 60.0 / (default_bpm * kTicksPerQuarterNote);
    const TempoEntry& first = entries.front();
    if (first.start_tick > ticks) return ticks * 60.0 / (kTicksPerQuarterNote * first.bpm);

    // The entries before the first that starts at or after `ticks` (all of them for NaN): every
    // one but the last of them runs to the next one's start. The span before the first entry
    // runs at that entry's tempo.
    std::size_t count = 0;
    double seconds = first.start_tick * 60.0 / (kTicksPerQuarterNote * first.bpm);
    if (indexed(map)) {
        count =
            ticks == ticks
                ? static_cast<std::size_t>(std::lower_bound(entries.begin(), entries.end(), ticks,
                                                            [](const TempoEntry& e, double t) {
                                                                return e.start_tick < t;
                                                            }) -
                                           entries.begin())
                : entries.size();
        if (count > 0) seconds = map.start_seconds[count - 1];
    } else {
        while (count < entries.size() && !(entries[count].start_tick >= ticks)) ++count;
        for (std::size_t i = 0; i + 1 < count; ++i)
            seconds = next_start_seconds(entries, i, seconds);
    }
    if (count == 0) return seconds;
    const std::size_t i = count - 1;
    const double next = i + 1 < entries.size() ? entries[i + 1].start_tick : kLastEnd;
    const double stop = next < ticks ? next : ticks;
    return seconds +
           (stop - entries[i].start_tick) * 60.0 / (entries[i].bpm * kTicksPerQuarterNote);
}

double seconds_to_ticks(const TempoMap& map, double seconds, double default_bpm) {
    const std::vector<TempoEntry>& entries = map.entries;
    if (entries.empty()) return seconds * ticks_per_second(default_bpm);
    const TempoEntry& first = entries.front();
    double elapsed = first.start_tick / ticks_per_second(first.bpm);
    if (seconds <= elapsed) return seconds * ticks_per_second(first.bpm);
    // The first entry whose span reaches `seconds`, or the last.
    std::size_t i = 0;
    if (indexed(map)) {
        const auto reaching =
            std::lower_bound(map.elapsed_seconds.begin() + 1, map.elapsed_seconds.end(), seconds);
        i = seconds == seconds && reaching != map.elapsed_seconds.end()
                ? static_cast<std::size_t>(reaching - map.elapsed_seconds.begin()) - 1
                : entries.size() - 1;
        elapsed = map.elapsed_seconds[i];
    } else {
        for (; i + 1 < entries.size(); ++i) {
            const double reached = next_elapsed_seconds(entries, i, elapsed);
            if (seconds <= reached) break;
            elapsed = reached;
        }
    }
    return entries[i].start_tick + (seconds - elapsed) * ticks_per_second(entries[i].bpm);
}
