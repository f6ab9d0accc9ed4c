// Stage "media": every audio file the session lists is looked for where the project's items will
// look for it, and the console names those that are not there.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "platform/ptformat.h"
#include "session/media_lists.h"

// The run's missing audio files, in the order of the session's list. Reset with
// `reset_media_check`.
struct MediaCheckResult {
    std::vector<std::string> missing;
    int missing_count = 0;  // read by the report and the usage summary
};
extern MediaCheckResult media_check;
void reset_media_check();

// The names of the session's audio files (empty names skipped) that are not where
// `resolve_audio_path` points, each with its folder hint.
std::vector<std::string> find_missing_audio_files(std::span<const PtfAudioFile> files,
                                                  const AudioFolderHints& hints);

// The sibling-folder paragraph and the missing-files warning.
std::string media_check_text(const std::vector<std::string>& missing, int clips_in_siblings);

// Reports step 4 "media", runs the check, stores its result and prints its text.
void run_media_check(std::span<const PtfAudioFile> files, const AudioFolderHints& hints,
                     int clips_in_siblings);
