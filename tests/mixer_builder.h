// Builds the mixer's blocks for tests: names, strip rows and track blocks, and reads the real
// sessions' decrypted bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "block_builder.h"
#include "platform/ptformat.h"

namespace mixer_blocks {

using test_blocks::u32le;
using test_blocks::z_block;
using test_blocks::zeros;

// A u32 length and the text.
inline std::string text(const std::string& value) {
    return u32le(static_cast<std::uint32_t>(value.size())) + value;
}

// 0x2619: the length at +9, the name at +13.
inline std::string name_block(const std::string& name) {
    return z_block(0x2619, text(name) + zeros(4));
}

// A strip row (0x251a): kind at +9, length at +11, name at +15, the stereo byte after it, then
// '*' 0 0 0 and the id at +L + 21; `size_extra` is the row's size less the name's length.
inline std::string strip_row(std::uint16_t kind, const std::string& name, std::uint8_t stereo = 0,
                             std::size_t size_extra = 62, std::uint64_t id = 0) {
    std::string content;
    test_blocks::append_u16le(content, kind);
    content += text(name);
    content.push_back(static_cast<char>(stereo));
    content += zeros(5) + "*" + zeros(3) + test_blocks::u64le(id);
    const std::size_t size = name.size() + size_extra;  // payload, content type included
    content.resize(size - 2, '\0');
    return z_block(0x251a, content);
}

// A track block of `type` whose first child is its name block, then `rest`.
inline std::string track_block(std::uint16_t type, const std::string& name,
                               const std::string& rest = {}) {
    return z_block(type, name_block(name) + rest);
}

// A decrypted real session, empty when the sessions folder is absent.
inline std::vector<std::uint8_t> real_session(const std::string& name) {
    std::vector<std::uint8_t> bytes = test_blocks::read_file(test_blocks::sessions_dir() / name);
    if (!bytes.empty()) ptf_xor_crypt(bytes);
    return bytes;
}

}  // namespace mixer_blocks
