// The Melodyne object archive (the bytes inside a GNBK container). All integers are u32
// little-endian, in this order:
//   1. strings:  count S, then S times { length, bytes } (no terminator)
//   2. classes:  count C, then C times { name length, name, value, field count M,
//                M field descriptions of 13 bytes: name (string index < S), element count,
//                one type byte, element size }
//   3. class of id: count K1, then K1 class indices; entry i is the class of object id i
//      (0xFFFFFFFF for an id that has no record)
//   4. ids:      count K2, then the K2 object ids of the records that follow, in order
//   5. K2 records: T (the bytes after T), F (field data length, F + 4 <= T), F bytes of field
//      data, T - 4 - F bytes of tail
// A record's field data is its class's fields in declaration order, each element count x element
// size bytes. Type "^" is a reference: each element holds an object id in its first u32 (the null
// reference is 0xFFFFFFFF followed by a zero u32); type "i" is a signed 32-bit integer. Other
// types are carried as bytes.
#pragma once

#include <string>
#include <string_view>

#include "model/melodyne_archive.h"

// True only when every table and record parsed and the last record ends at the last byte.
// False for a count or length past the end (every length is checked in 64 bits against the bytes
// left before anything is read or reserved), a field name index not below S, an object id not
// below K1 or listed twice, or a record whose class index is not below C. Only ids with a record
// need a class: the others may hold anything.
bool parse_melodyne_archive(MelodyneArchive& archive, std::string_view bytes);

// The archive in the layout above, records in the order of `objects`: a parsed archive writes
// back byte for byte. Throws std::length_error when a count or record length passes 32 bits.
std::string serialize_melodyne_archive(const MelodyneArchive& archive);
