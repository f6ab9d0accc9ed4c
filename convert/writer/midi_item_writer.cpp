#include "convert/writer/midi_item_writer.h"

#include <algorithm>
#include <cmath>

#include "convert/run_state.h"
#include "convert/writer/notes_beats.h"
#include "convert/writer/project_text.h"
#include "util/codecs.h"
#include "util/guid.h"
#include "util/number_text.h"
#include "util/utf8_text.h"

MidiWriterState midi_writer;

void reset_midi_writer() {
    midi_writer = MidiWriterState{};
}

namespace {

constexpr int kTicksPerQuarterNote = 960;
constexpr std::uint8_t kSysexStart = 0xF0;
constexpr std::uint8_t kSysexEnd = 0xF7;
constexpr std::uint32_t kCommentSeedBase = 0x7C000000;
constexpr std::uint32_t kHighestData = 127;

std::uint32_t kind_of(std::uint32_t status) {
    return status & 0xF0;
}

bool is_key_event(std::uint32_t status) {
    const std::uint32_t kind = kind_of(status);
    return kind == 0x80 || kind == 0x90 || kind == 0xA0;
}

bool carries_controller(const MidiItem& item, std::uint32_t number) {
    return std::any_of(item.events.begin(), item.events.end(), [&](const MidiItemEvent& e) {
        return kind_of(e.status) == 0xB0 && e.data1 == number;
    });
}

// A data byte above 127 would spill into the next event: it is written as 127, counted.
std::uint32_t data_byte(std::uint32_t value) {
    if (value <= kHighestData) return value;
    ++midi_writer.clamped_data;
    return kHighestData;
}

// How the track's real-time properties change its events.
struct Applied {
    std::int64_t delay = 0;  // ticks at 960 to the quarter note
    bool velocity = false;
    std::uint32_t scale = 100;
    std::int32_t offset = 0;
    std::int32_t transpose = 0;
};

Applied applied_properties(const MidiTrackProperties& p) {
    Applied a;
    if (p.delay_on) a.delay = p.delay_ticks;
    a.velocity = p.velocity_on != 0;
    a.scale = p.velocity_scale;
    a.offset = p.velocity_offset;
    if (p.transpose_on) a.transpose = 12 * p.transpose_octaves + p.transpose_semitones;
    return a;
}

std::uint32_t scaled_velocity(std::uint32_t velocity, const Applied& a) {
    const double scaled = std::trunc(a.scale * static_cast<double>(velocity) / 100.0 + 0.5);
    return static_cast<std::uint32_t>(std::clamp(scaled + a.offset, 1.0, 127.0));
}

void write_event(std::FILE* file, const MidiItemEvent& event, std::uint64_t delta,
                 const Applied& applied) {
    if (kind_of(event.status) == 0xF0) {
        print_text(file, "        <X %llu 0\n          %s\n        >\n",
                   static_cast<unsigned long long>(delta), sysex_base64(event.payload).c_str());
        ++(event.outside ? midi_writer.sysex_outside : midi_writer.sysex_written);
        return;
    }
    bool muted = event.outside != 0;
    const std::uint32_t status = event.status & 0xFF;
    std::uint32_t data1 = event.data1;
    std::uint32_t data2 = event.data2;
    if (is_key_event(status)) {
        const std::int64_t key =
            static_cast<std::int64_t>(std::min<std::uint32_t>(data1, 255)) + applied.transpose;
        if (key < 0 || key > static_cast<std::int64_t>(kHighestData)) {
            data1 = key < 0 ? 0 : kHighestData;
            muted = true;
            if (kind_of(status) == 0x90) ++midi_writer.transposed_out_of_range;
        } else {
            data1 = static_cast<std::uint32_t>(key);
        }
    }
    const bool note_on = kind_of(status) == 0x90;
    if (note_on && data2 > 0 && applied.velocity) data2 = scaled_velocity(data2, applied);
    if (note_on) ++midi_writer.notes_written;
    if (muted) ++(note_on ? midi_writer.muted_notes : midi_writer.muted_other_events);
    const std::uint32_t kind = kind_of(status);
    if (kind == 0xA0 || kind == 0xB0 || kind == 0xD0 || kind == 0xE0)
        ++midi_writer.controller_events;
    print_text(file, "        %s %llu %02x %02x %02x\n", muted ? "Em" : "E",
               static_cast<unsigned long long>(delta), static_cast<unsigned>(status),
               static_cast<unsigned>(data_byte(data1)), static_cast<unsigned>(data_byte(data2)));
}

// The opening controller and program events; true when the track's fader and pan are stored.
bool write_opening_events(std::FILE* file, const MidiItem& item, const MidiTrackValues& values) {
    if (values.fader < 0 || values.pan < 0) return false;
    if (!carries_controller(item, 7))
        print_text(file, "        E 0 b0 07 %02x\n",
                   static_cast<unsigned>(data_byte(values.fader)));
    if (!carries_controller(item, 10))
        print_text(file, "        E 0 b0 0a %02x\n", static_cast<unsigned>(data_byte(values.pan)));
    if (values.program >= 0)
        print_text(file, "        E 0 c0 %02x 00\n",
                   static_cast<unsigned>(data_byte(values.program)));
    return true;
}

bool item_can_be_written(const MidiItem& item) {
    return std::isfinite(item.position) && std::isfinite(item.length) && item.length > 0.0 &&
           std::isfinite(item.start_offset);
}

}  // namespace

std::string sysex_base64(const std::vector<std::uint8_t>& payload) {
    const bool framed =
        payload.size() >= 2 && payload.front() == kSysexStart && payload.back() == kSysexEnd;
    std::string bytes;
    if (!framed) bytes.push_back(static_cast<char>(kSysexStart));
    bytes.append(payload.begin(), payload.end());
    if (!framed) bytes.push_back(static_cast<char>(kSysexEnd));
    return base64_encode(bytes);
}

void write_midi_items(std::FILE* file, const OutputTrack& track, const MidiTrackValues& values,
                      const ItemTrackInput& track_in, const ItemWriteContext& context) {
    const MidiTrackProperties& p = values.properties;
    const Applied applied = applied_properties(p);
    bool opened = false, any_written = false;
    for (const MidiItem& item : track.midi_items) {
        if (!item_can_be_written(item)) {
            ++midi_writer.empty_items;
            continue;
        }
        any_written = true;
        print_text(file, "    <ITEM\n      POSITION %.10f\n      SNAPOFFS 0\n      LENGTH %.10f\n",
                   item.position, item.length);
        if (item.start_offset > 0.0) print_text(file, "      SOFFS %.10f\n", item.start_offset);
        std::fputs(
            "      LOOP 0\n      ALLTAKES 0\n      FADEIN 1 0 0 1 0 0 0\n"
            "      FADEOUT 1 0 0 1 0 0 0\n",
            file);
        write_item_colour(file, item.colour_index, track_in, context);
        print_text(file, "      MUTE %d 0\n", item.muted ? 1 : 0);
        if (item.marked) {
            std::fputs("      LOCK 1\n", file);
            ++item_writer.locked_clips;
        }
        print_text(file, "      NAME %s\n      <SOURCE MIDI\n        HASDATA 1 %d QN\n",
                   project_token(item.name).c_str(), kTicksPerQuarterNote);
        opened |= write_opening_events(file, item, values);
        if (p.delay_on || p.velocity_on) ++midi_writer.property_items;
        if (p.quantize_on || p.duration_on) ++midi_writer.unapplied_switch_items;

        // Deltas add up to the written time, so an event the delay would put before the item
        // start lands on it and the events after it keep their own times.
        std::uint64_t written = 0;
        for (const MidiItemEvent& event : item.events) {
            const std::int64_t shifted = static_cast<std::int64_t>(std::min<std::uint64_t>(
                                             event.position, std::uint64_t{1} << 62)) +
                                         applied.delay;
            const std::uint64_t position = shifted < 0 ? 0 : static_cast<std::uint64_t>(shifted);
            const std::uint64_t delta = position > written ? position - written : 0;
            written += delta;
            write_event(file, event, delta, applied);
        }
        std::fputs("        E 1 b0 7b 00\n      >\n    >\n", file);
    }
    if (!any_written) return;
    if (opened) ++midi_writer.fader_pan_tracks;
    if (p.delay_on || p.velocity_on || p.transpose_on) ++midi_writer.property_tracks;
    if (p.quantize_on || p.duration_on) ++midi_writer.unapplied_switch_tracks;
}

void write_comment_item(std::FILE* file, const std::string& comment, const std::string& track,
                        std::int32_t index, CommentsMode mode) {
    settings.envelope_active = 1;
    settings.envelope_arm = 0;
    if (mode != CommentsMode::item || comment.empty()) return;
    print_text(file,
               "    <ITEM\n      POSITION 0\n      SNAPOFFS 0\n      LENGTH 2\n      LOOP 0\n"
               "      ALLTAKES 0\n      FADEIN 1 0 0 1 0 0 0\n      FADEOUT 1 0 0 1 0 0 0\n"
               "      MUTE 0 0\n      IGUID %s\n      NAME \"Pro Tools comment\"\n      <NOTES\n",
               guid_from_seed(kCommentSeedBase + static_cast<std::uint32_t>(index) + 1).c_str());
    std::vector<std::string> lines;
    split_notes_lines(project_comment_utf8(comment, track), lines);
    for (const std::string& line : lines) print_text(file, "        |%s\n", line.c_str());
    std::fputs("      >\n    >\n", file);
    ++midi_writer.comment_items;
}
