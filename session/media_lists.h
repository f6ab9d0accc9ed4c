// The session's media lists: video file names, the clip entries of a video, and the folder each
// audio file was found in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

// One clip entry of a video: the three nibble-width values stored after its name.
struct VideoClipEntry {
    std::string name;
    double first = 0.0;
    double second = 0.0;
    double third = 0.0;
};

// Audio file name -> name of the folder record stored before it.
using AudioFolderHints = std::map<std::string, std::string>;

// Appends the distinct video file names (.mp4, .mov, .avi, .mxf, .m4v, .mkv, .mpg in any case of
// A..Z), at most one per 0x103a block.
void read_video_file_names(const std::uint8_t* data, std::size_t length,
                           std::vector<std::string>& out);

// Appends the 0x2628 entries named `video_name`, or `video_name` followed by '-' and digits.
void read_video_clip_entries(const std::uint8_t* data, std::size_t length,
                             std::string_view video_name, std::vector<VideoClipEntry>& out);

// Adds file name -> folder name for every WAVE, AIFF or MXF file record of a 0x103a block's run
// of named records that follows a folder record; the first folder found for a name stays.
void read_audio_files(const std::uint8_t* data, std::size_t length, AudioFolderHints& out);
