#include "convert/summary/usage_summary.h"

#include <cassert>
#include <cstdio>
#include <iterator>
#include <map>
#include <string_view>

#include "app/output.h"
#include "util/utf8_text.h"
#include "util/version.h"

std::string json_quote(const std::string& text) {
    std::string out = "\"";
    // JSON is UTF-8: a name from a damaged session is repaired on its way in.
    for (unsigned char c : is_valid_utf8(text) ? text : repair_utf8(text)) {
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

std::string sanitize_usage_name(const std::string& text) {
    static constexpr std::string_view kept_marks = " .,&+()'!_#-";
    constexpr std::size_t kMaxKept = 64;
    std::string out;
    for (unsigned char c : text) {
        if (out.size() >= kMaxKept) break;
        if (c >= 0x80) continue;
        const bool alnum =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        out += alnum || kept_marks.find(static_cast<char>(c)) != std::string_view::npos
                   ? static_cast<char>(c)
                   : '-';
    }
    while (!out.empty() && out.back() == ' ') out.pop_back();
    const std::size_t first = out.find_first_not_of(' ');
    out.erase(0, first == std::string::npos ? out.size() : first);
    return out.empty() ? "(unnamed)" : out;
}

std::string json_string_array(std::span<const UsageWord> words) {
    std::string out = "[";
    bool first = true;
    for (const UsageWord& w : words) {
        if (!w.set) continue;
        if (!first) out += ',';
        first = false;
        out += json_quote(w.word);
    }
    return out + "]";
}

namespace {

constexpr char kKeySeparator = '\x1F';
constexpr std::size_t kMaxPluginEntries = 400;

const char* usage_result(const FxReportRow& row) {
    if (row.inactive) return "inactive";
    if (row.outcome == 6 || row.missing) return "missing";
    switch (row.outcome) {
        case 0:
            return "settings";
        case 1:
            return "default";
        case 4:
        case 5:
            return "left-out";
        default:
            return "unsupported";
    }
}

}  // namespace

std::string usage_plugins_json(std::span<const FxReportRow> rows, bool& truncated) {
    std::map<std::string, int> counts;
    for (const FxReportRow& row : rows) {
        std::string key = sanitize_usage_name(row.name);
        key += kKeySeparator;
        // The product and maker lose control bytes above, so 0x1F splits the key unambiguously.
        if (!row.maker.empty()) key += sanitize_usage_name(row.maker);
        key += kKeySeparator;
        key += usage_result(row);
        key += kKeySeparator;
        key += row.format.empty() ? "none" : row.format;
        ++counts[key];
    }
    truncated = false;
    std::string out = "[";
    std::size_t written = 0;
    for (auto it = counts.begin(); it != counts.end(); ++it) {
        std::string part[4];
        std::size_t from = 0;
        for (int i = 0; i < 3; ++i) {
            const std::size_t at = it->first.find(kKeySeparator, from);
            part[i] = it->first.substr(from, at - from);
            from = at + 1;
        }
        part[3] = it->first.substr(from);
        if (written != 0) out += ',';
        out += "{\"product\":" + json_quote(part[0]) + ",\"maker\":" + json_quote(part[1]) +
               ",\"result\":" + json_quote(part[2]) + ",\"as\":" + json_quote(part[3]) +
               ",\"count\":" + std::to_string(it->second) + "}";
        ++written;
        if (written == kMaxPluginEntries && std::next(it) != counts.end()) {
            truncated = true;
            break;
        }
    }
    return out + "]";
}

std::string usage_session_json(const UsageSession& s, int plugin_instances) {
    // The saved-by token is at most 40 bytes and every other field a bounded number: the object
    // stays far below the 1024 bytes it was once formatted into, and is never cut.
    const std::string depth = s.bit_depth > 0
                                  ? format_text("\"bit_depth\":%d,\"float_audio\":%s,", s.bit_depth,
                                                s.float_audio ? "true" : "false")
                                  : std::string();
    std::string out = format_text(
        "\"session\":{\"pt_saved_by\":%s,\"sample_rate\":%d,%s\"tracks\":%d,\"midi_tracks\":%d,"
        "\"hidden_tracks\":%d,\"inactive_tracks\":%d,\"master_faders\":%d,\"vcas\":%d,"
        "\"clips\":%d,\"midi_notes\":%d,\"alt_playlists\":%d,\"frozen_tracks\":%d,"
        "\"plugin_instances\":%d}",
        json_quote(s.pt_saved_by).c_str(), s.sample_rate, depth.c_str(), s.tracks, s.midi_tracks,
        s.hidden_tracks, s.inactive_tracks, s.master_faders, s.vcas, s.clips, s.midi_notes,
        s.alt_playlists, s.frozen_tracks, plugin_instances);
    assert(out.size() < 1024);
    return out;
}

std::string usage_body(const UsageSession& session, std::span<const FxReportRow> rows,
                       const UsageFlags& flags) {
    bool aax_only = false, unrecognised = false, missing = false;
    for (const FxReportRow& row : rows) {
        aax_only = aax_only || row.outcome == 2;
        unrecognised = unrecognised || row.outcome == 3;
        missing = missing || row.missing != 0;
    }
    bool truncated = false;
    const std::string plugins = usage_plugins_json(rows, truncated);
    const UsageWord not_converted[] = {
        {"no-plugin-list", flags.reaper_list_empty && !rows.empty()},
        {"plugins-not-installed", missing},
        {"media-missing", flags.media_missing},
        {"needs-a-look", flags.problem},
        {"plugins-truncated", truncated},
    };
    const UsageWord warnings[] = {
        {"aax-only-plugins", aax_only},
        {"unrecognized-plugins", unrecognised},
        {"surround-panner-lanes", flags.surround_pan_lanes},
        {"loops-not-written", flags.loops_not_written},
        {"video-not-written", flags.video_not_written},
    };
    return usage_session_json(session, static_cast<int>(rows.size())) + ",\"plugins\":" + plugins +
           ",\"not_converted\":" + json_string_array(not_converted) +
           ",\"warnings\":" + json_string_array(warnings);
}
