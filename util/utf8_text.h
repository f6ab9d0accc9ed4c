// Session texts on their way out: the project, the report, the usage summary and the console
// take UTF-8, and a damaged session can hold any bytes in a name.
//
// A text is repaired the way Unicode recommends: each ill-formed sequence (a byte that cannot
// begin a character, or a lead byte with the continuation bytes that were right for it so far)
// becomes one U+FFFD, and the scan goes on at the byte that broke the sequence. Overlong forms,
// surrogates and code points past U+10FFFF are ill-formed. Well-formed text is left as it is.
#pragma once

#include <cstddef>
#include <set>
#include <string>
#include <string_view>

bool is_valid_utf8(std::string_view text);

// The text with each ill-formed sequence replaced by U+FFFD (EF BF BD).
std::string repair_utf8(std::string_view text);

// The names the project text received repaired (session names, or a path in another encoding),
// once each, for the console.
struct Utf8Repairs {
    std::set<std::string> names;     // as the session held them
    std::set<std::string> comments;  // the tracks whose comment was repaired, by their names
};
extern Utf8Repairs utf8_repairs;

void reset_utf8_repairs();

// A name for the project text: repaired when it needs to be, and then recorded.
std::string project_name_utf8(std::string_view text);

// A track's comment for the project's notes: repaired when it needs to be, and then the track
// recorded.
std::string project_comment_utf8(std::string_view comment, std::string_view track);
