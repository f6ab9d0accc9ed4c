// Name records marked 'p' 'x' 1 0, and the Clip Effects parameter lists built from them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

// One name record: its name and the 8 bytes stored after it (the Clip Effects reader takes them
// as an f64 parameter value).
struct PxRecord {
    std::string name;
    std::uint64_t value = 0;
};

// Clip name -> its Clip Effects parameters.
using ClipEffectsLists = std::map<std::string, std::vector<PxRecord>>;

// Every name record in the bytes, in order (`out` cleared first).
void read_px_records(const std::uint8_t* data, std::size_t length, std::vector<PxRecord>& out);

// The id-keyed lists of the 0x4400 blocks, tied to clips by the id that each clip's 0x2629
// block carries before its 0x4403 block (`out` cleared first).
void read_4400_px_lists(const std::uint8_t* data, std::size_t length, ClipEffectsLists& out);
