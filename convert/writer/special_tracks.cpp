#include "convert/writer/special_tracks.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <fstream>

#include "app/output.h"
#include "convert/run_state.h"
#include "convert/writer/audio_paths.h"
#include "convert/writer/colors.h"
#include "convert/writer/envelopes.h"
#include "convert/writer/project_text.h"
#include "convert/writer/writer_summary.h"
#include "util/guid.h"
#include "util/number_text.h"
#include "util/portable_math.h"
#include "util/rpp_text.h"

SpecialTrackSummary special_tracks;

void reset_special_tracks() {
    special_tracks = SpecialTrackSummary{};
}

std::string freeze_records_row(const SpecialTrackSummary& s) {
    if (s.freeze_records_left_out == 0 || s.frozen_delivered != 0) return {};
    return format_text(
        "  %d internal freeze record(s) left out (Pro Tools writes these when a\n"
        "      track is frozen): the frozen tracks arrive UNFROZEN, their source\n"
        "      clips with the plug-ins live, so nothing of the mix is lost.\n",
        s.freeze_records_left_out);
}

namespace {

constexpr char kTrackIndent[] = "    ";

const TrackLaneSet* bus_lane_set(std::span<const TrackLaneSet> lane_sets, const std::string& name) {
    for (const TrackLaneSet& l : lane_sets)
        if (l.assigned && l.name == name) return &l;
    return nullptr;
}

std::uint32_t read_u32(const std::array<char, 8>& b, std::size_t at) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(b[at])) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 1])) << 8 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 2])) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 3])) << 24;
}

}  // namespace

std::string freeze_refusal(const FrozenTrackInput& frozen, bool has_lanes, bool surround_panned,
                           std::vector<std::string>& paths) {
    paths.clear();
    const std::vector<FreezeRender>& renders = frozen.renders;
    if (renders.size() == 2 && renders[0].file_name != renders[1].file_name)
        return "its render is two mono files, one per side (not supported yet)";
    if (renders.size() > 1)
        return "its freeze record places more than one render (not measured yet)";
    if (renders.empty() || renders[0].file_name.find("-FZ") == std::string::npos)
        return "its render could not be identified in the session";
    const std::string path = resolve_audio_path(renders[0].file_name);
    if (!file_exists(path)) return "its render \"" + renders[0].file_name + "\" is not on disk";
    if (has_lanes) return "it has alternate playlist lanes";
    if (surround_panned) return "it feeds a surround panner";
    if (wav_duration_seconds(path) <= 0.0) return "its render could not be read";
    paths.push_back(path);
    return {};
}

void write_freeze_render_items(std::FILE* file, std::int32_t index, const FrozenTrackInput& frozen,
                               const std::vector<std::string>& paths) {
    std::uint32_t seed = 0x465A0000u + 16u * static_cast<std::uint32_t>(index);
    for (std::size_t r = 0; r < paths.size() && r < frozen.renders.size(); ++r, ++seed) {
        const FreezeRender& render = frozen.renders[r];
        const double length = wav_duration_seconds(paths[r]);
        print_text(file,
                   "    <ITEM\n      POSITION %.10f\n      SNAPOFFS 0\n      LENGTH %.10f\n"
                   "      LOOP 0\n      ALLTAKES 0\n      FADEIN 1 0 0 1 0 0 0\n"
                   "      FADEOUT 1 0 0 1 0 0 0\n      MUTE 0 0\n      FREEZE %.10f %.10f 0\n"
                   "      LOCK 1\n      SEL 0\n      IGUID %s\n      NAME \"Freeze 1\"\n"
                   "      VOLPAN 1 0 1 -1\n      SOFFS %.10f\n      PLAYRATE 1 1 0 -1 0 0.0025\n"
                   "      CHANMODE 0\n      GUID %s\n",
                   render.position, length, render.position, length, guid_from_seed(seed).c_str(),
                   render.source_offset, guid_from_seed(seed + 0x10000u).c_str());
        print_text(file, "      <SOURCE WAVE\n        FILE %s\n      >\n    >\n",
                   project_token(paths[r]).c_str());
    }
}

std::vector<std::string> bus_track_names(
    const std::map<std::string, std::vector<SessionSend>>& receives,
    std::span<const OutputTrack> tracks) {
    std::set<std::string> written;
    for (const OutputTrack& t : tracks) written.insert(t.name);
    std::vector<std::string> names;
    for (const auto& [name, list] : receives)
        if (!list.empty() && !name.empty() && !written.contains(name)) names.push_back(name);
    return names;
}

double pt_pan_to_reaper(double left, double right, bool stereo) {
    const double pan = stereo ? (left + right) / 2.0 / 100.0 : left / 100.0;
    return std::isfinite(pan) ? std::clamp(pan, -1.0, 1.0) : 0.0;
}

int write_bus_tracks(std::FILE* file, const BusTracksInput& in) {
    if (!in.receives) return 0;
    WriterSummary& s = writer_summary;
    const std::vector<std::string> names = bus_track_names(*in.receives, in.tracks);
    const auto n_tracks = static_cast<std::int32_t>(in.tracks.size());
    for (std::size_t k = 0; k < names.size(); ++k) {
        const std::string& name = names[k];
        const auto n = static_cast<std::uint32_t>(k);
        const TrackLaneSet* lanes = bus_lane_set(in.lane_sets, name);
        const BusTrackLook look = in.look_of ? in.look_of(name) : BusTrackLook{};
        const std::optional<TrackViewValues>& view = look.view;
        const bool automated = lanes && (!lanes->volume.points.empty() ||
                                         !lanes->mute.points.empty() || !lanes->pan.points.empty());

        const std::int32_t automode = track_automode(view, automated ? 1 : 0);
        print_text(
            file, "  <TRACK %s\n    NAME %s\n    PEAKCOL %lu\n    BEAT -1\n    AUTOMODE %d\n",
            guid_from_seed(50001 + n).c_str(), project_token(name).c_str(),
            static_cast<unsigned long>(track_peakcol(look.color_index, look.coding_color_index)),
            automode);

        double level = lanes ? portable::from_db(lanes->fader_db) : 1.0;
        if (lanes && !lanes->volume.points.empty()) {
            level = 1.0;  // the envelope alone carries the level
            ++s.faders_parked;
        }
        const bool stereo = lanes && lanes->stereo_pan;
        const double left = lanes ? lanes->pan.initial_value : 0.0;
        const double right = lanes ? lanes->pan_right_curve.initial_value : 0.0;
        double pan = 0.0;  // an automated pan is carried by its envelope
        if (lanes && lanes->pan.points.empty())
            pan = stereo ? pt_pan_to_reaper(left, right, true) : mono_static_pan(*lanes);
        const int muted = lanes && lanes->muted ? 1 : 0;
        if (stereo) {
            print_text(file,
                       "    VOLPAN %.6f %g -1 %.6f %.6f\n    MUTESOLO %d 0 0\n    IPHASE 0\n"
                       "    ISBUS 0 0\n    PANMODE 6\n",
                       level, pan, pt_pan_to_reaper(left, left, false),
                       pt_pan_to_reaper(right, right, false), muted);
        } else {
            print_text(file,
                       "    VOLPAN %.6f %g -1 -1 1\n    MUTESOLO %d 0 0\n    IPHASE 0\n"
                       "    ISBUS 0 0\n",
                       level, pan, muted);
        }
        write_track_mixer_flags(file, name, view, automode);
        const std::array<std::uint32_t, 6>& masks = look.group_masks;
        rpp_write_group_flags(file, masks[0], masks[1], masks[2], masks[3], masks[4], masks[5]);
        const int height = view ? std::max(view->height, 0) : 0;
        print_text(
            file, "    FREEMODE 0\n    TRACKHEIGHT %d 0 0 0 0 0 0\n    INQ 0 0 0 0.5 100 0 0 100\n",
            height);
        print_text(file, "    NCHAN 2\n    FX 1\n    TRACKID %s\n    MAINSEND %d 0\n",
                   guid_from_seed(60001 + n).c_str(), in.key_source_buses.contains(name) ? 0 : 1);

        const std::int32_t index = n_tracks + in.video_tracks + static_cast<std::int32_t>(k);
        if (in.write_fx_chain) {
            FxChainCall call;
            call.track_index = index;
            call.track_name = name;
            writer_state.current_track_channels = 2;
            s.track_fx_slots += in.write_fx_chain(file, call);
            writer_state.current_track_channels = -1;
        }
        const int sends_before = s.sends_written;
        for (const SessionSend& send : in.receives->at(name)) {
            if (send.source_index < 0 || send.source_index >= n_tracks) continue;
            s.send_points += write_send(file, send.source_index, send.gain_db, send.post_fader != 0,
                                        send.volume ? &*send.volume : nullptr,
                                        send.mute ? &*send.mute : nullptr, send.pan);
            ++s.sends_written;
        }
        if (s.sends_written > sends_before) ++s.return_tracks;
        if (lanes) {
            int points = 0;
            points += write_envelope(file, "VOLENV2", lanes->volume, EnvelopeKind::volume,
                                     kTrackIndent, false);
            points += write_envelope(file, "MUTEENV", lanes->mute, EnvelopeKind::mute, kTrackIndent,
                                     false);
            points +=
                write_envelope(file, "PANENV2", lanes->pan, EnvelopeKind::pan, kTrackIndent, false);
            if (points > 0) {
                ++s.automated_tracks;
                s.automation_points += points;
            }
        }
        if (in.write_comment_item) in.write_comment_item(file, name, index);
        std::fputs("  >\n", file);
    }
    special_tracks.bus_tracks = static_cast<int>(names.size());
    special_tracks.bus_names = names;
    return special_tracks.bus_tracks;
}

bool write_solo_helper(std::FILE* file) {
    if (writer_summary.soloed_and_muted == 0 || writer_summary.soloed_written != 0) return false;
    print_text(file,
               "  <TRACK %s\n    NAME \"%s\"\n    VOLPAN 1 0 -1 -1 1\n    MUTESOLO 0 2 0\n"
               "    IPHASE 0\n    ISBUS 0 0\n    NCHAN 2\n    MAINSEND 1 0\n  >\n",
               guid_from_seed(69999).c_str(), kSoloHelperName);
    special_tracks.solo_helper = kSoloHelperName;
    return true;
}

double wav_duration_seconds(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return 0.0;
    in.seekg(0, std::ios::end);
    const std::streamoff end = in.tellg();
    in.seekg(0);
    std::array<char, 12> riff{};
    if (end < 12 || !in.read(riff.data(), 12)) return 0.0;
    if (std::string_view(riff.data(), 4) != "RIFF" ||
        std::string_view(riff.data() + 8, 4) != "WAVE")
        return 0.0;
    const auto file_size = static_cast<std::uint64_t>(end);
    std::uint64_t at = 12;
    std::uint32_t channels = 0, rate = 0, bits = 0;
    bool have_fmt = false;
    while (at + 8 <= file_size) {
        std::array<char, 8> head{};
        in.seekg(static_cast<std::streamoff>(at));
        if (!in.read(head.data(), 8)) return 0.0;
        const std::string_view id(head.data(), 4);
        const std::uint64_t size = read_u32(head, 4);
        const std::uint64_t body = at + 8;
        if (size > file_size - body) return 0.0;  // sized past the file
        if (id == "fmt ") {
            if (size < 16) return 0.0;
            std::array<char, 16> fmt{};
            if (!in.read(fmt.data(), 16)) return 0.0;
            std::array<char, 8> part{};
            std::copy_n(fmt.data(), 8, part.data());
            channels = read_u32(part, 0) >> 16;
            rate = read_u32(part, 4);
            std::copy_n(fmt.data() + 8, 8, part.data());
            bits = read_u32(part, 4) >> 16;
            have_fmt = true;
        } else if (id == "data") {
            if (!have_fmt || bits < 8 || channels == 0 || rate == 0) return 0.0;
            const double frame = static_cast<double>(bits / 8) * channels;
            return static_cast<double>(size) / frame / rate;
        }
        at = body + size + (size & 1);
    }
    return 0.0;
}
