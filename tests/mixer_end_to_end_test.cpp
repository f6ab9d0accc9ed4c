// The mixer on whole synthetic sessions: faders, pans, mutes, automation, sends and clip gain as
// the program writes them into the project.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/output.h"
#include "platform/ptformat.h"
#include "tests/mix_session.h"
#include "tests/mixer_builder.h"
#include "tests/plugin_blocks.h"
#include "tests/rpp_grammar.h"
#include "tests/test_support.h"
#include "tests/walk_builder.h"
#include "util/guid.h"

namespace {

namespace fs = std::filesystem;
using namespace mixer_blocks;
using test_support::read_file;
using test_support::run_lanwick;
using test_support::TempDir;

// A whole encrypted session at 44100 Hz: the walk's blocks, then the mixer's.
std::string encrypted_session(const std::vector<test_blocks::FileEntry>& files,
                              const std::string& blocks) {
    using namespace test_blocks;
    std::vector<std::uint64_t> lengths(files.size(), 441000);
    const std::string plain =
        session_header() + lead_block() + version_block(12) + z_block(0x7777, zeros(5000)) +
        rate_block(44100) +
        audio_files_block(static_cast<std::uint32_t>(files.size()), files, lengths) + blocks;
    std::vector<std::uint8_t> bytes(plain.begin(), plain.end());
    EXPECT_TRUE(ptf_xor_crypt(bytes));
    return std::string(bytes.begin(), bytes.end());
}

// The lines of the track block named `name` (from its NAME line to its closing line).
std::string track_text(const std::string& project, const std::string& name) {
    const std::size_t at = project.find("    NAME \"" + name + "\"\n");
    if (at == std::string::npos) return {};
    const std::size_t end = project.find("\n  >\n", at);
    return project.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

std::string mixer_session() {
    using namespace walk_blocks;
    const std::string walk =
        region_list({audio_region("Kick", 0, 88200, 0, 0), audio_region("Vox", 0, 88200, 0, 0),
                     audio_region("Keys", 0, 88200, 0, 0), audio_region("Pad", 0, 88200, 0, 0)}) +
        track_list({track_entry("Drums", {0}), track_entry("Voice", {1}), track_entry("Piano", {2}),
                    track_entry("Bus 1", {3})}) +
        placement_tracks({placement_track("Drums", {audio_playlist({placement(0, 0)})}),
                          placement_track("Voice", {audio_playlist({placement(1, 0)})}),
                          placement_track("Piano", {audio_playlist({placement(2, 0)})}),
                          placement_track("Bus 1", {audio_playlist({placement(3, 0)})})});

    // Drums: fader and volume at -6.5 dB, muted, panned half left; a -6 dB pre-fader send to
    // "Bus 1".
    const std::string drums =
        track_block(0x261b, "Drums",
                    lane_block(fader_block(-65, 1, -50),
                               output_block(2, "Out 1-2") +
                                   mono_lists(list_block(-65), list_block(1), list_block(-50))) +
                        lane_block(fader_block(-60, 0, 0, 0, 0), output_block(3, "Bus 1")));
    // Voice: volume from -6 dB rising to 0 dB at one second; mute, pan and trim move too.
    const std::string voice = track_block(
        0x261b, "Voice",
        lane_block(fader_block(0),
                   output_block(2, "Out 1-2") +
                       mono_lists(list_block(-60, {{44100, 0}}), list_block(0, {{22050, 1}}),
                                  list_block(0, {{22050, -50}}), list_block(0, {{44100, -30}}))));
    // Piano: a stereo panner whose left side moves.
    const std::string piano = track_block(
        0x261b, "Piano",
        lane_block(fader_block(0, 0, -100, 100),
                   output_block(2, "Out 1-2") + stereo_lists(list_block(0), list_block(0),
                                                             list_block(-100, {{22050, -50}}),
                                                             list_block(100))));
    const std::string bus = track_block(
        0x261b, "Bus 1",
        lane_block(fader_block(0), output_block(2, "Out 1-2") +
                                       mono_lists(list_block(0), list_block(0), list_block(0))));
    // Clip gain: Kick static at -6 dB, Vox a line from -6 dB to 0 dB, Keys below the floor. A
    // region block is a clip's reference too: the ones of the walk name list 0, at 0 dB.
    const std::string gain =
        gain_lists_block({{{0, 0.0f}}, {{0, -6.0f}}, {{0, -6.0f}, {44100, 0.0f}}, {{0, -150.0f}}}) +
        clip_gain_ref("Kick", 1) + clip_gain_ref("Vox", 2) + clip_gain_ref("Keys", 3);
    return walk + drums + voice + piano + bus + gain;
}

TEST(MixerEndToEnd, FadersAutomationSendsAndClipGainReachTheProject) {
    TempDir dir;
    const std::string session_path = dir.file("Mix.ptx");
    test_support::write_file(session_path,
                             encrypted_session({{"Kick.wav", "EVAW"}}, mixer_session()));
    const auto r = run_lanwick({session_path, "-o", dir.file("Mix.rpp"), "--no-pause"});
    ASSERT_EQ(r.exit_code, 0) << r.out;
    const std::string project = read_file(dir.file("Mix.rpp"));
    const rpp_grammar::Result grammar = rpp_grammar::check_project(project);
    EXPECT_TRUE(grammar.ok) << "line " << grammar.line << ": " << grammar.message;
    EXPECT_TRUE(has(r.out, "  4 mixer strips (faders, pans, mute)\n")) << r.out;
    EXPECT_FALSE(has(r.out, "send(s) lead to no track")) << r.out;

    const std::string drums = track_text(project, "Drums");
    EXPECT_TRUE(has(drums, "    VOLPAN 0.473151 -0.5 -1 -1.000000 1.000000\n")) << drums;
    EXPECT_TRUE(has(drums, "    MUTESOLO 1 0 0\n")) << drums;
    EXPECT_FALSE(has(drums, "ENV")) << drums;
    EXPECT_TRUE(has(drums, "      VOLPAN 0.501187234 0 1 -1\n")) << drums;
    EXPECT_FALSE(has(drums, "<VOLENV\n")) << drums;

    const std::string voice = track_text(project, "Voice");
    EXPECT_TRUE(has(voice, "    VOLPAN 1.000000 0 -1 -1.000000 1.000000\n")) << voice;
    for (const char* line :
         {"<VOLENV2\n", "PT 0.0000000000 0.501187234 0\n", "PT 1.0000000000 1.000000000 0\n",
          "<MUTEENV\n", "<PANENV2\n", "PT 0.5000000000 0.500000000 0\n", "<VOLENV3\n"})
        EXPECT_TRUE(has(voice, line)) << line << "\n" << voice;
    // The take's line carries the clip gain; its VOLPAN carries nothing more.
    EXPECT_TRUE(has(voice, "      VOLPAN 1.000000000 0 1 -1\n")) << voice;
    const std::size_t take_envelope = voice.find("      <VOLENV\n");
    ASSERT_NE(take_envelope, std::string::npos) << voice;
    EXPECT_TRUE(has(voice.substr(take_envelope), "        PT 0.0000000000 0.501187234 0\n"));

    const std::string piano = track_text(project, "Piano");
    EXPECT_TRUE(has(piano, "    PANMODE 6\n")) << piano;
    EXPECT_TRUE(has(piano, "<DUALPANENVL2\n")) << piano;
    EXPECT_TRUE(has(piano, "<DUALPANENV2\n")) << piano;
    EXPECT_FALSE(has(piano, "<PANENV2\n")) << piano;
    EXPECT_TRUE(has(piano, "      VOLPAN 0.000000056 0 1 -1\n")) << piano;
    // The summary counts the session's points of both dual-pan envelopes (each opens with a
    // point of its own at 0).
    const std::size_t dual = piano.find("<DUALPANENVL2\n");
    const std::size_t dual_end = piano.find("\n    >\n", piano.find("<DUALPANENV2\n"));
    ASSERT_NE(dual_end, std::string::npos) << piano;
    int dual_points = -2;
    for (std::size_t at = piano.find(" PT ", dual); at < dual_end; at = piano.find(" PT ", at + 1))
        ++dual_points;
    EXPECT_TRUE(has(r.out, format_text("\n  %d dual-pan point(s) on 1 stereo track(s) (REAPER "
                                       "dual pan)\n",
                                       dual_points)))
        << r.out;

    const std::string bus = track_text(project, "Bus 1");
    EXPECT_TRUE(has(bus, "    AUXRECV 0 3 0.5011872336 0 0 0 0 0 0 -1:U 4177951 -1 ''\n")) << bus;
    EXPECT_TRUE(has(bus, "      VOLPAN 1.000000000 0 1 -1\n")) << bus;
}

TEST(MixerEndToEnd, ASendToNoWrittenTrackGetsABusTrackAfterTheOutputTracks) {
    using namespace walk_blocks;
    const std::string walk =
        region_list({audio_region("Kick", 0, 88200, 0, 0)}) +
        track_list({track_entry("Drums", {0})}) +
        placement_tracks({placement_track("Drums", {audio_playlist({placement(0, 0)})})});
    const std::string drums =
        track_block(0x261b, "Drums",
                    lane_block(fader_block(0), output_block(2, "Out 1-2")) +
                        lane_block(fader_block(-60, 0, 0, 0, 0), output_block(3, "Reverb")));
    TempDir dir;
    const std::string session_path = dir.file("Send.ptx");
    test_support::write_file(session_path, encrypted_session({{"Kick.wav", "EVAW"}}, walk + drums));
    const auto r = run_lanwick({session_path, "-o", dir.file("Send.rpp"), "--no-pause"});
    ASSERT_EQ(r.exit_code, 0) << r.out;
    EXPECT_FALSE(has(r.out, "send(s) lead to no track")) << r.out;
    const std::string project = read_file(dir.file("Send.rpp"));
    const rpp_grammar::Result grammar = rpp_grammar::check_project(project);
    EXPECT_TRUE(grammar.ok) << "line " << grammar.line << ": " << grammar.message;
    // The bus follows the output track, takes the send as a receive from track 0 and feeds the
    // master (it keys no sidechain).
    const std::size_t drums_at = project.find("    NAME \"Drums\"\n");
    const std::size_t bus =
        project.find("  <TRACK " + guid_from_seed(50001) + "\n    NAME \"Reverb\"\n");
    ASSERT_NE(bus, std::string::npos) << project;
    EXPECT_LT(drums_at, bus);
    const std::string reverb = track_text(project, "Reverb");
    EXPECT_TRUE(has(reverb, "    TRACKID " + guid_from_seed(60001) + "\n    MAINSEND 1 0\n"))
        << reverb;
    EXPECT_TRUE(has(reverb, "    AUXRECV 0 ")) << reverb;
    EXPECT_TRUE(has(reverb, "    VOLPAN 1.000000 0 -1 -1 1\n    MUTESOLO 0 0 0\n")) << reverb;
}

// A mono track inverted by the Avid Trim in its track block arrives inverted.
TEST(MixerEndToEnd, AMonoTrackInvertedByItsTrimArrivesInverted) {
    using namespace walk_blocks;
    const std::string walk =
        region_list({audio_region("Kick", 0, 88200, 0, 0)}) +
        track_list({track_entry("Drums", {0})}) +
        placement_tracks({placement_track("Drums", {audio_playlist({placement(0, 0)})})});
    const std::string trim = test_plugins::trim_block({{1093684240, true}});
    const std::string drums = track_block(
        0x261b, "Drums",
        lane_block(fader_block(0), output_block(2, "Out 1-2") +
                                       mono_lists(list_block(0), list_block(0), list_block(0))) +
            trim + test_plugins::byte(1) + test_blocks::zeros(3));  // 1 after the slot: active
    TempDir dir;
    const std::string session_path = dir.file("Trim.ptx");
    test_support::write_file(session_path, encrypted_session({{"Kick.wav", "EVAW"}}, walk + drums));
    const auto r = run_lanwick({session_path, "-o", dir.file("Trim.rpp"), "--no-pause"});
    ASSERT_EQ(r.exit_code, 0) << r.out;
    const std::string track = track_text(read_file(dir.file("Trim.rpp")), "Drums");
    EXPECT_TRUE(has(track, "    IPHASE 1\n")) << track;
}

// One conversion of a session built here: its console and project text.
struct Converted {
    int exit_code = -1;
    std::string out;
    std::string project;
};

Converted convert(const std::string& blocks, const std::vector<std::string>& options = {},
                  const std::string& env = {}) {
    TempDir dir;
    const std::string session_path = dir.file("Joint.ptx");
    test_support::write_file(session_path, encrypted_session({{"Kick.wav", "EVAW"}}, blocks));
    std::vector<std::string> args = {session_path, "-o", dir.file("Joint.rpp"), "--no-pause"};
    args.insert(args.end(), options.begin(), options.end());
    test_support::RunSetup setup;
    setup.env = env;
    const auto r = run_lanwick(args, setup);
    Converted c{r.exit_code, r.out, read_file(dir.file("Joint.rpp"))};
    const rpp_grammar::Result grammar = rpp_grammar::check_project(c.project);
    EXPECT_TRUE(grammar.ok) << "line " << grammar.line << ": " << grammar.message;
    return c;
}

int count_of(const std::string& text, const std::string& part) {
    int n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

// A plain mono lane whose output is the main pair, after `rest` (sends' lanes).
std::string mono_track(const std::string& name, const std::string& rest = {}) {
    return track_block(
        0x261b, name,
        lane_block(fader_block(0), output_block(2, "Out 1-2") +
                                       mono_lists(list_block(0), list_block(0), list_block(0))) +
            rest);
}

std::string send_to(const std::string& bus) {
    return lane_block(fader_block(-60, 0, 0, 0, 0), output_block(3, bus));
}

// Hidden tracks (named through PTX_DEBUG_HIDE) under --skip-hidden-tracks: Vox sends to the
// hidden Verb by the send's own name (no input names it), so Verb stays, with its stacked take on
// its " [alt takes]" track, and takes the send itself rather than an empty bus of its name; the
// hidden Gtr goes with its own " [alt takes]" track, listed once, and its clips are named as left
// out, so the clip balance holds.
TEST(MixerEndToEnd, HiddenTracksGoWithTheirTakesAndStayWhenASendReachesThem) {
    using namespace walk_blocks;
    const std::string walk =
        region_list({audio_region("Vox", 0, 88200, 0, 0), audio_region("Verb A", 0, 88200, 0, 0),
                     audio_region("Verb B", 0, 44100, 0, 0), audio_region("Gtr A", 0, 88200, 0, 0),
                     audio_region("Gtr B", 0, 44100, 0, 0)}) +
        track_list({track_entry("Vox", {0}), track_entry("Verb", {1}), track_entry("Gtr", {2})}) +
        placement_tracks(
            {placement_track("Vox", {audio_playlist({placement(0, 0)})}),
             placement_track("Verb", {audio_playlist({placement(1, 0), placement(2, 0)})}),
             placement_track("Gtr", {audio_playlist({placement(3, 0), placement(4, 0)})})});
    const std::string mixer =
        mono_track("Vox", send_to("Verb")) + mono_track("Verb") + mono_track("Gtr");
    const Converted c = convert(walk + mixer, {"--skip-hidden-tracks", "--recover-deleted"},
                                "PTX_DEBUG_HIDE=Verb,Gtr");
    ASSERT_EQ(c.exit_code, 0) << c.out;

    EXPECT_EQ(count_of(c.project, "    NAME \"Verb\"\n"), 1) << c.project;
    EXPECT_TRUE(has(track_text(c.project, "Verb"), "    AUXRECV 0 ")) << c.project;
    EXPECT_TRUE(has(c.project, "    NAME \"Verb [alt takes]\"\n")) << c.project;
    EXPECT_FALSE(has(c.project, "Gtr")) << c.project;
    EXPECT_TRUE(has(c.out, "  1 hidden track(s) left out (--skip-hidden-tracks): \"Gtr\"\n"))
        << c.out;
    EXPECT_TRUE(has(c.out,
                    "  1 hidden or inactive track(s) KEPT, because a written track needs them: "
                    "\"Verb (Vox needs it)\"\n"))
        << c.out;
    EXPECT_TRUE(has(c.out, "  1 deleted clip placement(s) RECOVERED")) << c.out;
    EXPECT_FALSE(has(c.out, "a fault of this build")) << c.out;
}

// The real session with one track hidden through PTX_DEBUG_HIDE: its clip is named with it.
TEST(MixerEndToEnd, ARealSessionsHiddenTrackTakesItsClipWithIt) {
    REQUIRE_SESSION(session, "TestPTX.ptx");
    TempDir dir;
    test_support::RunSetup setup;
    setup.env = "PTX_DEBUG_HIDE=monoTone";
    const auto r = run_lanwick(
        {session, "-o", dir.file("T.rpp"), "--no-pause", "--skip-hidden-tracks"}, setup);
    ASSERT_EQ(r.exit_code, 0) << r.out;
    EXPECT_TRUE(has(r.out, "  1 hidden track(s) left out (--skip-hidden-tracks): \"monoTone\"\n"))
        << r.out;
    EXPECT_FALSE(has(r.out, "a fault of this build")) << r.out;
    EXPECT_FALSE(has(read_file(dir.file("T.rpp")), "NAME \"monoTone\"\n"));
}

// Sends into a written track and into a bus no track carries count both as return tracks; the
// stored group lists its member strips by name; a mono strip pans as REAPER's mono balance, also
// on a track written empty, and a stereo one as its dual pan.
TEST(MixerEndToEnd, SendsCountTheirReturnTracksGroupsNameTheirStripsMonoTracksPanMono) {
    StoredGroup group;
    group.name = "Rhythm";
    group.members = {0, 2};
    // A live group is stored twice.
    const std::string groups = mix_group_block(group) + mix_group_block(group);
    const Converted c = convert(mixer_session() + groups);
    ASSERT_EQ(c.exit_code, 0) << c.out;
    EXPECT_TRUE(has(c.out, "  1 sends into 1 return tracks\n")) << c.out;
    EXPECT_TRUE(has(c.out, "      \"Rhythm\"  ->  Drums, Piano\n")) << c.out;
    EXPECT_FALSE(has(c.out, "<out of range>")) << c.out;
    EXPECT_TRUE(has(track_text(c.project, "Drums"), "    PANMODE 3\n")) << c.project;
    EXPECT_TRUE(has(track_text(c.project, "Piano"), "    PANMODE 6\n")) << c.project;

    // Two more sends, one of them into a bus no track carries.
    using namespace walk_blocks;
    const std::string walk =
        region_list({audio_region("Kick", 0, 88200, 0, 0), audio_region("Vox", 0, 88200, 0, 0)}) +
        track_list({track_entry("Drums", {0}), track_entry("Voice", {1})}) +
        placement_tracks({placement_track("Drums", {audio_playlist({placement(0, 0)})}),
                          placement_track("Voice", {audio_playlist({placement(1, 0)})})});
    const Converted buses =
        convert(walk + mono_track("Drums", send_to("Voice") + send_to("Reverb")) +
                mono_track("Voice", send_to("Reverb")) + mono_track("Empty"));
    ASSERT_EQ(buses.exit_code, 0) << buses.out;
    EXPECT_TRUE(has(buses.out, "  3 sends into 2 return tracks\n")) << buses.out;
    EXPECT_TRUE(has(track_text(buses.project, "Empty"), "    PANMODE 3\n")) << buses.project;
}

// A fade placement of the walk is left out, unless --keep-fade-clips keeps it as the clip it
// reads as; either way every clip read is accounted for. --keep-frozen says it can do nothing.
TEST(MixerEndToEnd, KeepFadeClipsKeepsTheFadePlacementsAndKeepFrozenSaysItCannot) {
    using namespace walk_blocks;
    const std::string walk =
        region_list({audio_region("Kick", 0, 44100, 0, 0), audio_region("Fade", 0, 22050, 0, 0)}) +
        track_list({track_entry("Drums", {0})}) +
        placement_tracks({placement_track(
            "Drums", {audio_playlist({placement(0, 0), placement(1, 88200, kSamples, kFade)})})});
    const std::string blocks = walk + mono_track("Drums");
    const Converted plain = convert(blocks);
    const Converted kept = convert(blocks, {"--keep-fade-clips", "--keep-frozen"});
    ASSERT_EQ(plain.exit_code, 0) << plain.out;
    ASSERT_EQ(kept.exit_code, 0) << kept.out;
    EXPECT_EQ(count_of(plain.project, "    <ITEM\n"), 1) << plain.project;
    EXPECT_EQ(count_of(kept.project, "    <ITEM\n"), 2) << kept.project;
    EXPECT_TRUE(has(kept.project, "      POSITION 2.0000000000\n")) << kept.project;
    for (const Converted* c : {&plain, &kept}) EXPECT_FALSE(has(c->out, "a fault of this build"));
    const std::string frozen =
        "  --keep-frozen: no freeze render is read, so frozen tracks arrive unfrozen\n";
    EXPECT_TRUE(has(kept.out, frozen)) << kept.out;
    EXPECT_FALSE(has(plain.out, frozen)) << plain.out;
    // The clip the option adds is said, once.
    const std::string kept_line = "  1 fade reference(s) kept as items (--keep-fade-clips)\n";
    EXPECT_EQ(count_of(kept.out, kept_line), 1) << kept.out;
    EXPECT_FALSE(has(plain.out, "kept as items")) << plain.out;
}

// Every track block holds one MUTESOLO line: the recovered takes of "[alt takes]" arrive muted
// through it, and the parent keeps its own.
TEST(MixerEndToEnd, EachTrackHasOneMuteSoloLine) {
    using namespace walk_blocks;
    const std::string walk = region_list({audio_region("Take A", 0, 88200, 0, 0),
                                          audio_region("Take B", 0, 44100, 0, 0)}) +
                             track_list({track_entry("Gtr", {0})}) +
                             placement_tracks({placement_track(
                                 "Gtr", {audio_playlist({placement(0, 0), placement(1, 0)})})});
    const Converted c = convert(walk + mono_track("Gtr"), {"--recover-deleted"});
    ASSERT_EQ(c.exit_code, 0) << c.out;
    const std::string alt = track_text(c.project, "Gtr [alt takes]");
    ASSERT_FALSE(alt.empty()) << c.project;
    EXPECT_EQ(count_of(alt, "    MUTESOLO "), 1) << alt;
    EXPECT_TRUE(has(alt, "    MUTESOLO 1 0 0\n")) << alt;
    const std::string gtr = track_text(c.project, "Gtr");
    EXPECT_EQ(count_of(gtr, "    MUTESOLO "), 1) << gtr;
    EXPECT_TRUE(has(gtr, "    MUTESOLO 0 0 0\n")) << gtr;
    EXPECT_EQ(count_of(c.project, "    MUTESOLO "), count_of(c.project, "  <TRACK ")) << c.project;
}

// The session's own tracks named as the program names the alternates it writes: each is the
// track it is, unmuted with its clips, and the sends of "Vox [alt takes]" leave it.
TEST(MixerEndToEnd, ATrackNamedLikeAnAlternateIsWrittenAsTheTrackItIs) {
    using namespace walk_blocks;
    const std::string walk =
        region_list({audio_region("Take", 0, 88200, 0, 0), audio_region("Riff", 0, 88200, 0, 0),
                     audio_region("Hall", 0, 88200, 0, 0)}) +
        track_list({track_entry("Vox [alt takes]", {0}), track_entry("Gtr [alt playlist]", {1}),
                    track_entry("Verb", {2})}) +
        placement_tracks(
            {placement_track("Vox [alt takes]", {audio_playlist({placement(0, 0)})}),
             placement_track("Gtr [alt playlist]", {audio_playlist({placement(1, 0)})}),
             placement_track("Verb", {audio_playlist({placement(2, 0)})})});
    const std::string mixer = mono_track("Vox [alt takes]", send_to("Verb")) +
                              mono_track("Gtr [alt playlist]") + mono_track("Verb");
    const Converted c = convert(walk + mixer);
    ASSERT_EQ(c.exit_code, 0) << c.out;
    for (const std::string name : {"Vox [alt takes]", "Gtr [alt playlist]"}) {
        const std::string track = track_text(c.project, name);
        ASSERT_FALSE(track.empty()) << c.project;
        EXPECT_TRUE(has(track, "    MUTESOLO 0 0 0\n")) << track;
        EXPECT_TRUE(has(track, "      MUTE 0 ")) << track;
        EXPECT_FALSE(has(track, "      MUTE 1 ")) << track;
    }
    EXPECT_TRUE(has(track_text(c.project, "Verb"), "    AUXRECV 0 ")) << c.project;
    EXPECT_TRUE(has(c.out, "  1 sends into 1 return tracks\n")) << c.out;
}

// A clip list of 20,001 entries puts the track list more than 400,000 bytes into the session. Its
// one track is still the track of its own name, unmuted on its one MUTESOLO line, and no
// playlist is taken for an alternate one.
TEST(MixerEndToEnd, ATrackListPastALongClipListKeepsItsTrack) {
    mix_session::MixShape shape;
    shape.tracks = 1;
    shape.clips_per_track = 20001;
    shape.automation_points = 2;
    shape.tempo_entries = 1;
    shape.locations = 0;
    TempDir dir;
    const std::string session = dir.file("Long.ptx");
    test_support::write_file(session, mix_session::encrypted_session(shape));
    const auto run = run_lanwick({session, "-o", dir.file("Long.rpp"), "--no-pause"});
    ASSERT_EQ(run.exit_code, 0) << run.out << run.err;
    const std::string project = read_file(dir.file("Long.rpp"));
    EXPECT_EQ(count_of(project, "  <TRACK "), 1);
    const std::string track = track_text(project, "Track 1");
    ASSERT_FALSE(track.empty()) << run.out;
    EXPECT_EQ(count_of(track, "    MUTESOLO "), 1);
    EXPECT_TRUE(has(track, "    MUTESOLO 0 0 0\n"));
    EXPECT_EQ(count_of(track, "<ITEM"), 20001);
    EXPECT_FALSE(has(run.out, "alternate playlist")) << run.out;
}

}  // namespace
