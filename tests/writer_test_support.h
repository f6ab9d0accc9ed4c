// Shared by the project writer tests: capturing what a writer puts in a file, the grammar check
// every written project goes through, and a clean run state.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "app/convert_options.h"
#include "app/output.h"
#include "convert/run_state.h"
#include "convert/writer/project_writer.h"
#include "tests/rpp_grammar.h"

namespace writer_test {

// What `write` puts into a file.
template <typename Write>
std::string capture(Write&& write) {
    std::FILE* file = std::tmpfile();
    if (!file) {
        ADD_FAILURE() << "tmpfile failed";
        return {};
    }
    write(file);
    std::fflush(file);
    std::rewind(file);
    std::string text;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, n);
    std::fclose(file);
    return text;
}

inline void expect_parses(const std::string& text) {
    const rpp_grammar::Result r = rpp_grammar::check_project(text);
    EXPECT_TRUE(r.ok) << "line " << r.line << ": " << r.message << "\n" << text;
}

// The whole project text for an input, checked against the grammar.
inline std::string project_text(const ProjectWriteInput& in) {
    std::string text = capture([&](std::FILE* f) { write_project_text(f, in); });
    expect_parses(text);
    return text;
}

// The n-th track block (from 0), from "  <TRACK" to its closing "  >\n"; empty when absent.
inline std::string track_block(const std::string& text, int n) {
    std::size_t at = 0;
    for (int i = 0; i <= n; ++i) {
        at = text.find("  <TRACK ", i == 0 ? 0 : at + 1);
        if (at == std::string::npos) return {};
    }
    const std::size_t end = text.find("\n  >\n", at);
    return end == std::string::npos ? std::string() : text.substr(at, end + 5 - at);
}

// Every test starts from a fresh run state with console output captured, and leaves none behind.
class WriterTest : public ::testing::Test {
  protected:
    void SetUp() override {
        reset_conversion_state(ConvertOptions{});
        saved_sink_ = output_state.current_sink;
        output_state.current_sink = &sink_;
        output_state.console_capture = &console_;
    }
    void TearDown() override {
        output_state.current_sink = saved_sink_;
        output_state.console_capture = nullptr;
        output_state.progress_reporter = nullptr;
        reset_conversion_state(ConvertOptions{});
    }
    std::string console_;

  private:
    NullSink sink_;
    PtxSink* saved_sink_ = nullptr;
};

}  // namespace writer_test
