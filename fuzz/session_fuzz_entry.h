// The one entry of the session fuzz target, shared with the test that replays its corpus: the
// input runs through decryption, the session-file layer, the block tree and the session walk.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "model/session_layout.h"
#include "platform/ptformat.h"
#include "session/session_walk.h"

inline void run_session_fuzz_input(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::uint8_t> input(data, data + size);

    // As a session file: decrypted, read by the layer, walked.
    {
        PTFFormat session;
        session.load_from_memory(input, 48000);
        SessionLayout layout;
        load_session_regions(session, layout);
    }

    // As decrypted bytes: encrypted first, so that the layer decrypts them back to the input and
    // every byte of the blocks is the fuzzer's own.
    std::vector<std::uint8_t> encrypted = input;
    if (ptf_xor_crypt(encrypted)) {
        PTFFormat session;
        session.load_from_memory(std::move(encrypted), 48000);
        SessionLayout layout;
        load_session_regions(session, layout);
    }

    // The walk straight on the bytes, whatever their cipher byte says.
    SessionLayout layout;
    walk_session_tree(input.data(), input.size(), {{"a.wav", 0}, {"", 1}}, layout);
}
