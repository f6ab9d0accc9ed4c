// Tokens and base64 lines of effect blocks. Type texts, files and names come from REAPER's cache,
// the learned table and session bytes, so any of them may hold blanks, quotes or control bytes.
#pragma once

#include <string>
#include <string_view>

// One quoted token: control bytes blanked, then `rpp_quote`.
std::string fx_token(std::string_view text);
// The text bare when it is a non-empty run without blanks, quotes or control bytes; else
// `fx_token`.
std::string fx_plain_token(std::string_view text);

// Base64 lines, each `indent` + text + "\n": the header whole, the state in slices of 128
// characters, then `trailer` (already base64) when it is not empty.
void append_base64_lines(std::string& out, const std::string& indent, std::string_view header,
                         std::string_view state, std::string_view trailer);
