// Session texts made safe for the project text, which is read line by line and token by token,
// and for the console.
#pragma once

#include <string>
#include <string_view>

// A name as one quoted token (`rpp_quote`). NUL bytes become blanks first: they would end the
// text where the file is written and leave the token without its closing quote.
std::string project_token(std::string_view text);

// Appends `project_token(text)` to `out`.
void append_project_token(std::string& out, std::string_view text);

// A text for inside a raw line (a NOTES line): every control byte becomes a blank, so the text
// can neither break the line nor end it early.
std::string single_line_text(std::string_view text);

// A console text that carries session names: every control byte but the line break becomes a
// blank, so that no name can end the printed text early (a NUL) or drive the terminal.
std::string console_text(std::string_view text);
