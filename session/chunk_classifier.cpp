#include "session/chunk_classifier.h"

#include <array>
#include <cstring>
#include <string_view>
#include <vector>

#include "session/elck_chunks.h"
#include "session/settings_payload.h"
#include "util/bytes.h"

namespace {

constexpr std::uint32_t kKindClassified = 13;
constexpr std::size_t kAreaStart = 33;
constexpr std::size_t kRepeatCompared = 4096;
constexpr std::uint32_t kNoClose = 0xFFFFFFFF;
constexpr std::uint32_t kUnknownClose = 0xFFFFFFFE;

constexpr std::array<std::string_view, 12> kTags = {"VC2!",
                                                    "FFBS",
                                                    "XPst",
                                                    "hsin",
                                                    "FabF",
                                                    "HXMC",
                                                    "CMXH",
                                                    "<?xml",
                                                    "<AllData",
                                                    "#AMS",
                                                    "22 serialization::archive",
                                                    "RIFF"};

constexpr std::array<bool, 256> kTagFirstBytes = [] {
    std::array<bool, 256> first{};
    for (std::string_view tag : kTags) first[static_cast<std::uint8_t>(tag[0])] = true;
    return first;
}();

struct Candidate {
    std::size_t offset = 0;
    std::size_t length = 0;
    const char* label = nullptr;
    int score = 0;
    bool stored_twice = false;
};

struct Classifier {
    SessionBytes bytes;
    std::size_t block = 0;
    std::size_t end = 0;
    Candidate best;

    void offer(const Candidate& c) {
        if (c.score > best.score || (c.score == best.score && c.offset < best.offset)) best = c;
    }

    std::size_t text_count(std::size_t from, std::size_t to) const {
        std::size_t count = 0;
        for (std::size_t i = from; i < to; ++i) count += is_text_byte(bytes[i]) ? 1 : 0;
        return count;
    }

    // The whole area as text, then the first brace-balanced extent of text.
    void text_and_braces() {
        const std::size_t start = block + kAreaStart;
        const std::size_t area = end - start;
        if (area > 255 && text_count(start, end) * 100 >= area * 96) {
            offer({start, area, "text (no tag)", 3});
        }
        // One balance pass also settles every brace it opens outside quotes, so nested braces
        // are not walked again.
        std::vector<std::uint32_t> closes;
        std::vector<std::uint32_t> text_before;  // text bytes of the area before each position
        std::vector<std::size_t> open;
        for (std::size_t q = start; end - q >= 65; ++q) {
            if (bytes[q] != '{') continue;
            if (closes.empty()) {
                closes.assign(area, kUnknownClose);
                text_before.assign(area + 1, 0);
                for (std::size_t i = 0; i < area; ++i) {
                    text_before[i + 1] = text_before[i] + (is_text_byte(bytes[start + i]) ? 1 : 0);
                }
            }
            if (closes[q - start] == kUnknownClose) balance_from(q, start, closes, open);
            if (closes[q - start] == kNoClose) continue;
            const std::size_t length = closes[q - start] + 1;
            const std::size_t text = text_before[q - start + length] - text_before[q - start];
            if (length > 63 && text * 100 >= length * 90) {
                offer({q, length, "braces balance", 6});
                return;
            }
        }
    }

    void balance_from(std::size_t q, std::size_t start, std::vector<std::uint32_t>& closes,
                      std::vector<std::size_t>& open) const {
        open.clear();
        bool quoted = false;
        for (std::size_t i = q; i < end; ++i) {
            const std::uint8_t c = bytes[i];
            if (c == '\\') {
                ++i;
            } else if (c == '"') {
                quoted = !quoted;
            } else if (!quoted && c == '{') {
                open.push_back(i);
            } else if (!quoted && c == '}' && !open.empty()) {
                closes[open.back() - start] = static_cast<std::uint32_t>(i - open.back());
                open.pop_back();
                if (open.empty()) return;
            }
        }
        for (std::size_t at : open) closes[at - start] = kNoClose;
    }

    // A plug-in name at b +41 (printable, or printable then zeros): the chunk follows at b +73.
    void aax_chunk_data() {
        if (end < block + 105 || best.score >= 6) return;
        if (std::memcmp(bytes.data() + block + 37, "elck", 4) == 0) return;
        bool printable = true;
        for (std::size_t i = block + 41; i < block + 73; ++i) {
            printable = printable && is_printable_byte(bytes[i]);
        }
        if (printable || printable_then_zeros(bytes, block + 41, block + 73)) {
            offer({block + 73, end - block - 73, "AAX chunk data", 6});
        }
    }

    void after_elck() {
        std::uint64_t offset = 0;
        std::uint32_t length = 0;
        std::uint32_t count = 0;
        if (find_elck_chunk(bytes, block, end, offset, length, count) && count == 1) {
            offer({static_cast<std::size_t>(offset), length, "AAX chunk after elck", 6});
        }
    }

    // A u32 stored 4..24 bytes before q that, less 0..24, reaches the settings end from q.
    void length_closes() {
        static constexpr std::array<int, 6> kWeights = {5, 3, 3, 2, 2, 1};
        for (std::size_t q = block + kAreaStart; q + 33 < end; ++q) {
            const std::size_t to_end = end - q;
            if (to_end < 64) break;
            for (std::size_t i = 0; i < kWeights.size(); ++i) {
                // stored - less == to_end for one of less = 0, 4, ... 24.
                const std::uint32_t stored = read_u32le_checked(bytes, q - 4 * (i + 1));
                const std::size_t less = stored - to_end;
                if (stored >= to_end && less <= 24 && less % 4 == 0 && kWeights[i] > best.score) {
                    best = {q, to_end, "length closes", kWeights[i]};
                }
            }
        }
    }

    bool repeats(std::size_t q, std::size_t length) const {
        const std::size_t compared = length < kRepeatCompared ? length : kRepeatCompared;
        for (std::size_t gap : {std::size_t{0}, std::size_t{4}}) {
            const std::size_t copy = q + length + gap;
            if (copy <= end && end - copy >= compared &&
                std::memcmp(bytes.data() + q, bytes.data() + copy, compared) == 0) {
                return true;
            }
        }
        return false;
    }

    const char* tag_at(std::size_t q) const {
        if (!kTagFirstBytes[bytes[q]]) return nullptr;
        for (std::string_view tag : kTags) {
            if (end - q >= tag.size() &&
                std::memcmp(bytes.data() + q, tag.data(), tag.size()) == 0) {
                return tag.data();
            }
        }
        return nullptr;
    }

    // Tags, zlib headers and text runs, each alone and with every length word before it.
    void tagged_spans() {
        static constexpr std::array<int, 6> kWeights = {6, 5, 4, 3, 2, 1};
        std::size_t text_end = 0;  // first non-text byte at or after q
        for (std::size_t q = block + 24; q + 17 < end; ++q) {
            if (q == block + 25) continue;
            const char* label = tag_at(q);
            int own_score = 7;
            if (label == nullptr && bytes[q] == 'x' && end - q >= 2) {
                const std::uint8_t level = bytes[q + 1];
                if (level == 0x01 || level == 0x5E || level == 0x9C || level == 0xDA) {
                    label = "zlib";
                    own_score = 5;
                }
            }
            const char* kText = "text";
            if (label == nullptr) {
                if (text_end < q) {
                    text_end = q;
                    while (text_end < end && is_text_byte(bytes[text_end])) ++text_end;
                }
                const std::size_t run = text_end - q;
                if (run >= 200 || (run >= 120 && text_end < end)) label = kText;
            }
            if (label == nullptr) continue;
            const bool is_text = label == kText;
            if (!is_text) offer({q, end - q, label, own_score});
            for (std::size_t i = 0; i < kWeights.size(); ++i) {
                const std::uint32_t stored = read_u32le_checked(bytes, q - 4 * (i + 1));
                if (stored < 32 || stored > end - block) continue;
                for (std::uint32_t less = 0; less <= 24; less += 4) {
                    if (stored < less) break;
                    const std::size_t length = stored - less;
                    if (length < 32 || length > end - q) continue;
                    const std::size_t after = end - q - length;
                    int points = after == 0 ? 6 : (after < 65 ? 3 : 0);
                    const bool twice = repeats(q, length);
                    if (twice) points += 6;
                    if (is_text && points == 0) continue;
                    offer({q, length, label, points + kWeights[i] + (is_text ? 0 : 8), twice});
                }
            }
        }
    }
};

}  // namespace

void check_chunk_container(SessionBytes bytes, std::size_t block, std::size_t settings_end,
                           SessionPluginInstance& record) {
    if (settings_end > bytes.size() || settings_end <= block + kAreaStart) return;
    Classifier c{bytes, block, settings_end, {}};
    if (settings_end > block + 97) c.text_and_braces();
    c.aax_chunk_data();
    c.after_elck();
    if (settings_end > block + 65) c.length_closes();
    if (settings_end > block + 40) c.tagged_spans();
    if (c.best.score < 3 || c.best.length <= 31) return;
    record.payload_kind = kKindClassified;
    record.payload_offset = c.best.offset;
    record.payload_length = static_cast<std::uint32_t>(c.best.length);
    record.container_label = c.best.label;
    record.container_match = c.best.stored_twice ? 2 : 1;
}
