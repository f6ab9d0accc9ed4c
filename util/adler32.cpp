#include "util/adler32.h"

namespace {

constexpr uint32_t kAdlerBase = 65521;
// The most bytes that can be summed before s2 could overflow 32 bits.
constexpr size_t kAdlerBlock = 5552;

}  // namespace

uint32_t adler32(const uint8_t* data, size_t size, uint32_t adler) {
    uint32_t s1 = adler & 0xFFFF;
    uint32_t s2 = adler >> 16;
    while (size > 0) {
        size_t block = size < kAdlerBlock ? size : kAdlerBlock;
        size -= block;
        for (size_t i = 0; i < block; ++i) {
            s1 += data[i];
            s2 += s1;
        }
        data += block;
        s1 %= kAdlerBase;
        s2 %= kAdlerBase;
    }
    return (s2 << 16) | s1;
}
