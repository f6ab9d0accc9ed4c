// Track and bus names recovered from the session's loose texts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Appends, in sorted order, the names of stereo tracks (texts seen followed by both ".L" and
// ".R") and the buses "Bus N-M" whose halves "Bus N" and "Bus M" also occur as texts.
void harvest_session_strings(const std::uint8_t* data, std::size_t length,
                             std::vector<std::string>& out);

// The session's track list as a run of names, in session order: texts of 2 to 64 name bytes, each
// at most 40 bytes after the one before, that start at a text equal to a known name. Of all such
// runs the one holding the most known names is taken, the first of equals; a run holding every
// known name it can hold ends the search. `out` is replaced only when a known name is found.
void harvest_head_strings(const std::uint8_t* data, std::size_t length,
                          const std::vector<std::string>& known_names,
                          std::vector<std::string>& out);

// True for texts that are no names: shorter than 2 bytes, holding ':', '\' or '/', a folder word
// of a session's path, or a file name of an audio, session or settings type.
bool is_path_or_file_name(std::string_view text);

// Splits "Bus N-M" into "Bus N" and "Bus M" (N and M decimal digits); false otherwise.
bool parse_bus_name(std::string_view text, std::string& first, std::string& second);
