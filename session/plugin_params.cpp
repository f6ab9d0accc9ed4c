#include "session/plugin_params.h"

#include <algorithm>
#include <cstring>
#include <functional>

#include "session/scan.h"
#include "util/bytes.h"

namespace {

constexpr std::uint16_t kContainerType = 0x480C;
constexpr std::uint16_t kGroupType = 0x4807;
constexpr std::uint16_t kEntryType = 0x480B;
constexpr std::uint16_t kValueType = 0x480A;
constexpr std::uint16_t kClipTieType = 0x2629;
constexpr std::uint16_t kClipNameType = 0x2628;
constexpr std::uint32_t kMaxText = 1024;
constexpr std::uint32_t kMaxClipName = 399;
constexpr std::size_t kIdLength = 16;

using Id = std::array<std::uint8_t, kIdLength>;

Id id_at(SessionBytes bytes, std::size_t pos) {
    Id id{};
    if (bytes_fit(bytes, pos, kIdLength)) std::memcpy(id.data(), bytes.data() + pos, kIdLength);
    return id;
}

std::string text_at(SessionBytes bytes, std::size_t pos, std::size_t end) {
    std::string_view text;
    if (!read_text_at(bytes, pos, end, 1, kMaxText, TextBytes::any, text)) return {};
    return std::string(text);
}

// Calls visit(block) for every fitting block of `content_type` that starts past `outer`'s header
// and ends inside it; positions stay those of the whole session.
template <typename Visit>
void for_each_inside(SessionBytes bytes, const BlockHeader& outer, std::uint16_t content_type,
                     Visit&& visit) {
    const std::size_t from = outer.position + kFirstChildOffset;
    const std::size_t end = readable_end(bytes, outer);
    if (from >= end) return;
    const SessionBytes inside = bytes.subspan(from, end - from);
    scan_blocks(inside, content_type, inside.size(), [&](BlockHeader block) {
        if (!block_fits(inside, block)) return false;
        block.position += from;
        return visit(block);
    });
}

// The first length-prefixed text of 1..1024 bytes beginning "ds_" in [from, end).
std::string document_text(SessionBytes bytes, std::size_t from, std::size_t end) {
    static const std::boyer_moore_horspool_searcher<const char*> ds("ds_", "ds_" + 3);
    const char* base = reinterpret_cast<const char*>(bytes.data());
    for (const char* hit = std::search(base + from, base + end, ds); hit != base + end;
         hit = std::search(hit + 1, base + end, ds)) {
        const auto at = static_cast<std::size_t>(hit - base);
        std::string_view text;
        if (at >= from + 4 && read_text_at(bytes, at - 4, end, 1, kMaxText, TextBytes::any, text)) {
            return std::string(text);
        }
    }
    return {};
}

// Records still without a document text, by container name.
using PendingDocuments = std::map<std::string, std::vector<std::size_t>>;

void read_container(SessionBytes bytes, const BlockHeader& container,
                    std::vector<PluginParamRecord>& records, PendingDocuments& pending) {
    const std::size_t end = container.end();
    std::string_view name_view;
    if (!read_text_at(bytes, container.position + 9, end, 1, kMaxText, TextBytes::any, name_view)) {
        return;
    }
    const std::string name(name_view);
    std::string group;
    for_each_inside(bytes, container, kGroupType, [&](const BlockHeader& block) {
        group = text_at(bytes, block.position + 21, end);
        return true;
    });
    for_each_inside(bytes, container, kEntryType, [&](const BlockHeader& entry) {
        const std::string entry_name = text_at(bytes, entry.position + 25, entry.end());
        const Id entry_id = id_at(bytes, entry.position + 9);
        for_each_inside(bytes, entry, kValueType, [&](const BlockHeader& value) {
            PluginParamRecord record;
            record.group_text = group;
            record.container_name = name;
            record.entry_name = entry_name;
            record.value_name = text_at(bytes, value.position + 25, value.end());
            record.entry_id = entry_id;
            record.value_id = id_at(bytes, value.position + 9);
            pending[name].push_back(records.size());
            records.push_back(std::move(record));
            return false;
        });
        return false;
    });
    const std::string document = document_text(bytes, container.position + 13 + name.size(), end);
    if (document.empty()) return;
    const auto waiting = pending.find(name);
    if (waiting == pending.end()) return;
    for (std::size_t i : waiting->second) records[i].document_text = document;
    pending.erase(waiting);
}

void read_clip_ties(SessionBytes bytes, const std::vector<PluginParamRecord>& records,
                    std::map<std::string, std::size_t>& clip_records) {
    std::map<Id, std::size_t> first_record;
    for (std::size_t i = 0; i < records.size(); ++i) first_record.emplace(records[i].value_id, i);
    if (first_record.empty()) return;
    scan_blocks(bytes, kClipTieType, bytes.size(), [&](const BlockHeader& tie) {
        if (tie.size < 24 || !block_fits(bytes, tie)) return false;
        BlockHeader name_block;
        if (!match_block(bytes, tie.position + 9, kClipNameType, name_block)) return false;
        std::string_view name;
        if (!read_text_at(bytes, tie.position + 18, tie.end(), 1, kMaxClipName, TextBytes::any,
                          name)) {
            return false;
        }
        std::size_t found = records.size();
        const std::size_t end = tie.end();
        for (std::size_t at = tie.position + 22 + name.size(); at + kIdLength <= end; ++at) {
            const auto it = first_record.find(id_at(bytes, at));
            if (it != first_record.end()) found = std::min(found, it->second);
        }
        if (found < records.size()) clip_records.emplace(std::string(name), found);
        return false;
    });
}

}  // namespace

void read_plugin_params(const std::uint8_t* data, std::size_t length,
                        std::vector<PluginParamRecord>& records,
                        std::map<std::string, std::size_t>& clip_records) {
    const SessionBytes bytes = session_bytes(data, length);
    PendingDocuments pending;
    scan_blocks(bytes, kContainerType, length, [&](const BlockHeader& container) {
        if (container.size >= 2 && block_fits(bytes, container)) {
            read_container(bytes, container, records, pending);
        }
        return false;
    });
    read_clip_ties(bytes, records, clip_records);
}
