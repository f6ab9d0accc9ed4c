// Mix, edit and VCA groups as the session stores them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// One stored group record. A live group is stored in more than one list, so the same group can
// appear several times; nothing is merged here.
struct SessionGroup {
    std::string name;
    std::vector<std::uint32_t> members;  // strip-list indices, stored as u16
    std::uint32_t type = 0;              // 0 Edit, 1 Mix, 2 Mix and Edit
    std::int32_t extra_index = -1;       // strip index of the group's VCA master; -1 none
    std::uint32_t slot = 0;              // the byte after the type
    std::uint32_t active = 1;
    std::array<std::uint8_t, 32> attributes{};  // bytes 0, 1, 7 and 8 become group masks
    std::uint32_t has_attributes = 0;
};

// The group named "<ALL>" holds every strip: its member count bounds the session's track count.
inline constexpr const char* kAllGroupName = "<ALL>";

// Appends one record per 0x202a block whose name, member list and 0xFE 0xFF closing bytes lie
// inside the block.
void read_groups(const std::uint8_t* data, std::size_t length, std::vector<SessionGroup>& out);
