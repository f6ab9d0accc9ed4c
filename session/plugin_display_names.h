// The names Pro Tools shows for the session's plug-ins, by AAX id.
//
// A 0x1017 block (size 14..4000) holds, at payload position 1 (+10) or else 2 (+11), a u32
// length (1..60) and the name (printable or UTF-8 bytes), then two four-character codes stored
// little-endian (maker, product): "igiD" "PleF" is the id "DigiFelP".
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

// Adds (id, name) for every such block whose id is not in `out` yet: the first name stays.
void read_plugin_display_names(const std::uint8_t* data, std::size_t length,
                               std::map<std::string, std::string>& out);
