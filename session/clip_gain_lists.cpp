#include "session/clip_gain_lists.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>

#include "session/mixer_blocks.h"
#include "util/bytes.h"

namespace {

constexpr std::uint16_t kGainListsType = 0x2637;
constexpr std::uint16_t kClipType = 0x2628;
constexpr std::uint32_t kMaxLists = 100000;
constexpr double kMaxGainDb = 37.0;
constexpr std::uint32_t kMaxClipName = 128;
constexpr std::string_view kIndexMark("\xff\xff\x04\x00\x04\x00", 6);

// The stored gain as played: at or below the floor (and -inf) the clip is silent, which stays
// finite on purpose; a gain REAPER could not play (NaN, +inf, 37 dB and more) is left at 0 dB.
double gain_db(float stored) {
    const double db = stored;
    if (std::isnan(db)) return 0.0;
    if (db <= kClipGainFloorDb) return kClipGainFloorDb;
    if (db >= kMaxGainDb) return 0.0;
    return db;
}

float read_f32(SessionBytes bytes, std::size_t pos) {
    const std::uint32_t raw = read_u32le_checked(bytes, pos);
    float value;
    std::memcpy(&value, &raw, sizeof value);
    return value;
}

// The list index a clip block names; false when it names none.
bool clip_list_index(SessionBytes bytes, const BlockHeader& clip,
                     const std::vector<std::size_t>& marks, std::uint32_t& index) {
    const std::size_t p = static_cast<std::size_t>(clip.position);
    const std::size_t end = static_cast<std::size_t>(clip.end());
    index = read_u32le_checked(bytes, end - 4);
    if (clip.size <= 39) return true;
    // The last mark that starts between +13 and end - 5.
    const auto after = std::upper_bound(marks.begin(), marks.end(), end - 5);
    if (after == marks.begin() || *std::prev(after) < p + 13) return true;
    const std::size_t x = *std::prev(after);
    if (x + 31 <= end) index = read_u32le_checked(bytes, x + 27);
    BlockHeader nested;
    nested.position = x + 10;
    if (bytes_fit(bytes, x + 10, 9) && bytes[x + 10] == kBlockMarker && bytes[x + 12] == 0) {
        const std::uint64_t size = read_u32le_checked(bytes, x + 13);
        if (size != 0 && x + 10 + 7 + size <= end && x + size + 38 <= end)
            index = read_u32le_checked(bytes, static_cast<std::size_t>(x + size + 34));
    }
    return true;
}

// Calls visit(clip name, list) for every clip block that names a list.
template <typename Visit>
void for_each_clip_list(const std::uint8_t* data, std::size_t length,
                        const std::vector<GainCurve>& lists, Visit&& visit) {
    if (lists.empty() || length < 14) return;
    const SessionBytes bytes = session_bytes(data, length);
    const std::vector<std::size_t> marks = find_all(bytes, kIndexMark);
    scan_blocks(bytes, kClipType, length - 14, [&](const BlockHeader& clip) {
        if (clip.size < 8 || !block_fits(bytes, clip)) return false;
        std::uint32_t index = 0;
        if (!clip_list_index(bytes, clip, marks, index) || index >= lists.size()) return false;
        std::string_view name;
        if (!read_text_at(bytes, static_cast<std::size_t>(clip.position) + 9, bytes.size(), 1,
                          kMaxClipName, TextBytes::name, name))
            return false;
        visit(std::string(name), lists[index]);
        return false;
    });
}

}  // namespace

void read_gain_breakpoints_2637(const std::uint8_t* data, std::size_t length,
                                std::vector<GainCurve>& out, int* mismatches) {
    if (length < 20) return;
    const SessionBytes bytes = session_bytes(data, length);
    BlockHeader table;
    const bool found = scan_blocks(bytes, kGainListsType, length - 20, [&](const BlockHeader& b) {
        table = b;
        return bytes[static_cast<std::size_t>(b.position) + 2] == 0 && b.size != 0 &&
               block_fits(bytes, b) &&
               read_u32le_checked(bytes, static_cast<std::size_t>(b.position) + 9) <= kMaxLists;
    });
    if (!found) return;
    const std::uint32_t count =
        read_u32le_checked(bytes, static_cast<std::size_t>(table.position) + 9);
    std::size_t at = static_cast<std::size_t>(table.position) + 14;
    for (std::uint32_t n = 0; n < count && at + 8 <= length; ++n) {
        if (!bytes_fit(bytes, at, 9) || bytes[at] != kBlockMarker) break;
        const std::uint32_t size = read_u32le_checked(bytes, at + 3);
        if (size < 14 || size % 8 != 6 || !bytes_fit(bytes, at, 7 + std::size_t{size})) break;
        const std::size_t entries = (size - 14) / 8;
        if (read_u32le_checked(bytes, at + 9) != entries && mismatches) ++*mismatches;
        GainCurve curve;
        for (std::size_t j = 0; j < entries; ++j)
            curve.push_back({read_u32le_checked(bytes, at + 21 + 8 * j),
                             gain_db(read_f32(bytes, at + 25 + 8 * j))});
        if (curve.empty()) curve.push_back({0, 0.0});
        out.push_back(std::move(curve));
        at += 7 + std::size_t{size} + 1;
    }
}

void read_gain_envelopes_a(const std::uint8_t* data, std::size_t length,
                           std::map<std::string, double>& out) {
    std::vector<GainCurve> lists;
    read_gain_breakpoints_2637(data, length, lists);
    for_each_clip_list(data, length, lists, [&](std::string name, const GainCurve& list) {
        out[std::move(name)] = list.front().db;
    });
}

void read_gain_envelopes_b(const std::uint8_t* data, std::size_t length,
                           std::map<std::string, GainCurve>& out, int* mismatches) {
    std::vector<GainCurve> lists;
    read_gain_breakpoints_2637(data, length, lists, mismatches);
    for_each_clip_list(data, length, lists, [&](std::string name, const GainCurve& list) {
        if (list.size() >= 2) out[std::move(name)] = list;
    });
}
