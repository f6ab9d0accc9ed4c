#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Decoder of whole zlib streams (RFC 1950 framing around RFC 1951 DEFLATE data) held in memory.
// It answers only success or failure; the Adler-32 trailer is not checked and bytes after the
// final block are ignored.

// The most output any stream may produce; a small crafted stream could otherwise expand without
// bound.
constexpr uint64_t kInflateMaxOutput = uint64_t{1} << 30;
// DEFLATE cannot expand more than 1032:1 (a 258-byte match in two bits), so a stream whose output
// passes this many times its input size is not a stream.
constexpr uint64_t kInflateMaxRatio = 1032;

struct InflateState {
    const uint8_t* input = nullptr;
    uint64_t input_size = 0;
    uint64_t input_pos = 2;   // after the two header bytes
    uint32_t bit_buffer = 0;  // pending bits, least significant first
    int32_t bit_count = 0;
    std::string output;                       // the decoded bytes
    uint8_t out_of_input = 0;                 // set when a bit was wanted beyond the input's end
    uint64_t max_output = kInflateMaxOutput;  // the caller's cap; the ratio cap applies as well
};

// Decodes the stream in `state.input` into `state.output` (which should start empty). True when
// every block up to the final one decoded; on false the output must be ignored.
bool inflate_zlib(InflateState& state);

// The same for a byte range; `out` is replaced (its storage is reused).
bool inflate_zlib(const uint8_t* data, size_t size, std::string& out);

// The output cap for a stream of `input_size` bytes: the smaller of `max_output` and
// kInflateMaxRatio times the input size.
uint64_t inflate_output_limit(uint64_t input_size, uint64_t max_output = kInflateMaxOutput);

// A canonical Huffman code: the number of codes of each length 0..15 and the symbols in code
// order, plus a lookup of the first kHuffmanFastBits bits for the common short codes.
constexpr int kHuffmanMaxSymbols = 288;
constexpr int kHuffmanFastBits = 10;

struct HuffmanTable {
    uint16_t count[16] = {};
    uint16_t symbol[kHuffmanMaxSymbols] = {};
    // Indexed by the next kHuffmanFastBits input bits: symbol << 4 | code length, or 0 when the
    // code is longer than the lookup (or the bits start no code).
    uint16_t fast[1 << kHuffmanFastBits] = {};
};

// Builds the code from `count` code lengths (0 = symbol unused). Returns the number of unused
// codes: 0 for a complete code, positive for an incomplete one, negative for an over-subscribed
// one (the table is then unusable).
int huffman_build(HuffmanTable& table, const uint8_t* lengths, int count);
