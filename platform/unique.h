#pragma once
// One owner per handle: move-only, closes on destruction.
#include <utility>

template <class T, auto Close, T Invalid = T{}>
class Unique {
public:
    Unique() = default;
    explicit Unique(T h) : h_(h) {}
    Unique(Unique&& o) noexcept : h_(std::exchange(o.h_, Invalid)) {}
    Unique& operator=(Unique&& o) noexcept {
        reset(std::exchange(o.h_, Invalid));
        return *this;
    }
    Unique(const Unique&) = delete;
    Unique& operator=(const Unique&) = delete;
    ~Unique() { reset(); }

    T get() const { return h_; }
    explicit operator bool() const { return h_ != Invalid; }
    // Hands the handle to a new owner (the system, for a menu given to a window).
    [[nodiscard]] T release() { return std::exchange(h_, Invalid); }
    void reset(T h = Invalid) {
        if (h_ != Invalid) Close(h_);
        h_ = h;
    }

private:
    T h_ = Invalid;
};
