#include "app/convert_options.h"

#include "platform/paths.h"

std::string folder_of(const std::string& path) {
    std::size_t slash = path.find_last_of("/\\");
    if (slash == std::string::npos) return ".";
    return path.substr(0, slash);
}

std::string default_audio_folder(const std::string& input_path) {
    return join_path(folder_of(input_path), "Audio Files");
}
