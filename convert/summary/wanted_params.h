// The --want-params file: the REAPER plug-ins whose automated parameters had no known names,
// one per line, so that the user can export their parameter lists.
#pragma once

#include <set>
#include <string>

// Replaces `path` with one "%s\n" line per plug-in type, in ascending order; an empty set gives
// an empty file. Does nothing when `path` is empty; a file that cannot be created is passed over
// without a message, and the conversion goes on.
void write_wanted_params_file(const std::string& path, const std::set<std::string>& plugins);
