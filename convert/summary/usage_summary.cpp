#include "convert/summary/usage_summary.h"

#include <cstdio>

#include "util/version.h"

std::string json_quote(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
    }
    out += '"';
    return out;
}

std::string usage_summary_line(int exit_code, const std::string& body) {
    std::string line = "{\"schema\":\"vantrel-usage 1\",\"converter\":";
    line += json_quote(program_version);
    line += ",\"build\":";
    line += program_build;
    line += ",\"result\":";
    line += exit_code == 0 ? "\"converted\"" : "\"failed\"";
    line += ',';
    line +=
        body.empty() ? "\"session\":{},\"plugins\":[],\"not_converted\":[],\"warnings\":[]" : body;
    line += "}\n";
    return line;
}
