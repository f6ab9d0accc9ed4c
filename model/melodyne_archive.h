// A parsed Melodyne archive and the sources that the merge combines.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct ArchiveAttr {
    std::string name;              // looked up in the string table
    std::uint32_t name_index = 0;  // its index there, kept so that a parsed archive writes back
    std::uint32_t count = 0;
    std::uint8_t type = 0;  // '^' reference, 'i' integer; others carried as bytes
    std::uint32_t size = 0;
};

struct ArchiveClass {
    std::string name;
    std::uint32_t value = 0;
    std::vector<ArchiveAttr> fields;
};

struct ArchiveObject {
    std::uint32_t id = 0;
    std::uint32_t class_index = 0;
    std::string field_data;  // byte string
    std::string tail;        // byte string
};

struct MelodyneArchive {
    std::vector<std::string> strings;
    std::vector<ArchiveClass> classes;
    std::vector<std::uint32_t> class_of_id;
    std::vector<ArchiveObject> objects;            // in record order
    std::map<std::uint32_t, std::uint64_t> index;  // object id to its position in objects
};

// One audio source to merge with its modifications. The archives live in the driver's map;
// copying copies the pointers, not the archives.
struct AraClipArchive {
    const MelodyneArchive* source = nullptr;
    std::vector<const MelodyneArchive*> modifications;
    std::string source_name;
    std::vector<std::string> modification_names;
};
