#include "util/utf8_text.h"

#include <cstdint>

Utf8Repairs utf8_repairs;

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// The length of the well-formed character at `at`, or 0 when none begins there; `broken` gets
// the length of the ill-formed sequence (at least 1) in that case.
std::size_t character_length(std::string_view text, std::size_t at, std::size_t& broken) {
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[i]); };
    const std::uint8_t lead = byte(at);
    broken = 1;
    if (lead < 0x80) return 1;
    std::size_t length = 0;
    std::uint8_t low = 0x80, high = 0xBF;  // the range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;   // no overlong forms
        if (lead == 0xED) high = 0x9F;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;   // no overlong forms
        if (lead == 0xF4) high = 0x8F;  // nothing past U+10FFFF
    } else {
        return 0;
    }
    for (std::size_t i = 1; i < length; ++i) {
        if (at + i >= text.size()) return 0;
        const std::uint8_t next = byte(at + i);
        const bool fits = i == 1 ? next >= low && next <= high : next >= 0x80 && next <= 0xBF;
        if (!fits) return 0;
        broken = i + 1;
    }
    return length;
}

}  // namespace

bool is_valid_utf8(std::string_view text) {
    for (std::size_t at = 0; at < text.size();) {
        if (static_cast<std::uint8_t>(text[at]) < 0x80) {
            at += 1;
            continue;
        }
        std::size_t broken = 0;
        const std::size_t length = character_length(text, at, broken);
        if (length == 0) return false;
        at += length;
    }
    return true;
}

std::string repair_utf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        std::size_t broken = 0;
        const std::size_t length = character_length(text, at, broken);
        if (length == 0) {
            out += kReplacement;
            at += broken;
        } else {
            out.append(text.substr(at, length));
            at += length;
        }
    }
    return out;
}

void reset_utf8_repairs() {
    utf8_repairs = Utf8Repairs{};
}

std::string project_name_utf8(std::string_view text) {
    if (is_valid_utf8(text)) return std::string(text);
    utf8_repairs.names.emplace(text);
    return repair_utf8(text);
}

std::string project_comment_utf8(std::string_view comment, std::string_view track) {
    if (is_valid_utf8(comment)) return std::string(comment);
    utf8_repairs.comments.emplace(track);
    return repair_utf8(comment);
}
