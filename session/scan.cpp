#include "session/scan.h"

#include "util/bytes.h"

bool is_printable_byte(std::uint8_t byte) {
    return byte >= 0x20 && byte <= 0x7e;
}

bool is_name_byte(std::uint8_t byte) {
    return is_printable_byte(byte) || (byte >= 0x80 && byte <= 0xbf) ||
           (byte >= 0xc2 && byte <= 0xf4);
}

bool text_has_bytes(std::string_view text, TextBytes kind) {
    if (kind == TextBytes::any) return true;
    for (char c : text) {
        const auto byte = static_cast<std::uint8_t>(c);
        if (kind == TextBytes::printable ? !is_printable_byte(byte) : !is_name_byte(byte)) {
            return false;
        }
    }
    return true;
}

bool read_text_at(SessionBytes bytes, std::size_t pos, std::size_t limit, std::uint32_t min_length,
                  std::uint32_t max_length, TextBytes kind, std::string_view& out) {
    if (limit > bytes.size()) limit = bytes.size();
    if (pos > limit || limit - pos < 4) return false;
    const std::uint32_t length = read_u32le_checked(bytes, pos);
    if (length < min_length || length > max_length || length > limit - pos - 4) return false;
    const std::string_view text(reinterpret_cast<const char*>(bytes.data() + pos + 4), length);
    if (!text_has_bytes(text, kind)) return false;
    out = text;
    return true;
}

void read_nibble_time(SessionBytes bytes, std::size_t p, std::size_t limit, double& first,
                      double& second, double& third) {
    first = 0.0;
    second = 0.0;
    third = 0.0;
    if (limit > bytes.size()) limit = bytes.size();
    if (p > limit || limit - p < 5) return;
    const std::size_t first_width = bytes[p + 1] >> 4;
    const std::size_t second_width = bytes[p + 2] >> 4;
    const std::size_t gap = bytes[p + 2] & 0x0f;
    const std::size_t third_width = bytes[p + 3] >> 4;
    if (first_width >= 6 || second_width >= 6 || third_width >= 6 || gap >= 9) return;

    // Widths are below 6 and the gap below 9, so these sums stay small.
    const auto fits = [&](std::size_t at, std::size_t width) {
        return at <= limit && width <= limit - at;
    };
    std::size_t at = p + 5;
    if (!fits(at, first_width)) return;
    if (first_width > 0) first = static_cast<double>(read_uintle_checked(bytes, at, first_width));
    at += first_width + gap;
    if (!fits(at, second_width)) return;
    if (second_width > 0) {
        second = static_cast<double>(read_uintle_checked(bytes, at, second_width));
    }
    at += second_width;
    if (third_width > 0 && fits(at, third_width)) {
        third = static_cast<double>(read_uintle_checked(bytes, at, third_width));
    }
}
