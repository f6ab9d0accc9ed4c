// Clip lists: the named lists of placements the session keeps per track playlist (0x1052) and
// per MIDI playlist (0x1057), and the placement block (0x104f) they carry.
//
// List framing, offsets from the list's marker: u32 name length L at +9 (1..64), the name at +13
// (name bytes), a u32 child count N after the name (as many as the list's bytes can hold), then N
// child blocks one after another from +17 + L, each inside the list; a 0x1052 list ends with a kind
// byte after its last child (1 samples, 2 ticks). A child carries its placement block at its own
// +9.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "model/session_records.h"
#include "session/scan.h"

inline constexpr std::uint16_t kPlacementType = 0x104f;
inline constexpr std::uint16_t kClipListType = 0x1052;
inline constexpr std::uint16_t kMidiListType = 0x1057;

// Byte +23 of a placement: what its stored position counts.
inline constexpr std::uint8_t kTickTimeBase = 0x40;    // ticks, stored + 10^12
inline constexpr std::uint8_t kSampleTimeBase = 0x00;  // plain samples
// Kept where a placement is too short to hold the byte.
inline constexpr std::uint8_t kNoTimeBase = 0xFF;

inline bool is_known_time_base(std::uint8_t time_base) {
    return time_base == kTickTimeBase || time_base == kSampleTimeBase;
}

// One placement block, offsets from its marker. Fields past the end of the bytes keep their
// defaults and their `has_` flag stays false.
struct PlacementFields {
    std::uint8_t first_byte = 0;           // +9
    std::uint8_t second_byte = 0;          // +10
    std::uint32_t id = 0;                  // +11: region, clip group or item
    std::uint64_t position = 0;            // +16 to +21, as stored
    std::uint8_t time_base = kNoTimeBase;  // +23
    std::uint8_t byte_24 = 0;
    std::int16_t value = 0;  // +25
    std::uint8_t byte_27 = 0;
    std::uint8_t byte_39 = 0;
    bool has_position = false;
    bool has_byte_27 = false;
    bool has_byte_39 = false;
};

PlacementFields read_placement_fields(SessionBytes bytes, std::size_t pos);

// The distance a stored position stands for: ticks (stored - 10^12) for a tick placement, samples
// for a sample placement, and |stored - 10^12| where no time base is stored.
std::int64_t placement_distance(std::uint64_t stored, std::uint8_t time_base);

// One list's framing as read.
struct ListFraming {
    std::string_view name;  // points into the bytes
    std::uint32_t count = 0;
    std::vector<std::size_t> children;  // marker positions
    std::uint8_t kind = 0;              // 0x1052 only
};

// How a list's kind byte is taken: not at all (0x1057 lists), required to be 1 or 2 (the track
// playlists), or kept whatever it is (the clip-group lists).
enum class KindByte { none, checked, any };

// The framing of the list block at `list`; false when the name, the count, a child or the kind
// byte fails its check or runs past the list.
bool read_list_framing(SessionBytes bytes, const BlockHeader& list, KindByte kind_byte,
                       ListFraming& out);

// The placement a list child carries at its +9, with the child's trailing byte: the byte right
// after the placement when that lies inside the child, else the child's last byte.
struct ChildPlacement {
    PlacementFields fields;
    std::uint32_t child_size = 0;
    bool has_trailing = false;  // the trailing byte lies inside the bytes
    std::uint8_t trailing = 0;
};

// False unless the bytes hold the child's first 36 bytes and a placement block stands at its +9.
bool read_child_placement(SessionBytes bytes, std::size_t child, ChildPlacement& out);

// The trailing byte is 0 or lies outside the bytes, or the child is below 4 bytes.
bool trailing_byte_zero(const ChildPlacement& entry);
// The trailing byte is not 0, the child has 4 bytes or more, and byte +24 is 1: a fade placement.
bool trailing_byte_marks_fade(const ChildPlacement& entry);

struct ClipListName {
    std::string name;
    std::uint8_t second_kind = 0;  // the kind byte is 2: the list counts ticks
};

// One ClipListName per framed 0x1052 list, appended; with `counts`, each list's child count N.
void read_r10_list_names(const std::uint8_t* data, std::size_t length,
                         std::vector<ClipListName>& out,
                         std::vector<std::uint32_t>* counts = nullptr);

// One R10BlockRecord per framed 0x1052 list, appended, in the order of read_r10_list_names. With
// `unreadable`, the lists whose name reads but whose count, children or kind byte do not, or that
// stand nested too deep to be walked, are counted there.
void read_r10_records(const std::uint8_t* data, std::size_t length,
                      std::vector<R10BlockRecord>& out, std::uint32_t* unreadable = nullptr);

// The placements of one MIDI playlist (0x1057 list).
struct PlacementList {
    std::string name;
    std::vector<std::uint32_t> region_ids;
    std::vector<std::uint32_t> placement_flags;  // byte +10 or +39 is not 0
    std::vector<std::uint32_t> values;           // the i16 at +25, sign-extended
    std::vector<std::uint32_t> bytes_24;
    std::vector<std::int64_t> positions;  // placement_distance of the stored value
    std::vector<std::uint8_t> time_bases;
};

// One PlacementList per framed 0x1057 list that carries at least one placement, appended.
void read_placement_lists(const std::uint8_t* data, std::size_t length,
                          std::vector<PlacementList>& out);

// A block's bytes, [start, end).
struct ListRange {
    std::uint64_t start = 0;
    std::uint64_t end = 0;
};

// The clips of the framed lists of `list_type` (0x1052 track playlists, whose fade placements,
// byte +24 of 1, are no clips; or 0x1057 MIDI playlists) that lie inside none of `covered`
// and, for 0x1052, inside no clip-group block (0x2428), whose lists are the groups' own: the
// clips of the playlists that no placement container read holds. Of a list that starts inside
// the covered ranges and runs past their end (a container whose size was cut), the clips whose
// placement block ends past the ranges count: the walk names those it found inside.
std::size_t count_uncovered_list_clips(const std::uint8_t* data, std::size_t length,
                                       std::uint16_t list_type, std::vector<ListRange> covered);
