#include "convert/writer/tempo_markers.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <optional>

#include "app/output.h"
#include "convert/writer/colors.h"
#include "util/guid.h"
#include "util/number_text.h"
#include "util/rpp_text.h"

TempoMarkerCounts tempo_marker_counts;

namespace {

constexpr double kSameTime = 1e-7;  // a signature change this close to a point joins it
// REAPER marks every point that carries a signature, the opening one and each change, with 1.
constexpr std::uint32_t kSignatureOpening = 1;
constexpr std::uint32_t kSignatureChange = 1;
constexpr std::uint32_t kShapeRamp = 0;
constexpr std::uint32_t kShapeStep = 1;
constexpr std::uint32_t kMarkerSeedBase = 0x4D41524B;  // "MARK"
constexpr double kTicksPerQuarter = 960000.0;
// A repeated signature this close to a bar line (ticks) lies on it.
constexpr double kBarLineTolerance = 0.5;

// Ramp detection and fitting.
constexpr double kMaxRunStep = 2.0;      // seconds
constexpr double kStepTolerance = 0.02;  // steps of a run stay within 2 % of the first
constexpr double kMinSegment = 1e-9;
constexpr double kMinRampBpm = 1.0;
constexpr double kMaxRampBpm = 1000.0;
constexpr double kMaxRampDeparture = 0.25;  // of the stored tempo a solved one replaces
// What the fitted ramp may be off, at the run's end, from where the stored steps put the beat.
constexpr double kMaxRampOffset = 0.001;  // seconds

std::uint32_t signature_of(const MeterChange& meter) {
    return meter.denominator * 65536 + meter.numerator;
}

// REAPER's order: red in the low byte.
std::uint32_t reaper_color_of_rgb(std::uint32_t rgb) {
    return ((rgb >> 16) & 0xFF) | (rgb & 0xFF00) | ((rgb & 0xFF) << 16) | kColorUsedFlag;
}

// Whether `ticks` past a bar line of `meter` lies on a later bar line of it.
bool on_bar_line(const MeterChange& meter, double ticks) {
    if (meter.denominator == 0) return true;
    const double bar = meter.numerator * 4.0 * kTicksPerQuarter / meter.denominator;
    if (!(bar > 0.0) || !std::isfinite(ticks)) return true;
    const double past = std::fmod(std::fabs(ticks), bar);
    return past < kBarLineTolerance || bar - past < kBarLineTolerance;
}

// The meter entries after the first that change the bar lines: a signature that differs from the
// one in force, or the one in force again off its bar lines (Pro Tools starts a new bar there, and
// counts every later bar from it). The others repeat the meter in force: `repeats` gets them.
std::vector<MeterChange> signature_changes(std::span<const MeterChange> meters,
                                           std::vector<MeterChange>* repeats = nullptr) {
    std::vector<MeterChange> changes;
    if (meters.empty()) return changes;
    const MeterChange* in_force = &meters.front();
    for (std::size_t i = 1; i < meters.size(); ++i) {
        const MeterChange& meter = meters[i];
        if (signature_of(meter) == signature_of(*in_force) &&
            on_bar_line(*in_force, meter.position - in_force->position)) {
            if (repeats != nullptr) repeats->push_back(meter);
            continue;
        }
        in_force = &meter;
        changes.push_back(meter);
    }
    return changes;
}

// Beats the stored steps play from `from` to `to`.
double stored_beats(std::span<const TempoPoint> steps, double from, double to) {
    std::int64_t in_force = -1;
    for (std::size_t i = 0; i < steps.size() && steps[i].time <= from; ++i) {
        in_force = static_cast<std::int64_t>(i);
    }
    const double bpm =
        in_force >= 0 ? steps[static_cast<std::size_t>(in_force)].bpm : steps.front().bpm;
    return beats_between_const_tempo(steps, in_force + 1,
                                     static_cast<std::int64_t>(steps.size()) - 1, from, bpm, to);
}

// The last point of a run of steps that starts at `first`, or `first` when none starts there.
std::size_t run_end(std::span<const TempoPoint> steps, std::size_t first) {
    if (first + 2 >= steps.size()) return first;
    const double step = steps[first + 1].time - steps[first].time;
    const double change = steps[first + 1].bpm - steps[first].bpm;
    if (!(step > 0.0 && step <= kMaxRunStep) || change == 0.0) return first;
    const bool rising = change > 0.0;
    std::size_t last = first + 1;
    while (last + 1 < steps.size()) {
        const double next_step = steps[last + 1].time - steps[last].time;
        const double next_change = steps[last + 1].bpm - steps[last].bpm;
        if (!(rising ? next_change > 0.0 : next_change < 0.0)) break;
        if (!(next_step > 0.0 && next_step <= step * (1.0 + kStepTolerance))) break;
        ++last;
        if (next_step < step * (1.0 - kStepTolerance)) break;  // a shorter step closes the run
    }
    return last;
}

// Beats from the first point to `time` as the envelope plays them: a ramp point ramps towards the
// next one, a step holds its tempo.
double envelope_beats(std::span<const TempoPoint> points, double time) {
    double beats = 0.0;
    for (std::size_t i = 0; i < points.size() && points[i].time < time; ++i) {
        const TempoPoint& a = points[i];
        const bool next = i + 1 < points.size();
        const double until = next && points[i + 1].time < time ? points[i + 1].time : time;
        const double span = until - a.time;
        if (a.shape == kShapeRamp && next && points[i + 1].time > a.time) {
            const TempoPoint& b = points[i + 1];
            const double end_bpm = a.bpm + (b.bpm - a.bpm) * span / (b.time - a.time);
            beats += (a.bpm + end_bpm) * 0.5 * span / 60.0;
        } else {
            beats += a.bpm * span / 60.0;
        }
    }
    return beats;
}

// The ramp points that replace the steps first .. last - 1 of a run (the last point stays as a
// step), or none when a solved tempo does not fit. `written` holds the points before the run.
std::optional<std::vector<TempoPoint>> fit_run(std::span<const TempoPoint> steps, std::size_t first,
                                               std::size_t last,
                                               const std::vector<TempoPoint>& written) {
    const TempoPoint* before = written.empty() ? nullptr : &written.back();
    std::vector<TempoPoint> ramp;
    // Opening point: half a step early at the tempo in force before the run, when there is room.
    const double half_step = (steps[first + 1].time - steps[first].time) / 2.0;
    TempoPoint opening = steps[first];
    if (before != nullptr && before->time < steps[first].time - half_step) {
        opening.time = steps[first].time - half_step;
        opening.bpm = before->bpm;
    }
    opening.shape = kShapeRamp;
    ramp.push_back(opening);
    // One point in the middle of every step; the one in the last step holds its tempo up to the
    // run's last point.
    for (std::size_t k = first; k < last; ++k) {
        TempoPoint middle = steps[k];
        middle.time = (steps[k].time + steps[k + 1].time) / 2.0;
        middle.shape = k + 1 < last ? kShapeRamp : kShapeStep;
        ramp.push_back(middle);
    }
    // Each tempo in turn so that the linear segment plays the beats the steps play.
    for (std::size_t k = 1; k < ramp.size(); ++k) {
        const double span = ramp[k].time - ramp[k - 1].time;
        if (!(span > kMinSegment)) return std::nullopt;
        const double beats = stored_beats(steps, ramp[k - 1].time, ramp[k].time);
        const double solved = 120.0 * beats / span - ramp[k - 1].bpm;
        const double stored = ramp[k].bpm;
        if (!(solved >= kMinRampBpm && solved <= kMaxRampBpm)) return std::nullopt;
        if (std::fabs(solved - stored) > kMaxRampDeparture * stored) return std::nullopt;
        ramp[k].bpm = solved;
    }
    // Counted from the start of the envelope, the beat at the run's last point must land where
    // the steps put it, so nothing after the run moves.
    const TempoPoint& hold = ramp.back();
    const double ramped = envelope_beats(written, opening.time) +
                          beats_at_time_ramped(ramp, hold.time) +
                          hold.bpm * (steps[last].time - hold.time) / 60.0;
    const double stepped = stored_beats(steps, steps.front().time, steps[last].time);
    if (std::fabs(ramped - stepped) * 60.0 / steps[last].bpm > kMaxRampOffset) return std::nullopt;
    return ramp;
}

// Places one signature change: on a point within kSameTime of it, else as a point of its own.
void place_signature(std::vector<TempoPoint>& points, double time, double bpm,
                     std::uint32_t signature) {
    for (TempoPoint& point : points) {
        if (std::fabs(point.time - time) <= kSameTime) {
            point.signature = signature;
            point.signature_flag = kSignatureChange;
            return;
        }
    }
    std::size_t at = 0;
    while (at < points.size() && points[at].time <= time) ++at;
    TempoPoint added{time, bpm, signature, kSignatureChange, kShapeStep};
    if (at > 0 && at < points.size() && points[at - 1].shape == kShapeRamp) {
        const TempoPoint& a = points[at - 1];
        const TempoPoint& b = points[at];
        added.bpm = a.bpm + (b.bpm - a.bpm) * (time - a.time) / (b.time - a.time);
        added.shape = kShapeRamp;
    }
    points.insert(points.begin() + static_cast<std::ptrdiff_t>(at), added);
}

double bpm_at_tick(const TempoMap& map, double tick, double project_tempo) {
    if (map.entries.empty()) return project_tempo;
    // The last entry starting at or before `tick`, else the first.
    const auto after =
        std::upper_bound(map.entries.begin(), map.entries.end(), tick,
                         [](double t, const TempoEntry& entry) { return t < entry.start_tick; });
    return after == map.entries.begin() ? map.entries.front().bpm : std::prev(after)->bpm;
}

double location_seconds(const TempoMarkersInput& input, const MemoryLocation& location,
                        double position) {
    if (location.raw) return position / (input.sample_rate > 0.0 ? input.sample_rate : 48000.0);
    return ticks_to_seconds(input.tempo_map, position, input.project_tempo);
}

// A name as one token of the project text: control bytes become blanks, then it is quoted.
std::string marker_name_token(const std::string& name) {
    std::string clean = name;
    for (char& c : clean) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) c = ' ';
    }
    return rpp_quote(clean);
}

void write_tempo_envelope(std::FILE* file, const TempoMarkersInput& input) {
    const std::vector<TempoPoint> points = build_tempo_points(input, tempo_marker_counts);
    if (points.empty()) return;
    print_text(file, "  <TEMPOENVEX\n");
    for (const TempoPoint& point : points) {
        if (point.signature_flag == 0) {
            print_text(file, "    PT %.10f %.6f %d\n", point.time, point.bpm,
                       static_cast<int>(point.shape));
        } else {
            print_text(file, "    PT %.10f %.6f %d %ld 0 %d\n", point.time, point.bpm,
                       static_cast<int>(point.shape), static_cast<long>(point.signature),
                       static_cast<int>(point.signature_flag));
        }
    }
    print_text(file, "  >\n");
}

void write_markers(std::FILE* file, const TempoMarkersInput& input) {
    TempoMarkerCounts& counts = tempo_marker_counts;
    int number = 0;
    for (const MemoryLocation& location : input.locations) {
        if (!location.readable) {
            counts.unreadable.push_back(location.name);
            continue;
        }
        if (location.kind == LocationKind::none) {
            ++counts.kind_none_skipped;
            continue;
        }
        if (!location.has_positions) {
            counts.without_positions.push_back(location.name);
            continue;
        }
        if (!location_kind_known(location.stored_kind)) {
            counts.unknown_kinds.push_back({location.name, location.stored_kind});
        }
        ++number;
        ++counts.locations_written;
        bool unknown_number = false;
        const std::uint32_t color = location_color(location, unknown_number);
        if (color != 0) ++counts.colored;
        if (unknown_number) counts.unknown_colors.push_back({location.name, location.color_number});

        const double start = location_seconds(input, location, location.start);
        const std::string name = marker_name_token(location.name);
        const std::string guid =
            guid_from_seed(kMarkerSeedBase + static_cast<std::uint32_t>(number));
        const auto color_text = static_cast<unsigned long>(color);
        if (location.kind == LocationKind::range && location.end > location.start) {
            ++counts.regions;
            print_text(file, "  MARKER %d %.10f %s 1 %lu 1 R %s 0\n", number, start, name.c_str(),
                       color_text, guid.c_str());
            print_text(file, "  MARKER %d %.10f \"\" 1\n", number,
                       location_seconds(input, location, location.end));
        } else {
            print_text(file, "  MARKER %d %.10f %s 0 %lu 1 R %s 0\n", number, start, name.c_str(),
                       color_text, guid.c_str());
        }
    }
}

// A paragraph's one-per-line rows: the first 8, then how many more.
void append_rows(std::string& text, const std::vector<std::string>& rows) {
    constexpr std::size_t kShown = 8;
    for (std::size_t i = 0; i < rows.size() && i < kShown; ++i) text += "      " + rows[i] + "\n";
    if (rows.size() > kShown) {
        text += format_text("      ... and %d more\n", static_cast<int>(rows.size() - kShown));
    }
}

// The bar (from 1) that starts at `position` ticks, counting bars in the meter in force. Meter
// changes start a bar; a bar cut short by one still counts.
std::uint32_t bar_of(std::span<const MeterChange> meters, double position) {
    constexpr double kMaxBar = 4294967295.0;
    double bar = 1.0;
    double from = 0.0;
    double bar_ticks = 4.0 * kTicksPerQuarter;  // 4/4 before the first meter
    auto count_to = [&](double to) {
        if (to > from && bar_ticks > 0.0) bar += std::ceil((to - from) / bar_ticks - 1e-9);
        from = std::max(from, to);
    };
    for (const MeterChange& meter : meters) {
        if (meter.position >= position) break;
        count_to(meter.position);
        if (meter.denominator != 0)
            bar_ticks = meter.numerator * 4.0 * kTicksPerQuarter / meter.denominator;
    }
    count_to(position);
    if (!(bar >= 1.0)) return 1;  // NaN from unreadable positions included
    return static_cast<std::uint32_t>(std::min(bar, kMaxBar));
}

std::string shown_name(const std::string& name) {
    return name.empty() ? "(no name)" : "\"" + name + "\"";
}

}  // namespace

std::vector<TempoPoint> build_tempo_points(const TempoMarkersInput& input,
                                           TempoMarkerCounts& counts) {
    const std::vector<TempoEntry>& entries = input.tempo_map.entries;
    const std::vector<MeterChange> changes = signature_changes(input.meters);
    counts.meter_repeats =
        input.meters.empty() ? 0 : static_cast<int>(input.meters.size() - 1 - changes.size());
    counts.tempo_changes = entries.size() > 1 ? static_cast<int>(entries.size()) : 0;
    if (entries.size() <= 1 && changes.empty()) return {};

    std::vector<TempoPoint> points;
    if (entries.size() >= 2) {
        for (const TempoEntry& entry : entries) {
            points.push_back(
                {ticks_to_seconds(input.tempo_map, entry.start_tick, input.project_tempo),
                 entry.bpm, 0, 0, kShapeStep});
        }
    } else {
        const double bpm = entries.empty() ? input.project_tempo : entries.front().bpm;
        points.push_back({0.0, bpm, 0, 0, kShapeStep});
    }
    if (input.tempo_ramps && points.size() >= 3) points = fit_tempo_ramps(points, counts);

    if (!changes.empty()) {
        points.front().signature = signature_of(input.meters.front());
        points.front().signature_flag = kSignatureOpening;
    }
    for (const MeterChange& change : changes) {
        const double time = ticks_to_seconds(input.tempo_map, change.position, input.project_tempo);
        place_signature(points, time,
                        bpm_at_tick(input.tempo_map, change.position, input.project_tempo),
                        signature_of(change));
        ++counts.signature_changes;
    }
    return points;
}

std::vector<TempoPoint> fit_tempo_ramps(std::span<const TempoPoint> steps,
                                        TempoMarkerCounts& counts) {
    std::vector<TempoPoint> out;
    std::size_t i = 0;
    while (i < steps.size()) {
        const std::size_t last = run_end(steps, i);
        if (last < i + 2) {
            out.push_back(steps[i]);
            ++i;
            continue;
        }
        const std::optional<std::vector<TempoPoint>> ramp = fit_run(steps, i, last, out);
        if (ramp) {
            ++counts.ramps_written;
            out.insert(out.end(), ramp->begin(), ramp->end());
        } else {
            ++counts.ramps_kept_as_steps;
            out.insert(out.end(), steps.begin() + static_cast<std::ptrdiff_t>(i),
                       steps.begin() + static_cast<std::ptrdiff_t>(last));
        }
        // The run's last point stays a step, and may open the next run.
        i = last;
    }
    return out;
}

std::uint32_t location_color(const MemoryLocation& location, bool& unknown_number) {
    unknown_number = false;
    std::uint32_t color = 0;
    const std::int32_t index = location.palette_index;
    if (index >= 25 && index <= 95 && index % 24 != 0) color = palette_color(index);
    if (location.color_number < 0) return color;
    // 0xFFB300 is the colour Pro Tools gives a location it was not asked to colour.
    if (location.color_rgb >= 0 && location.color_rgb != 0xFFB300) {
        return reaper_color_of_rgb(static_cast<std::uint32_t>(location.color_rgb));
    }
    switch (location.color_number) {
        case 11:
            return color;
        case 2:
            return reaper_color_of_rgb(0x6600FE);
        case 3:
            return reaper_color_of_rgb(0x9202DD);
        case 5:
            return reaper_color_of_rgb(0xFE7CD5);
        case 12:
            return reaper_color_of_rgb(0xDFDF00);
        case 13:
            return reaper_color_of_rgb(0x8DE702);
        case 17:
            return reaper_color_of_rgb(0x00DA32);
        default:
            unknown_number = true;
            return color;
    }
}

void write_tempo_and_markers(std::FILE* file, const TempoMarkersInput& input) {
    write_tempo_envelope(file, input);
    write_markers(file, input);
}

std::string tempo_map_summary(const TempoMarkerCounts& counts, bool tempo_ramps) {
    std::string text;
    if (counts.tempo_changes != 0) {
        text += format_text("  tempo map with %d changes\n", counts.tempo_changes);
        if (tempo_ramps) {
            if (counts.ramps_written != 0) {
                text += format_text(
                    "      --tempo-ramps: %d drawn ramp(s) written as a REAPER ramp you can grab\n",
                    counts.ramps_written);
            } else {
                text +=
                    "      --tempo-ramps: no drawn ramp here; every tempo event is a plain step\n";
            }
            if (counts.ramps_kept_as_steps != 0) {
                text += format_text(
                    "      %d ramp(s) left as Pro Tools' steps: the tempos needed to come out on\n"
                    "      the same beats strayed too far from the stored ones\n",
                    counts.ramps_kept_as_steps);
            }
        }
    }
    return text;
}

std::string meter_change_summary(std::span<const MeterChange> meters, int written) {
    if (written == 0) return {};
    std::string text = format_text(
        "  NOTE: this session has %d meter change(s) after the first,\n"
        "      which REAPER's one project time signature cannot hold:\n",
        written);
    std::vector<std::string> rows;
    for (const MeterChange& change : signature_changes(meters))
        rows.push_back(format_text("%u/%u at bar %u", change.numerator, change.denominator,
                                   bar_of(meters, change.position)));
    append_rows(text, rows);
    text += format_text(
        "      All %d are written as REAPER time signature changes, at\n"
        "      the same bars, in the project's tempo envelope.\n",
        written);
    return text;
}

std::string meter_repeat_summary(std::span<const MeterChange> meters, int repeats) {
    if (repeats == 0) return {};
    constexpr std::size_t kShown = 8;
    std::vector<MeterChange> repeated;
    signature_changes(meters, &repeated);
    std::string text = format_text(
        "  %d meter event(s) repeat the meter already in force -- no bar line", repeats);
    const char* separator = "";
    for (std::size_t i = 0; i < repeated.size() && i < kShown; ++i) {
        text += format_text("%s %u/%u at bar %u", separator, repeated[i].numerator,
                            repeated[i].denominator, bar_of(meters, repeated[i].position));
        separator = ",";
    }
    if (repeated.size() > kShown)
        text += format_text(", ... and %d more", static_cast<int>(repeated.size() - kShown));
    text += "\n      changes at these entries, so none is written as a change.\n";
    return text;
}

std::string marker_summary(const TempoMarkerCounts& counts) {
    std::string text;
    if (counts.locations_written != 0) {
        text += format_text("  %d memory location(s) written as REAPER markers\n",
                            counts.locations_written);
    }
    if (counts.regions != 0) {
        text += format_text(
            "  %d written as REAPER REGIONS -- those are Pro Tools\n"
            "      Selection memory locations, which store a time RANGE\n"
            "      rather than a point\n",
            counts.regions);
    }
    if (counts.colored != 0) {
        text += format_text(
            "      %d of them carried a marker color. A marker Pro Tools\n"
            "      left unset keeps REAPER's default -- the color it shows\n"
            "      for those is generated for display and not stored.\n",
            counts.colored);
    }
    if (!counts.unknown_colors.empty()) {
        text += format_text(
            "      %d marker(s) carry a Pro Tools color this build cannot\n"
            "      match yet; they keep their palette color or REAPER's default:\n",
            static_cast<int>(counts.unknown_colors.size()));
        std::vector<std::string> rows;
        for (const NamedLocation& location : counts.unknown_colors) {
            rows.push_back(format_text("%s %s", shown_name(location.name).c_str(),
                                       format_text("(color %d)", location.value).c_str()));
        }
        append_rows(text, rows);
    }
    if (counts.kind_none_skipped != 0) {
        text += format_text(
            "  %d memory location(s) have time property NONE and were NOT\n"
            "      written. Those store no timeline position at all -- Pro\n"
            "      Tools does not draw them either, so there is nothing to\n"
            "      place. Their zoom, height and group settings are Pro\n"
            "      Tools view state and have no REAPER equivalent.\n",
            counts.kind_none_skipped);
    }
    if (counts.locations_written != 0 && counts.colored == 0) {
        text +=
            "      None carried a stored marker color, so REAPER shows them\n"
            "      in its own default color.\n";
    }
    if (!counts.unknown_kinds.empty()) {
        text += format_text(
            "  %d memory location(s) are stored with a kind this build does not\n"
            "      know; each was written as a REAPER region when it holds a time\n"
            "      range, else as a marker:\n",
            static_cast<int>(counts.unknown_kinds.size()));
        std::vector<std::string> rows;
        for (const NamedLocation& location : counts.unknown_kinds) {
            rows.push_back(
                format_text("%s (kind %d)", shown_name(location.name).c_str(), location.value));
        }
        append_rows(text, rows);
    }
    if (!counts.without_positions.empty()) {
        text += format_text(
            "  %d memory location(s) were NOT written: they hold no position\n"
            "      this build can place on the timeline (stored before the\n"
            "      session start, or a sample range that ends before it begins):\n",
            static_cast<int>(counts.without_positions.size()));
        std::vector<std::string> rows;
        for (const std::string& name : counts.without_positions) rows.push_back(shown_name(name));
        append_rows(text, rows);
    }
    if (!counts.unreadable.empty()) {
        text += format_text(
            "  %d memory location(s) were NOT written: their record could not be\n"
            "      read (a name longer than 255 bytes or not text, or a record\n"
            "      too short for its name and position):\n",
            static_cast<int>(counts.unreadable.size()));
        std::vector<std::string> rows;
        for (const std::string& name : counts.unreadable) rows.push_back(shown_name(name));
        append_rows(text, rows);
    }
    return text;
}
