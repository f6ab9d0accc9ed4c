#include "session/settings_payload.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <functional>
#include <string_view>

#include "session/elck_chunks.h"
#include "util/bytes.h"

namespace {

constexpr std::uint32_t kKind1FabFilter = 1;
constexpr std::uint32_t kKind2Tagged = 2;
constexpr std::uint32_t kKind3Xml = 3;
constexpr std::uint32_t kKind4Hxmc = 4;
constexpr std::uint32_t kKind5Fields = 5;
constexpr std::uint32_t kKind6Meta = 6;
constexpr std::uint32_t kKind7Tagged = 7;
constexpr std::uint32_t kKind8Zlib = 8;
constexpr std::uint32_t kKind9Waves = 9;
constexpr std::uint32_t kKind10Braces = 10;
constexpr std::uint32_t kKind11Archive = 11;
constexpr std::uint32_t kKind12Kontakt = 12;

constexpr std::uint32_t kTaggedChunkWord = 0x0085988D;
constexpr std::string_view kArchiveTag = "22 serialization::archive";
constexpr std::string_view kWavesTree = "<PresetChunkXMLTree";
constexpr std::size_t kLastFieldStart = 81;
constexpr std::size_t kMaxProductText = 60;

using Searcher = std::boyer_moore_horspool_searcher<const char*>;

// The first occurrence of the searcher's pattern in [from, to), or `to`.
std::size_t find_pattern(SessionBytes bytes, std::size_t from, std::size_t to,
                         const Searcher& searcher) {
    if (from >= to) return to;
    const char* base = reinterpret_cast<const char*>(bytes.data());
    const char* hit = std::search(base + from, base + to, searcher);
    return static_cast<std::size_t>(hit - base);
}

Searcher make_searcher(std::string_view pattern) {
    return Searcher(pattern.data(), pattern.data() + pattern.size());
}

bool text_at(SessionBytes bytes, std::size_t pos, std::size_t end, std::string_view tag) {
    return pos <= end && end - pos >= tag.size() &&
           std::memcmp(bytes.data() + pos, tag.data(), tag.size()) == 0;
}

bool is_zlib_header(SessionBytes bytes, std::size_t pos, std::size_t end) {
    if (pos >= end || end - pos < 2 || bytes[pos] != 'x') return false;
    const std::uint8_t level = bytes[pos + 1];
    return level == 0x01 || level == 0x5E || level == 0x9C || level == 0xDA;
}

void set_payload(SessionPluginInstance& record, std::uint32_t kind, std::size_t offset,
                 std::uint64_t length) {
    record.payload_kind = kind;
    record.payload_offset = offset;
    record.payload_length = static_cast<std::uint32_t>(length);
}

// The text of the element `name`: between its opening tag and the next closing tag of that
// name; empty when either is missing.
std::string element_text(std::string_view xml, std::string_view name) {
    const std::string open = "<" + std::string(name);
    std::size_t at = 0;
    while ((at = xml.find(open, at)) != std::string_view::npos) {
        const std::size_t after = at + open.size();
        if (after < xml.size() && (xml[after] == '>' || xml[after] == ' ')) break;
        at = after;
    }
    if (at == std::string_view::npos) return {};
    const std::size_t text = xml.find('>', at);
    if (text == std::string_view::npos) return {};
    const std::size_t close = xml.find("</" + std::string(name) + ">", text + 1);
    if (close == std::string_view::npos) return {};
    return std::string(xml.substr(text + 1, close - text - 1));
}

void read_waves_elements(SessionBytes bytes, SessionPluginInstance& record) {
    const std::string_view xml(reinterpret_cast<const char*>(bytes.data() + record.payload_offset),
                               record.payload_length);
    record.subcomponent_code = element_text(xml, "PluginSubComp");
    record.plugin_name = element_text(xml, "PluginName");
    const std::string setup = element_text(xml, "ActiveSetup");
    if (setup.size() == 7 && setup.compare(0, 6, "SETUP_") == 0 && setup[6] >= 'A' &&
        setup[6] <= 'Z') {
        record.active_setup = "set" + setup.substr(6);
    }
}

// What one position of the scan decided.
enum class Scan { go_on, found, stop };

struct PayloadScan {
    SessionBytes bytes;
    SessionPluginInstance& record;
    std::size_t block = 0;
    std::size_t end = 0;  // settings end
    std::size_t next_tree = 0;

    // Records a span, or ends the scan at kind 0 when it does not lie inside the settings area.
    Scan take(std::uint32_t kind, std::size_t offset, std::uint64_t length) {
        if (offset > end || length > end - offset) return Scan::stop;
        set_payload(record, kind, offset, length);
        return Scan::found;
    }

    Scan fabfilter(std::size_t q) {
        static const Searcher ffex = make_searcher("FFEx");
        std::size_t last = end;
        for (std::size_t at = find_pattern(bytes, q, end, ffex); at < end;
             at = find_pattern(bytes, at + 1, end, ffex)) {
            last = at;
        }
        if (last < end && end - last >= 12) return take(kKind1FabFilter, q, last + 12 - q);
        return take(kKind1FabFilter, q, end - q);
    }

    Scan tagged_vc2(std::size_t q) {
        const std::uint64_t length = std::uint64_t{read_u32le_checked(bytes, q + 4)} + 9;
        return take(kKind2Tagged, q, std::min<std::uint64_t>(length, end - q));
    }

    Scan xml(std::size_t q) {
        std::size_t last = end;
        while (last > q && bytes[last - 1] == 0) --last;
        // The zero byte after the text is kept when it lies inside the settings area.
        return take(kKind3Xml, q, last - q + (last < end ? 1 : 0));
    }

    Scan zlib(std::size_t q) {
        if (q < 16) return Scan::stop;
        const std::uint32_t stored = read_u32le_checked(bytes, q - 8);
        const std::uint32_t unpacked = read_u32le_checked(bytes, q - 4);
        if (stored < 12 || unpacked < 64) return Scan::stop;
        const Scan result = take(kKind8Zlib, q, stored - 4);
        if (result == Scan::found) {
            for (std::size_t i = 0; i < 4; ++i) {
                record.zlib_words[i] = read_u32le_checked(bytes, q - 16 + 4 * i);
            }
        }
        return result;
    }

    Scan archive(std::size_t q) {
        if (q - block < 4) return Scan::go_on;
        const std::uint32_t length = read_u32le_checked(bytes, q - 4);
        if (length < 64) return Scan::go_on;
        // The second archive (after its own u32 length) must stand inside the settings area too.
        const std::uint64_t second = std::uint64_t{q} + length + 4;
        if (second > end || !text_at(bytes, second, end, kArchiveTag)) return Scan::go_on;
        return take(kKind11Archive, q, length);
    }

    Scan waves(std::size_t q) {
        static const Searcher tree = make_searcher(kWavesTree);
        if (q - block < 20) return Scan::go_on;
        const std::uint32_t stored_end = read_u32be_checked(bytes, q - 20);
        if (stored_end < 24) return Scan::go_on;
        const std::uint64_t span_end = std::uint64_t{q} + stored_end - 20;
        const std::size_t search_end = span_end < end ? static_cast<std::size_t>(span_end) : end;
        // The next tree at or after q + 4, found once for every later "XPst" to reuse.
        if (next_tree < q + 4) next_tree = find_pattern(bytes, q + 4, end, tree);
        if (next_tree >= end || next_tree + kWavesTree.size() > search_end) return Scan::go_on;
        if (span_end > end) return Scan::stop;
        set_payload(record, kKind9Waves, next_tree, span_end - next_tree);
        read_waves_elements(bytes, record);
        if (record.subcomponent_code.size() != 4) {
            set_payload(record, 0, 0, 0);
            return Scan::stop;
        }
        return Scan::found;
    }

    Scan kontakt(std::size_t q) {
        if (q - block < 12) return Scan::go_on;
        const std::uint32_t length = read_u32le_checked(bytes, q - 12);
        if (length <= 75 || read_u32le_checked(bytes, q - 8) != 0 ||
            read_u32le_checked(bytes, q - 4) != 1) {
            return Scan::go_on;
        }
        return take(kKind12Kontakt, q, length - 12);
    }

    Scan at(std::size_t q) {
        if (text_at(bytes, q, end, "FFBS")) return fabfilter(q);
        if (text_at(bytes, q, end, "VC2!")) return tagged_vc2(q);
        if (text_at(bytes, q, end, "/*@Meta")) return take(kKind6Meta, q, end - q);
        if (text_at(bytes, q, end, "{\n\tindex = ")) {
            std::size_t close = 0;
            if (!find_brace_close(bytes, q, end, close)) return Scan::stop;
            return take(kKind10Braces, q, close + 1 - q);
        }
        if (end - q >= 4 && read_u32le_checked(bytes, q) == kTaggedChunkWord) {
            if (end - q < 12) return Scan::stop;
            return take(kKind7Tagged, q, std::uint64_t{read_u32le_checked(bytes, q + 8)} + 12);
        }
        if (q >= block + 7 && is_zlib_header(bytes, q, end)) return zlib(q);
        if (text_at(bytes, q, end, "hsin")) return Scan::go_on;
        if (text_at(bytes, q, end, kArchiveTag)) {
            const Scan result = archive(q);
            if (result != Scan::go_on) return result;
        }
        if (text_at(bytes, q, end, "HXMC")) return take(kKind4Hxmc, q + 4, end - q - 4);
        if (text_at(bytes, q, end, "<?xml")) return xml(q);
        if (text_at(bytes, q, end, "XPst")) {
            const Scan result = waves(q);
            if (result != Scan::go_on) return result;
        }
        return kontakt(q);
    }
};

// The first position of [from, end) holding "d_" or "l_", or `end`.
std::size_t first_field(SessionBytes bytes, std::size_t from, std::size_t end) {
    for (std::size_t at = from + 1; at < end;) {
        const void* hit = std::memchr(bytes.data() + at, '_', end - at);
        if (hit == nullptr) return end;
        at = static_cast<std::size_t>(static_cast<const std::uint8_t*>(hit) - bytes.data());
        if (bytes[at - 1] == 'd' || bytes[at - 1] == 'l') return at - 1;
        ++at;
    }
    return end;
}

void read_parameter_fields(SessionBytes bytes, SessionPluginInstance& record) {
    const std::size_t block = record.block_pos;
    const std::size_t end = record.settings_end;
    const std::size_t start = first_field(bytes, block, end);
    if (start >= end || start - block > kLastFieldStart) return;
    std::vector<float> best;
    std::vector<float> run;
    for (std::size_t width : {4, 8, 12, 16}) {
        read_chunk_d_fields(bytes, start, end, width, run);
        if (run.size() > best.size()) best.swap(run);
    }
    if (best.empty()) return;
    record.payload_kind = kKind5Fields;
    record.payload_offset = start;
    record.values = std::move(best);

    std::uint64_t offset = 0;
    std::uint32_t length = 0;
    std::uint32_t count = 0;
    if (find_elck_chunk(bytes, block, end, offset, length, count)) {
        record.elck_offset = offset;
        record.elck_length = length;
        record.elck_binary_sections = count;
        record.source_tag = "AAX chunk after elck";
        record.elck_found = 1;
    }
}

// The second printable run after the first "FFPr" or "ikdt" tag: past the first two zero bytes
// in a row and the zeros after them.
void read_product_text(SessionBytes bytes, SessionPluginInstance& record) {
    static const Searcher ffpr = make_searcher("FFPr");
    static const Searcher ikdt = make_searcher("ikdt");
    const std::size_t end = record.settings_end;
    if (end < record.block_pos + 16) return;
    const std::size_t last = end - 16 + 4;  // a tag may start at end - 16
    const std::size_t tag = std::min(find_pattern(bytes, record.block_pos, last, ffpr),
                                     find_pattern(bytes, record.block_pos, last, ikdt));
    if (tag >= last) return;
    std::size_t at = tag + 4;
    while (at + 1 < end && !(bytes[at] == 0 && bytes[at + 1] == 0)) ++at;
    while (at < end && bytes[at] == 0) ++at;
    std::size_t run = at;
    while (run < end && run - at < kMaxProductText && is_printable_byte(bytes[run])) ++run;
    if (run - at >= 2) {
        record.product_text.assign(reinterpret_cast<const char*>(bytes.data() + at), run - at);
    }
}

}  // namespace

bool is_text_byte(std::uint8_t byte) {
    return is_printable_byte(byte) || byte == '\t' || byte == '\n' || byte == '\r';
}

bool find_brace_close(SessionBytes bytes, std::size_t open, std::size_t end, std::size_t& close) {
    if (end > bytes.size()) end = bytes.size();
    std::size_t depth = 0;
    bool quoted = false;
    for (std::size_t i = open; i < end; ++i) {
        const std::uint8_t c = bytes[i];
        if (c == '\\') {
            ++i;
        } else if (c == '"') {
            quoted = !quoted;
        } else if (!quoted && c == '{') {
            ++depth;
        } else if (!quoted && c == '}' && depth > 0 && --depth == 0) {
            close = i;
            return true;
        }
    }
    return false;
}

void read_chunk_d_fields(SessionBytes bytes, std::size_t pos, std::size_t end, std::size_t width,
                         std::vector<float>& out) {
    out.clear();
    if (end > bytes.size()) end = bytes.size();
    while (pos < end && end - pos >= 2 && bytes[pos + 1] == '_') {
        const bool is_double = bytes[pos] == 'd';
        if (!is_double && bytes[pos] != 'l') break;
        const std::size_t value_size = is_double ? 8 : 4;
        if (end - pos < width + value_size) break;
        if (is_double) {
            const double value = std::bit_cast<double>(read_u64be_checked(bytes, pos + width));
            if (!(value > -1e30 && value < 1e30)) break;
            out.push_back(static_cast<float>(value));
        } else {
            const auto value = static_cast<std::int32_t>(read_u32be_checked(bytes, pos + width));
            out.push_back(static_cast<float>(value));
        }
        pos += width + value_size;
    }
}

void scan_settings_payload(SessionBytes bytes, SessionPluginInstance& record) {
    PayloadScan scan{bytes, record, static_cast<std::size_t>(record.block_pos),
                     static_cast<std::size_t>(record.settings_end)};
    for (std::size_t q = scan.block; q < scan.end && scan.end - q >= 5; ++q) {
        if (scan.at(q) != Scan::go_on) break;
    }
    if (record.payload_kind == 0) read_parameter_fields(bytes, record);
    read_product_text(bytes, record);
}
