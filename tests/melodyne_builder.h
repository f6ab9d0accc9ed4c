// Builds Melodyne archives for tests, byte by byte in the archive layout, and the small object
// graphs of a document, a source and a modification archive.
#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "util/bytes.h"

namespace melodyne_test {

inline std::string u32(std::uint32_t value) {
    std::string out;
    append_u32le(out, value);
    return out;
}

// Field data pieces: a reference element (id, 0), the null reference, a 32-bit integer.
inline std::string ref(std::uint32_t id) {
    return u32(id) + u32(0);
}
inline std::string null_ref() {
    return u32(0xFFFFFFFF) + u32(0);
}
inline std::string i32(std::int32_t value) {
    return u32(static_cast<std::uint32_t>(value));
}

// A list tail: n = keys + 1, one 13-byte inline entry per key, 8 bytes, a = 4 + 4c,
// b = a + payload length, the payload, c and the ids.
inline std::string list_tail(const std::vector<std::uint32_t>& ids,
                             const std::vector<std::uint32_t>& inline_keys = {},
                             const std::string& payload = "") {
    std::string out = u32(static_cast<std::uint32_t>(inline_keys.size() + 1));
    for (std::uint32_t key : inline_keys) out += u32(key) + std::string(9, '\x07');
    out += std::string(8, '\x05');
    const auto a = static_cast<std::uint32_t>(4 + 4 * ids.size());
    out += u32(a) + u32(a + static_cast<std::uint32_t>(payload.size())) + payload;
    out += u32(static_cast<std::uint32_t>(ids.size()));
    for (std::uint32_t id : ids) out += u32(id);
    return out;
}

// A GNString tail: n = 1, 8 header bytes, the size twice, the text and a zero byte.
inline std::string string_tail(const std::string& text) {
    const auto size = static_cast<std::uint32_t>(text.size() + 1);
    return u32(1) + std::string(8, '\x09') + u32(size) + u32(size) + text + std::string(1, '\0');
}

struct Field {
    std::string name;
    std::uint32_t count = 1;
    char type = '^';
    std::uint32_t size = 8;
};

struct Class {
    std::string name;
    std::uint32_t value = 0;
    std::vector<Field> fields;
};

struct Object {
    std::uint32_t id = 0;
    std::string cls;
    std::string fields;
    std::string tail;
};

struct ArchiveSpec {
    std::vector<std::string> strings;  // field names are appended when missing
    std::vector<Class> classes;
    std::vector<Object> objects;  // records, in this order
    std::uint32_t extra_ids = 0;  // class-of-id entries past the highest record id

    std::string bytes() const {
        std::vector<std::string> table = strings;
        auto string_index = [&](const std::string& text) {
            auto it = std::find(table.begin(), table.end(), text);
            if (it == table.end()) it = table.insert(table.end(), text);
            return static_cast<std::uint32_t>(it - table.begin());
        };
        std::string class_bytes = u32(static_cast<std::uint32_t>(classes.size()));
        std::map<std::string, std::uint32_t> class_index;
        for (const Class& cls : classes) {
            class_index.emplace(cls.name, static_cast<std::uint32_t>(class_index.size()));
            class_bytes += u32(static_cast<std::uint32_t>(cls.name.size())) + cls.name;
            class_bytes += u32(cls.value) + u32(static_cast<std::uint32_t>(cls.fields.size()));
            for (const Field& f : cls.fields) {
                class_bytes +=
                    u32(string_index(f.name)) + u32(f.count) + std::string(1, f.type) + u32(f.size);
            }
        }
        std::string out = u32(static_cast<std::uint32_t>(table.size()));
        for (const std::string& text : table)
            out += u32(static_cast<std::uint32_t>(text.size())) + text;
        out += class_bytes;
        std::uint32_t ids = extra_ids;
        for (const Object& o : objects) ids = std::max(ids, o.id + 1 + extra_ids);
        std::vector<std::uint32_t> class_of_id(ids, 0xFFFFFFFF);
        for (const Object& o : objects) class_of_id[o.id] = class_index.at(o.cls);
        out += u32(ids);
        for (std::uint32_t c : class_of_id) out += u32(c);
        out += u32(static_cast<std::uint32_t>(objects.size()));
        for (const Object& o : objects) out += u32(o.id);
        for (const Object& o : objects) {
            out += u32(static_cast<std::uint32_t>(4 + o.fields.size() + o.tail.size()));
            out += u32(static_cast<std::uint32_t>(o.fields.size())) + o.fields + o.tail;
        }
        return out;
    }
};

// The classes every archive below uses.
inline std::vector<Class> melodyne_classes() {
    const Field i{"", 1, 'i', 4};
    auto field_i = [&](const char* name) {
        Field f = i;
        f.name = name;
        return f;
    };
    return {
        {"MUArchiveRoot", 1, {{"audioSources"}, {"audioModifications"}}},
        {"GNList", 2, {}},
        {"GNString", 3, {}},
        {"MUAudioSource", 4, {{"persistentID"}, {"effectiveAudioSourceDescription"}}},
        {"MUAudioSourceDescription", 5, {{"customAudioSource"}}},
        {"MUCustomAudioSource", 6, {{"audioSourceElements"}}},
        {"MUAudioSourceElement", 7, {{"audioSourceComponents"}}},
        {"MUAudioComponent",
         8,
         {{"audioSourceComponent"},
          field_i("splitArchiveSourceElementIndex"),
          field_i("splitArchiveSourceComponentIndex"),
          field_i("pitch")}},
        {"MUAudioModification", 9, {{"persistentID"}, {"components"}}},
        {"GNData", 10, {}},
    };
}

inline std::string component(std::uint32_t link, std::int32_t element, std::int32_t index,
                             std::int32_t pitch) {
    return (link == 0xFFFFFFFF ? null_ref() : ref(link)) + i32(element) + i32(index) + i32(pitch);
}

// The document: its root lists the persistent id of its source (object 3) and a link into
// another archive (id 100, no record here); the modification list carries an inline key.
inline ArchiveSpec document_archive(const std::string& source_pid = "pid-source-A") {
    ArchiveSpec a;
    a.strings = {"doc-only", "shared-key"};
    a.classes = melodyne_classes();
    a.objects = {
        {0, "MUArchiveRoot", ref(1) + ref(2), ""},
        {1, "GNList", "", list_tail({3, 100})},
        {2, "GNList", "", list_tail({}, {0})},
        {3, "GNString", "", string_tail(source_pid)},
    };
    return a;
}

// A source: one MUAudioSource (id 2) with two elements; element 0 holds components 11 and 12,
// element 1 holds component 13. Component k's pitch is pitch_base + k.
inline ArchiveSpec source_archive(const std::string& pid, std::int32_t pitch_base) {
    ArchiveSpec a;
    a.strings = {"source-only", "shared-key"};
    a.classes = melodyne_classes();
    a.objects = {
        {0, "MUArchiveRoot", ref(1) + null_ref(), ""},
        {1, "GNList", "", list_tail({2})},
        {2, "MUAudioSource", ref(3) + ref(4), ""},
        {3, "GNString", "", string_tail(pid)},
        {4, "MUAudioSourceDescription", ref(5), ""},
        {5, "MUCustomAudioSource", ref(6), ""},
        {6, "GNList", "", list_tail({7, 8}, {0})},
        {7, "MUAudioSourceElement", ref(9), ""},
        {8, "MUAudioSourceElement", ref(10), ""},
        {9, "GNList", "", list_tail({11, 12})},
        {10, "GNList", "", list_tail({13})},
        {11, "MUAudioComponent", component(0xFFFFFFFF, -1, -1, pitch_base), ""},
        {12, "MUAudioComponent", component(0xFFFFFFFF, -1, -1, pitch_base + 1), ""},
        {13, "MUAudioComponent", component(0xFFFFFFFF, -1, -1, pitch_base + 2), ""},
    };
    return a;
}

// A modification: component 5 is an edit split from source element `element`, component
// `index` (its link, 50, has no record here); component 6 links to component 5 inside the
// modification.
inline ArchiveSpec modification_archive(const std::string& pid, std::int32_t element,
                                        std::int32_t index, std::int32_t pitch) {
    ArchiveSpec a;
    a.strings = {"modification-only"};
    a.classes = melodyne_classes();
    a.objects = {
        {0, "MUArchiveRoot", null_ref() + ref(1), ""},
        {1, "GNList", "", list_tail({2})},
        {2, "MUAudioModification", ref(3) + ref(4), ""},
        {3, "GNString", "", string_tail(pid)},
        {4, "GNList", "", list_tail({5, 6})},
        {5, "MUAudioComponent", component(50, element, index, pitch), ""},
        {6, "MUAudioComponent", component(5, -1, -1, pitch + 1), ""},
    };
    return a;
}

inline Object* find_object(ArchiveSpec& spec, std::uint32_t id) {
    for (Object& o : spec.objects) {
        if (o.id == id) return &o;
    }
    return nullptr;
}

}  // namespace melodyne_test
