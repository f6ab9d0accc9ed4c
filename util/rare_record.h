// A record of fields that most owners leave at their defaults: one pointer, nothing held until a
// field is written, where the record itself would take its whole size in each owner. Reads see
// the defaults while nothing is held; copies copy the record, so the owner stays a plain value.
// Half a million clips carry their rarely set fields this way, and as many audio regions the
// MIDI part of a region.
#pragma once

#include <memory>

template <typename T>
class RareRecord {
  public:
    RareRecord() = default;
    RareRecord(const RareRecord& other) : held_(copy_of(other)) {}
    RareRecord(RareRecord&&) noexcept = default;
    RareRecord& operator=(const RareRecord& other) {
        if (this != &other) held_ = copy_of(other);
        return *this;
    }
    RareRecord& operator=(RareRecord&&) noexcept = default;
    ~RareRecord() = default;

    // The fields; the defaults when nothing is held.
    const T& get() const {
        static const T kDefaults{};
        return held_ ? *held_ : kDefaults;
    }
    const T& operator*() const { return get(); }
    const T* operator->() const { return &get(); }
    // The fields to write, made at their defaults when nothing is held yet.
    T& edit() {
        if (!held_) held_ = std::make_unique<T>();
        return *held_;
    }
    bool held() const { return held_ != nullptr; }
    void clear() { held_.reset(); }

  private:
    static std::unique_ptr<T> copy_of(const RareRecord& other) {
        return other.held_ ? std::make_unique<T>(*other.held_) : nullptr;
    }
    std::unique_ptr<T> held_;
};
