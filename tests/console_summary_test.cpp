// The console summary, its closing block and the media check's text.
#include "convert/summary/console_summary.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "convert/clips/clip_counts.h"
#include "convert/clips/clip_extras.h"
#include "convert/run_state.h"
#include "convert/summary/media_check.h"
#include "convert/tracks/midi_items.h"
#include "convert/tracks/playlist_tracks.h"
#include "convert/tracks/track_stage_state.h"
#include "convert/tracks/track_wiring_state.h"
#include "convert/writer/ara_transfer.h"
#include "convert/writer/audio_paths.h"
#include "convert/writer/colors.h"
#include "convert/writer/item_writer.h"
#include "convert/writer/midi_item_writer.h"
#include "convert/writer/project_header.h"
#include "convert/writer/special_tracks.h"
#include "convert/writer/tempo_markers.h"
#include "convert/writer/video_tracks.h"
#include "convert/writer/writer_summary.h"
#include "effects/clip_effects.h"
#include "effects/eq3_conversion.h"
#include "effects/fx_chain.h"
#include "effects/param_envelopes.h"
#include "effects/reasurroundpan.h"
#include "effects/stock_standins.h"
#include "plugins/plugin_state.h"
#include "tests/console_lines.h"
#include "tests/test_support.h"
#include "tests/writer_test_support.h"
#include "util/utf8_text.h"

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
                    "saved it),\n      44100 Hz, 120 BPM\n"));
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
    midi_counts.midi_clip_groups = {{"Keys", 2}, {"Pad", 0}, {"Synth", 1}};
    const std::string text = console_summary_text(in_);
    EXPECT_TRUE(has(text,
                    "  WARNING: 3 MIDI clip group(s) sit on MIDI tracks, and MIDI clip groups\n"
                    "      are not laid out as their clips here, as audio clip groups are:\n"
                    "      \"Keys\" clip group(s) (2)\n"
                    "      \"Synth\" clip group(s) (1)\n  "))
        << text;
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
// code, but not its note. A rate REAPER has no preset for names the rate the ruler runs at. None
// of these says the ruler reads as Pro Tools': each has a note, or (29.97 drop, 47.952, 59.94) is
// written in a form no project REAPER saved holds.
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
         "      REAPER has no 120 fps drop frame setting; the ruler runs at 60 fps.\n"},
        {"59.94 drop", 5, 1, 12, 0, 0,
         "      REAPER has no 59.94 drop-frame setting; the ruler runs at 59.94 non-drop.\n"},
        {"100", 2, 1, 17, 90000, 360000,
         "      REAPER has no 100 fps setting; the ruler runs at 50 fps.\n"},
        {"119.88", 3, 1, 18, 0, 0,
         "      REAPER has no 119.88 fps setting; the ruler runs at 59.94 fps.\n"},
        {"29.97 drop", 5, 0, 0xFFFFFFFF, 108000, 0, ""},
        {"47.952", 9, 1, 15, 0, 0, ""},
        {"59.94", 3, 1, 11, 0, 0, ""},
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
        const bool reads_as_pro_tools =
            has(text,
                ",\n      written as REAPER's project start, so the ruler reads as Pro "
                "Tools' does.\n");
        EXPECT_FALSE(reads_as_pro_tools) << text;
        if (c.note[0] == '\0') {
            EXPECT_EQ(first, std::string::npos) << text;
        } else {
            EXPECT_TRUE(
                has(text, ",\n      written as REAPER's project start.\n" + std::string(c.note)))
                << text;
            EXPECT_EQ(text.substr(first, std::string(c.note).size()), c.note) << text;
            EXPECT_EQ(text.find("      REAPER has no ", first + 1), std::string::npos) << text;
        }
    }
}

// An Edit group is named on its own row, never counted among the mix/VCA groups.
TEST_F(ConsoleSummary, EditGroupsAreNotCountedAsMixGroups) {
    track_stage.groups.kept = {SessionGroup{"Drums", {0}}, SessionGroup{"Edit 1", {0}}};
    track_stage.groups.edit_groups = {"Edit 1"};
    const std::string text = console_summary_text(in_);
    EXPECT_TRUE(has(text, "  1 mix/VCA group(s) decoded from the session:\n      \"Drums\"  ->  "))
        << text;
    EXPECT_TRUE(has(text, "  1 group(s) are EDIT groups and were deliberately not linked:\n"))
        << text;
    EXPECT_EQ(text.find("\"Edit 1\"  ->"), std::string::npos) << text;
    track_stage.groups.kept = {SessionGroup{"Edit 1", {0}}};
    EXPECT_FALSE(has(console_summary_text(in_), "mix/VCA group(s)"));
}

// Row 163's third note: a 24 or 23.976 session without a video track to check the rate
// against is told to check it; a session with video, or at another rate, is not.
TEST_F(ConsoleSummary, TwentyFourFrameNoteWithoutVideo) {
    const std::string note =
        "      Pro Tools stores 24 and 23.976 the same way, and with no video in\n";
    const struct {
        std::int32_t code;
        int video_tracks;
        bool noted;
    } cases[] = {{1, 0, true}, {9, 0, true}, {1, 1, false}, {2, 0, false}, {7, 0, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        reset_conversion_state(ConvertOptions{});
        ProjectSettingsRead read;
        read.timecode_code = c.code;
        read.timecode_start = 3600;
        writer_test::capture([&](std::FILE* f) { write_project_settings(f, 48000, 120, read); });
        video_tracks.tracks = c.video_tracks;
        const std::string text = console_summary_text(in_);
        ASSERT_TRUE(has(text, "  Timecode: ")) << text;
        EXPECT_EQ(has(text, note), c.noted) << text;
        video_tracks.tracks = 0;
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

// The plug-in block's lists, each under its own heading and in one order; the AAX-only list
// says whether any of them processed audio.
TEST_F(ConsoleSummary, PluginBlockListsInOrder) {
    FxChainState& st = fx_chain_state;
    st.aax_only_counts = {{"Avid Pitch", 2}, {"Avid Meter", 1}};
    st.aax_only_flags = {{"Avid Pitch", 1}, {"Avid Meter", 0}};
    st.aax_slots = 3;
    st.unrecognised_counts = {{"Odd Thing", 1}};
    st.unrecognised_keys = {{"Odd Thing", "OddTThng"}};
    st.no_settings_counts = {{"Empty Comp", 2}};
    st.offline_counts = {{"Far Verb", 1}};
    st.left_out_bypassed = 1;
    st.missing_fx = {{"Pro-Q 3", "VST3: Pro-Q 3 (FabFilter)"}};
    st.missing_fx_left_out = {{"Pro-C 2", "VST3: Pro-C 2 (FabFilter)"}};
    in_.plugin_instances = 9;
    std::string text = console_summary_text(in_);
    const char* in_order[] = {
        "  9 plug-in instances found, 0 written with their settings\n",
        "    3 cannot transfer - AAX only, no VST/VST3 version exists:\n"
        "      Avid Meter               x1\n"
        "      Avid Pitch               x2\n"
        "      2 of these processed audio, so that much of the mix is\n"
        "      not carried. The rest did not touch the sound.\n"
        "      Avid ships these with Pro Tools in AAX form only. No converter\n"
        "      can carry them; their settings stay in the Pro Tools session.\n"
        "      3 empty slot(s) were left in place, named and BYPASSED, so\n",
        // The key --learn takes, then the paragraph that closes every not-recognized list.
        "    1 not recognized:\n      Odd Thing                x1   OddTThng\n"
        "      Avid's own stock processors exist only as AAX and no tool can\n",
        "    2 skipped - Pro Tools stored no transferable state:\n",
        "    1 placed OFFLINE - the plug-in is named but its\n",
        "    1 left out - bypassed or inactive in Pro Tools (--skip-bypassed-fx)\n",
        "    1 written but NOT INSTALLED for REAPER on this machine:\n"
        "      Pro-Q 3                  needs VST3: Pro-Q 3 (FabFilter)\n",
        "    1 NOT INSTALLED for REAPER on this machine and LEFT OUT (as asked):\n",
        "    WHAT REAPER NEEDS INSTALLED, AND WHAT IT DOES NOT:\n",
    };
    std::size_t at = 0;
    for (const char* part : in_order) {
        const std::size_t found = text.find(part, at);
        ASSERT_NE(found, std::string::npos) << part << "\n---\n" << text;
        at = found;
    }
    EXPECT_FALSE(has(text, "None of these processed audio"));

    // None of them processed audio, or all of them: no "rest" to speak of.
    struct Case {
        std::uint8_t pitch, meter;
        const char* present;
        const char* absent;
    } cases[] = {
        {0, 0,
         "      Avid Pitch               x2\n"
         "      None of these processed audio: the mix is unaffected.\n",
         "of these processed audio, so"},
        {1, 1,
         "      3 of these processed audio, so that much of the mix is\n"
         "      not carried.\n      Avid ships",
         "The rest"},
    };
    for (const Case& c : cases) {
        st.aax_only_flags = {{"Avid Pitch", c.pitch}, {"Avid Meter", c.meter}};
        text = console_summary_text(in_);
        EXPECT_TRUE(has(text, c.present)) << text;
        EXPECT_FALSE(has(text, c.absent)) << text;
    }
}

// The builds chosen for plug-ins: --prefer-vst2 entries with their sum, both Kontakt forms with
// the installed name bare, and --prefer-clap.
TEST_F(ConsoleSummary, PluginBuildRows) {
    plugin_knowledge.kept_on_vst3 = {{"A", 2}, {"B", 1}};
    plugin_knowledge.kontakt = {4, "Kontakt 8 (Native Instruments GmbH) (64 out)", 0};
    plugin_knowledge.kept_off_clap = {{"Pro-L 2", 1}, {"Pro-R", 2}};
    std::string text = console_summary_text(in_);
    EXPECT_TRUE(has(text,
                    "  --prefer-vst2: 3 plug-in(s) kept on their VST3 build so their settings\n"
                    "      carry over (their VST2 build cannot take them): A x2, B x1\n"))
        << text;
    EXPECT_TRUE(has(text,
                    "  Kontakt: 4 instance(s) written for Kontakt 8, the Kontakt installed here.\n"
                    "      Pro Tools saved them with Kontakt 6; Kontakt 8 plays those settings\n"
                    "      unchanged.\n"))
        << text;
    EXPECT_TRUE(has(text,
                    "  3 plug-in(s) kept on their VST build under --prefer-clap: how the CLAP\n"
                    "      build takes their settings is not known yet:\n"
                    "      Pro-L 2 x1\n      Pro-R x2\n"))
        << text;
    plugin_knowledge.kontakt.predicted = 1;
    text = console_summary_text(in_);
    EXPECT_TRUE(has(text, "      Kontakt 7 takes them. Kontakt 8 itself is untested with them"))
        << text;
    EXPECT_FALSE(has(text, "plays those settings"));

    // --no-kontakt-state writes no Kontakt settings, so the row has nothing to say.
    settings.kontakt_state_enabled = 0;
    text = console_summary_text(in_);
    EXPECT_FALSE(has(text, "Kontakt")) << text;
    settings.kontakt_state_enabled = 1;
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
              "      usage reporting. A report reaches no one unless you send it\n"
              "      yourself.\n");

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

// The table of the summary's paragraphs: an entry per row 1 to 219 and per paragraph of our own,
// with the field that makes its condition true and its first line. Each entry is checked alone
// (its first line at a line start, and nothing of it at count 0), all together (table order), and
// every row number must have an entry.
enum class RowKind {
    counted,    // printed when its count is not zero
    always,     // printed at count 0 too
    by_design,  // never printed: no stage does what it describes
};

struct TableRow {
    int row;  // 0: a paragraph of our own
    const char* first_line;
    std::function<void(ConsoleSummaryInput&)> set;
    RowKind kind = RowKind::counted;
    // Its condition excludes another entry's (an option on or off, another form of the row), or
    // its text comes in a block printed at another place: left out of the joint order check.
    bool alone_only = false;
};

const std::vector<MeterChange>& repeated_meters(int repeats) {
    static std::vector<MeterChange> meters;
    meters.assign(1, MeterChange{});
    for (int i = 1; i <= repeats; ++i) {
        MeterChange same;
        same.position = i * 4.0 * 960000.0;  // every bar line: 4/4 again
        meters.push_back(same);
    }
    return meters;
}

std::vector<TableRow> summary_table() {
    WriterSummary& s = writer_summary;
    using In = ConsoleSummaryInput;
    ClipExtras none;
    return {
        {1, "  2 MIDI controller events (pitch bend, CC, aftertouch)",
         [](In&) { midi_writer.controller_events = 2; }},
        {2, "  3 SysEx event(s)", [](In&) { midi_writer.sysex_written = 3; }},
        {3, "  note: 1 MIDI region(s) had controller data that did not",
         [](In&) { midi_counts.unmatched_chunks = 1; }},
        {4, "  5 mixer strips (faders, pans, mute)", [](In& in) { in.mixer_strips = 5; },
         RowKind::always},
        {5, "  track list taken from the strip rows (name scan found 2 of 4)",
         [](In& in) {
             in.name_scan_found = 2;
             in.track_list_size = 4;
         }},
        {6, "  4 sends into 2 return tracks",
         [&s](In& in) {
             s.sends_written = 4;
             in.return_tracks = 2;
         },
         RowKind::always},
        {7, "", nullptr, RowKind::by_design},
        {8, "", nullptr, RowKind::by_design},
        {9, "  2 MIDI track(s) muted in Pro Tools arrive muted",
         [&s](In&) { s.midi_muted_tracks = 2; }},
        {10, "  1 MIDI track(s) arrive with their mute automation",
         [&s](In&) { s.midi_mute_tracks = 1; }},
        {11, "  3 MIDI track automation lane(s) other than mute are NOT carried",
         [&s](In&) { s.midi_lanes_not_carried = 3; }},
        {12, "  1 track(s) have NO OUTPUT in Pro Tools, so they reach the mix only through",
         [](In&) { track_wiring.no_output_tracks = {"FX Return"}; }},
        {13, "  Pro Tools' click is on and \"Click 1\" plays it. REAPER's metronome is left OFF;",
         [&s](In&) { s.click_track_name = "Click 1"; }},
        {14, "      2 send(s) panned off center, carried", [&s](In&) { s.sends_panned = 2; }},
        {15, "      1 send(s) switched off in Pro Tools, written muted",
         [&s](In&) { s.sends_muted = 1; }},
        {16, "  1 stereo track(s) have a send whose two pan knobs are moved off",
         [&s](In&) {
             s.stereo_send_tracks = {{"Keys", {"Verb"}}};
         }},
        {17, "  2 send pan automation lane(s) NOT carried: the send keeps its",
         [](In&) { track_wiring.counts.send_pan_lanes = 2; }},
        {18, "", nullptr, RowKind::by_design},
        {19, "  2 track output(s) routed into the aux that takes their bus",
         [](In&) { track_wiring.counts.outputs_routed = 2; }},
        {20, "  3 of them routed bus -> aux by the aux's input",
         [](In&) { track_wiring.counts.bus_by_input_routes = 3; }},
        {21, "  1 of those matched a mono leg to its stereo pair",
         [](In&) { track_wiring.counts.mono_leg_matches = 1; }},
        {22, "  NOTE: 1 send(s) target a stereo bus whose two legs are taken by",
         [](In&) { track_wiring.counts.split_leg_sends = 1; }},
        {23, "  2 plug-in(s) carried across bypassed", [](In&) { fx_chain_state.bypassed = 2; }},
        {24, "  1 insert(s) on the Master Fader carried", [&s](In&) { s.master_fx_slots = 1; }},
        {25, "  1 plug-in(s) were INACTIVE in Pro Tools, written offline",
         [](In&) { fx_chain_state.inactive = 1; }},
        {26, "  3 of them written OFFLINE - no DSP, no RAM, one click to restore",
         [](In&) { fx_chain_state.offline = 3; }},
        {27, "  2 sidechain key inputs wired to channels 3/4",
         [](In&) { track_wiring.counts.first_keys = 2; }},
        {28, "  1 more key input(s) wired to channels 5/6 and up, for a second",
         [](In&) { track_wiring.counts.further_keys = 1; }},
        {29, "      1 keyed track(s) pass only channels 1/2 on to their parent, so",
         [&s](In&) { s.mainsend_nch = 1; }},
        {30, "  2 plug-in(s) on MIDI tracks had MIDI triggering switched off:",
         [](In&) {
             fx_chain_state.midi_trigger_off = {"Bass / Pro-Q 3", "Bass / Pro-C 2"};
         }},
        {31, "  --no-sidechain: key inputs left unwired", [](In& in) { in.no_sidechain = true; }},
        {32, "  1 sidechain key inputs could not be resolved",
         [](In&) { track_wiring.counts.unresolved_keys = 1; }},
        {33, "  2 sidechained plug-in(s) key off a different source than the key",
         [](In&) {
             track_wiring.counts.keyed_elsewhere = 2;
             track_wiring.counts.keyed_elsewhere_by_track = {{"Bass", 2}};
         }},
        {34, "  7 send automation points", [&s](In&) { s.send_points = 7; }},
        {35, "  master fader \"Master 1\" carried onto the REAPER master",
         [&s](In&) { s.master_fader_name = "Master 1"; }},
        {36, "  9 automation points across 2 tracks",
         [&s](In&) {
             s.automation_points = 9;
             s.automated_tracks = 2;
         }},
        {37, "  2 MIDI note event(s) kept but muted: notes too short to exist at",
         [](In& in) {
             midi_writer.muted_notes = 2;
             in.keep_inaudible_midi = true;
         },
         RowKind::counted, true},
        {38, "  2 MIDI event(s) kept but muted -- outside a Pro Tools clip",
         [](In&) { midi_writer.muted_notes = 2; }},
        {39, "  --keep-inaudible-midi: 0 MIDI event(s) outside a Pro Tools clip",
         [](In& in) { in.keep_inaudible_midi = true; }, RowKind::counted, true},
        {40, "  --truncate-midi-to-clip: no note runs past a clip edge, so nothing is cut.",
         [](In& in) { in.truncate_midi_to_clip = true; }, RowKind::counted, true},
        {41, "  --truncate-midi-to-clip: 3 note(s) run past a clip edge and are CUT",
         [](In& in) {
             in.truncate_midi_to_clip = true;
             midi_counts.notes_past_edge = 3;
         },
         RowKind::counted, true},
        {42, "  3 note(s) run past a clip edge; those items were lengthened so",
         [](In&) { midi_counts.notes_past_edge = 3; }},
        {43, "  1 MIDI clip(s) cut where a later clip on the same track takes over,",
         [](In&) { midi_counts.truncated_clips = 1; }},
        {44, "  1 MIDI clip(s) start later, where the clip Pro Tools draws on top of",
         [](In&) { midi_counts.head_cut_clips = 1; }},
        {45, "  6 dual-pan point(s) on 2 stereo track(s) (REAPER dual pan)",
         [&s](In&) {
             s.dual_pan_points = 6;
             s.dual_pan_tracks = 2;
         }},
        {46, "  5 plug-in parameter automation points",
         [](In&) { param_envelope_state.points = 5; }},
        {47, "      2 automated control(s) placed by the parameter number the",
         [](In&) { param_envelope_state.by_number = 2; }},
        {48, "      1 automated control(s) placed by matching their name in the",
         [](In&) { param_envelope_state.by_name = 1; }},
        {0, "      1 automation lane(s) NOT carried: their parameter number lies outside",
         [](In&) { param_envelope_state.unplaced_lanes = 1; }},
        {49, "  2 automation lane(s) written SWITCHED OFF, titled \"ASSIGN\": which",
         [](In&) {
             param_envelope_state.assign_lanes = {{{"Gtr", "Pro-Q 3"}, 2}};
         }},
        {50, "  1 automation lane(s) NOT carried on plug-ins that arrive at their",
         [](In&) {
             param_envelope_state.lanes_by_fx = {{{"Gtr", "Pro-C 2"}, 1}};
         }},
        {51, "  3 automation lane(s) NOT carried on Avid plug-ins written as REAPER's",
         [](In&) {
             param_envelope_state.lanes_by_key = {{{"Vox", "EQ3 7-Band"}, 3}};
         }},
        {52, "  1 plug-in bypass automation lane(s) NOT carried -- the plug-in stays",
         [](In&) { param_envelope_state.bypass_lanes = 1; }},
        {53, "  2 automated track(s) set to Read (Trim/Read would",
         [&s](In&) { s.automated_tracks_read = 2; }},
        {54, "  1 fader(s) parked at unity so the volume envelope alone",
         [&s](In&) { s.faders_parked = 1; }},
        {55, "  tempo map with 3 changes", [](In&) { tempo_marker_counts.tempo_changes = 3; }},
        {56, "  2 clips pitch-shifted",
         [none](In& in) mutable {
             none.pitched_clips = 2;
             in.clip_stretch_lines = clip_extras_stretch_lines(none);
         }},
        {57, "  1 clips carry elastic warp markers",
         [none](In& in) mutable {
             none.stretch_marker_clips = 1;
             in.clip_stretch_lines += clip_extras_stretch_lines(none);
         }},
        {58, "  1 of them are trims of a take, warped from the slice",
         [none](In& in) mutable {
             none.stretch_marker_clips = 2;
             none.warped_from_slice = 1;
             in.clip_stretch_lines += clip_extras_stretch_lines(none);
         }},
        {59, "  1 clips carry a warp map that could not be sliced",
         [none](In& in) mutable {
             none.rejected_warps = 1;
             in.clip_stretch_lines += clip_extras_stretch_lines(none);
         }},
        {60, "  3 clips stretched, 1 of them read from the session",
         [](In& in) {
             in.clips_stretched_read = 1;
             in.clips_stretched_computed = 2;
         },
         RowKind::always},
        {61, "  1 fade-ins, 2 fade-outs, 0 crossfades",
         [](In&) {
             clip_counts.fade_ins = 1;
             clip_counts.fade_outs = 2;
         },
         RowKind::always},
        {62, "  4 clips given clip gain", [](In&) { item_writer.clips_with_gain = 4; },
         RowKind::always},
        {63, "  2 clip(s) inside a clip group given the group's own clip gain as well,",
         [](In& in) { in.clip_group_gain_clips = 2; }},
        {64, "  WARNING: 3 clip(s) sit in a clip group whose own clip gain is a drawn",
         [](In& in) {
             in.clip_group_lines_not_applied = {"Group 1"};
             in.clip_group_line_clips = 3;
         }},
        {65, "  1 looped clip(s) (Clip > Loop) written as their 3 passes, end to end,",
         [none](In& in) mutable {
             none.loops_written = 1;
             none.loop_repeats = 2;
             in.clip_loop_lines += clip_extras_loop_lines(none);
         }},
        {66, "  1 looped clip(s) set by Loop Length end where Pro Tools ends them (the",
         [none](In& in) mutable {
             none.loops_cut = 1;
             in.clip_loop_lines += clip_extras_loop_lines(none);
         }},
        {67, "      1 of them have fades, kept on every pass: how Pro Tools fades a",
         [none](In& in) mutable {
             none.looped_fade_ins = 1;
             in.clip_loop_lines += clip_extras_loop_lines(none);
         }},
        {68, "  WARNING: 1 looped clip(s) (Clip > Loop) NOT written as loops: \"L\"",
         [none](In& in) mutable {
             none.loop_note_count = 1;
             none.loop_notes = " \"L\"";
             in.clip_loop_lines += clip_extras_loop_lines(none);
         }},
        {69, "  --no-stand-ins: on; no Avid plug-in in this session had a REAPER stand-in.",
         [](In&) { settings.no_stand_ins = 1; }, RowKind::counted, true},
        {70, "  --no-stand-ins: 2 Avid plug-in(s) left in their slot under their Pro",
         [](In&) {
             settings.no_stand_ins = 1;
             fx_chain_state.standins_withheld = 2;
         }},
        {71, "      1 track(s) where a Trim flips one side only play both sides",
         [](In&) {
             settings.no_stand_ins = 1;
             fx_chain_state.polarity_withheld = 1;
         }},
        {72, "  --no-track-colors: every track is in REAPER's default color; the",
         [](In& in) { in.no_track_colors = true; }, RowKind::counted, true},
        {73, "  --no-clip-colors: 0 clip(s) that would carry a color are drawn",
         [](In&) { settings.no_clip_colors = 1; }, RowKind::counted, true},
        {74, "  --prefer-vst2: 3 plug-in(s) kept on their VST3 build so their settings",
         [](In&) {
             plugin_knowledge.kept_on_vst3 = {{"A", 2}, {"B", 1}};
         }},
        {75, "  Kontakt: 2 instance(s) written for Kontakt 8, the Kontakt installed here.",
         [](In&) {
             plugin_knowledge.kontakt = {2, "Kontakt 8 (Native Instruments GmbH) (64 out)", 1};
         }},
        {76, "  2 track(s) carried a color onto REAPER track colors",
         [](In&) { color_counters.tracks_colored = 2; }},
        {77, "  3 track(s) have no color set. Pro Tools does not STORE a color",
         [](In&) { color_counters.tracks_uncolored = 3; }},
        {78, "  NOTE: 1 track record(s) held a value where the color belongs",
         [](In&) { color_counters.off_palette_track_colours = 1; }},
        {79, "  no meter map in this session: 4/4 throughout", [](In&) {}, RowKind::always, true},
        {79, "  meter 3/4, read from the session",
         [](In& in) {
             static std::vector<MeterChange> meters(1);
             meters[0].numerator = 3;
             in.meters = meters;
         },
         RowKind::counted, true},
        {80, "  NOTE: this session has 1 meter change(s) after the first,",
         [](In& in) {
             static std::vector<MeterChange> meters(2);
             meters[1].numerator = 3;
             meters[1].position = 4.0 * 960000.0;
             in.meters = meters;
             tempo_marker_counts.signature_changes = 1;
         },
         RowKind::counted, true},
        {81,
         "  2 meter event(s) repeat the meter already in force -- no bar line 4/4 at bar 2, "
         "4/4 at bar 3",
         [](In& in) {
             in.meters = repeated_meters(2);
             tempo_marker_counts.meter_repeats = 2;
         }},
        {82, "  2 memory location(s) written as REAPER markers",
         [](In&) { tempo_marker_counts.locations_written = 2; }},
        {83, "  1 written as REAPER REGIONS -- those are Pro Tools",
         [](In&) {
             tempo_marker_counts.locations_written = 2;
             tempo_marker_counts.regions = 1;
         }},
        {84, "      1 of them carried a marker color. A marker Pro Tools",
         [](In&) {
             tempo_marker_counts.locations_written = 2;
             tempo_marker_counts.colored = 1;
         }},
        {85, "      1 marker(s) carry a Pro Tools color this build cannot",
         [](In&) {
             tempo_marker_counts.locations_written = 2;
             tempo_marker_counts.colored = 1;
             tempo_marker_counts.unknown_colors = {NamedLocation{"Verse", 99}};
         }},
        {86, "  1 memory location(s) have time property NONE and were NOT",
         [](In&) { tempo_marker_counts.kind_none_skipped = 1; }},
        {87, "      None carried a stored marker color, so REAPER shows them",
         [](In&) { tempo_marker_counts.locations_written = 2; }, RowKind::counted, true},
        {88, "  1 track(s) had NO color of their own and were given the one",
         [](In& in) {
             color_counters.tracks_colored_by_coding = 1;
             in.track_color_coding = "Tracks";
         }},
        // Clip colour codings are known by number only: no session names its coding, so the row's
        // condition never holds (89). Nothing colours clips on alternate playlist lanes from their
        // recording (90): the row describes work no stage does, and its count stays 0.
        {89, "", nullptr, RowKind::by_design},
        {90, "", nullptr, RowKind::by_design},
        {91, "      2 clip(s) with no color of their own were given the tint Pro",
         [](In&) { color_counters.fallback_clips_colored = 2; }},
        {92, "      1 clip(s) sit in a row whose tint under this coding has not",
         [](In&) { color_counters.fallback_clips_uncolored = 1; }},
        {93, "      1 clip(s) with no color of their own are left for REAPER to",
         [](In&) { color_counters.clips_on_colored_tracks = 1; }},
        {94, "      What Pro Tools displays for a clip with no color of its",
         [](In&) { color_counters.clips_unmeasured_coding = 1; }},
        {95, "  2 track(s) feeding a plug-in instrument keep REAPER's default color.",
         [](In&) { track_stage.coding.devices_with_id = 2; }},
        {96, "  1 MIDI/instrument track(s) have no MIDI output assigned. Pro Tools",
         [](In&) { track_stage.coding.midi_without_channel = 1; }},
        {97, "  Pro Tools shows the video track in palette 27 under this scheme, on",
         [](In&) { track_stage.coding.video_not_coloured = 1; }},
        {98, "  1 group(s) had no readable slot number, so their tracks",
         [](In&) { track_stage.coding.groups_without_slot = 1; }},
        {99, "  Pan law: -3.0 dB, read from the session's Pan Depth",
         [&s](In&) {
             s.pan_law_known = 1;
             s.pan_law_db = -3.0;
         }},
        {99, "  *** Pan Depth enum 7 is not one this build knows.", [&s](In&) { s.pan_depth = 7; },
         RowKind::counted, true},
        {100, "  3 clip(s) carried a color, 2 distinct Pro Tools palette",
         [](In&) {
             item_writer.clips_colored = 3;
             item_writer.color_indices = {4, 9};
         }},
        {101, "      1 of them carry a hand-picked palette color from the lower rows,",
         [](In&) {
             item_writer.clips_colored = 3;
             color_counters.clips_lightened = 1;
         }},
        {102, "      WARNING: 1 clip(s) carry a palette index off the known",
         [](In&) {
             item_writer.clips_colored = 3;
             color_counters.clips_off_palette = 1;
         }},
        // No stage finds coloured placements apart from the clips it colours: nothing to compare.
        {103, "", nullptr, RowKind::by_design},
        {104, "  Clip colors follow Pro Tools' Dark theme, as chosen (2 measured,",
         [](In& in) {
             in.theme = ClipColorTheme::dark;
             color_counters.palette_hits = 2;
         },
         RowKind::counted, true},
        {105, "  Clip colors follow Pro Tools' Dark theme (2 measured, 0 derived),",
         [](In&) { color_counters.palette_hits = 2; }},
        {106, "  Clip colors follow Pro Tools' Classic theme, as chosen.",
         [](In& in) { in.theme = ClipColorTheme::classic; }, RowKind::counted, true},
        {107, "  1 of them carried a clip gain ENVELOPE, written as REAPER",
         [](In&) { item_writer.gain_envelopes = 1; }},
        {108, "  WARNING: 2 clip gain entr(ies) state a point count that disagrees",
         [](In&) { clip_counts.gain_count_mismatches = 2; }},
        {109, "  1 mix/VCA group(s) decoded from the session:",
         [](In&) {
             track_stage.groups.kept = {SessionGroup{"Drums", {0}}};
         }},
        {110, "      1 written as REAPER fader-link group(s).",
         [](In&) {
             track_stage.groups.kept = {SessionGroup{"Drums", {0}}};
             track_stage.groups.written = 1;
         }},
        {111, "      1 VCA group(s) written as REAPER VCA links. The master is",
         [](In&) {
             track_stage.groups.kept = {SessionGroup{"Drums", {0}}};
             track_stage.groups.vca_written = 1;
         }},
        {112, "      WARNING: 1 VCA group(s) name a master this decoder could",
         [](In&) {
             track_stage.groups.kept = {SessionGroup{"Drums", {0}}};
             track_stage.groups.vca_master_not_strip = {"VCA 1"};
         }},
        {113, "      WARNING: 2 group(s) past the first 32 were not written (REAPER",
         [](In&) {
             track_stage.groups.kept = {SessionGroup{"Drums", {0}}};
             track_stage.groups.past_32 = 2;
         }},
        {0, "  WARNING: 1 group member(s) point past the session's track list and",
         [](In&) { track_stage.groups.out_of_range_members = 1; }},
        {114, "  WARNING: 1 group record(s) ignored -- they appeared only once,",
         [](In&) {
             track_stage.groups.once_only = {"Old"};
             track_stage.groups.once_only_count = 1;
         }},
        {115, "  WARNING: 1 group(s) include the MASTER FADER as a member:",
         [](In&) { track_stage.groups.master_fader_groups = {"All"}; }},
        {116, "  WARNING: this session has 2 MASTER FADERS. REAPER has exactly",
         [](In&) { track_stage.master_faders = 2; }},
        {117, "  2 track(s) are HIDDEN in Pro Tools and arrive hidden in both REAPER's",
         [&s](In&) {
             s.hidden_tracks = {"FX", "Room"};
         }},
        {118, "  1 track(s) carry their Pro Tools track HEIGHT, in pixels as Pro Tools",
         [&s](In&) { s.tracks_with_height = 1; }},
        {119, "  1 track(s) are SOLOED in the session and arrive soloed: \"Vox\"",
         [&s](In&) { s.soloed_tracks = {"Vox"}; }},
        {120, "  1 track(s) are SOLO SAFE and arrive solo-defeated: \"Verb\"",
         [&s](In&) { s.solo_safe_tracks = {"Verb"}; }},
        {121, "  1 MIDI/instrument track(s) carry their MIDI fader and pan as a CC 7",
         [](In&) { midi_writer.fader_pan_tracks = 1; }},
        {122, "  WARNING: 1 MIDI/instrument track(s) carry REAL-TIME PROPERTIES:",
         [](In&) {
             track_stage.properties = {"\n      Keys: transpose +2;", 1};
         }},
        {123, "  WARNING: 1 MIDI track(s) play an instrument on another track:",
         [](In&) {
             track_stage.instrument_routes = {"\n      MIDI 1 -> Synth", 1};
         }},
        {124, "  1 track(s) have automation mode OFF in Pro Tools: \"Pad\"",
         [&s](In&) { s.automation_off_tracks = {"Pad"}; }},
        {125, "  1 track(s) use an automation mode other than Read and arrive in it: Bass=Latch",
         [](In&) {
             track_stage.automation_modes = {" Bass=Latch", 1};
         }},
        {126, "  1 track(s) have a PATCH selected and send it as a program change",
         [](In&) {
             track_stage.programs = {" Keys=5", 1};
         }},
        {127, "  1 alternate playlist(s) could not be matched to a parent track by",
         [](In& in) {
             PlaylistTracks p;
             p.alt_own_tracks = 1;
             in.playlist_lines.own_tracks = playlist_summary_lines(p, true).own_tracks;
         }},
        {128, "  1 track(s) carry a COMMENT in Pro Tools: \"Vox\"",
         [](In&) {
             track_stage.comments = {TrackComment{"Vox", "take 3"}};
         }},
        {129, "  1 track(s) carry an EVEN number of inverting Trims, which cancel:",
         [](In& in) { in.trims.cancelling_tracks = 1; }},
        {130, "  1 Avid Trim instance(s). Trim is AAX only and cannot load in REAPER,",
         [](In&) { fx_chain_state.trim_instances = 1; }},
        {131, "  2 surround track(s) folded from their Pro Tools legs into one",
         [](In& in) { in.surround_folded = 2; }},
        {132, "  1 track(s) were soloed AND muted in Pro Tools, which keeps them silent.",
         [&s](In&) { s.soloed_and_muted = 1; }},
        {133, "  1 soloed, muted track(s) with mute automation keep their solo: REAPER",
         [&s](In&) { s.soloed_muted_automated = 1; }},
        {134, "  3 folder track(s): 2 Routing folder(s) written as REAPER folders whose",
         [](In&) {
             track_wiring.counts.routing_folders = 2;
             track_wiring.counts.other_folders = 1;
         }},
        {135, "      1 empty folder(s) arrive as plain tracks.",
         [](In&) { track_wiring.counts.empty_folders = 1; }},
        {136, "      1 Routing folder(s) arrive as plain tracks: nothing is routed into",
         [](In&) { track_wiring.counts.folders_moved_out = 1; }},
        {137, "      1 folder(s) sit inside another folder, nested the same way in REAPER",
         [](In&) { track_wiring.counts.folders_after_folder = 1; }},
        {138, "      1 Basic folder(s) sat inside a Routing folder in Pro Tools, where their",
         [](In&) { track_wiring.counts.moved_folder_rows = {"Sub out of Keys"}; }},
        {139, "      1 track(s) sat inside a Routing folder in Pro Tools but play to the",
         [](In&) { track_wiring.counts.moved_rows = {"Gtr out of Bus"}; }},
        {140, "      1 track(s) or Basic folder(s) inside a Routing folder could not be",
         [](In&) { track_wiring.counts.unmoved_rows = {"Pno (in Keys)"}; }},
        {141, "      The session's folder table could not be read, so folder members are",
         [](In&) {
             track_wiring.counts.routing_folders = 1;
             track_wiring.folder_mode = 0;
         },
         RowKind::counted, true},
        {142, "      A folder inside a folder could not be placed: 2 folder(s) that may",
         [](In&) { track_wiring.counts.nested_unplaced = 2; }},
        {143, "      1 folder(s) could not be written as folders because their members",
         [](In&) { track_wiring.unwritten_folders = {"Drums"}; }},
        {144, "  1 group(s) link controls beyond volume, mute and solo that are not",
         [](In&) {
             track_stage.groups.unsupported_attributes = {{"Drums", "#2 #5"}};
         }},
        {145, "  1 track(s) have Avid Trim polarity on ONE channel only (an unlinked",
         [](In&) { fx_chain_state.polarity_js = 1; }},
        {146, "  1 surround Trim(s) flip polarity on some channels but not others:",
         [](In& in) { in.trims.mixed_polarity = 1; }},
        {147, "  2 clip(s) had Clip Effects POLARITY switched on: carried as REAPER take",
         [none](In& in) mutable {
             none.phase_inversions = 2;
             in.clip_take_lines = clip_extras_take_lines(none);
         }},
        {148, "  2 clip(s) carry Pro Tools Clip Effects, written as take FX on the item",
         [](In&) {
             clip_effects_state.clips = 2;
             clip_effects_state.plugin_clips = {{"ReaEQ", 2}};
         }},
        {149, "  Clip Effects approximated or left out:",
         [](In&) {
             clip_effects_state.note_clips = {{"de-esser left out", 1}};
         }},
        {149, "    2 not recognized:",
         [](In&) {
             clip_effects_state.unknown_names = {{"Odd Knob", 2}};
         }},
        {150, "  The Melodyne (ARA) data could not be merged (bad archive): those clips arrive",
         [](In&) { ara_transfer.error = "bad archive"; }},
        // Nothing gives MIDI clips Pro Tools' MIDI clip colour (151) or tells an auto-assigned clip
        // colour from one picked by hand (152): work no stage does, so their counts stay 0.
        {151, "", nullptr, RowKind::by_design},
        {152, "", nullptr, RowKind::by_design},
        {153, "  1 track(s) had no stored display row, so their position in the",
         [](In&) { track_stage.coding.position_for_want_of_row = 1; }},
        {154, "  1 track(s) sit past position 26. Their color follows the 16-row",
         [](In&) { track_stage.coding.past_26 = 1; }},
        {155, "  1 clip(s) have Melodyne (ARA) attached. What was edited there is NOT",
         [](In&) {
             ara_transfer.clips_without_take = 1;
             ara_transfer.record_plugins = {"Melodyne", ""};
             ara_transfer.records_without_take = {0};
         }},
        // Clips of two records, one of a plug-in the session does not name.
        {155, "  2 clip(s) have an ARA plug-in (ARA) attached. What was edited there is NOT",
         [](In&) {
             ara_transfer.clips_without_take = 2;
             ara_transfer.record_plugins = {"Melodyne", ""};
             ara_transfer.records_without_take = {0, 1};
         },
         RowKind::counted, true},
        {155, "      (2 edit set(s) the session declares were not found on a clip.)",
         [](In&) {
             ara_transfer.clips_without_take = 1;
             ara_transfer.records_on_no_clip = 2;
         }},
        {156, "  2 Avid plug-in(s) arrive as REAPER's own equivalents, in the same",
         [](In&) {
             stock_standin_state.standin_total = 2;
             stock_standin_state.standin_counts = {{"ReaEQ", 2}};
         }},
        {157, "      EQ3: 3 band(s) fitted onto ReaEQ to follow Pro Tools' own curve to",
         [](In&) { eq3_counters.fitted_band_count = 3; }},
        {157, "      EQ3: 3 band(s) fitted onto ReaEQ to follow Pro Tools' own curve as",
         [](In&) {
             eq3_counters.fitted_band_count = 3;
             eq3_counters.worst_fit_db = 0.7;
         },
         RowKind::counted, true},
        {157, "      EQ3: the worst written curve is 7.79 dB from Pro Tools' curve at 15123 Hz",
         [](In&) {
             eq3_counters.worst_fit_db = 7.79;
             eq3_counters.worst_fit_hz = 15123;
             eq3_counters.worst_fit_filter = "EQ3 1-Band notch at 15000 Hz";
         },
         RowKind::counted, true},
        {157, "      EQ3: 1 high-pass or low-pass filter(s) set to 6 or 18 dB/oct use",
         [](In&) { eq3_counters.one_pole_count = 1; }},
        {158, "  Avid stand-ins approximated or left out:",
         [](In&) {
             stock_standin_state.notes = {{"Dyn3 knee approximated", 1}};
         }},
        {159, "  Item timebase written per track: 2 Time (sample-based), 3 Beats",
         [&s](In&) {
             s.timebase_time = 1;
             s.midi_timebase_time = 1;
             s.timebase_beats = 1;
             s.timebase_beats_position = 1;
             s.midi_timebase_beats = 1;
         }},
        {160, "  MIDI Real-Time Properties APPLIED to the notes on 1 track(s): transpose,",
         [](In&) { midi_writer.property_tracks = 1; }},
        {161, "  1 track(s) carry Real-Time quantize or duration, which are NOT applied:",
         [](In&) { midi_writer.unapplied_switch_tracks = 1; }},
        {162, "  Bit depth: 24-bit written as REAPER's recording format, so new",
         [&s](In&) { s.record_format_written = 1; }},
        {162, "  Bit depth: 16-bit AIFF session; REAPER's recording format is left at",
         [&s](In&) {
             s.aiff_session = 1;
             settings.bit_depth = 16;
         },
         RowKind::counted, true},
        {163, "  Timecode: 30 fps, Session Start 00:00:00:00 (0.0000 s),",
         [&s](In&) { s.timecode_written = 1; }},
        {164, "  2 plug-in(s) written as their CLAP build (--prefer-clap), settings carried",
         [](In&) { plugin_knowledge.clap_instances = 2; }},
        {165, "  3 plug-in(s) kept on their VST build under --prefer-clap: how the CLAP",
         [](In&) {
             plugin_knowledge.kept_off_clap = {{"Pro-Q 3", 3}};
         }},
        {166, "  2 aux(es) taking a surround bus written as wide as that bus, and",
         [&s](In&) { s.surround_bus_widths = 2; }},
        {167, "  2 mono track(s) panned into a surround bus arrive with",
         [](In&) { reasurroundpan_state.mono_blocks = 2; }},
        {168, "  1 stereo track(s) panned into a surround bus arrive with",
         [](In&) { reasurroundpan_state.stereo_blocks = 1; }},
        {169, "  2 surround panner automation envelope(s) written on ReaSurroundPan",
         [](In&) {
             reasurroundpan_state.envelopes = 2;
             reasurroundpan_state.points = 9;
         }},
        {0, "  1 surround panner(s) not written: more than 64 outputs, or a speaker",
         [](In&) { reasurroundpan_state.refused = 1; }},
        {170, "  2 surround panner automation lane(s) not written: a stereo source's",
         [&s](In&) { s.surround_pan_lanes_not_carried = 2; }},
        {171, "  1 track(s) feed a surround bus whose layout this build cannot",
         [](In&) { track_wiring.counts.unplaceable_surround = 1; }},
        {172, "  1 Avid Trim(s) had polarity switched on but were BYPASSED or",
         [](In& in) { in.trims.polarity_while_off = 1; }},
        {173, "  1 clip(s) carry their Melodyne (ARA) edits into REAPER: Melodyne sits on",
         [](In&) {
             ara_transfer.takes_written = 1;
             ara_transfer.blocks_written = 1;
         }},
        {174, "  1 strip(s) inverted by Avid Trim have no phase switch in REAPER",
         [](In&) { writer_summary.trim_flips_not_carried = 1; }},
        {175, "  1 clip(s) were locked in Pro Tools and are LOCKED in REAPER. REAPER",
         [](In&) { item_writer.locked_clips = 1; }},
        {176, "  Edit grid written as REAPER's grid (0.25 of a quarter note).",
         [&s](In&) {
             s.grid_set = 1;
             s.grid_quarter_notes = 0.25;
         }},
        {177, "  1 MIDI clip(s) sit on a SAMPLE-BASED track, so their position and",
         [](In&) { midi_counts.sample_time_clips = 1; }},
        {178, "      1 of them overlap another clip. Pro Tools resolves an overlap by",
         [](In&) {
             midi_counts.sample_time_clips = 1;
             midi_counts.sample_time_overlaps = 1;
         }},
        {179, "  1 video track(s), 2 video item(s) written. REAPER carries video on",
         [](In&) {
             video_tracks.tracks = 1;
             video_tracks.items = 2;
         }},
        {179, "      1 video track(s) hold a file this build does not recognize as",
         [](In&) {
             video_tracks.tracks = 1;
             video_tracks.files_unrecognised = 1;
         }},
        {0, "      WARNING: 2 video placement(s) have no clip entry that gives their",
         [](In&) {
             video_tracks.tracks = 1;
             video_tracks.items_without_length = 2;
         }},
        {0, "      WARNING: 1 video placement(s) sit in a list that names none of the",
         [](In&) {
             video_tracks.tracks = 1;
             video_tracks.placements_on_no_track = 1;
         }},
        {180, "  WARNING: group membership NOT written. Pro Tools says this session",
         [](In&) { track_stage.groups.membership_off = 1; }},
        {181, "  1 group(s) are EDIT groups and were deliberately not linked:",
         [](In&) { track_stage.groups.edit_groups = {"Edit 1"}; }},
        {182, "  WARNING: 1 group(s) have a type this decoder has not seen and",
         [](In&) { track_stage.groups.unknown_type_groups = {"Odd"}; }},
        {183, "  1 hardware I/O insert(s) found. These route through a physical",
         [](In&) {
             track_stage.hardware_inserts = {{"Insert A", "Gtr"}};
         }},
        // The tracks as written, as row 159 counts them.
        {184, "  3 tick-based tracks, 2 sample-based",
         [&s](In&) {
             s.timebase_time = 1;
             s.midi_timebase_time = 1;
             s.timebase_beats = 1;
             s.timebase_beats_position = 1;
             s.midi_timebase_beats = 1;
         },
         RowKind::always},
        {184, "      2 of them could not be paired with their own timebase record;",
         [](In&) {
             midi_counts.unpaired_clips = 2;
             midi_counts.timebase_records = 3;
             midi_counts.records_time_base = kTickTimeBase;
         }},
        {184, "      1 of them: this session holds no timebase records at all, so",
         [](In&) { midi_counts.unpaired_clips = 1; }, RowKind::counted, true},
        {184, "      1 of them could not be paired with their own timebase record, and",
         [](In&) {
             midi_counts.unpaired_clips = 1;
             midi_counts.timebase_records = 2;
         },
         RowKind::counted, true},
        {185, "  1 clip(s) carry a sync point and are placed by it, as Pro Tools",
         [](In&) { clip_counts.sync_point_clips = 1; }},
        {186, "  WARNING: this session has clips with sync points that could not be",
         [](In&) { clip_counts.unmatched_sync_points = 1; }},
        {187, "  WARNING: 3 MIDI clip group(s) sit on MIDI tracks, and MIDI clip groups",
         [](In&) {
             midi_counts.midi_clip_groups = {{"Keys", 2}, {"Pad", 0}, {"Synth", 1}};
         }},
        {188, "  1 clip group(s) laid out as the 3 clip(s) they play -- REAPER has",
         [](In&) {
             clip_counts.clip_groups = 1;
             clip_counts.clip_group_clips = 3;
         }},
        {189, "      2 fade(s) inside those groups: 1 fade-in(s) and 1 fade-out(s) carried",
         [](In&) {
             clip_counts.clip_group_fades = 2;
             clip_counts.clip_group_fade_ins = 1;
             clip_counts.clip_group_fade_outs = 1;
         }},
        {190, "  WARNING: 1 clip group piece(s) could not be read, so that audio is",
         [](In&) { clip_counts.clip_group_skipped = 1; }},
        {0, "  WARNING: 2 clip list(s) of this session could not be read (damaged, or",
         [](In&) { clip_counts.unreadable_lists = 2; }},
        {0, "  WARNING: 1 track(s) matched none of the session's clip lists, so their",
         [](In&) { clip_counts.tracks_without_list = {"Gtr"}; }},
        {0, "  WARNING: 2 clip placement(s) were NOT written: the session's record of",
         [](In& in) {
             static const std::vector<UnplacedPlacement> refused = {{"Gtr", 1, 4, false},
                                                                    {"Gtr", 1, 2, false}};
             in.refused = refused;
         }},
        {191, "      stretch 1.0500 on \"Gtr\"",
         [none](In& in) mutable {
             none.rate_rows = {"1.0500 on \"Gtr\""};
             in.clip_rate_rows = clip_extras_rate_rows(none);
         }},
        {192, "  1 alternate playlists matched to their parent track",
         [](In& in) {
             PlaylistTracks p;
             p.alt_with_lane = 1;
             in.playlist_lines.matched += playlist_summary_lines(p, true).matched;
         }},
        {193, "  1 Pro Tools stereo track(s) merged from split mono",
         [](In& in) {
             PlaylistTracks p;
             p.merged_stereo = 1;
             in.playlist_lines.matched += playlist_summary_lines(p, true).matched;
         }},
        {0, "  1 alternate playlist(s) folded into a parent that has no clips of its own",
         [](In& in) {
             PlaylistTracks p;
             p.folded = 1;
             in.playlist_lines.matched += playlist_summary_lines(p, true).matched;
         }},
        {194, "  1 track(s) output to ONE channel of a stereo output, so Pro Tools",
         [](In& in) { in.one_channel_tracks = {"Gtr L (left)"}; }},
        {195, "  1 surround/multichannel strip(s) carry PAN automation that is NOT",
         [&s](In&) { s.surround_pan_strips = 1; }},
        {196, "  WARNING: 1 mixer strip(s) are neither mono nor stereo and were",
         [](In& in) { in.odd_strips = {"Sur (6 control slots)"}; }},
        {197, "  2 written as REAPER fixed lanes", [](In&) { item_writer.lanes_written = 2; }},
        {198, "  1 track(s) had no clips and were written empty, mixer state intact",
         [](In&) { track_stage.written_empty = 1; }},
        {199, "  1 Click track(s) left out (--no-click): \"Click\"",
         [](In&) { track_stage.clicks_left_out = {"Click"}; }},
        {200, "  1 hidden track(s) left out (--skip-hidden-tracks): \"FX\"",
         [](In&) { track_stage.hidden_left_out = {"FX"}; }},
        {201, "  \"Metro\" holds a Click II but also something else (inserts, sends, clips or",
         [](In&) { track_stage.click_with_more = {"Metro"}; }},
        {0, "  1 VCA master(s) linked no member and get no track; their level is",
         [](In&) { track_stage.vca_masters_unlinked = {"VCA 2"}; }},
        {202, "  1 track(s) matched no strip row and were appended at the end --",
         [](In& in) {
             PlaylistTracks p;
             p.unmatched = 1;
             in.playlist_lines.unmatched = playlist_summary_lines(p, true).unmatched;
         }},
        {203, "  2 internal freeze record(s) left out (Pro Tools writes these when a",
         [](In&) { special_tracks.freeze_records_left_out = 2; }, RowKind::counted, true},
        {204, "  1 frozen track(s) delivered FROZEN (--keep-frozen): Pro Tools' own",
         [](In&) { special_tracks.frozen_delivered = 1; }},
        {205, "  1 frozen track(s) converted UNFROZEN even with --keep-frozen:",
         [](In&) {
             special_tracks.frozen_unfrozen = {{"Gtr", "no render"}};
         }},
        {0, "  --keep-frozen: no freeze render is read, so frozen tracks arrive unfrozen",
         [](In& in) { in.keep_frozen = true; }},
        {206, "  1 track(s) were INACTIVE in Pro Tools and are written MUTED --",
         [](In&) { track_stage.inactive_marked = 1; }},
        {207, "  1 track(s) had VOICE set to OFF in Pro Tools and are",
         [](In&) { track_stage.voice_off_marked = 1; }},
        {208, "  WARNING: this session holds a track type this build does not",
         [](In&) {
             track_stage.names_assigned = 0;
             track_stage.named_blocks = 3;
         }},
        {209, "  1 clip head(s) start later, under the clip Pro Tools draws over them",
         [](In&) { clip_counts.trimmed_heads = 1; }},
        {210, "  1 clip(s) muted, covered end to end by the clip drawn over them",
         [](In&) { clip_counts.muted_covered = 1; }},
        {211, "  1 clip tail(s) silenced under a MUTED covering clip",
         [](In&) { clip_counts.silenced_tails = 1; }},
        {212, "  1 fade references dropped as clips", [](In&) { clip_counts.fade_clips = 1; }},
        {213, "  1 fades sat on no kept clip edge", [](In&) { clip_counts.unmatched_fades = 1; }},
        {214, "  1 fade records not understood", [](In&) { clip_counts.bad_fades = 1; }},
        // REAPER's S-curve shape is 5: the row names the shape written.
        {215, "  2 S-curve fade(s) written as REAPER's S shape (5)",
         [](In&) { clip_counts.s_curve_fades = 2; }},
        {216, "  1 deleted clip placement(s) are still in this session: edits or takes",
         [](In&) { clip_counts.alternate_clips = 1; }},
        {216, "  1 deleted clip placement(s) RECOVERED: written as MUTED \"[alt takes]\"",
         [](In& in) {
             clip_counts.alternate_clips = 1;
             in.recover_deleted = true;
         },
         RowKind::counted, true},
        {217, "  1 alternate playlists kept as lanes (--drop-alt-takes to leave them out)",
         [](In& in) {
             PlaylistTracks p;
             p.alt_written = 1;
             p.folded = 1;
             in.playlist_lines.lanes = playlist_summary_lines(p, true).lanes;
         }},
        {217, "  1 alternate playlist(s) matched to a parent are kept as tracks of",
         [](In& in) {
             PlaylistTracks p;
             p.alt_written = 1;
             p.alt_with_lane = 1;
             p.renamed_beside_parent = {"Vox.01 -> Vox.01 [lane: Vox]"};
             in.playlist_lines.lanes = playlist_summary_lines(p, true).lanes;
         },
         RowKind::counted, true},
        {217, "  1 alternate playlists set aside (--drop-alt-takes was given)",
         [](In& in) {
             PlaylistTracks p;
             p.set_aside.resize(1);
             in.playlist_lines.lanes = playlist_summary_lines(p, false).lanes;
         },
         RowKind::counted, true},
        {218, "  2 plug-in instances found, 0 written with their settings",
         [](In& in) { in.plugin_instances = 2; }},
        {219, "  WARNING: 1 unlinked MULTI-MONO instance(s). Pro Tools stores a",
         [](In& in) { in.multi_mono = {"Pro-Q 3 on Sur (6 channels)"}; }},
        {0, "  1 MIDI clip(s) hold no notes and no controller data; no item was",
         [](In&) {
             midi_counts.empty_regions = {MidiRegionName{"Keys", "Empty 1"}};
         }},
        {0, "  WARNING: 1 clip(s) have no usable length (zero, negative, longer",
         [](In&) {
             item_writer.bad_length = {SkippedClip{"C", "T"}};
         }},
        {0, "  WARNING: 1 clip(s) name no audio file the session lists (or have no",
         [](In&) {
             item_writer.no_source = {SkippedClip{"C", "T"}};
         }},
        {0, "  WARNING: 2 clip(s) read from the session are neither written nor named",
         [](In& in) { in.clips_unaccounted = 2; }},
        {0, "  2 name(s) were not valid UTF-8 (damaged bytes, or a path in another",
         [](In&) {
             utf8_repairs.names = {"Gtr\xff", "Bass\xc3"};
         }},
    };
}

class SummaryTable : public ConsoleSummary {
  protected:
    void reset() {
        TearDown();
        in_ = {};
        SetUp();
    }
};

bool starts_a_line(const std::string& text, const std::string& line) {
    return text.find("\n" + line) != std::string::npos;
}

TEST_F(SummaryTable, EveryRowHasAnEntry) {
    std::set<int> rows;
    for (const TableRow& entry : summary_table()) rows.insert(entry.row);
    std::vector<int> missing;
    for (int row = 1; row <= 219; ++row)
        if (!rows.count(row)) missing.push_back(row);
    EXPECT_TRUE(missing.empty()) << "rows without an entry: " << ::testing::PrintToString(missing);
}

TEST_F(SummaryTable, EachRowAloneAndNothingAtZero) {
    reset();
    const std::string bare = console_summary_text(in_);
    for (const TableRow& entry : summary_table()) {
        if (!entry.set) continue;
        SCOPED_TRACE(testing::Message() << "row " << entry.row << ": " << entry.first_line);
        reset();
        entry.set(in_);
        const std::string text = console_summary_text(in_);
        EXPECT_TRUE(starts_a_line(text, entry.first_line)) << text;
        test_console::expect_own_lines_fit(text);
        if (entry.kind != RowKind::always) {
            EXPECT_FALSE(starts_a_line(bare, entry.first_line));
        }
    }
}

TEST_F(SummaryTable, AllRowsTogetherInTableOrder) {
    reset();
    std::vector<const TableRow*> joint;
    std::vector<TableRow> table = summary_table();
    for (const TableRow& entry : table) {
        if (!entry.set || entry.alone_only) continue;
        entry.set(in_);
        joint.push_back(&entry);
    }
    const std::string text = console_summary_text(in_);
    std::size_t last = 0;
    int last_row = 0;
    for (const TableRow* entry : joint) {
        const std::size_t at = text.find("\n" + std::string(entry->first_line));
        ASSERT_NE(at, std::string::npos) << "row " << entry->row << " missing:\n" << text;
        EXPECT_GE(at, last) << "row " << entry->row << " printed before row " << last_row;
        last = at;
        if (entry->row != 0) last_row = entry->row;
    }
}

// Lists cut short: 13 tracks without output give 12 names and ", ..."; 9 multi-mono
// instances give 8 rows and one more; 9 repeated meters give 8 and one more.
TEST_F(SummaryTable, LongListsAreCut) {
    for (int i = 1; i <= 13; ++i)
        track_wiring.no_output_tracks.push_back("Out " + std::to_string(i));
    std::vector<std::string> nine;
    for (int i = 1; i <= 9; ++i) nine.push_back("Inst " + std::to_string(i));
    in_.multi_mono = nine;
    in_.meters = repeated_meters(9);
    tempo_marker_counts.meter_repeats = 9;
    const std::string text = console_summary_text(in_);
    EXPECT_TRUE(has(text, "      Inst 8\n      ... and 1 more\n")) << text;
    EXPECT_FALSE(has(text, "Inst 9"));
    EXPECT_TRUE(has(text, ", 4/4 at bar 9, ... and 1 more\n")) << text;
    EXPECT_FALSE(has(text, "at bar 10"));
    EXPECT_TRUE(has(text, "them: \"Out 1\", \"Out 2\"")) << text;
    EXPECT_TRUE(has(text, ", \"Out 12\", ...\n")) << text;
    EXPECT_FALSE(has(text, "Out 13"));
}

// A damaged session can name 100,000 tracks or instances: a list prints its first 12 (or 8, one
// a line) and the count of the rest, and the summary stays short.
TEST_F(SummaryTable, HugeListsPrintTheirHeadAndTheCountOfTheRest) {
    std::vector<std::string> names;
    for (int i = 1; i <= 100000; ++i) names.push_back("N" + std::to_string(i));
    track_wiring.no_output_tracks = names;
    in_.multi_mono = names;
    const std::string text = console_summary_text(in_);
    EXPECT_TRUE(has(text, "  100000 track(s) have NO OUTPUT in Pro Tools")) << text;
    EXPECT_TRUE(has(text, ", \"N12\", ...\n")) << text;
    EXPECT_TRUE(has(text, "  WARNING: 100000 unlinked MULTI-MONO instance(s).")) << text;
    EXPECT_TRUE(has(text, "      N8\n      ... and 99992 more\n")) << text;
    EXPECT_FALSE(has(text, "N13"));
    EXPECT_LT(text.size(), 4000u);
}

// A first line's shape: numbers (with their points and colons) as "#", each quoted name as "",
// and row 162's " float" dropped.
std::string line_shape(std::string line) {
    const std::size_t float_at = line.find("-bit float ");
    if (float_at != std::string::npos) line.erase(float_at + 4, 6);
    std::string shape;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '"') {
            const std::size_t close = line.find('"', i + 1);
            if (close == std::string::npos) break;
            shape += "\"\"";
            i = close;
        } else if (c >= '0' && c <= '9') {
            while (i + 1 < line.size() && ((line[i + 1] >= '0' && line[i + 1] <= '9') ||
                                           line[i + 1] == '.' || line[i + 1] == ':'))
                ++i;
            shape += '#';
        } else {
            shape += c;
        }
    }
    return shape;
}

// The real sessions' paragraphs, from the counts line to the media check, each matched to its
// table entry (the longest shape that begins the line), in table order; an unknown first line
// fails.
TEST_F(SummaryTable, RealSessionsPrintOnlyTableRowsInOrder) {
    const std::vector<TableRow> table = summary_table();
    bool any = false;
    for (const char* name :
         {"RegionTest.ptx", "TestPTX.ptx", "Untitled32.ptx", "MetadataFields.ptx"}) {
        const std::string path = test_support::real_session(name);
        if (path.empty()) continue;
        any = true;
        SCOPED_TRACE(name);
        const auto run = test_support::run_lanwick({path, "--check", "--no-pause"});
        ASSERT_EQ(run.exit_code, 0) << run.out << run.err;
        const std::size_t counts = run.out.find(" MIDI notes\n");
        ASSERT_NE(counts, std::string::npos) << run.out;
        std::size_t at = run.out.find('\n', counts) + 1;
        std::size_t last_index = 0;
        while (at < run.out.size()) {
            const std::size_t end = run.out.find('\n', at);
            const std::string line = run.out.substr(at, end - at);
            at = end == std::string::npos ? run.out.size() : end + 1;
            if (line.size() < 3 || line[0] != ' ' || line[1] != ' ' || line[2] == ' ') continue;
            if (has(line, "referenced audio file(s)") || has(line, "clip(s) over 10 minutes") ||
                line.starts_with("  The session records at") ||
                line.starts_with("  Media folder written into"))
                break;  // the media check and the closing block
            const std::string shape = line_shape(line);
            std::size_t best = table.size();
            std::size_t best_length = 0;
            for (std::size_t i = 0; i < table.size(); ++i) {
                const std::string entry = line_shape(table[i].first_line);
                if (table[i].set && entry.size() > best_length && shape.starts_with(entry)) {
                    best = i;
                    best_length = entry.size();
                }
            }
            ASSERT_LT(best, table.size()) << "no table entry for: " << line;
            EXPECT_GE(best, last_index) << "out of table order: " << line;
            last_index = best;
        }
    }
    if (!any) GTEST_SKIP() << "no real session under " << LANWICK_SESSIONS_DIR << "; skipped";
}

}  // namespace
