#include "convert/writer/project_writer.h"

#include <filesystem>
#include <map>
#include <system_error>

#include "app/output.h"
#include "convert/writer/output_file.h"
#include "convert/writer/writer_summary.h"
#include "platform/paths.h"

namespace {

// Strips whose Trims invert them (an odd count on a side) that no written track took.
void count_trim_flips_not_carried(const PolarityTables& polarity) {
    std::map<std::string, bool> inverted;
    for (const auto& [name, flips] : polarity.flips_left) inverted[name] |= flips % 2 != 0;
    for (const auto& [name, flips] : polarity.flips_right) inverted[name] |= flips % 2 != 0;
    for (const auto& [name, odd] : inverted)
        if (odd && !writer_state.trim_flips_handled.count(name))
            ++writer_summary.trim_flips_not_carried;
}

}  // namespace

void write_project_text(std::FILE* file, const ProjectWriteInput& in) {
    write_project_header(file, in.comments, in.comments_mode);
    write_project_settings(file, in.sample_rate, in.tempo, in.session_settings);
    if (in.plugins_by_track)
        writer_summary.click_track_name =
            find_click_track(in.session_settings.click_enabled, *in.plugins_by_track, in.lane_sets,
                             in.tracks, &writer_summary.click_slot);
    if (in.hooks.write_tempo_and_markers) in.hooks.write_tempo_and_markers(file);

    MasterWriteInput master;
    master.fader_name = in.master_fader_name;
    master.lane_sets = in.lane_sets;
    master.write_fx_chain = in.hooks.write_master_fx_chain;
    write_master_track(file, in.session_settings, master);

    TrackWriteContext context;
    context.lane_sets = in.lane_sets;
    index_lane_sets(context);
    context.receives = &in.receives;
    context.polarity = &in.polarity;
    context.track_count = in.tracks.size();
    context.tracks_after = in.tracks_after;
    context.no_sidechain = in.no_sidechain != 0;
    context.hooks = in.hooks.track;
    const TrackWriteInput plain;
    for (std::size_t i = 0; i < in.tracks.size(); ++i) {
        const TrackWriteInput& track_in = i < in.track_inputs.size() ? in.track_inputs[i] : plain;
        write_track(file, static_cast<std::int32_t>(i), in.tracks[i], track_in, context);
    }

    count_trim_flips_not_carried(in.polarity);
    if (in.hooks.write_after_tracks) in.hooks.write_after_tracks(file);
    std::fputs(">\n", file);
}

int write_project(const ProjectWriteInput& in, std::string& written_path) {
    report_progress(3, "writing");
    std::string path = project_output_name(in.output_path, in.session_path);
    std::error_code ec;
    if (!in.check && in.overwrite &&
        std::filesystem::equivalent(native_path(path), native_path(in.session_path), ec)) {
        // -o naming the session itself: --overwrite never replaces the session with the project.
        say("\nCould not write %s\n", path.c_str());
        written_path = path;
        return 1;
    }
    ProjectFile file = open_project_output(path, in.check != 0, in.overwrite != 0);
    written_path = path;
    if (!file) return 1;
    write_project_text(file.get(), in);
    // A full disk or a vanished folder shows only here; the project would be cut short.
    const bool failed = std::ferror(file.get()) != 0 || std::fclose(file.release()) != 0;
    if (failed) {
        say("\nCould not write %s\n", written_path.c_str());
        return 1;
    }
    return 0;
}
