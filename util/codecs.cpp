#include "util/codecs.h"

namespace {

constexpr char kBase64Alphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Wraps modulo 256 like the byte it lands in; non-digits give whatever the formula gives.
std::uint8_t hex_value(unsigned char c) {
    if (c >= 'A' && c <= 'Z') c = static_cast<unsigned char>(c - 'A' + 'a');
    if (c < 'a') return static_cast<std::uint8_t>(c - '0');
    return static_cast<std::uint8_t>(c - 'a' + 10);
}

int base64_value(unsigned char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

}  // namespace

std::string hex_to_bytes(std::string_view text) {
    std::string out;
    if (text.size() < 2) return out;
    out.reserve(text.size() / 2);
    for (std::size_t i = 0; i + 1 < text.size(); i += 2) {
        std::uint8_t hi = hex_value(static_cast<unsigned char>(text[i]));
        std::uint8_t lo = hex_value(static_cast<unsigned char>(text[i + 1]));
        out.push_back(static_cast<char>(static_cast<std::uint8_t>(hi * 16u + lo)));
    }
    return out;
}

std::string bytes_to_hex_upper(std::string_view bytes) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string hex;
    hex.reserve(bytes.size() * 2);
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        hex.push_back(digits[b >> 4]);
        hex.push_back(digits[b & 0x0F]);
    }
    return hex;
}

std::string base64_encode(const std::uint8_t* data, std::size_t size) {
    std::string out;
    out.reserve((size + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= size; i += 3) {
        std::uint32_t v = (std::uint32_t{data[i]} << 16) | (std::uint32_t{data[i + 1]} << 8) |
                          std::uint32_t{data[i + 2]};
        out.push_back(kBase64Alphabet[(v >> 18) & 63]);
        out.push_back(kBase64Alphabet[(v >> 12) & 63]);
        out.push_back(kBase64Alphabet[(v >> 6) & 63]);
        out.push_back(kBase64Alphabet[v & 63]);
    }
    std::size_t rest = size - i;
    if (rest > 0) {
        std::uint32_t v = std::uint32_t{data[i]} << 16;
        if (rest == 2) v |= std::uint32_t{data[i + 1]} << 8;
        out.push_back(kBase64Alphabet[(v >> 18) & 63]);
        out.push_back(kBase64Alphabet[(v >> 12) & 63]);
        out.push_back(rest == 2 ? kBase64Alphabet[(v >> 6) & 63] : '=');
        out.push_back('=');
    }
    return out;
}

std::string base64_encode(std::string_view bytes) {
    return base64_encode(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

std::string base64_decode(std::string_view text) {
    std::string out;
    out.reserve(text.size() / 4 * 3);
    std::uint32_t acc = 0;
    int bits = 0;
    for (char ch : text) {
        int v = base64_value(static_cast<unsigned char>(ch));
        if (v < 0) continue;
        acc = ((acc << 6) | static_cast<std::uint32_t>(v)) & 0xFFFFFFu;
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(static_cast<char>((acc >> bits) & 0xFF));
        }
    }
    return out;
}
