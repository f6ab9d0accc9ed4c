// The stand-ins of Avid's stock processors (EQ3 7-Band and 1-Band, Dyn3 Compressor/Limiter and
// Expander/Gate, Channel Strip): an instance's stored settings through its converter, each
// effect through the REAPER block writers, then what every stand-in shares: the bypass state of
// the instance, PINFLAGS, and the counts and notes the console summary prints.
//
// Seeds: every block takes the stand-in's seed base + n, n counting its blocks from 0; the base
// is (the instance's block position & 0xFFFFFF) ^ 0x53540000. The EQ3's first-order JS parts take
// base + n + 900 + the filter's position (n: the ReaEQ block's number).
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "effects/standin_effects.h"
#include "model/plugin_instance.h"
#include "session/scan.h"

// What the stand-ins of one conversion wrote; reset with every run.
struct StockStandInState {
    std::map<std::string, std::uint32_t> notes;           // a note to the stand-ins that added it
    std::map<std::string, std::uint32_t> standin_counts;  // a stock name to its stand-ins written
    std::uint32_t standin_total = 0;
};
extern StockStandInState stock_standin_state;
// Empties the state and the EQ3 fit counters (the fit memo lives on).
void reset_stock_standin_state();

// The key tables of the per-track preparation, by block position.
struct StandInKeys {
    const std::set<std::uint64_t>* keyed = nullptr;
    const std::map<std::uint64_t, std::int32_t>* key_source_index = nullptr;
};

// Makes the EQ3 stand-ins of every instance of the session ahead of the writing, on every core
// (write_stock_standins then finds them remembered); says so first when there are many.
// Nothing when stand-ins are not written.
void prepare_stock_standins(
    const std::map<std::string, std::vector<SessionPluginInstance>>& plugins_by_track);

// True for the stock names a stand-in is built for.
bool stock_standin_built(const std::string& stock_name);

// The stand-in's text at six blanks (empty when its settings do not read), counted.
std::string write_stock_standins(const SessionPluginInstance& instance, SessionBytes bytes,
                                 bool pinflags, const StandInKeys& keys);

// One effect of a plan as its REAPER block, at `fx_indent`.
std::string standin_effect_block(const StandInEffect& effect);
