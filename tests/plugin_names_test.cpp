#include <gtest/gtest.h>

#include <map>
#include <string>

#include "session/plugin_display_names.h"
#include "tests/plugin_blocks.h"

namespace {

using namespace test_plugins;

// A 0x1017 block: `lead` bytes from +9, then the name's length and text, the two codes stored
// reversed, and `after` more bytes.
std::string name_block(const std::string& lead, const std::string& name, const std::string& codes,
                       const std::string& after = zeros(4)) {
    return z_block(
        0x1017, lead + u32le(static_cast<std::uint32_t>(name.size())) + name + codes + after, 0x06);
}

std::map<std::string, std::string> names_of(const std::string& bytes) {
    std::map<std::string, std::string> out;
    read_plugin_display_names(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(),
                              out);
    return out;
}

TEST(PluginDisplayNames, PositionsCodesAndFirstNameWins) {
    const std::string session =
        zeros(8) + name_block(byte(4), "Polyphonic", "igiDPleF") +
        // +10 reads a length of 0x0700 (too long), so the name is read from +11.
        name_block(byte(4) + byte(0), "Pro-Q 3", "FbaFQorP") +
        name_block(byte(4), "Second name", "igiDPleF") +               // the first name stays
        name_block(byte(4), "Caf\xc3\xa9", "emcAoneV") +               // UTF-8 bytes
        name_block(byte(4), "Tab\tName", "emcAbaTT") +                 // a control byte
        name_block(byte(4), "Codes", std::string("emcA\x01xyz", 8)) +  // a code byte
        name_block(byte(4), "Cut", "emcAtuCC", "").substr(0, 20) + zeros(8);
    const std::map<std::string, std::string> expected = {
        {"DigiFelP", "Polyphonic"}, {"FabFProQ", "Pro-Q 3"}, {"AcmeVeno", "Caf\xc3\xa9"}};
    EXPECT_EQ(names_of(session), expected);
}

TEST(PluginDisplayNames, BlockBounds) {
    EXPECT_EQ(names_of(name_block(byte(4), "A", "emcAoneV", "")).size(), 1u);
    EXPECT_TRUE(names_of(name_block(byte(4), "A", "emcAoneV", zeros(3990))).empty());  // > 4000
    EXPECT_TRUE(names_of(name_block(byte(4), std::string(61, 'n'), "emcAoneV")).empty());
    // The codes must lie inside the block.
    EXPECT_TRUE(names_of(name_block(byte(4), "Short", "emcA", "") + "oneV" + zeros(4)).empty());
}

}  // namespace
