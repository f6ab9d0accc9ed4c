// Placements found by the name of the list that holds them: the MIDI playlists (0x1057 holding
// 0x1056 children) and the video playlists (0x1053 holding 0x1051 children), and the count of
// clip-group placements per MIDI playlist.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct NamedPlacement {
    std::string list_name;
    std::uint32_t item_id = 0;
    std::uint64_t position = 0;  // 48 bits as stored
    std::uint8_t time_base = 0;  // byte +23 (see clip_lists.h)
};

struct VideoPlacement {
    std::uint32_t name_index = 0;  // into the names vector of read_video_placements
    std::uint32_t item_id = 0;
    double position = 0.0;   // 48 bits as stored
    std::int32_t value = 0;  // the i16 at +25
    std::uint32_t placement_flag =
        0;  // byte +10 or +39 is not 0; 0 for placements of 30 bytes or less
    std::uint8_t time_base = 0;
    // As for a clip's placement: the placement flag marks a locked one, the i16 its clip colour
    // number (-2: none).
    std::uint8_t locked = 0;
    std::int32_t colour_index = -2;
};

// For every 0x1057 list (size 12..400000, fits + 2, name 1..200 name bytes), every 0x1056 block
// (size 20..4000, fits + 2) after the name gives one record from the first placement (size above
// 11, fits + 2) inside it. Nested lists are read too. Appends.
void read_named_placements_1057(const std::uint8_t* data, std::size_t length,
                                std::vector<NamedPlacement>& out);

// The same over 0x1053 lists (size 20..400000) and their 0x1051 blocks (size 20..4000, searched
// from the list's +9), placements of size above 17. Each list's name is appended to `names`
// first and its index goes into the list's records. Appends.
void read_video_placements(const std::uint8_t* data, std::size_t length,
                           std::vector<VideoPlacement>& out, std::vector<std::string>& names);

// Per 0x1057 list name, the number of its 0x1056 children whose first placement is a clip group
// (byte +27 is 1). Every list that reads gets an entry, also with 0. Cleared first.
void pair_midi_timebase(const std::uint8_t* data, std::size_t length,
                        std::map<std::string, int>& out);
