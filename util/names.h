// Name keys for matching plug-in and file names, cutters for decorated names, and path pieces.
// Text is handled byte by byte in the "C" locale: bytes 0x80 and above are never letters or
// digits.
#pragma once

#include <string>
#include <string_view>

std::string to_lower_copy(std::string_view text);

// The plug-in matching key: lower-cased, only 'a'..'z' and '0'..'9' kept.
std::string normalize_alnum_lower(std::string_view text);

// The file name after the last "/" or "\", cut before its last ".", as a matching key.
std::string file_stem_alnum(std::string_view path);

// The part of a path after the last "/" or "\" (the whole text when there is none).
std::string path_basename(std::string_view path);

// The part before the last " (" (the whole text when there is none).
std::string cut_before_paren(std::string_view text);

// The part after the last ": " (the whole text when there is none).
std::string cut_after_colon_space(std::string_view text);

// Cuts trailing " (...)" groups while the text ends with ")": "Comp (Mono) (2)" gives "Comp".
// The ")" need not belong to the " (" that is cut at.
std::string strip_paren_suffixes(std::string_view text);

// Cuts the channel-layout groups REAPER's cache adds at the end of a plug-in name: " (8ch)",
// " (2->6ch)", " (32 out)". "Multiply (Acon Digital) (8ch)" gives "Multiply (Acon Digital)".
std::string_view cut_channel_groups(std::string_view name);

// False for a null prefix.
bool starts_with(std::string_view text, const char* prefix);

// True for "Kick-12": a "-" then one or more decimal digits at the end.
bool ends_with_dash_digits(std::string_view text);

// Where the learned plug-in table lives: the program's folder + "/lanwick-plugins.txt" ("." when
// the path has no folder).
std::string plugin_table_path(std::string_view program_path);

// The first `max_bytes` bytes of a text, cut back to the last whole UTF-8 character so that no
// column or warning ends inside a multi-byte name character.
std::string utf8_prefix(std::string_view text, std::size_t max_bytes);
