#include "convert/writer/audio_paths.h"

#include <filesystem>
#include <system_error>

#include "convert/run_state.h"
#include "platform/paths.h"
#include "util/files.h"

AudioPathState audio_paths;

void reset_audio_paths() {
    audio_paths = AudioPathState{};
}

std::string absolute_folder(const std::string& folder) {
    const std::string given = folder.empty() ? std::string(".") : folder;
    std::error_code ec;
    std::filesystem::path path = std::filesystem::absolute(native_path(given), ec);
    if (ec) return given;
    std::string text = path_text(path.lexically_normal());
    while (text.size() > 1 && (text.back() == '/' || text.back() == '\\')) text.pop_back();
    return text;
}

std::string written_audio_folder() {
    if (audio_paths.folder_written.empty() ||
        audio_paths.folder_made_from != settings.audio_folder) {
        audio_paths.folder_made_from = settings.audio_folder;
        audio_paths.folder_written = absolute_folder(settings.audio_folder);
    }
    return audio_paths.folder_written;
}

bool file_exists(const std::string& path) {
    return file_opens_for_reading(path);
}

namespace {

// A folder hint comes from the session: only a plain folder name may lead anywhere.
bool plain_folder_name(const std::string& name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of("/\\:") == std::string::npos;
}

}  // namespace

std::string resolve_audio_path(const std::string& file_name, const std::string& folder_hint) {
    if (const auto it = audio_paths.resolved.find(file_name); it != audio_paths.resolved.end())
        return it->second;

    const std::string in_audio_folder = join_path(written_audio_folder(), file_name);
    std::string answer = in_audio_folder;
    if (!file_exists(in_audio_folder) && !settings.session_folder.empty()) {
        const std::string session_folder = absolute_folder(settings.session_folder);
        auto try_folder = [&](const std::string& folder) {
            const std::string candidate = join_path(join_path(session_folder, folder), file_name);
            if (!file_exists(candidate)) return false;
            answer = candidate;
            ++audio_paths.sibling_files;
            ++audio_paths.sibling_files_by_folder[folder];
            return true;
        };
        bool found = plain_folder_name(folder_hint) && try_folder(folder_hint);
        for (const char* folder : kSiblingAudioFolders) {
            if (found) break;
            found = try_folder(folder);
        }
    }
    audio_paths.resolved.emplace(file_name, answer);
    return answer;
}
