#include "session/name_harvest.h"

#include <algorithm>
#include <array>
#include <bit>
#include <bitset>
#include <cstring>
#include <map>
#include <set>
#include <unordered_map>
#include <unordered_set>

#include "session/scan.h"
#include "util/names.h"

namespace {

// A gap wider than this between two names ends the run.
constexpr std::size_t kMaxRunGap = 40;
// The longest name the run of names takes.
constexpr std::uint32_t kLongestName = 64;

bool all_digits(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

struct StereoMarks {
    bool left = false;
    bool right = false;
};

// The three bytes before the stereo marks of one side, as 24-bit values: a sorted list while
// there are few, a bit for every value past that, so that neither a small session pays for the
// bits nor a session full of marks for the list.
class MarkEnds {
  public:
    void add(std::uint32_t key) {
        if (!bits_.empty()) {
            bits_[key] = true;
            return;
        }
        keys_.push_back(key);
        if (keys_.size() <= kMostListed) return;
        bits_.resize(std::size_t{1} << 24);
        for (std::uint32_t k : keys_) bits_[k] = true;
        keys_ = {};
    }
    // Called once, after the last `add`.
    void seal() {
        std::sort(keys_.begin(), keys_.end());
        keys_.erase(std::unique(keys_.begin(), keys_.end()), keys_.end());
    }
    bool contains(std::uint32_t key) const {
        return bits_.empty() ? std::binary_search(keys_.begin(), keys_.end(), key) : bits_[key];
    }
    bool empty() const { return keys_.empty() && bits_.empty(); }

  private:
    static constexpr std::size_t kMostListed = std::size_t{1} << 16;
    std::vector<std::uint32_t> keys_;
    std::vector<bool> bits_;
};

// The eight bytes at `at` as one word, the first in the lowest byte (one load on most machines).
std::uint64_t eight_bytes(const std::uint8_t* at) {
    std::uint64_t word = 0;
    for (int i = 0; i < 8; ++i) word |= std::uint64_t{at[i]} << (8 * i);
    return word;
}

constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7FULL;
constexpr std::uint64_t kTops = 0x8080808080808080ULL;

// The top bit of each byte of the eight at `at` that is 0. Each byte is told apart in its own
// lane: adding to its low seven bits never carries out of it.
std::uint64_t zero_bytes(const std::uint8_t* at) {
    const std::uint64_t word = eight_bytes(at);
    return ~(((word & kLow7) + kLow7) | word) & kTops;
}

// Of the eight positions from `at` (reading eleven bytes), those holding 3 to 40 followed by three
// bytes of 0, as the top bit of their byte: where a text's u32 length can start.
std::uint64_t length_starts(const std::uint8_t* at) {
    const std::uint64_t word = eight_bytes(at);
    const std::uint64_t low = word & kLow7;
    const std::uint64_t at_least_3 = low + 0x7D7D7D7D7D7D7D7DULL;  // 0x80 - 3
    const std::uint64_t above_40 = low + 0x5757575757575757ULL;    // 0x7F - 40
    const std::uint64_t lengths = at_least_3 & ~above_40 & ~word & kTops;
    return lengths & zero_bytes(at + 1) & zero_bytes(at + 2) & zero_bytes(at + 3);
}

// A text the run of names takes: a u32 length of 2 to 64 at `pos`, name bytes, and neither a
// path nor a file name.
bool run_text_at(SessionBytes bytes, std::size_t pos, std::string_view& text) {
    return read_text_at(bytes, pos, bytes.size(), 2, kLongestName, TextBytes::name, text) &&
           !is_path_or_file_name(text);
}

// A known name that a run can hold, as `run_text_at` would read it.
bool holdable_name(std::string_view name) {
    return name.size() >= 2 && name.size() <= kLongestName &&
           text_has_bytes(name, TextBytes::name) && !is_path_or_file_name(name);
}

// One run of names, as views of the session bytes.
struct NameRun {
    std::vector<std::string_view> names;
    std::size_t known = 0;  // the known names among them
    std::size_t next = 0;   // where the text that ended it stands, or the end of the bytes
};

// The run that starts with the known `first` at `start`. Each later text that begins after the
// end of the one before it and at most 40 bytes further is taken, once, and moves the end on;
// the first further away ends the run. Nothing but such a gap ends it.
NameRun read_name_run(SessionBytes bytes, std::size_t start, std::string_view first,
                      const std::unordered_set<std::string_view>& known) {
    NameRun run;
    std::unordered_set<std::string_view> held;
    const auto take = [&](std::string_view text) {
        if (!held.insert(text).second) return;
        run.names.push_back(text);
        if (known.contains(text)) ++run.known;
    };
    take(first);
    std::size_t run_end = start + 4 + first.size();
    const std::uint8_t* data = bytes.data();
    std::size_t pos = run_end;
    for (; pos < bytes.size(); ++pos) {
        if (pos - run_end > kMaxRunGap) break;
        // A length of 2 to 64 as a u32: most positions fail on its bytes, told here.
        if (pos + 4 <= bytes.size() && (data[pos] < 2 || data[pos] > kLongestName ||
                                        (data[pos + 1] | data[pos + 2] | data[pos + 3]) != 0))
            continue;
        std::string_view text;
        if (!run_text_at(bytes, pos, text)) continue;
        take(text);
        run_end = pos + 4 + text.size();
        pos = run_end - 1;  // the next text begins after this one
    }
    run.next = pos;
    return run;
}

}  // namespace

bool is_path_or_file_name(std::string_view text) {
    static constexpr std::array<std::string_view, 18> kFolderWords = {
        "Users",         "Documents",
        "AppData",       "Roaming",
        "Local",         "Temp",
        "Pro Tools",     "Pro Tools Projects",
        "Audio Files",   "Plug-In Settings",
        "Avid",          "Music",
        "Desktop",       "Video Files",
        "Bounced Files", "Session File Backups",
        "WaveCache.wfm", "Rendered Files"};
    static constexpr std::array<std::string_view, 8> kFileTypes = {"wav", "aif", "aiff", "mp3",
                                                                   "ptx", "pio", "tfx",  "wfm"};
    if (text.size() < 2 || text.find_first_of(":\\/") != std::string_view::npos) return true;
    if (std::find(kFolderWords.begin(), kFolderWords.end(), text) != kFolderWords.end()) {
        return true;
    }
    const std::size_t point = text.rfind('.');
    if (point == std::string_view::npos || point + 1 == text.size()) return false;
    const std::string type = to_lower_copy(text.substr(point + 1));
    return std::find(kFileTypes.begin(), kFileTypes.end(), type) != kFileTypes.end();
}

bool parse_bus_name(std::string_view text, std::string& first, std::string& second) {
    if (text.size() < 7 || !text.starts_with("Bus ")) return false;
    const std::size_t dash = text.find('-', 4);
    if (dash == std::string_view::npos || dash + 1 >= text.size()) return false;
    const std::string_view left = text.substr(4, dash - 4);
    const std::string_view right = text.substr(dash + 1);
    if (!all_digits(left) || !all_digits(right)) return false;
    first = "Bus " + std::string(left);
    second = "Bus " + std::string(right);
    return true;
}

void harvest_session_strings(const std::uint8_t* data, std::size_t length,
                             std::vector<std::string>& out) {
    const SessionBytes bytes = session_bytes(data, length);
    if (length < 5) return;
    // A name is kept when it stands in the bytes as "name.L" and as "name.R" too, or as one of
    // the buses "Bus n-m", "Bus n" and "Bus m". The three bytes before each ".L" and each ".R"
    // tell most names apart first: a name that does not end in such three bytes of both sides
    // cannot be kept, and only the buses and the other names are held.
    MarkEnds left_ends;
    MarkEnds right_ends;
    const auto end_key = [&](std::size_t at) {  // the three bytes before `at`
        return std::uint32_t{data[at - 3]} << 16 | std::uint32_t{data[at - 2]} << 8 | data[at - 1];
    };
    for (std::size_t pos = 0; pos + 1 < length; ++pos) {
        const void* dot = std::memchr(data + pos, '.', length - 1 - pos);
        if (dot == nullptr) break;
        pos = static_cast<std::size_t>(static_cast<const std::uint8_t*>(dot) - data);
        if ((bytes[pos + 1] != 'L' && bytes[pos + 1] != 'R') || pos < 3) continue;
        (bytes[pos + 1] == 'L' ? left_ends : right_ends).add(end_key(pos));
    }
    left_ends.seal();
    right_ends.seal();
    const bool buses_only = left_ends.empty() || right_ends.empty();
    // The texts are views of the session bytes, held once each.
    std::unordered_map<std::string_view, StereoMarks> harvested;
    for (std::size_t pos = 0; pos <= length - 5; ++pos) {
        // Most positions fail on the length alone (3 to 40, as a u32). Eight positions are told
        // at once from the eleven bytes they read: passed over together when none can start a
        // length, else the first that can is taken.
        if (pos + 11 <= length) {
            const std::uint64_t starts = length_starts(data + pos);
            if (starts == 0) {
                pos += 7;
                continue;
            }
            pos += static_cast<std::size_t>(std::countr_zero(starts)) / 8;
        } else if (data[pos] < 3 || data[pos] > 40 || data[pos + 1] != 0 || data[pos + 2] != 0 ||
                   data[pos + 3] != 0) {
            continue;
        }
        if (buses_only && (pos + 8 > length || std::memcmp(data + pos + 4, "Bus ", 4) != 0))
            continue;
        std::string_view text;
        if (!read_text_at(bytes, pos, length, 3, 40, TextBytes::name, text)) continue;
        if (!text.starts_with("Bus ")) {
            const std::uint32_t key = end_key(pos + 4 + text.size());
            if (buses_only || !left_ends.contains(key) || !right_ends.contains(key)) continue;
        }
        if (text.find('.') != std::string_view::npos || is_path_or_file_name(text)) continue;
        harvested.try_emplace(text);
    }
    if (harvested.empty()) return;

    std::set<std::size_t> lengths;
    for (const auto& [text, marks] : harvested) lengths.insert(text.size());
    for (std::size_t pos = 0; !buses_only && pos + 1 < length; ++pos) {
        const void* dot = std::memchr(data + pos, '.', length - 1 - pos);
        if (dot == nullptr) break;
        pos = static_cast<std::size_t>(static_cast<const std::uint8_t*>(dot) - data);
        if (bytes[pos + 1] != 'L' && bytes[pos + 1] != 'R') continue;
        for (std::size_t n : lengths) {
            if (n > pos) break;
            const std::string_view before(reinterpret_cast<const char*>(data + pos - n), n);
            const auto found = harvested.find(before);
            if (found == harvested.end()) continue;
            (bytes[pos + 1] == 'L' ? found->second.left : found->second.right) = true;
        }
    }

    std::vector<std::string_view> kept;
    for (const auto& [text, marks] : harvested) {
        std::string first;
        std::string second;
        if (text.starts_with("Bus ") && parse_bus_name(text, first, second) &&
            harvested.contains(first) && harvested.contains(second)) {
            kept.push_back(text);
        } else if (!text.starts_with("Bus ") && marks.left && marks.right) {
            kept.push_back(text);
        }
    }
    std::sort(kept.begin(), kept.end());
    out.insert(out.end(), kept.begin(), kept.end());
}

void harvest_head_strings(const std::uint8_t* data, std::size_t length,
                          const std::vector<std::string>& known_names,
                          std::vector<std::string>& out) {
    const SessionBytes bytes = session_bytes(data, length);
    const std::unordered_set<std::string_view> known(known_names.begin(), known_names.end());
    // The known names a run can hold at all, and the lengths a run's first name can have.
    std::size_t holdable = 0;
    std::bitset<kLongestName + 1> start_lengths;
    for (std::string_view name : known)
        if (holdable_name(name)) {
            ++holdable;
            start_lengths.set(name.size());
        }
    if (holdable == 0) return;

    // The run of the most known names, the first of equals, is the session's track list: a
    // clip named like its track (as an import makes) stands alone before it. A run that holds
    // every name ends the search.
    NameRun best;
    for (std::size_t pos = 0; pos + 4 <= length;) {
        // A run starts at a known name: most positions fail on its length, told from four bytes.
        if (data[pos] > kLongestName || !start_lengths[data[pos]] ||
            (data[pos + 1] | data[pos + 2] | data[pos + 3]) != 0) {
            ++pos;
            continue;
        }
        std::string_view text;
        if (!run_text_at(bytes, pos, text) || !known.contains(text)) {
            ++pos;
            continue;
        }
        NameRun run = read_name_run(bytes, pos, text, known);
        pos = run.next;
        if (run.known > best.known) best = std::move(run);
        if (best.known == holdable) break;
    }
    if (best.known == 0) return;
    out.assign(best.names.begin(), best.names.end());
}
