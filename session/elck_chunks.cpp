#include "session/elck_chunks.h"

#include <bit>
#include <cstring>
#include <vector>

#include "util/bytes.h"

namespace {

constexpr std::size_t kFirstSection = 17;
constexpr std::size_t kSectionHeader = 56;
constexpr std::size_t kTagAt = 20;
constexpr std::size_t kChainSlack = 8;
constexpr std::size_t kMinBinaryPayload = 32;

struct Section {
    std::size_t position = 0;
    std::size_t length = 0;
    std::size_t payload() const { return position + kSectionHeader; }
    std::size_t end() const { return position + length; }
};

bool tag_is(SessionBytes bytes, std::size_t pos, const char* tag) {
    return bytes_fit(bytes, pos, 4) && std::memcmp(bytes.data() + pos, tag, 4) == 0;
}

// The sections of a whole chain, or none.
std::vector<Section> read_chain(SessionBytes bytes, std::size_t container, std::size_t end) {
    std::vector<Section> sections;
    if (end > bytes.size() || container > end) return sections;
    std::size_t at = container + kFirstSection;
    while (at <= end && end - at >= kSectionHeader) {
        const std::size_t length = read_u32be_checked(bytes, at);
        if (length < kSectionHeader || length > end - at) return {};
        sections.push_back({at, length});
        at += length;
    }
    if (at > end || end - at > kChainSlack) return {};
    return sections;
}

bool all_printable(SessionBytes bytes, std::size_t from, std::size_t to) {
    for (std::size_t i = from; i < to; ++i) {
        if (!is_printable_byte(bytes[i])) return false;
    }
    return true;
}

}  // namespace

bool printable_then_zeros(SessionBytes bytes, std::size_t from, std::size_t to) {
    if (to > bytes.size() || from >= to || !is_printable_byte(bytes[from])) return false;
    std::size_t i = from;
    while (i < to && is_printable_byte(bytes[i])) ++i;
    for (; i < to; ++i) {
        if (bytes[i] != 0) return false;
    }
    return true;
}

bool read_elck_chunks(SessionBytes bytes, std::size_t container, std::size_t end,
                      std::map<std::string, double>& out) {
    const std::vector<Section> sections = read_chain(bytes, container, end);
    if (sections.empty()) return false;
    const Section& first = sections.front();
    if (!tag_is(bytes, first.position + kTagAt, "elck") || first.length < kSectionHeader + 12) {
        return false;
    }
    bool any = false;
    const std::size_t stop = first.end();
    std::size_t at = first.payload() + 4;
    while (stop - at >= 8) {
        const char prefix = static_cast<char>(bytes[at]);
        if ((prefix != 'd' && prefix != 'l') || bytes[at + 1] != '_') break;
        const void* zero = std::memchr(bytes.data() + at, 0, stop - at);
        if (zero == nullptr) break;
        const std::size_t name_end =
            static_cast<std::size_t>(static_cast<const std::uint8_t*>(zero) - bytes.data());
        const std::string name(reinterpret_cast<const char*>(bytes.data() + at + 2),
                               name_end - at - 2);
        // The name and its terminator are padded to a multiple of 4.
        const std::size_t value_at = at + ((name_end + 1 - at + 3) / 4) * 4;
        const std::size_t width = prefix == 'd' ? 8 : 4;
        if (value_at > stop || stop - value_at < width) break;
        double value;
        if (prefix == 'd') {
            value = std::bit_cast<double>(read_u64be_checked(bytes, value_at));
        } else {
            value = static_cast<std::int32_t>(read_u32be_checked(bytes, value_at));
        }
        out[name] = value;
        any = true;
        at = value_at + width;
    }
    return any;
}

bool find_elck_chunk(SessionBytes bytes, std::size_t container, std::size_t end,
                     std::uint64_t& offset, std::uint32_t& length, std::uint32_t& count) {
    if (end > bytes.size() || container > end || end - container < 73) return false;
    if (!tag_is(bytes, container + 37, "elck")) return false;
    const std::vector<Section> sections = read_chain(bytes, container, end);
    std::uint32_t found = 0;
    for (std::size_t i = 1; i < sections.size(); ++i) {
        const Section& s = sections[i];
        if (tag_is(bytes, s.position + kTagAt, "elck")) continue;
        if (s.length - kSectionHeader < kMinBinaryPayload) continue;
        if (all_printable(bytes, s.payload(), s.end())) continue;
        if (printable_then_zeros(bytes, s.payload(), s.end())) continue;
        if (found == 0) {
            offset = s.payload();
            length = static_cast<std::uint32_t>(s.length - kSectionHeader);
        }
        ++found;
    }
    count = found;
    return found > 0;
}
