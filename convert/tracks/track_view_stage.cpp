#include "convert/tracks/track_view_stage.h"

#include "app/output.h"
#include "session/channel_strips.h"
#include "session/midi_chunks.h"
#include "session/session_items.h"
#include "session/session_settings.h"
#include "session/track_routing.h"

namespace {

constexpr std::uint32_t kMasterFader = 0x261d;

// Pieces are cut to the room Pro Tools' own listing gives them.
constexpr std::size_t kProgramPiece = 63;
constexpr std::size_t kAutomationPiece = 79;
constexpr std::size_t kPropertyPiece = 95;

void append_piece(std::string& text, const std::string& piece, std::size_t limit) {
    text += cut_at_character(piece, limit);
}

}  // namespace

std::string automation_mode_word(std::int32_t mode) {
    static const char* const words[] = {"Off", "Read", "Touch", "Latch", "Write", "Touch/Latch"};
    if (mode >= 0 && mode <= 5) return words[mode];
    return format_text("mode %d", mode);
}

void store_track_views(const std::vector<NamedBlockEntry>& named,
                       const std::vector<TrackViewState>& strips, TrackViewStore& views,
                       std::vector<TrackComment>& comments) {
    for (std::size_t i = 0; i < named.size() && i < strips.size(); ++i) {
        const NamedBlockEntry& entry = named[i];
        if (!strips[i].comment.empty())
            comments.push_back(TrackComment{display_name(entry), strips[i].comment});
        if (!entry.second_name.empty()) views.by_name[entry.second_name] = strips[i];
        if (!entry.name.empty()) views.by_name.emplace(entry.name, strips[i]);
    }
}

void per_track_texts(const std::vector<NamedBlockEntry>& named,
                     const std::vector<TrackMidiValues>& triples,
                     const std::vector<MidiTrackProperties>& rows, const TrackViewStore& views,
                     TrackStageState& state) {
    for (std::size_t i = 0; i < named.size(); ++i) {
        const std::string& d = display_name(named[i]);
        if (i < triples.size() && triples[i].program >= 0) {
            append_piece(state.programs.text, " " + d + format_text("=%d", triples[i].program),
                         kProgramPiece);
            ++state.programs.count;
        }
        if (i < rows.size() && any_property_on(rows[i])) {
            const MidiTrackProperties& p = rows[i];
            append_piece(state.properties.text, "\n      " + d + ":", kPropertyPiece);
            if (p.transpose_on)
                append_piece(state.properties.text,
                             format_text(" transpose %+d oct %+d semi;", p.transpose_octaves,
                                         p.transpose_semitones),
                             kPropertyPiece);
            if (p.velocity_on)
                append_piece(state.properties.text,
                             format_text(" velocity %d%% %+d;", static_cast<int>(p.velocity_scale),
                                         p.velocity_offset),
                             kPropertyPiece);
            if (p.delay_on)
                append_piece(state.properties.text, format_text(" delay %+d ticks;", p.delay_ticks),
                             kPropertyPiece);
            if (p.quantize_on)
                append_piece(
                    state.properties.text,
                    format_text(" quantize (swing %d%%);", static_cast<int>(p.swing_percent)),
                    kPropertyPiece);
            if (p.duration_on) append_piece(state.properties.text, " duration;", kPropertyPiece);
            ++state.properties.count;
        }
        const auto view = views.by_name.find(d);
        if (view == views.by_name.end()) continue;
        const std::int32_t mode = view->second.automation_mode;
        if (mode < 0 || mode == 1) continue;
        append_piece(state.automation_modes.text,
                     " " + d + "=" + automation_mode_word(mode) +
                         (view->second.trim_flag == 1 ? "+Trim" : ""),
                     kAutomationPiece);
        ++state.automation_modes.count;
        if (mode == 0) {
            state.automation_off.text += " " + d;
            ++state.automation_off.count;
        }
    }
}

void run_track_view_stage(const TrackViewStageInput& in, TrackStageState& state,
                          TrackViewStore& views) {
    static const std::vector<TrackMidiValues> no_triples;
    static const std::vector<MidiTrackProperties> no_rows;
    static const std::vector<SessionGroup> no_groups;
    static const std::vector<std::string> no_strips;
    static const std::vector<NamedBlockEntry> no_named;
    const std::vector<NamedBlockEntry>& named = in.named ? *in.named : no_named;
    const std::vector<std::string>& strips = in.strips ? *in.strips : no_strips;

    state.track_color_mode = read_track_color_mode(in.data, in.length);
    state.clip_color_mode = read_clip_color_mode(in.data, in.length);
    state.click_state = read_click_enabled(in.data, in.length);

    state.strips = strips;  // the group listings name their members through it
    state.groups =
        keep_stored_groups(in.group_records ? *in.group_records : no_groups, strips.size());

    std::vector<TrackViewState> strip_records;
    read_channel_strips_2015(in.data, in.length, named, strip_records);
    store_track_views(named, strip_records, views, state.comments);

    per_track_texts(named, in.triples ? *in.triples : no_triples, in.rows ? *in.rows : no_rows,
                    views, state);

    std::vector<SessionItemEntry> items;
    scan_session_items(in.data, in.length, items);
    std::vector<InstrumentRoute> routes;
    read_instrument_routing(in.data, in.length, named, items, routes);
    for (const InstrumentRoute& route : routes) {
        state.instrument_routes.text += "\n      " + route.track + " -> " + route.target;
        ++state.instrument_routes.count;
    }

    std::map<std::size_t, std::uint32_t> vca_values;
    map_2514_values(in.data, in.length, named, vca_values);
    build_group_masks(state.groups, strips, named, vca_values);

    int masters = 0;
    for (const NamedBlockEntry& entry : named) masters += entry.content_type == kMasterFader;
    if (masters > 0) state.master_faders += masters;

    ColourCodingInput coding;
    coding.mode = state.track_color_mode;
    coding.named = &named;
    coding.kept_groups = &state.groups.kept;
    coding.strips = &strips;
    coding.items = &items;
    read_colour_coding_input(in.data, in.length, coding);
    state.coding = colour_coding(coding);
}
