// The track wiring on whole synthetic sessions: outputs into other tracks, tracks without an
// output, surround panners, sidechain keys and the send-return bus tracks as the program writes
// them; and the real sessions, which hold none of these, unchanged.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "convert/tracks/track_wiring.h"
#include "convert/tracks/track_wiring_state.h"
#include "convert/writer/colors.h"
#include "effects/fx_blocks.h"
#include "platform/ptformat.h"
#include "session/lane_groups.h"
#include "session/lane_records.h"
#include "session/track_names.h"
#include "tests/console_lines.h"
#include "tests/mixer_builder.h"
#include "tests/placement_builder.h"
#include "tests/plugin_blocks.h"
#include "tests/reaper_block_forms.h"
#include "tests/rpp_grammar.h"
#include "tests/test_support.h"
#include "tests/walk_builder.h"
#include "util/guid.h"

namespace {

using namespace mixer_blocks;
using test_blocks::le;
using test_support::read_file;
using test_support::run_lanwick;
using test_support::TempDir;

std::string encrypted_session(const std::string& blocks) {
    using namespace test_blocks;
    const std::vector<FileEntry> files = {{"Kick.wav", "EVAW"}};
    const std::string plain = session_header() + lead_block() + version_block(12) +
                              z_block(0x7777, zeros(5000)) + rate_block(44100) +
                              audio_files_block(1, files, {441000}) + blocks;
    std::vector<std::uint8_t> bytes(plain.begin(), plain.end());
    EXPECT_TRUE(ptf_xor_crypt(bytes));
    return std::string(bytes.begin(), bytes.end());
}

std::string lists() {
    return mono_lists(list_block(0), list_block(0), list_block(0));
}

// One clip per track, so that every track is written.
std::string walk(const std::vector<std::string>& names) {
    using namespace walk_blocks;
    std::vector<std::string> regions, entries, tracks;
    for (std::size_t i = 0; i < names.size(); ++i) {
        regions.push_back(audio_region(names[i], 0, 88200, 0, 0));
        entries.push_back(track_entry(names[i], {static_cast<std::uint16_t>(i)}));
        tracks.push_back(placement_track(
            names[i], {audio_playlist({placement(static_cast<std::uint16_t>(i), 0)})}));
    }
    return region_list(regions) + track_list(entries) + placement_tracks(tracks);
}

std::string track_text(const std::string& project, const std::string& name) {
    const std::size_t at = project.find("    NAME \"" + name + "\"\n");
    if (at == std::string::npos) return {};
    const std::size_t end = project.find("\n  >\n", at);
    return project.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

struct Converted {
    std::string out, err, project;
};

Converted convert(const std::string& blocks, const std::vector<std::string>& options = {}) {
    TempDir dir;
    const std::string path = dir.file("Wired.ptx");
    test_support::write_file(path, encrypted_session(blocks));
    test_support::RunSetup setup;
    setup.env = "PTX_DEBUG_SURR=1";
    std::vector<std::string> args = {path, "-o", dir.file("Wired.rpp"), "--no-pause"};
    args.insert(args.end(), options.begin(), options.end());
    const auto r = run_lanwick(args, setup);
    EXPECT_EQ(r.exit_code, 0) << r.out;
    return {r.out, r.err, read_file(dir.file("Wired.rpp"))};
}

// A plug-in followed by the 0x260e block of its key input.
std::string keyed(std::uint16_t key, const std::string& source) {
    return test_plugins::trim_block({{1093684240, false}}) + test_plugins::byte(1) + zeros(3) +
           output_block(key, source);
}

TEST(TrackWiringEndToEnd, OutputsIntoTracksAndTracksWithoutOutput) {
    // Gtr's output is "Bus 1", the input of Amp; Hum's own lane names no output.
    const std::string blocks =
        walk({"Gtr", "Amp", "Hum"}) + channel_entry_block(2, "Bus 1", {3, 4}, 7, 8) +
        track_block(0x261b, "Gtr", lane_block(fader_block(0), output_block(2, "Bus 1") + lists())) +
        track_block(0x261b, "Amp",
                    channel_tag_text("Bus 1", 7, 8, 2) +
                        lane_block(fader_block(0), output_block(2, "Out 1-2") + lists())) +
        track_block(0x261b, "Hum", lane_block(fader_block(0), lists()));
    const Converted c = convert(blocks);
    const std::string gtr = track_text(c.project, "Gtr");
    const std::string amp = track_text(c.project, "Amp");
    const std::string hum = track_text(c.project, "Hum");
    EXPECT_TRUE(has(gtr, "    MAINSEND 0 0\n")) << gtr;
    EXPECT_TRUE(has(amp, "    MAINSEND 1 0\n    AUXRECV 0 0 1 0 0 0 0 0 0 -1:U 4177951 -1 ''\n"))
        << amp;
    EXPECT_TRUE(has(hum, "    MAINSEND 0 0\n")) << hum;
    EXPECT_TRUE(has(c.out, "\n  1 track output(s) routed into the aux that takes their bus\n"))
        << c.out;
}

TEST(TrackWiringEndToEnd, AFurtherOutputPairReachesItsAux) {
    // Synth's outputs 5 and 6 (the kind-6 entry's first channel 3) go to the aux "Aux"; Synth's
    // block carries the entry's ids, Aux's block names the entry as its channel. A damaged first
    // channel that would make Synth wider than REAPER's 128 channels is left out.
    auto session = [](std::uint16_t first_channel) {
        const std::string ids = "*" + zeros(3) + u32le(20) + u32le(21) + zeros(4);
        return walk({"Synth", "Aux"}) +
               channel_entry_block(6, "Synth 5-6", {first_channel}, 20, 21) +
               track_block(0x261b, "Synth",
                           ids + lane_block(fader_block(0), output_block(2, "Out 1-2") + lists())) +
               track_block(0x261b, "Aux",
                           channel_tag_text("Synth 5-6", 20, 21, 6) +
                               lane_block(fader_block(0), output_block(2, "Out 1-2") + lists()));
    };
    const Converted c = convert(session(3));
    const std::string synth = track_text(c.project, "Synth");
    const std::string aux = track_text(c.project, "Aux");
    EXPECT_TRUE(has(synth, "    NCHAN 6\n")) << synth;
    EXPECT_TRUE(has(aux, "    AUXRECV 0 0 1 0 0 0 0 4 0 -1:U 4177951 -1 ''\n")) << aux;

    const Converted damaged = convert(session(301));
    EXPECT_TRUE(has(track_text(damaged.project, "Synth"), "    NCHAN 2\n"));
    EXPECT_FALSE(has(track_text(damaged.project, "Aux"), "AUXRECV"));
    EXPECT_TRUE(has(damaged.out,
                    "  1 output route(s) or sidechain key(s) left out: the track would pass\n"
                    "      REAPER's 128 channels\n      Synth (output Synth 5-6)\n"))
        << damaged.out;
}

TEST(TrackWiringEndToEnd, KeyedPlugInsTakeTheirKeysOnFurtherChannels) {
    // Comp holds three plug-ins, each followed by the 0x260e block of its key input: two keyed
    // from Kick, the third from Snare.
    const std::string blocks =
        walk({"Kick", "Snare", "Comp"}) + channel_entry_block(2, "Kick", {0, 1}, 1, 2) +
        channel_entry_block(2, "Snare", {2, 3}, 3, 4) +
        track_block(0x261b, "Kick",
                    channel_tag_text("Kick", 1, 2, 2) +
                        lane_block(fader_block(0), output_block(2, "Out 1-2") + lists())) +
        track_block(0x261b, "Snare",
                    channel_tag_text("Snare", 3, 4, 2) +
                        lane_block(fader_block(0), output_block(2, "Out 1-2") + lists())) +
        track_block(0x261b, "Comp",
                    lane_block(fader_block(0), output_block(2, "Out 1-2") + lists()) +
                        keyed(5, "Kick") + keyed(5, "Kick") + keyed(6, "Snare"));
    const Converted c = convert(blocks);
    const std::string comp = track_text(c.project, "Comp");
    EXPECT_TRUE(has(comp, "    NCHAN 6\n")) << comp;
    EXPECT_TRUE(has(comp,
                    "    MAINSEND 1 0\n    MAINSEND_NCH 2\n"
                    "    AUXRECV 0 1 1 0 0 0 0 0 2 -1:U 4177951 -1 ''\n"
                    "    AUXRECV 1 1 1 0 0 0 0 0 4 -1:U 4177951 -1 ''\n"))
        << comp;

    TempDir dir;
    const std::string path = dir.file("Keys.ptx");
    test_support::write_file(path, encrypted_session(blocks));
    const auto r = run_lanwick({path, "-o", dir.file("Keys.rpp"), "--no-pause", "--no-sidechain"});
    ASSERT_EQ(r.exit_code, 0) << r.out;
    const std::string plain = track_text(read_file(dir.file("Keys.rpp")), "Comp");
    EXPECT_TRUE(has(plain, "    NCHAN 2\n")) << plain;
    EXPECT_FALSE(has(plain, "AUXRECV")) << plain;
}

TEST(TrackWiringEndToEnd, ABusThatKeysASidechainIsNotSummedAndKeepsItsNumber) {
    // Kick sends -6 dB pre-fader to the bus "Key", which no track carries; Comp's Trim is keyed
    // from "Key". With a video track, written between the tracks and the buses, the bus is track
    // 3 rather than 2.
    auto session = [](bool video) {
        return walk({"Kick", "Comp"}) + channel_entry_block(2, "Key", {4, 5}, 9, 10) +
               track_block(0x261b, "Kick",
                           lane_block(fader_block(0), output_block(2, "Out 1-2") + lists()) +
                               lane_block(fader_block(-60, 0, 0, 0, 0), output_block(3, "Key"))) +
               track_block(0x261b, "Comp",
                           lane_block(fader_block(0), output_block(2, "Out 1-2") + lists()) +
                               keyed(5, "Key")) +
               (video ? track_block(0x2623, "Picture") : std::string());
    };
    for (const bool video : {false, true}) {
        SCOPED_TRACE(video ? "with a video track" : "no video track");
        const Converted c = convert(session(video));
        const std::string key = track_text(c.project, "Key");
        EXPECT_TRUE(has(key, "    MAINSEND 0 0\n")) << key;
        EXPECT_TRUE(has(key, "    AUXRECV 0 3 0.5011872336 ")) << key;
        const std::string comp = track_text(c.project, "Comp");
        const std::string receive = video ? "    AUXRECV 3 1 1 0 0 0 0 0 2 -1:U 4177951 -1 ''\n"
                                          : "    AUXRECV 2 1 1 0 0 0 0 0 2 -1:U 4177951 -1 ''\n";
        EXPECT_TRUE(has(comp, receive)) << comp;
        EXPECT_EQ(has(c.project, "    NAME \"Picture\"\n"), video);
        // The bus follows the video track.
        if (video) {
            EXPECT_LT(c.project.find("NAME \"Picture\""), c.project.find("NAME \"Key\""));
        }
        const rpp_grammar::Result parsed = rpp_grammar::check_project(c.project);
        EXPECT_TRUE(parsed.ok) << parsed.line << ": " << parsed.message;
    }
    // Under --no-sidechain nothing is keyed, and the bus, which in Pro Tools fed only the key,
    // still stays out of the master.
    const Converted plain = convert(session(false), {"--no-sidechain"});
    EXPECT_TRUE(has(track_text(plain.project, "Key"), "    MAINSEND 0 0\n"));
    EXPECT_FALSE(has(track_text(plain.project, "Comp"), "AUXRECV")) << plain.project;
}

TEST(TrackWiringEndToEnd, ABusTrackShowsItsChainColourGroupsAndViewState) {
    // Kick sends to "Click", a track of its own that --no-click leaves out: the send's
    // destination becomes a bus track, which shows the Click's stored look as an ordinary track
    // would (palette index 30, hidden in the mixer, 120 pixels high, in the mix group "Mix") and
    // carries its chain.
    test_plugins::PluginBlock click;
    click.id = "DigiclikClk2";
    StoredGroup mix;  // stored twice, as a live group is
    mix.name = "Mix";
    mix.members = {1};
    const std::string blocks =
        walk({"Kick"}) +
        track_block(0x261b, "Kick",
                    lane_block(fader_block(0), output_block(2, "Out 1-2") + lists()) +
                        lane_block(fader_block(-60, 0, 0, 0, 0), output_block(3, "Click"))) +
        track_block(0x261b, "Click",
                    lane_block(fader_block(-120), output_block(2, "Out 1-2") + lists()) +
                        test_plugins::plugin_block(click) + test_plugins::byte(1) + zeros(3)) +
        strip_block(0xFFFE) + strip_block(30, 0, 120) + mix_group_block(mix) + mix_group_block(mix);
    const Converted c = convert(blocks, {"--no-click"});
    const std::size_t at = c.project.find("  <TRACK " + guid_from_seed(50001) + "\n");
    ASSERT_NE(at, std::string::npos) << c.project;
    const std::string bus = c.project.substr(at);
    EXPECT_TRUE(bus.starts_with("  <TRACK " + guid_from_seed(50001) + "\n    NAME \"Click\"\n" +
                                "    PEAKCOL " + std::to_string(palette_color(30)) + "\n"))
        << bus;
    EXPECT_TRUE(has(bus,
                    "    ISBUS 0 0\n    SHOWINMIX 0 0.6667 0.5 0 0.5 0 0 0\n"
                    "    GROUP_FLAGS 1 1\n    FREEMODE 0\n    TRACKHEIGHT 120 0 0 0 0 0 0\n"))
        << bus;
    EXPECT_TRUE(has(bus, "    MAINSEND 1 0\n    <FXCHAIN\n")) << bus;
    EXPECT_TRUE(has(bus, "PRESETNAME \"** Pro Tools only - no VST exists - replace me here\"\n"))
        << bus;
    EXPECT_TRUE(has(bus, "    AUXRECV 0 3 0.5011872336 ")) << bus;
    const rpp_grammar::Result parsed = rpp_grammar::check_project(c.project);
    EXPECT_TRUE(parsed.ok) << parsed.line << ": " << parsed.message;
}

// A track block whose mix state (solo, automation mode Read, trim) follows its name, then its lane
// with its fader block: muted or not.
std::string soloable_track(const std::string& name, char solo, std::uint32_t muted) {
    return z_block(0x261b,
                   z_block(0x102d, name_block(name) + std::string{solo, 1, 0} + zeros(4)) +
                       lane_block(fader_block(0, muted), output_block(2, "Out 1-2") + lists()));
}

TEST(TrackWiringEndToEnd, ASoloedMutedTrackIsNotSaidToArriveSoloed) {
    // Vox is soloed and muted, Gtr soloed: Vox is written muted with its solo off, Gtr soloed,
    // and only Gtr is named as arriving soloed.
    const std::string both = walk({"Vox", "Gtr"}) + soloable_track("Vox", 1, 1) +
                             soloable_track("Gtr", 1, 0) + strip_block(0xFFFE) +
                             strip_block(0xFFFE);
    const Converted c = convert(both);
    EXPECT_TRUE(has(track_text(c.project, "Vox"), "    MUTESOLO 1 0 0\n")) << c.project;
    EXPECT_TRUE(has(track_text(c.project, "Gtr"), "    MUTESOLO 0 2 0\n")) << c.project;
    EXPECT_TRUE(has(c.out, "  1 track(s) are SOLOED in the session and arrive soloed: \"Gtr\"\n"))
        << c.out;
    EXPECT_TRUE(has(c.out,
                    "  1 track(s) were soloed AND muted in Pro Tools, which keeps them "
                    "silent.\n      They arrive muted with their solo off"))
        << c.out;
    EXPECT_FALSE(has(c.out, "Every soloed track was muted")) << c.out;

    // Vox alone: no track arrives soloed; the helper that keeps the rest silent is named on lines
    // of their own.
    const Converted alone =
        convert(walk({"Vox", "Gtr"}) + soloable_track("Vox", 1, 1) + soloable_track("Gtr", 0, 0) +
                strip_block(0xFFFE) + strip_block(0xFFFE));
    EXPECT_FALSE(has(alone.out, "arrive soloed")) << alone.out;
    EXPECT_TRUE(
        has(alone.out,
            "      Every soloed track was muted, so the track\n"
            "      \"Pro Tools solo (the soloed tracks were muted)\" was added, soloed and\n"
            "      empty, to keep the rest silent.\n"))
        << alone.out;
    EXPECT_TRUE(has(alone.project, "    MUTESOLO 0 2 0\n")) << alone.project;
    test_console::expect_own_lines_fit(c.out);
}

// The session's click switched on: the click flag at +29 of a 31-byte 0x2055 block.
std::string click_on_block() {
    std::string content = zeros(29);
    content[20] = 1;
    return z_block(0x2055, content);
}

TEST(TrackWiringEndToEnd, AClickTrackThatTakesASendIsABusWithItsOwnArmedAutomation) {
    // "Click" holds no clips, only Click II and a volume lane with two points; Kick, without
    // automation, sends to it and is written right before it. Under --no-click the Click is kept
    // as the bus that takes the send, in Read with its own envelope armed: the arm state is the
    // bus's own, not the one Kick's lines left.
    test_plugins::PluginBlock click;
    click.id = "DigiclikClk2";
    const std::string blocks =
        walk({"Kick"}) +
        track_block(0x261b, "Kick",
                    lane_block(fader_block(0), output_block(2, "Out 1-2") + lists()) +
                        lane_block(fader_block(-60, 0, 0, 0, 0), output_block(3, "Click"))) +
        track_block(
            0x261b, "Click",
            lane_block(fader_block(-120), output_block(2, "Out 1-2") +
                                              mono_lists(list_block(0, {{0, -40}, {44100, 0}}),
                                                         list_block(0), list_block(0))) +
                test_plugins::plugin_block(click) + test_plugins::byte(1) + zeros(3)) +
        click_on_block();
    const Converted c = convert(blocks, {"--no-click"});
    const std::string kick = track_text(c.project, "Kick");
    const std::string bus = track_text(c.project, "Click");
    ASSERT_FALSE(bus.empty()) << c.project;
    EXPECT_TRUE(has(kick, "    AUTOMODE 0\n")) << kick;
    EXPECT_FALSE(has(kick, "ENV")) << kick;
    EXPECT_TRUE(has(bus, "    AUTOMODE 1\n")) << bus;
    EXPECT_TRUE(has(bus,
                    "    <VOLENV2\n      ACT 1 -1\n      VIS 1 1 1\n      LANEHEIGHT 0 0\n"
                    "      ARM 1\n"))
        << bus;
    EXPECT_TRUE(has(bus, "    AUXRECV 0 3 ")) << bus;
    // The console says what the project holds: a bus, not a track left out, and no click track
    // playing the click (the bus is no ordinary track).
    EXPECT_FALSE(has(c.out, "left out (--no-click)")) << c.out;
    EXPECT_TRUE(has(c.out,
                    "\n  \"Click\" is a Click track, but other tracks send to it, so --no-click\n"
                    "      keeps it: it is written as a bus track that takes those sends, with\n"
                    "      its own fader, plug-ins and automation.\n"))
        << c.out;
    EXPECT_FALSE(has(c.out, "Pro Tools' click is on")) << c.out;
    test_console::expect_own_lines_fit(c.out);

    // Without --no-click, the Click is an ordinary track and plays the click in Pro Tools; its
    // Click II cannot load in REAPER, so nothing clicks, and the console says so.
    const Converted kept = convert(blocks);
    const std::string track = track_text(kept.project, "Click");
    EXPECT_TRUE(has(track, "PRESETNAME \"** Pro Tools only - no VST exists - replace me here\"\n"))
        << track;
    EXPECT_TRUE(has(track, "      ARM 1\n")) << track;
    EXPECT_TRUE(has(kept.out,
                    "  Pro Tools' click is on and \"Click\" plays it. REAPER's metronome is left "
                    "OFF;\n"
                    "      Click II cannot load in REAPER, so that track holds no click and\n"
                    "      nothing in the project clicks: switch REAPER's metronome on for\n"
                    "      one.\n"))
        << kept.out;
    EXPECT_FALSE(has(kept.out, "REAPER's own would double it")) << kept.out;
}

TEST(TrackWiringEndToEnd, VideoItemsKeepTheirLockAndColourAndTheTrackItsViewState) {
    // The video track "Picture" plays "Reel.mov" twice: a locked placement of clip colour 5 at
    // frame 48, and a plain one at frame 120. Its strip hides it and makes it 80 pixels high.
    using test_placements::clip_at;
    using test_placements::placement_block;
    test_placements::TestPlacement locked = clip_at(0, 48);
    locked.second = 1;
    locked.value = 5;
    auto playlist = [](const test_placements::TestPlacement& p) {
        return z_block(0x1051, zeros(2) + placement_block(p) + zeros(2), 0x02);
    };
    auto entry = [](const std::string& name, std::uint8_t offset, std::uint16_t frames) {
        const std::string values =
            std::string("\x00\x10\x20\x30\x00", 5) + le(offset, 1) + le(frames, 2) + le(0, 3);
        return z_block(0x2628, text(name) + values + zeros(4), 0x02);
    };
    const std::string blocks =
        walk({"Kick"}) +
        track_block(0x261b, "Kick", lane_block(fader_block(0), output_block(2, "Out 1-2"))) +
        track_block(0x2623, "Picture") + strip_block(0xFFFE) + strip_block(0xFFFE, 0, 80) +
        z_block(0x103a, zeros(3) + text("Reel.mov")) +
        z_block(0x1053, text("Picture") + zeros(4) + playlist(locked) + playlist(clip_at(0, 120)),
                0x03) +
        entry("Reel.mov", 24, 48) + entry("Reel.mov-1", 0, 24) +
        z_block(0x7777, zeros(55));  // room after the last entry, itself a block
    const Converted c = convert(blocks, {"--pt-theme", "classic"});
    const std::string picture = track_text(c.project, "Picture");
    EXPECT_TRUE(has(picture,
                    "    ISBUS 0 0\n    SHOWINMIX 0 0.6667 0.5 0 0.5 0 0 0\n"
                    "    FREEMODE 0\n    TRACKHEIGHT 80 0 0 0 0 0 0\n"))
        << picture;
    const std::size_t first = picture.find("    <ITEM\n");
    const std::size_t second = picture.find("    <ITEM\n", first + 1);
    ASSERT_NE(second, std::string::npos) << picture;
    EXPECT_TRUE(has(picture.substr(first, second - first),
                    "      POSITION 2.0000000000\n      SNAPOFFS 0\n      LENGTH 2.0000000000\n"
                    "      LOOP 0\n      ALLTAKES 0\n      FADEIN 1 0 0 1 0 0 0\n"
                    "      FADEOUT 1 0 0 1 0 0 0\n      MUTE 0 0\n      LOCK 1\n"
                    "      NAME \"Reel.mov\"\n      VOLPAN 1 0 1 -1\n      SOFFS 1.0000000000\n"
                    "      COLOR " +
                        std::to_string(0x1DBB1DA) + " R\n      PLAYRATE 1 1 0 -1 0 0.0025\n"))
        << picture;
    const std::string plain = picture.substr(second);
    EXPECT_TRUE(has(plain, "      POSITION 5.0000000000\n")) << plain;
    EXPECT_FALSE(has(plain, "LOCK")) << plain;
    EXPECT_FALSE(has(plain, "COLOR")) << plain;
    EXPECT_TRUE(
        has(c.out, "  1 video track(s), 2 video item(s) written. REAPER carries video on\n"))
        << c.out;
    EXPECT_TRUE(has(c.out, "\n      1 video clip(s) carried a clip color.\n")) << c.out;
    const rpp_grammar::Result parsed = rpp_grammar::check_project(c.project);
    EXPECT_TRUE(parsed.ok) << parsed.line << ": " << parsed.message;
}

// Video placements no item can be written for are named: one no clip entry gives a length, and
// one in a list that names none of the session's video tracks.
TEST(TrackWiringEndToEnd, VideoPlacementsLeftOutAreNamed) {
    using test_placements::clip_at;
    using test_placements::placement_block;
    auto list = [](const std::string& name, const std::vector<std::uint64_t>& frames) {
        std::string playlists;
        for (std::uint64_t at : frames)
            playlists +=
                z_block(0x1051, zeros(2) + placement_block(clip_at(0, at)) + zeros(2), 0x02);
        return z_block(0x1053, text(name) + zeros(4) + playlists, 0x03);
    };
    auto entry = [](const std::string& name, std::uint16_t frames) {
        const std::string values =
            std::string("\x00\x10\x20\x30\x00", 5) + le(0, 1) + le(frames, 2) + le(0, 3);
        return z_block(0x2628, text(name) + values + zeros(4), 0x02);
    };
    struct Case {
        const char* what;
        std::string video;
        const char* items;
        const char* warning;
    } cases[] = {
        {"a placement past the clip entries",
         track_block(0x2623, "Picture") + z_block(0x103a, zeros(3) + text("Reel.mov")) +
             list("Picture", {48, 120, 200}) + entry("Reel.mov", 48) + entry("Reel.mov-1", 24),
         "  1 video track(s), 2 video item(s) written.",
         "\n      WARNING: 1 video placement(s) have no clip entry that gives their\n"
         "      length, so NO item was written for them: place that video by hand.\n"},
        {"a list no video track is named by",
         track_block(0x2623, "Picture") + track_block(0x2623, "Wide") +
             z_block(0x103a, zeros(3) + text("Reel.mov")) +
             z_block(0x103a, zeros(3) + text("Wide.mov")) + list("Picture", {48}) +
             list("Gone", {120}) + entry("Reel.mov", 48) + entry("Wide.mov", 48),
         "  2 video track(s), 1 video item(s) written.",
         "\n      WARNING: 1 video placement(s) sit in a list that names none of the\n"
         "      session's video tracks, so NO item was written for them.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string blocks =
            walk({"Kick"}) +
            track_block(0x261b, "Kick", lane_block(fader_block(0), output_block(2, "Out 1-2"))) +
            c.video + z_block(0x7777, zeros(55));  // room after the last entry, itself a block
        const Converted conv = convert(blocks);
        EXPECT_TRUE(has(conv.out, c.items)) << conv.out;
        EXPECT_TRUE(has(conv.out, c.warning)) << conv.out;
    }
}

TEST(TrackWiringEndToEnd, AFolderHoldsItsMembersAltTakesTrack) {
    // The folder row "Band" holds the row "Gtr", whose two clips start together: the shorter
    // one, a deleted placement, is recovered onto "Gtr [alt takes]", which stays in the folder
    // and closes it.
    using namespace walk_blocks;
    const std::string blocks =
        region_list(
            {audio_region("Take A", 0, 88200, 0, 0), audio_region("Take B", 0, 44100, 0, 0)}) +
        track_list({track_entry("Gtr", {0})}) +
        placement_tracks(
            {placement_track("Gtr", {audio_playlist({placement(0, 0), placement(1, 0)})})}) +
        z_block(0x2519, strip_row(11, "Band") + strip_row(0, "Gtr")) +
        track_block(0x261b, "Gtr",
                    lane_block(fader_block(0), output_block(2, "Out 1-2") + lists()));
    const Converted c = convert(blocks, {"--recover-deleted"});
    const std::size_t band = c.project.find("    NAME \"Band\"\n");
    const std::size_t gtr = c.project.find("    NAME \"Gtr\"\n");
    const std::size_t alt = c.project.find("    NAME \"Gtr [alt takes]\"\n");
    ASSERT_NE(alt, std::string::npos) << c.project;
    EXPECT_LT(band, gtr);
    EXPECT_LT(gtr, alt);
    EXPECT_TRUE(has(track_text(c.project, "Band"), "    ISBUS 1 1\n"));
    EXPECT_TRUE(has(track_text(c.project, "Gtr"), "    ISBUS 0 0\n"));
    EXPECT_TRUE(has(track_text(c.project, "Gtr [alt takes]"), "    ISBUS 2 -1\n"))
        << track_text(c.project, "Gtr [alt takes]");
    EXPECT_TRUE(has(c.out, "  1 folder track(s): 1 Routing folder(s) written as REAPER folders"))
        << c.out;
}

// The MIDI track "Keys" (the fourth row of the track order, and of the fourth track kind)
// matches none of the session's track names: five named track blocks against four rows give
// the blocks no row names, and none is named "Keys". It has no session name, so it takes the
// strip row of the track before it, "Gtr", and closes the folder "Band"; the folder "Other"
// is left with no member and is said to be written plain.
TEST(TrackWiringEndToEnd, AnUnmatchedMidiTrackTakesTheRowOfTheTrackBeforeIt) {
    using namespace walk_blocks;
    using test_blocks::kOrigin;
    const std::vector<test_placements::TestPlacement> placed = {
        test_placements::ticks(test_placements::clip_at(0, kOrigin))};
    const std::string blocks =
        walk({"Gtr"}) +
        z_block(0x2000, zeros(4) + midi_chunk({{kOrigin, 60, 240000, 100}}) +
                            z_block(0x2633, midi_region("Keys-01", kOrigin, 960000, 0))) +
        midi_placement_tracks({test_placements::clip_list("Keys", placed, -1, 0x1057, 0x1056)}) +
        z_block(0x2519, strip_row(11, "Band") + strip_row(0, "Gtr") + strip_row(11, "Other") +
                            strip_row(0, "Keys")) +
        track_block(0x261b, "Gtr",
                    lane_block(fader_block(0), output_block(2, "Out 1-2") + lists())) +
        track_kind(0x261f) + track_kind(0x261f) + track_kind(0x2620) + track_kind(0x261d);
    const Converted c = convert(blocks);
    const std::size_t gtr = c.project.find("    NAME \"Gtr\"\n");
    const std::size_t keys = c.project.find("    NAME \"Keys\"\n");
    ASSERT_NE(keys, std::string::npos) << c.out << c.project;
    EXPECT_LT(gtr, keys);
    EXPECT_TRUE(has(track_text(c.project, "Band"), "    ISBUS 1 1\n")) << c.project;
    EXPECT_TRUE(has(track_text(c.project, "Gtr"), "    ISBUS 0 0\n")) << c.project;
    EXPECT_TRUE(has(track_text(c.project, "Keys"), "    ISBUS 2 -1\n")) << c.project;
    EXPECT_TRUE(has(track_text(c.project, "Other"), "    ISBUS 0 0\n")) << c.project;
    EXPECT_TRUE(has(c.out,
                    "      do not follow them in track order; they arrive as plain tracks:\n"
                    "      Other\n"))
        << c.out;
}

TEST(TrackWiringEndToEnd, ATrackIntoASurroundBusGetsItsPanner) {
    // A six-channel "Main" with its legs stored out of channel order.
    auto session = [](const std::string& centre, std::size_t legs = 1) {
        return walk(std::vector<std::string>(legs, "Gtr")) +
               channel_entry_block(2, "Main", {0, 1, 2, 3, 4, 5}, 1, 2) +
               channel_entry_block(2, "Main.L", {0}, 3, 4) +
               channel_entry_block(2, "Main.R", {2}, 5, 6) +
               channel_entry_block(2, "Main." + centre, {1}, 7, 8) +
               channel_entry_block(2, "Main.LFE", {5}, 9, 10) +
               channel_entry_block(2, "Main.Ls", {3}, 11, 12) +
               channel_entry_block(2, "Main.Rs", {4}, 13, 14) +
               track_block(0x261b, "Gtr",
                           lane_block(fader_block(0), output_block(2, "Main") + lists()));
    };
    const Converted placed = convert(session("C"));
    EXPECT_TRUE(has(placed.err, "SURR route Gtr -> Main W 6 legs 6 ok 1 have 1 stereo 0 v "))
        << placed.err;
    EXPECT_TRUE(has(track_text(placed.project, "Gtr"), "    NCHAN 6\n"))
        << track_text(placed.project, "Gtr");
    // Its panner is ReaSurroundPan at the end of the track's chain.
    const std::string gtr = track_text(placed.project, "Gtr");
    EXPECT_TRUE(has(gtr, "    <FXCHAIN\n"));
    EXPECT_TRUE(has(gtr, "      <VST \"VST: ReaSurroundPan (Cockos)\" " +
                             reaper_plugin_file("reasurround2") +
                             " 0 \"\" "
                             "1920168498<56535472737232726561737572726F75> \"\"\n"))
        << gtr;
    const rpp_grammar::Result parsed = rpp_grammar::check_project(placed.project);
    EXPECT_TRUE(parsed.ok) << parsed.line << ": " << parsed.message;
    if (reaper_block_forms::reaper_forms().found) {
        EXPECT_EQ(reaper_block_forms::unlike_reaper(placed.project), std::vector<std::string>());
    }

    const Converted unplaced = convert(session("Cx"));
    EXPECT_TRUE(has(unplaced.err, "SURR route Gtr -> Main W 6 legs 2 ok 0 have 1 "))
        << unplaced.err;
    EXPECT_TRUE(has(track_text(unplaced.project, "Gtr"), "    NCHAN 2\n"));
    EXPECT_FALSE(has(unplaced.project, "ReaSurroundPan"));

    // Three mono tracks of one name with the same clips are merged into one three-channel track:
    // its legs are the bus's channels, not a source to pan.
    const Converted merged = convert(session("C", 3));
    EXPECT_FALSE(has(merged.err, "SURR route Gtr")) << merged.err;
    EXPECT_FALSE(has(merged.project, "ReaSurroundPan"));
    EXPECT_TRUE(has(track_text(merged.project, "Gtr"), "    NCHAN 4\n"))
        << track_text(merged.project, "Gtr");
}

// A mono panner into 5.1 whose front X and LFE level move, built as Pro Tools stores it: the
// fader block holds the first input's seven values from the level field's +12; the lane holds
// four loose lists (volume, mute, LFE level, trim) and a group block of the input's seven lanes
// (front X, rear X, front/rear, divergence 1 and 2, divergence cap, centre).
TEST(TrackWiringEndToEnd, AMonoSurroundPannersLanesBecomeItsEnvelopes) {
    std::string fader = fader_block(0);
    // Hard front left: front X -100, rear X 100, front/rear +100, no divergence, cap 100,
    // centre 50. The level field sits at the block's +10, these values from its +22.
    const std::int32_t input[7] = {-100, 100, 100, 0, 0, 100, 50};
    for (int v = 0; v < 7; ++v) fader.replace(22 + 4 * v, 4, i32le(input[v]));
    std::string lanes;
    for (int k = 0; k < 7; ++k)
        lanes += k == 0 ? list_block(-100, {{0, -100}, {44100, 100}}) : list_block(input[k]);
    const std::string lists = list_block(0) + list_block(0) +
                              list_block(-60, {{0, -60}, {88200, 0}}) + list_block(0) +
                              group_block(lanes);
    // A byte of 1 after the name block makes the lane reader take the first group's first list
    // (front X) as the track's pan: still the panner's lane, not a pan envelope.
    for (const std::string& after_name : {std::string(), std::string(1, '\x01')}) {
        SCOPED_TRACE(after_name.empty() ? "pan lanes apart" : "front X read as the pan");
        const std::string blocks =
            walk({"Gtr"}) + channel_entry_block(2, "Main", {0, 1, 2, 3, 4, 5}, 1, 2) +
            channel_entry_block(2, "Main.L", {0}, 3, 4) +
            channel_entry_block(2, "Main.C", {1}, 5, 6) +
            channel_entry_block(2, "Main.R", {2}, 7, 8) +
            channel_entry_block(2, "Main.Ls", {3}, 9, 10) +
            channel_entry_block(2, "Main.Rs", {4}, 11, 12) +
            channel_entry_block(2, "Main.LFE", {5}, 13, 14) +
            track_block(0x261b, "Gtr",
                        after_name + lane_block(fader, output_block(2, "Main") + lists));
        const Converted c = convert(blocks);
        const std::string gtr = track_text(c.project, "Gtr");
        EXPECT_TRUE(
            has(c.err, "SURR route Gtr -> Main W 6 legs 6 ok 1 have 1 stereo 0 v -100 100 100"))
            << c.err;

        // The block: FXID, then the envelopes, then WAK, with no empty line.
        const std::uint32_t seed = 0x53555200u;
        const std::size_t fxid =
            gtr.find("      FXID " + guid_from_seed(seed) + "\n      <PARMENV ");
        const std::size_t x = gtr.find(
            "      <PARMENV 7:_in_1_X 1 0 0.5 \"in 1 X / ReaSurroundPan\"\n"
            "        EGUID " +
            guid_from_seed((7u + 0x5E000000u) ^ seed) + "\n        ACT 1 -1\n");
        const std::size_t lfe =
            gtr.find("      <PARMENV 10:_in_1_LFE 0 1 0.5 \"in 1 LFE / ReaSurroundPan\"\n");
        const std::size_t wak = gtr.find("      >\n      WAK 0 0\n", lfe);
        ASSERT_NE(fxid, std::string::npos) << gtr;
        EXPECT_LT(fxid, x);
        EXPECT_LT(x, lfe);
        ASSERT_NE(wak, std::string::npos) << gtr;
        EXPECT_FALSE(has(gtr, "\n\n"));
        // Front X alone moves "in 1 X": its lanes' times 0 and 1 s with seven points between, hard
        // left (as the body holds it) to hard right.
        const std::string x_env = gtr.substr(x, lfe - x);
        std::size_t points = 0;
        for (std::size_t at = x_env.find("PT "); at != std::string::npos;
             at = x_env.find("PT ", at + 1))
            ++points;
        EXPECT_EQ(points, 9u);
        EXPECT_TRUE(has(x_env, "        PT 0.0000000000 0.000000000 0\n")) << x_env;
        EXPECT_TRUE(has(x_env, "        PT 0.5000000000 0.500000000 0\n")) << x_env;
        EXPECT_TRUE(has(x_env, "        PT 1.0000000000 1.000000000 0\n")) << x_env;
        // The LFE level, one lane: its own two times, -6 dB then 0 dB over REAPER's +12 dB top.
        const std::string lfe_env = gtr.substr(lfe, wak - lfe);
        EXPECT_TRUE(has(lfe_env, "        PT 0.0000000000 0.125296808 0\n")) << lfe_env;
        EXPECT_TRUE(has(lfe_env, "        PT 2.0000000000 0.250000000 0\n")) << lfe_env;
        EXPECT_FALSE(has(gtr, "_in_1_Y")) << gtr;
        EXPECT_FALSE(has(gtr, "_center__"));
        // Written lanes are not also counted as lost.
        EXPECT_TRUE(
            has(c.out, "  2 surround panner automation envelope(s) written on ReaSurroundPan"))
            << c.out;
        EXPECT_FALSE(has(c.out, "surround panner automation lane(s) not written")) << c.out;
        const rpp_grammar::Result parsed = rpp_grammar::check_project(c.project);
        EXPECT_TRUE(parsed.ok) << parsed.line << ": " << parsed.message;
        EXPECT_FALSE(has(gtr, "PANENV")) << gtr;
    }
}

// The real sessions have no further output (kind-6 entry), no output into a track (their outputs
// name no name-index key), every own lane names its output, no bus wider than stereo, no
// plug-ins and no folder row: the wiring leaves every track as a plain one, and their golden
// projects stay as they were.
TEST(TrackWiringEndToEnd, TheRealSessionsStayPlain) {
    for (const char* name :
         {"RegionTest.ptx", "TestPTX.ptx", "Untitled32.ptx", "MetadataFields.ptx"}) {
        const std::vector<std::uint8_t> bytes = real_session(name);
        if (bytes.empty()) GTEST_SKIP() << "no sessions folder";
        std::vector<NamedBlockEntry> named;
        read_track_names(bytes.data(), bytes.size(), named);
        std::vector<std::string> track_list;
        for (const NamedBlockEntry& e : named) track_list.push_back(display_name(e));
        std::vector<TrackLaneSet> lane_sets;
        merge_lane_records(bytes.data(), bytes.size(), track_list, lane_sets);
        std::vector<LaneGroup> groups;
        read_automation_lanes(bytes.data(), bytes.size(), groups);
        std::vector<OutputTrack> tracks;
        for (const TrackLaneSet& l : lane_sets) {
            OutputTrack t;
            t.name = t.session_name = l.name;
            tracks.push_back(t);
        }
        track_wiring.reset();
        TrackWiringInput in;
        in.data = bytes.data();
        in.length = bytes.size();
        in.groups = groups;
        in.lane_sets = lane_sets;
        in.tracks = tracks;
        const TrackWiring w = prepare_track_wiring(in);
        EXPECT_TRUE(w.routed_sources.empty()) << name;
        EXPECT_TRUE(w.main_send_off.empty()) << name;
        EXPECT_TRUE(track_wiring.surround_bus_width.empty()) << name;
        EXPECT_TRUE(track_wiring.surround_pan_states.empty()) << name;
        EXPECT_EQ(track_wiring.counts.unplaceable_surround, 0) << name;
        EXPECT_EQ(track_wiring.folder_mode, -1) << name;
        EXPECT_TRUE(track_wiring.folder_text.empty()) << name;
        EXPECT_EQ(w.strip_row_of_track.size(), tracks.size()) << name;
    }
}

}  // namespace
