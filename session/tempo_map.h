// The session's tempo and meter maps, and tick positions turned into seconds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// One tempo change. The BPM counts quarter notes, whatever beat length the session stored.
struct TempoEntry {
    double start_tick = 0.0;  // relative to the session start, 960000 to the quarter note
    double bpm = 0.0;
};

// Tempo changes in non-decreasing tick order. The driver installs the session's map in
// `session_tempo_map`, which everything that turns ticks into seconds reads.
//
// index_tempo_map fills the two tables from the entries: the seconds at each entry's start, as
// ticks_to_seconds and as seconds_to_ticks sum the spans before it, so that each call looks up
// its span rather than summing every span before it. A map whose tables do not match its entries
// in size (one built by hand) is summed afresh on every call.
struct TempoMap {
    std::vector<TempoEntry> entries;
    std::vector<double> start_seconds{};    // ticks_to_seconds's sums
    std::vector<double> elapsed_seconds{};  // seconds_to_ticks's sums
    void reset() {
        entries.clear();
        start_seconds.clear();
        elapsed_seconds.clear();
    }
};
extern TempoMap session_tempo_map;

// One meter change.
struct MeterChange {
    double position = 0.0;          // ticks from the session start
    std::uint32_t field_9 = 0;      // the u32 at entry +9, meaning unknown
    std::uint32_t numerator = 4;    // 1..99
    std::uint32_t denominator = 4;  // 1..64
    std::uint32_t field_23 = 0;     // the u16 at entry +23, meaning unknown
};

// Stored tempos above this (and those of 5 BPM or less) end a tempo list.
inline constexpr double kMaxStoredBpm = 999.0;
inline constexpr double kMinStoredBpm = 5.0;

// A stored tempo counts beats of `beat_length` ticks (960000 a quarter note, 240000 a sixteenth,
// 360000 a dotted sixteenth); this is the same tempo in quarter notes. A beat length of 0 means a
// quarter note.
double quarter_note_bpm(double stored_bpm, std::uint64_t beat_length);

// Fills the map's tables from its entries, which must be in non-decreasing tick order.
void index_tempo_map(TempoMap& map);

// Replaces `map` by the longest valid tempo list among the session's "Tempo" blocks when that list
// is longer than `map` already is (the first of equally long lists wins), and indexes it.
void read_tempo_map(const std::uint8_t* data, std::size_t length, TempoMap& map);

// Reads the first "Meter" block into `out` (cleared first). Entries at or before the session start
// stand at 0, and of them only the last (by stored position) is kept: it is the meter in force at
// the start. An entry with a numerator outside 1..99 or a denominator outside 1..64 leaves `out`
// empty. Without a "Meter" block `out` is left as given.
void read_meters(const std::uint8_t* data, std::size_t length, std::vector<MeterChange>& out);

// Seconds from the session start to `ticks` over the map; an empty map runs at `default_bpm`,
// and the span before the first entry runs at the first entry's tempo.
double ticks_to_seconds(const TempoMap& map, double ticks, double default_bpm);

// Ticks (960000 to the quarter note) from the session start to `seconds` over the map; the
// inverse of ticks_to_seconds.
double seconds_to_ticks(const TempoMap& map, double seconds, double default_bpm);
