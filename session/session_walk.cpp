#include "session/session_walk.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <span>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "platform/ptformat.h"
#include "session/block_tree.h"
#include "session/clip_lists.h"
#include "session/region_index.h"
#include "session/scan.h"
#include "util/bytes.h"

namespace {

using Bytes = std::span<const std::uint8_t>;
using Nodes = std::vector<SessionBlockNode>;

// The walk accepts a session only past its header and with the little-endian byte-order mark.
constexpr std::uint64_t kShortestSession = 65;
constexpr std::uint64_t kByteOrderPosition = 17;

constexpr std::uint32_t kMaxTrackNumbersPerEntry = 1024;

// Audio regions.
constexpr std::uint16_t kRegionList = 0x100B;
constexpr std::uint16_t kRegionList10 = 0x262A;
constexpr std::uint16_t kRegion = 0x1008;
constexpr std::uint16_t kRegion10 = 0x2629;
// Audio tracks and their placements.
constexpr std::uint16_t kTrackList = 0x1015;
constexpr std::uint16_t kTrackEntry = 0x1014;
constexpr std::uint16_t kPlacementTracks = 0x1054;
constexpr std::uint16_t kPlacementTrack = 0x1052;
constexpr std::uint16_t kPlaylist = 0x1050;
constexpr std::uint16_t kPlacement = 0x104F;
constexpr std::uint16_t kOldPlacementTracks = 0x1012;
constexpr std::uint16_t kOldPlacementTrack = 0x1011;
constexpr std::uint16_t kOldPlaylist = 0x100F;
constexpr std::uint16_t kOldPlacement = 0x100E;
// Track kinds and MIDI tracks.
constexpr std::uint16_t kTrackKindAudio = 0x261B;
constexpr std::uint16_t kTrackKindOuter = 0x261D;
constexpr std::uint16_t kTrackKindMidi = 0x2620;
constexpr std::uint16_t kTrackKindInstrument = 0x2621;
constexpr std::array<std::uint16_t, 5> kTrackKinds = {0x261B, 0x261F, 0x2620, 0x2621, 0x2623};
constexpr std::uint16_t kTrackOrder = 0x2519;
constexpr std::uint16_t kTrackOrderEntry = 0x251A;
constexpr std::uint16_t kMidiPlacementTracks = 0x1058;
constexpr std::uint16_t kMidiPlacementTrack = 0x1057;
constexpr std::uint16_t kMidiPlaylist = 0x1056;
// MIDI chunks and MIDI regions.
constexpr std::array<std::uint16_t, 3> kChunkNodes = {0x2000, 0x2002, 0x2634};
constexpr std::array<std::uint16_t, 2> kMidiRegionGroups = {0x2001, 0x2633};
constexpr std::array<std::uint16_t, 2> kMidiRegionBlocks = {0x1007, 0x2628};
constexpr std::uint16_t kMidiRegionList = 0x262C;
constexpr std::uint16_t kMidiRegionListEntry = 0x262B;
constexpr std::uint16_t kMidiRegion = 0x2628;
constexpr std::uint16_t kCompoundMark = 0x2523;

constexpr std::string_view kChunkMarker = "MdNLB";
constexpr std::uint64_t kChunkCountOffset = 11;
constexpr std::uint64_t kChunkEventsOffset = 15;
constexpr std::uint64_t kChunkEventSize = 35;

// A placement block (0x104F), counted from its payload position (the 'Z' marker is 7 before).
constexpr std::uint64_t kPlacementRegion = 4;
constexpr std::uint64_t kPlacementStart = 9;  // 48 bits
constexpr std::uint64_t kPlacementTimeBase = 16;
constexpr std::uint64_t kPlacementKind = 17;
// An older-layout placement (0x100E) needs its region number only.
constexpr std::uint64_t kOldPlacementBytes = 8;
// The time-base byte of a MIDI placement: 0x00 stores a plain sample position.
constexpr std::uint8_t kTimeBaseSamples = 0x00;
// The kind byte of a placement: fade entries share the placement lists with clips.
constexpr std::uint8_t kPlacementKindFade = 0x01;

template <std::size_t N>
bool one_of(std::uint16_t value, const std::array<std::uint16_t, N>& values) {
    return std::find(values.begin(), values.end(), value) != values.end();
}

std::uint64_t payload_end(const SessionBlockNode& node) {
    return node.payload_position + node.payload_size;
}

// The walk holds the top level as headers and parses one top-level block's tree at a time, only
// as deep as its reader looks: the whole tree of a large session is many times its size.
SessionBlockNode tree_of(Bytes bytes, const SessionBlockNode& top_block, int levels) {
    SessionBlockNode tree = top_block;
    parse_block_tree(bytes.data(), bytes.size(), top_block.payload_position - kBlockHeaderSize,
                     bytes.size(), tree, levels);
    return tree;
}

// Calls visit(child) for each child of `parent` in order, each without its own children: a list
// of tracks, playlists or placements is walked in place, with no tree of it made.
template <typename Visit>
void for_each_child(Bytes bytes, const SessionBlockNode& parent, Visit&& visit) {
    ChildCursor cursor;
    SessionBlockNode child;
    while (next_child(bytes.data(), bytes.size(), parent, cursor, child)) visit(child);
}

// A u32 length at `length_pos` and the text after it, cut to what the bytes hold. `taken` is the
// number of text bytes read.
std::string read_name(Bytes bytes, std::uint64_t length_pos, std::uint64_t& taken) {
    taken = 0;
    if (!bytes_fit(bytes, length_pos, 4)) return {};
    const std::uint64_t stored = read_u32le_checked(bytes, length_pos);
    const std::uint64_t text = length_pos + 4;
    taken = std::min<std::uint64_t>(stored, bytes.size() - text);
    return std::string(reinterpret_cast<const char*>(bytes.data() + text), taken);
}

struct NibbleInts {
    std::uint64_t first = 0;
    std::uint64_t second = 0;
    std::uint64_t third = 0;
};

// Three little-endian integers whose widths stand in the high nibbles of the bytes a + 1 to
// a + 3, with a gap in the low nibble of a + 2 before the second. A width the reader cannot take
// or an integer past the end reads as 0.
NibbleInts read_nibble_ints(Bytes bytes, std::uint64_t a) {
    const std::uint64_t w1 = read_u8_checked(bytes, a + 1) >> 4;
    const std::uint8_t second_byte = read_u8_checked(bytes, a + 2);
    const std::uint64_t w2 = second_byte >> 4;
    const std::uint64_t gap = second_byte & 0x0F;
    const std::uint64_t w3 = read_u8_checked(bytes, a + 3) >> 4;
    const std::uint64_t first_pos = a + 5;
    const std::uint64_t second_pos = first_pos + w1 + gap;
    const std::uint64_t third_pos = second_pos + w2;
    // Widths run from 1 to 5 bytes (40-bit values); any other reads as 0.
    const auto take = [&](std::uint64_t pos, std::uint64_t width) -> std::uint64_t {
        return width >= 1 && width <= 5 ? read_uintle_checked(bytes, pos, width) : 0;
    };
    return {take(first_pos, w1), take(second_pos, w2), take(third_pos, w3)};
}

// Track lookups: the first entry bearing a number.
using FirstIndex = std::unordered_map<std::uint32_t, std::size_t>;

void remember_first(FirstIndex& index, std::uint32_t key, std::size_t position) {
    index.emplace(key, position);
}

// A track the session lists, by its number: what a placement on that track is named after. The
// walk keeps these apart from the track regions, so that no region number stands for "none".
struct TrackSlot {
    SharedText name;  // shared by the track's placements
    std::uint32_t number = 0;
};

// --- Audio regions ---------------------------------------------------------------------------

// A region's file: the first of the files that bears its index, unless a file without a name
// comes first, which ends the list.
class AudioFileNames {
  public:
    explicit AudioFileNames(const std::vector<AudioFilePair>& files) : files_(files) {
        for (std::size_t i = 0; i < files.size(); ++i) {
            if (files[i].name.empty()) {
                list_end_ = i;
                break;
            }
            first_.emplace(files[i].index, i);
        }
    }
    SharedText operator()(std::uint16_t index) const {
        if (const auto found = first_.find(index); found != first_.end())
            return files_[found->second].name;
        return list_end_ < files_.size() ? files_[list_end_].name : SharedText{};
    }

  private:
    const std::vector<AudioFilePair>& files_;
    std::unordered_map<std::uint16_t, std::size_t> first_;  // the files before the end only
    std::size_t list_end_ = static_cast<std::size_t>(-1);
};

void read_audio_regions(Bytes bytes, const Nodes& top, const std::vector<AudioFilePair>& files,
                        std::vector<SessionRegion>& regions) {
    std::uint32_t next_index = 0;
    const AudioFileNames audio_file_name(files);
    for (const SessionBlockNode& top_block : top) {
        if (top_block.content_type != kRegionList && top_block.content_type != kRegionList10)
            continue;
        // The list and its regions; the first block inside each region is parsed alone.
        const SessionBlockNode list = tree_of(bytes, top_block, 2);
        // Room for the list's regions at once: doubling would copy them and hold up to twice
        // their room while it does.
        regions.reserve(regions.size() + list.children.size());
        for (const SessionBlockNode& child : list.children) {
            if (child.content_type != kRegion && child.content_type != kRegion10) continue;
            const std::uint64_t c = child.payload_position;
            SessionRegion region;
            region.region_index = next_index++;
            std::uint64_t name_length = 0;
            region.name = read_name(bytes, c + 11, name_length);
            const NibbleInts ints = read_nibble_ints(bytes, c + 15 + name_length);
            region.source_offset = static_cast<std::int64_t>(ints.first);
            region.length = static_cast<std::int64_t>(ints.second);
            region.start = static_cast<std::int64_t>(ints.third);
            if (SessionBlockNode first;
                parse_first_child(bytes.data(), bytes.size(), child, first)) {
                const std::uint64_t after = payload_end(first);
                if (bytes_fit(bytes, after, 4)) {
                    region.audio_file_index = read_u16le_checked(bytes, after);
                }
            }
            region.audio_file_name = audio_file_name(region.audio_file_index);
            regions.push_back(std::move(region));
        }
    }
}

// --- Audio tracks ----------------------------------------------------------------------------

// One slot per track number, named after the track list entry that first lists it.
std::vector<TrackSlot> read_audio_track_slots(Bytes bytes, const Nodes& top) {
    std::vector<TrackSlot> slots;
    std::vector<bool> seen(0x10000, false);
    for (const SessionBlockNode& top_block : top) {
        if (top_block.content_type != kTrackList) continue;
        const SessionBlockNode list = tree_of(bytes, top_block, 2);
        for (const SessionBlockNode& entry : list.children) {
            if (entry.content_type != kTrackEntry) continue;
            const std::uint64_t c = entry.payload_position;
            std::uint64_t name_length = 0;
            const std::string name = read_name(bytes, c + 2, name_length);
            const std::uint64_t t = c + 7 + name_length;
            if (!bytes_fit(bytes, t, 4)) continue;
            const std::uint32_t count =
                std::min(read_u32le_checked(bytes, t), kMaxTrackNumbersPerEntry);
            for (std::uint32_t i = 0; i < count; ++i) {
                const std::uint64_t pos = t + 4 + 2 * std::uint64_t{i};
                // A count larger than the data ends with the data.
                if (!bytes_fit(bytes, pos, 2)) break;
                const std::uint16_t number = read_u16le_checked(bytes, pos);
                if (seen[number]) continue;
                seen[number] = true;
                slots.push_back({name, number});
            }
        }
    }
    return slots;
}

struct PlacementTargets {
    const std::vector<TrackSlot>* slots = nullptr;
    const std::vector<SessionRegion>* regions = nullptr;
    FirstIndex track_by_number;
    RegionsByIndex region_by_index;
};

PlacementTargets index_targets(const std::vector<TrackSlot>& slots,
                               const std::vector<SessionRegion>& regions) {
    PlacementTargets targets;
    targets.slots = &slots;
    targets.regions = &regions;
    for (std::size_t i = 0; i < slots.size(); ++i) {
        remember_first(targets.track_by_number, slots[i].number, i);
    }
    targets.region_by_index = index_regions(regions);
    return targets;
}

// A placement that no track region is made for, named after its track when the session lists it.
UnplacedPlacement lost_placement(const PlacementTargets& targets, std::uint32_t track_number,
                                 std::uint32_t region_number, bool midi) {
    UnplacedPlacement lost;
    if (const auto track = targets.track_by_number.find(track_number);
        track != targets.track_by_number.end())
        lost.track_name = (*targets.slots)[track->second].name.str();
    lost.track_number = track_number;
    lost.region_number = region_number;
    lost.midi = midi;
    return lost;
}

// The kind byte of a placement's fields marks a fade entry.
bool kind_byte_marks_fade(Bytes bytes, const SessionBlockNode& placement) {
    return read_u8_checked(bytes, placement.payload_position + kPlacementKind) ==
           kPlacementKindFade;
}

// A placement block whose kind byte marks a fade entry.
bool fade_placement(Bytes bytes, const SessionBlockNode& placement) {
    return placement.content_type == kPlacement && kind_byte_marks_fade(bytes, placement);
}

// Notes a placement refused with the record that holds it in `layout.refused`. Fade entries are
// not clips and go unnoted.
void refuse_placement(Bytes bytes, const PlacementTargets& targets, std::uint32_t track_number,
                      const SessionBlockNode& placement, bool midi, SessionLayout& layout) {
    const std::uint64_t p = placement.payload_position;
    if (!midi && fade_placement(bytes, placement)) return;
    layout.refused.push_back(lost_placement(targets, track_number,
                                            read_u32le_checked(bytes, p + kPlacementRegion), midi));
}

// Notes every placement (blocks of `placement_type`) of a record the walk refuses: the record
// itself, or those found inside it. The tree holds only as many levels as its reader parsed.
void refuse_placements_in(Bytes bytes, const PlacementTargets& targets, std::uint32_t track_number,
                          const SessionBlockNode& node, std::uint16_t placement_type, bool midi,
                          SessionLayout& layout) {
    if (node.content_type == placement_type) {
        refuse_placement(bytes, targets, track_number, node, midi, layout);
        return;
    }
    for (const SessionBlockNode& child : node.children)
        refuse_placements_in(bytes, targets, track_number, child, placement_type, midi, layout);
}

// The track a track number names, or null: looked up once for all the placements of a track.
const TrackSlot* find_track(const PlacementTargets& targets, std::uint32_t track_number) {
    const auto track = targets.track_by_number.find(track_number);
    return track != targets.track_by_number.end() ? &(*targets.slots)[track->second] : nullptr;
}

// A new track region for one placement on `owner`, find_track(targets, track_number). When its
// track or region is unknown (a damaged or stray region number among them), the placement is
// noted in `layout.unplaced` instead (unless `note_unplaced` is false), and nothing is looked up
// or made by the stored number itself.
bool place_region(const PlacementTargets& targets, const TrackSlot* owner,
                  std::uint32_t track_number, std::uint32_t region_number, bool midi,
                  SessionLayout& layout, TrackRegion& out, bool note_unplaced = true) {
    const SessionRegion* region = find_region(targets.region_by_index, region_number);
    if (owner == nullptr || region == nullptr) {
        if (note_unplaced)
            layout.unplaced.push_back(lost_placement(targets, track_number, region_number, midi));
        return false;
    }
    out.track_name = owner->name;
    out.track_index = static_cast<std::uint16_t>(owner->number);
    out.region = static_cast<std::uint32_t>(region - targets.regions->data());
    out.start = region->start;
    return true;
}

// Notes the placements of a damaged record of a placement list: the record parsed `levels` deep
// (itself the first level), down to the level the list's placements stand at.
void refuse_record(Bytes bytes, const PlacementTargets& targets, std::uint32_t track_number,
                   const SessionBlockNode& record, int levels, std::uint16_t placement_type,
                   bool midi, SessionLayout& layout) {
    refuse_placements_in(bytes, targets, track_number, tree_of(bytes, record, levels),
                         placement_type, midi, layout);
}

// The blocks of a placement list in one of its two layouts. The current one's playlists close
// with a byte that may refuse them and carry the mute mark; its placements hold their start and
// may be fades. An older placement holds its region number only.
struct PlacementListKind {
    std::uint16_t track = 0;
    std::uint16_t playlist = 0;
    std::uint16_t placement = 0;
    std::uint64_t placement_bytes = 0;  // of a placement's payload, read
    bool current = false;
};
constexpr PlacementListKind kCurrentList{kPlacementTrack, kPlaylist, kPlacement,
                                         kPlacementStart + 6, true};
constexpr PlacementListKind kOldList{kOldPlacementTrack, kOldPlaylist, kOldPlacement,
                                     kOldPlacementBytes, false};

// The bytes of a block the walk holds as a node.
ListRange block_range(const SessionBlockNode& node) {
    return {node.payload_position - kBlockHeaderSize, payload_end(node)};
}

// Appends the placement containers read to `containers`.
void read_audio_placements(Bytes bytes, const Nodes& top, const std::vector<TrackSlot>& slots,
                           SessionLayout& layout, std::vector<ListRange>& containers) {
    const PlacementTargets targets = index_targets(slots, layout.audio_regions);
    std::vector<TrackRegion>& tracks = layout.audio_track_regions;
    for (const SessionBlockNode& list : top) {
        if (list.content_type != kPlacementTracks && list.content_type != kOldPlacementTracks)
            continue;
        containers.push_back(block_range(list));
        const PlacementListKind& kind =
            list.content_type == kPlacementTracks ? kCurrentList : kOldList;
        // The list, its tracks, their playlists and the placements in them, walked a level at a
        // time. Room for every placement the list holds, at once, the fades apart: doubling
        // would leave up to half the largest list of the walk unused, and copy it on each step.
        std::size_t placements = 0;
        std::size_t fades = 0;
        for_each_child(bytes, list, [&](const SessionBlockNode& track) {
            for_each_child(bytes, track, [&](const SessionBlockNode& playlist) {
                for_each_child(bytes, playlist, [&](const SessionBlockNode& placement) {
                    ++placements;
                    if (fade_placement(bytes, placement)) ++fades;
                });
            });
        });
        tracks.reserve(tracks.size() + placements - fades);
        layout.fade_track_regions.reserve(layout.fade_track_regions.size() + fades);
        std::uint32_t track_number = 0;
        for_each_child(bytes, list, [&](const SessionBlockNode& track) {
            // Anything else in the list is a track whose header is damaged (or a playlist found
            // inside it): its placements are named after the track that stood there.
            if (track.content_type != kind.track) {
                refuse_record(bytes, targets, track_number, track, 3, kind.placement, false,
                              layout);
                return;
            }
            const TrackSlot* owner = find_track(targets, track_number);
            for_each_child(bytes, track, [&](const SessionBlockNode& playlist) {
                // Likewise a damaged playlist, or a placement found inside one; and a playlist
                // that fails its closing byte.
                if (playlist.content_type != kind.playlist ||
                    (kind.current && read_u8_checked(bytes, payload_end(playlist) + 2) == 1)) {
                    refuse_record(bytes, targets, track_number, playlist, 2, kind.placement, false,
                                  layout);
                    return;
                }
                const std::uint8_t mark =
                    kind.current ? read_u8_checked(bytes, playlist.payload_position + 11) : 0;
                for_each_child(bytes, playlist, [&](const SessionBlockNode& placement) {
                    // A playlist of the current layout holds its one placement and nothing
                    // else: a block of another content type there is that placement, damaged,
                    // a clip unless its kind byte marks a fade.
                    if (placement.content_type != kind.placement) {
                        if (kind.current && !kind_byte_marks_fade(bytes, placement))
                            refuse_placement(bytes, targets, track_number, placement, false,
                                             layout);
                        return;
                    }
                    const std::uint64_t p = placement.payload_position;
                    if (!bytes_fit(bytes, p, kind.placement_bytes)) {
                        refuse_placement(bytes, targets, track_number, placement, false, layout);
                        return;
                    }
                    // Fades stand in the same lists and reuse region numbers: not clips. They
                    // are kept apart, placed where they name a region, for --keep-fade-clips.
                    const bool fade = fade_placement(bytes, placement);
                    TrackRegion placed;
                    if (!place_region(targets, owner, track_number,
                                      read_u32le_checked(bytes, p + kPlacementRegion), false,
                                      layout, placed, !fade)) {
                        return;
                    }
                    if (kind.current) {
                        // 48 bits: tick-based tracks store ticks + 10^12, which passes 2^32.
                        placed.start = static_cast<std::int64_t>(
                            read_u48le_checked(bytes, p + kPlacementStart));
                        placed.flag = mark == 1 ? 1 : 0;
                    }
                    (fade ? layout.fade_track_regions : tracks).push_back(std::move(placed));
                });
            });
            ++track_number;
        });
    }
}

// Orders by track and numbers the tracks from 0 without holes.
void tidy_audio_track_regions(std::vector<TrackRegion>& tracks) {
    const auto by_track = [](const TrackRegion& a, const TrackRegion& b) {
        return a.track_index < b.track_index;
    };
    if (!std::is_sorted(tracks.begin(), tracks.end(), by_track)) {
        // Sorted through their positions, then moved into place cycle by cycle: a stable sort
        // of the records themselves would hold a buffer of half of them on top.
        std::vector<std::size_t> order(tracks.size());
        for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
        std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
            return tracks[a].track_index < tracks[b].track_index;
        });
        // order[k] is the record that belongs at k; a place filled is marked by order[k] == k.
        for (std::size_t start = 0; start < order.size(); ++start) {
            if (order[start] == start) continue;
            TrackRegion held = std::move(tracks[start]);
            std::size_t k = start;
            while (order[k] != start) {
                const std::size_t from = order[k];
                tracks[k] = std::move(tracks[from]);
                order[k] = k;
                k = from;
            }
            tracks[k] = std::move(held);
            order[k] = k;
        }
    }
    // Each jump between neighbours closes to one, and the first track becomes 0.
    std::uint16_t dense = 0;
    std::uint16_t previous = tracks.empty() ? 0 : tracks.front().track_index;
    for (TrackRegion& track : tracks) {
        if (track.track_index != previous) {
            ++dense;
            previous = track.track_index;
        }
        track.track_index = dense;
    }
}

// The fade placements go to the tracks that hold clips, numbered as tidy_audio_track_regions
// numbers those (their rank among the clips' track numbers); fades of a track without clips go.
// Called before the clips' tracks are renumbered.
void number_fades_as_tracks(SessionLayout& layout) {
    std::vector<TrackRegion>& fades = layout.fade_track_regions;
    if (fades.empty()) return;
    // The clips' track numbers are u16: marked in a table up to the highest, each number's rank
    // is the count of the numbers below it, with no sort of one number per clip.
    std::uint16_t highest = 0;
    for (const TrackRegion& placed : layout.audio_track_regions)
        highest = std::max(highest, placed.track_index);
    const std::size_t numbers = std::size_t{highest} + 1;
    std::vector<std::uint8_t> held(numbers, 0);
    for (const TrackRegion& placed : layout.audio_track_regions) held[placed.track_index] = 1;
    std::vector<std::uint16_t> rank(numbers, 0);
    std::uint32_t below = 0;
    for (std::size_t number = 0; number < numbers; ++number) {
        rank[number] = static_cast<std::uint16_t>(below);
        below += held[number];
    }
    // Kept in place: a second list would hold the fades twice while it is made.
    std::size_t kept = 0;
    for (std::size_t i = 0; i < fades.size(); ++i) {
        if (fades[i].track_index >= numbers || held[fades[i].track_index] == 0) continue;
        fades[i].track_index = rank[fades[i].track_index];
        if (kept != i) fades[kept] = std::move(fades[i]);
        ++kept;
    }
    fades.erase(fades.begin() + static_cast<std::ptrdiff_t>(kept), fades.end());
    const auto by_track = [](const TrackRegion& a, const TrackRegion& b) {
        return a.track_index < b.track_index;
    };
    if (!std::is_sorted(fades.begin(), fades.end(), by_track))
        std::stable_sort(fades.begin(), fades.end(), by_track);
}

// --- Track kinds and MIDI tracks -------------------------------------------------------------

// The content types of the track-kind blocks, in position order, found the way the content
// readers find blocks: every byte position is a candidate, and blocks may overlap.
std::vector<std::uint16_t> scan_track_kinds(Bytes bytes) {
    struct Found {
        std::uint64_t position = 0;
        std::uint64_t end = 0;
        std::uint16_t type = 0;
    };
    std::vector<Found> found;
    const auto collect = [&](std::uint16_t type) {
        scan_blocks(bytes, type, bytes.size(), [&](const BlockHeader& block) {
            if (high_byte_zero(block) && block.size != 0 && block_fits(bytes, block))
                found.push_back({block.position, block.end(), type});
            return false;
        });
    };
    collect(kTrackKindOuter);
    for (const std::uint16_t type : kTrackKinds) collect(type);
    // One content type per position: the lists merge into one order.
    std::sort(found.begin(), found.end(),
              [](const Found& a, const Found& b) { return a.position < b.position; });

    std::vector<std::uint16_t> kinds;
    std::uint64_t outer_end = 0;  // the furthest end of the 0x261D blocks met so far
    for (const Found& block : found) {
        if (block.type == kTrackKindOuter) {
            outer_end = std::max(outer_end, block.end);
            continue;
        }
        // Every 0x261D met so far starts before this block, so it lies inside one when that one
        // ends past its position.
        if (block.type == kTrackKindAudio && outer_end > block.position) continue;
        kinds.push_back(block.type);
    }
    return kinds;
}

// One slot per MIDI or instrument track of the track order, numbered from 0 within its node.
std::vector<TrackSlot> read_midi_track_slots(Bytes bytes, const Nodes& top) {
    std::vector<TrackSlot> slots;
    const std::vector<std::uint16_t> kinds = scan_track_kinds(bytes);
    for (const SessionBlockNode& top_block : top) {
        if (top_block.content_type != kTrackOrder) continue;
        const SessionBlockNode order = tree_of(bytes, top_block, 2);
        std::size_t k = 0;
        std::uint16_t appended = 0;
        for (const SessionBlockNode& entry : order.children) {
            if (entry.content_type != kTrackOrderEntry) continue;
            const std::size_t kind_index = k++;
            if (kind_index >= kinds.size()) continue;
            const std::uint16_t kind = kinds[kind_index];
            if (kind != kTrackKindMidi && kind != kTrackKindInstrument) continue;
            std::uint64_t name_length = 0;
            slots.push_back(
                {read_name(bytes, entry.payload_position + 4, name_length), appended++});
        }
    }
    return slots;
}

// --- MIDI chunks and regions -----------------------------------------------------------------

struct MidiChunkNotes {
    std::uint64_t zero_position = static_cast<std::uint64_t>(kTickOrigin);
    std::vector<MidiEvent> events;
    std::uint64_t largest_end = 0;  // relative to the zero position
};

// One chunk at the marker `q`; `next` is where the search for the next marker goes on.
MidiChunkNotes read_chunk(Bytes bytes, std::uint64_t q, std::uint64_t& next) {
    MidiChunkNotes chunk;
    const std::uint32_t count = read_u32le_checked(bytes, q + kChunkCountOffset);
    std::uint64_t e = q + kChunkEventsOffset;
    for (std::uint32_t i = 0; i < count && bytes_fit(bytes, e, kChunkEventSize); ++i) {
        // Positions and lengths are 48 bits wide, like the placement starts.
        const std::uint64_t position = read_u48le_checked(bytes, e);
        if (i == 0) chunk.zero_position = position;
        MidiEvent event;
        event.position = position - chunk.zero_position;
        event.note = read_u8_checked(bytes, e + 8);
        event.length = read_u48le_checked(bytes, e + 9);
        event.velocity = read_u8_checked(bytes, e + 17);
        chunk.largest_end = std::max(chunk.largest_end, event.position + event.length);
        chunk.events.push_back(event);
        e += kChunkEventSize;
    }
    next = e;
    return chunk;
}

std::vector<MidiChunkNotes> read_midi_chunks(Bytes bytes, const Nodes& top) {
    std::vector<MidiChunkNotes> chunks;
    for (const SessionBlockNode& node : top) {
        if (!one_of(node.content_type, kChunkNodes)) continue;
        const std::uint64_t end = payload_end(node);
        std::uint64_t pos = node.payload_position;
        while (pos + kChunkMarker.size() <= end) {
            if (std::memcmp(bytes.data() + pos, kChunkMarker.data(), kChunkMarker.size()) != 0) {
                ++pos;
                continue;
            }
            chunks.push_back(read_chunk(bytes, pos, pos));
        }
    }
    return chunks;
}

void read_midi_regions(Bytes bytes, const Nodes& top, const std::vector<MidiChunkNotes>& chunks,
                       std::vector<SessionRegion>& regions) {
    for (const SessionBlockNode& top_block : top) {
        if (!one_of(top_block.content_type, kChunkNodes) &&
            top_block.content_type != kMidiRegionList)
            continue;
        // Down to the MIDI region blocks and, in the region list, the blocks inside them.
        const SessionBlockNode node = tree_of(bytes, top_block, 4);
        if (one_of(node.content_type, kChunkNodes)) {
            for (const SessionBlockNode& group : node.children) {
                if (!one_of(group.content_type, kMidiRegionGroups)) continue;
                for (const SessionBlockNode& block : group.children) {
                    if (!one_of(block.content_type, kMidiRegionBlocks)) continue;
                    const std::uint64_t chunk_number =
                        read_u32le_checked(bytes, payload_end(block));
                    if (chunk_number >= chunks.size()) continue;
                    const MidiChunkNotes& chunk = chunks[chunk_number];
                    const std::uint64_t c = block.payload_position;
                    SessionRegion region;
                    region.region_index = static_cast<std::uint32_t>(regions.size());
                    std::uint64_t name_length = 0;
                    region.name = read_name(bytes, c + 2, name_length);
                    const NibbleInts ints = read_nibble_ints(bytes, c + 6 + name_length);
                    region.start = kTickOrigin;
                    region.source_offset =
                        static_cast<std::int64_t>(chunk.zero_position - ints.first);
                    region.length = static_cast<std::int64_t>(ints.second);
                    MidiRegionNotes& notes = region.midi.edit();
                    notes.events = chunk.events;
                    notes.extra = static_cast<std::int32_t>(chunk_number);
                    notes.chunk_position = chunk.zero_position;
                    regions.push_back(std::move(region));
                }
            }
        } else if (node.content_type == kMidiRegionList) {
            for (const SessionBlockNode& entry : node.children) {
                if (entry.content_type != kMidiRegionListEntry) continue;
                for (const SessionBlockNode& block : entry.children) {
                    if (block.content_type != kMidiRegion) continue;
                    const bool compound =
                        std::any_of(block.children.begin(), block.children.end(),
                                    [](const SessionBlockNode& child) {
                                        return child.content_type == kCompoundMark;
                                    });
                    if (compound) continue;
                    const std::uint16_t chunk_number =
                        read_u16le_checked(bytes, payload_end(block) + 2);
                    if (chunk_number >= chunks.size()) continue;
                    const MidiChunkNotes& chunk = chunks[chunk_number];
                    SessionRegion region;
                    region.region_index = chunk_number;
                    if (!regions.empty()) region.name = regions.back().name;
                    region.start = kTickOrigin;
                    region.length = static_cast<std::int64_t>(chunk.largest_end);
                    MidiRegionNotes& notes = region.midi.edit();
                    notes.events = chunk.events;
                    notes.extra = chunk_number;
                    notes.chunk_position = chunk.zero_position;
                    regions.push_back(std::move(region));
                }
            }
        }
    }
}

// Appends the placement containers read to `containers`.
void read_midi_placements(Bytes bytes, const Nodes& top, const std::vector<TrackSlot>& slots,
                          SessionLayout& layout, std::vector<ListRange>& containers) {
    std::unordered_map<std::string, std::uint32_t> index_by_name;
    for (const TrackSlot& slot : slots) index_by_name.emplace(slot.name, slot.number);
    const PlacementTargets targets = index_targets(slots, layout.midi_regions);
    std::vector<TrackRegion>& tracks = layout.midi_track_regions;

    for (const SessionBlockNode& top_block : top) {
        if (top_block.content_type != kMidiPlacementTracks) continue;
        containers.push_back(block_range(top_block));
        const SessionBlockNode list = tree_of(bytes, top_block, 4);
        std::uint32_t seen = 0;
        for (const SessionBlockNode& track : list.children) {
            // Anything else in the list is a track whose header is damaged (or a playlist found
            // inside it), as on audio tracks: its placements are named after the track that
            // stood there.
            if (track.content_type != kMidiPlacementTrack) {
                refuse_placements_in(bytes, targets, seen, track, kPlacement, true, layout);
                continue;
            }
            std::uint64_t name_length = 0;
            const std::string name = read_name(bytes, track.payload_position + 2, name_length);
            const auto named = index_by_name.find(name);
            const std::uint32_t track_index = named != index_by_name.end() ? named->second : seen;
            ++seen;
            const TrackSlot* owner = find_track(targets, track_index);
            for (const SessionBlockNode& playlist : track.children) {
                // Likewise a damaged playlist, or a placement found inside one.
                if (playlist.content_type != kMidiPlaylist) {
                    refuse_placements_in(bytes, targets, track_index, playlist, kPlacement, true,
                                         layout);
                    continue;
                }
                const std::uint8_t mark = read_u8_checked(bytes, playlist.payload_position + 11);
                for (const SessionBlockNode& placement : playlist.children) {
                    // Likewise a placement whose content type is damaged.
                    if (placement.content_type != kPlacement) {
                        refuse_placement(bytes, targets, track_index, placement, true, layout);
                        continue;
                    }
                    const std::uint64_t p = placement.payload_position;
                    if (!bytes_fit(bytes, p, kPlacementTimeBase + 1)) {
                        refuse_placement(bytes, targets, track_index, placement, true, layout);
                        continue;
                    }
                    TrackRegion placed;
                    if (!place_region(targets, owner, track_index,
                                      read_u32le_checked(bytes, p + kPlacementRegion), true, layout,
                                      placed)) {
                        continue;
                    }
                    const std::int64_t stored =
                        static_cast<std::int64_t>(read_u48le_checked(bytes, p + kPlacementStart));
                    if (read_u8_checked(bytes, p + kPlacementTimeBase) == kTimeBaseSamples) {
                        placed.start = stored;
                        placed.start_in_samples = true;
                    } else {
                        placed.start = stored - kTickOrigin;
                    }
                    placed.flag = mark == 1 ? 1 : 0;
                    tracks.push_back(std::move(placed));
                }
            }
        }
    }
}

// --- Fallback --------------------------------------------------------------------------------

SessionRegion from_library(const PtfRegion& source) {
    SessionRegion region;
    region.region_index = source.index;
    region.name = source.name;
    region.start = source.start;
    region.source_offset = source.source_offset;
    region.length = source.length;
    region.audio_file_name = source.audio_file_name;
    region.audio_file_index = source.audio_file_index;
    for (const PtfMidiNote& note : source.midi_notes) {
        region.midi.edit().events.push_back({note.position, note.length, note.note, note.velocity});
    }
    return region;
}

bool same_region(const SessionRegion& a, const SessionRegion& b) {
    const auto notes_equal = [](const MidiEvent& x, const MidiEvent& y) {
        return x.position == y.position && x.length == y.length && x.note == y.note &&
               x.velocity == y.velocity;
    };
    return a.region_index == b.region_index && a.name == b.name &&
           a.source_offset == b.source_offset && a.length == b.length &&
           a.audio_file_name == b.audio_file_name && a.audio_file_index == b.audio_file_index &&
           std::equal(a.midi->events.begin(), a.midi->events.end(), b.midi->events.begin(),
                      b.midi->events.end(), notes_equal);
}

// The library's track regions, each naming the region of `regions` it places: the listed one
// with its index when the two agree, else its own copy added to the list.
void from_library(const std::vector<PtfTrack>& sources, std::vector<SessionRegion>& regions,
                  std::vector<TrackRegion>& out) {
    std::unordered_map<std::uint32_t, std::size_t> by_index;
    for (std::size_t i = 0; i < regions.size(); ++i) by_index.emplace(regions[i].region_index, i);
    for (const PtfTrack& source : sources) {
        TrackRegion track;
        track.track_name = source.name;
        track.track_index = source.index;
        track.start = source.region.start;
        SessionRegion region = from_library(source.region);
        const auto listed = by_index.find(region.region_index);
        if (listed != by_index.end() && same_region(regions[listed->second], region)) {
            track.region = static_cast<std::uint32_t>(listed->second);
        } else {
            track.region = static_cast<std::uint32_t>(regions.size());
            regions.push_back(std::move(region));
        }
        out.push_back(std::move(track));
    }
}

}  // namespace

bool session_walk_accepts(const std::uint8_t* bytes, std::uint64_t length) {
    return bytes != nullptr && length >= kShortestSession && bytes[kByteOrderPosition] == 0;
}

int walk_session_tree(const std::uint8_t* bytes, std::uint64_t length,
                      const std::vector<AudioFilePair>& files, SessionLayout& layout) {
    layout.audio_regions.clear();
    layout.midi_regions.clear();
    layout.audio_track_regions.clear();
    layout.midi_track_regions.clear();
    layout.fade_track_regions.clear();
    layout.released_audio_track_regions = 0;
    layout.unplaced.clear();
    layout.refused.clear();
    layout.lost_audio_clips = 0;
    layout.lost_midi_clips = 0;
    if (!session_walk_accepts(bytes, length)) return 0;

    const Bytes view(bytes, static_cast<std::size_t>(length));
    const Nodes top = parse_top_level_headers(bytes, length);

    read_audio_regions(view, top, files, layout.audio_regions);
    const std::vector<TrackSlot> audio_tracks = read_audio_track_slots(view, top);
    const std::vector<TrackSlot> midi_tracks = read_midi_track_slots(view, top);
    std::vector<ListRange> audio_containers;
    read_audio_placements(view, top, audio_tracks, layout, audio_containers);
    number_fades_as_tracks(layout);
    tidy_audio_track_regions(layout.audio_track_regions);

    const std::vector<MidiChunkNotes> chunks = read_midi_chunks(view, top);
    read_midi_regions(view, top, chunks, layout.midi_regions);
    std::vector<ListRange> midi_containers;
    read_midi_placements(view, top, midi_tracks, layout, midi_containers);

    // The playlists of a container that is damaged, or that the file ends inside, stand outside
    // every container read: their clips are counted, as nothing places them.
    layout.lost_audio_clips =
        count_uncovered_list_clips(bytes, length, kClipListType, std::move(audio_containers));
    layout.lost_midi_clips =
        count_uncovered_list_clips(bytes, length, kMidiListType, std::move(midi_containers));
    return 1;
}

void load_session_regions(const PTFFormat& session, SessionLayout& layout) {
    std::vector<AudioFilePair> files;
    for (std::size_t i = 0; i < session.audio_files().size(); ++i) {
        files.push_back({session.audio_files()[i].name, static_cast<std::uint16_t>(i)});
    }
    if (walk_session_tree(session.bytes().data(), session.length(), files, layout) != 0) return;

    for (const PtfRegion& region : session.regions()) {
        layout.audio_regions.push_back(from_library(region));
    }
    from_library(session.tracks(), layout.audio_regions, layout.audio_track_regions);
    from_library(session.midi_tracks(), layout.midi_regions, layout.midi_track_regions);
}
