// How the mixer's lanes meet the written tracks: the name each lane group goes by, the output
// and bus names, and the sends as receives.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "model/mix_records.h"
#include "model/output_model.h"
#include "model/session_send.h"

// The name a lane group goes by: that of the first assigned lane set whose fader lies strictly
// inside the group's track block, else the group's own name.
const std::string& lane_group_name(const LaneGroup& group, std::span<const TrackLaneSet> lane_sets);

// lane_group_name of every group, in order, without testing every group against every lane
// set.
std::vector<std::string> lane_group_names(std::span<const LaneGroup> groups,
                                          std::span<const TrackLaneSet> lane_sets);

// Lane sets that found their fader block.
int assigned_lane_sets(std::span<const TrackLaneSet> lane_sets);
