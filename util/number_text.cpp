#include "util/number_text.h"

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

// "%.<precision>f" of a value below 2^53 by integer arithmetic: the value is m * 2^-k exactly,
// so value * 10^precision is (m * 10^precision) / 2^k, rounded to the nearest, a tie to the even
// neighbour, as printf rounds the exact value. False for values the path does not take.
bool append_fixed_short(std::string& out, double value, int precision) {
    if (precision < 0 || precision > kMostShortDecimals || !std::isfinite(value)) return false;
    const double magnitude = std::fabs(value);
    if (magnitude >= 9007199254740992.0) return false;  // 2^53
    // magnitude = m * 2^-shift exactly, from the bits: the stored fraction with its leading 1
    // (none below the normal range) and the exponent less the fraction's 52 bits.
    const auto bits = std::bit_cast<std::uint64_t>(magnitude);
    const auto biased = static_cast<int>(bits >> 52);
    constexpr std::uint64_t kFraction = (std::uint64_t{1} << 52) - 1;
    const std::uint64_t m = biased == 0 ? bits & kFraction : (bits & kFraction) | (kFraction + 1);
    const int shift = biased == 0 ? 1074 : 1075 - biased;
    using Wide = unsigned __int128;
    const Wide scaled = static_cast<Wide>(m) * kPowersOfTen[precision];
    Wide units = 0;  // value * 10^precision, rounded
    if (shift <= 0) {
        units = scaled << -shift;
    } else if (shift < 128) {
        units = scaled >> shift;
        const Wide rest = scaled - (units << shift);
        const Wide half = static_cast<Wide>(1) << (shift - 1);
        if (rest > half || (rest == half && (units & 1) != 0)) ++units;
    }  // else below 2^-75: under half of the last decimal at any precision taken here, so 0
    const std::uint64_t unit = kPowersOfTen[precision];
    std::uint64_t whole = 0;
    std::uint64_t decimals = 0;
    if ((units >> 64) == 0) {  // the common case, without a division of 128 bits
        const auto narrow = static_cast<std::uint64_t>(units);
        whole = narrow / unit;
        decimals = narrow - whole * unit;
    } else {
        const Wide wide_whole = units / unit;
        if (wide_whole > static_cast<Wide>(~std::uint64_t{0})) return false;
        whole = static_cast<std::uint64_t>(wide_whole);
        decimals = static_cast<std::uint64_t>(units - wide_whole * unit);
    }
    // The text is made backwards in one buffer: the decimals, the point, the whole digits, the
    // sign; then appended at once.
    static constexpr char kPairs[] =
        "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
        "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
        "8081828384858687888990919293949596979899";
    char text[48];
    char* at = text + sizeof text;
    int left = precision;
    for (; left >= 2; left -= 2) {
        const std::uint64_t pair = decimals % 100;
        decimals /= 100;
        at -= 2;
        at[0] = kPairs[2 * pair];
        at[1] = kPairs[2 * pair + 1];
    }
    if (left == 1) {
        *--at = static_cast<char>('0' + decimals % 10);
        decimals /= 10;
    }
    if (precision > 0) *--at = '.';
    do {
        *--at = static_cast<char>('0' + whole % 10);
        whole /= 10;
    } while (whole != 0);
    if (std::signbit(value)) *--at = '-';
    out.append(at, static_cast<std::size_t>(text + sizeof text - at));
    return true;
}

// "%.<precision>g" of a whole number below 10^precision (and 2^53): its digits, as printf drops
// the trailing zeros and the point.
bool append_general_whole(std::string& out, double value, int precision) {
    if (precision <= 0 || precision > kMostShortDecimals) return false;
    const double magnitude = std::fabs(value);
    if (!(magnitude < static_cast<double>(kPowersOfTen[precision])) ||
        magnitude >= 9007199254740992.0 || magnitude != std::floor(magnitude))
        return false;
    if (std::signbit(value)) out += '-';
    append_integer(out, static_cast<unsigned long long>(magnitude));
    return true;
}

}  // namespace

void append_fixed(std::string& out, double value, int precision) {
    if (append_fixed_short(out, value, precision)) return;
    append_chars(out, value, std::chars_format::fixed, precision, "%.*f");
}

void append_general(std::string& out, double value, int precision) {
    if (append_general_whole(out, value, precision)) return;
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
