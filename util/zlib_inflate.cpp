#include "util/zlib_inflate.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "util/deflate_tables.h"

namespace {

constexpr uint8_t kCodeLengthOrder[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                          11, 4,  12, 3, 13, 2, 14, 1, 15};

constexpr int kMaxCodeLength = 15;
constexpr uint32_t kFastMask = (1u << kHuffmanFastBits) - 1;
// A match copy writes whole 8-byte words, so the output keeps this much room past its end.
constexpr size_t kCopySlack = 8;

// Decoding progress beside the caller's state: the output string is kept longer than the data
// while decoding so that symbols can be written without appending byte by byte.
struct Decoder {
    InflateState& s;
    uint64_t limit = 0;  // the output cap
    size_t out_len = 0;  // bytes produced
    size_t room = 0;     // bytes that fit before the output must grow (never past the cap)
};

enum class CodesResult { kEndOfBlock, kFailed, kNearInputEnd };

uint64_t load_u64le(const uint8_t* p) {
    uint64_t v = 0;
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(&v, p, 8);
    } else {
        for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
    }
    return v;
}

void set_output_size(Decoder& d, size_t size) {
    d.s.output.resize(size);
    d.room = static_cast<size_t>(std::min<uint64_t>(d.limit, size - kCopySlack));
}

// Makes room for `n` more bytes; false when the output would pass the cap.
bool grow(Decoder& d, size_t n) {
    if (n > d.limit - d.out_len) return false;
    size_t want = std::max({d.out_len + n + kCopySlack, d.s.output.size() * 2, size_t{1} << 12});
    set_output_size(d, static_cast<size_t>(std::min<uint64_t>(want, d.limit + kCopySlack)));
    return true;
}

// Overlapping copies repeat the pattern, as a byte-by-byte copy would.
void copy_match(uint8_t* dst, size_t distance, size_t length) {
    const uint8_t* src = dst - distance;
    if (distance >= 8) {
        // Each word reads only bytes written before it.
        for (size_t i = 0; i < length; i += 8) std::memcpy(dst + i, src + i, 8);
    } else if (distance == 1) {
        std::memset(dst, *src, length);
    } else {
        for (size_t i = 0; i < length; ++i) dst[i] = src[i];
    }
}

// Tops the bit buffer up a byte at a time to at least 25 bits, or to the end of the input.
void fill_bits(InflateState& s) {
    while (s.bit_count <= 24 && s.input_pos < s.input_size) {
        s.bit_buffer |= static_cast<uint32_t>(s.input[s.input_pos++]) << s.bit_count;
        s.bit_count += 8;
    }
}

bool take_bits(InflateState& s, int n, uint32_t& value) {
    if (s.bit_count < n) fill_bits(s);
    if (s.bit_count < n) {
        s.out_of_input = 1;
        return false;
    }
    value = s.bit_buffer & ((1u << n) - 1);
    s.bit_buffer >>= n;
    s.bit_count -= n;
    return true;
}

// Walks the canonical code one bit at a time. `bits` holds `avail` valid bits, least significant
// first. Returns the symbol and sets `used`; -1 when the bits start no code, -2 when more bits
// are needed.
int decode_canonical(const HuffmanTable& t, uint64_t bits, int avail, int& used) {
    int code = 0;
    int first = 0;
    int index = 0;
    for (int len = 1; len <= kMaxCodeLength; ++len) {
        if (len > avail) return -2;
        code |= static_cast<int>(bits & 1);
        bits >>= 1;
        int count = t.count[len];
        if (code - first < count) {
            used = len;
            return t.symbol[index + code - first];
        }
        index += count;
        first = (first + count) << 1;
        code <<= 1;
    }
    return -1;
}

// The lookup answers for short codes; it gives the same symbol as the canonical walk.
inline int decode_symbol(const HuffmanTable& t, uint64_t bits, int avail, int& used) {
    uint16_t entry = t.fast[bits & kFastMask];
    int len = entry & 15;
    if (len != 0 && len <= avail) {
        used = len;
        return entry >> 4;
    }
    return decode_canonical(t, bits, avail, used);
}

int take_symbol(InflateState& s, const HuffmanTable& t) {
    if (s.bit_count < kMaxCodeLength) fill_bits(s);
    int used = 0;
    int symbol = decode_symbol(t, s.bit_buffer, s.bit_count, used);
    if (symbol == -2) s.out_of_input = 1;
    if (symbol < 0) return -1;
    s.bit_buffer >>= used;
    s.bit_count -= used;
    return symbol;
}

// The main loop, while at least 8 input bytes remain: a 64-bit buffer refilled once per symbol
// holds every bit one length/distance pair can need (15 + 5 + 15 + 13).
CodesResult inflate_codes_fast(Decoder& d, const HuffmanTable& lit, const HuffmanTable& dist) {
    InflateState& s = d.s;
    const uint8_t* in = s.input;
    uint64_t pos = s.input_pos;
    const uint64_t end = s.input_size;
    uint64_t bits = s.bit_buffer;
    int count = s.bit_count;
    uint8_t* out = reinterpret_cast<uint8_t*>(s.output.data());
    CodesResult result = CodesResult::kNearInputEnd;
    while (end - pos >= 8) {
        // Bits above `count` are left from the byte after the last whole one; reloading the same
        // byte at the same place ORs in the same bits.
        bits |= load_u64le(in + pos) << count;
        pos += (63 - count) >> 3;
        count |= 56;

        int used = 0;
        int symbol = decode_symbol(lit, bits, count, used);
        if (symbol < 0) {
            result = CodesResult::kFailed;
            break;
        }
        bits >>= used;
        count -= used;
        if (symbol < 256) {
            if (d.out_len >= d.room) {
                if (!grow(d, 1)) {
                    result = CodesResult::kFailed;
                    break;
                }
                out = reinterpret_cast<uint8_t*>(s.output.data());
            }
            out[d.out_len++] = static_cast<uint8_t>(symbol);
            continue;
        }
        if (symbol == 256) {
            result = CodesResult::kEndOfBlock;
            break;
        }
        if (symbol > 285) {
            result = CodesResult::kFailed;
            break;
        }
        int extra = kLengthExtra[symbol - 257];
        size_t length = kLengthBase[symbol - 257] + (bits & ((1u << extra) - 1));
        bits >>= extra;
        count -= extra;

        symbol = decode_symbol(dist, bits, count, used);
        if (symbol < 0 || symbol > 29) {
            result = CodesResult::kFailed;
            break;
        }
        bits >>= used;
        count -= used;
        extra = kDistanceExtra[symbol];
        size_t distance = kDistanceBase[symbol] + (bits & ((1u << extra) - 1));
        bits >>= extra;
        count -= extra;
        if (distance > d.out_len) {
            result = CodesResult::kFailed;
            break;
        }
        if (length > d.room - d.out_len) {
            if (!grow(d, length)) {
                result = CodesResult::kFailed;
                break;
            }
            out = reinterpret_cast<uint8_t*>(s.output.data());
        }
        copy_match(out + d.out_len, distance, length);
        d.out_len += length;
    }
    // Hand back the whole bytes not used, so the buffer holds fewer than 8 bits again.
    pos -= static_cast<uint64_t>(count >> 3);
    count &= 7;
    s.input_pos = pos;
    s.bit_buffer = static_cast<uint32_t>(bits & ((1u << count) - 1));
    s.bit_count = count;
    return result;
}

// Decodes symbols until the end of the block.
bool inflate_codes(Decoder& d, const HuffmanTable& lit, const HuffmanTable& dist) {
    CodesResult fast = inflate_codes_fast(d, lit, dist);
    if (fast != CodesResult::kNearInputEnd) return fast == CodesResult::kEndOfBlock;

    // The last few input bytes: one symbol at a time, failing when a bit is wanted past the end.
    InflateState& s = d.s;
    for (;;) {
        int symbol = take_symbol(s, lit);
        if (symbol < 0) return false;
        if (symbol < 256) {
            if (d.out_len >= d.room && !grow(d, 1)) return false;
            s.output[d.out_len++] = static_cast<char>(symbol);
            continue;
        }
        if (symbol == 256) return true;
        if (symbol > 285) return false;
        uint32_t extra = 0;
        if (!take_bits(s, kLengthExtra[symbol - 257], extra)) return false;
        size_t length = kLengthBase[symbol - 257] + extra;
        symbol = take_symbol(s, dist);
        if (symbol < 0 || symbol > 29) return false;
        if (!take_bits(s, kDistanceExtra[symbol], extra)) return false;
        size_t distance = kDistanceBase[symbol] + extra;
        if (distance > d.out_len) return false;
        if (length > d.room - d.out_len && !grow(d, length)) return false;
        copy_match(reinterpret_cast<uint8_t*>(s.output.data()) + d.out_len, distance, length);
        d.out_len += length;
    }
}

bool inflate_stored(Decoder& d) {
    InflateState& s = d.s;
    // Drop the rest of the current byte; whole bytes already buffered go back to the input.
    s.input_pos -= static_cast<uint64_t>(s.bit_count >> 3);
    s.bit_buffer = 0;
    s.bit_count = 0;
    if (s.input_size - s.input_pos < 4) {
        s.out_of_input = 1;
        return false;
    }
    const uint8_t* p = s.input + s.input_pos;
    uint32_t len = p[0] | (p[1] << 8);
    uint32_t nlen = p[2] | (p[3] << 8);
    s.input_pos += 4;
    if (len != (~nlen & 0xFFFF)) return false;
    if (s.input_size - s.input_pos < len) {
        s.out_of_input = 1;
        return false;
    }
    if (len > d.room - d.out_len && !grow(d, len)) return false;
    std::memcpy(s.output.data() + d.out_len, s.input + s.input_pos, len);
    s.input_pos += len;
    d.out_len += len;
    return true;
}

struct FixedTables {
    HuffmanTable lit;
    HuffmanTable dist;
};

const FixedTables& fixed_tables() {
    static const FixedTables tables = [] {
        FixedTables t;
        uint8_t lengths[288];
        std::fill(lengths, lengths + 144, 8);
        std::fill(lengths + 144, lengths + 256, 9);
        std::fill(lengths + 256, lengths + 280, 7);
        std::fill(lengths + 280, lengths + 288, 8);
        huffman_build(t.lit, lengths, 288);
        std::fill(lengths, lengths + 30, 5);
        huffman_build(t.dist, lengths, 30);
        return t;
    }();
    return tables;
}

bool inflate_fixed(Decoder& d) {
    const FixedTables& t = fixed_tables();
    return inflate_codes(d, t.lit, t.dist);
}

int count_used(const uint8_t* lengths, int count) {
    int used = 0;
    for (int i = 0; i < count; ++i) used += lengths[i] != 0;
    return used;
}

bool inflate_dynamic(Decoder& d) {
    InflateState& s = d.s;
    uint32_t hlit = 0;
    uint32_t hdist = 0;
    uint32_t hclen = 0;
    if (!take_bits(s, 5, hlit) || !take_bits(s, 5, hdist) || !take_bits(s, 4, hclen)) return false;
    hlit += 257;
    hdist += 1;
    hclen += 4;
    if (hlit > 286 || hdist > 30) return false;

    uint8_t cl_lengths[19] = {};
    for (uint32_t i = 0; i < hclen; ++i) {
        uint32_t len = 0;
        if (!take_bits(s, 3, len)) return false;
        cl_lengths[kCodeLengthOrder[i]] = static_cast<uint8_t>(len);
    }
    HuffmanTable cl;
    if (huffman_build(cl, cl_lengths, 19) != 0) return false;

    uint8_t lengths[286 + 30] = {};
    const uint32_t total = hlit + hdist;
    uint32_t index = 0;
    while (index < total) {
        int symbol = take_symbol(s, cl);
        if (symbol < 0) return false;
        if (symbol < 16) {
            lengths[index++] = static_cast<uint8_t>(symbol);
            continue;
        }
        uint8_t len = 0;
        uint32_t repeat = 0;
        if (symbol == 16) {
            if (index == 0) return false;
            len = lengths[index - 1];
            if (!take_bits(s, 2, repeat)) return false;
            repeat += 3;
        } else if (symbol == 17) {
            if (!take_bits(s, 3, repeat)) return false;
            repeat += 3;
        } else {
            if (!take_bits(s, 7, repeat)) return false;
            repeat += 11;
        }
        if (repeat > total - index) return false;
        std::fill(lengths + index, lengths + index + repeat, len);
        index += repeat;
    }
    if (lengths[256] == 0) return false;

    HuffmanTable lit;
    int left = huffman_build(lit, lengths, static_cast<int>(hlit));
    if (left < 0 || (left > 0 && count_used(lengths, static_cast<int>(hlit)) != 1)) return false;
    // A distance code with no symbols is a literal-only block; decoding a distance then fails.
    HuffmanTable dist;
    left = huffman_build(dist, lengths + hlit, static_cast<int>(hdist));
    if (left < 0 || (left > 0 && count_used(lengths + hlit, static_cast<int>(hdist)) > 1)) {
        return false;
    }
    return inflate_codes(d, lit, dist);
}

uint32_t reverse_bits(uint32_t code, int len) {
    uint32_t r = 0;
    for (int i = 0; i < len; ++i) {
        r = (r << 1) | (code & 1);
        code >>= 1;
    }
    return r;
}

}  // namespace

int huffman_build(HuffmanTable& table, const uint8_t* lengths, int count) {
    if (count < 0 || count > kHuffmanMaxSymbols) return -1;
    std::fill(std::begin(table.count), std::end(table.count), uint16_t{0});
    for (int i = 0; i < count; ++i) {
        if (lengths[i] > kMaxCodeLength) return -1;
        ++table.count[lengths[i]];
    }
    int left = 1;
    for (int len = 1; len <= kMaxCodeLength; ++len) {
        left <<= 1;
        left -= table.count[len];
        if (left < 0) return left;
    }

    uint16_t offsets[kMaxCodeLength + 2] = {};
    for (int len = 1; len <= kMaxCodeLength; ++len) {
        offsets[len + 1] = static_cast<uint16_t>(offsets[len] + table.count[len]);
    }
    for (int sym = 0; sym < count; ++sym) {
        if (lengths[sym] != 0) table.symbol[offsets[lengths[sym]]++] = static_cast<uint16_t>(sym);
    }

    // Codes travel most significant bit first, so the lookup is indexed by the reversed code,
    // repeated for every value of the bits that follow it.
    std::fill(std::begin(table.fast), std::end(table.fast), uint16_t{0});
    uint32_t code = 0;
    int index = 0;
    for (int len = 1; len <= kHuffmanFastBits; ++len) {
        for (int k = 0; k < table.count[len]; ++k) {
            uint16_t entry = static_cast<uint16_t>((table.symbol[index++] << 4) | len);
            for (uint32_t r = reverse_bits(code, len); r < (1u << kHuffmanFastBits);
                 r += 1u << len) {
                table.fast[r] = entry;
            }
            ++code;
        }
        code <<= 1;
    }
    return left;
}

uint64_t inflate_output_limit(uint64_t input_size, uint64_t max_output) {
    if (input_size > max_output / kInflateMaxRatio) return max_output;
    return std::min(max_output, input_size * kInflateMaxRatio);
}

bool inflate_zlib(InflateState& state) {
    InflateState& s = state;
    s.input_pos = 2;
    s.bit_buffer = 0;
    s.bit_count = 0;
    s.out_of_input = 0;
    s.output.clear();
    if (s.input_size < 2) return false;
    if ((s.input[0] & 0x0F) != 8) return false;
    if (((s.input[0] << 8) | s.input[1]) % 31 != 0) return false;

    Decoder d{s};
    d.limit = inflate_output_limit(s.input_size, s.max_output);
    // A first guess at the output size; it grows by doubling.
    uint64_t guess = std::min<uint64_t>(std::max<uint64_t>(s.input_size * 4, 1u << 12), d.limit);
    set_output_size(d, static_cast<size_t>(guess) + kCopySlack);

    bool ok = true;
    bool final_block = false;
    while (ok && !final_block) {
        uint32_t header = 0;
        if (!take_bits(s, 3, header)) {
            ok = false;
            break;
        }
        final_block = (header & 1) != 0;
        switch (header >> 1) {
            case 0:
                ok = inflate_stored(d);
                break;
            case 1:
                ok = inflate_fixed(d);
                break;
            case 2:
                ok = inflate_dynamic(d);
                break;
            default:
                ok = false;
                break;
        }
    }
    s.output.resize(d.out_len);
    return ok;
}

bool inflate_zlib(const uint8_t* data, size_t size, std::string& out) {
    InflateState state;
    state.input = data;
    state.input_size = size;
    state.output = std::move(out);  // reuse its storage
    bool ok = inflate_zlib(state);
    out = std::move(state.output);
    return ok;
}
