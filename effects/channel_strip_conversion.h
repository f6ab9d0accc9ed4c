// The Channel Strip (and a clip's Clip Effects) as a chain of REAPER effects, in the strip's
// order: polarity JS, input-trim volume JS, a ReaEQ of the four EQ bands, a ReaEQ of the two
// filters, the expander/gate (SStillwell's downward expander, or ReaGate from 1:10), ReaComp
// with a makeup volume JS past its 6 dB, and a fader volume JS.
//
// Bells carry a measured correction of their Q by gain (table G) and by frequency (table F),
// and are written with the bandwidth ReaEQ reads back as that Q (eq_q_to_reaeq_bandwidth_oct,
// as the EQ3 bells and the strip's own filters are): table F already widens the bells near the
// top of the band, and the w'/sin w' form would widen them again by (w'/sin w')^2 as heard.
// Shelves move their frequency to where ReaEQ's shelf reaches the same half-gain point; pass
// filters take the bandwidth of a Butterworth section.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "effects/channel_strip_settings.h"
#include "effects/standin_effects.h"

// The Q factor of a bell at |gain| (G) and at 48000 f / rate (F), interpolated in their tables.
double channel_strip_gain_factor(double gain_db);
double channel_strip_frequency_factor(double freq_hz, double rate);

// The strip's effects. `linked_pair`: a linked stereo pair of clips (Clip Effects), for the
// all-linked side-chain note; `keyed`: the instance's key input is wired; `rate` at or below 0
// counts as 48000. Each effect takes seed base + counter as its seed and advances the counter;
// `carried` receives a word per effect written ("polarity", "input trim", "EQ", "filters",
// "expander", "gate", "compressor", "fader"); notes go to `notes`.
std::vector<StandInEffect> convert_channel_strip(const ChannelStripSettings& settings,
                                                 bool linked_pair, bool keyed, double rate,
                                                 std::uint32_t seed_base, std::uint32_t& counter,
                                                 std::set<std::string>& notes,
                                                 std::set<std::string>& carried);

inline constexpr const char* kStripKeyUnwiredNote =
    "side chain set to Key with no key input wired: it detects on its own signal";
inline constexpr const char* kStripBandFilterNote = "side-chain band-pass/notch filter not carried";
