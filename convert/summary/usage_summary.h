// The one-line JSON usage summary: session facts as counts and, per plug-in product, what
// happened to it. It holds no track, clip or file name and no path.
#pragma once

#include <span>
#include <string>

#include "model/plugin_records.h"

// A JSON string: quotes and backslashes escaped, bytes below 0x20 as \u00xx, others unchanged.
std::string json_quote(const std::string& text);

// The whole line written to the --usage-json file, newline included.
std::string usage_summary_line(int exit_code, const std::string& body);

// A plug-in or maker name for the usage file: bytes of 0x80 and above dropped, letters, digits
// and " .,&+()'!_#-" kept, any other byte "-", at most 64 kept, then trimmed of blanks; an empty
// result gives "(unnamed)".
std::string sanitize_usage_name(const std::string& text);

// "[...]" of the words whose flag is set, in their order.
struct UsageWord {
    const char* word;
    bool set;
};
std::string json_string_array(std::span<const UsageWord> words);

// The plug-in array: one entry per product, maker, result and format, counted, in byte order of
// those four; cut after 400 entries, which sets `truncated`.
std::string usage_plugins_json(std::span<const FxReportRow> rows, bool& truncated);

// The counts of the session object.
struct UsageSession {
    std::string pt_saved_by;  // the token, unquoted
    int sample_rate = 0;
    int bit_depth = -1;  // -1: the session gives none, and neither member is written
    bool float_audio = false;
    int tracks = 0;
    int midi_tracks = 0;
    int hidden_tracks = 0;
    int inactive_tracks = 0;
    int master_faders = 0;
    int vcas = 0;
    int clips = 0;
    int midi_notes = 0;
    int alt_playlists = 0;
    int frozen_tracks = 0;
};

// What the word arrays read besides the rows.
struct UsageFlags {
    bool reaper_list_empty = false;
    bool media_missing = false;
    bool problem = false;
    bool surround_pan_lanes = false;
    bool loops_not_written = false;
    bool video_not_written = false;
};

// The session object: its fields are bounded, so it is always whole.
std::string usage_session_json(const UsageSession& session, int plugin_instances);

// The body: session object, plug-ins, not_converted and warnings.
std::string usage_body(const UsageSession& session, std::span<const FxReportRow> rows,
                       const UsageFlags& flags);
