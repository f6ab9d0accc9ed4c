// The names of the session's playlists (0x2632 list), used when alternate playlists are folded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct PlaylistNameEntry {
    std::string name;
    std::uint32_t value = 0;  // the u32 after the entry's name block
};

// Reads the first 0x2632 block (high byte 0, size above 7, fits): every 0x2629 block inside it
// whose +9 holds a 0x2628 block gives one entry, its name (below 401 bytes) from that nested
// block. Cleared first.
void read_playlist_names(const std::uint8_t* data, std::size_t length,
                         std::vector<PlaylistNameEntry>& out);
