// libFuzzer target: arbitrary bytes as a session file and as decrypted session bytes.
#include <cstddef>
#include <cstdint>

#include "fuzz/session_fuzz_entry.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    run_session_fuzz_input(data, size);
    return 0;
}
