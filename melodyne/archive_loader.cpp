#include "melodyne/archive_loader.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "melodyne/archive_format.h"
#include "melodyne/gnbk_container.h"
#include "platform/paths.h"

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kReadChunk = 64 * 1024;

bool plain_name(std::string_view name) {
    if (name.empty() || name == "." || name == "..") return false;
    for (const char ch : name) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '/' || c == '\\' || c == ':' || c < 0x20 || c == 0x7F) return false;
    }
    return true;
}

// True when `file` lies below `folder`, both resolved.
bool lies_inside(const fs::path& folder, const fs::path& file) {
    auto at = file.begin();
    for (const fs::path& part : folder) {
        if (at == file.end() || *at != part) return false;
        ++at;
    }
    return at != file.end();
}

// The whole file, read a chunk at a time; false when it does not open or grew past the limit.
bool read_whole_file(const fs::path& file, std::string& bytes) {
    std::FILE* f = std::fopen(path_text(file).c_str(), "rb");
    if (!f) return false;
    bytes.clear();
    char chunk[kReadChunk];
    std::size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, f)) > 0) {
        if (bytes.size() + got > kMaxAraFileSize) break;
        bytes.append(chunk, got);
    }
    const bool whole = std::feof(f) && !std::ferror(f);
    std::fclose(f);
    return whole;
}

}  // namespace

AraLoad load_ara_archive(std::string_view session_path, std::string_view record_name,
                         std::string_view file_name,
                         std::map<std::string, MelodyneArchive>& archives, std::string& path) {
    path.clear();
    if (file_name.empty()) return AraLoad::not_found;
    const std::string_view folder_name = record_name.empty() ? "Melodyne" : record_name;
    if (!plain_name(folder_name) || !plain_name(file_name)) return AraLoad::unsafe_name;

    const std::size_t slash = session_path.find_last_of("/\\");
    const std::string session_folder(
        slash == std::string_view::npos ? std::string_view() : session_path.substr(0, slash + 1));
    const std::string ara_folder = session_folder + "ARA Data";
    path = join_path(join_path(ara_folder, folder_name), file_name);
    if (archives.count(path)) return AraLoad::already_loaded;

    std::error_code ec;
    const fs::path resolved = fs::canonical(native_path(path), ec);
    if (ec || !fs::is_regular_file(resolved, ec)) return AraLoad::not_found;
    const fs::path resolved_folder = fs::canonical(native_path(ara_folder), ec);
    if (ec || !lies_inside(resolved_folder, resolved)) return AraLoad::unsafe_name;
    const std::uintmax_t size = fs::file_size(resolved, ec);
    if (ec) return AraLoad::not_found;
    if (size > kMaxAraFileSize) return AraLoad::too_large;

    // The resolved path is opened, so the file read is the file checked.
    std::string file;
    if (!read_whole_file(resolved, file)) return AraLoad::not_found;
    std::string bytes;
    MelodyneArchive archive;
    if (!unpack_gnbk_blob(file, bytes) || !parse_melodyne_archive(archive, bytes)) {
        return AraLoad::not_an_archive;
    }
    archives.emplace(path, std::move(archive));
    return AraLoad::loaded;
}
