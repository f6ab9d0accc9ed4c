#include "melodyne/zlib_encode.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <vector>

#include "util/adler32.h"
#include "util/deflate_tables.h"

namespace {

constexpr int kMinMatch = 3;
constexpr int kMaxMatch = 258;
constexpr int kWindow = 32768;
constexpr int kMaxChain = 48;
constexpr int kHashSize = 32768;
constexpr size_t kMaxInput = size_t{1} << 31;


// The fixed codes, already reversed for least-significant-first output.
struct FixedCode {
    uint16_t bits;
    uint8_t length;
};

struct EncodeTables {
    FixedCode literal[288];
    uint8_t length_symbol[kMaxMatch + 1];  // length -> index into kLengthBase
    uint8_t distance_code[kWindow + 1];    // distance -> distance code
};

uint32_t reverse_bits(uint32_t code, int len) {
    uint32_t r = 0;
    for (int i = 0; i < len; ++i) {
        r = (r << 1) | (code & 1);
        code >>= 1;
    }
    return r;
}

const EncodeTables& encode_tables() {
    static const EncodeTables tables = [] {
        EncodeTables t{};
        for (int sym = 0; sym < 288; ++sym) {
            uint32_t code = 0;
            int len = 0;
            if (sym < 144) {
                code = 0x30 + sym;
                len = 8;
            } else if (sym < 256) {
                code = 0x190 + (sym - 144);
                len = 9;
            } else if (sym < 280) {
                code = sym - 256;
                len = 7;
            } else {
                code = 0xC0 + (sym - 280);
                len = 8;
            }
            t.literal[sym] = {static_cast<uint16_t>(reverse_bits(code, len)),
                              static_cast<uint8_t>(len)};
        }
        for (int i = 0; i < 29; ++i) {
            int last = i + 1 < 29 ? kLengthBase[i + 1] : kMaxMatch + 1;
            // 258 has its own symbol (285) rather than 284 with all extra bits set.
            for (int len = kLengthBase[i]; len < last; ++len) {
                t.length_symbol[len] = static_cast<uint8_t>(i);
            }
        }
        for (int i = 0; i < 30; ++i) {
            int last = i + 1 < 30 ? kDistanceBase[i + 1] : kWindow + 1;
            for (int dist = kDistanceBase[i]; dist < last; ++dist) {
                t.distance_code[dist] = static_cast<uint8_t>(i);
            }
        }
        return t;
    }();
    return tables;
}

void put_symbol(DeflateBitWriter& w, int symbol) {
    const FixedCode& c = encode_tables().literal[symbol];
    deflate_put_bits(w, c.bits, c.length);
}

uint32_t hash3(const uint8_t* p) {
    return ((p[0] << 10) ^ (p[1] << 5) ^ p[2]) & (kHashSize - 1);
}

// Length of the common prefix of a and b, at most max_len.
int common_length(const uint8_t* a, const uint8_t* b, int max_len) {
    int len = 0;
    if constexpr (std::endian::native == std::endian::little) {
        while (len + 8 <= max_len) {
            uint64_t x = 0;
            uint64_t y = 0;
            std::memcpy(&x, a + len, 8);
            std::memcpy(&y, b + len, 8);
            if (x != y) return len + std::countr_zero(x ^ y) / 8;
            len += 8;
        }
    }
    while (len < max_len && a[len] == b[len]) ++len;
    return len;
}

struct Match {
    int length = 0;
    int distance = 0;
};

struct Matcher {
    const uint8_t* data;
    int size;
    std::vector<int32_t> head;  // newest position of each hash, -1 when none
    std::vector<int32_t> prev;  // per position: the previous position with the same hash
    int next_insert = 0;        // every position before this one (with 3 bytes left) is inserted

    // Inserts the positions up to `end` (exclusive) that have 3 bytes left, each exactly once.
    void insert_before(int end) {
        for (; next_insert < end && next_insert <= size - kMinMatch; ++next_insert) {
            uint32_t h = hash3(data + next_insert);
            prev[next_insert] = head[h];
            head[h] = next_insert;
        }
    }

    // The longest match for position p (3 bytes left) among the positions already inserted.
    Match longest(int p) const {
        const int max_len = std::min(kMaxMatch, size - p);
        Match best;
        int32_t candidate = head[hash3(data + p)];
        for (int tries = 0; candidate >= 0 && tries < kMaxChain; ++tries) {
            if (p - candidate > kWindow) break;
            // Only a candidate that agrees at the current best length can beat it.
            if (data[candidate + best.length] == data[p + best.length]) {
                int len = common_length(data + candidate, data + p, max_len);
                if (len > best.length) {
                    best = {len, p - candidate};
                    if (len >= max_len) break;
                }
            }
            candidate = prev[candidate];
        }
        return best;
    }
};

}  // namespace

void deflate_put_bits(DeflateBitWriter& w, uint32_t value, int count) {
    w.bits |= (value & ((1u << count) - 1)) << w.count;
    w.count += count;
    while (w.count >= 8) {
        w.out.push_back(static_cast<char>(w.bits & 0xFF));
        w.bits >>= 8;
        w.count -= 8;
    }
}

void deflate_put_length_distance(DeflateBitWriter& w, int length, int distance) {
    const EncodeTables& t = encode_tables();
    int li = t.length_symbol[length];
    put_symbol(w, 257 + li);
    deflate_put_bits(w, static_cast<uint32_t>(length - kLengthBase[li]), kLengthExtra[li]);
    int dc = t.distance_code[distance];
    deflate_put_bits(w, reverse_bits(static_cast<uint32_t>(dc), 5), 5);
    deflate_put_bits(w, static_cast<uint32_t>(distance - kDistanceBase[dc]), kDistanceExtra[dc]);
}

std::string zlib_compress_fixed(const uint8_t* bytes, size_t length) {
    if (length >= kMaxInput) return {};
    const int n = static_cast<int>(length);

    DeflateBitWriter w;
    w.out.reserve(length / 2 + 64);
    w.out.push_back(static_cast<char>(0x78));
    w.out.push_back(static_cast<char>(0x9C));
    deflate_put_bits(w, 1 | (1 << 1), 3);  // final block, fixed codes

    Matcher m{bytes, n, std::vector<int32_t>(kHashSize, -1), std::vector<int32_t>(length, -1)};
    int p = 0;
    while (p < n) {
        if (n - p < kMinMatch) {
            put_symbol(w, bytes[p++]);
            continue;
        }
        Match here = m.longest(p);
        m.insert_before(p + 1);
        if (here.length < kMinMatch) {
            put_symbol(w, bytes[p++]);
            continue;
        }
        // One lazy step: a longer match one byte on wins over this one by more than a byte.
        Match next;
        if (n - (p + 1) >= kMinMatch) next = m.longest(p + 1);
        if (here.length + 1 >= next.length) {
            deflate_put_length_distance(w, here.length, here.distance);
            p += here.length;
        } else {
            put_symbol(w, bytes[p]);
            m.insert_before(p + 2);
            deflate_put_length_distance(w, next.length, next.distance);
            p += 1 + next.length;
        }
        m.insert_before(p);
    }

    put_symbol(w, 256);
    if (w.count > 0) deflate_put_bits(w, 0, 8 - w.count);
    uint32_t adler = adler32(bytes, length);
    for (int shift = 24; shift >= 0; shift -= 8) {
        w.out.push_back(static_cast<char>((adler >> shift) & 0xFF));
    }
    return std::move(w.out);
}
