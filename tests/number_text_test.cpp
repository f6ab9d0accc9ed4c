// The number text and the format function against snprintf, over the values that matter to the
// project text: zeros of both signs, ties at the last decimal, the tiny, the huge, sample counts
// of a day at 192 kHz, values "%g" writes in exponent form, and what is not finite.
#include "util/number_text.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

template <typename... Args>
std::string printf_text(const char* format, Args... args) {
    char buffer[1024];
    std::snprintf(buffer, sizeof buffer, format, args...);
    return buffer;
}

std::vector<double> values_that_matter() {
    std::vector<double> v = {
        0.0, -0.0, 1.0, -1.0, 0.5, -0.5, 0.1, 0.25, 1.0 / 3.0, 2.0 / 3.0, 100.0, 120.0, 137.25,
        // Ties and near-ties at the 6th, 9th and 10th decimal (exact binary values and not).
        0.00000000005, 0.00000000015, 0.00000000025, 1.00000000005, 2.5e-10, 0.0000005, 0.0000015,
        0.0000025, 1.0000005, 0.0000000005, 0.0000000015, 0.5 + 1.0 / (1 << 30), 1.0 / (1LL << 34),
        3.0 / (1LL << 35),
        // Tiny and huge.
        1e-12, -1e-12, 1e-300, DBL_MIN, DBL_TRUE_MIN, 1e15, -1e15, 1e16, 1e17, 1e21, 1e22, 1e300,
        DBL_MAX, -DBL_MAX,
        // Sample counts and times a session reaches.
        86400.0 * 192000.0, 86400.0 * 192000.0 / 48000.0, 4294967295.0, 9007199254740993.0,
        48000.0 / 44100.0, 3599.9999999999995, 0.7079457843841379,
        // "%g" switches to exponent form below 1e-4 and from 1e6.
        0.0001, 0.00009999995, 0.000099999, 999999.0, 999999.5, 1000000.0, 123456789.0, 5.1, 5e-5,
        // Not finite.
        std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
        std::numeric_limits<double>::quiet_NaN(), -std::numeric_limits<double>::quiet_NaN()};
    // Levels and times as the writers compute them.
    for (int db = -144; db <= 24; db += 7) v.push_back(std::pow(10.0, db / 20.0));
    std::mt19937_64 random(12);
    for (int i = 0; i < 2000; ++i) {
        const double scale = std::pow(10.0, static_cast<int>(random() % 24) - 12);
        v.push_back((static_cast<double>(random() % 2000001) - 1000000.0) * scale);
        std::uint64_t bits = random();
        double any;
        std::memcpy(&any, &bits, sizeof any);
        v.push_back(any);
    }
    return v;
}

TEST(NumberText, FixedAndGeneralAreExactlyPrintfs) {
    struct Form {
        const char* format;
        bool fixed;
        int precision;
    } forms[] = {{"%.10f", true, 10},  {"%.9f", true, 9},    {"%.6f", true, 6},
                 {"%.0f", true, 0},    {"%.14f", true, 14},  {"%g", false, 6},
                 {"%.10g", false, 10}, {"%.14g", false, 14}, {"%.0g", false, 0}};
    for (double value : values_that_matter()) {
#ifdef _WIN32
        // The Windows C runtime prints a NaN without its sign; the program's own text keeps it,
        // so a project reads the same on every system.
        if (std::isnan(value)) continue;
#endif
        for (const Form& f : forms) {
            std::string ours;
            if (f.fixed)
                append_fixed(ours, value, f.precision);
            else
                append_general(ours, value, f.precision);
            ASSERT_EQ(ours, printf_text(f.format, value)) << f.format << " of " << value;
        }
    }
}

// Below 2^53 the fixed text comes from integer arithmetic and whole numbers' general text from
// their digits: every precision they take, exact ties (odd multiples of a power of two one digit
// past the last decimal), carries through every digit into the whole part, the edges of every
// binade the path takes, and sample positions of a day.
TEST(NumberText, ShortPathsAreExactlyPrintfs) {
    std::vector<double> v;
    for (int k = 1; k <= 60; ++k)
        for (std::uint64_t odd : {1ULL, 3ULL, 5ULL, 7ULL, 1001ULL, (1ULL << 40) + 1})
            v.push_back(std::ldexp(static_cast<double>(odd), -k));
    for (int digits = 1; digits <= 16; ++digits) {
        const double nines = 1.0 - std::pow(10.0, -digits);
        v.push_back(nines);
        v.push_back(-nines);
        v.push_back(99.0 + nines);
    }
    std::mt19937_64 random(35);
    for (int i = 0; i < 3000; ++i) {
        const double rate = i % 3 == 0 ? 44100.0 : i % 3 == 1 ? 48000.0 : 192000.0;
        v.push_back(static_cast<double>(random() % (86400ULL * 192000ULL)) / rate);
        v.push_back(static_cast<double>(random() % 2000000) - 1000000.0);
        v.push_back(
            std::ldexp(static_cast<double>(random() >> 11), -static_cast<int>(random() % 80)));
    }
    // Each binade's edges: where the whole part and the fraction split the bits differently,
    // from none of them whole (below 2^-12 a fraction wider than 64 bits) to all of them.
    for (int e = -80; e <= 52; ++e) {
        const double edge = std::ldexp(1.0, e);
        for (double x : {edge, std::nextafter(edge, 0.0), std::nextafter(edge, 2 * edge),
                         std::ldexp(3.0, e - 1), std::ldexp(0x1fffffffffffffULL, e - 52)})
            v.push_back(x);
    }
    v.push_back(0.0);
    v.push_back(-0.0);
    v.push_back(9007199254740991.0);
    v.push_back(-9007199254740991.0);
    v.push_back(4503599627370495.5);
    // Values of a few binary places take one-word arithmetic: their ties, and roundings that
    // carry through every decimal into the whole part.
    for (int k = 1; k <= 24; ++k) {
        const double below_one = 1.0 - std::ldexp(1.0, -k);
        for (double whole : {0.0, 1.0, 9.0, 12345.0, 86399.0})
            for (double x : {whole + below_one, whole + std::ldexp(1.0, -k),
                             whole + std::ldexp(3.0, -k - 1)}) {
                v.push_back(x);
                v.push_back(-x);
            }
    }
    char format[16];
    for (double value : v) {
        for (int precision = 0; precision <= 17; ++precision) {
            std::string fixed;
            append_fixed(fixed, value, precision);
            std::snprintf(format, sizeof format, "%%.%df", precision);
            ASSERT_EQ(fixed, printf_text(format, value)) << format << " of " << value;
            std::string general;
            append_general(general, value, precision);
            std::snprintf(format, sizeof format, "%%.%dg", precision);
            ASSERT_EQ(general, printf_text(format, value)) << format << " of " << value;
        }
    }
}

// The text written in place is the appended text, for the longest numbers too, and ends where
// the returned end says.
TEST(NumberText, PutWritesTheAppendedTextInPlace) {
    for (double value : values_that_matter()) {
        for (int precision = 0; precision <= kMostPutDecimals; ++precision) {
            char text[kNumberTextRoom + 1];
            std::memset(text, '#', sizeof text);
            char* end = put_fixed(text, value, precision);
            ASSERT_LE(end, text + kNumberTextRoom);
            std::string appended;
            append_fixed(appended, value, precision);
            ASSERT_EQ(std::string(text, end), appended) << precision << " of " << value;
            ASSERT_EQ(text[kNumberTextRoom], '#');
            end = put_general(text, value, precision);
            appended.clear();
            append_general(appended, value, precision);
            ASSERT_EQ(std::string(text, end), appended) << precision << " of " << value;
        }
    }
    // The longest fixed text: every whole digit of the largest double, its sign and 17 decimals.
    char text[kNumberTextRoom];
    EXPECT_EQ(std::string(text, put_fixed(text, -DBL_MAX, kMostPutDecimals)),
              printf_text("%.17f", -DBL_MAX));
}

TEST(NumberText, FormatGivesPrintfsText) {
    const long long big = std::numeric_limits<long long>::min();
    struct Case {
        std::string ours;
        std::string printf;
    } cases[] = {
        {[] {
             std::string s;
             append_format(s, "    PT %.10f %.9f %d\n", 1.5, 0.25, -1);
             return s;
         }(),
         printf_text("    PT %.10f %.9f %d\n", 1.5, 0.25, -1)},
        {[] {
             std::string s;
             append_format(s, "%s|%u|%lu|%lld|%zu|%g|%%|%ld", "x y", 4294967295u, 7ul, 1LL << 40,
                           std::size_t{9}, 1e-5, -3l);
             return s;
         }(),
         printf_text("%s|%u|%lu|%lld|%zu|%g|%%|%ld", "x y", 4294967295u, 7ul, 1LL << 40,
                     std::size_t{9}, 1e-5, -3l)},
        // Flags, widths, precisions of texts and other conversions take snprintf's path.
        {[] {
             std::string s;
             append_format(s, "[%5d|%-4s|%.2s|%08.3f|%x|%X|%c|%+g|%e|% d|%.*f]", 42, "ab", "abcdef",
                           -3.14159, 255u, 255u, 'Q', 2.5, 12345.678, 7, 3, 2.0 / 3.0);
             return s;
         }(),
         printf_text("[%5d|%-4s|%.2s|%08.3f|%x|%X|%c|%+g|%e|% d|%.*f]", 42, "ab", "abcdef",
                     -3.14159, 255u, 255u, 'Q', 2.5, 12345.678, 7, 3, 2.0 / 3.0)},
        // Integers as printf reads them: int-sized for "%d", whatever type they came in.
        {[=] {
             std::string s;
             append_format(s, "%d %u %lld %d", -5, -1, big, true);
             return s;
         }(),
         printf_text("%d %u %lld %d", -5, static_cast<unsigned>(-1), big, 1)},
        {[] {
             std::string s;
             append_format(s, "no conversions");
             return s;
         }(),
         "no conversions"},
    };
    for (const Case& c : cases) EXPECT_EQ(c.ours, c.printf);
}

TEST(NumberText, PrintTextWritesToTheFile) {
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    print_text(file, "  TEMPO %g %d %d\n", 120.0, 4, 4);
    const std::string long_name(3000, 'n');
    print_text(file, "NAME %s\n", long_name.c_str());
    std::rewind(file);
    std::string read(4096, '\0');
    read.resize(std::fread(read.data(), 1, read.size(), file));
    std::fclose(file);
    EXPECT_EQ(read, "  TEMPO 120 4 4\nNAME " + long_name + "\n");
}

}  // namespace
