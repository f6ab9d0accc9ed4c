// A surround-panned track's Pro Tools panner as REAPER's ReaSurroundPan at the end of the track's
// chain, with envelopes for the panner's automation.
//
// The plug-in's state (u32 and f64 little-endian), after REAPER's VST header (2 input pins with
// masks 1 and 2, one output pin per speaker with mask 1 << k):
//   u32 5 0 5 0 0 0 1, u32 inputs, f64 centre percent / 100, f64 the second input's gain (1.0
//   for a mono input), u32 inputs, u32 outputs;
//   per input: (the right input: f64 1.0 first) f64 LFE gain, x, y, 0.0, width, 0.0,
//   u32 0 or 8, u32 9 "channel 1" or "channel 2", u32 0xFFF0F0F0 or 0xFFFF2020;
//   per speaker: f64 1.0, x, y, 0.0, 1.0, u32 flags, u32 name length, the name;
//   f64 -3.0, u32 0.
// An input sits at y = f (front/rear position, +1 the front) and between its front and rear X at
// t = (1 - f) / 2; its width is what its divergence leaves, capped.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "model/surround_pan_state.h"

// What the ReaSurroundPan writer did in a run, for the console summary. Reset with
// `reset_reasurroundpan_state`.
struct ReaSurroundPanState {
    int blocks = 0;
    int mono_blocks = 0;    // of them, for a mono source
    int stereo_blocks = 0;  // ... for a stereo source
    int envelopes = 0;
    int points = 0;
    int refused = 0;  // more than 64 outputs, or a speaker list of another length
};
extern ReaSurroundPanState reasurroundpan_state;
void reset_reasurroundpan_state();

// One input's place in the panner, from its seven stored percent values (front X, rear X,
// front/rear position, divergence 1 and 2, divergence cap, centre percent).
struct SurroundInputPlace {
    double x = 0.0;      // -1 left .. 1 right
    double y = 0.0;      // -1 rear .. 1 front
    double width = 0.0;  // 0 .. 1
};
SurroundInputPlace surround_input_place(const std::array<double, 7>& percent);

// ReaSurroundPan's state bytes (header, then body); empty when the state cannot be written.
std::string reasurroundpan_header(const SurroundPanState& state, std::uint32_t body_length);
std::string reasurroundpan_body(const SurroundPanState& state);

// The whole block (six-blank indentation, as in a track's chain) with its envelopes; the FXID is
// seeded `seed`. Empty, and counted, when the state cannot be written. A stereo panner's lanes,
// of both inputs, are counted as not written (`writer_summary`).
std::string write_reasurroundpan(const SurroundPanState& state, std::uint32_t seed);

// The console summary's row of envelopes written, and of panners not written.
std::string reasurroundpan_paragraph();
