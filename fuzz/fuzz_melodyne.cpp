// libFuzzer target: arbitrary bytes as a GNBK container and as a Melodyne archive.
#include <cstddef>
#include <cstdint>

#include "fuzz/melodyne_fuzz_entry.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    run_melodyne_fuzz_input(data, size);
    return 0;
}
