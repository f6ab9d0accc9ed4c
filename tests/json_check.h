// A strict JSON checker for the tests, written apart from the program's JSON writer so that the
// two cannot share a fault: one value, nothing after it, strings without raw control bytes and
// with only the standard escapes, numbers in JSON's own grammar. It also notes whether any blank
// stood between tokens.
#pragma once

#include <cstddef>
#include <string>

namespace json_check {

struct Result {
    bool valid = false;
    bool blanks_between_tokens = false;
    std::size_t error_at = 0;
};

class Checker {
  public:
    explicit Checker(const std::string& text) : s_(text) {}

    Result run() {
        Result r;
        skip_blanks();
        bool ok = value(0);
        skip_blanks();
        r.valid = ok && pos_ == s_.size();
        r.blanks_between_tokens = blanks_;
        r.error_at = pos_;
        return r;
    }

  private:
    const std::string& s_;
    std::size_t pos_ = 0;
    bool blanks_ = false;

    bool at_end() const { return pos_ >= s_.size(); }
    char peek() const { return at_end() ? '\0' : s_[pos_]; }

    void skip_blanks() {
        while (!at_end() && (peek() == ' ' || peek() == '\t' || peek() == '\n' || peek() == '\r')) {
            blanks_ = true;
            ++pos_;
        }
    }

    bool literal(const char* word) {
        const std::string w(word);
        if (s_.compare(pos_, w.size(), w) != 0) return false;
        pos_ += w.size();
        return true;
    }

    static bool digit(char c) { return c >= '0' && c <= '9'; }
    static bool hex(char c) { return digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

    bool string() {
        if (peek() != '"') return false;
        ++pos_;
        while (!at_end()) {
            const unsigned char c = static_cast<unsigned char>(s_[pos_]);
            if (c == '"') {
                ++pos_;
                return true;
            }
            if (c < 0x20) return false;
            if (c == '\\') {
                ++pos_;
                const char e = peek();
                if (e == 'u') {
                    for (int i = 1; i <= 4; ++i)
                        if (pos_ + i >= s_.size() || !hex(s_[pos_ + i])) return false;
                    pos_ += 5;
                    continue;
                }
                if (e != '"' && e != '\\' && e != '/' && e != 'b' && e != 'f' && e != 'n' &&
                    e != 'r' && e != 't')
                    return false;
            }
            ++pos_;
        }
        return false;
    }

    bool number() {
        if (peek() == '-') ++pos_;
        if (peek() == '0') {
            ++pos_;
        } else if (digit(peek())) {
            while (digit(peek())) ++pos_;
        } else {
            return false;
        }
        if (peek() == '.') {
            ++pos_;
            if (!digit(peek())) return false;
            while (digit(peek())) ++pos_;
        }
        if (peek() == 'e' || peek() == 'E') {
            ++pos_;
            if (peek() == '+' || peek() == '-') ++pos_;
            if (!digit(peek())) return false;
            while (digit(peek())) ++pos_;
        }
        return true;
    }

    bool value(int depth) {
        if (depth > 64) return false;
        skip_blanks();
        switch (peek()) {
            case '{':
                return object(depth);
            case '[':
                return array(depth);
            case '"':
                return string();
            case 't':
                return literal("true");
            case 'f':
                return literal("false");
            case 'n':
                return literal("null");
            default:
                return number();
        }
    }

    bool object(int depth) {
        ++pos_;
        skip_blanks();
        if (peek() == '}') {
            ++pos_;
            return true;
        }
        for (;;) {
            skip_blanks();
            if (!string()) return false;
            skip_blanks();
            if (peek() != ':') return false;
            ++pos_;
            if (!value(depth + 1)) return false;
            skip_blanks();
            if (peek() == '}') {
                ++pos_;
                return true;
            }
            if (peek() != ',') return false;
            ++pos_;
        }
    }

    bool array(int depth) {
        ++pos_;
        skip_blanks();
        if (peek() == ']') {
            ++pos_;
            return true;
        }
        for (;;) {
            if (!value(depth + 1)) return false;
            skip_blanks();
            if (peek() == ']') {
                ++pos_;
                return true;
            }
            if (peek() != ',') return false;
            ++pos_;
        }
    }
};

inline Result check(const std::string& text) {
    return Checker(text).run();
}

}  // namespace json_check
