// The damage test of stage "reading": does the decrypted session end inside a block (the file
// was cut short), or do all blocks fit while the chain of top-level blocks breaks (bytes were
// overwritten)?
//
// A block candidate at p (length L): byte p is 'Z', byte p + 2 is 0 (the block type's high
// byte), the u32 at p + 3 is the payload size s, not 0, and the block ends at p + 7 + s <= L.
// The furthest end E is the largest end of a candidate at any p with p + 9 < L. The chain starts
// at the first p (p + 9 < L) holding 'Z' with a 0 two bytes on and moves from block end to block
// end while a candidate stands there; it ends at C. The session is incomplete when 0 < E < L and
// damaged when E = L but C < L.
#pragma once

#include <cstdint>
#include <string>

#include "session/scan.h"

enum class SessionDamageKind { none, incomplete, damaged };

struct SessionDamage {
    std::uint64_t length = 0;
    std::uint64_t furthest_end = 0;  // E, 0 when no candidate
    std::uint64_t chain_end = 0;     // C, computed only when asked for or when E = L
    SessionDamageKind kind = SessionDamageKind::none;
};

// The test over the session bytes; `always_chain` computes C even when E < L (under --check).
SessionDamage test_session_damage(SessionBytes bytes, bool always_chain);

// "none", "incomplete" or "damaged", for the --check line "damage %s".
const char* damage_word(SessionDamageKind kind);

// The warning said at once for an incomplete session; empty otherwise.
std::string incomplete_warning(const SessionDamage& damage);

// The warning said after the --list printout for a damaged session; empty otherwise.
std::string damaged_warning(const SessionDamage& damage);
