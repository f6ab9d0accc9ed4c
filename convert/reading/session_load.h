// Opening the session file and refusing, with the reason, what cannot be converted.
#pragma once

#include <cstdint>
#include <string>

#include "platform/ptformat.h"

// The texts of the library's load codes.
const char* load_failure_reason(int code);

// True for ".ptf" / ".pts" names and for files whose clear header marks the older encryption.
bool is_older_session_format(const std::string& path);

// Loads the session the way the driver does: at 48000 Hz, again with unknown versions allowed
// after -3, and at the session's own rate when that differs. Returns the last load code, or -4
// (decrypted but not parsable) for a loaded session whose bytes the session walk declines.
int load_session_file(PTFFormat& session, const std::string& path);

// Runs the refusal tests in order (missing, older format, load failure with its report). Returns
// true when the session loaded and may be converted; otherwise its reason has been said.
bool accept_loaded_session(PTFFormat& session, int load_code, const std::string& path,
                           bool with_progress);
