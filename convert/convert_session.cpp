#include "convert/convert_session.h"

#include "app/output.h"
#include "convert/run_state.h"
#include "convert/session_load.h"
#include "model/conversion_result.h"

namespace {

// Clears the capture and progress pointers on every way out of a conversion.
struct CaptureGuard {
    ConversionResult* result;
    std::string captured;
    ~CaptureGuard() { end_output_capture(result, captured); }
};

}  // namespace

int convert_session(const ConvertOptions& options, ConversionResult* result,
                    ptxgui::Progress* progress) {
    run_outcome.summary_line.clear();
    run_outcome.problem_kind.clear();
    run_outcome.problem_detail.clear();
    output_state.progress_reporter = progress;
    if (result) *result = ConversionResult{};
    CaptureGuard guard{result, {}};
    output_state.console_capture = &guard.captured;

    reset_conversion_state(options);

    if (options.input_path.empty()) {
        say("lanwick: drag a .ptx file onto this program.\n");
        return 1;
    }

    report_progress(0, "reading");
    PTFFormat session;
    int code = load_session_file(session, options.input_path);
    if (!accept_loaded_session(session, code, options.input_path, progress != nullptr)) return 1;

    // The session loaded; the stages that turn it into a project come next.
    say("\n  Read: %s\n  Not converted: this build reads the session but does not yet write "
        "projects.\n",
        options.input_path.c_str());
    return 1;
}
