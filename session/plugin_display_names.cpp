#include "session/plugin_display_names.h"

#include "session/scan.h"
#include "util/bytes.h"

namespace {

constexpr std::uint16_t kDisplayNameType = 0x1017;
constexpr std::uint32_t kMinSize = 14;
constexpr std::uint32_t kMaxSize = 4000;
constexpr std::uint32_t kMaxName = 60;
constexpr std::size_t kCodesLength = 8;

// The name whose length stands at `at` with its 8 code bytes inside the block, and the id.
bool read_entry(SessionBytes bytes, std::size_t at, std::size_t end, std::string_view& name,
                std::string& id) {
    if (!read_text_at(bytes, at, end, 1, kMaxName, TextBytes::name, name)) return false;
    const std::size_t codes = at + 4 + name.size();
    if (end - codes < kCodesLength) return false;
    id.clear();
    for (std::size_t half = 0; half < kCodesLength; half += 4) {
        for (std::size_t i = 4; i > 0; --i) {
            const std::uint8_t byte = bytes[codes + half + i - 1];
            if (!is_printable_byte(byte)) return false;
            id.push_back(static_cast<char>(byte));
        }
    }
    return true;
}

}  // namespace

void read_plugin_display_names(const std::uint8_t* data, std::size_t length,
                               std::map<std::string, std::string>& out) {
    const SessionBytes bytes = session_bytes(data, length);
    scan_blocks(bytes, kDisplayNameType, length, [&](const BlockHeader& block) {
        if (block.size < kMinSize || block.size > kMaxSize || !block_fits(bytes, block)) {
            return false;
        }
        const std::size_t end = block.end();
        std::string_view name;
        std::string id;
        if (read_entry(bytes, block.position + 10, end, name, id) ||
            read_entry(bytes, block.position + 11, end, name, id)) {
            out.emplace(id, std::string(name));
        }
        return false;
    });
}
