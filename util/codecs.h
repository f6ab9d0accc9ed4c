// Hex and base64 codecs over byte strings (std::string used as a byte container).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Pairs of hex digits from the start; an odd last character is ignored and nothing is validated
// (a non-digit still yields a byte), so any text decodes.
std::string hex_to_bytes(std::string_view text);

// Two upper-case hex digits per byte, high nibble first.
std::string bytes_to_hex_upper(std::string_view bytes);

// Standard base64 with "=" padding, on one line; callers cut it into lines.
std::string base64_encode(std::string_view bytes);
std::string base64_encode(const std::uint8_t* data, std::size_t size);

// Skips every character outside the alphabet (padding, blanks, line ends); leftover bits at the
// end are dropped. Never fails.
std::string base64_decode(std::string_view text);
