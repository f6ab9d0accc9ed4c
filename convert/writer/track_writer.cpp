#include "convert/writer/track_writer.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <iterator>

#include "app/output.h"
#include "convert/run_state.h"
#include "convert/tracks/mixer_wiring.h"
#include "convert/tracks/name_matching.h"
#include "convert/tracks/track_view.h"
#include "convert/tracks/track_wiring_state.h"
#include "convert/writer/colors.h"
#include "convert/writer/envelopes.h"
#include "convert/writer/project_text.h"
#include "convert/writer/special_tracks.h"
#include "convert/writer/writer_summary.h"
#include "util/guid.h"
#include "util/number_text.h"
#include "util/portable_math.h"
#include "util/rpp_text.h"

namespace {

constexpr char kTrackIndent[] = "    ";

double clamp_pan(double v) {
    return std::clamp(v, -1.0, 1.0);
}

int round_up_even(int width) {
    return width + (width & 1);
}

// The assigned lane sets that carry this track's mixer state, in list order: those of its name
// and those of its session name.
std::vector<const TrackLaneSet*> own_lane_sets(const TrackWriteContext& context,
                                               const OutputTrack& track) {
    static const std::vector<const TrackLaneSet*> none;
    const auto of = [&](const std::string& name) -> const std::vector<const TrackLaneSet*>& {
        const auto found = context.lane_sets_by_name.find(name);
        return found == context.lane_sets_by_name.end() ? none : found->second;
    };
    const std::vector<const TrackLaneSet*>& by_name = of(track.name);
    if (track.session_name == track.name) return by_name;
    const std::vector<const TrackLaneSet*>& by_session_name = of(track.session_name);
    std::vector<const TrackLaneSet*> own;
    own.reserve(by_name.size() + by_session_name.size());
    std::merge(by_name.begin(), by_name.end(), by_session_name.begin(), by_session_name.end(),
               std::back_inserter(own), std::less<const TrackLaneSet*>());
    return own;
}

// The stereo panner is automated: its left and right pans move.
bool dual_pan_automated(const TrackLaneSet& l) {
    return l.stereo_pan && l.dual_pan_points != 0 &&
           (!l.pan_left_lane.points.empty() || !l.pan_right_curve.points.empty());
}

bool has_points(const TrackLaneSet& l) {
    return !l.volume.points.empty() || !l.mute.points.empty() || !l.pan.points.empty() ||
           !l.trim.points.empty() || !l.pan_left_lane.points.empty() ||
           !l.pan_right_curve.points.empty();
}

template <typename Map>
const typename Map::mapped_type* find_in(const Map& map, const std::string& key) {
    auto it = map.find(key);
    return it == map.end() ? nullptr : &it->second;
}

void note_stereo_send(std::vector<StereoSendTrack>& list, const std::string& track,
                      const std::string& bus) {
    auto it = std::find_if(list.begin(), list.end(),
                           [&](const StereoSendTrack& t) { return t.track == track; });
    if (it == list.end()) it = list.insert(list.end(), StereoSendTrack{track, {}});
    if (std::find(it->buses.begin(), it->buses.end(), bus) == it->buses.end())
        it->buses.push_back(bus);
}

void write_aux_receive(std::FILE* file, std::int32_t source, int mode, int source_channels,
                       int destination_channels) {
    print_text(file, "    AUXRECV %d %d 1 0 0 0 0 %d %d -1:U 4177951 -1 ''\n", source, mode,
               source_channels, destination_channels);
}

}  // namespace

void index_lane_sets(TrackWriteContext& context) {
    context.lane_sets_by_name.clear();
    for (const TrackLaneSet& l : context.lane_sets)
        if (l.assigned && !l.name.empty()) context.lane_sets_by_name[l.name].push_back(&l);
}

std::int32_t reaper_timebase(bool tick_based) {
    return tick_based ? 2 : 0;
}

std::string written_track_name(const OutputTrack& track, std::size_t index) {
    if (!track.name.empty()) return track.name;
    if (!track.session_name.empty()) return track.session_name;
    return "Track " + std::to_string(index + 1);
}

std::int32_t track_automode(const std::optional<TrackViewValues>& view, std::int32_t fallback) {
    return view ? reaper_automode(view->automation_mode, fallback) : fallback;
}

std::int32_t mutesolo_solo_value(std::int32_t solo_field, bool muted, bool mute_automated) {
    if (solo_field == 0) return 0;
    if (muted && !mute_automated) return 0;
    return solo_field;
}

std::int32_t track_polarity(const std::string& name, const std::string& second_name,
                            const PolarityTables& tables) {
    std::vector<std::string> keys = {name};
    if (!second_name.empty()) keys.push_back(second_name);
    if (std::size_t cut = name.find(" [lane:"); cut != std::string::npos)
        keys.push_back(name.substr(0, cut));

    std::string key = name;
    for (const std::string& k : keys) {
        if (tables.flips_left.count(k) || tables.flips_right.count(k)) {
            key = k;
            break;
        }
    }
    const std::int32_t* left = find_in(tables.flips_left, key);
    const std::int32_t* right = find_in(tables.flips_right, key);
    if (left || right) writer_state.trim_flips_handled.insert(key);
    const std::int64_t a = left ? *left : 0;
    const std::int64_t b = right ? *right : 0;
    const std::int64_t a_odd = ((a % 2) + 2) % 2;
    const std::int64_t b_odd = ((b % 2) + 2) % 2;
    if (a_odd == b_odd) return static_cast<std::int32_t>(a_odd);
    writer_state.one_sided_polarity[key] = a_odd ? 1 : 2;
    return 0;
}

void write_track_mixer_flags(std::FILE* file, const std::string& name,
                             const std::optional<TrackViewValues>& view, std::int32_t automode,
                             SoloWritten solo) {
    // Pro Tools ignores the automation of a track whose mode is Off: its envelopes are written
    // inactive; they arm with a track in Read. Set for every track, so that no track inherits
    // the state of the one before.
    settings.envelope_active = view && view->automation_mode == 0 ? 0 : 1;
    settings.envelope_arm = automode == 1 ? 1 : 0;
    if (!view) return;
    const std::string& key = view->key.empty() ? name : view->key;
    if (!writer_state.mixer_flags_handled.insert(key).second) return;
    WriterSummary& s = writer_summary;
    if (!view->shown_in_mixer) {
        std::fputs("    SHOWINMIX 0 0.6667 0.5 0 0.5 0 0 0\n", file);
        s.hidden_tracks.push_back(name);
    }
    if (view->solo_state == 1 && solo != SoloWritten::off_counted)
        (solo == SoloWritten::on ? s.soloed_tracks : s.unsoloed_tracks).push_back(name);
    if (view->solo_safe_state == 1) s.solo_safe_tracks.push_back(name);
    if (view->height > 0) ++s.tracks_with_height;
    if (view->automation_mode == 0) s.automation_off_tracks.push_back(name);
}

double mono_static_pan(const TrackLaneSet& lane_set) {
    // The pan list is the third list of the track's lane; its initial value is the knob's setting.
    const double percent =
        lane_set.list_count >= 3 ? lane_set.pan.initial_value : lane_set.pan_left;
    return clamp_pan(percent / 100.0);
}

std::map<std::string, std::vector<SessionSend>> prepare_sends(
    std::span<const LaneGroup> groups, std::span<const TrackLaneSet> lane_sets,
    std::span<const OutputTrack> tracks, const NameIndex* index) {
    std::map<std::string, std::vector<SessionSend>> receives;
    WriterSummary& s = writer_summary;
    const std::vector<std::string> sending_names = lane_group_names(groups, lane_sets);
    std::map<std::string, const TrackLaneSet*> first_assigned;
    for (const TrackLaneSet& l : lane_sets)
        if (l.assigned) first_assigned.emplace(l.name, &l);
    // The tracks each send leaves from, by session name, in track order (no alternate takes).
    std::map<std::string, std::vector<std::int32_t>> sources;
    for (std::size_t k = 0; k < tracks.size(); ++k)
        if (tracks[k].alternate != AlternateKind::takes)
            sources[tracks[k].session_name].push_back(static_cast<std::int32_t>(k));
    const std::vector<std::int32_t> no_sources;
    for (std::size_t group = 0; group < groups.size(); ++group) {
        const LaneGroup& g = groups[group];
        const std::string& sending = sending_names[group];
        if (sending.empty()) continue;
        const auto found = first_assigned.find(sending);
        const TrackLaneSet* sender = found != first_assigned.end() ? found->second : nullptr;
        const auto from = sources.find(sending);
        const std::vector<std::int32_t>& from_tracks =
            from != sources.end() ? from->second : no_sources;

        for (const TrackSend& send : g.sends) {
            int distinct = 0;
            std::string destination =
                index ? resolve_name_via_index(*index, send.destination_name, &distinct)
                      : std::string();
            TrackWiringCounts& counts = track_wiring.counts;
            if (!destination.empty()) {
                ++counts.bus_by_input_routes;
                if (!index->override_by_key.count(send.destination_name)) ++counts.mono_leg_matches;
            }
            if (distinct > 1) ++counts.split_leg_sends;
            if (!send.pan.points.empty() || !send.pan_right_curve.points.empty())
                ++counts.send_pan_lanes;
            if (destination.empty()) destination = send.destination_name;

            double pan = 0.0;
            if (send.channel_count >= 2) {
                const bool stereo_track = sender ? sender->stereo_pan != 0 : send.pan_right != 0;
                if (!stereo_track) {
                    pan = std::clamp(send.pan_left, -100, 100) / 100.0;
                    if (pan != 0.0) ++s.sends_panned;
                } else if (!(send.pan_left == -100 && send.pan_right == 100)) {
                    note_stereo_send(s.stereo_send_tracks, sending, destination);
                }
            }

            for (const std::int32_t k : from_tracks) {
                SessionSend out;
                out.source_index = k;
                out.gain_db = send.level_db;
                out.post_fader = send.post_fader;
                out.volume = send.volume;
                out.mute = send.mute;
                out.pan = pan;
                receives[destination].push_back(std::move(out));
            }
        }
    }
    return receives;
}

int write_send(std::FILE* file, std::int32_t source_index, double gain_db, bool post_fader,
               const AutomationCurve* volume, const AutomationCurve* mute, double pan) {
    // A send switched off in Pro Tools: a mute lane that stays at "muted".
    const bool muted = mute && mute->points.empty() && mute->initial_value != 0.0;
    if (muted) ++writer_summary.sends_muted;
    print_text(file, "    AUXRECV %d %d %.10f %g %d 0 0 0 0 -1:U 4177951 -1 ''\n", source_index,
               post_fader ? 0 : 3, portable::from_db(gain_db), pan, muted ? 1 : 0);
    // A receive's envelopes belong to the AUXRECV line right before them: REAPER writes the tag
    // alone.
    int points = 0;
    if (volume && !volume->points.empty())
        points +=
            write_envelope(file, "AUXVOLENV", *volume, EnvelopeKind::volume, kTrackIndent, false);
    if (mute && !mute->points.empty())
        points +=
            write_envelope(file, "AUXMUTEENV", *mute, EnvelopeKind::mute, kTrackIndent, false);
    return points;
}

void write_track(std::FILE* file, std::int32_t index, const OutputTrack& track,
                 const TrackWriteInput& in, const TrackWriteContext& context) {
    WriterSummary& s = writer_summary;
    const std::uint32_t position = static_cast<std::uint32_t>(index);

    if (output_state.progress_reporter) {
        const std::string text = format_text(
            "%.24s %lu/%lu", "writing", static_cast<unsigned long>(position),
            static_cast<unsigned long>(static_cast<std::uint32_t>(context.track_count)));
        report_progress(3, text.c_str());
    }

    const std::vector<const TrackLaneSet*> own = own_lane_sets(context, track);
    const TrackLaneSet* primary = own.empty() ? nullptr : own.front();
    const bool midi_mute_written =
        in.midi && own.empty() && in.midi_mute_lane && !in.midi_mute_lane->points.empty();
    bool volume_automated = false, pan_automated = false, mute_automated = midi_mute_written;
    bool automated = midi_mute_written;
    for (const TrackLaneSet* l : own) {
        volume_automated |= !l->volume.points.empty();
        pan_automated |= !l->pan.points.empty();
        mute_automated |= !l->mute.points.empty();
        automated |= has_points(*l);
    }

    // Colour and timebase.
    const std::uint32_t peakcol = track_peakcol(in.color_index, in.coding_color_index);
    std::int32_t beat = in.timebase;
    if (in.midi) {
        beat = in.midi_time_based ? 0 : 1;
        ++(in.midi_time_based ? s.midi_timebase_time : s.midi_timebase_beats);
    } else if (beat == 0) {
        ++s.timebase_time;
    } else if (beat == 1) {
        ++s.timebase_beats;
    } else if (beat == 2) {
        ++s.timebase_beats_position;
    }

    // Automation mode. A track whose mode the session does not give plays its automation in
    // Read; a track without automation gets REAPER's own Trim/Read.
    const bool mode_stored =
        in.view && in.view->automation_mode >= 0 && in.view->automation_mode <= 5;
    const std::int32_t automode = track_automode(in.view, automated ? 1 : 0);
    if (!mode_stored && automated) ++s.automated_tracks_read;
    const bool automation_off = in.view && in.view->automation_mode == 0;

    const std::string name = written_track_name(track, position);
    print_text(file, "  <TRACK %s\n    NAME %s\n    PEAKCOL %lu\n    BEAT %d\n    AUTOMODE %d\n",
               guid_from_seed(position + 1).c_str(), project_token(name).c_str(),
               static_cast<unsigned long>(peakcol), beat, automode);

    // Level and pan.
    double level = primary ? portable::from_db(primary->fader_db) : 1.0;
    if (volume_automated) {
        level = 1.0;  // the envelope alone carries the level
        ++s.faders_parked;
    }
    if (in.kept_fader_db) level = portable::from_db(*in.kept_fader_db);
    double pan = track.pan;
    if (pan == 0.0 && primary && !primary->stereo_pan) pan = mono_static_pan(*primary);
    if (pan_automated) pan = 0.0;
    double width_left = -1.0, width_right = 1.0;
    if (primary && primary->stereo_pan) {
        const bool dual = dual_pan_automated(*primary) && !in.surround_panned;
        if (!dual || automation_off) {
            width_left = clamp_pan(primary->pan.initial_value / 100.0);
            width_right = clamp_pan(primary->pan_right_curve.initial_value / 100.0);
        }
    }
    if (in.channel_side != 0) {
        width_left = width_right = in.channel_side;
        pan = 0.0;
    }

    // Mute and solo.
    // A MIDI track has no lane set of its own: its mute state is its own stored one.
    const bool midi_muted = in.midi && own.empty() && in.midi_muted != 0;
    if (midi_muted) ++s.midi_muted_tracks;
    if (in.midi && own.empty()) s.midi_lanes_not_carried += static_cast<int>(in.midi_other_lanes);
    // The tracks of alternate takes and playlists are written muted and never soloed.
    const bool alternates =
        track.alternate == AlternateKind::takes || track.alternate == AlternateKind::playlist;
    if (track.alternate == AlternateKind::playlist) ++s.alt_playlist_tracks;
    const bool muted = (primary && primary->muted) || track.inactive || track.voice_off ||
                       midi_muted || alternates;
    const std::int32_t solo_field = !alternates && in.view && in.view->solo_state == 1 ? 2 : 0;
    const std::int32_t solo = mutesolo_solo_value(solo_field, muted, mute_automated);
    if (solo_field != 0 && solo == 0) ++s.soloed_and_muted;
    if (solo_field != 0 && solo != 0 && muted) ++s.soloed_muted_automated;
    if (solo != 0) ++s.soloed_written;
    const int solo_safe = !alternates && in.view && in.view->solo_safe_state == 1 ? 1 : 0;
    static const PolarityTables no_polarity;
    const std::int32_t polarity = track_polarity(
        track.name, track.session_name, context.polarity ? *context.polarity : no_polarity);
    const std::string& folder_text = in.folder_text.empty() ? std::string("0 0") : in.folder_text;

    print_text(file,
               "    VOLPAN %.6f %g -1 %.6f %.6f\n    MUTESOLO %d %d %d\n    IPHASE %d\n"
               "    ISBUS %s\n",
               level, pan, width_left, width_right, muted ? 1 : 0, solo, solo_safe, polarity,
               folder_text.c_str());

    write_track_mixer_flags(file, name, in.view, automode,
                            solo != 0         ? SoloWritten::on
                            : solo_field != 0 ? SoloWritten::off_counted
                                              : SoloWritten::off);
    rpp_write_group_flags(file, in.group_masks[0], in.group_masks[1], in.group_masks[2],
                          in.group_masks[3], in.group_masks[4], in.group_masks[5]);

    // Pan mode.
    const bool stereo_panner = primary && primary->stereo_pan;
    if (in.channel_side != 0 || (stereo_panner && !in.surround_panned) || in.folder)
        std::fputs("    PANMODE 6\n", file);
    else if (!stereo_panner && !in.surround_panned && in.channel_count == 1)
        std::fputs("    PANMODE 3\n", file);

    const int height = in.view ? std::max(in.view->height, 0) : 0;
    print_text(file,
               "    FREEMODE %d\n    TRACKHEIGHT %d 0 0 0 0 0 0\n"
               "    INQ 0 0 0 0.5 100 0 0 100\n",
               track.lanes.empty() ? 0 : 2, height);

    // Channels.
    const bool keys = in.receives_keys && !context.no_sidechain;
    int nchan = 2;
    if (keys) nchan = 2 * static_cast<int>(in.key_sources.size()) + 4;
    nchan = std::max(nchan, in.folded_channels);
    if (in.surround_bus_width > 0) {
        nchan = std::max(nchan, round_up_even(in.surround_bus_width));
        ++s.surround_bus_widths;
    }
    if (in.surround_panner_width > 0) {
        nchan = std::max(nchan, round_up_even(in.surround_panner_width));
        ++(in.surround_panner_stereo ? s.stereo_panner_widths : s.mono_panner_widths);
    }
    nchan = std::max(nchan, in.aux_channels);
    if (in.surround_panned && context.hooks.build_surround_pan)
        context.hooks.build_surround_pan(index, 0x53555200u + position);

    const int main_send = in.output_into_aux ? 0 : 1;
    print_text(file, "    NCHAN %d\n    FX 1\n    TRACKID %s\n    MAINSEND %d 0\n", nchan,
               guid_from_seed(position + 9001).c_str(), main_send);
    if (keys && main_send && in.folded_channels <= 0 && in.surround_bus_width <= 0 &&
        in.surround_panner_width <= 0 && in.aux_channels <= 0) {
        // Only channels 1 and 2 reach the parent; the key channels stay on the track.
        std::fputs("    MAINSEND_NCH 2\n", file);
        ++s.mainsend_nch;
    }

    // Receives: sidechain keys, routed sources, tracks whose output comes here.
    const std::int32_t count =
        static_cast<std::int32_t>(context.track_count + context.tracks_after);
    auto valid_source = [&](std::int32_t source) {
        return source >= 0 && source != index && (count == 0 || source < count);
    };
    if (keys) {
        if (valid_source(in.first_key_source))
            write_aux_receive(file, in.first_key_source, 1, 0, 2);
        for (std::size_t j = 0; j < in.key_sources.size(); ++j)
            if (valid_source(in.key_sources[j]))
                write_aux_receive(file, in.key_sources[j], 1, 0, static_cast<int>(2 * j + 4));
    }
    for (const RoutedSource& r : in.routed_sources)
        if (valid_source(r.source_index))
            write_aux_receive(file, r.source_index, 0, r.source_channels, 0);
    for (const FeedingSource& f : in.feeding_sources) {
        if (!valid_source(f.source_index)) continue;
        const int even = round_up_even(std::max(f.width, 0));
        const int channels = even > 2 && even <= nchan ? ((f.width + 1) / 2) * 1024 : 0;
        write_aux_receive(file, f.source_index, 0, channels, 0);
    }

    // A frozen track under --keep-frozen: its chain and source items go inside <FREEZE 0, its
    // renders play in their place.
    std::vector<std::string> freeze_paths;
    bool frozen = false;
    if (settings.keep_frozen && in.freeze.frozen) {
        const std::string reason =
            freeze_refusal(in.freeze, !track.lanes.empty(), in.surround_panned != 0, freeze_paths);
        if (reason.empty()) {
            frozen = true;
            ++special_tracks.frozen_delivered;
        } else {
            special_tracks.frozen_unfrozen.emplace_back(name, reason);
        }
    }
    if (frozen) std::fputs("    <FREEZE 0\n", file);
    if (!frozen && in.freeze.frozen)
        special_tracks.freeze_records_left_out += static_cast<int>(in.freeze.renders.size());

    // Effect chain.
    writer_state.current_track_channels = nchan;
    if (context.hooks.write_fx_chain) {
        FxChainCall call;
        call.track_index = index;
        call.track_name = track.session_name.empty() ? track.name : track.session_name;
        call.keys_sidechain = keys;
        s.track_fx_slots += context.hooks.write_fx_chain(file, call);
    }
    writer_state.current_track_channels = -1;
    if (frozen) {
        if (context.hooks.write_track_items) context.hooks.write_track_items(file, index);
        std::fputs("    >\n", file);
    }

    // Sends made to this track, written as its receives.
    if (context.receives) {
        if (const auto* list = find_in(*context.receives, track.name)) {
            const int sends_before = s.sends_written;
            for (const SessionSend& send : *list) {
                if (!valid_source(send.source_index)) continue;
                s.send_points +=
                    write_send(file, send.source_index, send.gain_db, send.post_fader != 0,
                               send.volume ? &*send.volume : nullptr,
                               send.mute ? &*send.mute : nullptr, send.pan);
                ++s.sends_written;
            }
            if (s.sends_written > sends_before) ++s.return_tracks;
        }
    }

    // Envelopes.
    int points = 0;
    bool dual_written = false;
    bool surround_pan_automated = false;
    for (const TrackLaneSet* l : own) {
        const bool dual = dual_pan_automated(*l) && !in.surround_panned;
        points +=
            write_envelope(file, "VOLENV2", l->volume, EnvelopeKind::volume, kTrackIndent, false);
        points += write_envelope(file, "MUTEENV", l->mute, EnvelopeKind::mute, kTrackIndent, false);
        if (!dual && !in.surround_panned)
            points +=
                write_envelope(file, "PANENV2", l->pan, EnvelopeKind::pan, kTrackIndent, false);
        points +=
            write_envelope(file, "VOLENV3", l->trim, EnvelopeKind::volume, kTrackIndent, false);
        if (dual) {
            const int dual_points = write_envelope(file, "DUALPANENVL2", l->pan_left_lane,
                                                   EnvelopeKind::dual_pan, kTrackIndent, true) +
                                    write_envelope(file, "DUALPANENV2", l->pan_right_curve,
                                                   EnvelopeKind::dual_pan, kTrackIndent, true);
            points += dual_points;
            s.dual_pan_points += dual_points;
            if (dual_points != 0 && !dual_written) ++s.dual_pan_tracks;
            dual_written |= dual_points != 0;
        }
        // With the panner's lanes read, these curves are its front X lanes: ReaSurroundPan's.
        if (in.surround_panned && l->surround_lanes_1.empty())
            for (const AutomationCurve* c : {&l->pan, &l->pan_left_lane, &l->pan_right_curve})
                if (!c->points.empty()) {
                    ++s.surround_pan_lanes_not_carried;
                    surround_pan_automated = true;
                }
    }
    if (surround_pan_automated) ++s.surround_pan_strips;
    if (midi_mute_written) {
        points += write_envelope(file, "MUTEENV", *in.midi_mute_lane, EnvelopeKind::mute,
                                 kTrackIndent, false);
        ++s.midi_mute_tracks;
    }
    if (points > 0) {
        ++s.automated_tracks;
        s.automation_points += points;
    }

    if (frozen)
        write_freeze_render_items(file, index, in.freeze, freeze_paths);
    else if (context.hooks.write_track_items)
        context.hooks.write_track_items(file, index);
    std::fputs("  >\n", file);
}
