#include "session/media_lists.h"

#include <algorithm>
#include <array>

#include "session/scan.h"
#include "util/bytes.h"

namespace {

constexpr std::uint16_t kFileListType = 0x103a;
constexpr std::uint16_t kClipEntryType = 0x2628;

constexpr std::array<std::string_view, 7> kVideoExtensions = {".mp4", ".mov", ".avi", ".mxf",
                                                              ".m4v", ".mkv", ".mpg"};

char lower_ascii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool ends_with_video_extension(std::string_view name) {
    for (std::string_view extension : kVideoExtensions) {
        if (name.size() < extension.size()) continue;
        const std::string_view tail = name.substr(name.size() - extension.size());
        if (std::equal(tail.begin(), tail.end(), extension.begin(),
                       [](char a, char b) { return lower_ascii(a) == b; })) {
            return true;
        }
    }
    return false;
}

// `name` is the video's name, or the name followed by '-' and one or more digits.
bool names_video_clip(std::string_view name, std::string_view video) {
    if (name.substr(0, video.size()) != video) return false;
    if (name.size() == video.size()) return true;
    const std::string_view rest = name.substr(video.size());
    return rest.size() >= 2 && rest[0] == '-' &&
           std::all_of(rest.begin() + 1, rest.end(), [](char c) { return c >= '0' && c <= '9'; });
}

enum class RecordTag { folder, file, other };

RecordTag tag_of(SessionBytes bytes, std::uint64_t at) {
    std::array<char, 4> tag{};
    for (std::size_t i = 0; i < 4; ++i) tag[i] = static_cast<char>(read_u8_checked(bytes, at + i));
    if (tag == std::array<char, 4>{0, 0, 0, 0}) return RecordTag::folder;
    for (std::string_view file_tag : {"WAVE", "AIFF", "MXFf"}) {
        if (std::equal(tag.begin(), tag.end(), file_tag.begin()) ||
            std::equal(tag.rbegin(), tag.rend(), file_tag.begin())) {
            return RecordTag::file;
        }
    }
    return RecordTag::other;
}

bool is_file_name_byte(char c) {
    const auto byte = static_cast<std::uint8_t>(c);
    return byte >= 0x20 && byte != 0x7f;
}

// The run of named records of one file-list block.
void read_file_records(SessionBytes bytes, const BlockHeader& block, AudioFolderHints& out) {
    constexpr std::uint32_t kMaxNameLength = 512;
    const std::uint64_t block_end = block.end();
    std::string folder;
    for (std::uint64_t at = block.position + 18; at + 4 <= block_end;) {
        const std::uint32_t name_length = read_u32le_checked(bytes, at);
        if (name_length < 1 || name_length > kMaxNameLength) return;
        // Name, tag and five further bytes; the last may reach 2 bytes past the block.
        const std::uint64_t record_end = at + 4 + name_length + 9;
        if (record_end > block_end + 2 || record_end > bytes.size()) return;
        const std::string_view name(reinterpret_cast<const char*>(bytes.data() + at + 4),
                                    name_length);
        if (!std::all_of(name.begin(), name.end(), is_file_name_byte)) return;
        switch (tag_of(bytes, at + 4 + name_length)) {
            case RecordTag::folder:
                folder = std::string(name);
                break;
            case RecordTag::file:
                if (!folder.empty()) out.emplace(std::string(name), folder);
                break;
            case RecordTag::other:
                return;
        }
        at += std::uint64_t{name_length} + 13;
    }
}

}  // namespace

void read_video_file_names(const std::uint8_t* data, std::size_t length,
                           std::vector<std::string>& out) {
    const SessionBytes bytes = session_bytes(data, length);
    scan_blocks(bytes, kFileListType, length, [&](const BlockHeader& block) {
        if (block.size < 8 || block.size > 4000 || !block_fits(bytes, block)) return false;
        for (std::uint64_t at = block.position + 9; at + 4 <= block.end(); ++at) {
            std::string_view name;
            if (!read_text_at(bytes, at, block.end(), 5, 200, TextBytes::name, name)) continue;
            if (!ends_with_video_extension(name)) continue;
            if (std::find(out.begin(), out.end(), name) == out.end()) out.emplace_back(name);
            break;
        }
        return false;
    });
}

void read_video_clip_entries(const std::uint8_t* data, std::size_t length,
                             std::string_view video_name, std::vector<VideoClipEntry>& out) {
    const SessionBytes bytes = session_bytes(data, length);
    scan_blocks(bytes, kClipEntryType, length, [&](const BlockHeader& block) {
        if (block.size < 12 || block.size > 4000 || !block_fits(bytes, block, 2)) return false;
        const std::uint32_t name_length = read_u32le_checked(bytes, block.position + 9);
        if (block.size < std::uint64_t{name_length} + 12) return false;
        std::string_view name;
        if (!read_text_at(bytes, block.position + 9, block.end(), 1, 200, TextBytes::name, name)) {
            return false;
        }
        if (!names_video_clip(name, video_name)) return false;
        VideoClipEntry entry;
        entry.name = std::string(name);
        read_nibble_time(bytes, block.position + 13 + name_length, length, entry.first,
                         entry.second, entry.third);
        out.push_back(std::move(entry));
        return false;
    });
}

void read_audio_files(const std::uint8_t* data, std::size_t length, AudioFolderHints& out) {
    const SessionBytes bytes = session_bytes(data, length);
    scan_blocks(bytes, kFileListType, length, [&](const BlockHeader& block) {
        if (!high_byte_zero(block) || block.size == 0 || !block_fits(bytes, block)) return false;
        read_file_records(bytes, block, out);
        return false;
    });
}
