#include "effects/fx_text.h"

#include "util/codecs.h"
#include "util/rpp_text.h"

namespace {

bool is_control(unsigned char c) {
    return c < 0x20 || c == 0x7f;
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
    out += indent;
    out += base64_encode(header);
    out += '\n';
    const std::string text = base64_encode(state);
    for (std::size_t at = 0; at < text.size(); at += 128) {
        out += indent;
        out.append(text, at, 128);
        out += '\n';
    }
    if (!trailer.empty()) {
        out += indent;
        out += trailer;
        out += '\n';
    }
}
