// The forms of the <VST blocks REAPER saved in ../shared/reaper-ref, and a check of the blocks of
// a project we wrote against them.
//
// A <VST block's base64 lines: the header (u32 little-endian: id, magic, input count and a 64-bit
// mask per input, output count and its masks, chunk size, a flag, the tail word), then the
// plug-in's chunk, then the trailer (a 0 byte, the program name, a 0 byte, a u32 word). REAPER
// pads the header and the chunk each on its own and wraps every line at 128 characters, so each
// line decodes by itself. What REAPER pairs: the magic with the flag (FEED5EEE with 1, FEED5EEF
// with 0), the tail word's high half with the trailer's word (0x0010 with 16, 0 with 0), and a
// VST3 block (its id text holds a class id in braces) with the tail 0x0010FFFF.
#pragma once

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "tests/test_support.h"
#include "util/bytes.h"
#include "util/codecs.h"

namespace reaper_block_forms {

struct VstBlock {
    std::string opening;  // the "<VST " line, trimmed
    bool vst3 = false;
    std::uint32_t magic = 0, flag = 0, tail = 0, trailer_word = 0;
    std::vector<std::uint64_t> inputs, outputs;  // the pins' channel masks
    std::size_t widest_line = 0;                 // of all its base64 lines
    std::size_t widest_frame_line = 0;           // of its header and trailer lines
    bool readable = false;
};

inline std::string trimmed(const std::string& line) {
    const std::size_t first = line.find_first_not_of(' ');
    return first == std::string::npos ? std::string() : line.substr(first);
}

// Every <VST block of a project text, decoded.
inline std::vector<VstBlock> vst_blocks(const std::string& project) {
    std::vector<VstBlock> blocks;
    std::istringstream in(project);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(trimmed(line));
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (!lines[i].starts_with("<VST ")) continue;
        VstBlock b;
        b.opening = lines[i];
        const std::size_t brace = b.opening.find('{');
        b.vst3 = brace != std::string::npos && b.opening.find('}', brace) == brace + 33;
        std::vector<std::string> body;
        for (++i; i < lines.size() && lines[i] != ">"; ++i) body.push_back(lines[i]);
        for (const std::string& l : body) b.widest_line = std::max(b.widest_line, l.size());
        if (body.size() < 2) {
            blocks.push_back(b);
            continue;
        }
        // The header runs over as many lines as its pins need.
        std::string header;
        std::size_t used = 0;
        std::size_t length = 0;
        while (used + 1 < body.size()) {
            header += base64_decode(body[used++]);
            if (header.size() < 12) continue;
            const std::uint32_t nin = read_u32le_checked(header, 8);
            if (header.size() < 16 + 8ull * nin) continue;
            const std::uint32_t nout = read_u32le_checked(header, 12 + 8ull * nin);
            length = 28 + 8ull * (nin + nout);
            if (header.size() >= length) break;
        }
        for (std::size_t k = 0; k < used; ++k)
            b.widest_frame_line = std::max(b.widest_frame_line, body[k].size());
        b.widest_frame_line = std::max(b.widest_frame_line, body.back().size());
        const std::string trailer = base64_decode(body.back());
        if (length != 0 && header.size() >= length && trailer.size() >= 4) {
            b.magic = read_u32le_checked(header, 4);
            b.flag = read_u32le_checked(header, length - 8);
            b.tail = read_u32le_checked(header, length - 4);
            b.trailer_word = read_u32le_checked(trailer, trailer.size() - 4);
            const std::uint32_t nin = read_u32le_checked(header, 8);
            const std::size_t outs = 16 + 8ull * nin;
            const std::uint32_t nout = read_u32le_checked(header, outs - 4);
            const auto mask = [&](std::size_t at) {
                return read_u32le_checked(header, at) |
                       (std::uint64_t{read_u32le_checked(header, at + 4)} << 32);
            };
            for (std::uint32_t k = 0; k < nin; ++k) b.inputs.push_back(mask(12 + 8ull * k));
            for (std::uint32_t k = 0; k < nout; ++k) b.outputs.push_back(mask(outs + 8ull * k));
            b.readable = true;
        }
        blocks.push_back(b);
    }
    return blocks;
}

struct Forms {
    bool found = false;
    std::size_t blocks = 0;
    std::set<std::pair<std::uint32_t, std::uint32_t>> magic_flag;
    std::set<std::pair<std::uint32_t, std::uint32_t>> tail_high_trailer;
    std::set<std::uint32_t> vst3_tails;
    // REAPER's widest header or trailer line (128): its chunk lines are as wide but in one
    // plug-in's blocks.
    std::size_t widest_line = 0;
};

// What REAPER's own projects show, learned once.
inline const Forms& reaper_forms() {
    static const Forms forms = [] {
        Forms f;
        const std::filesystem::path reference = LANWICK_REAPER_REF_DIR;
        if (!std::filesystem::exists(reference)) return f;
        for (const auto& file : std::filesystem::directory_iterator(reference)) {
            if (file.path().extension() != ".rpp") continue;
            for (const VstBlock& b : vst_blocks(test_support::read_file(file.path().string()))) {
                if (!b.readable) continue;
                ++f.blocks;
                f.magic_flag.insert({b.magic, b.flag});
                f.tail_high_trailer.insert({b.tail >> 16, b.trailer_word});
                if (b.vst3) f.vst3_tails.insert(b.tail);
                f.widest_line = std::max(f.widest_line, b.widest_frame_line);
            }
        }
        f.found = f.blocks != 0;
        return f;
    }();
    return forms;
}

// Each way the project's <VST blocks differ from every block REAPER saved; empty when none does.
inline std::vector<std::string> unlike_reaper(const std::string& project) {
    const Forms& forms = reaper_forms();
    std::vector<std::string> faults;
    for (const VstBlock& b : vst_blocks(project)) {
        const auto fault = [&](const std::string& what) {
            faults.push_back(b.opening + ": " + what);
        };
        if (!b.readable) {
            fault("header or trailer does not decode");
            continue;
        }
        if (!forms.magic_flag.count({b.magic, b.flag}))
            fault("magic with a flag REAPER never pairs");
        if (!forms.tail_high_trailer.count({b.tail >> 16, b.trailer_word}))
            fault("tail word with a trailer word REAPER never pairs");
        if (b.vst3 && !forms.vst3_tails.count(b.tail))
            fault("a VST3 tail word REAPER never writes");
        if (b.widest_line > forms.widest_line) fault("a base64 line wider than REAPER's");
    }
    return faults;
}

}  // namespace reaper_block_forms
