#include "platform/ptformat.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "block_builder.h"
#include "test_support.h"

namespace {

using namespace test_blocks;

// Restores the process-wide flag that a test sets.
struct AllowUnknownVersionGuard {
    bool saved = PTFFormat::allow_unknown_version;
    ~AllowUnknownVersionGuard() { PTFFormat::allow_unknown_version = saved; }
};

// A decrypted session: header, the lead block, the version block at 0x1F, then `body`. The
// filler pushes the body past the first 4096 bytes, which scheme 0x05 leaves unchanged.
std::string make_session(const std::string& body, std::uint32_t version = 12,
                         std::uint8_t scheme = 0x05, std::uint8_t seed = 0x3C,
                         std::uint8_t byte_order = 0) {
    return session_header(scheme, seed, byte_order) + lead_block() + version_block(version) +
           z_block(0x7777, zeros(5000)) + body;
}

const std::string kStandardBody =
    rate_block(48000) + audio_files_block(1, {{"tone.wav", "EVAW"}}, {4800});

void write_session(const std::filesystem::path& path, const std::string& decrypted) {
    std::vector<std::uint8_t> bytes = to_bytes(decrypted);
    ASSERT_TRUE(ptf_xor_crypt(bytes));
    write_file(path, bytes);
}

TEST(PtfCrypt, KeyStepsFollowTheSchemeAndSeed) {
    // Scheme 0x01, seed 53: step 1, key index i mod 256, so a zero buffer becomes i mod 256.
    std::vector<std::uint8_t> zero1(600, 0);
    zero1[0x12] = 0x01;
    zero1[0x13] = 53;
    ASSERT_TRUE(ptf_xor_crypt(zero1));
    EXPECT_EQ(zero1[0x13], 53);
    EXPECT_EQ(zero1[0x14], 0x14);
    EXPECT_EQ(zero1[0x1FF], 0xFF);
    EXPECT_EQ(zero1[0x200], 0x00);

    // Scheme 0x05, seed 11: step 1 negated to 255, key index i >> 12: the first 4096 bytes stay.
    std::vector<std::uint8_t> zero5(0x2001, 0);
    zero5[0x12] = 0x05;
    zero5[0x13] = 11;
    ASSERT_TRUE(ptf_xor_crypt(zero5));
    EXPECT_EQ(zero5[0xFFF], 0x00);
    EXPECT_EQ(zero5[0x1000], 0xFF);
    EXPECT_EQ(zero5[0x1FFF], 0xFF);
    EXPECT_EQ(zero5[0x2000], 0xFE);

    // Too short or an unknown scheme: untouched.
    std::vector<std::uint8_t> short_one(19, 0x01);
    EXPECT_FALSE(ptf_xor_crypt(short_one));
    EXPECT_EQ(short_one, std::vector<std::uint8_t>(19, 0x01));
    std::vector<std::uint8_t> unknown(100, 0x07);
    EXPECT_FALSE(ptf_xor_crypt(unknown));
    EXPECT_EQ(unknown, std::vector<std::uint8_t>(100, 0x07));
}

TEST(PtfCrypt, IsItsOwnInverseForEverySeedOfBothSchemes) {
    std::mt19937 random(7);
    std::vector<std::uint8_t> plain(0x3000);
    for (std::uint8_t& b : plain) b = static_cast<std::uint8_t>(random());
    for (std::uint8_t scheme : {0x01, 0x05}) {
        for (int seed = 0; seed < 256; ++seed) {
            plain[0x12] = scheme;
            plain[0x13] = static_cast<std::uint8_t>(seed);
            std::vector<std::uint8_t> bytes = plain;
            ASSERT_TRUE(ptf_xor_crypt(bytes));
            EXPECT_TRUE(std::equal(plain.begin(), plain.begin() + 0x14, bytes.begin()));
            if (seed != 0) {
                EXPECT_NE(bytes, plain) << "scheme " << int(scheme) << " seed " << seed;
            }
            ASSERT_TRUE(ptf_xor_crypt(bytes));
            ASSERT_EQ(bytes, plain) << "scheme " << int(scheme) << " seed " << seed;
        }
    }
}

TEST(PtfLoad, BothSchemesLoadTheSameSession) {
    test_support::TempDir dir;
    for (std::uint8_t scheme : {0x01, 0x05}) {
        const std::string decrypted = make_session(kStandardBody, 12, scheme, 0xA7);
        write_session(dir.file("s.ptx"), decrypted);
        PTFFormat session;
        ASSERT_EQ(session.load(dir.file("s.ptx"), 44100), 0) << int(scheme);
        EXPECT_EQ(session.bytes(), to_bytes(decrypted));
        EXPECT_EQ(session.length(), decrypted.size());
        EXPECT_EQ(session.version(), 12);
        EXPECT_EQ(session.sample_rate(), 48000);
        EXPECT_EQ(session.target_rate(), 44100);
        ASSERT_EQ(session.audio_files().size(), 1u);
        EXPECT_EQ(session.audio_files()[0].name, "tone.wav");
        EXPECT_EQ(session.audio_files()[0].length, 4800u);
        EXPECT_TRUE(session.regions().empty());
        EXPECT_TRUE(session.tracks().empty());
        EXPECT_TRUE(session.midi_tracks().empty());
    }
}

TEST(PtfLoad, ReturnCodes) {
    test_support::TempDir dir;
    std::string no_marker = make_session(kStandardBody);
    no_marker[0] = 0x00;
    no_marker.replace(1, 16, "0000000000000000");
    std::string lead_byte_only = make_session(kStandardBody);
    lead_byte_only.replace(1, 16, "0000000000000000");

    struct Case {
        const char* what;
        std::string decrypted;  // empty: no file written
        bool encrypt;
        int code;
        std::int64_t rate;
    };
    const std::vector<Case> cases = {
        {"missing file", "", false, -1, 0},
        {"19 bytes", session_header().substr(0, 19), false, -1, 0},
        {"unknown scheme", make_session(kStandardBody, 12, 0x03), false, -1, 0},
        {"no version marker", no_marker, true, -2, 0},
        {"marker byte without its text", lead_byte_only, true, 0, 48000},
        {"version 13", make_session(kStandardBody, 13), true, -3, 0},
        {"version 4", make_session(kStandardBody, 4), true, -3, 0},
        {"version 5", make_session(kStandardBody, 5), true, 0, 48000},
        {"rate 22050", make_session(rate_block(22050)), true, -4, 22050},
        {"rate 192001", make_session(rate_block(192001)), true, -4, 192001},
        {"rate 192000", make_session(rate_block(192000)), true, 0, 192000},
        {"no rate", make_session(audio_files_block(0, {}, {})), true, -4, 0},
        {"big-endian", make_session(kStandardBody, 12, 0x01, 0x89, 1), true, -4, 0},
    };
    for (const Case& c : cases) {
        const std::filesystem::path path = dir.file(std::string(c.what) + ".ptx");
        if (!c.decrypted.empty()) {
            if (c.encrypt) {
                write_session(path, c.decrypted);
            } else {
                write_file(path, to_bytes(c.decrypted));
            }
        }
        PTFFormat session;
        EXPECT_EQ(session.load(path.string(), 48000), c.code) << c.what;
        EXPECT_EQ(session.sample_rate(), c.rate) << c.what;
        if (c.code == -1) {
            EXPECT_EQ(session.length(), 0u) << c.what;
        }
    }
}

TEST(PtfLoad, UnknownVersionLoadsOnceAllowedAndStaysAllowed) {
    AllowUnknownVersionGuard guard;
    PTFFormat::allow_unknown_version = false;
    test_support::TempDir dir;
    write_session(dir.file("v13.ptx"), make_session(kStandardBody, 13));
    const std::string path = dir.file("v13.ptx");

    PTFFormat session;
    EXPECT_EQ(session.load(path, 48000), -3);
    EXPECT_EQ(session.version(), 13);
    PTFFormat::allow_unknown_version = true;
    EXPECT_EQ(session.load(path, 48000), 0);
    PTFFormat fresh;
    EXPECT_EQ(fresh.load(path, 48000), 0);
    EXPECT_EQ(fresh.version(), 13);
    EXPECT_EQ(fresh.audio_files().size(), 1u);
}

TEST(PtfLoad, AReloadForgetsThePreviousSession) {
    test_support::TempDir dir;
    write_session(dir.file("good.ptx"), make_session(kStandardBody));
    PTFFormat session;
    ASSERT_EQ(session.load(dir.file("good.ptx"), 48000), 0);
    EXPECT_EQ(session.load(dir.file("absent.ptx"), 96000), -1);
    EXPECT_EQ(session.length(), 0u);
    EXPECT_EQ(session.sample_rate(), 0);
    EXPECT_EQ(session.version(), 0);
    EXPECT_TRUE(session.audio_files().empty());
    EXPECT_EQ(session.target_rate(), 96000);
}

TEST(PtfVersion, ReadFromEitherBlockOrTheHeaderBytes) {
    test_support::TempDir dir;
    const std::string header = session_header() + lead_block();
    // Pro Tools 5 to 9: a product name, one u32, then the version.
    const std::string old_block =
        z_block(0x0003, zeros(1) + u32le(12) + "Pro Tools LE" + u32le(3) + u32le(8) + zeros(4));
    // Without a block at 0x1F the number stands in byte 0x40, else 0x3D, else 0x3A + 2.
    auto with_bytes = [&](std::uint8_t at3a, std::uint8_t at3d, std::uint8_t at40) {
        std::string s = session_header() + zeros(0x60);
        s[0x3A] = static_cast<char>(at3a);
        s[0x3D] = static_cast<char>(at3d);
        s[0x40] = static_cast<char>(at40);
        return s;
    };
    struct Case {
        const char* what;
        std::string decrypted;
        int version;
    };
    const Case cases[] = {
        {"2067 block", header + version_block(11) + zeros(8), 11},
        {"0003 block", header + old_block, 8},
        {"2067 block too short for the number", header + z_block(0x2067, zeros(4)), 0},
        {"0003 block whose name runs past the end",
         header + z_block(0x0003, zeros(1) + u32le(500) + "Pro Tools"), 0},
        {"byte 0x40", with_bytes(3, 6, 7), 7},
        {"byte 0x3D", with_bytes(3, 6, 0), 6},
        {"byte 0x3A", with_bytes(3, 0, 0), 5},
        {"header bytes all zero", with_bytes(0, 0, 0), 2},
        {"too short for the header bytes", session_header() + zeros(0x3A - 20), 0},
    };
    for (const Case& c : cases) {
        write_session(dir.file("v.ptx"), c.decrypted);
        PTFFormat session;
        ASSERT_EQ(session.unxor(dir.file("v.ptx")), 0) << c.what;
        EXPECT_EQ(session.version(), c.version) << c.what;
        EXPECT_EQ(session.bytes(), to_bytes(c.decrypted)) << c.what;
    }

    PTFFormat missing;
    EXPECT_EQ(missing.unxor(dir.file("absent.ptx")), -1);
    EXPECT_TRUE(missing.bytes().empty());
    EXPECT_EQ(missing.version(), 0);
}

TEST(PtfAudioFiles, EntryRulesCountAndLengthsInListOrder) {
    const std::vector<FileEntry> entries = {
        {"Audio Files", zeros(4)},                       // folder
        {"a.wav", "EVAW"},         {"b.aif", zeros(4)},  // a file only from version 10 on
        {"c.grp", "WAVE"},                               // folder whatever its type
        {"Fade Files", zeros(4)},  {"e.aiff", "AIFF"},
        {"f.wav", "FFIA"},         {"g.wav", "WAVE"},  // past the count on version 12
    };
    const std::string body = rate_block(44100) + audio_files_block(4, entries, {100, 200, 300});
    struct Case {
        std::uint32_t version;
        std::vector<std::string> names;
    };
    const Case cases[] = {{12, {"a.wav", "b.aif", "e.aiff", "f.wav"}},
                          {9, {"a.wav", "e.aiff", "f.wav", "g.wav"}}};
    test_support::TempDir dir;
    for (const Case& c : cases) {
        write_session(dir.file("f.ptx"), make_session(body, c.version));
        PTFFormat session;
        ASSERT_EQ(session.load(dir.file("f.ptx"), 48000), 0);
        std::vector<std::string> names;
        for (const PtfAudioFile& file : session.audio_files()) names.push_back(file.name);
        EXPECT_EQ(names, c.names) << "version " << c.version;
        ASSERT_EQ(session.audio_files().size(), 4u);
        EXPECT_EQ(session.audio_files()[0].length, 100u);
        EXPECT_EQ(session.audio_files()[2].length, 300u);
        EXPECT_EQ(session.audio_files()[3].length, 0u);  // no length block left for it
    }
}

std::filesystem::path real_session(const char* name) {
    return sessions_dir() / name;
}

TEST(PtfRealSessions, LoadWithVersionRateAndAudioFiles) {
    if (!std::filesystem::exists(real_session("RegionTest.ptx"))) {
        GTEST_SKIP() << "real sessions not found in " << sessions_dir();
    }
    struct Case {
        const char* name;
        std::int64_t rate;
        std::vector<std::pair<std::string, std::uint64_t>> files;
    };
    const Case cases[] = {
        {"RegionTest.ptx", 44100, {{"region_name_WAV.wav", 5910132}}},
        {"TestPTX.ptx",
         48000,
         {{"monoTone.wav", 480000},
          {"monoTone.1.aif", 480000},
          {"stereoTone.L.aif", 480000},
          {"stereoTone.R.aif", 480000}}},
        {"Untitled32.ptx", 44100, {}},
        {"MetadataFields.ptx", 44100, {}},
    };
    for (const Case& c : cases) {
        PTFFormat session;
        ASSERT_EQ(session.load(real_session(c.name).string(), 48000), 0) << c.name;
        EXPECT_EQ(session.version(), 12) << c.name;
        EXPECT_EQ(session.sample_rate(), c.rate) << c.name;
        EXPECT_EQ(session.length(), std::filesystem::file_size(real_session(c.name))) << c.name;
        EXPECT_EQ(session.bytes()[0], 0x03) << c.name;
        std::vector<std::pair<std::string, std::uint64_t>> files;
        for (const PtfAudioFile& file : session.audio_files())
            files.emplace_back(file.name, file.length);
        EXPECT_EQ(files, c.files) << c.name;
    }
}

TEST(PtfRealSessions, OlderSessionsDecryptAndShowTheirFormat) {
    if (!std::filesystem::exists(real_session("Fa_16_48.pts"))) {
        GTEST_SKIP() << "older sessions not found in " << sessions_dir();
    }
    const std::string marker = "0010111100101011";
    struct Case {
        const char* name;
        std::uint8_t scheme;
        std::uint8_t byte_order;
        int version;
        int load_code;
        std::int64_t rate;
    };
    // The .ptf is a little-endian Pro Tools 8 session at a supported rate, so the layer loads it;
    // the driver refuses it as an older format by its scheme byte and its name.
    const Case cases[] = {{"goodplaylists2.ptf", 0x01, 0, 8, 0, 48000},
                          {"Fa_16_48.pts", 0x01, 1, 5, -4, 0}};
    for (const Case& c : cases) {
        PTFFormat raw;
        ASSERT_EQ(raw.unxor(real_session(c.name).string()), 0) << c.name;
        ASSERT_GT(raw.length(), 20u);
        EXPECT_EQ(raw.bytes()[0], 0x03) << c.name;
        EXPECT_EQ(std::string(raw.bytes().begin() + 1, raw.bytes().begin() + 17), marker);
        EXPECT_EQ(raw.bytes()[0x11], c.byte_order) << c.name;
        EXPECT_EQ(raw.bytes()[0x12], c.scheme) << c.name;
        EXPECT_EQ(raw.version(), c.version) << c.name;

        PTFFormat session;
        EXPECT_EQ(session.load(real_session(c.name).string(), 48000), c.load_code) << c.name;
        EXPECT_EQ(session.version(), c.version) << c.name;
        EXPECT_EQ(session.sample_rate(), c.rate) << c.name;
    }
}

void expect_total(const std::filesystem::path& path, const std::string& what) {
    PTFFormat session;
    const int code = session.load(path.string(), 48000);
    EXPECT_TRUE(code == 0 || code == -1 || code == -2 || code == -3 || code == -4) << what;
    if (code == 0) {
        EXPECT_GE(session.sample_rate(), 44100) << what;
        EXPECT_LE(session.sample_rate(), 192000) << what;
    }
    PTFFormat raw;
    const int unxor_code = raw.unxor(path.string());
    EXPECT_TRUE(unxor_code == 0 || unxor_code == -1) << what;
    EXPECT_EQ(raw.bytes().empty(), unxor_code == -1) << what;
}

TEST(PtfDamage, TruncatedAndCorruptedRealSessionsNeverCrash) {
    if (!std::filesystem::exists(real_session("TestPTX.ptx"))) {
        GTEST_SKIP() << "real sessions not found in " << sessions_dir();
    }
    test_support::TempDir dir;
    const std::filesystem::path copy = dir.file("cut.ptx");
    std::mt19937 random(99);
    for (const char* name :
         {"RegionTest.ptx", "TestPTX.ptx", "goodplaylists2.ptf", "Fa_16_48.pts"}) {
        const std::vector<std::uint8_t> whole = read_file(real_session(name));
        for (std::size_t length = 0; length < whole.size(); length += 509) {
            write_file(copy, std::vector<std::uint8_t>(whole.begin(), whole.begin() + length));
            expect_total(copy, std::string(name) + " cut to " + std::to_string(length));
        }
        for (int round = 0; round < 20; ++round) {
            std::vector<std::uint8_t> damaged = whole;
            for (int k = 0; k < 40; ++k) damaged[random() % damaged.size()] = random();
            write_file(copy, damaged);
            expect_total(copy, std::string(name) + " damaged, round " + std::to_string(round));
        }
    }
}

TEST(PtfDamage, RandomFilesNeverCrash) {
    test_support::TempDir dir;
    const std::filesystem::path path = dir.file("random.ptx");
    std::mt19937 random(1234);
    const std::uint8_t alphabet[] = {'Z', 'Z', 0, 0, 0, 1, 2, 9, 0x10, 0x28, 0x04, 0x3A, 0xFF};
    for (int round = 0; round < 300; ++round) {
        std::string decrypted;
        if (round % 2 == 0) decrypted = session_header(round % 4 == 0 ? 0x01 : 0x05, random());
        decrypted += lead_block() + version_block(5 + random() % 8);
        const std::size_t extra = random() % 3000;
        for (std::size_t i = 0; i < extra; ++i) {
            decrypted.push_back(static_cast<char>(alphabet[random() % sizeof(alphabet)]));
        }
        std::vector<std::uint8_t> bytes = to_bytes(decrypted);
        ptf_xor_crypt(bytes);
        write_file(path, bytes);
        expect_total(path, "round " + std::to_string(round));
    }
}

}  // namespace
