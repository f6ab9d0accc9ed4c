// Tokens and base64 lines of effect blocks. Type texts, files and names come from REAPER's cache,
// the learned table and session bytes, so any of them may hold blanks, quotes or control bytes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// One quoted token: control bytes blanked, then `rpp_quote`.
std::string fx_token(std::string_view text);
// The text bare when it is a non-empty run without blanks, quotes or control bytes; else
// `fx_token`.
std::string fx_plain_token(std::string_view text);

// Base64 lines, each `indent` + text + "\n": the header, then the state, each in slices of 128
// characters as REAPER wraps every base64 line of a plug-in block, then `trailer` (already
// base64) when it is not empty.
void append_base64_lines(std::string& out, const std::string& indent, std::string_view header,
                         std::string_view state, std::string_view trailer);

// The last word of a <VST block's trailer: 16 when the header's tail word has the 0x00100000 bit
// that REAPER's 0x0010xxxx tails carry, else 0; REAPER never pairs them otherwise.
std::uint32_t vst_trailer_word(std::uint32_t tail_word);
// The trailer's base64: a 0 byte, the program name, a 0 byte and `vst_trailer_word`.
std::string vst_block_trailer(std::string_view program, std::uint32_t tail_word);
// The tail word a header ends with (its last four bytes, little-endian); 0 when it is shorter.
std::uint32_t vst_header_tail_word(std::string_view header);
