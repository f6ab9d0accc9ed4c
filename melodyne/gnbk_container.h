// The GNBK container in which Melodyne keeps an archive on disk and in a project's ARA block.
// All integers little-endian:
//   0..7    "GNBKVAi" and a zero byte
//   8..11   u32, written 6 (not checked when read)
//   12..15  u32, written 1 (not checked when read)
//   16..19  u32 L, the length of the zlib stream
//   20..    the zlib stream (RFC 1950) of the archive bytes
#pragma once

#include <string>
#include <string_view>

// True when the container is whole and its stream inflates into `archive` (replaced). False for
// fewer than 22 bytes, another magic, L + 20 past the end, or a stream that does not inflate.
bool unpack_gnbk_blob(std::string_view file, std::string& archive);

// The container around a zlib stream: magic, 6, 1, the stream's length, the stream. Streams of
// 4 GiB or more do not fit the length field and give an empty result.
std::string pack_gnbk_blob(std::string_view zlib_stream);
