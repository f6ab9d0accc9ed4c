#include "convert/convert_session.h"

#include "app/output.h"
#include "convert/run_state.h"
#include "convert/session_load.h"
#include "convert/stage_reading.h"
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

    settings.audio_folder = options.audio_folder_given || options.input_path.empty()
                                ? options.audio_folder
                                : default_audio_folder(options.input_path);
    while (settings.audio_folder.size() > 1 &&
           (settings.audio_folder.back() == '/' || settings.audio_folder.back() == '\\'))
        settings.audio_folder.pop_back();
    settings.session_folder = folder_of(settings.audio_folder);

    report_progress(0, "reading");
    PTFFormat session;
    int code = load_session_file(session, options.input_path);
    if (!accept_loaded_session(session, code, options.input_path, progress != nullptr)) return 1;

    settings.session_sample_rate = session.sample_rate() > 0 ? session.sample_rate() : 48000;
    SessionReading reading;
    read_session(session, options, reading);

    // The session loaded; the stages that turn it into a project come next.
    say("\n  Read: %s\n  Not converted: this build reads the session but does not yet write "
        "projects.\n",
        options.input_path.c_str());
    return 1;
}
