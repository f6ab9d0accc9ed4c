// Folders from the mix window's strip rows: flat folders up to the next folder row, folders
// nested through the link table, and link tables that cannot be nested.
#include "convert/tracks/track_folders.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "convert/tracks/track_wiring_state.h"

namespace {

StripRow row(const std::string& name, std::uint32_t kind = 0, std::uint32_t flag = 0,
             std::uint64_t id = 0) {
    StripRow r;
    r.name = name;
    r.kind = kind;
    r.flag = kind == 11 ? 1 : flag;
    r.id = id;
    return r;
}

std::vector<OutputTrack> tracks_named(const std::vector<std::string>& session_names) {
    std::vector<OutputTrack> out;
    for (const std::string& n : session_names) {
        OutputTrack t;
        t.name = n.empty() ? "unnamed" : n;
        t.session_name = n;
        out.push_back(t);
    }
    return out;
}

using Links = std::map<std::uint64_t, std::vector<std::uint64_t>>;

struct Folders {
    std::vector<std::int32_t> rows_of_tracks;
    std::map<std::int32_t, std::string> text;

    Folders(const std::vector<StripRow>& rows, const std::vector<std::string>& tracks,
            const Links* links = nullptr, const std::set<std::string>& main_send_off = {}) {
        track_wiring.reset();
        const std::vector<OutputTrack> t = tracks_named(tracks);
        FolderInput in;
        in.rows = rows;
        in.tracks = t;
        in.links = links;
        in.links_read = links != nullptr;
        in.main_send_off = &main_send_off;
        rows_of_tracks = wire_folders(in);
        text = track_wiring.folder_text;
    }
};

using Texts = std::map<std::int32_t, std::string>;

TEST(TrackFolders, FlatFoldersRunToTheNextFolderRow) {
    // A routing folder, an empty folder right after it, a basic folder whose second member has
    // no session name (it takes the row before).
    const Folders f({row("Drums", 11), row("Kick"), row("Snare"), row("Empty", 11),
                     row("Keys", 0, 1), row("Pno"), row("Org")},
                    {"Drums", "Kick", "Snare", "Empty", "Keys", "Pno", "", "Org"});
    EXPECT_EQ(f.rows_of_tracks, (std::vector<std::int32_t>{0, 1, 2, 3, 4, 5, 5, 6}));
    EXPECT_EQ(f.text, (Texts{{0, "1 1"}, {2, "2 -1"}, {4, "1 1"}, {7, "2 -1"}}));
    EXPECT_EQ(track_wiring.folder_track_indices, (std::set<std::int32_t>{0, 3}));
    EXPECT_EQ(track_wiring.folder_mode, 0);
    EXPECT_EQ(track_wiring.counts.routing_folders, 1);
    EXPECT_EQ(track_wiring.counts.other_folders, 1);
    EXPECT_EQ(track_wiring.counts.empty_folders, 1);
    EXPECT_TRUE(track_wiring.unwritten_folders.empty());
}

TEST(TrackFolders, AFolderSplitByAForeignRowIsNamedNotWritten) {
    // Bass (a row of the second folder) sits between the members of Drums.
    const Folders f({row("Drums", 11), row("Kick"), row("Snare"), row("Other", 11), row("Bass")},
                    {"Drums", "Kick", "Bass", "Snare", "Other", "Hat"});
    EXPECT_EQ(f.text.count(0), 0u);
    EXPECT_EQ(track_wiring.unwritten_folders, (std::vector<std::string>{"Drums", "Other"}));
    EXPECT_EQ(track_wiring.counts.unwritten_folders, 2);
    // A row without a folder row at all: no folder mode.
    const Folders plain({row("Kick"), row("Snare")}, {"Kick", "Snare"});
    EXPECT_TRUE(plain.text.empty());
    EXPECT_EQ(track_wiring.folder_mode, -1);
}

TEST(TrackFolders, LinkedFoldersNestAndCloseTogether) {
    // Mix holds Vox and Drums; Drums holds Kick and Snare, the last track of both.
    const std::vector<StripRow> rows = {row("Mix", 11, 1, 1), row("Drums", 11, 1, 2),
                                        row("Kick", 0, 0, 3), row("Snare", 0, 0, 4),
                                        row("Vox", 0, 0, 5)};
    const Links links = {{1, {5, 2}}, {2, {3, 4}}};
    const Folders f(rows, {"Mix", "Vox", "Drums", "Kick", "Snare"}, &links);
    EXPECT_EQ(f.text, (Texts{{0, "1 1"}, {2, "1 1"}, {4, "2 -2"}}));
    EXPECT_EQ(track_wiring.folder_mode, 1);
    EXPECT_EQ(track_wiring.counts.routing_folders, 2);
    // A track of no strip row between the members cannot be nested: the flat pass runs.
    const Folders broken(rows, {"Mix", "Vox", "Drums", "Kick", "Bass", "Snare"}, &links);
    EXPECT_EQ(track_wiring.folder_mode, 0);  // fell back to the flat pass
}

TEST(TrackFolders, MembersOfABasicFolderMoveOut) {
    const Links links = {{1, {2}}};
    const Folders f({row("Keys", 0, 1, 1), row("Pno", 0, 0, 2)}, {"Keys", "Pno"}, &links);
    EXPECT_TRUE(f.text.empty());
    EXPECT_EQ(track_wiring.counts.folders_moved_out, 1);
    EXPECT_EQ(track_wiring.counts.moved_rows, (std::vector<std::string>{"Pno out of Keys"}));
}

// Moved rows are listed by what they are: a Basic folder apart from a track; rows whose move
// failed, and folders nested in the link table when the nested pass fails, are counted too.
TEST(TrackFolders, MovedUnmovedAndUnplacedRowsAreListedApart) {
    const Links chain = {{1, {2}}, {2, {3}}};
    const Folders moved({row("Keys", 0, 1, 1), row("Sub", 0, 1, 2), row("Pno", 0, 0, 3)},
                        {"Keys", "Sub", "Pno"}, &chain);
    EXPECT_EQ(track_wiring.counts.moved_folder_rows, (std::vector<std::string>{"Sub out of Keys"}));
    // Sub moved first, so Pno leaves Sub.
    EXPECT_EQ(track_wiring.counts.moved_rows, (std::vector<std::string>{"Pno out of Sub"}));
    EXPECT_EQ(track_wiring.counts.nested_unplaced, 0);

    // Pno moves into the Routing folder past its Basic folder, but a track of no strip row then
    // splits the Routing folder's members: both rounds fail and the flat pass runs.
    const Folders failed({row("Bus", 11, 1, 1), row("Keys", 0, 1, 2), row("Pno", 0, 0, 3)},
                         {"Bus", "Loose", "Keys", "Pno"}, &chain);
    EXPECT_EQ(track_wiring.counts.unmoved_rows, (std::vector<std::string>{"Pno (in Keys)"}));
    EXPECT_TRUE(track_wiring.counts.moved_rows.empty());
    EXPECT_EQ(track_wiring.counts.nested_unplaced, 1);  // Keys sat inside Bus
    EXPECT_EQ(track_wiring.folder_mode, 0);
}

TEST(TrackFolders, LinksThatLoopTakeTheFlatPassAtOnce) {
    // A folder linked as its own member, and two folders linking each other: every walk up the
    // parents would never end.
    const std::vector<StripRow> rows = {row("A", 11, 1, 1), row("B", 11, 1, 2), row("x", 0, 0, 3)};
    for (const Links& links : {Links{{1, {1, 3}}}, Links{{1, {2}}, {2, {1}}}}) {
        const Folders f(rows, {"A", "B", "x"}, &links);
        EXPECT_EQ(track_wiring.folder_mode, 0);
        EXPECT_EQ(f.text, (Texts{{1, "1 1"}, {2, "2 -1"}}));  // B holds x; A is empty
        EXPECT_EQ(track_wiring.counts.empty_folders, 1);
        EXPECT_TRUE(track_wiring.counts.moved_rows.empty());
    }
}

}  // namespace
