#include "session/session_header.h"

#include <string_view>

namespace {

constexpr std::size_t kHeadRange = 1024;
constexpr std::uint16_t kHeaderBlockType = 0x0003;
constexpr std::string_view kProductPrefix = "Pro Tools";

bool is_version_text(std::string_view text) {
    if (text.empty() || text.front() < '0' || text.front() > '9') return false;
    for (char c : text) {
        if ((c < '0' || c > '9') && c != '.') return false;
    }
    return true;
}

std::uint32_t major_of(std::string_view version) {
    std::uint32_t major = 0;
    for (char c : version) {
        if (c == '.') break;
        major = major * 10 + static_cast<std::uint32_t>(c - '0');
    }
    return major;
}

// The header reading over [begin, end): the first text of `min_product` bytes or more beginning
// "Pro Tools" is the product, the next text after it the version. True when a product was kept.
bool read_header_texts(SessionBytes bytes, std::size_t begin, std::size_t end,
                       std::size_t min_product, SessionHeaderInfo& out) {
    std::size_t pos = begin;
    bool have_product = false;
    while (pos < end) {
        std::string_view text;
        if (!read_text_at(bytes, pos, end, 2, 64, TextBytes::name, text)) {
            ++pos;
            continue;
        }
        if (!have_product) {
            if (text.size() >= min_product && text.starts_with(kProductPrefix)) {
                have_product = true;
                out.product = std::string(text);
                pos += 4 + text.size();
            } else {
                ++pos;
            }
            continue;
        }
        if (!is_version_text(text)) {
            out.product.clear();
            return false;
        }
        out.version = std::string(text);
        out.major_version = major_of(text);
        return true;
    }
    return have_product;
}

}  // namespace

void read_session_header(const std::uint8_t* data, std::size_t length, SessionHeaderInfo& out) {
    const SessionBytes bytes = session_bytes(data, length);
    const std::size_t head_end = length < kHeadRange ? length : kHeadRange;
    if (read_header_texts(bytes, 0, head_end, kProductPrefix.size() + 1, out)) return;
    scan_blocks(bytes, kHeaderBlockType, length, [&](const BlockHeader& block) {
        // Real header blocks are about 120 bytes; a bound keeps crafted nests of them linear.
        if (!block_fits(bytes, block) || block.size > kHeadRange) return false;
        return read_header_texts(bytes, static_cast<std::size_t>(block.position),
                                 static_cast<std::size_t>(block.end()), kProductPrefix.size(), out);
    });
}
