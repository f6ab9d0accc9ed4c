#include "app/output.h"

#include <cstdarg>
#include <cstdio>
#include <memory>
#include <new>

#include "model/conversion_result.h"
#include "util/utf8_text.h"

OutputState output_state;

void StdoutSink::write(const char* text) {
    std::fputs(text, stdout);
}

bool StderrProgress::update(int step, int total, const char* text) {
    std::fprintf(stderr, "progress %d/%d %s\n", step, total, text);
    std::fflush(stderr);
    return true;
}

namespace {

constexpr std::size_t first_size = 4096;
constexpr std::size_t max_size = 16u * 1024u * 1024u;

// Formats into `out`; false when the heap buffer could not be had.
bool vformat(std::string& out, const char* format, va_list args) {
    char stack[first_size];
    std::unique_ptr<char[]> heap;
    char* buf = stack;
    std::size_t size = first_size;
    for (;;) {
        va_list copy;
        va_copy(copy, args);
        int n = std::vsnprintf(buf, size, format, copy);
        va_end(copy);
        if (n >= 0 && static_cast<std::size_t>(n) < size) {
            out.assign(buf, static_cast<std::size_t>(n));
            return true;
        }
        std::size_t next = n > 0 ? static_cast<std::size_t>(n) + 1 : size * 2;
        heap.reset();
        if (next > max_size) {
            // Too long: keep what the first round left in the stack buffer.
            va_copy(copy, args);
            std::vsnprintf(stack, first_size, format, copy);
            va_end(copy);
            out.assign(stack);
            return true;
        }
        heap.reset(new (std::nothrow) char[next]);
        if (!heap) return false;
        buf = heap.get();
        size = next;
    }
}

}  // namespace

std::string format_text(const char* format, ...) {
    std::string text;
    va_list args;
    va_start(args, format);
    vformat(text, format, args);
    va_end(args);
    return text;
}

namespace {

void say_list(const char* format, va_list args) {
    std::string text;
    vformat(text, format, args);
    // Names from a damaged session, or a text cut at the size limit, may not be UTF-8.
    if (!is_valid_utf8(text)) text = repair_utf8(text);
    if (output_state.console_capture) output_state.console_capture->append(text);
    if (output_state.current_sink)
        output_state.current_sink->write(text.c_str());
    else
        std::fputs(text.c_str(), stdout);
}

}  // namespace

void say(const char* format, ...) {
    va_list args;
    va_start(args, format);
    say_list(format, args);
    va_end(args);
}

void say_now(const char* format, ...) {
    va_list args;
    va_start(args, format);
    say_list(format, args);
    va_end(args);
    std::fflush(stdout);
}

void report_printf(const char* format, ...) {
    if (!output_state.report_buffer) return;
    std::string text;
    va_list args;
    va_start(args, format);
    bool ok = vformat(text, format, args);
    va_end(args);
    if (!is_valid_utf8(text)) text = repair_utf8(text);
    if (ok) output_state.report_buffer->append(text);
}

bool report_progress(int step, const char* stage) {
    if (!output_state.progress_reporter) return false;
    return output_state.progress_reporter->update(step, 6, stage);
}

void press_enter_to_close() {
    say("\n  Press Enter to close.\n");
    std::fflush(stdout);
    std::getchar();
}

void end_output_capture(ConversionResult* result, const std::string& captured) {
    if (result) result->console_text = captured;
    output_state.console_capture = nullptr;
    output_state.report_buffer = nullptr;
    output_state.progress_reporter = nullptr;
}
