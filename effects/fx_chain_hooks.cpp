#include "effects/fx_chain_hooks.h"

#include "convert/writer/writer_summary.h"

namespace {

// The side of a one-sided polarity flip, under the key the polarity pass matched: the name, the
// session name, or the name before its " [lane:" cut.
int one_sided_polarity(const OutputTrack& track) {
    std::vector<std::string> keys = {track.name};
    if (!track.session_name.empty()) keys.push_back(track.session_name);
    if (std::size_t cut = track.name.find(" [lane:"); cut != std::string::npos)
        keys.push_back(track.name.substr(0, cut));
    for (const std::string& key : keys) {
        const auto it = writer_state.one_sided_polarity.find(key);
        if (it != writer_state.one_sided_polarity.end()) return it->second;
    }
    return 0;
}

}  // namespace

void install_fx_chain_hooks(const FxChainHookInput& in, ProjectWriteInput& project) {
    project.hooks.write_master_fx_chain = [&in](std::FILE* file) {
        FxChainTrack track;
        track.name = in.master_name;
        track.tag = "MASTERFXLIST";
        track.channels = 2;
        // The master is stereo while its chain is written.
        writer_state.current_track_channels = 2;
        const int slots = write_fx_chain(file, in.session, track);
        writer_state.current_track_channels = -1;
        return slots;
    };
    project.hooks.track.write_fx_chain = [&in](std::FILE* file, const FxChainCall& call) {
        FxChainTrack track;
        track.name = call.track_name;
        track.tag = call.block_name;
        track.pinflags = call.keys_sidechain;
        const std::size_t index = static_cast<std::size_t>(call.track_index);
        if (call.track_index >= 0 && index < in.inputs.size()) {
            track.midi = in.inputs[index].midi != 0;
            track.channels = in.inputs[index].channel_count;
        }
        if (call.track_index >= 0 && index < in.tracks.size())
            track.one_sided_polarity = one_sided_polarity(in.tracks[index]);
        if (const auto it = in.track_fx_text.find(call.track_index); it != in.track_fx_text.end())
            track.extra_text = it->second;
        return write_fx_chain(file, in.session, track);
    };
}
