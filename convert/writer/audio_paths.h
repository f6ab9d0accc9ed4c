// Where the project's items find their audio files.
//
// Every path written into a FILE line is absolute: REAPER resolves a relative FILE path against
// the project's own folder, which is not the folder a relative session path was given from.
#pragma once

#include <map>
#include <string>

// What the resolver learnt in one conversion. Reset with `reset_audio_paths`.
struct AudioPathState {
    std::map<std::string, std::string> resolved;  // file name -> path
    // Files found in the session's own sibling folders rather than the audio folder.
    int sibling_files = 0;
    std::map<std::string, int> sibling_files_by_folder;
    // `written_audio_folder` for the audio folder it was made from.
    std::string folder_made_from;
    std::string folder_written;
};
extern AudioPathState audio_paths;
void reset_audio_paths();

// The folders tried, after the audio folder, beside it in the session's folder.
inline constexpr const char* kSiblingAudioFolders[] = {"Rendered Files", "Bounced Files",
                                                       "Audio Files"};

// A folder made absolute and lexically normal, without a trailing separator; the text as given
// when the system cannot tell the current folder. An empty folder is the current folder.
std::string absolute_folder(const std::string& folder);

// `settings.audio_folder` as the FILE lines carry it (absolute).
std::string written_audio_folder();

// True when the path names a file that opens for reading.
bool file_exists(const std::string& path);

// The full path under which the project refers to an audio file: the audio folder's copy when it
// opens; else (with a session folder) the first of the file's own folder hint, "Rendered Files",
// "Bounced Files" and "Audio Files" beside the audio folder that holds it, counted per folder;
// else the audio folder's path, where REAPER will show the item offline. Cached per name. A hint
// that is not a plain folder name is not tried.
std::string resolve_audio_path(const std::string& file_name, const std::string& folder_hint = "");
