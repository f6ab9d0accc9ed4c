#include "session/clip_pitch.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <string_view>

#include "session/scan.h"
#include "util/bytes.h"

namespace {

constexpr std::uint16_t kClipType = 0x2629;
constexpr std::uint16_t kClipNameType = 0x2628;

// The transposition a clip block stores 9 and 5 bytes before `q`: a whole number and
// hundredths; 0 where that is 0 or lies outside +-48.
double stored_semitones(SessionBytes bytes, std::uint64_t q) {
    const auto whole = static_cast<std::int32_t>(read_u32le_checked(bytes, q - 9));
    float fraction = std::bit_cast<float>(read_u32le_checked(bytes, q - 5));
    if (!(fraction > -100.0f && fraction < 100.0f)) fraction = 0.0f;
    const double value = whole + static_cast<double>(fraction) / 100.0;
    return value < -48.0 || value > 48.0 ? 0.0 : value;
}

// The transposition and name of the clip block `block`, from one search of the name blocks
// (0x2628) from its marker on. Its value stands before the end of the first name block whose
// marker lies past its own header and before its end (+ 23), else before its own end; its name
// is the first name block from its marker on with a readable name. False when the value is 0 or
// no name reads; the name is sought only for a value kept.
bool clip_pitch_of(SessionBytes bytes, const BlockHeader& block, ClipPitch& out) {
    const std::uint64_t end = block.end();
    const std::uint64_t inner_from = block.position + 9;
    bool placed = false;  // the name block that places the value is known, or known to be none
    double value = 0.0;
    bool named = false;
    std::string_view name;
    const auto place_value = [&](const BlockHeader* inner) {
        placed = true;
        value = stored_semitones(
            bytes, inner != nullptr && inner->end() + 23 < end ? inner->end() + 23 : end);
    };
    scan_blocks(bytes, kClipNameType, static_cast<std::size_t>(block.position), bytes.size(),
                [&](const BlockHeader& candidate) {
                    if (!placed && candidate.position >= inner_from)
                        place_value(candidate.position < end ? &candidate : nullptr);
                    if (placed && value == 0.0) return true;
                    if (!named)
                        named =
                            read_text_at(bytes, static_cast<std::size_t>(candidate.position) + 9,
                                         bytes.size(), 1, 128, TextBytes::name, name);
                    return placed && named;
                });
    if (!placed) place_value(nullptr);
    if (value == 0.0 || !named) return false;
    out = {name, value};
    return true;
}

// The list's order: shorter names first, names of one length by their bytes. Most names of a
// session differ in length or early, so most comparisons end at the lengths. The clip stage
// looks its clips up through a hash of the list's places; this search serves the rest.
bool name_before(std::string_view a, std::string_view b) {
    return a.size() != b.size() ? a.size() < b.size()
                                : std::memcmp(a.data(), b.data(), a.size()) < 0;
}

}  // namespace

void read_clip_pitch(const std::uint8_t* data, std::size_t length, ClipPitches& out) {
    out.clear();
    const SessionBytes bytes = session_bytes(data, length);
    out.reserve(candidate_bound(bytes, kClipType));
    scan_blocks(bytes, kClipType, length, [&](const BlockHeader& block) {
        if (block.size < 40 || !block_fits(bytes, block)) return false;
        ClipPitch found;
        if (!clip_pitch_of(bytes, block, found)) return false;
        const std::string_view name = found.name;
        const double value = found.semitones;
        // A name is searched for from the block on, so two blocks may find the same name, and
        // then one after the other: the later block's value replaces the earlier's.
        if (!out.empty() && out.back().name.data() == name.data()) {
            out.back().semitones = value;
        } else {
            out.push_back({name, value});
        }
        return false;
    });
    // The names view the bytes in the order their blocks were met, each place once, so their
    // places order the blocks of one name: the last block of each name ends its run, without a
    // stable sort's buffer. Sessions mostly number their clips in the order they store them, and
    // such a list is in order already.
    const auto before = [](const ClipPitch& a, const ClipPitch& b) {
        if (a.name.size() != b.name.size()) return a.name.size() < b.name.size();
        const int order = std::memcmp(a.name.data(), b.name.data(), a.name.size());
        return order != 0 ? order < 0 : a.name.data() < b.name.data();
    };
    if (!std::is_sorted(out.begin(), out.end(), before)) std::sort(out.begin(), out.end(), before);
    auto kept = out.begin();
    for (auto run = out.begin(); run != out.end();) {
        auto next = run + 1;
        while (next != out.end() && next->name == run->name) ++next;
        *kept++ = *(next - 1);
        run = next;
    }
    out.erase(kept, out.end());
}

const ClipPitch* find_clip_pitch(const ClipPitches& pitches, std::string_view name) {
    const auto found = std::lower_bound(
        pitches.begin(), pitches.end(), name,
        [](const ClipPitch& entry, std::string_view key) { return name_before(entry.name, key); });
    return found != pitches.end() && found->name == name ? &*found : nullptr;
}
