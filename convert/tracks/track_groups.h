// The session's mix, edit and VCA groups as REAPER group masks.
//
// A live group is listed both in the Mix list and in the Edit list, so only records stored at
// least twice with the same name and member list are kept. Members are positions in the strip
// list (the session-head names); the group "<ALL>" holds every strip, and its member count must
// equal the strip list's size for any position to be trusted.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "session/groups.h"
#include "session/track_names.h"

// The six masks in the order of the GROUP_FLAGS words they go into: attribute 0 (words 0 and 1),
// VCA master (20), VCA slave (21), attribute 1 (4 and 5), attribute 7 (6 and 7), attribute 8 (12
// and 13).
using GroupMaskSet = std::array<std::uint32_t, 6>;

struct TrackGroups {
    std::int32_t strip_bound = -1;  // the largest "<ALL>" member count; -1 without one
    std::uint8_t membership_off = 0;
    std::int32_t membership_bound = 0;  // the bound membership_off was set from
    std::int32_t strip_count = 0;       // the strip list's size it was compared with
    std::vector<SessionGroup> kept;
    std::set<std::string> once_only;
    int once_only_count = 0;

    std::map<std::string, GroupMaskSet> masks;                  // by strip name
    std::map<std::string, double> vca_levels;                   // dB, by VCA master name
    std::map<std::string, std::string> unsupported_attributes;  // "#2 #5", by group name
    std::set<std::string> edit_groups;
    std::set<std::string> unknown_type_groups;
    std::set<std::string> vca_master_not_strip;
    std::set<std::string> master_fader_groups;
    int written = 0;
    int vca_seen = 0;
    int vca_written = 0;
    int past_32 = 0;
    int out_of_range_members = 0;  // member positions outside the strip list
};

// Keeps the records stored at least twice, once each; the strip bound comes from "<ALL>", and
// the strip list's size decides whether membership can be written.
TrackGroups keep_stored_groups(const std::vector<SessionGroup>& records, std::size_t strip_count);

// The masks, VCA levels and group sets; nothing when membership is off. `vca_values` maps a
// named-block index to its stored VCA fader value (tenths of a dB).
void build_group_masks(TrackGroups& groups, const std::vector<std::string>& strips,
                       const std::vector<NamedBlockEntry>& named,
                       const std::map<std::size_t, std::uint32_t>& vca_values);

// The masks of a track: by its name, else its session name; zeros when neither has any.
GroupMaskSet group_masks_of(const TrackGroups& groups, const std::string& name,
                            const std::string& session_name);
