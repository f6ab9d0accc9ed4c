#include "util/bytes.h"

#include <bit>

namespace {

void append_le(std::string& bytes, std::uint64_t value, int width) {
    for (int i = 0; i < width; ++i) bytes.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

}  // namespace

std::uint32_t read_u32le(const std::uint8_t* bytes, std::size_t offset) {
    const std::uint8_t* p = bytes + offset;
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

std::uint32_t read_u32le_checked(std::string_view bytes, std::size_t offset) {
    if (offset > bytes.size() || bytes.size() - offset < 4) return 0;
    return read_u32le(reinterpret_cast<const std::uint8_t*>(bytes.data()), offset);
}

void put_u32le_at(std::string& bytes, std::size_t offset, std::uint32_t value) {
    if (offset > bytes.size() || bytes.size() - offset < 4) return;
    for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

void append_u32le(std::string& bytes, std::uint32_t value) {
    append_le(bytes, value, 4);
}

void append_u32be(std::string& bytes, std::uint32_t value) {
    for (int i = 3; i >= 0; --i) bytes.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

void append_f64le(std::string& bytes, double value) {
    append_le(bytes, std::bit_cast<std::uint64_t>(value), 8);
}

void append_pin_mask64(std::string& bytes, unsigned bit) {
    const std::uint64_t mask = bit < 64 ? std::uint64_t{1} << bit : 0;
    append_u32le(bytes, static_cast<std::uint32_t>(mask));
    append_u32le(bytes, static_cast<std::uint32_t>(mask >> 32));
}

bool bytes_fit(std::span<const std::uint8_t> bytes, std::size_t pos, std::size_t count) {
    return pos <= bytes.size() && count <= bytes.size() - pos;
}

std::uint64_t read_uintle_checked(std::span<const std::uint8_t> bytes, std::size_t pos,
                                  std::size_t width) {
    if (width < 1 || width > 8 || !bytes_fit(bytes, pos, width)) return 0;
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < width; ++i) value |= std::uint64_t{bytes[pos + i]} << (8 * i);
    return value;
}

std::uint64_t read_u40le_checked(std::span<const std::uint8_t> bytes, std::size_t pos) {
    return read_uintle_checked(bytes, pos, 5);
}

std::uint64_t read_u64le_checked(std::span<const std::uint8_t> bytes, std::size_t pos) {
    return read_uintle_checked(bytes, pos, 8);
}

namespace {

std::uint64_t read_uintbe_checked(std::span<const std::uint8_t> bytes, std::size_t pos,
                                  std::size_t width) {
    if (!bytes_fit(bytes, pos, width)) return 0;
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < width; ++i) value = (value << 8) | bytes[pos + i];
    return value;
}

}  // namespace

std::uint32_t read_u32be_checked(std::span<const std::uint8_t> bytes, std::size_t pos) {
    return static_cast<std::uint32_t>(read_uintbe_checked(bytes, pos, 4));
}

std::uint64_t read_u64be_checked(std::span<const std::uint8_t> bytes, std::size_t pos) {
    return read_uintbe_checked(bytes, pos, 8);
}
