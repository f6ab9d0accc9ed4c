#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "melodyne/zlib_encode.h"
#include "util/adler32.h"
#include "util/zlib_inflate.h"

#ifdef LANWICK_HAVE_SYSTEM_ZLIB
#include <zlib.h>
#endif

namespace {

const uint8_t* bytes_of(const std::string& s) {
    return reinterpret_cast<const uint8_t*>(s.data());
}

std::string hex(const std::string& s) {
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (unsigned char c : s) {
        if (!out.empty()) out += ' ';
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

bool inflate(const std::string& stream, std::string& out) {
    return inflate_zlib(bytes_of(stream), stream.size(), out);
}

// Near the end of its input the inflater decodes with exact bit accounting, elsewhere through a
// faster path; bytes after the final block are ignored, so padding the stream must not change
// the result and sends the same symbols through the other path.
const std::string kPadding(16, '\0');

bool inflates_to(const std::string& stream, const std::string& expected) {
    std::string out;
    std::string padded_out;
    return inflate(stream, out) && out == expected && inflate(stream + kPadding, padded_out) &&
           padded_out == expected;
}

bool inflate_fails(const std::string& stream) {
    std::string out;
    return !inflate(stream, out) && !inflate(stream + kPadding, out);
}

std::string compress_ours(const std::string& data) {
    return zlib_compress_fixed(bytes_of(data), data.size());
}

// ---- test data ----

std::string make_data(const std::string& kind, size_t size) {
    std::mt19937 rng(static_cast<uint32_t>(size * 31 + kind.size()));
    std::string s;
    s.reserve(size);
    if (kind == "zeros") {
        s.assign(size, '\0');
    } else if (kind == "runs") {
        while (s.size() < size)
            s.append(std::min<size_t>(rng() % 300 + 1, size - s.size()),
                     static_cast<char>(rng() % 4 + 'a'));
    } else if (kind.rfind("random", 0) == 0) {
        uint32_t symbols = static_cast<uint32_t>(std::stoul(kind.substr(6)));
        for (size_t i = 0; i < size; ++i) s += static_cast<char>(rng() % symbols);
    } else if (kind == "text") {
        static const char* words[] = {"the ",   "track ",   "region ",  "fade ",    "of ",
                                      "clip ",  "gain, ",   "and ",     "session ", "a ",
                                      "tempo ", "marker\n", "plug-in ", "send ",    "bus. "};
        while (s.size() < size) s += words[rng() % std::size(words)];
        s.resize(size);
    } else if (kind == "periodic") {
        for (size_t i = 0; i < size; ++i) s += static_cast<char>((i * 7 + i / 1000) % 251);
    }
    return s;
}

const std::vector<std::string> kKinds = {"zeros",    "runs",      "random2", "random4",
                                         "random16", "random256", "text",    "periodic"};

// ---- a bit writer for hand-made streams ----

struct Bits {
    std::string bytes{"\x78\x9c", 2};
    uint32_t acc = 0;
    int count = 0;

    Bits& put(uint32_t value, int n) {  // least significant bit first
        for (int i = 0; i < n; ++i) {
            acc |= ((value >> i) & 1) << count;
            if (++count == 8) {
                bytes += static_cast<char>(acc);
                acc = 0;
                count = 0;
            }
        }
        return *this;
    }
    Bits& code(uint32_t value, int n) {  // Huffman codes: most significant bit first
        for (int i = n - 1; i >= 0; --i) put((value >> i) & 1, 1);
        return *this;
    }
    std::string done() {
        if (count > 0) put(0, 8 - count);
        return bytes;
    }
};

// A canonical code built from code lengths, as a writer needs it.
struct Code {
    std::vector<int> lengths;
    std::vector<uint32_t> codes;

    explicit Code(std::vector<int> lens) : lengths(std::move(lens)), codes(lengths.size()) {
        int count[16] = {};
        for (int len : lengths) ++count[len];
        count[0] = 0;
        uint32_t next[16] = {};
        uint32_t code = 0;
        for (int len = 1; len < 16; ++len) {
            code = (code + count[len - 1]) << 1;
            next[len] = code;
        }
        for (size_t i = 0; i < lengths.size(); ++i) {
            if (lengths[i] != 0) codes[i] = next[lengths[i]]++;
        }
    }
    void put(Bits& b, int symbol) const { b.code(codes[symbol], lengths[symbol]); }
};

Code fixed_literal_code() {
    std::vector<int> lens(288, 8);
    std::fill(lens.begin() + 144, lens.begin() + 256, 9);
    std::fill(lens.begin() + 256, lens.begin() + 280, 7);
    return Code(lens);
}

// Symbols 0..15 of the code-length code, 4 bits each (a complete code).
std::array<int, 19> plain_cl() {
    std::array<int, 19> cl{};
    for (int i = 0; i < 16; ++i) cl[i] = 4;
    return cl;
}

struct ClItem {
    int symbol;
    uint32_t extra = 0;
    int extra_bits = 0;
};

void put_dynamic_header(Bits& b, bool final, int hlit, int hdist, const std::array<int, 19>& cl,
                        const std::vector<ClItem>& items) {
    static const int order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    b.put(final ? 1 : 0, 1).put(2, 2).put(hlit - 257, 5).put(hdist - 1, 5).put(19 - 4, 4);
    for (int sym : order) b.put(cl[sym], 3);
    Code cl_code(std::vector<int>(cl.begin(), cl.end()));
    for (const ClItem& item : items) {
        cl_code.put(b, item.symbol);
        b.put(item.extra, item.extra_bits);
    }
}

// A dynamic block header giving every length as its own code-length symbol.
void put_dynamic_header(Bits& b, const std::vector<int>& lit, const std::vector<int>& dist) {
    std::vector<ClItem> items;
    for (int len : lit) items.push_back({len});
    for (int len : dist) items.push_back({len});
    put_dynamic_header(b, true, static_cast<int>(lit.size()), static_cast<int>(dist.size()),
                       plain_cl(), items);
}

std::vector<int> lengths_with(size_t size, std::initializer_list<std::pair<int, int>> set) {
    std::vector<int> lens(size, 0);
    for (auto [sym, len] : set) lens[sym] = len;
    return lens;
}

#ifdef LANWICK_HAVE_SYSTEM_ZLIB
// zlib's own inflate of the DEFLATE data after the two header bytes; the trailer is not needed.
bool zlib_raw_inflate(const std::string& stream, std::string& out) {
    if (stream.size() < 2) return false;
    z_stream z{};
    if (inflateInit2(&z, -15) != Z_OK) return false;
    z.next_in = const_cast<Bytef*>(bytes_of(stream) + 2);
    z.avail_in = static_cast<uInt>(stream.size() - 2);
    out.clear();
    int rc = Z_OK;
    char buf[65536];
    while (rc == Z_OK) {
        z.next_out = reinterpret_cast<Bytef*>(buf);
        z.avail_out = sizeof buf;
        rc = inflate(&z, Z_NO_FLUSH);
        out.append(buf, sizeof buf - z.avail_out);
        if (rc == Z_OK && z.avail_in == 0 && z.avail_out != 0) break;
    }
    inflateEnd(&z);
    return rc == Z_STREAM_END;
}

// zlib's uncompress, which also checks the Adler-32 trailer.
bool zlib_uncompress(const std::string& stream, size_t size, std::string& out) {
    out.assign(size + 1, '\0');
    uLongf out_len = static_cast<uLongf>(out.size());
    int rc = uncompress(reinterpret_cast<Bytef*>(out.data()), &out_len, bytes_of(stream),
                        static_cast<uLong>(stream.size()));
    out.resize(out_len);
    return rc == Z_OK;
}

std::string zlib_compress(const std::string& data, int level) {
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    std::string out(size, '\0');
    EXPECT_EQ(compress2(reinterpret_cast<Bytef*>(out.data()), &size, bytes_of(data),
                        static_cast<uLong>(data.size()), level),
              Z_OK);
    out.resize(size);
    return out;
}
#endif

}  // namespace

// ---- Adler-32 ----

TEST(Adler32, KnownValuesAndContinuation) {
    EXPECT_EQ(adler32(nullptr, 0), 1u);
    const std::string wiki = "Wikipedia";
    EXPECT_EQ(adler32(bytes_of(wiki), wiki.size()), 0x11E60398u);

    // Long runs of 0xFF stress the deferred modulo; compare with the plain byte-at-a-time sums.
    std::string data(1 << 20, '\xff');
    for (size_t i = 0; i < data.size(); i += 4099) data[i] = static_cast<char>(i);
    uint32_t s1 = 1;
    uint32_t s2 = 0;
    for (unsigned char c : data) {
        s1 = (s1 + c) % 65521;
        s2 = (s2 + s1) % 65521;
    }
    EXPECT_EQ(adler32(bytes_of(data), data.size()), (s2 << 16) | s1);
    uint32_t part = adler32(bytes_of(data), 12345);
    EXPECT_EQ(adler32(bytes_of(data) + 12345, data.size() - 12345, part), (s2 << 16) | s1);
}

// ---- encoder ----

TEST(ZlibEncoder, KnownStreams) {
    EXPECT_EQ(hex(compress_ours("")), "78 9c 03 00 00 00 00 01");
    EXPECT_EQ(hex(compress_ours(std::string(300, 'a'))), "78 9c 4b 1c 05 44 03 00 d8 a8 71 ad");
}

TEST(ZlibEncoder, RefusesInputsOf2GiB) {
    // The length is checked before any byte is read.
    uint8_t byte = 0;
    EXPECT_TRUE(zlib_compress_fixed(&byte, size_t{1} << 31).empty());
}

TEST(ZlibEncoder, RoundTripsThroughBothInflaters) {
    const size_t sizes[] = {0, 1, 2, 3, 4, 257, 258, 259, 260, 32767, 32768, 32769, 70000, 1 << 20};
    for (const std::string& kind : kKinds) {
        for (size_t size : sizes) {
            SCOPED_TRACE(kind + " " + std::to_string(size));
            std::string data = make_data(kind, size);
            std::string stream = compress_ours(data);
            ASSERT_GE(stream.size(), 8u);
            EXPECT_EQ(stream.substr(0, 2), "\x78\x9c");
            uint32_t adler = adler32(bytes_of(data), data.size());
            EXPECT_EQ(stream.substr(stream.size() - 4),
                      std::string({static_cast<char>(adler >> 24), static_cast<char>(adler >> 16),
                                   static_cast<char>(adler >> 8), static_cast<char>(adler)}));
            EXPECT_TRUE(inflates_to(stream, data));
#ifdef LANWICK_HAVE_SYSTEM_ZLIB
            std::string out;
            EXPECT_TRUE(zlib_uncompress(stream, data.size(), out));
            EXPECT_TRUE(out == data);
#endif
        }
    }
}

TEST(ZlibEncoder, UsesDistance32768ButNotBeyond) {
    const std::string block = make_data("random256", 32768);
    // The second copy can only come from exactly 32768 bytes back.
    const std::string at_window = block + block;
    std::string stream = compress_ours(at_window);
    EXPECT_LT(stream.size(), 36000u);  // random bytes alone need about 36 KB
    EXPECT_TRUE(inflates_to(stream, at_window));

    // One byte further is out of reach: the second copy stays literal.
    const std::string past_window = block + "x" + block;
    stream = compress_ours(past_window);
    EXPECT_GT(stream.size(), 65000u);
    EXPECT_TRUE(inflates_to(stream, past_window));
#ifdef LANWICK_HAVE_SYSTEM_ZLIB
    std::string out;
    EXPECT_TRUE(zlib_uncompress(compress_ours(at_window), at_window.size(), out));
    EXPECT_TRUE(out == at_window);
    EXPECT_TRUE(zlib_uncompress(stream, past_window.size(), out));
    EXPECT_TRUE(out == past_window);
#endif
}

// ---- inflater ----

#ifdef LANWICK_HAVE_SYSTEM_ZLIB
TEST(ZlibInflate, ReadsWhatZlibWritesAtEveryLevel) {
    const size_t sizes[] = {0, 1, 259, 32769, 70000, 1 << 20};
    for (int level : {0, 1, 6, 9}) {
        for (const std::string& kind : kKinds) {
            for (size_t size : sizes) {
                SCOPED_TRACE(kind + " " + std::to_string(size) + " level " + std::to_string(level));
                std::string data = make_data(kind, size);
                EXPECT_TRUE(inflates_to(zlib_compress(data, level), data));
            }
        }
    }
}
#endif

TEST(ZlibInflate, Header) {
    struct Case {
        std::string stream;
        bool ok;
    };
    const Case cases[] = {
        {std::string("\x78\x9c\x03\x00", 4), true},
        {std::string("\x78\x9d\x03\x00", 4), false},  // not a multiple of 31
        {std::string("\x79\x9c\x03\x00", 4), false},  // method 9
        {std::string("\x78\x01\x03\x00", 4), true},
        {std::string("\x78\xbb\x03\x00", 4), true},  // the dictionary flag is not looked at
        {std::string("\x78", 1), false},
        {std::string(), false},
        {std::string("\x78\x9c", 2), false},  // no block
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(hex(c.stream));
        std::string out = "stale";
        EXPECT_EQ(inflate(c.stream, out), c.ok);
        if (c.ok) {
            EXPECT_EQ(out, "");
        }
    }
}

TEST(ZlibInflate, TrailerIsNotCheckedAndTrailingBytesAreIgnored) {
    const std::string data = make_data("text", 5000);
    std::string stream = compress_ours(data);
    std::string body = stream.substr(0, stream.size() - 4);
    EXPECT_TRUE(inflates_to(body, data));
    EXPECT_TRUE(inflates_to(body + "\x01\x02\x03\x04", data));
    EXPECT_TRUE(inflates_to(stream + "trailing garbage", data));
}

TEST(ZlibInflate, EveryTruncationFails) {
    const std::string data = make_data("text", 3000) + make_data("random16", 300);
    std::vector<std::string> streams = {compress_ours(data)};
#ifdef LANWICK_HAVE_SYSTEM_ZLIB
    streams.push_back(zlib_compress(data, 9));  // dynamic blocks
    streams.push_back(zlib_compress(data, 0));  // stored blocks
#endif
    for (const std::string& stream : streams) {
        // The final block ends in the byte before the four trailer bytes.
        for (size_t cut = 0; cut + 4 < stream.size(); ++cut) {
            std::string out;
            ASSERT_FALSE(inflate(stream.substr(0, cut), out)) << "cut at " << cut;
        }
        EXPECT_TRUE(inflates_to(stream.substr(0, stream.size() - 4), data));
    }
}

TEST(ZlibInflate, StoredBlocks) {
    auto stored = [](uint16_t len, uint16_t nlen, const std::string& payload) {
        std::string s = Bits().put(1, 1).put(0, 2).done();
        s += static_cast<char>(len & 0xFF);
        s += static_cast<char>(len >> 8);
        s += static_cast<char>(nlen & 0xFF);
        s += static_cast<char>(nlen >> 8);
        return s + payload;
    };
    EXPECT_TRUE(inflates_to(stored(0, 0xFFFF, ""), ""));
    EXPECT_TRUE(inflates_to(stored(5, 0xFFFA, "hello"), "hello"));
    EXPECT_TRUE(inflate_fails(stored(5, 0xFFFB, "hello")));  // NLEN not the complement
    std::string out;
    EXPECT_FALSE(inflate(stored(5, 0xFFFA, "hell"), out));  // payload cut short
    EXPECT_FALSE(inflate(stored(0, 0xFFFF, "").substr(0, 5), out));

    // A stored block after a fixed block starts on the next byte boundary.
    Code lit = fixed_literal_code();
    Bits b;
    b.put(0, 1).put(1, 2);
    lit.put(b, 'A');
    lit.put(b, 256);
    b.put(1, 1).put(0, 2);
    std::string s = b.done() + std::string(
                                   "\x02\x00\xfd\xff"
                                   "BC",
                                   6);
    EXPECT_TRUE(inflates_to(s, "ABC"));
}

TEST(ZlibInflate, FixedBlocks) {
    const Code lit = fixed_literal_code();
    // Literals then a match of length 3 at `distance`, then `last` as the final symbol.
    auto stream = [&](const std::string& literals, int distance_code, int last) {
        Bits b;
        b.put(1, 1).put(1, 2);
        for (char c : literals) lit.put(b, static_cast<unsigned char>(c));
        if (distance_code >= 0) {
            lit.put(b, 257);
            b.code(static_cast<uint32_t>(distance_code), 5);
        }
        lit.put(b, last);
        return b.done();
    };
    EXPECT_TRUE(inflates_to(stream("ab", 1, 256), "ababa"));  // distance 2 = all the output
    EXPECT_TRUE(inflates_to(stream("abc", 2, 256), "abcabc"));
    EXPECT_TRUE(inflate_fails(stream("a", 1, 256)));    // distance 2 reaches before the start
    EXPECT_TRUE(inflate_fails(stream("", 0, 256)));     // nothing to copy from yet
    EXPECT_TRUE(inflate_fails(stream("ab", 30, 256)));  // distance codes 30 and 31 do not exist
    EXPECT_TRUE(inflate_fails(stream("ab", 31, 256)));
    EXPECT_TRUE(inflate_fails(stream("ab", -1, 286)));  // neither do lengths 286 and 287
    EXPECT_TRUE(inflate_fails(stream("ab", -1, 287)));
    EXPECT_TRUE(inflate_fails(Bits().put(1, 1).put(3, 2).done()));  // block type 3
}

// Each stream below is a valid block but for one fault in its header, followed by the symbols
// "a" and end-of-block, so only the check for that fault can refuse it.
TEST(ZlibInflate, DynamicBlockHeaders) {
    const std::vector<int> lit = lengths_with(257, {{'a', 1}, {256, 1}});
    auto items_of = [](const std::vector<int>& lit_lengths, const std::vector<int>& dist) {
        std::vector<ClItem> items;
        for (int len : lit_lengths) items.push_back({len});
        for (int len : dist) items.push_back({len});
        return items;
    };
    auto block = [](int hlit, int hdist, const std::array<int, 19>& cl,
                    const std::vector<ClItem>& items, const std::vector<int>& lit_lengths) {
        Bits b;
        put_dynamic_header(b, true, hlit, hdist, cl, items);
        Code code(lit_lengths);
        code.put(b, 'a');
        code.put(b, 256);
        return b.done();
    };
    std::array<int, 19> cl_with_16 = plain_cl();  // 0..14 of 4 bits, 15 and 16 of 5
    cl_with_16[15] = 5;
    cl_with_16[16] = 5;

    // The unchanged blocks decode.
    EXPECT_TRUE(inflates_to(block(257, 1, plain_cl(), items_of(lit, {1}), lit), "a"));
    EXPECT_TRUE(inflates_to(block(257, 1, cl_with_16, items_of(lit, {1}), lit), "a"));
    EXPECT_TRUE(inflates_to(block(257, 2, cl_with_16, items_of(lit, {1, 1}), lit), "a"));

    struct Case {
        const char* name;
        std::string stream;
    };
    std::vector<ClItem> first16 = items_of(lit, {1});
    first16.erase(first16.begin(), first16.begin() + 3);
    first16.insert(first16.begin(), ClItem{16, 0, 2});
    std::vector<ClItem> overrun = items_of(lit, {1});
    overrun.push_back({16, 0, 2});  // three more lengths where one remains
    const std::vector<int> lit287 = lengths_with(287, {{'a', 1}, {256, 1}});
    std::array<int, 19> cl_incomplete = plain_cl();
    cl_incomplete[15] = 0;
    std::array<int, 19> cl_over = plain_cl();
    cl_over[17] = 4;
    const std::vector<int> lit_no_eob = lengths_with(257, {{'a', 1}, {'b', 1}});
    const std::vector<int> lit_over = lengths_with(257, {{'a', 1}, {'b', 1}, {256, 1}});
    const std::vector<int> lit_incomplete = lengths_with(257, {{'a', 1}, {256, 2}});
    std::vector<int> dist31(31, 0);
    dist31[0] = 1;

    const Case failing[] = {
        {"code 16 first", block(257, 1, cl_with_16, first16, lit)},
        {"repeat past the end", block(257, 2, cl_with_16, overrun, lit)},
        {"HLIT 287", block(287, 1, plain_cl(), items_of(lit287, {1}), lit287)},
        {"HDIST 31", block(257, 31, plain_cl(), items_of(lit, dist31), lit)},
        {"incomplete code-length code", block(257, 1, cl_incomplete, items_of(lit, {1}), lit)},
        {"over-subscribed code-length code", block(257, 1, cl_over, items_of(lit, {1}), lit)},
        {"no end-of-block code", block(257, 1, plain_cl(), items_of(lit_no_eob, {1}),
                                       lengths_with(257, {{'a', 1}, {256, 1}}))},
        {"over-subscribed literal code",
         block(257, 1, plain_cl(), items_of(lit_over, {1}), lit_over)},
        {"incomplete literal code",
         block(257, 1, plain_cl(), items_of(lit_incomplete, {1}), lit_incomplete)},
        {"incomplete distance code of two symbols",
         block(257, 2, plain_cl(), items_of(lit, {2, 2}), lit)},
    };
    for (const Case& c : failing) {
        SCOPED_TRACE(c.name);
        EXPECT_TRUE(inflate_fails(c.stream));
    }
}

TEST(ZlibInflate, LoneAndEmptyDistanceCodes) {
    const std::vector<int> lit = lengths_with(258, {{'a', 1}, {256, 2}, {257, 2}});
    auto stream = [&](const std::vector<int>& dist, bool with_match) {
        Bits b;
        put_dynamic_header(b, lit, dist);
        Code lc(lit);
        lc.put(b, 'a');
        if (with_match) {
            lc.put(b, 257);  // length 3
            Code dc(dist);
            if (dc.lengths[0] != 0) dc.put(b, 0);  // distance 1
        }
        lc.put(b, 256);
        return b.done();
    };
    // One distance symbol: an incomplete code, accepted whatever its length.
    EXPECT_TRUE(inflates_to(stream({1}, true), "aaaa"));
    EXPECT_TRUE(inflates_to(stream({3, 0}, true), "aaaa"));
    // No distance symbols: a literal-only block, until a distance is wanted.
    EXPECT_TRUE(inflates_to(stream({0}, false), "a"));
    EXPECT_TRUE(inflates_to(stream(std::vector<int>(30, 0), false), "a"));
    EXPECT_TRUE(inflate_fails(stream({0}, true) + std::string(8, '\0')));
#ifdef LANWICK_HAVE_SYSTEM_ZLIB
    std::string out;
    EXPECT_TRUE(zlib_raw_inflate(stream({1}, true), out));
    EXPECT_EQ(out, "aaaa");
    EXPECT_TRUE(zlib_raw_inflate(stream({0}, false), out));
    EXPECT_EQ(out, "a");
#endif
}

namespace {

// The densest stream DEFLATE allows: after one literal, every 258-byte match costs two bits.
std::string max_ratio_stream(int matches) {
    const std::vector<int> lit = lengths_with(286, {{'a', 2}, {256, 2}, {285, 1}});
    Bits b;
    put_dynamic_header(b, lit, {1});
    Code lc(lit);
    lc.put(b, 'a');
    for (int i = 0; i < matches; ++i) {
        lc.put(b, 285);
        b.put(0, 1);  // the lone distance code: distance 1
    }
    lc.put(b, 256);
    return b.done();
}

}  // namespace

TEST(ZlibInflate, OutputCap) {
    EXPECT_EQ(inflate_output_limit(8), 8u * 1032);
    EXPECT_EQ(inflate_output_limit(uint64_t{1} << 20), kInflateMaxOutput);
    EXPECT_EQ(inflate_output_limit(~uint64_t{0}), kInflateMaxOutput);
    EXPECT_EQ(inflate_output_limit(100, 5000), 5000u);

    // The densest legal stream stays under 1032 times its size, so the ratio cap never refuses
    // a real stream; tiny streams such as the empty one pass too.
    const std::string stream = max_ratio_stream(40000);
    const std::string expected(1 + 258 * 40000, 'a');
    EXPECT_GT(expected.size(), stream.size() * 1000);
    EXPECT_TRUE(inflates_to(stream, expected));
    EXPECT_TRUE(inflates_to(compress_ours(""), ""));
#ifdef LANWICK_HAVE_SYSTEM_ZLIB
    std::string out;
    EXPECT_TRUE(zlib_raw_inflate(stream, out));
    EXPECT_TRUE(out == expected);
#endif

    // Output past the caller's cap fails; reaching it exactly does not.
    for (uint64_t cap : {expected.size() - 1, expected.size()}) {
        InflateState state;
        state.input = bytes_of(stream);
        state.input_size = stream.size();
        state.max_output = cap;
        EXPECT_EQ(inflate_zlib(state), cap == expected.size());
    }
    InflateState state;
    const std::string text = compress_ours(make_data("text", 10000));
    state.input = bytes_of(text);
    state.input_size = text.size();
    state.max_output = 9999;
    EXPECT_FALSE(inflate_zlib(state));
}

TEST(ZlibInflate, HuffmanBuildReportsUnusedCodes) {
    HuffmanTable t;
    const uint8_t complete[] = {1, 2, 3, 3};
    EXPECT_EQ(huffman_build(t, complete, 4), 0);
    const uint8_t incomplete[] = {1, 2, 0, 0};
    EXPECT_GT(huffman_build(t, incomplete, 4), 0);
    const uint8_t lone[] = {0, 3};
    EXPECT_GT(huffman_build(t, lone, 2), 0);
    const uint8_t none[] = {0, 0, 0};
    EXPECT_GT(huffman_build(t, none, 3), 0);
    const uint8_t over[] = {1, 1, 2};
    EXPECT_LT(huffman_build(t, over, 3), 0);
}

// Inputs kept from fuzzing; each must be handled without a fault, and those the system zlib
// reads must read the same.
TEST(ZlibInflate, FuzzCorpusReplays) {
    const std::filesystem::path dir =
        std::filesystem::path(LANWICK_SOURCE_DIR) / "fuzz/corpus/inflate";
    if (!std::filesystem::is_directory(dir)) GTEST_SKIP() << "no corpus at " << dir;
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        std::ifstream f(entry.path(), std::ios::binary);
        std::string stream((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
        SCOPED_TRACE(entry.path().filename().string());
        std::string ours;
        bool ok = inflate(stream, ours);
#ifdef LANWICK_HAVE_SYSTEM_ZLIB
        std::string theirs;
        if (stream.size() >= 2 && (stream[0] & 0x0F) == 8 &&
            ((static_cast<uint8_t>(stream[0]) << 8) | static_cast<uint8_t>(stream[1])) % 31 == 0 &&
            zlib_raw_inflate(stream, theirs)) {
            EXPECT_TRUE(ok);
            EXPECT_TRUE(ours == theirs);
        }
#else
        (void)ok;
#endif
        ++files;
    }
    EXPECT_GT(files, 0);
}
