#include "platform/ptformat.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <span>
#include <string_view>
#include <utility>

#include "platform/paths.h"
#include "session/block_tree.h"
#include "util/bytes.h"

bool PTFFormat::allow_unknown_version = false;

namespace {

constexpr std::size_t kClearHeaderSize = 0x14;
constexpr std::size_t kSchemePosition = 0x12;
constexpr std::size_t kSeedPosition = 0x13;
constexpr std::size_t kByteOrderPosition = 0x11;
constexpr std::size_t kVersionBlockPosition = 0x1F;
constexpr std::string_view kVersionMarkerText = "0010111100101011";

constexpr std::uint16_t kContentVersion = 0x2067;
constexpr std::uint16_t kContentOldVersion = 0x0003;
constexpr std::uint16_t kContentSampleRate = 0x1028;
constexpr std::uint16_t kContentAudioFiles = 0x1004;
constexpr std::uint16_t kContentAudioFileNames = 0x103A;
constexpr std::uint16_t kContentAudioFileInfo = 0x1003;
constexpr std::uint16_t kContentAudioFileLength = 0x1001;

constexpr std::int64_t kLowestRate = 44100;
constexpr std::int64_t kHighestRate = 192000;

using Bytes = std::span<const std::uint8_t>;

int clamp_to_int(std::uint64_t value) {
    return static_cast<int>(std::min<std::uint64_t>(value, INT_MAX));
}

bool has_version_marker(Bytes bytes) {
    if (bytes.size() < 1 + kVersionMarkerText.size()) return false;
    const bool lead = bytes[0] == 0x03;
    const bool text =
        std::memcmp(bytes.data() + 1, kVersionMarkerText.data(), kVersionMarkerText.size()) == 0;
    // Either half is enough to call the marker readable.
    return lead || text;
}

// 0 when the number cannot be read.
int read_version(Bytes bytes) {
    BlockHeader header;
    if (read_block_header(bytes, kVersionBlockPosition, bytes.size(), header) &&
        header.block_type <= 0xFF) {
        const std::uint64_t payload = header.payload();
        if (header.content_type == kContentVersion) {
            if (!bytes_fit(bytes, payload + 20, 4)) return 0;
            return clamp_to_int(2 + std::uint64_t{read_u32le_checked(bytes, payload + 20)});
        }
        if (header.content_type == kContentOldVersion) {
            // A product name (u32 length, text), one u32, then the version.
            if (!bytes_fit(bytes, payload + 3, 4)) return 0;
            const std::uint64_t at = payload + 3 + read_u32le_checked(bytes, payload + 3) + 8;
            if (!bytes_fit(bytes, at, 4)) return 0;
            return clamp_to_int(read_u32le_checked(bytes, at));
        }
    }
    // Sessions without the block keep the number in one of three header bytes.
    if (bytes.size() <= 0x3A) return 0;
    if (const std::uint8_t v = read_u8_checked(bytes, 0x40); v != 0) return v;
    if (const std::uint8_t v = read_u8_checked(bytes, 0x3D); v != 0) return v;
    return bytes[0x3A] + 2;
}

bool is_known_version(int version) {
    return version >= 5 && version <= 12;
}

// 0 when the session has no rate block.
std::int64_t read_sample_rate(Bytes bytes, const std::vector<SessionBlockNode>& top) {
    const SessionBlockNode* block = find_block(top, kContentSampleRate);
    if (block == nullptr || block->payload_size < 8) return 0;
    return read_u32le_checked(bytes, block->payload_position + 4);
}

bool contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

bool is_audio_file_entry(std::string_view name, Bytes type, int version) {
    if (contains(name, ".grp") || contains(name, "Audio Files") || contains(name, "Fade Files")) {
        return false;
    }
    static constexpr std::array<std::string_view, 4> kAudioTypes = {"WAVE", "EVAW", "AIFF", "FFIA"};
    const std::string_view type_text(reinterpret_cast<const char*>(type.data()), type.size());
    for (std::string_view audio_type : kAudioTypes) {
        if (type_text == audio_type) return true;
    }
    return version >= 10 && type[0] == 0 && (contains(name, ".wav") || contains(name, ".aif"));
}

// Names from the 0x103A child, lengths from the 0x1001 blocks under the 0x1003 children, both in
// list order; at most as many files as the list block counts.
std::vector<PtfAudioFile> read_audio_files(Bytes bytes, const std::vector<SessionBlockNode>& top,
                                           int version) {
    std::vector<PtfAudioFile> files;
    const SessionBlockNode* list = find_block(top, kContentAudioFiles);
    if (list == nullptr || list->payload_size < 6) return files;
    const std::uint32_t count = read_u32le_checked(bytes, list->payload_position + 2);

    if (const SessionBlockNode* names = find_block(list->children, kContentAudioFileNames)) {
        const std::uint64_t end = names->payload_position + names->payload_size;
        std::uint64_t pos = names->payload_position + 11;
        // Each entry: u32 name length n, n name bytes, 4 bytes of file type, 5 further bytes.
        while (files.size() < count && pos + 4 <= end) {
            const std::uint64_t name_length = read_u32le_checked(bytes, pos);
            if (name_length + 8 > end - pos) break;
            const std::string_view name(reinterpret_cast<const char*>(bytes.data() + pos + 4),
                                        name_length);
            if (is_audio_file_entry(name, bytes.subspan(pos + 4 + name_length, 4), version)) {
                files.push_back({std::string(name), 0});
            }
            pos += 4 + name_length + 4 + 5;
        }
    }

    std::size_t next = 0;
    for (const SessionBlockNode& info : list->children) {
        if (info.content_type != kContentAudioFileInfo) continue;
        for (const SessionBlockNode& length : info.children) {
            if (length.content_type != kContentAudioFileLength) continue;
            if (next >= files.size()) return files;
            if (length.payload_size >= 16) {
                files[next].length = read_u64le_checked(bytes, length.payload_position + 8);
            }
            ++next;
        }
    }
    return files;
}

}  // namespace

bool ptf_xor_crypt(std::vector<std::uint8_t>& bytes) {
    if (bytes.size() < kClearHeaderSize) return false;
    const std::uint8_t scheme = bytes[kSchemePosition];
    const std::uint8_t seed = bytes[kSeedPosition];
    unsigned multiplier = 0;
    bool negate = false;
    int index_shift = 0;
    if (scheme == 0x01) {  // Pro Tools 5 to 9
        multiplier = 53;
    } else if (scheme == 0x05) {  // Pro Tools 10 and later
        multiplier = 11;
        negate = true;
        index_shift = 12;
    } else {
        return false;
    }
    // Both multipliers are odd, so exactly one step maps onto each seed.
    unsigned step = 0;
    while (step < 256 && (step * multiplier) % 256 != seed) ++step;
    if (negate) step = (256 - step) % 256;

    std::array<std::uint8_t, 256> key{};
    for (unsigned k = 0; k < 256; ++k) key[k] = static_cast<std::uint8_t>((k * step) % 256);
    // The key index changes once every 2^index_shift bytes: XOR each such run with one byte.
    // Through a plain pointer: a byte stored through the vector may alias the vector's own
    // members, which keeps the compiler from widening the loop.
    const std::size_t run = std::size_t{1} << index_shift;
    std::uint8_t* const data = bytes.data();
    const std::size_t size = bytes.size();
    for (std::size_t i = kClearHeaderSize; i < size;) {
        const std::uint8_t k = key[(i >> index_shift) & 0xFF];
        const std::size_t end = std::min(size, (i / run + 1) * run);
        for (; i < end; ++i) data[i] ^= k;
    }
    return true;
}

void PTFFormat::clear_read() {
    // Released, not only emptied: a second load must not hold two sessions at once.
    bytes_ = {};
    sample_rate_ = 0;
    version_ = 0;
    audio_files_.clear();
}

bool PTFFormat::decrypt(std::vector<std::uint8_t> file_bytes) {
    clear_read();
    if (!ptf_xor_crypt(file_bytes)) return false;
    bytes_ = std::move(file_bytes);
    return true;
}

bool PTFFormat::read_and_decrypt(const std::string& path) {
    clear_read();
    // A folder opens but reads nothing, so it fails like any other unreadable file.
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return false;
    // Read into a buffer of the file's size, then decrypted in place: the session is held once.
    // (A folder has no size to read and reads nothing.)
    std::vector<std::uint8_t> raw;
    std::error_code ec;
    const std::uintmax_t size = std::filesystem::file_size(native_path(path), ec);
    if (!ec && size > 0 && size <= raw.max_size()) {
        raw.resize(static_cast<std::size_t>(size));
        raw.resize(std::fread(raw.data(), 1, raw.size(), file));
    }
    // A file that grew since is read to its end all the same.
    std::uint8_t chunk[65536];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0)
        raw.insert(raw.end(), chunk, chunk + n);
    std::fclose(file);
    return decrypt(std::move(raw));
}

int PTFFormat::load(const std::string& path, std::int64_t target_rate) {
    target_rate_ = target_rate;
    if (!read_and_decrypt(path)) return -1;
    return read_decrypted();
}

int PTFFormat::load_from_memory(std::vector<std::uint8_t> file_bytes, std::int64_t target_rate) {
    target_rate_ = target_rate;
    if (!decrypt(std::move(file_bytes))) return -1;
    return read_decrypted();
}

int PTFFormat::read_decrypted() {
    if (!has_version_marker(bytes_)) return -2;
    version_ = read_version(bytes_);
    if (!is_known_version(version_) && !allow_unknown_version) return -3;
    // Old Macintosh sessions store every integer big-endian; nothing below could read them.
    if (bytes_[kByteOrderPosition] == 1) return -4;

    // Only the audio-file list needs its children; the rest of the top level is read shallow.
    std::vector<SessionBlockNode> top = parse_top_level_headers(bytes_.data(), bytes_.size());
    for (SessionBlockNode& node : top) {
        if (node.content_type != kContentAudioFiles) continue;
        parse_block_tree(bytes_.data(), bytes_.size(), node.payload_position - kBlockHeaderSize,
                         bytes_.size(), node);
        break;
    }
    sample_rate_ = read_sample_rate(bytes_, top);
    audio_files_ = read_audio_files(bytes_, top, version_);
    if (sample_rate_ < kLowestRate || sample_rate_ > kHighestRate) return -4;
    return 0;
}

int PTFFormat::unxor(const std::string& path) {
    if (!read_and_decrypt(path)) return -1;
    version_ = read_version(bytes_);
    return 0;
}
