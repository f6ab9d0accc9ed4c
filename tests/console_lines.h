// The console's own lines fit an 80-column terminal: a check for the program tests, on the whole
// console text of one conversion.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <string>

namespace test_console {

inline constexpr std::size_t kColumns = 80;

// Columns of a line: UTF-8 continuation bytes take none.
inline std::size_t columns(const std::string& line) {
    std::size_t n = 0;
    for (const char c : line)
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++n;
    return n;
}

// Every line longer than 80 columns fails, unless it carries what the session or the command line
// gave (a name in double quotes, a path), whose length the program does not choose.
inline void expect_own_lines_fit(const std::string& console) {
    std::size_t start = 0;
    while (start < console.size()) {
        std::size_t end = console.find('\n', start);
        if (end == std::string::npos) end = console.size();
        const std::string line = console.substr(start, end - start);
        const bool given = line.find_first_of("\"/\\") != std::string::npos;
        if (!given) {
            EXPECT_LE(columns(line), kColumns) << line;
        }
        start = end + 1;
    }
}

}  // namespace test_console
