#include "convert/writer/video_tracks.h"

#include <algorithm>

#include "convert/writer/audio_paths.h"
#include "convert/writer/project_text.h"
#include "platform/paths.h"
#include "util/guid.h"
#include "util/names.h"
#include "util/number_text.h"

VideoTrackSummary video_tracks;

void reset_video_tracks() {
    video_tracks = VideoTrackSummary{};
}

const char* video_quality_word(std::int32_t quality) {
    if (quality <= 1) return nullptr;
    return quality == 3 ? "Draft" : "a reduced quality";
}

double video_frame_rate(double session_rate, std::int32_t timecode_code) {
    if (session_rate > 1.0) return session_rate;
    if (timecode_code == 2) return 25.0;
    if (timecode_code == 3 || timecode_code == 5 || timecode_code == 7 || timecode_code == 8)
        return 30.0;
    return 24.0;
}

std::string video_file_path(const std::string& file_name, const std::string& session_folder) {
    const std::string name = path_basename(file_name);
    if (name.empty()) return name;
    const std::string found = resolve_audio_path(name);
    if (file_exists(found)) return found;
    if (!session_folder.empty()) {
        const std::string beside = join_path(session_folder + "Video Files", name);
        if (file_exists(beside)) return beside;
    }
    ++video_tracks.files_missing;
    return name;
}

int write_video_tracks(std::FILE* file, const VideoTracksInput& in) {
    if (in.track_names.empty()) return 0;
    const double rate = video_frame_rate(in.session_frame_rate, in.timecode_code);
    video_tracks.frame_rate = rate;
    video_tracks.rate_from_session = in.session_frame_rate > 1.0;
    video_tracks.quality = in.quality;
    if (in.track_names.size() > 1) {
        for (const VideoPlacement& p : in.placements) {
            const bool named = p.name_index < in.placement_lists.size() &&
                               std::find(in.track_names.begin(), in.track_names.end(),
                                         in.placement_lists[p.name_index]) != in.track_names.end();
            if (!named) ++video_tracks.placements_on_no_track;
        }
    }
    for (std::size_t v = 0; v < in.track_names.size(); ++v) {
        const std::string& name = in.track_names[v];
        const auto seed = static_cast<std::uint32_t>(v);
        const std::optional<TrackViewValues> view =
            in.view_of ? in.view_of(name) : std::optional<TrackViewValues>();
        print_text(file,
                   "  <TRACK %s\n    NAME %s\n    PEAKCOL 16576\n    BEAT -1\n    AUTOMODE 0\n"
                   "    VOLPAN 1.000000 0 -1 -1 1\n    MUTESOLO 0 0 0\n    IPHASE 0\n"
                   "    ISBUS 0 0\n",
                   guid_from_seed(70000 + seed).c_str(), project_token(name).c_str());
        write_track_mixer_flags(file, name, view, 0);
        print_text(file,
                   "    FREEMODE 0\n    TRACKHEIGHT %d 0 0 0 0 0 0\n    INQ 0 0 0 0.5 100 0 0 100\n"
                   "    NCHAN 2\n    FX 1\n    TRACKID %s\n    PERF 0\n    MIDIOUT -1\n"
                   "    MAINSEND 1 0\n",
                   view ? std::max(view->height, 0) : 0, guid_from_seed(71000 + seed).c_str());

        if (v >= in.file_names.size()) ++video_tracks.files_unrecognised;
        if (v < in.file_names.size()) {
            const std::string& video = in.file_names[v];
            const std::string path = video_file_path(video, in.session_folder);
            const auto found = in.entries.find(video);
            const std::vector<VideoClipEntry> none;
            const std::vector<VideoClipEntry>& entries =
                found == in.entries.end() ? none : found->second;
            // A video track has no palette index of its own: a clip without a colour follows
            // the session's clip colour coding by the track's view-state colour number.
            ItemTrackInput track_in;
            if (view) track_in.view_color_number = view->colour_number;
            // The track's own placements; a single video track takes every placement.
            std::size_t j = 0;
            for (const VideoPlacement& p : in.placements) {
                const bool own = p.name_index < in.placement_lists.size() &&
                                 in.placement_lists[p.name_index] == name;
                if (!own && in.track_names.size() > 1) continue;
                const VideoClipEntry* entry = j < entries.size() ? &entries[j] : nullptr;
                ++j;
                const double length = entry ? entry->second / rate : 0.0;
                if (!(length > 0.0)) {  // no stored length: nothing to place
                    ++video_tracks.items_without_length;
                    continue;
                }
                print_text(file,
                           "    <ITEM\n      POSITION %.10f\n      SNAPOFFS 0\n      LENGTH %.10f\n"
                           "      LOOP 0\n      ALLTAKES 0\n      FADEIN 1 0 0 1 0 0 0\n"
                           "      FADEOUT 1 0 0 1 0 0 0\n      MUTE 0 0\n",
                           p.position / rate, length);
                if (p.locked) std::fputs("      LOCK 1\n", file);
                print_text(file, "      NAME %s\n      VOLPAN 1 0 1 -1\n      SOFFS %.10f\n",
                           project_token(entry->name).c_str(), entry->first / rate);
                if (in.items && write_item_colour(file, p.colour_index, track_in, *in.items))
                    ++video_tracks.items_colored;
                print_text(file,
                           "      PLAYRATE 1 1 0 -1 0 0.0025\n      CHANMODE 0\n"
                           "      <SOURCE VIDEO\n        FILE %s\n      >\n    >\n",
                           project_token(path).c_str());
                ++video_tracks.items;
            }
        }
        std::fputs("  >\n", file);
        ++video_tracks.tracks;
    }
    return video_tracks.tracks;
}
