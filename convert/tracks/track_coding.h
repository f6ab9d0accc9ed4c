// The colour Pro Tools displays for a track without a colour of its own, by the session's track
// colour coding: by track type, by group slot, or by the track's row and MIDI channel or device.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "session/groups.h"
#include "session/session_items.h"
#include "session/track_names.h"

struct ColourCoding {
    std::map<std::string, std::int32_t> index_by_track;  // palette index
    int position_for_want_of_row = 0;  // no stored row value: the track's position was used
    int past_26 = 0;                   // stored row values above 26
    int video_not_coloured = 0;
    int midi_without_channel = 0;  // no readable MIDI channel or device
    int devices_with_id = 0;
    int groups_without_slot = 0;
};

struct ColourCodingInput {
    std::int32_t mode = -1;  // 1 channels, 2 devices, 3 groups, 4 track type
    const std::vector<NamedBlockEntry>* named = nullptr;
    std::vector<std::uint64_t> track_block_starts;  // 0x261c blocks: start
    std::vector<std::uint64_t> track_block_ends;    // ... and end (start + size + 7)
    const std::vector<SessionGroup>* kept_groups = nullptr;
    const std::vector<std::string>* strips = nullptr;
    std::vector<std::uint32_t> row_values;  // per named block, 0 when none
    // Per named block: the device number of its first 0x2036 block; -1 when none is readable.
    std::vector<std::int64_t> device_numbers;
    const std::vector<SessionItemEntry>* items = nullptr;
};

ColourCoding colour_coding(const ColourCodingInput& in);

// The input's session parts: 0x261c spans, row values, device numbers.
void read_colour_coding_input(const std::uint8_t* data, std::size_t length, ColourCodingInput& in);

// A track's palette index in `by_track`: by its name, else its session name.
std::optional<std::int32_t> palette_index_of(const std::map<std::string, std::int32_t>& by_track,
                                             const std::string& name,
                                             const std::string& session_name);
// The coding's index for a track.
std::optional<std::int32_t> coding_index_of(const ColourCoding& coding, const std::string& name,
                                            const std::string& session_name);
