// Builds 'Z' blocks and whole decrypted sessions for tests.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "util/bytes.h"

namespace test_blocks {

inline void append_u16le(std::string& out, std::uint16_t value) {
    out.push_back(static_cast<char>(value & 0xFF));
    out.push_back(static_cast<char>(value >> 8));
}

// A block whose payload is the content type followed by `content` (children included).
inline std::string z_block(std::uint16_t content_type, const std::string& content,
                           std::uint16_t block_type = 1) {
    std::string out = "Z";
    append_u16le(out, block_type);
    append_u32le(out, static_cast<std::uint32_t>(content.size() + 2));
    append_u16le(out, content_type);
    return out + content;
}

// Stored tick positions carry this offset.
inline constexpr std::uint64_t kOrigin = 1'000'000'000'000ULL;

// `width` bytes of `value`, least significant first.
inline std::string le(std::uint64_t value, int width) {
    std::string out;
    for (int i = 0; i < width; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    return out;
}

inline std::string zeros(std::size_t n) {
    return std::string(n, '\0');
}

inline std::string u32le(std::uint32_t value) {
    std::string out;
    append_u32le(out, value);
    return out;
}

inline std::string u64le(std::uint64_t value) {
    return u32le(static_cast<std::uint32_t>(value)) +
           u32le(static_cast<std::uint32_t>(value >> 32));
}

// The 20 clear header bytes: version marker, byte order, scheme and key seed.
inline std::string session_header(std::uint8_t scheme = 0x05, std::uint8_t seed = 0x3C,
                                  std::uint8_t byte_order = 0) {
    std::string out =
        "\x03"
        "0010111100101011";
    out.push_back(static_cast<char>(byte_order));
    out.push_back(static_cast<char>(scheme));
    out.push_back(static_cast<char>(seed));
    return out;
}

// The block that real sessions keep at 0x14; it puts the next block at 0x1F.
inline std::string lead_block() {
    return z_block(0x0001, zeros(2));
}

// The version block at 0x1F of Pro Tools 10 and later: the stored number is the version - 2.
inline std::string version_block(std::uint32_t version) {
    return z_block(0x2067, zeros(18) + u32le(version - 2) + zeros(8), 0x0A);
}

inline std::string rate_block(std::uint32_t rate) {
    return z_block(0x1028, zeros(2) + u32le(rate) + zeros(8), 0x03);
}

struct FileEntry {
    std::string name;
    std::string type;  // four bytes
};

// The audio-file list: count, the name block, then one info block per length.
inline std::string audio_files_block(std::uint32_t count, const std::vector<FileEntry>& entries,
                                     const std::vector<std::uint64_t>& lengths) {
    std::string names = zeros(9);
    for (const FileEntry& entry : entries) {
        names += u32le(static_cast<std::uint32_t>(entry.name.size())) + entry.name + entry.type +
                 zeros(5);
    }
    std::string content = u32le(count) + z_block(0x103A, names);
    for (std::uint64_t length : lengths) {
        content +=
            z_block(0x1003, zeros(2) + z_block(0x1001, zeros(6) + u64le(length) + zeros(4), 0x02));
    }
    return z_block(0x1004, content, 0x02);
}

inline std::vector<std::uint8_t> to_bytes(const std::string& text) {
    return std::vector<std::uint8_t>(text.begin(), text.end());
}

inline void write_file(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

inline std::vector<std::uint8_t> read_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>((std::istreambuf_iterator<char>(in)),
                                     std::istreambuf_iterator<char>());
}

inline std::filesystem::path sessions_dir() {
    return LANWICK_SESSIONS_DIR;
}

}  // namespace test_blocks
