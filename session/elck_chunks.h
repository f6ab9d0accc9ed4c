// The "elck" section chain in which Pro Tools wraps an AAX plug-in's chunk.
//
// A container at c (a plug-in block's marker) carries its 8-byte plug-in id at c +25. Sections
// start at c +17, one after another:
//   +0  big-endian u32 length L (at least 56), +8 the container's id again, +20 a 4-byte tag,
//   +56 L - 56 payload bytes; the next section starts at +L.
// The chain is whole when every section lies inside the end and the last one ends within 8 bytes
// of it. The first section is tagged "elck"; its payload holds, from its fifth byte, named values:
// a "d_" or "l_" name, zero-terminated and padded with zeros to a multiple of 4, then a big-endian
// f64 ("d_") or i32 ("l_").
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

#include "session/scan.h"

// The named values of the first section (names without their "d_"/"l_" prefix). True when the
// chain is whole, its first section is tagged "elck" with at least 12 payload bytes, and at least
// one value was read.
bool read_elck_chunks(SessionBytes bytes, std::size_t container, std::size_t end,
                      std::map<std::string, double>& out);

// The first binary section after the "elck" section: a section of another tag whose payload has
// more than 31 bytes and is neither all printable nor a printable run followed by zeros. Sets its
// payload's offset and length and the number of binary sections; true when there is one. Needs
// the "elck" tag at c +37 and c +73 inside the end.
bool find_elck_chunk(SessionBytes bytes, std::size_t container, std::size_t end,
                     std::uint64_t& offset, std::uint32_t& length, std::uint32_t& count);

// The bytes [from, to) are a printable run (of at least one byte) followed only by zero bytes.
bool printable_then_zeros(SessionBytes bytes, std::size_t from, std::size_t to);
