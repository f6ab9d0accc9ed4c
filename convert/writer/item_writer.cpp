#include "convert/writer/item_writer.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <utility>

#include "convert/run_state.h"
#include "convert/writer/ara_transfer.h"
#include "convert/writer/audio_paths.h"
#include "convert/writer/colors.h"
#include "convert/writer/project_text.h"
#include "effects/clip_effects.h"
#include "platform/paths.h"
#include "util/guid.h"
#include "util/number_text.h"
#include "util/portable_math.h"

// The item text's fixed words as views: their lengths are known where they are appended.
using namespace std::string_view_literals;

ItemWriterState item_writer;

void reset_item_writer() {
    item_writer = ItemWriterState{};
}

namespace {

constexpr double kEdgeTolerance = 1e-9;

// Stretch markers past this many on one line start a new SM line.
constexpr std::size_t kMarkersPerLine = 28;

double finite_or(double value, double fallback) {
    return std::isfinite(value) ? value : fallback;
}

double gain_factor(double db) {
    return portable::from_db(db);
}

double value_at(const CurvePoint& a, const CurvePoint& b, double time) {
    if (b.time == a.time) return b.value;
    return a.value + (b.value - a.value) * (time - a.time) / (b.time - a.time);
}

void write_stretch_markers(std::FILE* file, const std::vector<StretchMarker>& markers) {
    std::fputs("      SM", file);
    for (std::size_t i = 0; i < markers.size(); ++i) {
        const bool new_line = i > 0 && i % kMarkersPerLine == 0;
        if (new_line) std::fputs("\n      SM", file);
        print_text(file, i == 0 || new_line ? " %.10f %.10f" : " + %.10f %.10f",
                   finite_or(markers[i].item_time, 0.0),
                   finite_or(markers[i].source_position, 0.0));
    }
    std::fputs("\n", file);
}

void write_gain_envelope(std::FILE* file, const std::vector<CurvePoint>& points) {
    std::fputs(
        "      <VOLENV\n        ACT 1 -1\n        VIS 1 1 1\n        LANEHEIGHT 0 0\n"
        "        ARM 0\n        DEFSHAPE 0 -1 -1\n        VOLTYPE 1\n",
        file);
    for (const CurvePoint& p : points)
        print_text(file, "        PT %.10f %.9f 0\n", p.time, gain_factor(p.value));
    std::fputs("      >\n", file);
}

// The Melodyne plug-in's state header in base64: the u32 values 0x0CC4C711, 0xFEED5EEE, two
// inputs with the 64-bit pin masks of pins 0 and 1, two outputs with the same masks, 0, 1 and
// 0x0010FFFF (the tail word REAPER writes for every VST3), little-endian; the trailer ends with the
// word 16 that goes with that tail. Melodyne's own state lives in the project's ARA block, not
// here.
constexpr char kMelodyneStateHeader[] =
    "EcfEDO5e7f4CAAAAAQAAAAAAAAACAAAAAAAAAAIAAAABAAAAAAAAAAIAAAAAAAAAAAAAAAEAAAD//xAA";

// The Melodyne take of a clip whose record joined the merged archive, and its audio source for
// the project's ARASRC list. A clip whose record did not join gets no take (counted).
// The Melodyne take's lines before its chain, and its slot (empty when the clip's archive gave no
// take). REAPER keeps an ARA plug-in in the take chain's first slot.
std::string write_melodyne_take(std::FILE* file, const ClipRecord& clip) {
    const std::int32_t ara_index = clip.rare.get().ara_index;
    const AraClipArchive* source = ara_take_source(ara_index);
    if (!source) {
        ++ara_transfer.clips_without_take;
        ara_transfer.records_without_take.insert(ara_index);
        return std::string();
    }
    const std::uint32_t k = item_writer.items_written;
    print_text(file, "      GUID %s\n      ARAMOD {00000000-0000-0000-0000-000000000002}\n",
               guid_from_seed(0x41520000u + k).c_str());
    std::string slot;
    append_format(slot,
                  "        BYPASS 0 0 0\n"
                  "        <VST \"VST3: Melodyne (Celemony)\" Melodyne.vst3 0 \"\" "
                  "214222609{5653544D6C70676D656C6F64796E6520} com.celemony.ara.chunk.13\n"
                  "          %s\n          AAAQAAAA\n        >\n        FLOATPOS 0 0 0 0\n"
                  "        FXID %s\n        WAK 0 0\n",
                  kMelodyneStateHeader, guid_from_seed(0x41530000u + k).c_str());
    const std::size_t slash = clip.file_name.find_last_of("/\\");
    ara_transfer.sources.push_back({source->source_name, slash == std::string::npos
                                                             ? clip.file_name.str()
                                                             : clip.file_name.substr(slash + 1)});
    ++ara_transfer.takes_written;
    return slot;
}

}  // namespace

namespace {

// The item's COLOR line appended to its text; true when there is one.
bool append_item_colour(std::string& text, std::int32_t colour_index,
                        const ItemTrackInput& track_in, const ItemWriteContext& context) {
    if (colour_index != -2) {
        const ClipColor color = clip_item_color(colour_index, context.dark_theme);
        if (color.color != 0 && !settings.no_clip_colors) {
            ++item_writer.clips_colored;
            item_writer.color_indices.insert(colour_index);
        }
        append_item_color(text, color.color);
        return color.color != 0 && !settings.no_clip_colors;
    }
    // Under the track-colour coding (mode 5) REAPER draws the item in its track's colour when it
    // has no COLOR line, which is what Pro Tools shows.
    const ClipFallback fallback =
        clip_fallback_color(context.clip_color_mode, track_in.has_color_index, track_in.flagged,
                            track_in.view_color_number, context.dark_theme);
    append_item_color(text, fallback.color);
    return fallback.color != 0 && !settings.no_clip_colors;
}

}  // namespace

bool write_item_colour(std::FILE* file, std::int32_t colour_index, const ItemTrackInput& track_in,
                       const ItemWriteContext& context) {
    std::string text;
    const bool written = append_item_colour(text, colour_index, track_in, context);
    if (file != nullptr) std::fwrite(text.data(), 1, text.size(), file);
    return written;
}

ClipFault clip_fault(const ClipRecord& clip) {
    if (!std::isfinite(clip.length) || clip.length <= 0.0 || clip.length > kLatestClipStart ||
        !std::isfinite(clip.source_offset))
        return ClipFault::bad_length;
    if (!std::isfinite(clip.start) || clip.start > kLatestClipStart) return ClipFault::past_a_day;
    return ClipFault::none;
}

int placeable_clips(const OutputTrack& track) {
    const auto placeable = [](const std::vector<ClipRecord>& clips) {
        return static_cast<int>(std::count_if(clips.begin(), clips.end(), [](const ClipRecord& c) {
            return clip_fault(c) == ClipFault::none;
        }));
    };
    int count = placeable(track.clips);
    for (const ClipLane& lane : track.lanes) count += placeable(lane.clips);
    return count;
}

namespace {

// The names of a clip left out are copied only then: most clips are placed.
bool clip_can_be_placed(const ClipRecord& clip, const std::string& track_name) {
    switch (clip_fault(clip)) {
        case ClipFault::bad_length:
            item_writer.bad_length.push_back({track_name, clip.name});
            return false;
        case ClipFault::past_a_day:
            item_writer.past_a_day.push_back({track_name, clip.name});
            return false;
        case ClipFault::none:
            break;
    }
    return true;
}

}  // namespace

void note_placements_without_clips(const SessionLayout& layout) {
    for (const TrackRegion& placed : layout.audio_track_regions) {
        const SessionRegion& region = layout.audio_regions[placed.region];
        if (region.length <= 0) {
            item_writer.bad_length.push_back({placed.track_name, region.name});
        } else if (region.audio_file_name.empty()) {
            item_writer.no_source.push_back({placed.track_name, region.name});
        }
    }
}

std::vector<CurvePoint> clip_gain_envelope(const ClipRecord& clip, double sample_rate) {
    const RareList<CurvePoint>& gain_points = clip.rare.get().gain_points;
    if (gain_points.size() < 2 || !(sample_rate > 0.0) || !(clip.length > 0.0)) return {};
    std::vector<CurvePoint> points;
    for (const CurvePoint& p : gain_points) {
        if (!std::isfinite(p.time) || !std::isfinite(p.value)) continue;
        points.push_back({p.time / sample_rate - clip.source_offset, p.value});
    }
    if (points.empty()) return {};
    std::stable_sort(points.begin(), points.end(),
                     [](const CurvePoint& a, const CurvePoint& b) { return a.time < b.time; });

    const double length = clip.length;
    auto inside = [&](double t) { return t >= -kEdgeTolerance && t <= length + kEdgeTolerance; };
    std::vector<CurvePoint> out;
    for (std::size_t i = 0; i < points.size(); ++i) {
        if (i > 0) {
            const CurvePoint& a = points[i - 1];
            const CurvePoint& b = points[i];
            if (a.time < -kEdgeTolerance && b.time > kEdgeTolerance)
                out.push_back({0.0, value_at(a, b, 0.0)});
            if (a.time < length - kEdgeTolerance && b.time > length + kEdgeTolerance)
                out.push_back({length, value_at(a, b, length)});
        }
        if (inside(points[i].time))
            out.push_back({std::clamp(points[i].time, 0.0, length), points[i].value});
    }
    if (out.size() >= 2) return out;

    // Every point on one side of the item (or one on its edge): the item plays at the level the
    // line holds there, so that level stays, as a flat envelope.
    double held = points.back().value;
    if (out.size() == 1) {
        held = out.front().value;
    } else if (points.front().time > length) {
        held = points.front().value;
    }
    return {{0.0, held}, {length, held}};
}

void write_clip_lanes(std::FILE* file, const OutputTrack& track) {
    if (track.lanes.empty()) return;
    print_text(file, "    FIXEDLANES 9 0 0 0 0\n    LANESOLO 1 0 0 0 0 0 0 0\n    ITEMLANES %d\n",
               static_cast<int>(track.lanes.size()) + 1);
    const std::string& own = track.session_name.empty() ? track.name : track.session_name;
    print_text(file, "    LANENAME %s", project_token(own).c_str());
    for (const ClipLane& lane : track.lanes)
        print_text(file, " %s", project_token(lane.name).c_str());
    std::fputs("\n", file);
    ++item_writer.lane_tracks;
    item_writer.lanes_written += static_cast<int>(track.lanes.size());
}

namespace {

// An audio file's <SOURCE block and whether its path lies beside the audio folder, worked out at
// the file's first clip.
ItemSource& item_source_by_name(const ClipRecord& clip, const ItemWriteContext& context) {
    const auto known = item_writer.sources.find(clip.file_name.str());
    if (known != item_writer.sources.end()) return known->second;
    std::string hint;
    if (context.folder_hints) {
        const auto found = context.folder_hints->find(clip.file_name);
        if (found != context.folder_hints->end()) hint = found->second;
    }
    const std::string path = resolve_audio_path(clip.file_name, hint);
    ItemSource source;
    source.outside_audio_folder = !path.starts_with(join_path(written_audio_folder(), ""));
    source.block = "      <SOURCE WAVE\n        FILE ";
    append_project_token(source.block, path);
    source.block += "\n      >\n";
    return item_writer.sources.emplace(clip.file_name.str(), std::move(source)).first->second;
}

// The table of recent sources, made before the first item.
void make_recent_sources() {
    if (item_writer.recent_sources.empty())
        item_writer.recent_sources.resize(std::size_t{1} << ItemWriterState::kRecentSourceBits);
}

// The clip's source by its file name's held text, else by the name (make_recent_sources first).
ItemSource& item_source(const ClipRecord& clip, const ItemWriteContext& context) {
    const std::string* text = &clip.file_name.str();
    // The address's bits mixed by a multiplication; the slot is its top bits.
    const std::uint64_t mixed =
        static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(text)) * 0x9E3779B97F4A7C15ULL;
    ItemWriterState::RecentSource& recent =
        item_writer.recent_sources[mixed >> (64 - ItemWriterState::kRecentSourceBits)];
    if (recent.text == text) return *recent.source;
    ItemSource* source = nullptr;
    const auto seen = item_writer.sources_by_text.find(text);
    if (seen != item_writer.sources_by_text.end()) {
        source = seen->second.second;
    } else {
        source = &item_source_by_name(clip, context);
        item_writer.sources_by_text.emplace(text, std::pair{clip.file_name, source});
    }
    recent = {text, source};
    return *source;
}

// Whether the value is +0.0 (not -0.0, which prints its sign).
bool is_plus_zero(double value) {
    return std::bit_cast<std::uint64_t>(value) == 0;
}

// Copies a fixed word into a line being built.
char* put_text(char* at, std::string_view text) {
    std::memcpy(at, text.data(), text.size());
    return at + text.size();
}

// A FADEIN or FADEOUT line: the shape, the length, the shape again. Most clips have no fade:
// that line is ready text, and the shape's text is made once.
char* put_fade_line(char* at, std::string_view word, std::string_view no_fade, double shape,
                    double length) {
    if (is_plus_zero(shape) && is_plus_zero(length)) return put_text(at, no_fade);
    at = put_text(at, word);
    char* const shape_at = at;
    at = put_general(at, shape);
    const auto shape_size = static_cast<std::size_t>(at - shape_at);
    *at++ = ' ';
    at = put_fixed(at, length, 10);
    at = put_text(at, " 0 "sv);
    std::memmove(at, shape_at, shape_size);
    return put_text(at + shape_size, " 0 0 0\n"sv);
}

// The item's lines from <ITEM to SOFFS hold nine numbers and under 256 bytes of words.
constexpr std::size_t kItemHeadRoom = 9 * kNumberTextRoom + 256;

// The PLAYRATE line holds two numbers and under 128 bytes of words.
constexpr std::size_t kPlayrateRoom = 2 * kNumberTextRoom + 128;

// The item's text up to the point where another writer takes the file, written at once.
void flush_item_text(std::FILE* file, std::string& text) {
    std::fwrite(text.data(), 1, text.size(), file);
    text.clear();
}

// The items of a track gather in one text, written in pieces of about this size.
constexpr std::size_t kItemTextBatch = std::size_t{1} << 16;

// One <ITEM block appended to `text`, or nothing (counted) for a clip that cannot be placed. The
// item is mostly numbers: they go into the text rather than a formatted write per line. Where
// another writer takes the file, the text so far is written first.
void append_audio_item(std::FILE* file, std::string& text, const ClipRecord& clip,
                       const std::string& track_name, const ItemLane& lane,
                       const ItemTrackInput& track_in, const ItemWriteContext& context) {
    if (!clip_can_be_placed(clip, track_name)) return;
    const ClipRareFields& rare = clip.rare.get();
    const double length = clip.length;
    const double snap = finite_or(rare.snap_offset, 0.0);
    // The lines up to SOFFS are built in one buffer and go into the text at once.
    char head[kItemHeadRoom];
    char* at = put_text(head, "    <ITEM\n      POSITION "sv);
    at = put_fixed(at, clip.start, 10);
    if (snap > 0.0 && snap < length) {
        at = put_text(at, "\n      SNAPOFFS "sv);
        at = put_general(at, snap, 10);
        at = put_text(at, "\n      LENGTH "sv);
    } else {
        at = put_text(at, "\n      SNAPOFFS 0\n      LENGTH "sv);
    }
    at = put_fixed(at, length, 10);
    at = put_text(at, "\n      LOOP 0\n      ALLTAKES 0\n"sv);
    at = put_fade_line(at, "      FADEIN "sv, "      FADEIN 0 0.0000000000 0 0 0 0 0\n"sv,
                       finite_or(clip.fade_in_shape, 0.0), finite_or(clip.fade_in_length, 0.0));
    at = put_fade_line(at, "      FADEOUT "sv, "      FADEOUT 0 0.0000000000 0 0 0 0 0\n"sv,
                       finite_or(clip.fade_out_shape, 0.0), finite_or(clip.fade_out_length, 0.0));
    at = put_text(at, clip.muted ? "      MUTE 1 0\n"sv : "      MUTE 0 0\n"sv);
    if (clip.locked) {
        at = put_text(at, "      LOCK 1\n"sv);
        ++item_writer.locked_clips;
    }
    at = put_text(at, "      SOFFS "sv);
    at = put_fixed(at, clip.source_offset, 10);
    *at++ = '\n';
    text.append(head, at);

    if (item_writer.dump_clip_colours < 0)
        item_writer.dump_clip_colours = std::getenv("PTX_DUMP_CLIPCOL") != nullptr ? 1 : 0;
    if (item_writer.dump_clip_colours != 0)
        std::fprintf(stderr, "CLIPCOL %d | %s | %s\n", clip.colour_index, track_name.c_str(),
                     clip.name.c_str());
    append_item_colour(text, clip.colour_index, track_in, context);

    if (lane.lane_count > 0) {
        const double rows = lane.lane_count + 1.0;
        text += "      YPOS "sv;
        append_fixed(text, lane.lane / rows, 6);
        text += ' ';
        append_fixed(text, 1.0 / rows, 6);
        text += " 2\n"sv;
    }

    const bool markers = rare.stretch_markers.size() > 2;
    const double playrate = markers ? 1.0 : finite_or(rare.playrate, 1.0);
    const double pitch = finite_or(rare.pitch, 0.0);
    if (playrate == 1.0 && is_plus_zero(pitch)) {
        // Most clips play at their own rate and pitch.
        text +=
            "      PLAYRATE 1.000000000 1 0.000000 -1 0 0.0025\n      CHANMODE 0\n      NAME "sv;
    } else {
        char line[kPlayrateRoom];
        char* end = put_text(line, "      PLAYRATE "sv);
        end = put_fixed(end, playrate, 9);
        end = put_text(end, " 1 "sv);
        end = put_fixed(end, pitch, 6);
        end = put_text(end, " -1 0 0.0025\n      CHANMODE 0\n      NAME "sv);
        text.append(line, end);
    }
    append_project_token(text, clip.name);
    text += '\n';
    if (markers) {
        flush_item_text(file, text);
        write_stretch_markers(file, rare.stretch_markers);
    }

    if (rare.has_gain) ++item_writer.clips_with_gain;
    const double pan = finite_or(rare.pan, 0.0);
    if (rare.has_gain || pan != 0.0 || rare.phase_invert) {
        text += "      VOLPAN "sv;
        append_fixed(text, gain_factor(finite_or(rare.gain_db, 0.0)), 9);
        text += ' ';
        append_general(text, pan);
        text += rare.phase_invert ? " -1 -1\n"sv : " 1 -1\n"sv;
    }

    ItemSource& source = item_source(clip, context);
    if (source.outside_audio_folder) ++item_writer.clips_outside_audio_folder;
    if (context.listed_files) {
        if (source.listed_in != context.listed_files) {
            source.listed_in = context.listed_files;
            source.listed = context.listed_files->contains(clip.file_name);
        }
        if (!source.listed) item_writer.unlisted_sources.push_back({track_name, clip.name});
    }
    // The take's GUID and ARAMOD lines come before its source, as REAPER saves a take.
    std::string chain;
    if (rare.ara_index >= 0) {
        flush_item_text(file, text);
        chain = write_melodyne_take(file, clip);
    }
    text += source.block;

    // One take chain: the Melodyne slot first, then the Clip Effects.
    if (!rare.clip_effects.empty()) {
        std::vector<std::pair<std::string, double>> values;
        for (const ClipEffectValue& v : rare.clip_effects) values.emplace_back(v.name, v.value);
        chain += clip_effects_blocks(values, rare.pan != 0.0,
                                     0x43460000u + 16u * item_writer.items_written);
    }
    if (!chain.empty()) text += take_fx_frame(chain);

    // REAPER keeps a take's envelopes after its source and its chain.
    const std::vector<CurvePoint> envelope = clip_gain_envelope(clip, settings.sample_rate);
    if (envelope.size() > 1) {
        flush_item_text(file, text);
        write_gain_envelope(file, envelope);
        ++item_writer.gain_envelopes;
    }

    text += "    >\n"sv;
    ++item_writer.items_written;
}

}  // namespace

void write_audio_item(std::FILE* file, const ClipRecord& clip, const std::string& track_name,
                      const ItemLane& lane, const ItemTrackInput& track_in,
                      const ItemWriteContext& context) {
    thread_local std::string text;
    text.clear();
    make_recent_sources();
    append_audio_item(file, text, clip, track_name, lane, track_in, context);
    flush_item_text(file, text);
}

void write_track_items(std::FILE* file, const OutputTrack& track, const std::string& track_name,
                       const ItemTrackInput& track_in, const ItemWriteContext& context) {
    write_clip_lanes(file, track);
    // A write for many items, not one for each.
    thread_local std::string text;
    text.clear();
    make_recent_sources();
    const auto add = [&](const ClipRecord& clip, ItemLane lane) {
        append_audio_item(file, text, clip, track_name, lane, track_in, context);
        if (text.size() >= kItemTextBatch) flush_item_text(file, text);
    };
    const int lane_count = static_cast<int>(track.lanes.size());
    for (const ClipRecord& clip : track.clips) add(clip, ItemLane{0, lane_count});
    for (int i = 0; i < lane_count; ++i)
        for (const ClipRecord& clip : track.lanes[static_cast<std::size_t>(i)].clips)
            add(clip, ItemLane{i + 1, lane_count});
    flush_item_text(file, text);
}
