// A clip's Clip Effects as the take's effect chain. Pro Tools stores them as the Channel Strip's
// parameters, normalised 0..1 by name; they are read into a `ChannelStripSettings` in real units
// and written through `convert_channel_strip` under the name "Clip Effects".
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "effects/channel_strip_settings.h"
#include "effects/standin_effects.h"

// What the take chains of a run carried, for the console summary. Reset with
// `reset_clip_effects_state`.
struct ClipEffectsState {
    int clips = 0;                             // clips written with a Clip Effects chain
    std::map<std::string, int> plugin_clips;   // REAPER plug-in -> clips using it
    std::map<std::string, int> note_clips;     // note -> clips it applies to
    std::map<std::string, int> unknown_names;  // parameter names not read -> times seen
};
extern ClipEffectsState clip_effects_state;
void reset_clip_effects_state();

// The ratio of a log-linear curve through `points` (x ascending, the first at (0, 1)): 1 at or
// below 0, the last segment carried on past the last point.
double log_linear_ratio(const std::vector<std::pair<double, double>>& points, double v);

// The stored values in real units. Values that are no number take their default; the others are
// held to 0..1 first.
ChannelStripSettings clip_effects_settings(
    const std::vector<std::pair<std::string, double>>& values);

// The blocks of the Clip Effects chain (no frame), each FXID seeded seed + n; counts the clip
// in `clip_effects_state`. `linked_pair`: the clip is one leg of a merged stereo pair.
std::string clip_effects_blocks(const std::vector<std::pair<std::string, double>>& values,
                                bool linked_pair, std::uint32_t seed);

// The take's <TAKEFX frame around `blocks` (nothing when they are empty).
std::string take_fx_frame(const std::string& blocks);

// Appends the take-effect chain of these values to `out`.
void write_clip_effects(std::string& out, const std::vector<std::pair<std::string, double>>& values,
                        bool linked_pair, std::uint32_t seed);

// The console summary's Clip Effects paragraphs: the clips carried with their plug-ins and the
// names of what the chains carry differently (at most 8), then those notes with their clips and
// the parameter names not recognised.
std::string clip_effects_paragraph();
std::string clip_effects_losses_paragraph();
