#include "util/text_wrap.h"

namespace {

std::size_t columns(const std::string& text, std::size_t from, std::size_t to) {
    std::size_t n = 0;
    for (std::size_t i = from; i < to; ++i)
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) ++n;
    return n;
}

}  // namespace

std::string wrapped_row(const std::string& text, std::size_t indent, std::size_t width) {
    std::string out(indent, ' ');
    std::size_t used = indent;
    bool line_empty = true;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find(' ', at);
        if (end == std::string::npos) end = text.size();
        if (end > at) {
            const std::size_t word = columns(text, at, end);
            if (!line_empty && used + 1 + word > width) {
                out += '\n';
                out.append(indent + 2, ' ');
                used = indent + 2;
                line_empty = true;
            }
            if (!line_empty) {
                out += ' ';
                ++used;
            }
            out.append(text, at, end - at);
            used += word;
            line_empty = false;
        }
        at = end + 1;
    }
    out += '\n';
    return out;
}
