// How deep the readers that search inside every candidate of a type follow candidates nested in
// candidates of the same type.
//
// Such a reader (a placement searched for its loop child, a playlist list searched for its
// playlists) reads nested candidates too, so a crafted file of candidates nested thousands deep
// would have the same bytes searched once per enclosing candidate: hours for a few megabytes.
// The sessions seen nest none of these blocks in one of its own type. `NestingBound` admits a
// candidate only while fewer than `depth` admitted candidates enclose its position, so every byte
// is searched at most `depth` times and the cost stays linear in the file. Candidates are offered
// in ascending position, as scan_blocks gives them; lists made to overlap without nesting count
// as enclosing each other too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <queue>
#include <vector>

// Four levels: room to spare over the sessions seen, where each of these blocks stands alone.
inline constexpr std::size_t kSearchNestingDepth = 4;

struct NestingBound {
    std::size_t depth = kSearchNestingDepth;
    // Ends of the admitted candidates that may still enclose a later position, nearest first.
    std::priority_queue<std::uint64_t, std::vector<std::uint64_t>, std::greater<>> open_ends;
    std::size_t refused = 0;  // candidates nested deeper than `depth`
};

// Whether the candidate [position, end) is searched; one that is, is then counted as enclosing
// the positions before its end.
inline bool admit_candidate(NestingBound& bound, std::uint64_t position, std::uint64_t end) {
    while (!bound.open_ends.empty() && bound.open_ends.top() <= position) bound.open_ends.pop();
    if (bound.open_ends.size() >= bound.depth) {
        bound.refused += 1;
        return false;
    }
    bound.open_ends.push(end);
    return true;
}
