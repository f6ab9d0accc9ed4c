#include "convert/summary/media_check.h"

#include "app/output.h"
#include "convert/writer/audio_paths.h"
#include "convert/writer/project_text.h"
#include "util/names.h"

MediaCheckResult media_check;

void reset_media_check() {
    media_check = MediaCheckResult{};
}

namespace {

constexpr std::size_t kMissingShown = 6;
constexpr std::size_t kNameBytesShown = 64;

}  // namespace

std::vector<std::string> find_missing_audio_files(std::span<const PtfAudioFile> files,
                                                  const AudioFolderHints& hints) {
    std::vector<std::string> missing;
    for (const PtfAudioFile& file : files) {
        if (file.name.empty()) continue;
        // Items name their files without folders; the check looks where they look.
        const std::string name = path_basename(file.name);
        const auto hint = hints.find(file.name);
        const std::string path =
            resolve_audio_path(name, hint == hints.end() ? std::string() : hint->second);
        if (!file_exists(path)) missing.push_back(file.name);
    }
    return missing;
}

std::string media_check_text(const std::vector<std::string>& missing, int clips_in_siblings) {
    std::string text;
    if (audio_paths.sibling_files != 0) {
        text += format_text(
            "  %d audio file(s) the session lists are in its own sibling folder(s)\n"
            "      rather than the media folder:",
            audio_paths.sibling_files);
        for (const auto& [folder, count] : audio_paths.sibling_files_by_folder)
            text += format_text(" %s (%d)", folder.c_str(), count);
        if (clips_in_siblings != 0) {
            text += format_text("\n      %d clip(s) use them; their FILE lines point there.\n",
                                clips_in_siblings);
        } else {
            text +=
                "\n      No clip uses them (freeze renders are not needed: the frozen\n"
                "      track converts from its source with the plug-in live).\n";
        }
    }
    if (!missing.empty()) {
        text += format_text(
            "  WARNING: %d referenced audio file(s) are not in \"Audio Files\" or beside it:\n",
            static_cast<int>(missing.size()));
        for (std::size_t i = 0; i < missing.size() && i < kMissingShown; ++i)
            text += "      " + utf8_prefix(missing[i], kNameBytesShown) + "\n";
        if (missing.size() > kMissingShown)
            text += format_text("      ... and %d more\n",
                                static_cast<int>(missing.size() - kMissingShown));
        text +=
            "      REAPER will search for these on load and may look frozen while\n"
            "      it does; telling it to ignore missing files opens the rest.\n";
    }
    return console_text(text);  // the file names are the session's
}

void run_media_check(std::span<const PtfAudioFile> files, const AudioFolderHints& hints,
                     int clips_in_siblings) {
    report_progress(4, "media");
    media_check.missing = find_missing_audio_files(files, hints);
    const std::string text = media_check_text(media_check.missing, clips_in_siblings);
    media_check.missing_count = static_cast<int>(media_check.missing.size());
    say("%s", text.c_str());
}
