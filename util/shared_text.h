// Text that many records hold the same of: a region's name in every clip that plays it, a
// track's name in each of its placements. One pointer to one counted copy, where a std::string
// holds 32 bytes in every record; copies share the copy, and the text never changes once made (a
// new value is a new copy). Reads as a const std::string. Copies of one text may be made and
// dropped on different threads.
#pragma once

#include <atomic>
#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

class SharedText {
  public:
    SharedText() = default;
    SharedText(std::string text) {  // NOLINT: takes a string's place
        if (!text.empty()) held_ = new Held{std::move(text), {1}};
    }
    SharedText(const char* text) : SharedText(std::string(text)) {}  // NOLINT
    SharedText(const SharedText& other) noexcept : held_(other.held_) {
        if (held_) held_->count.fetch_add(1, std::memory_order_relaxed);
    }
    SharedText(SharedText&& other) noexcept : held_(std::exchange(other.held_, nullptr)) {}
    SharedText& operator=(SharedText other) noexcept {
        std::swap(held_, other.held_);
        return *this;
    }
    ~SharedText() {
        if (held_ && held_->count.fetch_sub(1, std::memory_order_acq_rel) == 1) delete held_;
    }

    // The text; an empty string when nothing is held.
    const std::string& str() const {
        static const std::string kEmpty;
        return held_ ? held_->text : kEmpty;
    }
    operator const std::string&() const { return str(); }  // NOLINT: reads as a string
    operator std::string_view() const { return str(); }    // NOLINT

    bool empty() const { return !held_; }
    std::size_t size() const { return str().size(); }
    const char* c_str() const { return str().c_str(); }
    std::size_t find_last_of(const char* chars) const { return str().find_last_of(chars); }
    std::string substr(std::size_t position) const { return str().substr(position); }

    friend bool operator==(const SharedText& a, const SharedText& b) {
        return a.held_ == b.held_ || a.str() == b.str();
    }
    friend bool operator==(const SharedText& a, const std::string& b) { return a.str() == b; }
    friend bool operator==(const SharedText& a, std::string_view b) { return a.str() == b; }
    friend bool operator==(const SharedText& a, const char* b) { return a.str() == b; }
    friend std::string operator+(const std::string& a, const SharedText& b) { return a + b.str(); }
    friend std::string operator+(std::string&& a, const SharedText& b) {
        return std::move(a) + b.str();
    }
    friend std::string operator+(const char* a, const SharedText& b) { return a + b.str(); }

  private:
    struct Held {
        std::string text;
        std::atomic<std::size_t> count;
    };
    Held* held_ = nullptr;
};
