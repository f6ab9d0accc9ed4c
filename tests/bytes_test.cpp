#include "util/bytes.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace {

std::string hex_of(const std::string& bytes) {
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out.push_back(digits[c >> 4]);
        out.push_back(digits[c & 15]);
    }
    return out;
}

TEST(ByteAppenders, WriteTheirByteOrders) {
    std::string out;
    append_u32le(out, 0x11223344);
    append_u32be(out, 0x11223344);
    append_f64le(out, 1.0);
    EXPECT_EQ(hex_of(out),
              "44332211"
              "11223344"
              "000000000000f03f");
}

TEST(ByteAppenders, PinMaskSetsOneBitOrNone) {
    struct Case {
        unsigned bit;
        const char* hex;
    };
    const Case cases[] = {{0, "0100000000000000"},  {31, "0000008000000000"},
                          {32, "0000000001000000"}, {63, "0000000000000080"},
                          {64, "0000000000000000"}, {1000, "0000000000000000"}};
    for (const Case& c : cases) {
        std::string out;
        append_pin_mask64(out, c.bit);
        EXPECT_EQ(hex_of(out), c.hex) << "bit " << c.bit;
    }
}

TEST(ByteStrings, PutAndReadU32AtTheEdges) {
    std::string bytes(8, '\0');
    put_u32le_at(bytes, 4, 0xA1B2C3D4);
    EXPECT_EQ(hex_of(bytes), "00000000d4c3b2a1");
    EXPECT_EQ(read_u32le(reinterpret_cast<const std::uint8_t*>(bytes.data()), 4), 0xA1B2C3D4u);
    EXPECT_EQ(read_u32le_checked(bytes, 4), 0xA1B2C3D4u);

    // One byte short, or an offset that would wrap: no write, and a read of 0.
    put_u32le_at(bytes, 5, 0xFFFFFFFF);
    put_u32le_at(bytes, std::numeric_limits<std::size_t>::max() - 1, 0xFFFFFFFF);
    EXPECT_EQ(hex_of(bytes), "00000000d4c3b2a1");
    EXPECT_EQ(read_u32le_checked(bytes, 5), 0u);
    EXPECT_EQ(read_u32le_checked(bytes, std::numeric_limits<std::size_t>::max() - 1), 0u);
    EXPECT_EQ(read_u32le_checked(std::string(), 0), 0u);
}

TEST(CheckedReaders, ReadEachWidthUpToTheLastByteAndNotBeyond) {
    const std::vector<std::uint8_t> bytes = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09};
    const std::span<const std::uint8_t> all(bytes);
    struct Case {
        std::size_t width;
        std::uint64_t (*read)(std::span<const std::uint8_t>, std::size_t);
        std::uint64_t last;  // the value ending at the last byte
    };
    const Case cases[] = {
        {1, [](auto b, std::size_t p) -> std::uint64_t { return read_u8_checked(b, p); }, 0x09},
        {2, [](auto b, std::size_t p) -> std::uint64_t { return read_u16le_checked(b, p); },
         0x0908},
        {4, [](auto b, std::size_t p) -> std::uint64_t { return read_u32le_checked(b, p); },
         0x09080706},
        {5, read_u40le_checked, 0x0908070605},
        {6, read_u48le_checked, 0x090807060504},
        {8, read_u64le_checked, 0x0908070605040302},
    };
    for (const Case& c : cases) {
        const std::size_t at = bytes.size() - c.width;
        EXPECT_EQ(c.read(all, at), c.last) << "width " << c.width;
        EXPECT_EQ(read_uintle_checked(all, at, c.width), c.last) << "width " << c.width;
        EXPECT_EQ(c.read(all, at + 1), 0u) << "width " << c.width;
        EXPECT_EQ(c.read(all, std::numeric_limits<std::size_t>::max()), 0u);
        EXPECT_EQ(c.read(all.first(c.width - 1), 0), 0u) << "width " << c.width;
    }
    EXPECT_EQ(read_uintle_checked(all, 0, 0), 0u);
    EXPECT_EQ(read_uintle_checked(all, 0, 9), 0u);
    EXPECT_EQ(read_uintle_checked(all, 0, 3), 0x030201u);

    EXPECT_TRUE(bytes_fit(all, 9, 0));
    EXPECT_FALSE(bytes_fit(all, 10, 0));
    EXPECT_FALSE(bytes_fit(all, 1, std::numeric_limits<std::size_t>::max()));
}

}  // namespace
