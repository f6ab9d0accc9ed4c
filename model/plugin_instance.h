// One plug-in slot as read from the session, with where its stored settings lie. Records hold
// positions into the decrypted session bytes, which stay alive for the whole conversion.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "model/curves.h"

// One automation lane of a plug-in parameter; values are normalised 0..1.
struct AutomationLane {
    std::string name;
    std::uint32_t lane_word = 0;  // the REAPER parameter index is derived from it
    std::uint8_t in_ticks = 0;    // point positions are ticks rather than samples
    double initial_value = 0.0;
    std::string second_name;
    std::vector<CurvePoint> points;  // position as stored, normalised value
};

struct SessionPluginInstance {
    std::string aax_id;  // maker code then product code, non-printable bytes as '.'
    std::string stored_name;
    std::string product_text;
    std::string subcomponent_code;  // a Waves shell's sub-plug-in code
    std::string plugin_name;
    std::string active_setup = "setA";
    std::uint64_t block_pos = 0;  // also the seed of the slot's FXID
    std::uint64_t settings_end = 0;
    std::uint32_t header_byte = 0;
    std::uint64_t owner_start = 0;  // the enclosing track block, 0 when none
    std::uint64_t owner_end = 0;
    std::uint32_t payload_kind = 0;  // 0 none, 1 to 13 by the layout recognised
    std::uint64_t payload_offset = 0;
    std::uint32_t payload_length = 0;
    std::array<std::uint32_t, 4> zlib_words{};  // zlib payloads: the words stored before it
    std::uint32_t stream_word = 0;
    std::int32_t channel_word = -1;  // the key input's channel key; -1 when none
    std::uint8_t bypassed = 0;
    std::uint8_t inactive = 0;
    const char* container_label = nullptr;  // fixed text naming what the classifier found
    std::uint32_t container_match = 1;      // 2 when the payload is stored twice in a row
    std::vector<float> values;              // parameter values in stored order
    std::uint64_t elck_offset = 0;
    std::uint32_t elck_length = 0;
    const char* source_tag = nullptr;  // fixed text naming where the settings were found
    std::uint32_t elck_found = 0;
    std::uint32_t elck_binary_sections = 0;
    std::vector<AutomationLane> lanes;
};
