// Process-wide state the command line and the driver share.
#pragma once

#include <cstdint>
#include <string>

// Set by the command line; lives for the whole process.
struct ProcessSettings {
#ifdef _WIN32
    std::int32_t pause_at_exit = 1;
#else
    std::int32_t pause_at_exit = 0;
#endif
    std::string dump_corpus_dir;
};
extern ProcessSettings process_settings;

// What one conversion leaves for the command line, the report and the usage summary.
struct RunOutcome {
    std::string summary_line;
    std::string problem_kind;
    std::string problem_detail;
    std::string usage_body;
};
extern RunOutcome run_outcome;

// Records the run's problem; the first one recorded wins. The detail is cut to 159 bytes.
void record_problem(const std::string& kind, const std::string& detail);
