#include "convert/clips/clip_extras.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <set>
#include <string_view>
#include <vector>

#include "app/output.h"
#include "convert/clips/clip_math.h"
#include "convert/clips/clip_overlaps.h"
#include "convert/summary/console_summary.h"
#include "melodyne/archive_loader.h"
#include "util/names.h"

ClipExtras clip_extras;

namespace {

constexpr double kChangedBy = 0.0001;
constexpr std::uint16_t kAudioPlacementHolder = 0x1050;
constexpr std::uint16_t kMidiPlacementHolder = 0x1056;
constexpr std::size_t kLoopNoteBytes = 160;

// The pitch list by name, for a lookup per clip in a probe or two rather than a search of the
// list: its slots, a power of two at least twice the list's length, hold places in the list plus
// one, 0 where free. The list holds each name once.
class PitchesByName {
  public:
    explicit PitchesByName(const ClipPitches& pitches) : pitches_(pitches) {
        if (pitches.empty() || pitches.size() >= std::numeric_limits<std::uint32_t>::max() / 2)
            return;
        std::size_t size = 2;
        while (size < 2 * pitches.size()) size *= 2;
        slots_.assign(size, 0);
        mask_ = size - 1;
        for (std::size_t i = 0; i < pitches.size(); ++i) {
            std::size_t at = std::hash<std::string_view>{}(pitches[i].name) & mask_;
            while (slots_[at] != 0) at = (at + 1) & mask_;
            slots_[at] = static_cast<std::uint32_t>(i + 1);
        }
    }

    const ClipPitch* find(std::string_view name) const {
        if (slots_.empty()) return pitches_.empty() ? nullptr : find_clip_pitch(pitches_, name);
        for (std::size_t at = std::hash<std::string_view>{}(name)&mask_; slots_[at] != 0;
             at = (at + 1) & mask_) {
            const ClipPitch& pitch = pitches_[slots_[at] - 1];
            if (pitch.name == name) return &pitch;
        }
        return nullptr;
    }

  private:
    const ClipPitches& pitches_;
    std::vector<std::uint32_t> slots_;
    std::size_t mask_ = 0;
};

std::string clip_row(const OutputTrack& track, const ClipRecord& clip) {
    return track.name + ": " + clip.name;
}

// Step: Clip Effects. Changed parameters keep the whole list on the clip; the polarity switch is
// the take's phase instead.
void apply_clip_effects(const ClipEffectsLists& lists, ClipRecord& clip, const OutputTrack& track,
                        ClipExtras& out) {
    const auto list = lists.find(clip.name);
    if (list == lists.end()) return;
    bool changed = false;
    for (const PxRecord& p : list->second) {
        const double value = std::bit_cast<double>(p.value);
        if (p.name == "Phase Switch In/Out") {
            if (value >= 0.5) {
                clip.rare.edit().phase_invert = 1;
                ++out.phase_inversions;
            }
            continue;
        }
        if (p.name == "Process Order") {
            changed = changed || std::fabs(value) >= kChangedBy;
            continue;
        }
        for (const ChannelStripDefault& d : kClipEffectDefaults)
            if (p.name == d.name) {
                // Untouched clips store values a hair off the defaults: not a change.
                changed = changed || std::fabs(value - d.value) > kChangedBy;
                break;
            }
    }
    if (!changed) return;
    RareList<ClipEffectValue>& effects = clip.rare.edit().clip_effects;
    effects.clear();
    for (const PxRecord& p : list->second)
        effects.push_back({p.name, std::bit_cast<double>(p.value)});
    out.clip_effects_clips.push_back(clip_row(track, clip));
}

// Step: Melodyne archives named by the records, loaded once per path.
void load_melodyne_files(const ClipExtrasInput& in, ClipExtras& out) {
    for (std::size_t r = 0; r < out.ara_records.size(); ++r) {
        const PluginParamRecord& record = out.ara_records[r];
        const std::string& record_name = record.container_name;
        if (ara_plugin_name(record).empty()) {
            out.ara_notes.push_back(record_name + ": not Melodyne");
            continue;
        }
        const std::string folder = record_name.empty() ? std::string("Melodyne") : record_name;
        AraRecordArchives& paths = out.ara_archives[r];
        const struct {
            const std::string* name;
            std::string* path;
        } tries[] = {{&record.document_text, &paths.document},
                     {&record.entry_name, &paths.source},
                     {&record.value_name, &paths.modification}};
        bool usable = true;
        for (const auto& t : tries) {
            const AraLoad load =
                load_ara_archive(in.session_path, folder, *t.name, out.archives, *t.path);
            if (load == AraLoad::loaded || load == AraLoad::already_loaded) continue;
            const std::string shown = t.name->empty() ? "the document file" : *t.name;
            if (load == AraLoad::not_an_archive)
                out.ara_notes.push_back(shown + ": not a Melodyne archive this converter reads");
            else if (load == AraLoad::too_large)
                out.ara_notes.push_back(shown + ": too large to be a Melodyne archive");
            else
                out.ara_notes.push_back(shown + ": not found beside the session (ARA Data/" +
                                        record_name + ")");
            usable = false;
            break;
        }
        out.ara_usable[r] = usable ? 1 : 0;
        paths.usable = out.ara_usable[r];
    }
}

// Seconds from the session start to a tick position.
double tick_time(const ClipExtrasInput& in, double ticks) {
    if (in.tempo_map) return ticks_to_seconds(*in.tempo_map, ticks, in.tempo);
    return ticks * 60.0 / (in.tempo * 960000.0);
}

// The tick position of a time from the session start (the inverse of tick_time).
double time_tick(const ClipExtrasInput& in, double seconds) {
    double low = 0.0;
    double high = 1.0;
    while (tick_time(in, high) < seconds && high < 1e18) high *= 2.0;
    for (int i = 0; i < 100 && high - low > 1e-3; ++i) {
        const double mid = 0.5 * (low + high);
        (tick_time(in, mid) < seconds ? low : high) = mid;
    }
    return 0.5 * (low + high);
}

bool warp_span_fits(double a, double b, const std::vector<WarpPoint>& points) {
    return a < points.back().sample - 1.0 && b > points.front().sample + 1.0 && b - a >= 1.0;
}

// Step: elastic audio. The clip's source span on the warp points' sample scale gives its
// length in session time; markers hold (item time, source seconds).
void apply_warp(const ClipExtrasInput& in, const std::vector<WarpPoint>& points, double rate,
                ClipRecord& clip, ClipExtras& out) {
    if (points.size() < 2 || !(clip.length > 0.0)) return;
    for (std::size_t i = 1; i < points.size(); ++i)
        if (!(points[i].sample > points[i - 1].sample) || !std::isfinite(points[i].tick)) {
            ++out.rejected_warps;
            return;
        }
    const double span = clip.length * rate;
    double a = static_cast<double>(clip.source_offset_samples);
    const bool trimmed_take = !warp_span_fits(a, a + span, points);
    if (trimmed_take)
        a -= tick_time(in, points.front().tick) * rate;  // the offset counted from the first point
    const double b = a + span;
    if (!warp_span_fits(a, b, points)) {
        ++out.rejected_warps;
        return;
    }
    std::vector<ValueAtPosition> by_sample;
    for (const WarpPoint& p : points) by_sample.push_back({p.tick, p.sample});
    const double tick_a = interp_piecewise_linear(by_sample, a);
    const double tick_b = interp_piecewise_linear(by_sample, b);
    const double time_a = tick_time(in, tick_a);
    const double new_length = tick_time(in, tick_b) - time_a;
    const double ratio = new_length / clip.length;
    if (!(new_length > 0.0) || !(ratio >= 0.05 && ratio <= 20.0)) {
        ++out.rejected_warps;
        return;
    }
    if (ratio < 0.999 || ratio > 1.001) {
        ClipRareFields& rare = clip.rare.edit();
        rare.stretched = 1;
        clip.length = new_length;
        rare.playrate = 1.0 / ratio;
        ++out.stretched_clips;
    }
    std::vector<StretchMarker> markers = {{0.0, a / rate}};
    for (const WarpPoint& p : points) {
        if (!(p.sample > a + 1.0 && p.sample < b - 1.0)) continue;
        const double item_time = tick_time(in, p.tick) - time_a;
        if (item_time > 0.0 && item_time < new_length)
            markers.push_back({item_time, p.sample / rate});
    }
    markers.push_back({new_length, b / rate});
    if (markers.size() > 2) {
        clip.rare.edit().stretch_markers = std::move(markers);
        ++out.stretch_marker_clips;
        if (trimmed_take) ++out.warped_from_slice;
    }
}

void add_loop_note(ClipExtras& out, const std::string& prefix, const std::string& text) {
    out.loop_notes += prefix + utf8_prefix(text, kLoopNoteBytes);
    ++out.loop_note_count;
}

// Step: Pro Tools loops. Kind 2 repeats the clip; kind 1 is cut after the overlap step.
void apply_loops(const ClipExtrasInput& in, ClipModel& model, ClipExtras& out) {
    std::set<const LoopRecord*> matched;
    for (auto& [index, clips] : model.main_clips) {
        const OutputTrack& track = model.output_tracks[index];
        const auto tick = model.tick_based.find(index);
        const bool ticks = tick != model.tick_based.end() && tick->second != 0;
        std::vector<ClipRecord> copies;
        for (ClipRecord& clip : clips) {
            for (const LoopRecord& loop : in.loops) {
                if (matched.contains(&loop) ||
                    static_cast<std::uint32_t>(loop.placement_key) != clip.region_index ||
                    static_cast<std::uint32_t>(loop.placement_key >> 32) !=
                        static_cast<std::uint32_t>(clip.raw_start))
                    continue;
                matched.insert(&loop);
                const std::string prefix = "\n      " + track.name + ": \"" + clip.name + "\"";
                const bool audio = loop.parent_type == kAudioPlacementHolder;
                std::string reason;
                if (!loop.known_shape) {
                    reason = "a loop record of an unknown shape";
                } else if (loop.loop_byte == 1) {
                    out.kept_loops.push_back(
                        {index, clip.region_index, clip.raw_start,
                         static_cast<double>(loop.first_value) / model.sample_rate});
                } else if (loop.loop_byte == 2 && audio) {
                    const std::uint32_t count = loop.loop_count;
                    if (count >= 2 && count <= 10000 && clip.rare.get().playrate == 1.0 &&
                        !clip.crossfaded && clip.rare.get().ara_index < 0 && clip.length > 0.001) {
                        ++out.loops_written;
                        if (clip.fade_in_length > 0.0) ++out.looped_fade_ins;
                        const double start_tick = ticks ? time_tick(in, clip.start) : 0.0;
                        for (std::uint32_t k = 1; k < count; ++k) {
                            if (out.loop_repeats >= kLoopRepeatBudget) {
                                out.repeats_over_budget += static_cast<int>(count - k);
                                add_loop_note(out, prefix,
                                              format_text(" at %.2f s (%u repeat(s) past the "
                                                          "converter's budget left out)",
                                                          clip.start, count - k));
                                break;
                            }
                            ClipRecord copy = clip;
                            copy.start = clip.start + k * clip.length;
                            // The raw start keeps its clip's unit: samples, or ticks + 10^12.
                            const double step =
                                ticks ? std::floor(time_tick(in, copy.start) - start_tick + 0.5)
                                      : k * std::floor(clip.length * model.sample_rate + 0.5);
                            copy.raw_start = clip.raw_start + static_cast<std::uint64_t>(step);
                            copies.push_back(std::move(copy));
                            ++out.loop_repeats;
                        }
                    } else if (count < 2 || count > 10000) {
                        reason = "an unreadable loop count";
                    } else if (clip.rare.get().ara_index >= 0) {
                        reason = "Melodyne on a looped clip";
                    } else {
                        reason = "stretched or crossfaded";
                    }
                } else if (loop.loop_byte == 2 || !audio) {
                    reason = "not an audio clip";
                } else {
                    reason = "an unknown loop mode";
                }
                if (!reason.empty())
                    add_loop_note(out, prefix,
                                  format_text(" at %.2f s (%s)", clip.start, reason.c_str()));
                break;
            }
        }
        if (copies.empty()) continue;
        for (ClipRecord& copy : copies) clips.push_back(std::move(copy));
        sort_clips_by_start(clips);
    }
    for (const LoopRecord& loop : in.loops) {
        if (matched.contains(&loop) || loop.parent_type == kAudioPlacementHolder) continue;
        out.loop_notes +=
            format_text("\n      a %s placement at sample %u (not an audio clip)",
                        loop.parent_type == kMidiPlacementHolder ? "MIDI" : "non-audio",
                        static_cast<std::uint32_t>(loop.placement_key >> 32));
        ++out.loop_note_count;
    }
}

}  // namespace

double rate_correction(const std::vector<ClipRecord>& clips) {
    std::vector<double> ratios;
    for (std::size_t i = 0; i + 1 < clips.size(); ++i) {
        const ClipRecord& first = clips[i];
        const double distance = clips[i + 1].start - first.start;
        if (first.crossfaded || first.rare.get().stretched || !(distance > 0.05)) continue;
        const double r = first.length / distance;
        if (r > 0.8 && r < 1.25) ratios.push_back(r);
    }
    if (ratios.size() < 3) return 0.0;
    std::sort(ratios.begin(), ratios.end());
    const double m = ratios[ratios.size() / 2];
    const auto near = std::count_if(ratios.begin(), ratios.end(),
                                    [m](double r) { return std::fabs(r - m) <= 0.005; });
    if (near <= 2 || 5 * near < 3 * static_cast<std::ptrdiff_t>(ratios.size())) return 0.0;
    // A steady ratio is an edit (hits on a grid); only 44.1 against 48 kHz is a rate error.
    const bool rate_error = std::fabs(m - 0.91875) <= 0.002 || std::fabs(m - 1.08844) <= 0.002;
    return rate_error && std::fabs(m - 1.0) > 0.002 ? m : 0.0;
}

std::string ara_plugin_name(const PluginParamRecord& record) {
    return record.group_text == "com.celemony.ara.chunk.13" ? "Melodyne" : "";
}

void apply_clip_extras(const ClipExtrasInput& in, ClipModel& model, ClipExtras& out) {
    const double rate = model.sample_rate;
    out.ara_records = in.ara_records;
    out.ara_usable.assign(out.ara_records.size(), 0);
    out.ara_archives.assign(out.ara_records.size(), AraRecordArchives{});
    for (const auto& [name, index] : in.ara_clip_records)
        if (index < out.ara_records.size())
            out.ara_clip_index[name] = static_cast<std::uint32_t>(index);
    if (!in.no_ara) load_melodyne_files(in, out);
    std::set<std::uint32_t> records_on_a_clip;
    const PitchesByName pitches(in.pitches);

    for (auto& [index, clips] : model.main_clips) {
        const OutputTrack& track = model.output_tracks[index];
        for (ClipRecord& clip : clips) {
            apply_clip_effects(in.effects, clip, track, out);
            if (const auto ara = out.ara_clip_index.find(clip.name);
                ara != out.ara_clip_index.end()) {
                clip.rare.edit().ara_index = static_cast<std::int32_t>(ara->second);
                out.ara_clips.push_back(clip_row(track, clip));
                records_on_a_clip.insert(ara->second);
            }
            if (const auto warp = in.warps.find(clip.name); warp != in.warps.end())
                apply_warp(in, warp->second, rate, clip, out);
            if (const ClipPitch* pitch = pitches.find(clip.name)) {
                const double p = pitch->semitones;
                // A value that prints as 0 (a denormal fraction) is no transposition.
                if (std::isfinite(p) && std::fabs(p) >= 5e-7 && p >= -48.0 && p <= 48.0) {
                    clip.rare.edit().pitch = p;
                    ++out.pitched_clips;
                } else {
                    ++out.rejected_pitches;
                }
            }
        }
        if (in.no_stretch) continue;
        const double m = rate_correction(clips);
        if (m == 0.0) continue;
        for (ClipRecord& clip : clips) {
            if (clip.rare.get().stretched) continue;
            clip.length /= m;
            clip.rare.edit().playrate = m;
            ++out.rate_corrected_clips;
        }
        out.rate_rows.push_back(format_text("%.4f on ", m) + track.name);
    }
    out.ara_records_on_no_clip =
        static_cast<int>(out.ara_records.size() - records_on_a_clip.size());
    apply_loops(in, model, out);
}

void apply_loop_cuts(ClipModel& model, ClipExtras& out) {
    for (const KeptLoop& loop : out.kept_loops) {
        // After the overlap step the clips live in the output tracks.
        auto track = model.output_tracks.find(loop.track);
        if (track == model.output_tracks.end()) continue;
        for (ClipRecord& clip : track->second.clips) {
            if (clip.region_index != loop.region_index || clip.raw_start != loop.raw_start)
                continue;
            const double l = loop.length;
            if (l > 0.001 && l < clip.length - 0.001) {
                cut_clip_tail(clip, l);
                clip.fade_in_length = std::min(clip.fade_in_length, l);
                clip.fade_out_length = std::min(clip.fade_out_length, l);
                clip.whole_file = 0;
                ++out.loops_cut;
            } else if (std::fabs(l - clip.length) > 0.001) {
                const std::string prefix =
                    "\n      " + track->second.name + ": \"" + clip.name + "\"";
                add_loop_note(out, prefix,
                              format_text(" at %.2f s: Pro Tools' loop is %.2f s long, written "
                                          "%.2f s",
                                          clip.start, l, clip.length));
            }
            break;
        }
    }
}

std::string clip_extras_stretch_lines(const ClipExtras& e) {
    std::string text;
    if (e.pitched_clips != 0) text += format_text("  %d clips pitch-shifted\n", e.pitched_clips);
    if (e.stretch_marker_clips != 0)
        text += format_text("  %d clips carry elastic warp markers\n", e.stretch_marker_clips);
    if (e.stretch_marker_clips != 0 && e.warped_from_slice != 0)
        text += format_text("  %d of them are trims of a take, warped from the slice\n",
                            e.warped_from_slice);
    if (e.rejected_warps != 0)
        text +=
            format_text("  %d clips carry a warp map that could not be sliced\n", e.rejected_warps);
    return text;
}

std::string clip_extras_loop_lines(const ClipExtras& e) {
    std::string text;
    if (e.loops_written != 0)
        text += format_text(
            "  %d looped clip(s) (Clip > Loop) written as their %d passes, end to end,\n"
            "      as Pro Tools plays them.\n",
            e.loops_written, e.loops_written + e.loop_repeats);
    if (e.loops_cut != 0)
        text += format_text(
            "  %d looped clip(s) set by Loop Length end where Pro Tools ends them (the\n"
            "      loop is shorter than the clip).\n",
            e.loops_cut);
    if (e.looped_fade_ins != 0)
        text += format_text(
            "      %d of them have fades, kept on every pass: how Pro Tools fades a\n"
            "      looped clip is not measured yet.\n",
            e.looped_fade_ins);
    if (e.loop_note_count != 0)
        text += format_text("  WARNING: %d looped clip(s) (Clip > Loop) NOT written as loops:%s\n",
                            e.loop_note_count, e.loop_notes.c_str()) +
                "      Each arrives as the clip is stored, not as Pro Tools loops it.\n"
                "      Check those clips' length in REAPER against Pro Tools.\n";
    return text;
}

std::string clip_extras_take_lines(const ClipExtras& e) {
    std::string text;
    if (e.phase_inversions != 0)
        text += format_text(
            "  %d clip(s) had Clip Effects POLARITY switched on: carried as REAPER take\n"
            "      polarity (Item properties > Invert phase).\n",
            e.phase_inversions);
    // Clips with Melodyne that get no take are named by the item writer, which knows, with these
    // notes under its paragraph; here they stand only for records no clip uses.
    if (e.ara_clips.empty())
        for (const std::string& note : e.ara_notes) text += "      Melodyne: " + note + "\n";
    return text;
}

std::string clip_extras_rate_rows(const ClipExtras& e) {
    std::string text;
    for (const std::string& row : e.rate_rows) text += "      stretch " + row + "\n";
    return text;
}
