#include "plugins/corpus_dump.h"

#include <cstdio>

#include "convert/run_state.h"
#include "platform/paths.h"
#include "plugins/state_conversion.h"

namespace {

constexpr std::uint64_t kFnvBasis = 0xcbf29ce484222325ull;
constexpr std::uint64_t kFnvPrime = 0x100000001b3ull;
constexpr std::size_t kMaxFileName = 1200;
constexpr const char* kIndexHeader =
    "name\tsig\tproduct\tident\tkind\tblocklen\tdocoff\tdoclen\tchunklen\tsession\n";

// An id byte kept in a file name: one no file system reads as a separator or forbids.
bool file_name_byte(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '$' ||
           c == '_' || c == '-';
}

std::string file_name_id(std::string_view aax_id) {
    std::string out(aax_id);
    for (char& c : out)
        if (!file_name_byte(c)) c = '_';
    return out;
}

bool write_whole(const std::string& path, std::string_view bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}

bool exists(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return false;
    std::fclose(file);
    return true;
}

void warn_once(std::string_view folder) {
    if (plugin_state_counts.corpus_warning_given) return;
    plugin_state_counts.corpus_warning_given = true;
    std::fprintf(stderr, "--dump-corpus: cannot write in %.*s (does the directory exist?)\n",
                 static_cast<int>(folder.size()), folder.data());
}

bool append_index_row(const std::string& folder, const std::string& row) {
    const std::string path = join_path(folder, "index.tsv");
    std::FILE* file = std::fopen(path.c_str(), "ab");
    if (file == nullptr) return false;
    bool ok = std::fseek(file, 0, SEEK_END) == 0;
    const long size = ok ? std::ftell(file) : -1;
    if (size == 0) ok = std::fputs(kIndexHeader, file) >= 0;
    ok = ok && size >= 0 && std::fwrite(row.data(), 1, row.size(), file) == row.size();
    return std::fclose(file) == 0 && ok;
}

}  // namespace

std::uint64_t corpus_hash(std::string_view first, std::string_view second) {
    std::uint64_t hash = kFnvBasis;
    for (std::string_view part : {first, second}) {
        for (char c : part) {
            hash ^= static_cast<std::uint8_t>(c);
            hash *= kFnvPrime;
        }
    }
    return hash;
}

std::string corpus_file_name(std::string_view folder, std::string_view aax_id,
                             std::string_view block, std::string_view state,
                             std::string_view extension) {
    const std::uint64_t hash = corpus_hash(block, state);
    char digits[17];
    std::snprintf(digits, sizeof digits, "%08x%08x", static_cast<unsigned>(hash >> 32),
                  static_cast<unsigned>(hash & 0xFFFFFFFFu));
    std::string name(folder);
    name += path_separator;
    name += file_name_id(aax_id);
    name += '.';
    name += digits;
    name += '.';
    name += extension;
    // A cut name could name another pair's file: such a name is not written at all.
    if (name.size() > kMaxFileName) return {};
    return name;
}

void dump_corpus_entry(const SessionPluginInstance& instance, const PluginRuleRow* row,
                       SessionBytes bytes, std::string_view state, std::string_view session_name) {
    const std::string& folder = process_settings.dump_corpus_dir;
    if (folder.empty() || state.empty()) return;
    if (instance.payload_length == 0 && instance.payload_kind == 0) return;
    if (instance.settings_end > bytes.size() || instance.block_pos > instance.settings_end) return;
    const std::string_view block(
        reinterpret_cast<const char*>(bytes.data()) + instance.block_pos,
        static_cast<std::size_t>(instance.settings_end - instance.block_pos));

    const std::string block_path = corpus_file_name(folder, instance.aax_id, block, state, "block");
    const std::string chunk_path = corpus_file_name(folder, instance.aax_id, block, state, "chunk");
    if (block_path.empty() || chunk_path.empty()) {
        warn_once(folder);
        return;
    }
    if (exists(block_path)) return;
    if (!write_whole(block_path, block)) {
        std::remove(block_path.c_str());
        warn_once(folder);
        return;
    }

    // The index names the pair by its file name without folder and extension.
    const std::size_t name_start = folder.size() + 1;
    const std::string name = block_path.substr(
        name_start, block_path.size() - name_start - std::string_view("block").size());
    const std::uint64_t doc_offset =
        instance.payload_offset == 0 ? 0 : instance.payload_offset - instance.block_pos;
    char numbers[160];
    std::snprintf(numbers, sizeof numbers, "\t%d\t%llu\t%llu\t%u\t%u\t",
                  static_cast<int>(instance.payload_kind),
                  static_cast<unsigned long long>(block.size()),
                  static_cast<unsigned long long>(doc_offset), instance.payload_length,
                  static_cast<unsigned>(state.size()));
    std::string index_row = name + '\t' + instance.aax_id + '\t';
    index_row += row && row->display_name ? row->display_name : "";
    index_row += '\t';
    index_row += row && row->id_text ? row->id_text : "";
    index_row += numbers;
    index_row += session_name;
    index_row += '\n';

    // A pair the index does not name is not kept: a later run tries it again. Only a block
    // file that cannot be created is worth a message.
    if (!write_whole(chunk_path, state) || !append_index_row(folder, index_row)) {
        std::remove(chunk_path.c_str());
        std::remove(block_path.c_str());
    }
}
