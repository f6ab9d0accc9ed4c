#include "convert/run_state.h"

ProcessSettings process_settings;
RunOutcome run_outcome;

void record_problem(const std::string& kind, const std::string& detail) {
    if (!run_outcome.problem_kind.empty()) return;
    run_outcome.problem_kind = kind;
    run_outcome.problem_detail = detail.substr(0, 159);
}
