// The session walk: the program's own reading of the session's regions, the regions placed on
// audio and MIDI tracks, and the notes of MIDI regions, from the decrypted bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/session_layout.h"
#include "util/shared_text.h"

class PTFFormat;

// MIDI and tick-based positions are stored as ticks + 10^12.
inline constexpr std::int64_t kTickOrigin = 1'000'000'000'000;

// One audio file of the session as the session-file layer lists it: its name and its number in
// that list, which the regions refer to.
struct AudioFilePair {
    SharedText name;  // shared by the regions that play the file
    std::uint16_t index = 0;
};

// Fills `layout` from the session's decrypted bytes, or from the session-file layer's own lists
// when the walk declines the session.
void load_session_regions(const PTFFormat& session, SessionLayout& layout);

// Whether the walk takes these decrypted bytes: 65 bytes or more, and the byte-order byte (17)
// 0. A session the walk declines has nothing the program can read its clips and tracks from.
bool session_walk_accepts(const std::uint8_t* bytes, std::uint64_t length);

// Empties the four lists of `layout`, then fills them from the decrypted session bytes. 1 when
// the walk ran; 0 when it declined (fewer than 65 bytes, or byte 17 not 0). Damaged or truncated
// data never reads outside the bytes: it yields fewer entries.
int walk_session_tree(const std::uint8_t* bytes, std::uint64_t length,
                      const std::vector<AudioFilePair>& files, SessionLayout& layout);
