#pragma once

#include <cstddef>
#include <cstdint>

// Adler-32 (RFC 1950): s1 starts at 1, s2 at 0, both modulo 65521; the value is s2 << 16 | s1.
// Pass the previous result as `adler` to continue over a further range.
uint32_t adler32(const uint8_t* data, size_t size, uint32_t adler = 1);
