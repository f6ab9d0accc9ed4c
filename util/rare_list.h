// A list that most records leave empty: one pointer until its first element, where a
// std::vector takes three. Reads as a vector (size, indexing, iteration, a const vector view);
// copies copy the elements. A session of hundreds of thousands of clips, few of them stretched or
// with gain lines, holds the empty lists at a third of the size.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <memory>
#include <utility>
#include <vector>

template <typename T>
class RareList {
  public:
    RareList() = default;
    RareList(const RareList& other) { *this = other.items(); }
    RareList(RareList&&) noexcept = default;
    RareList& operator=(const RareList& other) {
        if (this != &other) *this = other.items();
        return *this;
    }
    RareList& operator=(RareList&&) noexcept = default;
    ~RareList() = default;

    // An empty vector leaves nothing held.
    RareList& operator=(std::vector<T> items) {
        if (items.empty()) {
            held_.reset();
        } else {
            held_ = std::make_unique<std::vector<T>>(std::move(items));
        }
        return *this;
    }
    RareList& operator=(std::initializer_list<T> items) { return *this = std::vector<T>(items); }

    // The elements as a vector; an empty one when nothing is held.
    const std::vector<T>& items() const {
        static const std::vector<T> kNone;
        return held_ ? *held_ : kNone;
    }
    operator const std::vector<T>&() const { return items(); }  // NOLINT: reads as a vector
    // The vector itself, made when nothing is held yet.
    std::vector<T>& edit() {
        if (!held_) held_ = std::make_unique<std::vector<T>>();
        return *held_;
    }

    bool empty() const { return !held_ || held_->empty(); }
    std::size_t size() const { return held_ ? held_->size() : 0; }
    const T* begin() const { return held_ ? held_->data() : nullptr; }
    const T* end() const { return held_ ? held_->data() + held_->size() : nullptr; }
    const T& operator[](std::size_t i) const { return (*held_)[i]; }
    T& operator[](std::size_t i) { return (*held_)[i]; }
    const T& back() const { return held_->back(); }
    void push_back(T item) { edit().push_back(std::move(item)); }
    void clear() { held_.reset(); }

  private:
    std::unique_ptr<std::vector<T>> held_;
};
