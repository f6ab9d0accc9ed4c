#include "session/digitrim.h"

#include <cstring>

namespace {

constexpr char kTag[] = "DigiTrim";
constexpr std::size_t kTagLength = 8;
constexpr std::uint32_t kFlagSet = 0x7FFFFFFF;

std::uint32_t read_u32be(const std::uint8_t* at) {
    return (std::uint32_t{at[0]} << 24) | (std::uint32_t{at[1]} << 16) |
           (std::uint32_t{at[2]} << 8) | at[3];
}

// Calls visit(position) at each record between start and the limit; visit returns how far to
// move on (0: one byte).
template <typename Visit>
void for_each_record(const std::uint8_t* data, std::size_t length, std::size_t start,
                     std::size_t end, Visit&& visit) {
    if (data == nullptr) return;
    const std::size_t limit = end < length ? end : length;
    for (std::size_t at = start; at < limit && limit - at >= kTagLength;) {
        if (std::memcmp(data + at, kTag, kTagLength) != 0) {
            ++at;
            continue;
        }
        const std::size_t step = visit(at, limit - at);
        at += step == 0 ? 1 : step;
    }
}

}  // namespace

void find_digitrim(const std::uint8_t* data, std::size_t length, std::size_t start, std::size_t end,
                   std::vector<std::uint32_t>& out) {
    out.clear();
    for_each_record(data, length, start, end, [&](std::size_t at, std::size_t room) {
        if (room < 52) return std::size_t{0};
        out.push_back(read_u32be(data + at + 48));
        return std::size_t{52};
    });
}

bool has_digitrim(const std::uint8_t* data, std::size_t length, std::size_t start,
                  std::size_t end) {
    bool set = false;
    bool seen = false;
    for_each_record(data, length, start, end, [&](std::size_t at, std::size_t room) {
        if (!seen && room >= 56) set = read_u32be(data + at + 52) == kFlagSet;
        seen = true;
        return room;  // only the first record counts
    });
    return set;
}

void read_digitrim_values(const std::uint8_t* data, std::size_t length, std::size_t start,
                          std::size_t end, std::vector<std::uint32_t>& out) {
    out.clear();
    for_each_record(data, length, start, end, [&](std::size_t at, std::size_t room) {
        if (room < 56) return std::size_t{0};
        out.push_back(read_u32be(data + at + 52) == kFlagSet ? 1u : 0u);
        return std::size_t{56};
    });
}
