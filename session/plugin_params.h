// Melodyne (ARA) records: which Melodyne archives each clip's edits live in.
//
// A 0x480C block is a container: +9 u32 length and its name. Inside it:
//   the first 0x4807 block: +21 u32 length and the group text;
//   each 0x480B block an entry: +9 16-byte id, +25 u32 length and name; inside it
//     each 0x480A block a value: +9 16-byte id, +25 u32 length and name;
//   after the container name, the first length-prefixed text beginning "ds_": the document text.
// A 0x2629 block (size 24 or more) that begins with a 0x2628 block (+9 u32 length 1..399, the
// clip name) ties that clip to the first record whose value id occurs after the name.
// Texts are 1..1024 bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "model/session_records.h"

// Appends one record per value, in session order, and maps clip names to record indices (the
// first tie of a name stays).
void read_plugin_params(const std::uint8_t* data, std::size_t length,
                        std::vector<PluginParamRecord>& records,
                        std::map<std::string, std::size_t>& clip_records);
