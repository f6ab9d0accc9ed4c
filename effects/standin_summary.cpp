#include "effects/standin_summary.h"

#include "effects/eq3_conversion.h"
#include "effects/stock_standins.h"
#include "util/number_text.h"
#include "util/text_wrap.h"

std::string standin_paragraphs() {
    const StockStandInState& st = stock_standin_state;
    std::string text;
    if (st.standin_total > 0) {
        append_format(text,
                      "  %d Avid plug-in(s) arrive as REAPER's own equivalents, in the same\n",
                      static_cast<int>(st.standin_total));
        std::string row = "slot (EQ exact in design, dynamics close, not identical): ";
        const char* separator = "";
        for (const auto& [name, count] : st.standin_counts) {
            append_format(row, "%s%s %d", separator, name.c_str(), static_cast<int>(count));
            separator = ", ";
        }
        text += wrapped_row(row, 6);
    }
    const Eq3Counters& eq = eq3_counters;
    text += eq3_fit_lines(eq, "      ");
    if (eq.one_pole_count > 0)
        append_format(text,
                      "      EQ3: %d high-pass or low-pass filter(s) set to 6 or 18 dB/oct use\n"
                      "      REAPER's Simple 1-Pole Filter (JS) for their first-order part, in\n"
                      "      the slot after the ReaEQ\n",
                      static_cast<int>(eq.one_pole_count));
    if (!st.notes.empty()) {
        text += "  Avid stand-ins approximated or left out:\n";
        for (const auto& [note, count] : st.notes) {
            text += wrapped_row(note + " (" + std::to_string(count) + " plug-in(s))", 6);
            if (note == kEq3BeyondReachNote) text += eq3_worst_fit_text(eq);
        }
    }
    return text;
}
