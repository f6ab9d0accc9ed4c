#include "util/number_text.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string>

namespace {

// Room for any double at the precisions the writers use; a longer text falls back to snprintf.
constexpr std::size_t kNumberRoom = 512;

template <typename... Args>
void append_snprintf(std::string& out, const char* spec, Args... args) {
    char small[kNumberRoom];
    const int n = std::snprintf(small, sizeof small, spec, args...);
    if (n < 0) return;
    if (static_cast<std::size_t>(n) < sizeof small) {
        out.append(small, static_cast<std::size_t>(n));
        return;
    }
    const std::size_t at = out.size();
    out.resize(at + static_cast<std::size_t>(n) + 1);
    std::snprintf(out.data() + at, static_cast<std::size_t>(n) + 1, spec, args...);
    out.resize(at + static_cast<std::size_t>(n));
}

void append_chars(std::string& out, double value, std::chars_format form, int precision,
                  const char* fallback_spec) {
    char buffer[kNumberRoom];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value, form, precision);
    if (ec == std::errc{}) {
        out.append(buffer, end);
    } else {
        append_snprintf(out, fallback_spec, precision, value);
    }
}

// The parts of one printf conversion (flags, width, precision, length, letter).
struct Spec {
    const char* begin = nullptr;  // at the '%'
    const char* end = nullptr;    // past the conversion character
    bool plain = true;            // no flags and no width
    int precision = -1;           // -1 none given
    char length[3] = {};          // "", "h", "hh", "l", "ll", "z", "j", "t", "L"
    char conversion = 0;
    int stars = 0;  // '*' widths and precisions taken from the arguments
    int star_values[2] = {};
};

const char* read_number(const char* p, int& value) {
    value = 0;
    while (*p >= '0' && *p <= '9') value = value * 10 + (*p++ - '0');
    return p;
}

bool is_flag(char c) {
    return c == '-' || c == '+' || c == ' ' || c == '#' || c == '0' || c == '\'';
}

bool is_length(char c) {
    return c == 'h' || c == 'l' || c == 'z' || c == 'j' || c == 't' || c == 'L';
}

// Reads the conversion at p (p[0] == '%'); '*' widths and precisions take their arguments.
Spec read_spec(const char* p, const FormatArg* args, std::size_t count, std::size_t& next) {
    Spec s;
    s.begin = p++;
    while (is_flag(*p)) {
        s.plain = false;
        ++p;
    }
    auto take_star = [&]() {
        const int v = static_cast<int>(next < count ? args[next].i : 0);
        ++next;
        s.star_values[s.stars++] = v;
        return v;
    };
    if (*p == '*') {
        take_star();
        s.plain = false;
        ++p;
    } else if (*p >= '0' && *p <= '9') {
        int width = 0;
        p = read_number(p, width);
        s.plain = false;
    }
    if (*p == '.') {
        ++p;
        if (*p == '*') {
            s.precision = take_star();
            if (s.precision < 0) s.precision = -1;
            ++p;
        } else {
            p = read_number(p, s.precision);
        }
    }
    int l = 0;
    while (l < 2 && is_length(*p)) s.length[l++] = *p++;
    s.conversion = *p;
    if (*p != '\0') ++p;
    s.end = p;
    return s;
}

// The conversion text for snprintf, each '*' replaced by the value it took.
std::string spec_text(const Spec& s) {
    std::string text;
    int star = 0;
    for (const char* p = s.begin; p != s.end; ++p) {
        if (*p == '*' && star < s.stars)
            text += std::to_string(s.star_values[star++]);
        else
            text += *p;
    }
    return text;
}

long long signed_as(const FormatArg& a, const char* length) {
    const long long v =
        a.kind == FormatArg::Kind::unsigned_integer ? static_cast<long long>(a.u) : a.i;
    if (length[0] == '\0') return static_cast<int>(v);
    if (length[0] == 'h')
        return length[1] == 'h' ? static_cast<signed char>(v) : static_cast<short>(v);
    if (length[0] == 'l' && length[1] == '\0') return static_cast<long>(v);
    return v;
}

unsigned long long unsigned_as(const FormatArg& a, const char* length) {
    const unsigned long long v =
        a.kind == FormatArg::Kind::signed_integer ? static_cast<unsigned long long>(a.i) : a.u;
    if (length[0] == '\0') return static_cast<unsigned int>(v);
    if (length[0] == 'h')
        return length[1] == 'h' ? static_cast<unsigned char>(v) : static_cast<unsigned short>(v);
    if (length[0] == 'l' && length[1] == '\0') return static_cast<unsigned long>(v);
    return v;
}

// What snprintf reads for an integer of this length: int, long or long long.
enum class IntWidth { int_sized, long_sized, long_long_sized };

IntWidth int_width(const char* length) {
    if (length[0] == 'l' && length[1] == 'l') return IntWidth::long_long_sized;
    if (length[0] == 'l' || length[0] == 'z' || length[0] == 'j' || length[0] == 't')
        return IntWidth::long_sized;
    return IntWidth::int_sized;
}

// The conversion handed to snprintf, with the argument in the type the conversion names.
void append_by_snprintf(std::string& out, const Spec& s, const std::string& spec,
                        const FormatArg& a) {
    const char* text = spec.c_str();
    switch (s.conversion) {
        case 'd':
        case 'i':
        case 'c': {
            const long long v = signed_as(a, s.conversion == 'c' ? "" : s.length);
            switch (s.conversion == 'c' ? IntWidth::int_sized : int_width(s.length)) {
                case IntWidth::int_sized:
                    append_snprintf(out, text, static_cast<int>(v));
                    return;
                case IntWidth::long_sized:
                    append_snprintf(out, text, static_cast<long>(v));
                    return;
                case IntWidth::long_long_sized:
                    append_snprintf(out, text, v);
                    return;
            }
            return;
        }
        case 'u':
        case 'o':
        case 'x':
        case 'X': {
            const unsigned long long v = unsigned_as(a, s.length);
            switch (int_width(s.length)) {
                case IntWidth::int_sized:
                    append_snprintf(out, text, static_cast<unsigned int>(v));
                    return;
                case IntWidth::long_sized:
                    append_snprintf(out, text, static_cast<unsigned long>(v));
                    return;
                case IntWidth::long_long_sized:
                    append_snprintf(out, text, v);
                    return;
            }
            return;
        }
        case 'f':
        case 'F':
        case 'e':
        case 'E':
        case 'g':
        case 'G':
        case 'a':
        case 'A':
            append_snprintf(out, text, a.kind == FormatArg::Kind::floating ? a.d : 0.0);
            return;
        case 's':
            append_snprintf(out, text, a.kind == FormatArg::Kind::text ? a.s : "");
            return;
        case 'p':
            append_snprintf(out, text, a.p);
            return;
        default:
            out += spec;
            return;
    }
}

}  // namespace

namespace {

// The powers of ten a fixed text's decimals can take on the short path.
constexpr int kMostShortDecimals = 17;
constexpr std::uint64_t kPowersOfTen[kMostShortDecimals + 1] = {1ULL,
                                                                10ULL,
                                                                100ULL,
                                                                1000ULL,
                                                                10000ULL,
                                                                100000ULL,
                                                                1000000ULL,
                                                                10000000ULL,
                                                                100000000ULL,
                                                                1000000000ULL,
                                                                10000000000ULL,
                                                                100000000000ULL,
                                                                1000000000000ULL,
                                                                10000000000000ULL,
                                                                100000000000000ULL,
                                                                1000000000000000ULL,
                                                                10000000000000000ULL,
                                                                100000000000000000ULL};

// The eight decimal digits of a value below 10^8, leading zeros included, written at `at`. The
// digits are split out in one word, every lane at once: into 4 + 4 digits, then 2 + 2, then
// 1 + 1, each lane's quotient by 100 or 10 taken as a multiplication and a shift that are exact
// for the lane's range.
void put_eight_digits(char* at, std::uint32_t value) {
    const std::uint64_t fours = value / 10000 | std::uint64_t{value % 10000} << 32;
    const std::uint64_t hundreds = ((fours * 10486) >> 20) & 0x0000007F0000007FULL;
    const std::uint64_t pairs = hundreds | (fours - hundreds * 100) << 16;
    const std::uint64_t tens = ((pairs * 103) >> 10) & 0x000F000F000F000FULL;
    const std::uint64_t digits = (tens | (pairs - tens * 10) << 8) + 0x3030303030303030ULL;
    // The first digit is in the lowest byte.
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(at, &digits, 8);
    } else {
        for (int i = 0; i < 8; ++i) at[i] = static_cast<char>(digits >> (8 * i));
    }
}

// "%.<precision>f" of a value below 2^53 by integer arithmetic: the value is m * 2^-shift exactly,
// its whole part m >> shift and its fraction the bits below; the decimals are the fraction times
// 10^precision / 2^shift, rounded to the nearest, a tie to the even neighbour, as printf rounds
// the exact value. It divides only by constants, which compile to multiplications: the writers'
// times take this path, several to an item. False for values the path does not take.
char* put_fixed_short(char* out, double value, int precision) {
    if (precision < 0 || precision > kMostShortDecimals || !std::isfinite(value)) return nullptr;
    const double magnitude = std::fabs(value);
    if (magnitude >= 9007199254740992.0) return nullptr;  // 2^53
    if (magnitude == 0.0) {
        // An offset or a fade of nothing: "0", the point and the zeros, a minus zero's sign first.
        static constexpr char kZeros[] = "0.00000000000000000";
        static_assert(sizeof kZeros - 1 == 2 + kMostShortDecimals);
        char* at = out;
        if (std::signbit(value)) *at++ = '-';
        std::memcpy(at, kZeros, sizeof kZeros - 1);
        return at + (precision > 0 ? 2 + precision : 1);
    }
    // magnitude = m * 2^-shift exactly, from the bits: the stored fraction with its leading 1
    // (none below the normal range) and the exponent less the fraction's 52 bits.
    const auto bits = std::bit_cast<std::uint64_t>(magnitude);
    const auto biased = static_cast<int>(bits >> 52);
    constexpr std::uint64_t kFraction = (std::uint64_t{1} << 52) - 1;
    std::uint64_t m = biased == 0 ? bits & kFraction : (bits & kFraction) | (kFraction + 1);
    int shift = biased == 0 ? 1074 : 1075 - biased;
    // The same value with the mantissa's trailing zeros taken out: a time of a few binary places
    // (a quarter, an eighth) then takes the 64-bit arithmetic below.
    if (m != 0 && shift > 0) {
        const int zeros = std::min(std::countr_zero(m), shift);
        m >>= zeros;
        shift -= zeros;
    }
    const std::uint64_t unit = kPowersOfTen[precision];
    std::uint64_t whole = 0;
    std::uint64_t fraction = 0;  // of 2^shift
    if (shift <= 0) {
        whole = m << -shift;  // below 2^53, so no bit is lost
    } else if (shift < 64) {
        whole = m >> shift;
        fraction = m & ((std::uint64_t{1} << shift) - 1);
    } else {
        fraction = m;  // below 2^53 <= 2^shift: the value is below 1
    }
    std::uint64_t decimals = 0;  // fraction * 10^precision / 2^shift, rounded
    // Whether the rest past the last decimal is over half of it, or half with an odd last digit.
    bool round_up = false;
    std::uint64_t narrow = 0;  // fraction * 10^precision when it fits in 64 bits
    if (fraction != 0 && shift < 64 && !__builtin_mul_overflow(fraction, unit, &narrow)) {
        // The same sums as below, in one word: fraction < 2^shift, so the shift is at least 1.
        decimals = narrow >> shift;
        const std::uint64_t rest = narrow & ((std::uint64_t{1} << shift) - 1);
        const std::uint64_t half = std::uint64_t{1} << (shift - 1);
        const bool odd = ((precision == 0 ? whole : decimals) & 1) != 0;
        round_up = rest > half || (rest == half && odd);
    } else if (fraction != 0 && shift < 128) {
        // Below 2^64 * 10^17 < 2^121: no bit is lost. (A shift of 128 or more leaves a value
        // below 2^-75, under half of the last decimal at any precision taken here: 0.)
        using Wide = unsigned __int128;
        const Wide scaled = static_cast<Wide>(fraction) * unit;
        decimals = static_cast<std::uint64_t>(scaled >> shift);
        const Wide rest = scaled - (static_cast<Wide>(decimals) << shift);
        const Wide half = static_cast<Wide>(1) << (shift - 1);
        // The last digit written is the decimals' last, or the whole part's without decimals.
        const bool odd = ((precision == 0 ? whole : decimals) & 1) != 0;
        round_up = rest > half || (rest == half && odd);
    }
    if (round_up) {
        if (precision == 0) {
            ++whole;
        } else if (++decimals == unit) {
            decimals = 0;
            ++whole;
        }
    }
    // The text is made in one buffer around the point, then appended at once. The decimals go
    // first, eight digits a write from the last, the first write reaching left of the point when
    // fewer are wanted; then the point, and the whole digits and the sign backwards from it.
    static constexpr char kPairs[] =
        "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
        "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
        "8081828384858687888990919293949596979899";
    // Zeroed: the text is copied out in one piece of fixed size (kTextCopy), past its end too.
    char text[64] = {};
    char* const point = text + 24;  // room for 17 whole digits and the sign before it
    char* const end = point + 1 + precision;
    if (precision > 0) {
        put_eight_digits(end - 8, static_cast<std::uint32_t>(decimals % 100000000));
        if (precision > 8) {
            const std::uint64_t high = decimals / 100000000;
            if (precision <= 10) {
                // Times and levels: one or two digits more, from the pairs (at nine decimals the
                // pair's first digit is where the point goes).
                std::memcpy(end - 10, &kPairs[2 * high], 2);
            } else {
                put_eight_digits(end - 16, static_cast<std::uint32_t>(high % 100000000));
                if (precision > 16)
                    put_eight_digits(end - 24, static_cast<std::uint32_t>(high / 100000000));
            }
        }
    }
    *point = '.';
    char* at = point;
    while (whole >= 100) {
        const std::uint64_t pair = whole % 100;
        whole /= 100;
        at -= 2;
        at[0] = kPairs[2 * pair];
        at[1] = kPairs[2 * pair + 1];
    }
    if (whole >= 10) {
        at -= 2;
        at[0] = kPairs[2 * whole];
        at[1] = kPairs[2 * whole + 1];
    } else {
        *--at = static_cast<char>('0' + whole);
    }
    if (std::signbit(value)) *--at = '-';
    // The text is at most 35 bytes (a sign, 16 whole digits, the point, 17 decimals) and starts
    // at most a digit before the point; the caller's room is kNumberTextRoom.
    constexpr std::size_t kTextCopy = 40;
    static_assert(24 - 1 + kTextCopy <= sizeof text && kTextCopy <= kNumberTextRoom);
    std::memcpy(out, at, kTextCopy);
    return out + ((precision > 0 ? end : point) - at);
}

// "%.<precision>g" of a whole number below 10^precision (and 2^53): its digits, as printf drops
// the trailing zeros and the point.
char* put_general_whole(char* out, double value, int precision) {
    if (precision <= 0 || precision > kMostShortDecimals) return nullptr;
    const double magnitude = std::fabs(value);
    if (!(magnitude < static_cast<double>(kPowersOfTen[precision])) ||
        magnitude >= 9007199254740992.0 || magnitude != std::floor(magnitude))
        return nullptr;
    if (std::signbit(value)) *out++ = '-';
    const auto whole = static_cast<unsigned long long>(magnitude);
    if (whole < 10) {
        *out++ = static_cast<char>('0' + whole);  // a fade's shape, a centred pan
        return out;
    }
    return std::to_chars(out, out + 24, whole).ptr;
}

}  // namespace

char* put_fixed(char* at, double value, int precision) {
    if (char* end = put_fixed_short(at, value, precision)) return end;
    return std::to_chars(at, at + kNumberTextRoom, value, std::chars_format::fixed, precision).ptr;
}

char* put_general(char* at, double value, int precision) {
    if (char* end = put_general_whole(at, value, precision)) return end;
    return std::to_chars(at, at + kNumberTextRoom, value, std::chars_format::general, precision)
        .ptr;
}

void append_fixed(std::string& out, double value, int precision) {
    if (precision >= 0 && precision <= kMostPutDecimals) {
        char text[kNumberTextRoom];
        out.append(text, put_fixed(text, value, precision));
        return;
    }
    append_chars(out, value, std::chars_format::fixed, precision, "%.*f");
}

void append_general(std::string& out, double value, int precision) {
    if (precision >= 0 && precision <= kMostPutDecimals) {
        char text[kNumberTextRoom];
        out.append(text, put_general(text, value, precision));
        return;
    }
    append_chars(out, value, std::chars_format::general, precision, "%.*g");
}

void append_integer(std::string& out, long long value) {
    char buffer[24];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, end);
}

void append_integer(std::string& out, unsigned long long value) {
    char buffer[24];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, end);
}

namespace format_detail {

void append_format_args(std::string& out, const char* format, const FormatArg* args,
                        std::size_t count) {
    std::size_t next = 0;
    const char* p = format;
    while (*p != '\0') {
        const char* percent = std::strchr(p, '%');
        if (percent == nullptr) {
            out.append(p);
            return;
        }
        out.append(p, percent);
        if (percent[1] == '%') {
            out += '%';
            p = percent + 2;
            continue;
        }
        const Spec s = read_spec(percent, args, count, next);
        p = s.end;
        const FormatArg a = next < count ? args[next] : FormatArg{};
        ++next;
        const bool no_length = s.length[0] == '\0';
        if (s.plain && (s.conversion == 'd' || s.conversion == 'i') &&
            a.kind != FormatArg::Kind::floating) {
            append_integer(out, signed_as(a, s.length));
        } else if (s.plain && s.conversion == 'u' && a.kind != FormatArg::Kind::floating &&
                   s.length[0] != 'h') {
            append_integer(out, unsigned_as(a, s.length));
        } else if (s.plain && no_length && s.conversion == 'f' &&
                   a.kind == FormatArg::Kind::floating) {
            append_fixed(out, a.d, s.precision < 0 ? 6 : s.precision);
        } else if (s.plain && no_length && s.conversion == 'g' &&
                   a.kind == FormatArg::Kind::floating) {
            append_general(out, a.d, s.precision < 0 ? 6 : s.precision);
        } else if (s.plain && no_length && s.precision < 0 && s.conversion == 's' &&
                   a.kind == FormatArg::Kind::text && a.s != nullptr) {
            out.append(a.s);
        } else {
            append_by_snprintf(out, s, spec_text(s), a);
        }
    }
}

}  // namespace format_detail
