#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// zlib compressor: one final DEFLATE block with the fixed Huffman codes (RFC 1950/1951), a
// 32 KiB window searched through hash chains (48 candidates, one lazy step).

// Pending output bits, least significant first; whole bytes move to `out` as soon as they fill.
struct DeflateBitWriter {
    std::string out;
    uint32_t bits = 0;
    int count = 0;
};

// Puts the low `count` bits of `value` (count <= 24), least significant first.
void deflate_put_bits(DeflateBitWriter& w, uint32_t value, int count);

// Writes one pair (length 3..258, distance 1..32768) with the fixed codes and extra bits.
void deflate_put_length_distance(DeflateBitWriter& w, int length, int distance);

// The zlib stream of the bytes. Inputs of 2^31 bytes or more are refused with an empty result
// (positions are 32-bit); any stream this returns is at least 8 bytes.
std::string zlib_compress_fixed(const uint8_t* bytes, size_t length);
