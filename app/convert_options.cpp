#include "app/convert_options.h"

#include <cmath>

#include "platform/paths.h"

std::string folder_of(const std::string& path) {
    std::size_t slash = path.find_last_of("/\\");
    if (slash == std::string::npos) return ".";
    return path.substr(0, slash);
}

std::string default_audio_folder(const std::string& input_path) {
    return join_path(folder_of(input_path), "Audio Files");
}

bool writes_usage_summary(const ConvertOptions& options) {
    return !options.usage_json_file.empty() && !options.check && !options.list;
}

bool shares_usage_summary(const ConvertOptions& options) {
    return options.usage_shared != 0 && writes_usage_summary(options);
}

bool tempo_override_valid(double tempo) {
    if (tempo == 0.0) return true;
    return std::isfinite(tempo) && tempo >= kLowestTempoOverride && tempo <= kHighestTempoOverride;
}

std::string tempo_refusal_text(const std::string& given) {
    return "\n  --tempo " + given +
           ": not a tempo this tool can write. Give a number of beats per\n  minute from 20 to "
           "999, or leave --tempo out to keep the session's tempo.\n\n  Nothing was "
           "converted.\n";
}
