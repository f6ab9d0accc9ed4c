// The project writer's effect-chain hooks: what the driver knows of each track turned into the
// chain writer's input.
#pragma once

#include <map>
#include <span>
#include <string>
#include <vector>

#include "convert/writer/project_writer.h"
#include "effects/fx_chain.h"
#include "model/output_model.h"

struct FxChainHookInput {
    FxSession session;
    std::span<const OutputTrack> tracks;
    std::span<const TrackWriteInput> inputs;
    std::string master_name;
    // Extra chain text by track index, written before the chain closes.
    std::map<std::int32_t, std::string> track_fx_text;
};

// Sets the master and track chain hooks of `project`; `in` must outlive the writing.
void install_fx_chain_hooks(const FxChainHookInput& in, ProjectWriteInput& project);
