// Console rows that keep within a terminal's width however long the text they carry.
#pragma once

#include <cstddef>
#include <string>

inline constexpr std::size_t kConsoleColumns = 80;

// `text` as lines of at most `width` columns (UTF-8 characters), broken at blanks and each ended
// by a newline: the first line after `indent` blanks, the others after `indent + 2`. A word too
// long for a line stands alone on its own.
std::string wrapped_row(const std::string& text, std::size_t indent,
                        std::size_t width = kConsoleColumns);
