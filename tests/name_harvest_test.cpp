#include "session/name_harvest.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "block_builder.h"

namespace {

using namespace test_blocks;

const std::uint8_t* u8(const std::string& s) {
    return reinterpret_cast<const std::uint8_t*>(s.data());
}

std::string text(const std::string& s) {
    return u32le(static_cast<std::uint32_t>(s.size())) + s;
}

TEST(NameFilters, PathsFilesAndFolderWords) {
    struct Case {
        const char* text;
        bool rejected;
    };
    const Case cases[] = {
        {"Kick.wav", true},   {"C:\\Audio", true}, {"Audio Files", true}, {"Kick", false},
        {"K", true},          {"Take.AIFF", true}, {"a/b", true},         {"Pro Tools", true},
        {"pro tools", false}, {"Mix.", false},     {"v1.2", false},       {"Last Used.pio", true},
    };
    for (const Case& c : cases) EXPECT_EQ(is_path_or_file_name(c.text), c.rejected) << c.text;
}

TEST(NameFilters, BusNames) {
    struct Case {
        const char* text;
        const char* first;  // null when not split
        const char* second;
    };
    const Case cases[] = {
        {"Bus 1-2", "Bus 1", "Bus 2"}, {"Bus 11-12", "Bus 11", "Bus 12"}, {"Bus 3-x", nullptr, ""},
        {"Bus 1-", nullptr, ""},       {"Bus a-2", nullptr, ""},          {"Bus 12", nullptr, ""},
        {"Bus 1-2-3", nullptr, ""},    {"Bus -12", nullptr, ""},          {"bus 1-2", nullptr, ""},
    };
    for (const Case& c : cases) {
        std::string first = "?", second = "?";
        EXPECT_EQ(parse_bus_name(c.text, first, second), c.first != nullptr) << c.text;
        if (c.first != nullptr) {
            EXPECT_EQ(first, c.first);
            EXPECT_EQ(second, c.second);
        }
    }
}

TEST(HarvestSessionStrings, StereoNamesAndBusesWhoseHalvesExist) {
    const std::string s = zeros(3) + text("Guitar") + text("Vocal") + text("Guitar.L.wav") +
                          text("Vocal.L.wav") + text("Guitar.R.wav") + text("Bus 3-4") +
                          text("Bus 3") + text("Bus 4") + text("Bus 5-6") + text("Bus 5") +
                          text("Bus 7-x") + text("Bus 7") + "Bus 7.L Bus 7.R" + text("Kick.wav");
    std::vector<std::string> out = {"kept"};
    harvest_session_strings(u8(s), s.size(), out);
    EXPECT_EQ(out, (std::vector<std::string>{"kept", "Bus 3-4", "Guitar"}));

    // With no ".R" anywhere, no name has both marks: the buses are all that is kept.
    const std::string left_only = zeros(3) + text("Guitar") + text("Guitar.L.wav") +
                                  text("Bus 3-4") + text("Bus 3") + text("Bus 4") + "Guitar.L";
    std::vector<std::string> buses;
    harvest_session_strings(u8(left_only), left_only.size(), buses);
    EXPECT_EQ(buses, (std::vector<std::string>{"Bus 3-4"}));

    // Names right after bytes that are not 0, at every offset from them, and after runs of 0.
    const std::string packed = "q" + text("Bus 3-4") + "qr" + text("Bus 3") + "qrs" +
                               text("Bus 4") + "qrst" + zeros(9) + text("Bus 5-6") + zeros(14) +
                               text("Bus 5") + zeros(8) + text("Bus 6");
    std::vector<std::string> found;
    harvest_session_strings(u8(packed), packed.size(), found);
    EXPECT_EQ(found, (std::vector<std::string>{"Bus 3-4", "Bus 5-6"}));

    // The lengths taken, 3 to 40, at their edges.
    const std::string digits34(34, '7');
    const std::string edges = zeros(3) + text("Vox") + text("Vo") + text("Vox.L") + text("Vox.R") +
                              text("Vo.L") + text("Vo.R") + text("Bus 1-" + digits34) +
                              text("Bus 1-" + digits34 + "7") + text("Bus 1") +
                              text("Bus " + digits34) + text("Bus " + digits34 + "7");
    std::vector<std::string> at_edges;
    harvest_session_strings(u8(edges), edges.size(), at_edges);
    EXPECT_EQ(at_edges, (std::vector<std::string>{"Bus 1-" + digits34, "Vox"}));

    // A name that ends as a marked one does is still kept only when it is marked itself.
    const std::string alike = zeros(3) + text("Guitar") + text("Sitar") + text("Guitar.L.wav") +
                              text("Guitar.R.wav") + text("Sitar.L.wav");
    std::vector<std::string> marked;
    harvest_session_strings(u8(alike), alike.size(), marked);
    EXPECT_EQ(marked, (std::vector<std::string>{"Guitar"}));

    // So too among more marks than are listed one by one.
    std::string crowded = alike;
    for (std::uint32_t i = 0; i < 140000; ++i) {
        crowded += static_cast<char>(0x41 + i % 26);
        crowded += static_cast<char>(0x41 + i / 26 % 26);
        crowded += static_cast<char>(0x41 + i / 676 % 26);
        crowded += i % 2 == 0 ? ".L" : ".R";
    }
    std::vector<std::string> among_many;
    harvest_session_strings(u8(crowded), crowded.size(), among_many);
    EXPECT_EQ(among_many, (std::vector<std::string>{"Guitar"}));
}

TEST(HarvestHeadStrings, TheRunAfterTheFirstKnownName) {
    const std::string s = text("Noise") + zeros(2) + text("Kick") + text("Snare") + zeros(10) +
                          text("Kick") + text("Take.wav") + zeros(40 - 12) + text("Bass") +
                          zeros(41) + text("Late");
    std::vector<std::string> out = {"old"};
    harvest_head_strings(u8(s), s.size(), {"Snare", "Kick"}, out);
    // "Kick" comes first; its repeat moves the end on, "Take.wav" is no name, and "Late" stands
    // more than 40 bytes after "Bass".
    EXPECT_EQ(out, (std::vector<std::string>{"Kick", "Snare", "Bass"}));

    std::vector<std::string> untouched = {"old"};
    harvest_head_strings(u8(s), s.size(), {"Drums"}, untouched);
    EXPECT_EQ(untouched, (std::vector<std::string>{"old"}));

    // A run starts anywhere in the session (a text across byte 400,000 counts); of two runs
    // holding as many known names the first is taken.
    const std::string far = zeros(400000 - 6) + text("Kick") + text("Snare");
    std::vector<std::string> found;
    harvest_head_strings(u8(far), far.size(), {"Kick"}, found);
    EXPECT_EQ(found, (std::vector<std::string>{"Kick", "Snare"}));
    const std::string both = text("Bass") + far;
    harvest_head_strings(u8(both), both.size(), {"Kick", "Bass"}, found);
    EXPECT_EQ(found, (std::vector<std::string>{"Bass"}));
}

// The session's track list is the run of the most known names, whatever stands before it, and
// nothing but a gap ends a run.
TEST(HarvestHeadStrings, TheRunOfTheMostKnownNames) {
    const std::string far = zeros(400000);
    struct Case {
        const char* what;
        std::string bytes;
        std::vector<std::string> known;
        std::vector<std::string> run;
    };
    const std::vector<Case> cases = {
        {"a run across byte 400,000 goes on",
         zeros(400000 - 12) + text("Kick") + text("Snare") + text("Bass") + text("Keys"),
         {"Kick", "Keys", "Organ"},
         {"Kick", "Snare", "Bass", "Keys"}},
        {"a clip named like its track before the track list",
         text("Vox") + zeros(60) + text("Vox") + text("Gtr"),
         {"Vox", "Gtr"},
         {"Vox", "Gtr"}},
        {"... and the track list past byte 400,000",
         text("Vox") + far + text("Vox") + text("Gtr"),
         {"Vox", "Gtr"},
         {"Vox", "Gtr"}},
        {"the first of two runs of as many names",
         text("Vox") + zeros(60) + text("Gtr"),
         {"Vox", "Gtr"},
         {"Vox"}},
        {"the first run of every name a run can hold",
         text("Vox") + text("Gtr") + zeros(60) + text("Vox") + text("Gtr") + text("Bass"),
         {"Vox", "Gtr", "Kick.wav"},
         {"Vox", "Gtr"}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> out;
        harvest_head_strings(u8(c.bytes), c.bytes.size(), c.known, out);
        EXPECT_EQ(out, c.run) << c.what;
    }
}

}  // namespace
