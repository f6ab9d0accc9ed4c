#include "melodyne/archive_format.h"

#include <cstdint>
#include <stdexcept>

#include "util/bytes.h"

namespace {

// Reads the archive front to back; every read checks the bytes left first.
struct ArchiveCursor {
    std::string_view bytes;
    std::uint64_t pos = 0;

    std::uint64_t left() const { return bytes.size() - pos; }

    bool u32(std::uint32_t& value) {
        if (left() < 4) return false;
        value = read_u32le(reinterpret_cast<const std::uint8_t*>(bytes.data()), pos);
        pos += 4;
        return true;
    }
    bool u8(std::uint8_t& value) {
        if (left() < 1) return false;
        value = static_cast<std::uint8_t>(bytes[pos]);
        pos += 1;
        return true;
    }
    bool take(std::uint64_t count, std::string& out) {
        if (count > left()) return false;
        out.assign(bytes.substr(pos, count));
        pos += count;
        return true;
    }
    // A table count whose entries take at least `entry_size` bytes each must fit what is left.
    bool count(std::uint32_t& value, std::uint64_t entry_size) {
        return u32(value) && std::uint64_t{value} * entry_size <= left();
    }
};

constexpr std::uint64_t kFieldDescriptionSize = 13;

bool parse_strings(ArchiveCursor& in, MelodyneArchive& archive) {
    std::uint32_t count = 0;
    if (!in.count(count, 4)) return false;
    archive.strings.resize(count);
    for (std::string& text : archive.strings) {
        std::uint32_t length = 0;
        if (!in.u32(length) || !in.take(length, text)) return false;
    }
    return true;
}

bool parse_classes(ArchiveCursor& in, MelodyneArchive& archive) {
    std::uint32_t count = 0;
    if (!in.count(count, 12)) return false;  // name length, value, field count
    archive.classes.resize(count);
    for (ArchiveClass& cls : archive.classes) {
        std::uint32_t name_length = 0;
        std::uint32_t field_count = 0;
        if (!in.u32(name_length) || !in.take(name_length, cls.name) || !in.u32(cls.value) ||
            !in.count(field_count, kFieldDescriptionSize)) {
            return false;
        }
        cls.fields.resize(field_count);
        for (ArchiveAttr& field : cls.fields) {
            if (!in.u32(field.name_index) || field.name_index >= archive.strings.size() ||
                !in.u32(field.count) || !in.u8(field.type) || !in.u32(field.size)) {
                return false;
            }
            field.name = archive.strings[field.name_index];
        }
    }
    return true;
}

bool parse_records(ArchiveCursor& in, MelodyneArchive& archive) {
    // Each record takes its id and at least T and F.
    std::uint32_t id_count = 0;
    if (!in.count(id_count, 12)) return false;
    archive.objects.resize(id_count);
    for (std::uint64_t i = 0; i < id_count; ++i) {
        ArchiveObject& object = archive.objects[i];
        if (!in.u32(object.id) || object.id >= archive.class_of_id.size()) return false;
        object.class_index = archive.class_of_id[object.id];
        if (object.class_index >= archive.classes.size()) return false;
        if (!archive.index.emplace(object.id, i).second) return false;  // listed twice
    }
    for (ArchiveObject& object : archive.objects) {
        std::uint32_t total = 0;
        std::uint32_t field_length = 0;
        if (!in.u32(total) || total > in.left() || !in.u32(field_length) ||
            std::uint64_t{field_length} + 4 > total) {
            return false;
        }
        in.take(field_length, object.field_data);
        in.take(std::uint64_t{total} - 4 - field_length, object.tail);
    }
    return true;
}

void append_text(std::string& out, const std::string& text) {
    if (text.size() > UINT32_MAX) throw std::length_error("archive text past 4 GiB");
    append_u32le(out, static_cast<std::uint32_t>(text.size()));
    out += text;
}

void append_count(std::string& out, std::size_t count) {
    if (count > UINT32_MAX) throw std::length_error("archive table past 2^32 entries");
    append_u32le(out, static_cast<std::uint32_t>(count));
}

}  // namespace

bool parse_melodyne_archive(MelodyneArchive& archive, std::string_view bytes) {
    archive = MelodyneArchive{};
    ArchiveCursor in{bytes};
    std::uint32_t class_id_count = 0;
    if (!parse_strings(in, archive) || !parse_classes(in, archive) ||
        !in.count(class_id_count, 4)) {
        return false;
    }
    archive.class_of_id.resize(class_id_count);
    for (std::uint32_t& cls : archive.class_of_id) in.u32(cls);
    return parse_records(in, archive) && in.left() == 0;
}

std::string serialize_melodyne_archive(const MelodyneArchive& archive) {
    std::string out;
    append_count(out, archive.strings.size());
    for (const std::string& text : archive.strings) append_text(out, text);
    append_count(out, archive.classes.size());
    for (const ArchiveClass& cls : archive.classes) {
        append_text(out, cls.name);
        append_u32le(out, cls.value);
        append_count(out, cls.fields.size());
        for (const ArchiveAttr& field : cls.fields) {
            append_u32le(out, field.name_index);
            append_u32le(out, field.count);
            out += static_cast<char>(field.type);
            append_u32le(out, field.size);
        }
    }
    append_count(out, archive.class_of_id.size());
    for (std::uint32_t cls : archive.class_of_id) append_u32le(out, cls);
    append_count(out, archive.objects.size());
    for (const ArchiveObject& object : archive.objects) append_u32le(out, object.id);
    for (const ArchiveObject& object : archive.objects) {
        const std::uint64_t total =
            4 + std::uint64_t{object.field_data.size()} + object.tail.size();
        if (total > UINT32_MAX) throw std::length_error("archive record past 4 GiB");
        append_u32le(out, static_cast<std::uint32_t>(total));
        append_u32le(out, static_cast<std::uint32_t>(object.field_data.size()));
        out += object.field_data;
        out += object.tail;
    }
    return out;
}
