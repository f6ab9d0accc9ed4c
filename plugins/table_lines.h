// Line reading shared by the plug-in tables and REAPER's cache files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

// Calls `take` with every line of the file, trailing CR and LF removed. A line of `buffer_size`
// bytes or more with its newline is dropped whole, so its tail never reads as a line of its own;
// a line holding a NUL byte is dropped too. Returns false when the file does not open.
bool read_table_lines(const std::string& path, std::size_t buffer_size,
                      const std::function<void(std::string_view)>& take);

// The text with blanks and TABs cut from both ends.
std::string_view trim_blanks(std::string_view text);

// The leading decimal digits of the text as a number; false when there are none or the number
// does not fit in 32 bits.
bool leading_u32(std::string_view text, std::uint32_t& value);
