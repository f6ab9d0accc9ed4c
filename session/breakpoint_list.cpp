#include "session/breakpoint_list.h"

#include "session/scan.h"
#include "util/bytes.h"

namespace {

constexpr std::size_t kCount = 25;
constexpr std::size_t kDataMark = 27;
constexpr std::size_t kInitial = 35;
constexpr std::size_t kEntries = 37;
constexpr std::size_t kEntrySize = 6;
constexpr std::uint32_t kMinSize = 32;

}  // namespace

void read_breakpoint_list(const std::uint8_t* data, std::size_t length, std::uint64_t position,
                          AutomationCurve& out) {
    out = AutomationCurve{};
    const SessionBytes bytes = session_bytes(data, length);
    if (position >= length || !bytes_fit(bytes, static_cast<std::size_t>(position), 9)) return;
    const std::size_t p = static_cast<std::size_t>(position);
    if (data[p] != kBlockMarker) return;
    const std::uint32_t size = read_u32le_checked(bytes, p + 3);
    if (size < kMinSize || !bytes_fit(bytes, p, kInitial + 2)) return;
    const std::size_t end = p + 7 + size < length ? p + 7 + size : length;

    const std::size_t count = read_u16le_checked(bytes, p + kCount);
    out.has_data = read_u40le_checked(bytes, p + kDataMark) != 0 ? 1 : 0;
    out.initial_value = static_cast<std::int16_t>(read_u16le_checked(bytes, p + kInitial));
    if (count == 0 || end - p < kEntrySize * count + kEntries + 2) return;
    out.points.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t at = p + kEntries + kEntrySize * i;
        out.points.push_back(
            {static_cast<double>(read_u32le_checked(bytes, at)),
             static_cast<double>(static_cast<std::int16_t>(read_u16le_checked(bytes, at + 4)))});
    }
}
