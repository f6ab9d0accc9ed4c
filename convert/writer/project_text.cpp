#include "convert/writer/project_text.h"

#include "util/rpp_text.h"
#include "util/utf8_text.h"

std::string project_token(std::string_view text) {
    std::string out;
    append_rpp_quote(out, text, true);
    return out;
}

void append_project_token(std::string& out, std::string_view text) {
    append_rpp_quote(out, text, true);
}

std::string single_line_text(std::string_view text) {
    std::string clean = project_name_utf8(text);
    for (char& c : clean)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
    return clean;
}

std::string console_text(std::string_view text) {
    std::string clean(text);
    for (char& c : clean)
        if ((static_cast<unsigned char>(c) < 0x20 && c != '\n') || c == 0x7f) c = ' ';
    return clean;
}
