#include "convert/reading/session_damage.h"

#include "app/output.h"
#include "util/bytes.h"

namespace {

// Candidates are tried while p + 9 < L.
constexpr std::uint64_t kCandidateRoom = 10;

// The end of the candidate at `pos`, or 0 when none stands there.
std::uint64_t candidate_end(SessionBytes bytes, std::uint64_t pos) {
    const std::uint64_t length = bytes.size();
    if (pos + kBlockHeaderSize > length || bytes[pos] != kBlockMarker || bytes[pos + 2] != 0)
        return 0;
    const std::uint32_t size = read_u32le_checked(bytes, static_cast<std::size_t>(pos + 3));
    const std::uint64_t end = pos + kBlockHeaderSize + size;
    return size != 0 && end <= length ? end : 0;
}

}  // namespace

SessionDamage test_session_damage(SessionBytes bytes, bool always_chain) {
    SessionDamage out;
    out.length = bytes.size();
    if (out.length < kCandidateRoom) return out;
    const std::size_t last = static_cast<std::size_t>(out.length - kCandidateRoom);
    std::uint64_t chain_start = out.length;
    for_each_block_candidate(bytes, last, [&](std::size_t pos) {
        if (bytes[pos + 2] == 0 && pos < chain_start) chain_start = pos;
        const std::uint64_t end = candidate_end(bytes, pos);
        if (end > out.furthest_end) out.furthest_end = end;
    });
    if (always_chain || out.furthest_end == out.length) {
        std::uint64_t c = chain_start;
        for (std::uint64_t end; (end = candidate_end(bytes, c)) != 0;) c = end;
        out.chain_end = c;
    }
    if (out.furthest_end > 0 && out.furthest_end < out.length)
        out.kind = SessionDamageKind::incomplete;
    else if (out.furthest_end == out.length && out.chain_end < out.length)
        out.kind = SessionDamageKind::damaged;
    return out;
}

const char* damage_word(SessionDamageKind kind) {
    switch (kind) {
        case SessionDamageKind::incomplete:
            return "incomplete";
        case SessionDamageKind::damaged:
            return "damaged";
        case SessionDamageKind::none:
            break;
    }
    return "none";
}

std::string incomplete_warning(const SessionDamage& damage) {
    if (damage.kind != SessionDamageKind::incomplete) return {};
    return format_text(
        "  *** THIS SESSION FILE LOOKS INCOMPLETE ***\n"
        "      %llu byte(s) after the last complete block. The file was very\n"
        "      likely truncated in a copy or a sync. Tracks, clips and\n"
        "      automation may be MISSING from this conversion.\n"
        "      Re-copy the .ptx from the original and convert it again.\n",
        static_cast<unsigned long long>(damage.length - damage.furthest_end));
}

std::string damaged_warning(const SessionDamage& damage) {
    if (damage.kind != SessionDamageKind::damaged) return {};
    return format_text(
        "  *** THIS SESSION FILE IS DAMAGED ***\n"
        "      Its structure breaks at byte %llu, %.0f%% of the way in, as a bad\n"
        "      disk or a failed copy leaves it. Tracks, clips, mixer settings\n"
        "      and automation after that point may be MISSING or wrong in\n"
        "      this conversion. Convert a backup instead if you have one --\n"
        "      the newest .ptx in the session's \"Session File Backups\"\n"
        "      folder, or a copy from another drive.\n",
        static_cast<unsigned long long>(damage.chain_end),
        100.0 * static_cast<double>(damage.chain_end) / static_cast<double>(damage.length));
}
