#include "effects/standin_effects.h"

#include <utility>

StandInEffect js_effect(StandInSeeds& seeds, const char* path, std::string params,
                        std::uint32_t count, const std::string& description,
                        const std::string& preset) {
    StandInEffect e;
    e.kind = StandInKind::js;
    e.seed = seeds.next();
    e.name = description;
    e.preset = preset;
    e.js_path = path;
    e.js_params = std::move(params);
    e.js_param_count = count;
    return e;
}

StandInEffect polarity_js(StandInSeeds& seeds, const std::string& description,
                          const std::string& preset) {
    return js_effect(seeds, kPolarityJs, "3", 1, description, preset);
}

StandInEffect volume_js(StandInSeeds& seeds, double gain_db, const std::string& description,
                        const std::string& preset) {
    return js_effect(seeds, kVolumeJs, volume_js_parameters(gain_db), 2, description, preset);
}

StandInEffect dyn_effect(StandInSeeds& seeds, StandInKind kind, const DynWords& words,
                         const std::string& name, const std::string& preset) {
    StandInEffect e;
    e.kind = kind;
    e.seed = seeds.next();
    e.name = name;
    e.preset = preset;
    e.words = words;
    return e;
}
