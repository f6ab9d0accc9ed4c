#include "util/guid.h"

#include <cstdio>

std::string guid_from_seed(std::uint32_t seed) {
    // All arithmetic wraps at 32 bits.
    std::uint32_t h = seed * 0x9E3779B1u + 0x9E3779B9u;
    std::uint32_t a = h * 0x85EBCA77u;
    std::uint32_t b = h * 0x218A205Bu;
    std::uint32_t c = h * 0x9C6B79B5u;
    char text[40];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%04X-%04X%08X}", static_cast<unsigned>(h),
                  static_cast<unsigned>(a >> 16), static_cast<unsigned>(a & 0xFFFFu),
                  static_cast<unsigned>(b >> 16), static_cast<unsigned>(b & 0xFFFFu),
                  static_cast<unsigned>(c));
    return text;
}
