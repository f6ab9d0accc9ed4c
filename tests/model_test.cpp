#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "model/melodyne_archive.h"
#include "model/mix_records.h"
#include "model/output_model.h"
#include "model/plugin_instance.h"
#include "model/plugin_records.h"
#include "model/session_layout.h"
#include "model/session_records.h"
#include "model/surround_pan_state.h"
#include "util/shared_text.h"

namespace {

TEST(ModelDefaults, ClipRecord) {
    const ClipRecord clip;
    const ClipRareFields& rare = clip.rare.get();
    EXPECT_FALSE(clip.rare.held());  // the defaults are read without a record of their own
    EXPECT_EQ(rare.playrate, 1.0);
    EXPECT_EQ(clip.colour_index, -2);
    EXPECT_EQ(rare.ara_index, -1);

    // Everything else is zero or empty.
    EXPECT_EQ(clip.region_index, 0u);
    EXPECT_EQ(clip.raw_start, 0u);
    EXPECT_EQ(clip.source_offset_samples, 0u);
    EXPECT_EQ(clip.start + clip.length + clip.source_offset, 0.0);
    EXPECT_TRUE(clip.name.empty() && clip.file_name.empty() && rare.group_name.empty());
    EXPECT_EQ(clip.muted | clip.whole_file | clip.crossfaded | rare.stretched | clip.over_next |
                  clip.over_previous | rare.has_gain | clip.locked | rare.phase_invert |
                  clip.fade_in_shape | clip.fade_out_shape,
              0);
    EXPECT_EQ(clip.fade_in_length + clip.fade_out_length + rare.gain_db + rare.pitch + rare.pan +
                  rare.snap_offset,
              0.0);
    EXPECT_TRUE(rare.stretch_markers.empty() && rare.gain_points.empty() &&
                rare.clip_effects.empty());
}

// A clip's rare fields: the first write makes the clip's own record, the defaults stay as they
// are for every other clip, and assigning a clip that holds none drops what was held.
TEST(ModelCopy, ClipRareFieldsAreMadeByTheFirstWrite) {
    ClipRecord clip;
    clip.rare.edit().pan = -1.0;
    EXPECT_TRUE(clip.rare.held());
    EXPECT_EQ(ClipRecord{}.rare.get().pan, 0.0);
    ClipRecord copy = clip;
    copy.rare.edit().pan = 1.0;
    EXPECT_EQ(clip.rare.get().pan, -1.0);

    copy = ClipRecord{};
    EXPECT_FALSE(copy.rare.held());
    EXPECT_EQ(copy.rare.get().pan, 0.0);
    const ClipRecord moved = std::move(clip);
    EXPECT_EQ(moved.rare.get().pan, -1.0);
}

TEST(ModelDefaults, RecordsWithStatedDefaults) {
    const SurroundPanState pan;
    EXPECT_EQ(pan.second_input_gain, 1.0);
    EXPECT_EQ(pan.lfe_level_db, -144.0);
    EXPECT_EQ(MidiItem{}.colour_index, -2);
    EXPECT_EQ(SessionRegion{}.midi->extra, -1);
    EXPECT_EQ(LaneGroup{}.kind, -1);
    const SessionPluginInstance instance;
    EXPECT_EQ(instance.active_setup, "setA");
    EXPECT_EQ(instance.channel_word, -1);
    EXPECT_EQ(instance.container_label, nullptr);
}

TEST(ModelCopy, ChangingACopiedTrackLeavesTheOriginal) {
    std::map<std::uint16_t, OutputTrack> tracks;
    OutputTrack& original = tracks[3];  // a default track made on first access
    original.name = "Gtr";
    ClipRecord clip;
    clip.name = "Gtr_01";
    clip.rare.edit().gain_points = {{0.0, -3.0}, {1.0, 0.0}};
    clip.rare.edit().clip_effects = {{"EQ", 1.5}};
    original.clips.push_back(clip);
    original.lanes.push_back({"alt", {clip}});
    MidiItem item;
    item.events.push_back(MidiItemEvent{.position = 960, .status = 0xF0, .payload = {1, 2, 3}});
    original.midi_items.push_back(item);

    OutputTrack copy = tracks.at(3);
    copy.clips[0].name = "changed";
    copy.clips[0].rare.edit().gain_points[1].value = 6.0;
    copy.clips[0].rare.edit().clip_effects[0].name = "Comp";
    copy.lanes[0].clips[0].start = 2.0;
    copy.midi_items[0].events[0].payload[0] = 9;

    const OutputTrack& kept = tracks.at(3);
    EXPECT_EQ(kept.clips[0].name, "Gtr_01");
    EXPECT_EQ(kept.clips[0].rare.get().gain_points[1].value, 0.0);
    EXPECT_EQ(kept.clips[0].rare.get().clip_effects[0].name, "EQ");
    EXPECT_EQ(kept.lanes[0].clips[0].start, 0.0);
    EXPECT_EQ(kept.midi_items[0].events[0].payload[0], 1);

    copy = kept;  // assignment replaces every member
    EXPECT_EQ(copy.clips[0].name, "Gtr_01");
    EXPECT_EQ(copy.midi_items[0].events[0].payload[0], 1);
}

// The clip's rarely filled lists: nothing held while empty, a vector's reading and copying.
TEST(ModelCopy, RareListHoldsNothingUntilFilledAndCopiesItsElements) {
    RareList<int> list;
    EXPECT_TRUE(list.empty() && list.size() == 0 && list.begin() == list.end());
    EXPECT_TRUE(list.items().empty());
    list.push_back(1);
    list.edit().push_back(2);
    const std::vector<int>& view = list;
    EXPECT_EQ(view, (std::vector<int>{1, 2}));

    RareList<int> copy = list;
    copy[0] = 9;
    EXPECT_EQ(list[0], 1);
    int sum = 0;
    for (int v : copy) sum += v;
    EXPECT_EQ(sum, 11);
    copy = RareList<int>{};
    EXPECT_TRUE(copy.empty());
    list = std::vector<int>{};  // an empty vector releases what was held
    EXPECT_TRUE(list.empty() && list.begin() == list.end());
}

// A region's MIDI part: nothing held on an audio region, which reads the defaults; a copy is a
// copy of its own.
TEST(ModelCopy, RareRecordHoldsNothingUntilWrittenAndCopiesTheRecord) {
    SessionRegion audio;
    // Half a million of each at once in a clip-dense session: one pointer for the MIDI part.
    EXPECT_LE(sizeof(SessionRegion), 56u);
    EXPECT_LE(sizeof(TrackRegion), 24u);
    EXPECT_FALSE(audio.midi.held());
    EXPECT_TRUE(audio.midi->events.empty());
    EXPECT_EQ(audio.midi->extra, -1);
    EXPECT_EQ(audio.midi->chunk_position, 0u);

    SessionRegion midi;
    midi.midi.edit().events = {{0, 240000, 60, 100}};
    midi.midi.edit().extra = 3;
    SessionRegion copy = midi;
    copy.midi.edit().extra = 4;
    copy.midi.edit().events.clear();
    EXPECT_EQ(midi.midi->extra, 3);
    EXPECT_EQ(midi.midi->events.size(), 1u);
    copy = audio;
    EXPECT_FALSE(copy.midi.held());
    SessionRegion moved = std::move(midi);
    EXPECT_EQ(moved.midi->extra, 3);
}

// Texts held by many records: one pointer each, copies share the text and outlive its first
// holder, a new value leaves the other holders' text alone.
TEST(ModelCopy, SharedTextIsOnePointerWhoseCopiesShareOneText) {
    EXPECT_EQ(sizeof(SharedText), sizeof(void*));
    SharedText none;
    EXPECT_TRUE(none.empty() && none.str().empty() && none == "");
    EXPECT_TRUE(SharedText(std::string()).empty());

    std::vector<SharedText> clips(3);
    {
        const SharedText region(std::string("Gtr_01-02"));
        for (SharedText& name : clips) name = region;
        EXPECT_EQ(clips[0].c_str(), region.c_str());  // one text, not a copy each
    }
    clips[1] = "Bass";
    EXPECT_EQ(clips[0], "Gtr_01-02");
    EXPECT_EQ(clips[2].substr(clips[2].find_last_of("-") + 1), "02");
    EXPECT_EQ(clips[1], std::string("Bass"));
    EXPECT_EQ("[" + clips[0] + "]", "[Gtr_01-02]");
    const std::map<std::string, int> by_name{{"Gtr_01-02", 7}};
    EXPECT_EQ(by_name.find(clips[2])->second, 7);
    SharedText moved = std::move(clips[0]);
    EXPECT_TRUE(clips[0].empty());  // NOLINT: a moved-from text holds nothing
    EXPECT_EQ(moved, clips[2]);
}

}  // namespace
