// A record that most holders leave unset: one pointer until it is first written, where the
// record itself would take its whole size in each holder. Reads as the record, its defaults
// while unset; copies copy it. Half a million audio regions each carry the MIDI part of a
// region this way.
#pragma once

#include <memory>

template <typename T>
class RareRecord {
  public:
    RareRecord() = default;
    RareRecord(const RareRecord& other) { *this = other; }
    RareRecord(RareRecord&&) noexcept = default;
    RareRecord& operator=(const RareRecord& other) {
        if (this != &other) held_ = other.held_ ? std::make_unique<T>(*other.held_) : nullptr;
        return *this;
    }
    RareRecord& operator=(RareRecord&&) noexcept = default;
    ~RareRecord() = default;

    // The record; its defaults while nothing is held.
    const T& get() const {
        static const T kUnset{};
        return held_ ? *held_ : kUnset;
    }
    const T& operator*() const { return get(); }
    const T* operator->() const { return &get(); }
    // The record itself, made when nothing is held yet.
    T& edit() {
        if (!held_) held_ = std::make_unique<T>();
        return *held_;
    }
    bool held() const { return held_ != nullptr; }

  private:
    std::unique_ptr<T> held_;
};
