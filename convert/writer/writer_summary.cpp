#include "convert/writer/writer_summary.h"

WriterSummary writer_summary;
WriterState writer_state;

void reset_writer_state() {
    writer_summary = WriterSummary{};
    writer_state = WriterState{};
}
