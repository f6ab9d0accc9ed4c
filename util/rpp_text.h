// Small pieces of the project text: token quoting and the GROUP_FLAGS line.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

// Wraps a token in the first of double quote, single quote and backquote that the text does not
// hold (the double quote when it holds all three). The chosen quote inside becomes "_", and tabs
// and line ends become blanks, so the token always reads back as one. Text that is not UTF-8 is
// repaired first (project_name_utf8).
std::string rpp_quote(std::string_view text);

// Appends `rpp_quote(text)` to `out`; with `nul_as_blank`, NUL bytes become blanks as well.
void append_rpp_quote(std::string& out, std::string_view text, bool nul_as_blank = false);

// The "    GROUP_FLAGS ..." line for six group masks, with its newline; empty when all are zero.
std::string rpp_group_flags_line(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d,
                                 std::uint32_t e, std::uint32_t f);

// Writes `rpp_group_flags_line` to the file; nothing when all masks are zero.
void rpp_write_group_flags(std::FILE* file, std::uint32_t a, std::uint32_t b, std::uint32_t c,
                           std::uint32_t d, std::uint32_t e, std::uint32_t f);
