// Every frame rate of a session, converted by the program: the TIMEMODE line REAPER reads and the
// console's timecode paragraph, on a session built in bytes whose settings hold a 0x204d block.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/ptformat.h"
#include "tests/mixer_builder.h"
#include "tests/plugin_session.h"
#include "tests/test_support.h"

namespace {

using test_blocks::u32le;
using test_blocks::z_block;
using test_blocks::zeros;
using test_support::read_file;
using test_support::RunSetup;
using test_support::TempDir;
using test_support::write_file;

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// The timecode block: the frame-rate code at +9, the start at the base rate at +18, the start's
// text, then the session's timecode code and the start at the full rate.
std::string timecode_block(int code, std::uint32_t start, std::uint32_t session_code,
                           std::uint32_t full_rate_start) {
    std::string content(1, static_cast<char>(code));
    content += zeros(8) + u32le(start) + zeros(12) + mixer_blocks::text("01:00:00:00") +
               u32le(session_code) + u32le(full_rate_start);
    return z_block(0x204d, content, 0x05);
}

// The TIMEMODE line and the console of one conversion.
struct Converted {
    std::string timemode;
    std::string console;
};

// Home, APPDATA, the current and the program's folder are fresh empty ones.
Converted convert(const std::string& settings) {
    TempDir root;
    const RunSetup setup;
    const std::string plain = plugin_session::drums_with_slots("") + settings;
    std::vector<std::uint8_t> bytes(plain.begin(), plain.end());
    EXPECT_TRUE(ptf_xor_crypt(bytes));
    write_file(root.file("Tc.ptx"), std::string(bytes.begin(), bytes.end()));
    const auto r = test_support::run_lanwick(
        {root.file("Tc.ptx"), "-o", root.file("Tc.rpp"), "--no-pause"}, setup);
    EXPECT_EQ(r.exit_code, 0) << r.out;
    Converted out;
    out.console = r.out;
    const std::string project = read_file(root.file("Tc.rpp"));
    const std::size_t at = project.find("  TIMEMODE ");
    if (at != std::string::npos) out.timemode = project.substr(at, project.find('\n', at) - at);
    return out;
}

// REAPER's own projects write 23.976 as the whole rate 24 with the fractional flag 2; every
// fractional rate is written so. The console says the ruler reads as Pro Tools' does only where
// the session's rate is certain, REAPER's ruler runs at it and the form written is one REAPER's
// saved projects hold; a rate the ruler runs at instead is named, and a form no saved project
// holds is named for the user to check. This session has no video: 24 and 23.976 are to be
// checked against the picture.
TEST(TimecodeProgram, EveryFrameRateAsReaperWritesIt) {
    struct Case {
        const char* label;
        int code;
        std::uint32_t session_code;
        int multiplier;
        const char* timemode;
        const char* note;   // the ruler's own rate, when it is not the session's
        const char* check;  // the rate to check in Project Settings; empty: none
    } cases[] = {
        {"23.976", 9, 9, 1, "  TIMEMODE 1 0 -1 24 2 0 -1", "", ""},
        {"24", 1, 1, 1, "  TIMEMODE 1 1 -1 24 0 0 -1", "", ""},
        {"25", 2, 2, 1, "  TIMEMODE 1 2 -1 25 0 0 -1", "", ""},
        {"29.97", 3, 3, 1, "  TIMEMODE 1 4 -1 30 2 0 -1", "", "29.97"},
        {"29.97 drop", 5, 5, 1, "  TIMEMODE 1 3 -1 30 1 0 -1", "", "29.97 drop"},
        {"30", 7, 7, 1, "  TIMEMODE 1 5 -1 30 0 0 -1", "", ""},
        {"30 drop", 8, 8, 1, "  TIMEMODE 1 5 -1 30 0 0 -1",
         "REAPER has no 30 drop-frame setting; the ruler runs at 30 non-drop.", ""},
        {"47.952", 9, 15, 2, "  TIMEMODE 1 7 -1 48 2 0 -1", "", "47.952"},
        {"48", 1, 16, 2, "  TIMEMODE 1 7 -1 48 0 0 -1", "", "48"},
        {"50", 2, 10, 2, "  TIMEMODE 1 8 -1 50 0 0 -1", "", ""},
        {"59.94", 3, 11, 2, "  TIMEMODE 1 9 -1 60 2 0 -1", "", "59.94"},
        {"59.94 drop", 5, 12, 2, "  TIMEMODE 1 9 -1 60 2 0 -1",
         "REAPER has no 59.94 drop-frame setting; the ruler runs at 59.94 non-drop.", "59.94"},
        {"60", 7, 13, 2, "  TIMEMODE 1 9 -1 60 0 0 -1", "", "60"},
        {"60 drop", 8, 14, 2, "  TIMEMODE 1 9 -1 60 0 0 -1",
         "REAPER has no 60 drop-frame setting; the ruler runs at 60 non-drop.", "60"},
        {"100", 2, 17, 4, "  TIMEMODE 1 8 -1 50 0 0 -1",
         "REAPER has no 100 fps setting; the ruler runs at 50 fps.", ""},
        {"119.88", 3, 18, 4, "  TIMEMODE 1 9 -1 60 2 0 -1",
         "REAPER has no 119.88 fps setting; the ruler runs at 59.94 fps.", "59.94"},
        {"119.88 drop", 5, 19, 4, "  TIMEMODE 1 9 -1 60 2 0 -1",
         "REAPER has no 119.88 fps drop frame setting; the ruler runs at 59.94 fps.", "59.94"},
        {"120", 7, 20, 4, "  TIMEMODE 1 9 -1 60 0 0 -1",
         "REAPER has no 120 fps setting; the ruler runs at 60 fps.", "60"},
        {"120 drop", 8, 21, 4, "  TIMEMODE 1 9 -1 60 0 0 -1",
         "REAPER has no 120 fps drop frame setting; the ruler runs at 60 fps.", "60"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        // One hour in at the base rate: the full-rate start is that many times as many frames.
        const std::uint32_t start = c.code == 2                  ? 90000
                                    : c.code == 1 || c.code == 9 ? 86400
                                                                 : 108000;
        const Converted out = convert(timecode_block(
            c.code, start, c.session_code, start * static_cast<std::uint32_t>(c.multiplier)));
        EXPECT_EQ(out.timemode, c.timemode);
        EXPECT_TRUE(
            has(out.console, std::string("  Timecode: ") + c.label + " fps, Session Start "))
            << out.console;
        const std::string label = c.label;
        std::string after = ",\n      written as REAPER's project start";
        if (label == "24" || label == "23.976") {
            after += ".\n      Pro Tools stores 24 and 23.976 the same way, and with no video in\n";
        } else if (c.note[0] == '\0' && c.check[0] == '\0') {
            after += ", so the ruler reads as Pro Tools' does.\n";
        } else {
            after += ".\n";
            if (c.note[0] != '\0') after += "      " + std::string(c.note) + "\n";
            if (c.check[0] != '\0')
                after +=
                    "      The frame rate is written too, in a form no project saved by REAPER\n"
                    "      was seen to hold: check that Project Settings show " +
                    std::string(c.check) + " fps there.\n";
        }
        EXPECT_TRUE(has(out.console, after)) << out.console;
        // One claim about the ruler, never two.
        EXPECT_FALSE(has(out.console, "reads as Pro Tools' does") && has(out.console, "check"))
            << out.console;
    }
}

}  // namespace
