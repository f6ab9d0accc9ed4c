// Byte-order readers and appenders. A "byte string" is a std::string used as a byte container;
// session bytes are read through std::span<const std::uint8_t> with a bounds check on every read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

// --- Byte strings ---------------------------------------------------------------------------

// The u32 at `offset`, low byte first. No bounds check: the caller has made sure of offset + 4.
std::uint32_t read_u32le(const std::uint8_t* bytes, std::size_t offset);

// The u32 at `offset` when `bytes` holds offset + 4 bytes, else 0.
std::uint32_t read_u32le_checked(std::string_view bytes, std::size_t offset);

// Overwrites the 4 bytes at `offset`, low byte first. Writes nothing when the string does not
// already hold offset + 4 bytes.
void put_u32le_at(std::string& bytes, std::size_t offset, std::uint32_t value);

void append_u32le(std::string& bytes, std::uint32_t value);
void append_u32be(std::string& bytes, std::uint32_t value);
// The 8 bytes of the IEEE-754 double, low byte first.
void append_f64le(std::string& bytes, double value);
// A 64-bit mask with only bit `bit` set, as two little-endian u32 words, low word first; a bit
// number of 64 or more appends two zero words.
void append_pin_mask64(std::string& bytes, unsigned bit);

// --- Session bytes --------------------------------------------------------------------------
// Every reader below returns 0 when the read would pass the end of `bytes`; positions near
// SIZE_MAX cannot wrap around.

// True when `count` bytes starting at `pos` lie inside `bytes`.
bool bytes_fit(std::span<const std::uint8_t> bytes, std::size_t pos, std::size_t count);

// The little-endian unsigned integer of `width` bytes (1 to 8) at `pos`; 0 for any other width.
std::uint64_t read_uintle_checked(std::span<const std::uint8_t> bytes, std::size_t pos,
                                  std::size_t width);

// Inline, as the scanners read a length or a field at every candidate they try, and the list
// readers a placement's fields at every entry.
inline std::uint8_t read_u8_checked(std::span<const std::uint8_t> bytes, std::size_t pos) {
    return pos < bytes.size() ? bytes[pos] : 0;
}
inline std::uint16_t read_u16le_checked(std::span<const std::uint8_t> bytes, std::size_t pos) {
    if (pos > bytes.size() || bytes.size() - pos < 2) return 0;
    const std::uint8_t* p = bytes.data() + pos;
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}
inline std::uint32_t read_u32le_checked(std::span<const std::uint8_t> bytes, std::size_t pos) {
    if (pos > bytes.size() || bytes.size() - pos < 4) return 0;
    const std::uint8_t* p = bytes.data() + pos;
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
// 40- and 48-bit positions, five and six bytes, least significant first.
std::uint64_t read_u40le_checked(std::span<const std::uint8_t> bytes, std::size_t pos);
inline std::uint64_t read_u48le_checked(std::span<const std::uint8_t> bytes, std::size_t pos) {
    if (pos > bytes.size() || bytes.size() - pos < 6) return 0;
    const std::uint8_t* p = bytes.data() + pos;
    return std::uint64_t{read_u32le_checked(bytes, pos)} |
           std::uint64_t{static_cast<std::uint16_t>(p[4] | p[5] << 8)} << 32;
}
std::uint64_t read_u64le_checked(std::span<const std::uint8_t> bytes, std::size_t pos);
// Big-endian, as plug-in settings store them.
std::uint32_t read_u32be_checked(std::span<const std::uint8_t> bytes, std::size_t pos);
std::uint64_t read_u64be_checked(std::span<const std::uint8_t> bytes, std::size_t pos);
