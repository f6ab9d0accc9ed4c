#include <gtest/gtest.h>

#include <string>

#include "app/output.h"
#include "model/conversion_result.h"

namespace {

// Collects what `say` hands to the sink.
class CollectSink : public PtxSink {
public:
    void write(const char* text) override { got += text; }
    std::string got;
};

struct SinkGuard {
    CollectSink sink;
    OutputState saved = output_state;
    SinkGuard() {
        output_state = OutputState{};
        output_state.current_sink = &sink;
    }
    ~SinkGuard() { output_state = saved; }
};

TEST(Say, LongTextsArePrintedWholeAndHugeOnesCut) {
    SinkGuard guard;
    std::string long_text(5000, 'x');
    say("%s|", long_text.c_str());
    EXPECT_EQ(guard.sink.got, long_text + "|");

    guard.sink.got.clear();
    std::string huge(16u * 1024u * 1024u + 10u, 'y');
    say("%s", huge.c_str());
    EXPECT_EQ(guard.sink.got, std::string(4095, 'y'));
}

TEST(Say, CaptureSeesWhatIsSaidWhileSet) {
    SinkGuard guard;
    std::string capture;
    output_state.console_capture = &capture;
    say("  one %d\n", 1);
    ConversionResult result;
    end_output_capture(&result, capture);
    say("  two\n");
    EXPECT_EQ(guard.sink.got, "  one 1\n  two\n");
    EXPECT_EQ(result.console_text, "  one 1\n");
    EXPECT_EQ(output_state.console_capture, nullptr);
}

TEST(ReportPrintf, LeavesNoTraceOutsideTheReport) {
    SinkGuard guard;
    report_printf("lost %d\n", 1);
    std::string report;
    output_state.report_buffer = &report;
    report_printf("kept %s\n", "line");
    output_state.report_buffer = nullptr;
    report_printf("lost again\n");
    EXPECT_EQ(report, "kept line\n");
    EXPECT_TRUE(guard.sink.got.empty());
}

TEST(Progress, ReporterIsCalledWithSixSteps) {
    SinkGuard guard;
    struct Recorder : ptxgui::Progress {
        std::string seen;
        bool update(int step, int total, const char* text) override {
            seen += std::to_string(step) + "/" + std::to_string(total) + " " + text + ";";
            return false;
        }
    } recorder;
    EXPECT_FALSE(report_progress(1, "clips"));
    output_state.progress_reporter = &recorder;
    report_progress(0, "reading");
    EXPECT_EQ(recorder.seen, "0/6 reading;");
}

}  // namespace
