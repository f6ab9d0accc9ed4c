// Groups, colour coding, per-track texts, track order and the hidden and inactive filters.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "convert/summary/track_stage_summary.h"
#include "convert/tracks/track_coding.h"
#include "convert/tracks/track_filters.h"
#include "convert/tracks/track_groups.h"
#include "convert/tracks/track_order.h"
#include "convert/tracks/track_view_stage.h"
#include "convert/writer/colors.h"
#include "platform/ptformat.h"
#include "tests/mixer_builder.h"
#include "tests/test_support.h"
#include "tests/walk_builder.h"

namespace {

SessionGroup group(const std::string& name, std::vector<std::uint32_t> members,
                   std::uint32_t type = 1) {
    SessionGroup g;
    g.name = name;
    g.members = std::move(members);
    g.type = type;
    return g;
}

NamedBlockEntry block(const std::string& name, const std::string& second,
                      std::uint32_t type = 0x261b) {
    NamedBlockEntry b;
    b.name = name;
    b.second_name = second;
    b.content_type = type;
    return b;
}

StagedTrack staged(const std::string& name, const std::string& session_name) {
    StagedTrack t;
    t.track.name = name;
    t.track.session_name = session_name;
    return t;
}

std::vector<std::string> names_of(const std::vector<StagedTrack>& tracks) {
    std::vector<std::string> out;
    for (const StagedTrack& t : tracks) out.push_back(t.track.name);
    return out;
}

const std::vector<std::string> kStrips = {"Vox", "Gtr", "Bass", "VCA 1", "Master"};

std::vector<NamedBlockEntry> strip_blocks() {
    return {block("Vox", "Vox"), block("Gtr", "Gtr"), block("Bass", "Bass"),
            block("VCA 1", "VCA 1", 0x261f), block("Master", "Master", 0x261d)};
}

// Stored twice, as live groups are, with "<ALL>" stating the strip list's size.
std::vector<SessionGroup> stored_twice(std::vector<SessionGroup> groups) {
    std::vector<SessionGroup> records = {group(kAllGroupName, {0, 1, 2, 3, 4})};
    for (const SessionGroup& g : groups) records.push_back(g);
    for (const SessionGroup& g : groups) records.push_back(g);
    return records;
}

TrackGroups masks_for(std::vector<SessionGroup> records,
                      const std::map<std::size_t, std::uint32_t>& vca = {}) {
    TrackGroups groups = keep_stored_groups(records, kStrips.size());
    build_group_masks(groups, kStrips, strip_blocks(), vca);
    return groups;
}

TEST(TrackGroups, MasksByKindOfGroup) {
    SessionGroup vca = group("Drums VCA", {0, 1, 3});
    vca.extra_index = 3;
    SessionGroup attributes = group("Strings", {2});
    attributes.has_attributes = 1;
    attributes.attributes[1] = 1;
    attributes.attributes[8] = 1;
    attributes.attributes[5] = 1;
    attributes.attributes[4] = 1;  // volume, carried with the fader link
    const TrackGroups g =
        masks_for(stored_twice({group("Mix", {0, 1}), vca, group("Edit", {0}, 0), attributes,
                                group("Odd", {2}, 9), group("WithMaster", {1, 4})}),
                  {{3, 25}});

    // A Mix group without attributes links words 0 and 1 only; the VCA bit goes to slaves and
    // master; the attribute group takes the next bit in the masks of its attributes.
    EXPECT_EQ(group_masks_of(g, "Vox", ""), (GroupMaskSet{1, 0, 2, 0, 0, 0}));
    EXPECT_EQ(group_masks_of(g, "Gtr", ""), (GroupMaskSet{1 | 8, 0, 2, 0, 0, 0}));
    EXPECT_EQ(group_masks_of(g, "VCA 1", ""), (GroupMaskSet{0, 2, 0, 0, 0, 0}));
    EXPECT_EQ(group_masks_of(g, "Bass", ""), (GroupMaskSet{0, 0, 0, 4, 0, 4}));
    EXPECT_EQ(group_masks_of(g, "Master", ""), GroupMaskSet{});
    EXPECT_DOUBLE_EQ(g.vca_levels.at("VCA 1"), 2.5);
    EXPECT_EQ(g.unsupported_attributes.at("Strings"), "#5");
    EXPECT_EQ(g.edit_groups, std::set<std::string>{"Edit"});
    EXPECT_EQ(g.unknown_type_groups, std::set<std::string>{"Odd"});
    EXPECT_EQ(g.master_fader_groups, std::set<std::string>{"WithMaster"});
    EXPECT_EQ(g.written, 3);
    EXPECT_EQ(g.vca_written, 1);
}

TEST(TrackGroups, RecordsStoredOnceOrPastTheBitsLinkNothing) {
    // Stored once under one name, twice with different members: all passed over, named once.
    std::vector<SessionGroup> records = {group(kAllGroupName, {0, 1, 2, 3, 4}), group("Once", {0}),
                                         group("Once", {1}), group("Once", {2})};
    TrackGroups g = masks_for(records);
    EXPECT_TRUE(g.kept.empty());
    EXPECT_EQ(g.once_only_count, 1);
    EXPECT_TRUE(g.masks.empty());

    // A VCA group that links no member uses no bit; the 33rd Mix group gets none.
    SessionGroup empty_vca = group("Empty VCA", {3});
    empty_vca.extra_index = 3;
    std::vector<SessionGroup> many = {empty_vca};
    for (int i = 0; i < 33; ++i) many.push_back(group("G" + std::to_string(i), {0}));
    g = masks_for(stored_twice(many));
    EXPECT_EQ(group_masks_of(g, "Vox", "")[0], 0xFFFFFFFFu);
    EXPECT_EQ(g.past_32, 1);
    EXPECT_EQ(g.vca_written, 0);
    EXPECT_TRUE(group_masks_of(g, "VCA 1", "") == GroupMaskSet{});

    // "<ALL>" disagreeing with the strip list: nothing is linked, and the console says so.
    records = stored_twice({group("Mix", {0, 1, 9})});
    records[0].members.pop_back();
    g = masks_for(records);
    EXPECT_EQ(g.membership_off, 1);
    EXPECT_TRUE(g.masks.empty());
    TrackStageState state;
    state.groups = g;
    state.strips = kStrips;
    EXPECT_NE(group_warning_rows(state).find("group membership NOT written"), std::string::npos);
    EXPECT_NE(group_rows(state).find("\"Mix\"  ->  Vox, Gtr, <out of range>"), std::string::npos);
}

TEST(TrackColourCoding, GroupSlotsTrackTypesAndRows) {
    const std::vector<std::string> strips = {"A", "B", "C"};
    std::vector<SessionGroup> groups = {group("g3", {0, 1}), group("g7", {0}), group("g27", {1}),
                                        group("g17", {2}), group("none", {2})};
    groups[0].slot = 3;
    groups[1].slot = 7;
    groups[2].slot = 27;
    groups[3].slot = 17;
    ColourCodingInput in;
    in.mode = 3;
    const std::vector<NamedBlockEntry> named = {block("A", "A"), block("B", "B"), block("C", "C")};
    in.named = &named;
    in.kept_groups = &groups;
    in.strips = &strips;
    ColourCoding c = colour_coding(in);
    EXPECT_EQ(c.index_by_track.at("A"), 73);  // slot 7 beats slot 3
    EXPECT_EQ(palette_color(73), 23003156u);
    EXPECT_EQ(c.index_by_track.at("B"), 93);  // slot 27
    EXPECT_EQ(c.index_by_track.at("C"), 93);  // slot 17
    EXPECT_EQ(c.groups_without_slot, 1);

    // Track type: a track inside a 0x261c block is 94, outside it 86.
    const std::vector<NamedBlockEntry> typed = {block("In", "In"), block("Out", "Out"),
                                                block("M", "M", 0x2620)};
    std::vector<NamedBlockEntry> placed = typed;
    placed[0].block_start = 100;
    placed[1].block_start = 500;
    in = ColourCodingInput{};
    in.mode = 4;
    in.named = &placed;
    in.track_block_starts = {90};
    in.track_block_ends = {200};
    c = colour_coding(in);
    EXPECT_EQ(c.index_by_track.at("In"), 94);
    EXPECT_EQ(c.index_by_track.at("Out"), 86);
    EXPECT_EQ(c.index_by_track.at("M"), 75);

    // Devices: a MIDI track whose device has an id gets nothing.
    std::vector<SessionItemEntry> items(1);
    items[0].number = 1;
    items[0].has_id = 1;
    in.mode = 2;
    in.items = &items;
    in.device_numbers = {-1, -1, 1};
    in.row_values = {2, 30, 0};
    c = colour_coding(in);
    EXPECT_FALSE(c.index_by_track.contains("M"));
    EXPECT_EQ(c.devices_with_id, 1);
    EXPECT_EQ(c.index_by_track.at("In"), kColorCodingIndices[1]);
    EXPECT_EQ(c.past_26, 1);
    EXPECT_EQ(c.position_for_want_of_row, 1);
}

TEST(TrackTexts, AutomationModesAndCutPieces) {
    const std::vector<NamedBlockEntry> named = {block("t", "Touchy"), block("r", "Reader"),
                                                block("o", "Offish"), block("x", "Strange")};
    TrackViewStore views;
    const int modes[] = {2, 1, 0, 7};
    for (std::size_t i = 0; i < named.size(); ++i) {
        views.by_name[named[i].second_name].automation_mode = modes[i];
        views.by_name[named[i].second_name].trim_flag = i == 0 ? 1 : 0;
    }
    TrackStageState state;
    per_track_texts(named, {}, {}, views, state);
    EXPECT_EQ(state.automation_modes.text, " Touchy=Touch+Trim Offish=Off Strange=mode 7");
    EXPECT_EQ(state.automation_off.text, " Offish");
    EXPECT_EQ(state.automation_off.count, 1);

    // A program entry is cut to 63 bytes without splitting a character.
    const std::string long_name = std::string(61, 'a') + "\xC3\xA9" + "zz";
    const std::vector<NamedBlockEntry> one = {block(long_name, "")};
    TrackMidiValues program;
    program.program = 5;
    TrackStageState programs;
    per_track_texts(one, {program}, {}, TrackViewStore{}, programs);
    EXPECT_EQ(programs.programs.text, " " + std::string(61, 'a'));
    EXPECT_EQ(cut_at_character("ab\xE2\x82\xAC", 4), "ab");
}

TEST(TrackOrder, SessionOrderEmptyTracksAndCompanions) {
    TrackOrderInput in;
    const std::vector<NamedBlockEntry> named = {block("Gtr", "Gtr"),
                                                block("Keys", "", 0x2621),
                                                block("mystic.L", "Lead"),
                                                block("VCA", "VCA", 0x261f),
                                                block("Lonely VCA", "Lonely VCA", 0x261f),
                                                block("", "", 0x261b)};
    in.named = named;
    in.source = {staged("Lead", "Lead"), staged("Gtr", "Gtr"), staged("Gtr [alt takes]", ""),
                 staged("Other", "Other"), staged("Gtr", "Gtr")};
    TrackGroups groups;
    groups.masks["VCA"][1] = 1;
    groups.vca_levels["VCA"] = -3.0;
    TrackStageState state;
    const std::vector<StagedTrack> out = rebuild_track_order(in, groups, state);
    // The walk stops at "Other"; its companion and the later Gtr stay for the fold.
    EXPECT_EQ(names_of(out), (std::vector<std::string>{"Gtr", "Gtr [alt takes]", "Keys", "Lead",
                                                       "VCA", "Other", "Gtr"}));
    EXPECT_EQ(state.written_empty, 1);  // Keys, named by its display name
    EXPECT_EQ(*out[4].input.kept_fader_db, -3.0);
    EXPECT_EQ(state.vca_masters_unlinked, std::vector<std::string>{"Lonely VCA"});
    EXPECT_NE(track_order_rows(state).find("\"Lonely VCA\""), std::string::npos);
}

TEST(TrackOrder, ClickTracks) {
    SessionPluginInstance click_two, compressor, other;
    click_two.aax_id = "DigiclikAAX";
    compressor.aax_id = "DigiCmp";
    other.aax_id = "Elsewhere";
    const std::map<std::string, std::vector<SessionPluginInstance>> plugins = {
        {"Click 2", {other}}, {"Metro", {click_two, compressor}}, {"Click II", {click_two}}};
    const std::vector<NamedBlockEntry> named = {
        block("Click", "Click"), block("Click 2", "Click 2"), block("Metro", "Metro"),
        block("Click II", "Click II")};
    for (const bool no_click : {false, true}) {
        TrackOrderInput in;
        in.named = named;
        in.plugins_by_track = &plugins;
        in.no_click = no_click;
        TrackStageState state;
        const std::vector<StagedTrack> out = rebuild_track_order(in, {}, state);
        if (!no_click) {
            EXPECT_EQ(out.size(), 4u);
            EXPECT_TRUE(state.click_with_more.empty());
            continue;
        }
        EXPECT_EQ(names_of(out), (std::vector<std::string>{"Click 2", "Metro"}));
        EXPECT_EQ(state.clicks_left_out, (std::vector<std::string>{"Click", "Click II"}));
        EXPECT_EQ(state.click_with_more, std::vector<std::string>{"Metro"});
        const std::string rows = track_order_rows(state);
        EXPECT_NE(rows.find("2 Click track(s) left out (--no-click): \"Click\", \"Click II\""),
                  std::string::npos);
        EXPECT_NE(rows.find("\"Metro\" holds a Click II but also something else"),
                  std::string::npos);
    }
}

TEST(TrackOrder, FoldersAndSilentMarks) {
    std::vector<StagedTrack> tracks = {staged("A", "A"), staged("B", "B")};
    std::vector<StripRow> rows(3);
    rows[0].name = "A";
    rows[1].name = "Folder";
    rows[1].kind = 11;
    rows[1].flag = 1;
    rows[2].name = "B";
    add_folder_tracks(tracks, rows);
    EXPECT_EQ(names_of(tracks), (std::vector<std::string>{"A", "Folder", "B"}));
    TrackStageState state;
    mark_silent_tracks(tracks, {"A"}, {"B"}, state);
    EXPECT_EQ(tracks[0].track.inactive, 1);
    EXPECT_EQ(tracks[2].track.voice_off, 1);
    EXPECT_EQ(state.inactive_marked + state.voice_off_marked, 2);
}

TEST(TrackFilters, NeedsKeepHiddenTracksToAFixedPoint) {
    TrackViewStore views;
    for (const char* hidden : {"Aux", "Bus", "Deep"}) views.by_name[hidden].shown_in_mixer = 0;
    std::vector<StagedTrack> tracks = {staged("Vox", "Vox"),     staged("Aux", "Aux"),
                                       staged("Bus", "Bus"),     staged("Deep", "Deep"),
                                       staged("Alone", "Alone"), staged("Alone [alt takes]", ""),
                                       staged("Quiet", "Quiet")};
    tracks[5].track.alternate = AlternateKind::takes;
    tracks[6].track.inactive = 1;
    views.by_name["Quiet"].shown_in_mixer = 0;
    TrackFilterInput in;
    in.skip_hidden = true;
    in.skip_inactive = true;
    in.views = &views;
    in.hide_list = ",,Alone";
    in.needs = {{"Vox", {"Aux"}}, {"Aux", {"Bus"}}, {"Deep", {"Deep"}}};
    TrackStageState state;
    filter_tracks(tracks, in, state);
    EXPECT_EQ(names_of(tracks), (std::vector<std::string>{"Vox", "Aux", "Bus"}));
    EXPECT_EQ(state.kept_for_needs,
              (std::vector<std::string>{"Aux (Vox needs it)", "Bus (Aux needs it)"}));
    EXPECT_EQ(state.hidden_left_out, (std::vector<std::string>{"Deep", "Alone"}));
    EXPECT_EQ(state.inactive_left_out, std::vector<std::string>{"Quiet"});

    for (const char* list : {"", ",,", ","}) EXPECT_FALSE(named_in_hide_list(list, "Vox"));
    EXPECT_FALSE(named_in_hide_list("Vox", ""));
    EXPECT_TRUE(named_in_hide_list("Bass,Vox", "Vox"));
}

TEST(TrackFilters, NeedsFromSendsAndIdLinks) {
    std::vector<LaneGroup> lanes(1);
    lanes[0].name = "Vox";
    TrackSend send;
    send.destination_name = "Bus 1-2";
    lanes[0].sends.push_back(send);
    NameIndex index;
    index.override_by_key["Bus 1-2"] = "Verb";
    const std::vector<std::string> owners = {"Vox"};
    std::vector<StripRow> rows(2);
    rows[0].name = "Lead";
    rows[0].id = 7;
    rows[1].name = "Double";
    rows[1].id = 8;
    const std::map<std::uint64_t, std::vector<std::uint64_t>> links = {{7, {8}}};
    TrackNeedsInput in;
    in.lane_groups = lanes;
    in.owner_names = owners;
    in.name_index = &index;
    in.strip_rows = rows;
    in.id_links = &links;
    const TrackNeeds needs = track_needs(in);
    EXPECT_EQ(needs.at("Vox"), std::set<std::string>{"Verb"});
    EXPECT_EQ(needs.at("Double"), std::set<std::string>{"Lead"});
}

// The hidden filter on a real session, as a user runs it.
TEST(TrackStageProgram, HiddenFilterOnTestPtx) {
    REQUIRE_SESSION(session, "TestPTX.ptx");
    test_support::TempDir dir;
    test_support::RunSetup setup;
    setup.env = "PTX_DEBUG_HIDE=monoTone";
    const auto run = test_support::run_lanwick(
        {session, "--skip-hidden-tracks", "-o", dir.file("out.rpp"), "--no-pause"}, setup);
    ASSERT_EQ(run.exit_code, 0) << run.out;
    EXPECT_NE(run.out.find("  1 hidden track(s) left out (--skip-hidden-tracks): \"monoTone\"\n"),
              std::string::npos);
    const std::string text = test_support::read_file(dir.file("out.rpp"));
    EXPECT_EQ(text.find("NAME \"monoTone\"\n    PEAKCOL"), std::string::npos);
    EXPECT_NE(text.find("  <TRACK {3C6EF36A-27F2-CA46-3B01-C6AE80CD33F2}\n    NAME \"stereoTone\""),
              std::string::npos);

    // Without the option the variable changes nothing.
    const auto plain =
        test_support::run_lanwick({session, "-o", dir.file("plain.rpp"), "--no-pause"}, setup);
    EXPECT_NE(test_support::read_file(dir.file("plain.rpp")).find("NAME \"monoTone\""),
              std::string::npos);
    EXPECT_EQ(plain.out.find("hidden track(s) left out"), std::string::npos);
}

}  // namespace

namespace {

using namespace mixer_blocks;

// A strip (0x2015) with its height and comment; shown in the mixer.
std::string strip_with(std::uint16_t height, const std::string& comment) {
    std::string tail = zeros(1) + "\x01" + zeros(4);
    test_blocks::append_u16le(tail, height);
    tail += text(comment) + zeros(11);
    test_blocks::append_u16le(tail, 0);
    tail += zeros(2) + u32le(0);
    return z_block(0x2015, z_block(0x0001, "xx") + tail) + std::string(1, '\0');
}

// A named track block with its solo state, automation mode and trim flag.
std::string viewed_track(const std::string& name, char mode, char trim) {
    return z_block(0x261b,
                   z_block(0x102d, name_block(name) + std::string{0, mode, trim} + zeros(4)));
}

std::string comment_session() {
    using namespace walk_blocks;
    using namespace test_blocks;
    const std::string walk =
        region_list({audio_region("Vox", 0, 88200, 0, 0)}) + track_list({track_entry("Vox", {0})}) +
        placement_tracks({placement_track("Vox", {audio_playlist({placement(0, 0)})})});
    const std::string blocks = walk + strip_with(48, "Lead take\nfrom Tuesday") +
                               strip_with(64, "") + viewed_track("Spare", 2, 1) +
                               viewed_track("Vox", 1, 0);
    std::vector<std::uint64_t> lengths(1, 441000);
    const std::string plain = session_header() + lead_block() + version_block(12) +
                              z_block(0x7777, zeros(5000)) + rate_block(44100) +
                              audio_files_block(1, {{"Vox.wav", "EVAW"}}, lengths) + blocks;
    std::vector<std::uint8_t> bytes(plain.begin(), plain.end());
    EXPECT_TRUE(ptf_xor_crypt(bytes));
    return std::string(bytes.begin(), bytes.end());
}

// A track's comment becomes a comment item under --comments item; a session track without clips
// is written empty, in session order, with its view state.
TEST(TrackStageProgram, CommentItemsAndEmptyTracks) {
    test_support::TempDir dir;
    const std::string session = dir.file("Comments.ptx");
    test_support::write_file(session, comment_session());
    const auto run = test_support::run_lanwick(
        {session, "--comments", "item", "-o", dir.file("out.rpp"), "--no-pause"});
    ASSERT_EQ(run.exit_code, 0) << run.out;
    const std::string text = test_support::read_file(dir.file("out.rpp"));
    const std::size_t spare = text.find("    NAME \"Spare\"\n");
    const std::size_t vox = text.find("    NAME \"Vox\"\n");
    ASSERT_NE(spare, std::string::npos) << text;
    ASSERT_NE(vox, std::string::npos);
    EXPECT_LT(spare, vox);
    EXPECT_NE(text.find("TRACKHEIGHT 48 0 0 0 0 0 0", spare), std::string::npos);
    EXPECT_NE(text.find("AUTOMODE 2", spare), std::string::npos);
    const std::size_t note = text.find("NAME \"Pro Tools comment\"");
    ASSERT_NE(note, std::string::npos);
    EXPECT_LT(note, vox);  // on Spare, the first strip's track
    EXPECT_NE(text.find("        |Lead take\n        |from Tuesday\n", note), std::string::npos);
    EXPECT_NE(
        run.out.find("  1 track(s) had no clips and were written empty, mixer state intact\n"),
        std::string::npos);
    EXPECT_NE(run.out.find("  1 track(s) carry a COMMENT in Pro Tools: \"Spare\"\n"),
              std::string::npos);
    EXPECT_NE(run.out.find(" Spare=Touch+Trim"), std::string::npos);
}

}  // namespace
