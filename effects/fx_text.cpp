#include "effects/fx_text.h"

#include "util/bytes.h"
#include "util/codecs.h"
#include "util/rpp_text.h"

namespace {

bool is_control(unsigned char c) {
    return c < 0x20 || c == 0x7f;
}

// REAPER's width of a base64 line.
constexpr std::size_t kBase64LineWidth = 128;

void append_wrapped(std::string& out, const std::string& indent, const std::string& text) {
    for (std::size_t at = 0; at < text.size(); at += kBase64LineWidth) {
        out += indent;
        out.append(text, at, kBase64LineWidth);
        out += '\n';
    }
}

}  // namespace

std::string fx_token(std::string_view text) {
    std::string clean(text);
    for (char& c : clean)
        if (is_control(static_cast<unsigned char>(c))) c = ' ';
    return rpp_quote(clean);
}

std::string fx_plain_token(std::string_view text) {
    bool plain = !text.empty();
    for (char c : text) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (is_control(u) || c == ' ' || c == '"' || c == '\'' || c == '`') plain = false;
    }
    return plain ? std::string(text) : fx_token(text);
}

void append_base64_lines(std::string& out, const std::string& indent, std::string_view header,
                         std::string_view state, std::string_view trailer) {
    append_wrapped(out, indent, base64_encode(header));
    append_wrapped(out, indent, base64_encode(state));
    if (!trailer.empty()) {
        out += indent;
        out += trailer;
        out += '\n';
    }
}

std::uint32_t vst_trailer_word(std::uint32_t tail_word) {
    return (tail_word & 0x00100000u) != 0 ? 16u : 0u;
}

std::string vst_block_trailer(std::string_view program, std::uint32_t tail_word) {
    std::string trailer(1, '\0');
    trailer += program;
    trailer += '\0';
    append_u32le(trailer, vst_trailer_word(tail_word));
    return base64_encode(trailer);
}

std::uint32_t vst_header_tail_word(std::string_view header) {
    return header.size() < 4 ? 0u : read_u32le_checked(header, header.size() - 4);
}
