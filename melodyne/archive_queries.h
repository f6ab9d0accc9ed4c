// Questions asked of a parsed Melodyne archive, and the small rewrites the merge makes.
//
// Tail of a list object (class "GNList"), u32 little-endian:
//   n; n - 1 inline entries of 13 bytes (the first u32 of each is a string index); 8 bytes;
//   a; b (b >= a); b - a payload bytes; c, the element count; c element ids
// Tails of "GNString" and "GNData" objects open with the same n and inline entries.
//
// String blob (the whole tail of a "GNString"): 12 header bytes, u32 size, the same u32 size
// again, then size bytes: the text and a zero byte.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "model/melodyne_archive.h"

// An id that names nothing: a null reference, or a field that is missing.
constexpr std::uint32_t kNoArchiveId = 0xFFFFFFFF;

// The object with this id, or null.
const ArchiveObject* archive_object(const MelodyneArchive& archive, std::uint32_t id);

// The name of the object's class; empty when its class index names no class.
std::string_view archive_class_name(const MelodyneArchive& archive, const ArchiveObject& object);

// Where a class's fields lie in its objects' field data. Worked out once per archive, it lets
// questions asked object by object skip the class's declarations: a class may declare millions of
// empty fields. It points into the archive, which must outlive it.
struct ArchiveFieldPlace {
    std::uint64_t offset = 0;  // of the first element
    const ArchiveAttr* field = nullptr;
};
struct ArchiveClassLayout {
    std::vector<ArchiveFieldPlace> refs;  // "^" fields with elements of 4 bytes or more, in order
    std::unordered_map<std::string_view, ArchiveFieldPlace> by_name;  // each name's first field
};
using ArchiveLayout = std::vector<ArchiveClassLayout>;  // by class index

ArchiveClassLayout archive_class_layout(const ArchiveClass& cls);
ArchiveLayout archive_layout(const MelodyneArchive& archive);

// Where the live references of the object lie in its field data: the first u32 of every element
// of every "^" field, in field order, for elements that lie wholly in the field data and are not
// the null reference. Elements under 4 bytes hold no reference.
std::vector<std::uint64_t> archive_ref_offsets(const MelodyneArchive& archive,
                                               const ArchiveObject& object);
std::vector<std::uint64_t> archive_ref_offsets(const ArchiveLayout& layout,
                                               const ArchiveObject& object);

// The id in the first element of the named "^" field of the object; kNoArchiveId when the object
// or field is unknown, the field is of another type, or the field data is too short.
std::uint32_t archive_read_ref_field(const MelodyneArchive& archive, std::uint32_t id,
                                     std::string_view field);
std::uint32_t archive_read_ref_field(const MelodyneArchive& archive, const ArchiveLayout& layout,
                                     std::uint32_t id, std::string_view field);

// The signed 32-bit value in the first element of the named "i" field; -1 when the object or
// field is unknown, the field is of another type, or the field data is too short.
std::int32_t archive_read_int_field(const MelodyneArchive& archive, std::uint32_t id,
                                    std::string_view field);
std::int32_t archive_read_int_field(const MelodyneArchive& archive, const ArchiveLayout& layout,
                                    std::uint32_t id, std::string_view field);

// Checks the list layout (all sums in 64 bits). `head_end` is the position of a, `payload_end`
// the position of c. False when the tail holds under 4 bytes, n is 0, the tail is shorter than
// 13(n - 1) + 20, b is below a, the tail ends before c, or fewer than 4c bytes follow c.
bool archive_list_bounds(std::string_view tail, std::uint64_t& head_end, std::uint64_t& payload_end,
                         std::uint32_t& count);

// The element ids of a list object's tail; empty when the object is unknown or its tail does not
// hold the list layout.
std::vector<std::uint32_t> archive_list_elements(const MelodyneArchive& archive, std::uint32_t id);

// Rewrites a list tail to hold `ids`: the bytes before a, a' = 4 + 4 x ids, b' = a' + the old
// payload's length, the old payload, the count and the ids. Nothing changes when the tail does
// not hold the list layout.
void archive_set_list_elements(ArchiveObject& object, std::span<const std::uint32_t> ids);

// Every live reference of the object in field order, then, for a "GNList", its elements other
// than kNoArchiveId. Empty for an id that is not an object.
std::vector<std::uint32_t> archive_direct_refs(const MelodyneArchive& archive, std::uint32_t id);
std::vector<std::uint32_t> archive_direct_refs(const MelodyneArchive& archive,
                                               const ArchiveLayout& layout, std::uint32_t id);

// The ids reachable from `root`, depth first in visit order, each once: the first reference of
// an object is visited next. An id that is not an object here (a link into another archive) is
// listed but not followed. Cycles end.
std::vector<std::uint32_t> archive_collect_reachable(const MelodyneArchive& archive,
                                                     std::uint32_t root);

// The positions of the inline entries' string indices in a "GNList", "GNString" or "GNData"
// tail whose n is 2 or more (none for other classes or smaller n). False when the tail is
// shorter than 4 + 13(n - 1) or an index is not below the archive's string count.
bool archive_inline_key_offsets(const MelodyneArchive& archive, const ArchiveObject& object,
                                std::vector<std::uint64_t>& offsets);

// The text of a valid blob (at least 20 bytes, both sizes equal and non-zero, 20 + size bytes
// long): its first size - 1 bytes after the header.
bool read_string_blob(std::string_view blob, std::string& text);

// A blob of the old one's 12 header bytes (zeros where it is shorter), text length + 1 twice,
// the text and a zero byte.
std::string make_string_blob(std::string_view old_blob, std::string_view text);
