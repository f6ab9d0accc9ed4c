#include "convert/convert_session.h"

#include <algorithm>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "app/output.h"
#include "convert/clips/clip_counts.h"
#include "convert/clips/clip_overlaps.h"
#include "convert/clips/clip_placements.h"
#include "convert/reading/session_load.h"
#include "convert/reading/stage_reading.h"
#include "convert/run_state.h"
#include "convert/summary/console_summary.h"
#include "convert/summary/media_check.h"
#include "convert/summary/wanted_params.h"
#include "convert/writer/audio_paths.h"
#include "convert/writer/item_writer.h"
#include "convert/writer/project_header.h"
#include "convert/writer/project_writer.h"
#include "convert/writer/tempo_markers.h"
#include "convert/writer/writer_summary.h"
#include "model/conversion_result.h"
#include "session/block_index.h"
#include "session/session_settings.h"
#include "util/names.h"

namespace {

// Clears the capture and progress pointers on every way out of a conversion.
struct CaptureGuard {
    ConversionResult* result;
    std::string captured;
    ~CaptureGuard() { end_output_capture(result, captured); }
};

// The written tracks and what their blocks read, in the order written.
struct WrittenTracks {
    std::vector<OutputTrack> tracks;
    std::vector<TrackWriteInput> inputs;
};

// Stage "clips": the clip model from the walk's placements, overlaps resolved.
void stage_clips(const PTFFormat& session, const SessionReading& reading,
                 const ConvertOptions& options, ClipModel& clips) {
    report_progress(1, "clips");
    note_placements_without_clips(reading.layout);
    build_clip_placements(session.bytes().data(), session.bytes().size(), reading.layout,
                          settings.sample_rate, session_tempo_map, settings.session_tempo, options,
                          clips);
    resolve_clip_overlaps(clips);
}

// Stage "tracks", as far as this build goes: the output tracks in the session's track order,
// each with the time base its clips were read in. The tracks are moved out of the clip model,
// which is released here: its clips are not held twice while the project is written.
WrittenTracks stage_tracks(ClipModel clips) {
    report_progress(2, "tracks");
    WrittenTracks out;
    for (std::uint16_t index : clips.track_order) {
        const auto track = clips.output_tracks.find(index);
        if (track == clips.output_tracks.end()) continue;
        OutputTrack written = std::move(track->second);
        if (written.session_name.empty()) written.session_name = written.name;
        TrackWriteInput input;
        const auto tick = clips.tick_based.find(index);
        input.timebase = reaper_timebase(tick != clips.tick_based.end() && tick->second != 0);
        out.tracks.push_back(std::move(written));
        out.inputs.push_back(std::move(input));
    }
    return out;
}

// The closing block's facts: placement lengths, the longest file, the session's bit depth.
ClosingBlockInput closing_input(const PTFFormat& session, const SessionReading& reading,
                                const ProjectSettingsRead& project, const ConvertOptions& options) {
    ClosingBlockInput in;
    in.library_rate = session.sample_rate();
    for (const TrackRegion& placed : reading.layout.audio_track_regions)
        in.placement_lengths.push_back(placed.region.length);
    for (const PtfAudioFile& file : session.audio_files())
        in.longest_file = std::max(in.longest_file, file.length);
    in.bit_depth = project.bit_depth;
    in.bit_float = project.bit_float;
    in.audio_folder = written_audio_folder();
    in.clips_in_sibling_folders = item_writer.clips_outside_audio_folder != 0;
    in.usage_shared = options.usage_shared != 0;
    return in;
}

// Step 5 "report" as far as this build goes: the summary line the command line prints under
// --progress. The sections that need a look are those whose counts exist: fade records not
// understood and missing audio files.
void stage_report(const WrittenTracks& written) {
    report_progress(5, "report");
    const int needs_look = (clip_counts.bad_fades != 0 ? 1 : 0) + (media_check.missing_count != 0);
    run_outcome.summary_line = format_text(
        "summary tracks=%d clips=%d notes=%d fx=%d written=%d needs_look=%d%s",
        static_cast<int>(written.tracks.size()), static_cast<int>(item_writer.items_written), 0, 0,
        0, needs_look, run_outcome.problem_kind.empty() ? "" : " problem=1");
}

}  // namespace

int convert_session(const ConvertOptions& options, ConversionResult* result,
                    ptxgui::Progress* progress) {
    run_outcome.summary_line.clear();
    run_outcome.problem_kind.clear();
    run_outcome.problem_detail.clear();
    output_state.progress_reporter = progress;
    if (result) *result = ConversionResult{};
    CaptureGuard guard{result, {}};
    output_state.console_capture = &guard.captured;

    reset_conversion_state(options);

    if (options.input_path.empty()) {
        say("lanwick: drag a .ptx file onto this program.\n");
        return 1;
    }

    settings.audio_folder = options.audio_folder_given || options.input_path.empty()
                                ? options.audio_folder
                                : default_audio_folder(options.input_path);
    while (settings.audio_folder.size() > 1 &&
           (settings.audio_folder.back() == '/' || settings.audio_folder.back() == '\\'))
        settings.audio_folder.pop_back();
    settings.session_folder = folder_of(settings.audio_folder);

    report_progress(0, "reading");
    PTFFormat session;
    int code = load_session_file(session, options.input_path);
    if (!accept_loaded_session(session, code, options.input_path, progress != nullptr)) return 1;

    settings.session_sample_rate = session.sample_rate() > 0 ? session.sample_rate() : 48000;
    // Every scanner from here on finds its blocks through this one index of the session.
    const BlockIndex block_index(session.bytes());
    const BlockIndexScope block_index_installed(block_index);
    SessionReading reading;
    read_session(session, options, reading);
    const std::uint8_t* data = session.bytes().data();
    const std::size_t length = session.bytes().size();

    ClipModel clips;
    stage_clips(session, reading, options, clips);
    const WrittenTracks written = stage_tracks(std::move(clips));

    // Stage "writing".
    std::set<std::string> listed_files;
    for (const PtfAudioFile& file : session.audio_files())
        if (!file.name.empty()) listed_files.insert(path_basename(file.name));
    ItemWriteContext items;
    items.dark_theme = reading.dark_theme;
    items.clip_color_mode = read_clip_color_mode(data, length);
    items.listed_files = &listed_files;
    items.folder_hints = &reading.audio_folder_hints;

    ProjectWriteInput project;
    project.session_path = options.input_path;
    project.output_path = options.output_path;
    project.check = options.check;
    project.overwrite = options.overwrite;
    project.comments_mode = options.comments_mode;
    project.no_sidechain = options.no_sidechain;
    project.sample_rate = settings.session_sample_rate;
    project.tempo = settings.session_tempo;
    project.session_settings = read_project_settings(data, length);
    project.tracks = written.tracks;
    project.track_inputs = written.inputs;
    project.hooks.write_tempo_and_markers = [&](std::FILE* file) {
        write_tempo_and_markers(
            file, TempoMarkersInput{session_tempo_map, project.session_settings.meters,
                                    settings.session_tempo, reading.memory_locations,
                                    settings.sample_rate, options.tempo_ramps != 0});
    };
    project.hooks.track.write_track_items = [&](std::FILE* file, std::int32_t index) {
        const OutputTrack& track = written.tracks[static_cast<std::size_t>(index)];
        write_track_items(file, track, written_track_name(track, static_cast<std::size_t>(index)),
                          ItemTrackInput{}, items);
    };
    std::string written_path;
    if (write_project(project, written_path) != 0) return 1;

    ConsoleSummaryInput summary;
    summary.header = reading.header;
    summary.sample_rate = settings.session_sample_rate;
    summary.tempo = settings.session_tempo;
    summary.written_path = written_path;
    summary.check = options.check != 0;
    summary.tracks_written = static_cast<int>(written.tracks.size());
    summary.meters = project.session_settings.meters;
    summary.track_color_coding = track_color_mode_name(read_track_color_mode(data, length));
    summary.theme = options.clip_color_theme;
    summary.dark_theme = reading.dark_theme;
    summary.no_track_colors = options.no_track_colors != 0;
    summary.tempo_ramps = options.tempo_ramps != 0;
    summary.recover_deleted = options.recover_deleted != 0;
    for (const TrackRegion& placed : reading.layout.midi_track_regions) {
        std::vector<std::string>& names = summary.midi_tracks_not_written;
        if (std::find(names.begin(), names.end(), placed.track_name) == names.end())
            names.push_back(placed.track_name);
    }
    print_console_summary(summary);

    run_media_check(session.audio_files(), reading.audio_folder_hints,
                    item_writer.clips_outside_audio_folder);
    if (result || options.report || progress) stage_report(written);
    print_closing_block(closing_input(session, reading, project.session_settings, options));
    write_wanted_params_file(options.wanted_params_file, writer_summary.wanted_param_plugins);
    if (options.check) print_check_end();
    return 0;
}
