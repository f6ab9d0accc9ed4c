// Probes of the Trim plug-in's stored settings ("DigiTrim" records) inside a plug-in's block.
// Each looks at the bytes from `start` to min(length, end) only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// The big-endian u32 at +48 of every record with 52 bytes in range (`out` cleared first).
void find_digitrim(const std::uint8_t* data, std::size_t length, std::size_t start, std::size_t end,
                   std::vector<std::uint32_t>& out);

// The first record has 56 bytes in range and holds 0x7FFFFFFF (big-endian) at +52.
bool has_digitrim(const std::uint8_t* data, std::size_t length, std::size_t start, std::size_t end);

// One flag per record with 56 bytes in range: 1 when it holds 0x7FFFFFFF at +52 (`out` cleared
// first).
void read_digitrim_values(const std::uint8_t* data, std::size_t length, std::size_t start,
                          std::size_t end, std::vector<std::uint32_t>& out);
