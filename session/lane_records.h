// The mixer lanes of the track list: each track's fader block and its automation lists.
//
// A track block (0x261b audio, 0x2620 MIDI, 0x2621 instrument, 0x261d master) holds lane blocks
// (0x260d): the first is the track's own, the later ones its sends. A lane opens with its fader
// block at +9:
//   0x1029 (size >= 157)  +9 u8 post-fader flag (0 or 1)   +10 i32 level, tenths of a dB,
//          -1450..125   +14 u32 1 when muted   +22 i32 pan (left), percent   +50 i32 right pan
// then an output name block (0x260e), then breakpoint lists (0x260a), loose or inside group
// blocks (0x260c): volume, mute, pan, and after them the right pan and the trim. Real sessions
// keep each pan side alone in a 0x260c block; a stereo track's right pan is then the first list
// of the second 0x260c block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "model/mix_records.h"
#include "session/mixer_blocks.h"
#include "session/scan.h"

// The fader block test: content type 0x1029, zero byte at +2, size of at least 157, inside the
// bytes, a post-fader flag of 0 or 1 and a level in -1450..125.
bool is_fader_block(SessionBytes bytes, std::size_t position);

// Replaces `out` by one lane set per track-list name and gives each the first fader block of
// its track: level, mute, pans and the fader's position. Fader blocks go to tracks through the
// named blocks when their second names are the track list, else through the last occurrence of
// a track name before them.
void merge_lane_records(const std::uint8_t* data, std::size_t length,
                        std::span<const std::string> track_list, std::vector<TrackLaneSet>& out);

// Fills the curves of every assigned lane set from the lists of its track block's first lane.
void read_automation_lanes_2(const std::uint8_t* data, std::size_t length,
                             std::vector<TrackLaneSet>& lane_sets);

// The 0x260c ranges and 0x260a lists between `start` and `end`.
void read_breakpoints(const std::uint8_t* data, std::size_t length, std::uint64_t start,
                      std::uint64_t end, BreakpointGroups& out);

// The 0x260c and 0x260a blocks of the whole session, found once, so that lanes nested in one
// another (each holding all the lists of the ones inside it) are not each searched to their end.
class BreakpointIndex {
  public:
    BreakpointIndex(const std::uint8_t* data, std::size_t length);
    // The part of read_breakpoints(start, end)'s answer that a send reads: its multi flag; when it
    // is 0, the first four lists in `loose` and no groups; when it is 1, the first three loose
    // lists and the first two groups with the first two lists of each. False when group blocks
    // there overlap one another: read_breakpoints gives the answer then.
    bool send_lists(std::uint64_t start, std::uint64_t end, BreakpointGroups& out) const;

  private:
    struct Group {
        std::uint64_t position = 0;
        std::uint64_t end = 0;
    };
    std::size_t length_;
    std::vector<Group> groups_;            // by position
    std::vector<std::uint64_t> lists_;     // by position
    std::vector<std::uint32_t> overlaps_;  // groups before i + 1 starting inside the one before
    std::vector<std::uint32_t> many_;      // groups before i holding two or more lists
    std::vector<std::uint64_t> outside_;   // lists outside the last group starting before them
    // Up to `count` lists at positions from..to (inclusive), appended.
    void take(std::uint64_t from, std::uint64_t to, std::size_t count,
              std::vector<std::uint64_t>& out) const;
    std::size_t lists_between(std::uint64_t from, std::uint64_t to) const;
};

// For each range, the index of the first assigned lane set (by index) whose fader position lies
// strictly inside it, or -1; no range is tested against every lane set.
std::vector<std::ptrdiff_t> first_lane_set_inside(std::span<const TrackLaneSet> lane_sets,
                                                  const std::vector<BlockRange>& ranges);

// The pan layout of the track block [start, end): 0, 1 or 2, read from the byte after its first
// child block and, when that is 0, from the second group of its first lane.
int find_child_end(const std::uint8_t* data, std::size_t length, std::uint64_t start,
                   std::uint64_t end);

// The pan layouts of many track blocks, each read once. The headers inside the blocks are
// collected in one pass, so that blocks nested in one another, or a block asked once per send,
// are not each searched to their first child again.
class TrackLayouts {
  public:
    TrackLayouts(const std::uint8_t* data, std::size_t length,
                 const std::vector<BlockHeader>& tracks);
    // find_child_end(data, length, track.position, track.end()) for one of the tracks.
    int of(const BlockHeader& track);

  private:
    const std::uint8_t* data_;
    std::size_t length_;
    BlockStarts children_;
    std::unordered_map<std::uint64_t, int> known_;  // by the track's position
};
