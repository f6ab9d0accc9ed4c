#include "melodyne/archive_queries.h"

#include <algorithm>
#include <unordered_set>

#include "util/bytes.h"

namespace {

constexpr std::uint8_t kRefType = '^';
constexpr std::uint8_t kIntType = 'i';
constexpr std::uint64_t kInlineEntrySize = 13;
// n, the 8 bytes after the inline entries, a, b and c.
constexpr std::uint64_t kListFixedBytes = 20;

std::uint32_t u32_at(std::string_view bytes, std::uint64_t pos) {
    return read_u32le(reinterpret_cast<const std::uint8_t*>(bytes.data()), pos);
}

// Past this offset no field can lie in any field data (a record is under 4 GiB).
constexpr std::uint64_t kBeyondAnyData = std::uint64_t{1} << 40;

const ArchiveClassLayout* layout_of(const ArchiveLayout& layout, const ArchiveObject& object) {
    return object.class_index < layout.size() ? &layout[object.class_index] : nullptr;
}

// The named field's first element, when it has this type, holds 4 bytes and fits the data.
bool first_element(const MelodyneArchive& archive, const ArchiveLayout& layout, std::uint32_t id,
                   std::string_view name, std::uint8_t type, std::uint32_t& value) {
    const ArchiveObject* object = archive_object(archive, id);
    const ArchiveClassLayout* cls = object ? layout_of(layout, *object) : nullptr;
    if (!cls) return false;
    const auto it = cls->by_name.find(name);
    if (it == cls->by_name.end()) return false;
    const ArchiveAttr& field = *it->second.field;
    const std::uint64_t offset = it->second.offset;
    if (field.type != type || field.count == 0 || field.size < 4 ||
        offset + field.size > object->field_data.size()) {
        return false;
    }
    value = u32_at(object->field_data, offset);
    return true;
}

// The layout of the object's own class only, for one question.
ArchiveLayout single_class_layout(const MelodyneArchive& archive, const ArchiveObject* object) {
    ArchiveLayout layout;
    if (!object || object->class_index >= archive.classes.size()) return layout;
    layout.resize(object->class_index + 1);
    layout[object->class_index] = archive_class_layout(archive.classes[object->class_index]);
    return layout;
}

bool is_list_class(std::string_view name) {
    return name == "GNList";
}

bool has_inline_keys(std::string_view name) {
    return name == "GNList" || name == "GNString" || name == "GNData";
}

}  // namespace

const ArchiveObject* archive_object(const MelodyneArchive& archive, std::uint32_t id) {
    const auto it = archive.index.find(id);
    if (it == archive.index.end() || it->second >= archive.objects.size()) return nullptr;
    return &archive.objects[it->second];
}

std::string_view archive_class_name(const MelodyneArchive& archive, const ArchiveObject& object) {
    if (object.class_index >= archive.classes.size()) return {};
    return archive.classes[object.class_index].name;
}

ArchiveClassLayout archive_class_layout(const ArchiveClass& cls) {
    ArchiveClassLayout layout;
    std::uint64_t offset = 0;
    for (const ArchiveAttr& field : cls.fields) {
        if (offset >= kBeyondAnyData) break;  // this field and the later ones never fit
        layout.by_name.emplace(field.name, ArchiveFieldPlace{offset, &field});
        if (field.type == kRefType && field.size >= 4 && field.count > 0) {
            layout.refs.push_back({offset, &field});
        }
        offset += std::uint64_t{field.count} * field.size;
    }
    return layout;
}

ArchiveLayout archive_layout(const MelodyneArchive& archive) {
    ArchiveLayout layout;
    layout.reserve(archive.classes.size());
    for (const ArchiveClass& cls : archive.classes) layout.push_back(archive_class_layout(cls));
    return layout;
}

std::vector<std::uint64_t> archive_ref_offsets(const ArchiveLayout& layout,
                                               const ArchiveObject& object) {
    std::vector<std::uint64_t> offsets;
    const ArchiveClassLayout* cls = layout_of(layout, object);
    if (!cls) return offsets;
    const std::string_view data = object.field_data;
    const std::uint64_t length = data.size();
    // Offsets ascend by at least 4 from one reference field to the next, and the loops stop at
    // the end of the data, so the work follows the data's length, not the declared counts.
    for (const ArchiveFieldPlace& place : cls->refs) {
        if (place.offset >= length) break;
        const std::uint64_t size = place.field->size;
        for (std::uint64_t k = 0, at = place.offset; k < place.field->count && size <= length - at;
             ++k, at += size) {
            const bool null =
                u32_at(data, at) == kNoArchiveId && (size < 8 || u32_at(data, at + 4) == 0);
            if (!null) offsets.push_back(at);
        }
    }
    return offsets;
}

std::vector<std::uint64_t> archive_ref_offsets(const MelodyneArchive& archive,
                                               const ArchiveObject& object) {
    return archive_ref_offsets(single_class_layout(archive, &object), object);
}

std::uint32_t archive_read_ref_field(const MelodyneArchive& archive, const ArchiveLayout& layout,
                                     std::uint32_t id, std::string_view field) {
    std::uint32_t value = kNoArchiveId;
    return first_element(archive, layout, id, field, kRefType, value) ? value : kNoArchiveId;
}

std::uint32_t archive_read_ref_field(const MelodyneArchive& archive, std::uint32_t id,
                                     std::string_view field) {
    return archive_read_ref_field(
        archive, single_class_layout(archive, archive_object(archive, id)), id, field);
}

std::int32_t archive_read_int_field(const MelodyneArchive& archive, const ArchiveLayout& layout,
                                    std::uint32_t id, std::string_view field) {
    std::uint32_t value = 0;
    if (!first_element(archive, layout, id, field, kIntType, value)) return -1;
    return static_cast<std::int32_t>(value);
}

std::int32_t archive_read_int_field(const MelodyneArchive& archive, std::uint32_t id,
                                    std::string_view field) {
    return archive_read_int_field(
        archive, single_class_layout(archive, archive_object(archive, id)), id, field);
}

bool archive_list_bounds(std::string_view tail, std::uint64_t& head_end, std::uint64_t& payload_end,
                         std::uint32_t& count) {
    const std::uint64_t size = tail.size();
    if (size < 4) return false;
    const std::uint64_t entries = u32_at(tail, 0);
    if (entries == 0) return false;
    const std::uint64_t inline_bytes = (entries - 1) * kInlineEntrySize;
    if (size < inline_bytes + kListFixedBytes) return false;
    const std::uint64_t a_pos = 4 + inline_bytes + 8;
    const std::uint32_t a = u32_at(tail, a_pos);
    const std::uint32_t b = u32_at(tail, a_pos + 4);
    if (b < a) return false;
    const std::uint64_t c_pos = a_pos + 8 + (b - a);
    if (c_pos > size || size - c_pos < 4) return false;
    const std::uint32_t c = u32_at(tail, c_pos);
    if (size - c_pos - 4 < std::uint64_t{c} * 4) return false;
    head_end = a_pos;
    payload_end = c_pos;
    count = c;
    return true;
}

std::vector<std::uint32_t> archive_list_elements(const MelodyneArchive& archive, std::uint32_t id) {
    std::vector<std::uint32_t> ids;
    const ArchiveObject* object = archive_object(archive, id);
    std::uint64_t head_end = 0, payload_end = 0;
    std::uint32_t count = 0;
    if (!object || !archive_list_bounds(object->tail, head_end, payload_end, count)) return ids;
    ids.reserve(count);  // the bounds check holds 4 bytes per element
    for (std::uint64_t k = 0; k < count; ++k)
        ids.push_back(u32_at(object->tail, payload_end + 4 + 4 * k));
    return ids;
}

void archive_set_list_elements(ArchiveObject& object, std::span<const std::uint32_t> ids) {
    std::uint64_t head_end = 0, payload_end = 0;
    std::uint32_t count = 0;
    const std::string_view tail = object.tail;
    if (!archive_list_bounds(tail, head_end, payload_end, count)) return;
    const std::uint64_t payload_length = payload_end - head_end - 8;
    const std::uint64_t a = 4 + 4 * std::uint64_t{ids.size()};
    std::string out(tail.substr(0, head_end));
    append_u32le(out, static_cast<std::uint32_t>(a));
    append_u32le(out, static_cast<std::uint32_t>(a + payload_length));
    out.append(tail.substr(head_end + 8, payload_length));
    append_u32le(out, static_cast<std::uint32_t>(ids.size()));
    for (std::uint32_t id : ids) append_u32le(out, id);
    object.tail = std::move(out);
}

std::vector<std::uint32_t> archive_direct_refs(const MelodyneArchive& archive,
                                               const ArchiveLayout& layout, std::uint32_t id) {
    std::vector<std::uint32_t> refs;
    const ArchiveObject* object = archive_object(archive, id);
    if (!object) return refs;
    for (std::uint64_t at : archive_ref_offsets(layout, *object)) {
        refs.push_back(u32_at(object->field_data, at));
    }
    if (is_list_class(archive_class_name(archive, *object))) {
        for (std::uint32_t element : archive_list_elements(archive, id)) {
            if (element != kNoArchiveId) refs.push_back(element);
        }
    }
    return refs;
}

std::vector<std::uint32_t> archive_direct_refs(const MelodyneArchive& archive, std::uint32_t id) {
    return archive_direct_refs(archive, single_class_layout(archive, archive_object(archive, id)),
                               id);
}

std::vector<std::uint32_t> archive_collect_reachable(const MelodyneArchive& archive,
                                                     std::uint32_t root) {
    std::vector<std::uint32_t> order;
    std::unordered_set<std::uint32_t> seen;
    std::vector<std::uint32_t> stack{root};
    const ArchiveLayout layout = archive_layout(archive);
    while (!stack.empty()) {
        const std::uint32_t id = stack.back();
        stack.pop_back();
        if (!seen.insert(id).second) continue;
        order.push_back(id);
        // Each object's references are pushed once, on its first visit: the stack stays within
        // the archive's size.
        const std::vector<std::uint32_t> refs = archive_direct_refs(archive, layout, id);
        stack.insert(stack.end(), refs.rbegin(), refs.rend());
    }
    return order;
}

bool archive_inline_key_offsets(const MelodyneArchive& archive, const ArchiveObject& object,
                                std::vector<std::uint64_t>& offsets) {
    offsets.clear();
    const std::string_view tail = object.tail;
    if (!has_inline_keys(archive_class_name(archive, object)) || tail.size() < 4) return true;
    const std::uint64_t entries = u32_at(tail, 0);
    if (entries < 2) return true;
    if (tail.size() < 4 + (entries - 1) * kInlineEntrySize) return false;
    for (std::uint64_t k = 0, at = 4; k + 1 < entries; ++k, at += kInlineEntrySize) {
        if (u32_at(tail, at) >= archive.strings.size()) return false;
        offsets.push_back(at);
    }
    return true;
}

bool read_string_blob(std::string_view blob, std::string& text) {
    if (blob.size() < 20) return false;
    const std::uint32_t size = u32_at(blob, 12);
    if (size == 0 || u32_at(blob, 16) != size || 20 + std::uint64_t{size} != blob.size()) {
        return false;
    }
    text.assign(blob.substr(20, size - 1));
    return true;
}

std::string make_string_blob(std::string_view old_blob, std::string_view text) {
    std::string blob(old_blob.substr(0, 12));
    blob.resize(12, '\0');
    const auto size = static_cast<std::uint32_t>(text.size() + 1);
    append_u32le(blob, size);
    append_u32le(blob, size);
    blob.append(text);
    blob += '\0';
    return blob;
}
