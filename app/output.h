// Console output: the sink every console text goes to, the print functions, and progress.
#pragma once

#include <string>

struct ConversionResult;

class PtxSink {
  public:
    virtual void write(const char* text) = 0;
    virtual ~PtxSink() = default;
};

// Writes to standard output as given: no newline added, no flush.
class StdoutSink : public PtxSink {
  public:
    void write(const char* text) override;
};

// Discards every text.
class NullSink : public PtxSink {
  public:
    void write(const char*) override {}
};

namespace ptxgui {
class Progress {
  public:
    virtual bool update(int step, int total, const char* text) = 0;
    virtual ~Progress() = default;
};
}  // namespace ptxgui

// Prints "progress step/total text" to standard error and flushes.
class StderrProgress : public ptxgui::Progress {
  public:
    bool update(int step, int total, const char* text) override;
};

// The process-wide output pointers; none owns what it points at.
struct OutputState {
    PtxSink* current_sink = nullptr;
    std::string* console_capture = nullptr;
    std::string* report_buffer = nullptr;
    ptxgui::Progress* progress_reporter = nullptr;
};
extern OutputState output_state;

// Formats with C99 printf semantics: 4096 bytes first, grown as needed up to 16 MiB; past that,
// the text is cut to its first 4095 bytes.
std::string format_text(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Every console text goes through here: into the capture (when set), then to the sink.
void say(const char* format, ...) __attribute__((format(printf, 1, 2)));

// say, then standard output flushed: for a line that must reach a pipe (a front end, a log) at
// once, before a long piece of work, not when the program ends.
void say_now(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Appends to the report buffer; does nothing (not even format) while no report is being built.
void report_printf(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Tells the progress reporter (when set) about stage `step` of 6; the answer is never consulted.
bool report_progress(int step, const char* stage);

void press_enter_to_close();

// Run on every way out of a conversion: hands the captured text to the result and clears the
// capture, report and progress pointers.
void end_output_capture(ConversionResult* result, const std::string& captured);
