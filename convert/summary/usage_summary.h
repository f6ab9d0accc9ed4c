// The one-line JSON usage summary.
#pragma once

#include <string>

// A JSON string: quotes and backslashes escaped, bytes below 0x20 as \u00xx, others unchanged.
std::string json_quote(const std::string& text);

// The whole line written to the --usage-json file, newline included.
std::string usage_summary_line(int exit_code, const std::string& body);
