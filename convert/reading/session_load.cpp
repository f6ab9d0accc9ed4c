#include "convert/reading/session_load.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "app/output.h"
#include "convert/run_state.h"
#include "session/session_walk.h"
#include "util/files.h"

namespace {

constexpr std::int64_t default_rate = 48000;

bool lower_ends_with(const std::string& path, const char* suffix) {
    std::size_t n = std::strlen(suffix);
    if (path.size() <= 4 || path.size() < n) return false;
    for (std::size_t i = 0; i < n; ++i) {
        char c = path[path.size() - n + i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != suffix[i]) return false;
    }
    return true;
}

// -1 when the file cannot be opened; a failed seek counts as a size other than 0.
long long file_size(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return -1;
    long long size = 1;
    if (std::fseek(f, 0, SEEK_END) == 0) size = std::ftell(f);
    std::fclose(f);
    return size;
}

void say_decryption_lines(const std::string& path) {
    PTFFormat raw;
    raw.unxor(path);
    const std::vector<std::uint8_t>& bytes = raw.bytes();
    if (bytes.empty()) {
        say("  Decryption: FAILED\n");
        return;
    }
    say("  Decryption: OK (%llu bytes)\n", static_cast<unsigned long long>(bytes.size()));
    say("  Version byte: %d\n", raw.version());
    std::size_t scan = bytes.size() < 4096 ? bytes.size() : 4096;
    static const char marker[] = "ProTools";
    for (std::size_t i = 0; i + 8 <= scan; ++i) {
        if (std::memcmp(bytes.data() + i, marker, 8) != 0) continue;
        std::string text;
        for (std::size_t j = i; j < bytes.size() && text.size() < 40; ++j) {
            if (bytes[j] < 0x20 || bytes[j] > 0x7E) break;
            text += static_cast<char>(bytes[j]);
        }
        say("  Header text: %s\n", text.c_str());
        break;
    }
}

void report_unreadable(int code, const std::string& path, bool with_progress) {
    if (file_size(path) == 0) {
        say("\n  Could not read: %s\n  Reason: the file is EMPTY (0 bytes). There is no session "
            "in it\n          to convert. If the session folder has a \"Session File\n          "
            "Backups\" folder, the newest .ptx in it may convert.\n",
            path.c_str());
        if (with_progress)
            say("\n  Not converted: the session file is empty (0 bytes), so there is no session "
                "to convert.\n");
        return;
    }
    const char* reason = load_failure_reason(code);
    say("\n  Could not read: %s\n  Reason: that session %s.  (code %d)\n", path.c_str(), reason,
        code);
    say_decryption_lines(path);
    if (with_progress)
        say("\n  The app that ran lanwick may offer to send this as a problem report.\n");
    else
        say("\n  Please send this text and the .ptx file to whoever gave you lanwick\n"
            "  (its maintainers) so that the session can be looked at.\n");
    char detail[160];
    std::snprintf(detail, sizeof detail, "the session %s (code %d)", reason, code);
    record_problem("unreadable", detail);
}

}  // namespace

const char* load_failure_reason(int code) {
    switch (code) {
        case -1:
            return "could not be decrypted - is this really a Pro Tools session file?";
        case -2:
            return "has no readable version marker";
        case -3:
            return "is a Pro Tools version this tool does not understand";
        case -4:
            return "was decrypted but the contents could not be parsed";
        default:
            return "could not be parsed";
    }
}

bool is_older_session_format(const std::string& path) {
    if (lower_ends_with(path, ".ptf") || lower_ends_with(path, ".pts")) return true;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    unsigned char head[19];
    std::size_t n = std::fread(head, 1, sizeof head, f);
    std::fclose(f);
    return n == sizeof head && head[0] == 0x03 && head[18] == 0x01;
}

int load_session_file(PTFFormat& session, const std::string& path) {
    int code = session.load(path, default_rate);
    if (code == -3) {
        PTFFormat::allow_unknown_version = true;
        code = session.load(path, default_rate);
    }
    if (code == 0 && session.sample_rate() > 0 && session.sample_rate() != default_rate)
        code = session.load(path, session.sample_rate());
    // Decrypted, but laid out in a way the session walk declines (an unknown byte order): no clip
    // or track could be read, and an empty project would pass for a converted one.
    if (code == 0 && !session_walk_accepts(session.bytes().data(), session.length())) code = -4;
    return code;
}

bool accept_loaded_session(PTFFormat& session, int code, const std::string& path,
                           bool with_progress) {
    // A dragged session folder is there, and quotes would not help: say what it is.
    if (is_folder(path)) {
        say("\n  Not a session file:\n    %s\n\n  That is a folder. Name the .ptx file inside "
            "it:\n    lanwick \"My Song/My Song.ptx\"\n",
            path.c_str());
        if (with_progress) say("\n  Not converted: a folder was given, not a session file.\n");
        return false;
    }
    if (!file_opens_for_reading(path)) {
        if (with_progress)
            say("\n  No such file:\n    %s\n\n  Not converted: the session file was not found. The "
                "file may have been moved, renamed or deleted, or its drive is not connected.\n",
                path.c_str());
        else
            say("\n  No such file:\n    %s\n\n  If the name has spaces, put it in quotes:\n    "
                "lanwick \"My Song.ptx\"\n",
                path.c_str());
        return false;
    }
    if (is_older_session_format(path)) {
        say("\n  Could not convert: %s\n  Reason: this is an OLDER Pro Tools session format (Pro "
            "Tools 5 - 9,\n          .pts or .ptf). This tool converts .ptx sessions (Pro Tools\n"
            "          10 and later) only. An older session is refused rather than\n          "
            "converted partly, because a partial mix would look finished.\n\n  To convert it: "
            "open the session in Pro Tools 10 or later, use\n  File > Save As to save it as a "
            ".ptx, and convert that file.\n",
            path.c_str());
        if (with_progress)
            say("\n  Not converted: this is an older Pro Tools session format (.pts or .ptf). "
                "Save the session as a .ptx from Pro Tools 10 or later, then convert that file.\n");
        return false;
    }
    if (code == 0) return true;
    long long rate = session.sample_rate();
    if (rate > 0 && (rate < 44100 || rate > 192000)) {
        say("\n  Could not read: %s\n  Reason: this session is at %lld Hz, which is outside the "
            "range\n          this tool supports (44100 - 192000 Hz).\n\n  The file itself is fine "
            "-- it is the rate that is not handled.\n  Re-save the session from Pro Tools at a "
            "supported rate, or send\n  this text if you need %lld Hz supported.\n",
            path.c_str(), rate, rate);
        if (with_progress)
            say("\n  Not converted: the session is at %lld Hz, outside the supported range (44100 "
                "- 192000 Hz).\n",
                rate);
        return false;
    }
    report_unreadable(code, path, with_progress);
    return false;
}
