#include "convert/writer/project_header.h"

#include <cmath>
#include <string_view>
#include <unordered_map>

#include "convert/run_state.h"
#include "convert/writer/envelopes.h"
#include "convert/writer/notes_beats.h"
#include "convert/writer/project_text.h"
#include "convert/writer/writer_summary.h"
#include "session/session_settings.h"
#include "util/codecs.h"
#include "util/number_text.h"
#include "util/portable_math.h"
#include "util/utf8_text.h"

ProjectSettingsRead read_project_settings(const std::uint8_t* data, std::size_t length) {
    ProjectSettingsRead out;
    read_meters(data, length, out.meters);
    out.pan_depth = read_pan_depth(data, length);
    read_grid_and_nudge(data, length, out.nudge, out.grid, out.grid_found);
    out.timecode_start = read_timecode_rate(data, length, out.timecode_code);
    out.time_values_found =
        read_204d_time_values(data, length, out.session_timecode_code, out.start_frames_full_rate);
    out.bit_depth = read_session_bit_depth(data, length, out.bit_float);
    out.file_format = read_session_file_format(data, length);
    out.click_enabled = read_click_enabled(data, length);
    return out;
}

void opening_signature(const ProjectSettingsRead& read, std::uint32_t& numerator,
                       std::uint32_t& denominator) {
    numerator = 4;
    denominator = 4;
    if (read.meters.empty()) return;
    numerator = read.meters.front().numerator;
    denominator = read.meters.front().denominator;
}

std::optional<double> grid_quarter_notes(const ProjectSettingsRead& read) {
    if (!read.grid_found) return std::nullopt;
    std::uint32_t numerator, denominator;
    opening_signature(read, numerator, denominator);
    if (denominator == 0) return std::nullopt;
    const double q = 4.0 * numerator * read.grid.bars / denominator +
                     4.0 * read.grid.beats / denominator + read.grid.ticks / 960.0;
    if (q > 0.0 && q < 1000.0) return q;
    return std::nullopt;
}

double pan_law_db(int pan_depth) {
    switch (pan_depth) {
        case 1:
            return -2.5;
        case 3:
            return -4.5;
        case 4:
            return -6.0;
        default:
            return -3.0;
    }
}

namespace {

// REAPER's frame-rate presets, which TIMEMODE names beside the integer rate and its flag (0 whole,
// 1 drop, 2 fractional); REAPER writes the three fields of one preset together. `seen`: REAPER's
// own saved projects hold the preset (23.976, 25, 30, 50 and 75).
struct FramePreset {
    int fps, flag, preset;
    bool seen = false;
};
constexpr FramePreset kFramePresets[] = {
    {24, 2, 0, true}, {24, 0, 1},       {25, 0, 2, true}, {30, 1, 3},       {30, 2, 4},
    {30, 0, 5, true}, {75, 0, 6, true}, {48, 0, 7},       {50, 0, 8, true}, {60, 0, 9}};

const FramePreset* preset_of(int fps, int flag) {
    for (const FramePreset& p : kFramePresets)
        if (p.fps == fps && p.flag == flag) return &p;
    return nullptr;
}

// The fields written are those of a preset REAPER's own projects hold.
bool seen_in_reaper(const FramePreset& written) {
    const FramePreset* p = preset_of(written.fps, written.flag);
    return p && p->preset == written.preset && p->seen;
}

// The TIMEMODE fields for a rate: its own preset; for a rate no preset names, the same frame
// count in REAPER's fractional form (the flag 2 that makes 24 23.976 in REAPER's own projects)
// beside the whole rate's preset, so 47.952 and 59.94 are 48 and 60 with flag 2; else half as
// many frames (100, 119.88 and 120 run at 50, 59.94 and 60); else 30. The summary names the rate
// the ruler runs at when it is not the session's.
FramePreset frame_rate_preset(int fps, int flag) {
    if (const FramePreset* p = preset_of(fps, flag)) return *p;
    if (const FramePreset* p = preset_of(fps, 0)) return {fps, flag, p->preset};
    if (fps % 2 == 0)
        if (const FramePreset* p = preset_of(fps / 2, 0)) return {fps / 2, flag, p->preset};
    return *preset_of(30, 0);
}

// "60", or "59.94" for 60 with the fractional flag (60 x 1000 / 1001).
std::string frame_rate_text(int fps, int flag) {
    std::string text;
    append_general(text, flag == 2 ? fps * 1000.0 / 1001.0 : fps, 5);
    return text;
}

struct BaseRate {
    const char* label;
    int fps;
    double exact;
    int flag;
};

BaseRate base_rate(int code) {
    switch (code) {
        case 1:
            return {"24", 24, 24.0, 0};
        case 2:
            return {"25", 25, 25.0, 0};
        case 3:
            return {"29.97", 30, 30000.0 / 1001.0, 2};
        case 5:
            return {"29.97 drop", 30, 30000.0 / 1001.0, 1};
        case 8:
            return {"30 drop", 30, 30.0, 0};
        case 9:
            return {"23.976", 24, 24000.0 / 1001.0, 2};
        default:
            return {"30", 30, 30.0, 0};
    }
}

struct TimecodeRow {
    std::int64_t session_code;
    int base_code;
    std::uint32_t multiplier;
    const char* label;
    const char* long_label;
    const char* twin;  // null: none
};

constexpr TimecodeRow kTimecodeRows[] = {
    {9, 9, 1, "23.976", "23.976 fps", nullptr},
    {1, 1, 1, "24", "24 fps", nullptr},
    {2, 2, 1, "25", "25 fps", nullptr},
    {3, 3, 1, "29.97", "29.97 fps", nullptr},
    {5, 5, 1, "29.97 drop", "29.97 fps drop frame", nullptr},
    {7, 7, 1, "30", "30 fps", nullptr},
    {8, 8, 1, "30 drop", "30 fps drop frame", "30"},
    {15, 9, 2, "47.952", "47.952 fps", nullptr},
    {16, 1, 2, "48", "48 fps", nullptr},
    {10, 2, 2, "50", "50 fps", nullptr},
    {11, 3, 2, "59.94", "59.94 fps", nullptr},
    {12, 5, 2, "59.94 drop", "59.94 fps drop frame", "59.94"},
    {13, 7, 2, "60", "60 fps", nullptr},
    {14, 8, 2, "60 drop", "60 fps drop frame", "60"},
    {17, 2, 4, "100", "100 fps", nullptr},
    {18, 3, 4, "119.88", "119.88 fps", nullptr},
    {19, 5, 4, "119.88 drop", "119.88 fps drop frame", "119.88"},
    {20, 7, 4, "120", "120 fps", nullptr},
    {21, 8, 4, "120 drop", "120 fps drop frame", "120"},
};

const TimecodeRow* find_timecode_row(const ProjectSettingsRead& read) {
    // The stored session code is a u32 whose "none" is all bits set, that is -1.
    const std::int64_t a = static_cast<std::int32_t>(read.session_timecode_code);
    for (const TimecodeRow& row : kTimecodeRows) {
        if (row.base_code != read.timecode_code) continue;
        if (read.time_values_found) {
            if (row.session_code == a &&
                read.start_frames_full_rate / row.multiplier == read.timecode_start)
                return &row;
        } else if (row.multiplier == 1) {
            return &row;
        }
    }
    return nullptr;
}

}  // namespace

TimecodeChoice choose_timecode(const ProjectSettingsRead& read) {
    const BaseRate base = base_rate(read.timecode_code);
    const TimecodeRow* row = find_timecode_row(read);
    TimecodeChoice out;
    out.fps = base.fps;
    out.flag = base.flag;
    out.drop_frame = read.timecode_code == 5 || read.timecode_code == 8;
    out.thirty_drop = read.timecode_code == 8;
    out.label = base.label;
    if (row) {
        out.long_label = row->long_label;
        if (row->twin) out.twin_label = row->twin;
    }
    if (row && row->multiplier > 1) {
        out.label = row->label;
        out.fps *= static_cast<int>(row->multiplier);
        if (out.flag == 1) out.flag = 2;
        out.start_frames = read.start_frames_full_rate;
        out.offset_seconds = read.start_frames_full_rate / (row->multiplier * base.exact);
        out.write = true;
        return out;
    }
    out.start_frames = read.timecode_start;
    out.offset_seconds = read.timecode_start / base.exact;
    out.write = !(read.timecode_start == 0 && out.flag == 0 && out.fps == 30);
    return out;
}

std::string record_cfg_block(int bit_depth, int file_format) {
    if ((bit_depth != 16 && bit_depth != 32) || file_format == 4) return "  <RECORD_CFG\n  >\n";
    const std::uint8_t cfg[7] = {'e', 'v', 'a', 'w', static_cast<std::uint8_t>(bit_depth), 0, 1};
    return "  <RECORD_CFG\n    " + base64_encode(cfg, sizeof cfg) + "\n  >\n";
}

void write_project_notes(std::FILE* file, std::span<const TrackComment> comments,
                         CommentsMode comments_mode) {
    if (comments_mode != CommentsMode::project || comments.empty()) return;
    std::fputs("  <NOTES 0 2\n", file);
    for (const TrackComment& c : comments) {
        std::vector<std::string> lines;
        split_notes_lines(project_comment_utf8(c.comment, c.track_name), lines);
        const std::string name = single_line_text(c.track_name);
        for (std::size_t i = 0; i < lines.size(); ++i) {
            if (i == 0)
                print_text(file, "    |%s%s%s\n", name.c_str(), ": ", lines[i].c_str());
            else
                print_text(file, "    |%s%s%s\n", "    ", "", lines[i].c_str());
        }
    }
    std::fputs("  >\n", file);
}

void write_project_header(std::FILE* file, std::span<const TrackComment> comments,
                          CommentsMode comments_mode) {
    std::fputs("<REAPER_PROJECT 0.1 \"7.0\" 0\n", file);
    write_project_notes(file, comments, comments_mode);
    std::fputs("  RIPPLE 0\n  GROUPOVERRIDE 0 0 0\n  AUTOXFADE 1\n", file);
}

void write_project_settings(std::FILE* file, std::int64_t sample_rate, double tempo,
                            const ProjectSettingsRead& read) {
    WriterSummary& s = writer_summary;
    std::uint32_t numerator, denominator;
    opening_signature(read, numerator, denominator);

    s.pan_depth = read.pan_depth;
    s.pan_law_known = read.pan_depth >= 1 && read.pan_depth <= 4;
    s.pan_law_db = pan_law_db(read.pan_depth);
    if (std::optional<double> q = grid_quarter_notes(read)) {
        s.grid_set = 1;
        s.grid_quarter_notes = *q;
    }
    if (read.grid_found) {
        s.nudge_found = 1;
        s.nudge = read.nudge;
    }

    if (sample_rate <= 0) sample_rate = 48000;
    print_text(file, "  SAMPLERATE %lld 0 0\n", static_cast<long long>(sample_rate));
    print_text(file, "  TEMPO %g %d %d\n  PLAYRATE 1 0 0.25 4\n", tempo,
               static_cast<int>(numerator), static_cast<int>(denominator));

    const TimecodeChoice tc = choose_timecode(read);
    settings.timecode_rate_text = tc.label;
    settings.timecode_fps = tc.fps;
    s.frame_rate_long_label = tc.long_label;
    s.frame_rate_twin_label = tc.twin_label;
    s.frame_rate_flag = tc.flag;
    s.start_frames = tc.start_frames;
    s.offset_seconds = tc.offset_seconds;
    s.drop_frame = tc.drop_frame;
    s.thirty_drop = tc.thirty_drop;
    if (tc.write) {
        const FramePreset preset = frame_rate_preset(tc.fps, tc.flag);
        print_text(file, "  PROJOFFS %.10f 0 0\n  TIMEMODE 1 %d -1 %d %d 0 -1\n", tc.offset_seconds,
                   preset.preset, preset.fps, preset.flag);
        s.timecode_written = 1;
        s.timemode_seen = seen_in_reaper(preset) ? 1 : 0;
        if (preset.fps != tc.fps || preset.flag != tc.flag)
            s.ruler_rate = frame_rate_text(preset.fps, preset.flag);
    }

    std::fputs(record_cfg_block(read.bit_depth, read.file_format).c_str(), file);
    if (read.bit_depth == 16 || read.bit_depth == 24 || read.bit_depth == 32) {
        settings.bit_depth = read.bit_depth;
        s.record_float = read.bit_depth == 32 ? read.bit_float : 0;
    }
    if (read.file_format == 3 || read.file_format == 4) s.record_file_format = read.file_format;
    s.aiff_session = read.file_format == 4;
    s.record_format_written =
        (read.bit_depth == 16 || read.bit_depth == 32) && read.file_format != 4;

    std::fputs("  <APPLYFX_CFG\n  >\n  RENDER_FILE \"\"\n", file);
}

std::string find_click_track(
    int click_enabled,
    const std::map<std::string, std::vector<SessionPluginInstance>>& plugins_by_track,
    std::span<const TrackLaneSet> lane_sets, std::span<const OutputTrack> tracks,
    std::uint32_t* slot) {
    if (click_enabled != 1) return {};
    // Each name's first lane set, first track by session name and first track by name.
    std::unordered_map<std::string_view, const TrackLaneSet*> lane_set_of;
    for (const TrackLaneSet& l : lane_sets) lane_set_of.emplace(l.name, &l);
    std::unordered_map<std::string_view, const OutputTrack*> by_session_name;
    std::unordered_map<std::string_view, const OutputTrack*> by_name;
    for (const OutputTrack& t : tracks) {
        by_session_name.emplace(t.session_name, &t);
        by_name.emplace(t.name, &t);
    }
    const auto first = [](const auto& map, const std::string& name) {
        const auto found = map.find(name);
        return found != map.end() ? found->second : nullptr;
    };
    for (const auto& [name, plugins] : plugins_by_track) {
        std::uint32_t click_slot = 0;
        for (std::size_t i = 0; i < plugins.size() && click_slot == 0; ++i) {
            const SessionPluginInstance& p = plugins[i];
            if (p.aax_id.starts_with("Digiclik") && !p.bypassed && !p.inactive)
                click_slot = static_cast<std::uint32_t>(i + 1);
        }
        if (click_slot == 0) continue;

        const TrackLaneSet* lane_set = first(lane_set_of, name);
        if (lane_set && lane_set->muted != 0) continue;

        const OutputTrack* written = first(by_session_name, name);
        if (!written) written = first(by_name, name);
        if (!written || written->alternate == AlternateKind::takes) continue;
        if (written->inactive || written->voice_off) continue;
        if (slot) *slot = click_slot;
        return name;
    }
    return {};
}

void write_master_track(std::FILE* file, const ProjectSettingsRead& read,
                        const MasterWriteInput& master) {
    WriterSummary& s = writer_summary;
    s.master_fader_name = master.fader_name;

    std::vector<const TrackLaneSet*> lanes;
    if (!master.fader_name.empty())
        for (const TrackLaneSet& l : master.lane_sets)
            if (l.assigned && l.name == master.fader_name) lanes.push_back(&l);

    double level = 1.0;
    int muted = 0;
    bool volume_automated = false;
    bool automated = false;
    if (!lanes.empty()) {
        const TrackLaneSet& last = *lanes.back();
        level = portable::from_db(last.fader_db);
        muted = last.muted ? 1 : 0;
        volume_automated = !last.volume.points.empty();
        automated = volume_automated || !last.mute.points.empty();
    }

    print_text(file, "  MASTERMUTESOLO %d\n  MASTER_NCH 2 2\n", muted);
    print_text(file, "  PANLAW %.10f\n", portable::from_db(pan_law_db(read.pan_depth)));
    if (std::optional<double> q = grid_quarter_notes(read))
        print_text(file, "  GRID 3199 8 %.14g 8 1 0 0 0\n", *q);
    if (volume_automated) {
        // The envelope alone carries the level; the fader stays at unity.
        level = 1.0;
        ++s.master_volume_automated;
    }
    print_text(file, "  MASTER_VOLUME %.9f %.6f -1 -1.000000 1.000000\n  MASTER_PANMODE 3\n", level,
               0.0);
    if (automated) std::fputs("  MASTERAUTOMODE 1\n", file);

    // The master's envelopes play and never arm, whatever a track left behind.
    settings.envelope_active = 1;
    settings.envelope_arm = 0;
    for (const TrackLaneSet* l : lanes) {
        s.master_envelope_points +=
            write_envelope(file, "MASTERVOLENV2", l->volume, EnvelopeKind::volume, "  ", false);
        s.master_envelope_points +=
            write_envelope(file, "MASTERMUTEENV", l->mute, EnvelopeKind::mute, "  ", false);
    }
    if (master.write_fx_chain) s.master_fx_slots = master.write_fx_chain(file);
}
