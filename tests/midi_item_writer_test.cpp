// MIDI items and comment items: the item lines, the opening controller events, the real-time
// properties, SysEx and the bytes every event line must keep valid.
#include "convert/writer/midi_item_writer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/writer_test_support.h"
#include "util/guid.h"

namespace {

using writer_test::capture;

class MidiItemWriter : public writer_test::WriterTest {
  protected:
    void SetUp() override {
        WriterTest::SetUp();
        reset_item_writer();
        reset_midi_writer();
    }
    void TearDown() override {
        reset_item_writer();
        reset_midi_writer();
        WriterTest::TearDown();
    }

    std::string items(const OutputTrack& track, const MidiTrackValues& values = {}) {
        return capture([&](std::FILE* f) {
            write_midi_items(f, track, values, ItemTrackInput{}, ItemWriteContext{});
        });
    }

    // The event lines of the only item, between HASDATA and the closing all-notes-off.
    std::vector<std::string> event_lines(const OutputTrack& track,
                                         const MidiTrackValues& values = {}) {
        const std::string text = items(track, values);
        std::vector<std::string> lines;
        std::size_t at = text.find("QN\n");
        if (at == std::string::npos) return lines;
        at += 3;
        while (at < text.size()) {
            const std::size_t end = text.find('\n', at);
            std::string line = text.substr(at, end - at);
            if (line == "        E 1 b0 7b 00") break;
            lines.push_back(line.substr(8));
            at = end + 1;
        }
        return lines;
    }
};

MidiItemEvent note_on(std::uint64_t at, std::uint32_t key, std::uint32_t velocity) {
    return {at, 0x90, key, velocity, 2, 0, {}};
}
MidiItemEvent note_off(std::uint64_t at, std::uint32_t key) {
    return {at, 0x80, key, 0, 0, 0, {}};
}

OutputTrack track_with(std::vector<MidiItemEvent> events, double length = 2.0) {
    MidiItem item;
    item.position = 1.5;
    item.length = length;
    item.name = "Verse";
    item.events = std::move(events);
    OutputTrack track;
    track.name = "Keys";
    track.midi_items.push_back(std::move(item));
    return track;
}

TEST_F(MidiItemWriter, Golden) {
    OutputTrack track = track_with({note_on(0, 0x40, 0x50), note_off(240, 0x40),
                                    note_on(240, 0x3b, 0x50), note_off(480, 0x3b)});
    track.midi_items[0].start_offset = 0.25;
    track.midi_items[0].marked = 1;
    const std::string text = items(track, MidiTrackValues{96, 64, 5, {}});
    EXPECT_EQ(text,
              "    <ITEM\n      POSITION 1.5000000000\n      SNAPOFFS 0\n"
              "      LENGTH 2.0000000000\n      SOFFS 0.2500000000\n      LOOP 0\n"
              "      ALLTAKES 0\n      FADEIN 1 0 0 1 0 0 0\n      FADEOUT 1 0 0 1 0 0 0\n"
              "      MUTE 0 0\n      LOCK 1\n      NAME \"Verse\"\n      <SOURCE MIDI\n"
              "        HASDATA 1 960 QN\n        E 0 b0 07 60\n        E 0 b0 0a 40\n"
              "        E 0 c0 05 00\n        E 0 90 40 50\n        E 240 80 40 00\n"
              "        E 0 90 3b 50\n        E 240 80 3b 00\n        E 1 b0 7b 00\n"
              "      >\n    >\n");
    EXPECT_EQ(midi_writer.notes_written, 2);
    EXPECT_EQ(midi_writer.fader_pan_tracks, 1);
    EXPECT_EQ(item_writer.locked_clips, 1);
}

TEST_F(MidiItemWriter, OpeningEventsNeedFaderAndPanAndGiveWayToTheClipsOwnStream) {
    const OutputTrack plain = track_with({note_on(0, 60, 100)});
    EXPECT_EQ(event_lines(plain, MidiTrackValues{96, -1, 3, {}}),
              (std::vector<std::string>{"E 0 90 3c 64"}));
    const OutputTrack with_cc7 = track_with({{0, 0xB0, 7, 20, 1, 0, {}}});
    EXPECT_EQ(event_lines(with_cc7, MidiTrackValues{96, 64, -1, {}}),
              (std::vector<std::string>{"E 0 b0 0a 40", "E 0 b0 07 14"}));
    EXPECT_EQ(midi_writer.controller_events, 1);
}

TEST_F(MidiItemWriter, RealTimePropertiesApplyToTheEvents) {
    struct Case {
        const char* what;
        MidiTrackProperties p;
        std::vector<MidiItemEvent> events;
        std::vector<std::string> lines;
    };
    MidiTrackProperties velocity;
    velocity.velocity_on = 1;
    velocity.velocity_scale = 50;
    velocity.velocity_offset = 10;
    MidiTrackProperties faint = velocity;
    faint.velocity_scale = 10;
    faint.velocity_offset = 0;
    MidiTrackProperties transpose;
    transpose.transpose_on = 1;
    transpose.transpose_octaves = 1;
    transpose.transpose_semitones = 2;
    MidiTrackProperties early;
    early.delay_on = 1;
    early.delay_ticks = -100;
    MidiTrackProperties late = early;
    late.delay_ticks = 30;
    const Case cases[] = {
        {"velocity 50 % + 10",
         velocity,
         {note_on(0, 60, 100), note_off(10, 60)},
         {"E 0 90 3c 3c", "E 10 80 3c 00"}},
        {"velocity never drops to 0", faint, {note_on(0, 60, 1)}, {"E 0 90 3c 01"}},
        {"transpose 14 past the top mutes and clamps",
         transpose,
         {note_on(0, 116, 90), note_off(5, 116), note_on(5, 60, 90)},
         {"Em 0 90 7f 5a", "Em 5 80 7f 00", "E 0 90 4a 5a"}},
        {"a negative delay stops at the item start",
         early,
         {note_on(40, 60, 90), note_on(240, 62, 90)},
         {"E 0 90 3c 5a", "E 140 90 3e 5a"}},
        {"a delay moves every event", late, {note_on(0, 60, 90)}, {"E 30 90 3c 5a"}},
        {"switches off change nothing",
         MidiTrackProperties{},
         {note_on(0, 60, 100)},
         {"E 0 90 3c 64"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(event_lines(track_with(c.events), MidiTrackValues{-1, -1, -1, c.p}), c.lines)
            << c.what;
    }
    EXPECT_EQ(midi_writer.transposed_out_of_range, 1);
    EXPECT_EQ(midi_writer.muted_notes, 1);
    EXPECT_EQ(midi_writer.muted_other_events, 1);
}

TEST_F(MidiItemWriter, EveryEventLineKeepsOneByteFields) {
    // Status above a byte and data of 128 or more from damaged notes: a key off the range is
    // muted like a transposed one, other data is clamped and counted.
    const OutputTrack track =
        track_with({{0, 0x190, 200, 300, 2, 0, {}}, {3, 0xB0, 1, 128, 1, 1, {}}});
    EXPECT_EQ(event_lines(track), (std::vector<std::string>{"Em 0 90 7f 7f", "Em 3 b0 01 7f"}));
    EXPECT_EQ(midi_writer.clamped_data, 2);
}

TEST_F(MidiItemWriter, SysexIsFramedOnce) {
    EXPECT_EQ(sysex_base64({0x43, 0x10, 0x4C}), "8EMQTPc=");  // F0 43 10 4C F7
    EXPECT_EQ(sysex_base64({0xF0, 0x43, 0x10, 0x4C, 0xF7}), "8EMQTPc=");
    EXPECT_EQ(sysex_base64({}), "8Pc=");
    MidiItemEvent sysex{12, 0xF0, 0, 0, 1, 0, {0x43, 0x10, 0x4C}};
    MidiItemEvent outside = sysex;
    outside.outside = 1;
    const std::string text = items(track_with({sysex, outside}));
    EXPECT_NE(text.find("        <X 12 0\n          8EMQTPc=\n        >\n        <X 0 0\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(midi_writer.sysex_written, 1);
    EXPECT_EQ(midi_writer.sysex_outside, 1);
    writer_test::expect_parses("<REAPER_PROJECT\n  <TRACK\n" + text + "  >\n>\n");
}

TEST_F(MidiItemWriter, NamesWithQuotesControlBytesAndBrokenUtf8StillParse) {
    OutputTrack track = track_with({note_on(0, 60, 100)});
    track.midi_items[0].name = "it's \"a\" `take`\n\x01\xff\xc3";
    writer_test::expect_parses("<REAPER_PROJECT\n  <TRACK\n" + items(track) + "  >\n>\n");
}

TEST_F(MidiItemWriter, ItemsOfNoLengthAreCountedNotWritten) {
    EXPECT_EQ(items(track_with({note_on(0, 60, 100)}, 0.0)), "");
    EXPECT_EQ(midi_writer.empty_items, 1);
    EXPECT_EQ(midi_writer.fader_pan_tracks, 0);
}

TEST_F(MidiItemWriter, CommentItemUnderCommentsItemOnly) {
    const std::string comment = "Take 3 was best\r\n>\n\x01quiet \"mic\"\n\n";
    const std::string text = capture(
        [&](std::FILE* f) { write_comment_item(f, comment, "Vox", 4, CommentsMode::item); });
    EXPECT_EQ(text,
              "    <ITEM\n      POSITION 0\n      SNAPOFFS 0\n      LENGTH 2\n      LOOP 0\n"
              "      ALLTAKES 0\n      FADEIN 1 0 0 1 0 0 0\n      FADEOUT 1 0 0 1 0 0 0\n"
              "      MUTE 0 0\n      IGUID " +
                  guid_from_seed(0x7C000000 + 4 + 1) +
                  "\n      NAME \"Pro Tools comment\"\n      <NOTES\n"
                  "        |Take 3 was best\n        | >\n        |quiet \"mic\"\n"
                  "      >\n    >\n");
    writer_test::expect_parses("<REAPER_PROJECT\n  <TRACK\n" + text + "  >\n>\n");
    for (CommentsMode mode : {CommentsMode::project, CommentsMode::none})
        EXPECT_EQ(capture([&](std::FILE* f) { write_comment_item(f, comment, "Vox", 4, mode); }),
                  "");
    EXPECT_EQ(
        capture([&](std::FILE* f) { write_comment_item(f, "", "Vox", 4, CommentsMode::item); }),
        "");
}

}  // namespace
