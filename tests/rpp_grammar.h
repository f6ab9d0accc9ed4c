// An independent checker of the project text's grammar as REAPER reads it: one root block, every
// "<NAME" closed by its own ">" line, every line's tokens separated by blanks and quoted with a
// matching ", ' or ` when quoted, raw "|" lines only inside a block, and a final newline.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace rpp_grammar {

struct Result {
    bool ok = true;
    std::size_t line = 0;  // 1-based line of the first fault; 0 when ok
    std::string message;
};

// Splits one line into tokens the way REAPER does: blanks and tabs separate; a token that starts
// with a quote character runs to the same character, which must be followed by a blank or the
// line's end. False (with a reason) for an unclosed quote, a closing quote followed by text, a
// quote character inside an unquoted token, or a control byte outside a quoted token.
bool split_tokens(std::string_view line, std::vector<std::string>& tokens, std::string& error);

Result check_project(std::string_view text);

}  // namespace rpp_grammar
