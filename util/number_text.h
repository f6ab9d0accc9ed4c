// Numbers as text, exactly as printf writes them in the C locale, without printf: the project
// text is mostly numbers, and printf's exact decimal arithmetic is the writer's largest cost.
//
// append_fixed is "%.<precision>f", append_general "%.<precision>g" ("%g" at precision 6),
// append_integer "%d"/"%ld"/"%lld"/"%u"/"%lu"/"%zu": std::to_chars, whose fixed and general forms
// with a precision are defined as printf's, writes the digits.
//
// append_format takes a printf format and its arguments and gives printf's text: the
// conversions above (without flags or width) go through to_chars, "%s" and "%%" are copied, and
// any other conversion is handed to snprintf whole, so the text never differs from printf's.
// print_text writes such a text to a file: the writers' replacement for std::fprintf.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <type_traits>

// The most text put_fixed and put_general write: a double's 309 whole digits, its sign, the point
// and 17 decimals, with room to spare.
inline constexpr std::size_t kNumberTextRoom = 352;
inline constexpr int kMostPutDecimals = 17;

// The text of append_fixed and append_general written at `at`, which has kNumberTextRoom bytes of
// room, for a precision of 0 to kMostPutDecimals; the end of the text is returned. A writer
// builds a line of several numbers in one buffer this way.
char* put_fixed(char* at, double value, int precision);
char* put_general(char* at, double value, int precision = 6);

void append_fixed(std::string& out, double value, int precision);
void append_general(std::string& out, double value, int precision = 6);
void append_integer(std::string& out, long long value);
void append_integer(std::string& out, unsigned long long value);

// One argument of append_format, as printf would have received it.
struct FormatArg {
    enum class Kind { signed_integer, unsigned_integer, floating, text, pointer } kind;
    union {
        long long i;
        unsigned long long u;
        double d;
        const char* s;
        const void* p;
    };
};

namespace format_detail {

template <typename T>
FormatArg to_arg(const T& value) {
    FormatArg a{};
    if constexpr (std::is_same_v<T, bool>) {
        a.kind = FormatArg::Kind::signed_integer;
        a.i = value ? 1 : 0;
    } else if constexpr (std::is_enum_v<T>) {
        return to_arg(static_cast<std::underlying_type_t<T>>(value));
    } else if constexpr (std::is_integral_v<T> && std::is_signed_v<T>) {
        a.kind = FormatArg::Kind::signed_integer;
        a.i = static_cast<long long>(value);
    } else if constexpr (std::is_integral_v<T>) {
        a.kind = FormatArg::Kind::unsigned_integer;
        a.u = static_cast<unsigned long long>(value);
    } else if constexpr (std::is_floating_point_v<T>) {
        a.kind = FormatArg::Kind::floating;
        a.d = static_cast<double>(value);
    } else if constexpr (std::is_convertible_v<const T&, const char*>) {
        a.kind = FormatArg::Kind::text;
        a.s = value;
    } else {
        static_assert(std::is_pointer_v<T>, "append_format takes numbers, texts and pointers");
        a.kind = FormatArg::Kind::pointer;
        a.p = value;
    }
    return a;
}

void append_format_args(std::string& out, const char* format, const FormatArg* args,
                        std::size_t count);

}  // namespace format_detail

// Appends the text printf(format, args...) would write.
template <typename... Args>
void append_format(std::string& out, const char* format, const Args&... args) {
    const FormatArg list[sizeof...(Args) + 1] = {format_detail::to_arg(args)..., FormatArg{}};
    format_detail::append_format_args(out, format, list, sizeof...(Args));
}

// Writes the text printf(format, args...) would write to the file.
template <typename... Args>
void print_text(std::FILE* file, const char* format, const Args&... args) {
    thread_local std::string text;
    text.clear();
    append_format(text, format, args...);
    std::fwrite(text.data(), 1, text.size(), file);
}
