// Smaller records that the content readers fill: MIDI chunks, Melodyne records and clip lists.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

struct ControllerEvent {
    std::uint16_t kind = 0;  // as stored; its low byte is 1, 2 or 4
    std::uint64_t position = 0;
    std::uint32_t value = 0;
};

// One entry of a MIDI event stream.
struct MidiStreamEntry {
    std::uint64_t position = 0;
    std::vector<std::uint8_t> bytes;
};

// One MIDI note-list chunk with its controller events and event streams.
struct MidiChunk {
    std::uint64_t position = 0;
    std::uint32_t event_count = 0;  // as stored in the chunk header
    std::vector<ControllerEvent> controller_events;
    std::vector<MidiStreamEntry> streams;
};

// The MIDI real-time properties of one MIDI or instrument track.
struct MidiTrackProperties {
    std::uint8_t quantize_on = 0;
    std::uint8_t duration_on = 0;
    std::uint8_t delay_on = 0;
    std::uint8_t velocity_on = 0;
    std::uint8_t transpose_on = 0;
    std::uint32_t swing_percent = 0;
    std::int32_t delay_ticks = 0;
    std::uint32_t velocity_scale = 100;  // percent
    std::int32_t velocity_offset = 0;
    std::uint32_t carried_value = 0;  // stored beside transpose; meaning unknown, kept as read
    std::int32_t transpose_octaves = 0;
    std::int32_t transpose_semitones = 0;
};

// One Melodyne (ARA) record tying a clip to the archives beside the session.
struct PluginParamRecord {
    std::string group_text;
    std::string container_name;
    std::string entry_name;
    std::string value_name;
    std::string document_text;
    std::array<std::uint8_t, 16> entry_id{};
    std::array<std::uint8_t, 16> value_id{};
};

// One clip list with one entry per placement in each of the parallel vectors. A session's lists
// hold an entry per placement, several times over: each column is as narrow as what it holds.
struct R10BlockRecord {
    std::string name;
    std::uint8_t counts_ticks = 0;              // the list's kind byte is 2
    std::vector<std::uint32_t> ids;             // region or clip-group id
    std::vector<std::int16_t> colour_numbers;   // as stored; -2 is none
    std::vector<std::uint8_t> closed;           // the trailing byte is 0, or the entry is short
    std::vector<std::uint8_t> fade_entry;       // the trailing byte marks a fade placement
    std::vector<std::uint8_t> over_flag;        // byte +24: 1 over the next clips, 2 the previous
    std::vector<std::uint8_t> group_entry;      // the placement is a clip group
    std::vector<std::uint8_t> muted;            // byte +9 as stored
    std::vector<std::uint8_t> locked;
    std::vector<std::uint64_t> positions;  // 48 bits as stored (ticks keep their 10^12)
    std::vector<std::uint8_t> time_bases;  // byte +23: 0x40 ticks, 0x00 samples, 0xFF not stored
};
