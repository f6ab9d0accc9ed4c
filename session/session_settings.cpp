#include "session/session_settings.h"

#include <bit>
#include <cmath>

#include "util/bytes.h"

namespace {

constexpr std::uint16_t kAudioSettingsType = 0x1028;
constexpr std::uint16_t kClickType = 0x2055;
constexpr std::uint16_t kTimecodeType = 0x204d;
constexpr std::uint16_t kColorCodingType = 0x20a2;
constexpr std::uint16_t kVideoQualityType = 0x270a;
constexpr std::uint16_t kVideoRateType = 0x2519;
constexpr std::uint16_t kGridType = 0x2066;

bool too_short(std::size_t length) {
    return length < 10;
}

// The first 0x1028 block whose byte at list end + `offset` lies inside it; false without one.
bool find_after_paths(SessionBytes bytes, std::size_t offset, std::size_t& at) {
    return scan_blocks(bytes, kAudioSettingsType, last_scan_position(bytes.size()),
                       [&](const BlockHeader& block) {
                           std::size_t list_end = 0;
                           if (!read_path_list_end(bytes, block, list_end)) return false;
                           if (list_end + offset >= readable_end(bytes, block)) return false;
                           at = list_end;
                           return true;
                       });
}

bool is_digit(std::uint8_t byte) {
    return byte >= '0' && byte <= '9';
}

// 1 to `max_digits` decimal digits from `pos`; false for none or for one more.
bool read_digits(SessionBytes bytes, std::size_t& pos, std::size_t limit, std::size_t max_digits,
                 std::uint32_t& value) {
    std::size_t count = 0;
    std::uint32_t result = 0;
    while (pos < limit && is_digit(bytes[pos])) {
        if (++count > max_digits) return false;
        result = result * 10 + (bytes[pos] - '0');
        ++pos;
    }
    if (count == 0) return false;
    value = result;
    return true;
}

bool read_char(SessionBytes bytes, std::size_t& pos, std::size_t limit, char c) {
    if (pos >= limit || bytes[pos] != static_cast<std::uint8_t>(c)) return false;
    ++pos;
    return true;
}

}  // namespace

bool read_path_list_end(SessionBytes bytes, const BlockHeader& block, std::size_t& list_end) {
    const std::size_t end = readable_end(bytes, block);
    std::size_t pos = static_cast<std::size_t>(block.position) + kPathListCountOffset;
    if (pos > end || end - pos < 4) return false;
    const std::uint32_t count = read_u32le_checked(bytes, pos);
    pos += 4;
    // Every path takes at least its 4 length bytes, so a huge count soon runs past the end.
    for (std::uint32_t i = 0; i < count; ++i) {
        if (end - pos < 4) return false;
        const std::uint32_t text_length = read_u32le_checked(bytes, pos);
        if (text_length > end - pos - 4) return false;
        pos += 4 + static_cast<std::size_t>(text_length);
    }
    list_end = pos;
    return true;
}

int read_session_file_format(const std::uint8_t* data, std::size_t length) {
    const SessionBytes bytes = session_bytes(data, length);
    if (length < 11) return 0;
    int format = 0;
    scan_blocks(bytes, kAudioSettingsType, length - 11, [&](const BlockHeader& block) {
        if (block.size < 4) return false;
        format = bytes[block.position + 9];
        return true;
    });
    return format;
}

int read_pan_depth(const std::uint8_t* data, std::size_t length) {
    const SessionBytes bytes = session_bytes(data, length);
    if (too_short(length)) return -1;
    std::size_t list_end = 0;
    if (!find_after_paths(bytes, kPanDepthAfterPaths, list_end)) return -1;
    return bytes[list_end + kPanDepthAfterPaths];
}

int read_session_bit_depth(const std::uint8_t* data, std::size_t length, int& is_float) {
    const SessionBytes bytes = session_bytes(data, length);
    is_float = 0;
    if (too_short(length)) return -1;
    std::size_t list_end = 0;
    if (!find_after_paths(bytes, kBitDepthAfterPaths, list_end)) return -1;
    is_float = bytes[list_end + kFloatFlagAfterPaths] != 0 ? 1 : 0;
    return bytes[list_end + kBitDepthAfterPaths];
}

int read_click_enabled(const std::uint8_t* data, std::size_t length) {
    const SessionBytes bytes = session_bytes(data, length);
    if (too_short(length)) return -1;
    int result = -1;
    // The first block of high byte 0 decides, whatever it holds.
    scan_blocks(bytes, kClickType, last_scan_position(length), [&](const BlockHeader& block) {
        if (!high_byte_zero(block)) return false;
        if (block.size == 31 && block_fits(bytes, block)) {
            const std::uint8_t flag = bytes[block.position + 29];
            if (flag <= 1) result = flag;
        }
        return true;
    });
    return result;
}

int read_204d_time_values(const std::uint8_t* data, std::size_t length, std::uint32_t& a,
                          std::uint32_t& b) {
    const SessionBytes bytes = session_bytes(data, length);
    a = 0xFFFFFFFFu;
    b = 0;
    if (too_short(length)) return 0;
    int result = 0;
    scan_blocks(bytes, kTimecodeType, last_scan_position(length), [&](const BlockHeader& block) {
        if (block.size <= 21) return false;
        // This block decides: a short one gives the defaults.
        if (!block_fits(bytes, block) || block.end() < block.position + 38) return true;
        const std::uint64_t name_length = read_u32le_checked(bytes, block.position + 34);
        if (name_length > 64 || block.end() < block.position + 38 + name_length + 8) return true;
        a = read_u32le_checked(bytes, block.position + 38 + name_length);
        b = read_u32le_checked(bytes, block.position + 42 + name_length);
        result = 1;
        return true;
    });
    return result;
}

std::uint32_t read_timecode_rate(const std::uint8_t* data, std::size_t length, int& code) {
    const SessionBytes bytes = session_bytes(data, length);
    code = -1;
    if (too_short(length)) return 0;
    std::uint32_t rate = 0;
    scan_blocks(bytes, kTimecodeType, last_scan_position(length), [&](const BlockHeader& block) {
        if (block.size < 22 || !bytes_fit(bytes, block.position + 18, 4)) return false;
        rate = read_u32le_checked(bytes, block.position + 18);
        code = bytes[block.position + 9];
        return true;
    });
    return rate;
}

namespace {

// The colour coding byte: `after_nested` bytes past the end of the nested block at +9 when that
// lies inside the outer block, else the byte at `fallback`.
int read_color_mode(const std::uint8_t* data, std::size_t length, std::uint32_t min_size,
                    std::uint64_t after_nested, std::uint64_t fallback) {
    const SessionBytes bytes = session_bytes(data, length);
    if (too_short(length)) return -1;
    int mode = -1;
    scan_blocks(bytes, kColorCodingType, last_scan_position(length), [&](const BlockHeader& block) {
        if (!high_byte_zero(block) || !block_fits(bytes, block)) return false;
        if (block.size < min_size) return false;
        const std::uint64_t p = block.position;
        std::uint64_t at = p + fallback;
        const std::uint64_t nested_size = read_u32le_checked(bytes, p + 12);
        if (bytes[p + 9] == kBlockMarker && bytes[p + 11] == 0 && nested_size != 0 &&
            p + 16 + nested_size + after_nested < block.end()) {
            at = p + 16 + nested_size + after_nested;
        }
        mode = bytes[at];
        return true;
    });
    return mode;
}

}  // namespace

int read_track_color_mode(const std::uint8_t* data, std::size_t length) {
    return read_color_mode(data, length, 30, 0, 36);
}

int read_clip_color_mode(const std::uint8_t* data, std::size_t length) {
    return read_color_mode(data, length, 32, 2, 38);
}

const char* track_color_mode_name(int mode) {
    switch (mode) {
        case 0:
            return "None";
        case 1:
            return "Tracks and MIDI Channels";
        case 2:
            return "Tracks and MIDI Devices";
        case 3:
            return "Groups";
        case 4:
            return "Track Type";
        default:
            return "";
    }
}

int read_video_quality(const std::uint8_t* data, std::size_t length) {
    const SessionBytes bytes = session_bytes(data, length);
    if (too_short(length)) return -1;
    int quality = -1;
    scan_blocks(bytes, kVideoQualityType, last_scan_position(length),
                [&](const BlockHeader& block) {
                    if (block.size <= 7 || !block_fits(bytes, block, 2)) return false;
                    quality = bytes[block.position + 13];
                    return true;
                });
    return quality;
}

double read_video_frame_rate(const std::uint8_t* data, std::size_t length) {
    static constexpr double kRates[] = {23.976, 24, 25, 29.97, 30, 47.952, 48, 50, 59.94, 60};
    const SessionBytes bytes = session_bytes(data, length);
    if (too_short(length)) return 0.0;
    double rate = 0.0;
    scan_blocks(bytes, kVideoRateType, last_scan_position(length), [&](const BlockHeader& block) {
        if (block.size < 12 || !block_fits(bytes, block, 2)) return false;
        const std::uint64_t raw = read_u64le_checked(bytes, block.position + 11);
        const std::uint64_t exponent = (raw >> 52) & 0x7ff;
        if (exponent == 0 || exponent == 0x7ff) return false;
        const double v = std::bit_cast<double>(raw);
        if (!(v > 1.0 && v < 1000.0)) return false;
        for (double r : kRates) {
            if (std::fabs(v - r) < 0.005 * r) {
                rate = v;
                return true;
            }
        }
        return false;
    });
    return rate;
}

bool parse_bars_beats_ticks(SessionBytes bytes, std::size_t pos, std::size_t limit,
                            BarsBeatsTicks& out, std::size_t& end) {
    if (limit > bytes.size()) limit = bytes.size();
    while (pos < limit && bytes[pos] == ' ') ++pos;
    BarsBeatsTicks value;
    if (!read_digits(bytes, pos, limit, 7, value.bars) || !read_char(bytes, pos, limit, '|')) {
        return false;
    }
    read_char(bytes, pos, limit, ' ');
    if (!read_digits(bytes, pos, limit, 7, value.beats) || !read_char(bytes, pos, limit, '|')) {
        return false;
    }
    read_char(bytes, pos, limit, ' ');
    const std::size_t ticks_start = pos;
    if (!read_digits(bytes, pos, limit, 3, value.ticks) || pos - ticks_start != 3) return false;
    if (pos < limit && is_digit(bytes[pos])) return false;
    out = value;
    end = pos;
    return true;
}

void read_grid_and_nudge(const std::uint8_t* data, std::size_t length, BarsBeatsTicks& nudge,
                         BarsBeatsTicks& grid, int& found) {
    const SessionBytes bytes = session_bytes(data, length);
    found = 0;
    if (too_short(length)) return;
    scan_blocks(bytes, kGridType, last_scan_position(length), [&](const BlockHeader& block) {
        if (block.size < 24 || block.size > 4000 || !block_fits(bytes, block, 2)) return false;
        const std::size_t first = static_cast<std::size_t>(block.position) + 9;
        const std::size_t limit = first + block.size;
        BarsBeatsTicks values[2];
        int count = 0;
        std::size_t pos = first;
        while (pos < limit && count < 2) {
            const std::uint8_t byte = bytes[pos];
            const bool may_start =
                pos == first || !(is_digit(bytes[pos - 1]) || bytes[pos - 1] == ' ');
            std::size_t end = 0;
            if (may_start && (is_digit(byte) || byte == ' ') &&
                parse_bars_beats_ticks(bytes, pos, limit, values[count], end)) {
                ++count;
                pos = end;
            } else {
                ++pos;
            }
        }
        if (count == 2) {
            nudge = values[0];
            grid = values[1];
            found = 1;
        }
        return true;
    });
}
