// The program's version texts and the token of the Pro Tools version that saved the session.
#pragma once

#include <string>
#include <string_view>

inline constexpr const char* program_version = "1.0.1";
inline constexpr const char* program_build = "287";

// The version for messages: "2.1.0" gives "2.1", and a pre-release tag follows after a blank with
// its "-" and "." turned into blanks ("2.1.0-beta.2" gives "2.1 beta 2").
std::string display_version(std::string_view version);
std::string display_version();

// Texts about the session that the driver sets once per run and the usage summary reads.
struct SessionText {
    std::string saved_by;  // the saved-by text of the session header
    void reset() { *this = SessionText{}; }
};
extern SessionText session_text;

// The saved-by text as a lower-cased token of letters, digits, ".", "+" and "-", at most 40
// bytes and starting with a letter or digit; anything else gives "unstated".
std::string pt_saved_by_token(std::string_view saved_by);
std::string pt_saved_by_token();
