// The console summary, its closing block and the media check's text.
#include "convert/summary/console_summary.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "convert/clips/clip_counts.h"
#include "convert/summary/media_check.h"
#include "convert/tracks/midi_items.h"
#include "convert/writer/audio_paths.h"
#include "convert/writer/colors.h"
#include "convert/writer/item_writer.h"
#include "convert/writer/midi_item_writer.h"
#include "convert/writer/project_header.h"
#include "convert/writer/tempo_markers.h"
#include "convert/writer/writer_summary.h"
#include "tests/test_support.h"
#include "tests/writer_test_support.h"

namespace {

class ConsoleSummary : public writer_test::WriterTest {
  protected:
    void SetUp() override {
        WriterTest::SetUp();
        reset_item_writer();
        reset_audio_paths();
        reset_media_check();
        in_.header = {"Pro Tools", "12.5.1", 12};
        in_.sample_rate = 44100;
        in_.written_path = "/music/Song.rpp";
        in_.tracks_written = 3;
        in_.midi_notes_written = 29;
    }
    void TearDown() override {
        reset_item_writer();
        reset_audio_paths();
        reset_media_check();
        WriterTest::TearDown();
    }
    ConsoleSummaryInput in_;
};

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST_F(ConsoleSummary, PlainSessionGolden) {
    item_writer.items_written = 7;
    EXPECT_EQ(console_summary_text(in_),
              "\n"
              "  Read:  Pro Tools 12.5.1, 44100 Hz, 120 BPM\n"
              "  Wrote: /music/Song.rpp\n"
              "\n"
              "  3 tracks, 7 clips, 29 MIDI notes\n"
              "  0 mixer strips (faders, pans, mute)\n"
              "  0 sends into 0 return tracks\n"
              "  0 clips stretched, 0 of them read from the session\n"
              "  0 fade-ins, 0 fade-outs, 0 crossfades\n"
              "  0 clips given clip gain\n"
              "  no meter map in this session: 4/4 throughout\n"
              "  0 tick-based tracks, 0 sample-based\n");
}

TEST_F(ConsoleSummary, ReadLineAndVersionNote) {
    in_.header = {};
    std::string text = console_summary_text(in_);
    EXPECT_TRUE(has(text,
                    "\n  Read:  Pro Tools (this session does not record which version "
                    "saved it), 44100 Hz, 120 BPM\n"));
    EXPECT_FALSE(has(text, "NOTE"));

    in_.header = {"Pro Tools", "2023.3", 2023};
    in_.tempo = 97.5;
    text = console_summary_text(in_);
    EXPECT_TRUE(has(text, "  Read:  Pro Tools 2023.3, 44100 Hz, 97.5 BPM\n"));
    EXPECT_TRUE(has(text,
                    "  NOTE: the sessions this tool is tested against were all saved\n"
                    "      by Pro Tools 12.5. 2023.3 is outside that.\n"));
    EXPECT_TRUE(has(text, "      either way.\n\n  3 tracks, 0 clips, 29 MIDI notes\n"));

    in_.check = true;
    text = console_summary_text(in_);
    EXPECT_TRUE(has(text, "  Not written (--check).\n"));
    EXPECT_FALSE(has(text, "Wrote"));
}

TEST_F(ConsoleSummary, NameListsAndRows) {
    const std::vector<std::string> two = {"Kick", "Snare"};
    EXPECT_EQ(quoted_name_list(two), " \"Kick\", \"Snare\"");
    EXPECT_EQ(quoted_name_list(std::vector<std::string>{}), "");

    std::vector<std::string> nine;
    for (int i = 1; i <= 9; ++i) nine.push_back("T" + std::to_string(i));
    const std::string rows = name_rows(nine);
    EXPECT_TRUE(rows.starts_with("      T1\n      T2\n"));
    EXPECT_TRUE(rows.ends_with("      T8\n      ... and 1 more\n")) << rows;
}

// Paragraphs from the writer's, the colours', the items' and the tempo map's counters, in table
// order.
TEST_F(ConsoleSummary, CountedParagraphsInOrder) {
    WriterSummary& s = writer_summary;
    s.sends_written = 4;
    s.midi_mute_tracks = 1;
    s.sends_muted = 1;
    s.master_fader_name = "Master 1";
    s.automation_points = 12;
    s.automated_tracks = 2;
    s.faders_parked = 1;
    s.hidden_tracks = {"FX", "Room"};
    s.pan_law_known = 1;
    s.pan_law_db = -3.0;
    s.grid_set = 1;
    s.grid_quarter_notes = 0.25;
    in_.return_tracks = 2;
    item_writer.locked_clips = 2;
    item_writer.gain_envelopes = 1;
    item_writer.lanes_written = 3;
    item_writer.clips_colored = 5;
    item_writer.color_indices = {3, 17};
    in_.mixer_strips = 5;
    in_.clips_stretched_read = 1;
    in_.clips_stretched_computed = 2;
    MeterChange three_four, six_eight;
    three_four.numerator = 3;
    six_eight.numerator = 6;
    six_eight.denominator = 8;
    six_eight.position = 2 * 3 * 960000.0;
    const std::vector<MeterChange> meters = {three_four, six_eight};
    in_.meters = meters;
    tempo_marker_counts.tempo_changes = 3;
    tempo_marker_counts.signature_changes = 1;
    tempo_marker_counts.locations_written = 2;

    const std::string text = console_summary_text(in_);
    const char* in_order[] = {
        "  5 mixer strips (faders, pans, mute)\n",
        "  4 sends into 2 return tracks\n",
        "  1 MIDI track(s) arrive with their mute automation\n",
        "      1 send(s) switched off in Pro Tools, written muted\n",
        "  master fader \"Master 1\" carried onto the REAPER master\n",
        "  12 automation points across 2 tracks\n",
        "  1 fader(s) parked at unity so the volume envelope alone\n",
        "  tempo map with 3 changes\n",
        "  3 clips stretched, 1 of them read from the session\n",
        "  0 fade-ins, 0 fade-outs, 0 crossfades\n",
        "  0 clips given clip gain\n",
        "  meter 3/4, read from the session\n",
        "  NOTE: this session has 1 meter change(s) after the first,\n",
        "      6/8 at bar 3\n",
        "  2 memory location(s) written as REAPER markers\n",
        "  Pan law: -3.0 dB, read from the session's Pan Depth\n",
        "  5 clip(s) carried a color, 2 distinct Pro Tools palette\n",
        "  1 of them carried a clip gain ENVELOPE, written as REAPER\n",
        "  2 track(s) are HIDDEN in Pro Tools and arrive hidden in both REAPER's\n"
        "      track panel and its mixer: \"FX\", \"Room\"\n",
        "  2 clip(s) were locked in Pro Tools and are LOCKED in REAPER. REAPER\n",
        "  Edit grid written as REAPER's grid (0.25 of a quarter note).\n",
        "  3 written as REAPER fixed lanes\n",
    };
    std::size_t at = 0;
    for (const char* part : in_order) {
        const std::size_t found = text.find(part, at);
        ASSERT_NE(found, std::string::npos) << part << "\n---\n" << text;
        at = found;
    }
    // Every line of the summary is indented, every paragraph ends its line.
    EXPECT_TRUE(text.ends_with("\n"));
}

TEST_F(ConsoleSummary, MidiRowsInTheirPlacesAndByOption) {
    reset_midi_writer();
    midi_counts.reset();
    midi_writer.controller_events = 5;
    midi_writer.sysex_written = 1;
    midi_writer.sysex_outside = 2;
    midi_writer.muted_notes = 3;
    midi_writer.fader_pan_tracks = 2;
    midi_writer.property_tracks = 1;
    midi_writer.transposed_out_of_range = 4;
    midi_writer.unapplied_switch_tracks = 1;
    midi_counts.unmatched_chunks = 1;
    midi_counts.notes_past_edge = 6;
    midi_counts.truncated_clips = 1;
    midi_counts.head_cut_clips = 2;
    midi_counts.sample_time_clips = 3;
    midi_counts.sample_time_overlaps = 1;
    midi_counts.empty_regions = {{"Keys", "Keys-02"}};
    writer_summary.automation_points = 1;
    writer_summary.automated_tracks = 1;

    const std::string text = console_summary_text(in_);
    const char* in_order[] = {
        ", 29 MIDI notes\n  5 MIDI controller events (pitch bend, CC, aftertouch)\n",
        "  3 SysEx event(s)\n      2 of them lie OUTSIDE their clip in Pro Tools and would not "
        "play\n",
        "  note: 1 MIDI region(s) had controller data that did not\n",
        "  0 mixer strips (faders, pans, mute)\n",
        "  1 automation points across 1 tracks\n",
        "  3 MIDI event(s) kept but muted -- outside a Pro Tools clip\n",
        "  6 note(s) run past a clip edge; those items were lengthened so\n",
        "  1 MIDI clip(s) cut where a later clip on the same track takes over,\n",
        "  2 MIDI clip(s) start later, where the clip Pro Tools draws on top of\n",
        "  2 MIDI/instrument track(s) carry their MIDI fader and pan as a CC 7\n",
        "  MIDI Real-Time Properties APPLIED to the notes on 1 track(s): transpose,\n",
        "      4 note(s) transposed past the MIDI range are written MUTED, not lost.\n",
        "  1 track(s) carry Real-Time quantize or duration, which are NOT applied:\n",
        "  3 MIDI clip(s) sit on a SAMPLE-BASED track, so their position and\n",
        "      1 of them overlap another clip. Pro Tools resolves an overlap by\n",
        "  1 MIDI clip(s) hold no notes and no controller data; no item was\n"
        "      written for them:\n      Keys: Keys-02\n",
    };
    std::size_t at = 0;
    for (const char* part : in_order) {
        const std::size_t found = text.find(part, at);
        ASSERT_NE(found, std::string::npos) << part << "\n---\n" << text;
        at = found;
    }
    EXPECT_FALSE(has(text, "--keep-inaudible-midi:"));
    EXPECT_FALSE(has(text, "--truncate-midi-to-clip:"));

    // The options turn rows 37, 39 and 41 on in place of 38 and 42.
    in_.keep_inaudible_midi = true;
    in_.truncate_midi_to_clip = true;
    const std::string with_options = console_summary_text(in_);
    EXPECT_TRUE(
        has(with_options, "  3 MIDI note event(s) kept but muted: notes too short to exist at\n"));
    EXPECT_TRUE(
        has(with_options, "  --keep-inaudible-midi: 0 MIDI event(s) outside a Pro Tools clip\n"));
    EXPECT_TRUE(has(with_options,
                    "  --truncate-midi-to-clip: 6 note(s) run past a clip edge and are CUT\n"));
    EXPECT_FALSE(has(with_options, "kept but muted -- outside"));
    EXPECT_FALSE(has(with_options, "those items were lengthened"));
    midi_counts.notes_past_edge = 0;
    EXPECT_TRUE(
        has(console_summary_text(in_),
            "  --truncate-midi-to-clip: no note runs past a clip edge, so nothing is cut.\n"));
    reset_midi_writer();
    midi_counts.reset();
}

// Rows that name two things: a stereo track and the buses of its moved sends, a track and the
// clip group pieces it lost.
TEST_F(ConsoleSummary, RowsNamingTwoThings) {
    writer_summary.stereo_send_tracks = {{"Gtr", {"Verb", "Dly"}}, {"Keys", {"Verb"}}};
    clip_counts.clip_group_skipped = 3;
    clip_counts.clip_group_problem_tracks = {{"A", 2}, {"B", 1}};
    const std::string text = console_summary_text(in_);
    EXPECT_TRUE(has(text,
                    "      keep their full width:\n"
                    "      \"Gtr\" (to \"Verb\", \"Dly\")\n"
                    "      \"Keys\" (to \"Verb\")\n"))
        << text;
    EXPECT_TRUE(has(text,
                    "  WARNING: 3 clip group piece(s) could not be read, so that audio is\n"
                    "      missing on: \"A\" (2 piece(s)), \"B\" (1 piece(s))\n"
                    "      Please send the session in.\n"))
        << text;
}

// The drop-frame note names the rate the session runs at: 60 and 120 drop share 30 drop's base
// code, but not its note.
TEST_F(ConsoleSummary, DropFrameNotes) {
    struct Case {
        const char* what;
        std::int32_t code, found;
        std::uint32_t session_code, start, full_rate_start;
        const char* note;  // empty: no drop-frame note
    } cases[] = {
        {"30 drop", 8, 0, 0xFFFFFFFF, 108000, 0,
         "      REAPER has no 30 drop-frame setting; the ruler runs at 30 non-drop.\n"},
        {"60 drop", 8, 1, 14, 108000, 216000,
         "      REAPER has no 60 drop-frame setting; the ruler runs at 60 non-drop.\n"},
        {"120 drop", 8, 1, 21, 108000, 432000,
         "      REAPER has no 120 drop-frame setting; the ruler runs at 120 non-drop.\n"},
        {"59.94 drop", 5, 1, 12, 0, 0,
         "      REAPER has no 59.94 drop-frame setting; the ruler runs at 59.94 non-drop.\n"},
        {"29.97 drop", 5, 0, 0xFFFFFFFF, 108000, 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        reset_conversion_state(ConvertOptions{});
        ProjectSettingsRead read;
        read.timecode_code = c.code;
        read.time_values_found = c.found;
        read.session_timecode_code = c.session_code;
        read.timecode_start = c.start;
        read.start_frames_full_rate = c.full_rate_start;
        writer_test::capture([&](std::FILE* f) { write_project_settings(f, 48000, 120, read); });
        const std::string text = console_summary_text(in_);
        ASSERT_TRUE(has(text, "  Timecode: ")) << text;
        const std::size_t first = text.find("      REAPER has no ");
        if (c.note[0] == '\0') {
            EXPECT_EQ(first, std::string::npos) << text;
        } else {
            EXPECT_EQ(text.substr(first, std::string(c.note).size()), c.note) << text;
            EXPECT_EQ(text.find("      REAPER has no ", first + 1), std::string::npos) << text;
        }
    }
}

// A NUL byte or another control byte in a session name neither cuts the printed summary nor
// reaches the terminal: the text is printed whole, the byte as a blank.
TEST_F(ConsoleSummary, ControlBytesInNamesAreBlanked) {
    item_writer.unlisted_sources.push_back({"Vox", std::string("Gt\0r", 4)});
    item_writer.unlisted_sources.push_back({"Bass\x1b[2J", "c2"});
    const std::string text = console_summary_text(in_);
    EXPECT_TRUE(has(text, "      \"Gt r\" on \"Vox\"\n      \"c2\" on \"Bass [2J\"\n")) << text;
    console_.clear();
    print_console_summary(in_);
    EXPECT_EQ(console_, text);

    const std::vector<std::string> missing = {std::string("a\0b.wav", 7), "c.wav"};
    EXPECT_TRUE(has(media_check_text(missing, 0), "      a b.wav\n      c.wav\n"));
}

TEST_F(ConsoleSummary, ClipsLeftOutAreNamed) {
    for (int i = 0; i < 10; ++i) item_writer.bad_length.push_back({"Gtr", "c" + std::to_string(i)});
    item_writer.past_a_day.push_back({"Bass", "far"});
    item_writer.unlisted_sources.push_back({"Vox", "lost"});
    const std::string text = console_summary_text(in_);
    EXPECT_TRUE(has(text,
                    "  WARNING: 10 clip(s) have no usable length (zero, negative, longer\n"
                    "      than a day or unreadable) and were left out:\n"
                    "      \"c0\" on \"Gtr\"\n"));
    EXPECT_TRUE(has(text, "      \"c7\" on \"Gtr\"\n      ... and 2 more\n"));
    EXPECT_TRUE(has(text, "24 hours in, past the end of any\n"));
    EXPECT_TRUE(has(text, "      \"far\" on \"Bass\"\n"));
    EXPECT_TRUE(has(text, "      \"lost\" on \"Vox\"\n"));
    EXPECT_FALSE(has(text, "could not be placed"));
    EXPECT_FALSE(has(text, "fault of this build"));
}

// Placements the walk could not place, clips outside their playlist, and a clip balance that
// does not add up, each said with what it names.
TEST_F(ConsoleSummary, UnplacedOutsideAndUnbalancedClips) {
    const std::vector<UnplacedPlacement> unplaced = {
        {"Gtr", 3, 70000, false}, {"", 12, 5, false}, {"Keys", 1, 9, true}};
    in_.unplaced = unplaced;
    clip_counts.outside_playlist = {{"Bass", "old take"}};
    in_.clips_unaccounted = 2;
    std::string text = console_summary_text(in_);
    EXPECT_TRUE(has(text,
                    "  WARNING: 3 clip placement(s) name a region or track this session does\n"
                    "      not hold (a damaged session?) and could not be placed:\n"
                    "      region 70000 on \"Gtr\"\n"
                    "      region 5 on track 12\n"
                    "      MIDI region 9 on \"Keys\"\n"))
        << text;
    EXPECT_TRUE(has(text, "and were left out:\n      \"old take\" on \"Bass\"\n")) << text;
    EXPECT_TRUE(has(text, "  WARNING: 2 clip(s) read from the session are neither written nor"));
    in_.clips_unaccounted = -1;
    text = console_summary_text(in_);
    EXPECT_TRUE(has(text, "  WARNING: 1 clip(s) more were written or named than read"));
    clip_counts.reset();
}

TEST_F(ConsoleSummary, ClosingBlock) {
    ClosingBlockInput c;
    c.library_rate = 48000;
    c.audio_folder = "/music/Song/Audio Files";
    EXPECT_EQ(closing_block_text(c),
              "  Media folder written into every FILE line:\n"
              "      /music/Song/Audio Files\n"
              "  If REAPER shows OFFLINE, that path is wrong - re-run with\n"
              "      --audio-dir \"<the folder the .wav files are really in>\"\n"
              "\n"
              "  PRIVACY: this program contains no network code. No information\n"
              "      about this session was transmitted: no upload, no telemetry, no\n"
              "      usage reporting. A report reaches vantrel only when you attach\n"
              "      it to an e-mail and send it yourself.\n");

    // Two placements over 10 minutes; the longest is 15 min, the longest file 20 min.
    c.placement_lengths = {48000LL * 601, 48000LL * 900, 48000LL * 30};
    c.longest_file = 48000ULL * 1200;
    c.bit_depth = 32;
    c.bit_float = 1;
    c.clips_in_sibling_folders = true;
    c.usage_shared = true;
    const std::string text = closing_block_text(c);
    EXPECT_TRUE(text.starts_with(
        "  note: 2 clip(s) over 10 minutes (longest 15.0 min, from a 20.0 min\n"
        "        source). REAPER builds peaks for the whole file on first open --\n"))
        << text;
    EXPECT_TRUE(has(text, "  The session records at 32-bit float. Existing audio is unaffected\n"));
    EXPECT_TRUE(has(text, "  Media folder written into every other FILE line:\n"));
    EXPECT_TRUE(has(text, "\n  PRIVACY: this program contains no network code. It wrote an\n"));

    // Exactly 10 minutes is not over; a rate the library does not know counts as 48000 Hz.
    c.placement_lengths = {48000LL * 600};
    c.library_rate = 0;
    EXPECT_FALSE(has(closing_block_text(c), "note:"));
}

TEST_F(ConsoleSummary, MediaCheckNamesWhatIsMissing) {
    test_support::TempDir dir;
    const std::filesystem::path song = dir.path() / "Song";
    std::filesystem::create_directories(song / "Audio Files");
    std::filesystem::create_directories(song / "Bounced Files");
    test_support::write_file((song / "Audio Files" / "here.wav").string(), "x");
    test_support::write_file((song / "Bounced Files" / "mix.wav").string(), "x");
    settings.audio_folder = (song / "Audio Files").string();
    settings.session_folder = song.string();

    const std::string long_name = std::string(70, 'x') + ".wav";
    std::vector<PtfAudioFile> files = {{"here.wav", 1}, {"", 1}, {"mix.wav", 1}, {long_name, 1}};
    for (int i = 1; i <= 6; ++i) files.push_back({"gone" + std::to_string(i) + ".wav", 1});
    const std::vector<std::string> missing = find_missing_audio_files(files, {});
    ASSERT_EQ(missing.size(), 7u);
    EXPECT_EQ(missing[0], long_name);

    const std::string text = media_check_text(missing, 0);
    EXPECT_EQ(text,
              "  1 audio file(s) the session lists are in its own sibling folder(s)\n"
              "      rather than the media folder: Bounced Files (1)\n"
              "      No clip uses them (freeze renders are not needed: the frozen\n"
              "      track converts from its source with the plug-in live).\n"
              "  WARNING: 7 referenced audio file(s) are not in \"Audio Files\" or beside it:\n"
              "      " +
                  std::string(64, 'x') +
                  "\n"
                  "      gone1.wav\n      gone2.wav\n      gone3.wav\n      gone4.wav\n"
                  "      gone5.wav\n"
                  "      ... and 1 more\n"
                  "      REAPER will search for these on load and may look frozen while\n"
                  "      it does; telling it to ignore missing files opens the rest.\n");
    EXPECT_TRUE(has(media_check_text(missing, 3),
                    "(1)\n      3 clip(s) use them; their FILE lines point there.\n"));

    // Everything in the audio folder: nothing to say.
    reset_audio_paths();
    const std::vector<PtfAudioFile> present = {{"here.wav", 1}};
    EXPECT_TRUE(find_missing_audio_files(present, {}).empty());
    EXPECT_EQ(media_check_text({}, 0), "");

    // A folder hint from the session is tried, but only as a plain folder name.
    reset_audio_paths();
    std::filesystem::create_directories(song / "Takes");
    test_support::write_file((song / "Takes" / "t.wav").string(), "x");
    const std::vector<PtfAudioFile> hinted = {{"t.wav", 1}};
    EXPECT_TRUE(find_missing_audio_files(hinted, {{"t.wav", "Takes"}}).empty());
    reset_audio_paths();
    EXPECT_EQ(find_missing_audio_files(hinted, {{"t.wav", "../Song/Takes"}}).size(), 1u);
}

}  // namespace
