#pragma once
// Undoes a pair that is not a handle (redraw off and on again, a flag set while loading, a
// selected GDI object, COM initialised on a thread) on every way out of a scope, also when
// an exception leaves it.
#include <utility>

template <class Undo>
class [[nodiscard]] ScopeExit {
public:
    explicit ScopeExit(Undo undo) : undo_(std::move(undo)) {}
    ScopeExit(const ScopeExit&) = delete;
    ScopeExit& operator=(const ScopeExit&) = delete;
    ~ScopeExit() { undo_(); }

private:
    Undo undo_;
};

// Sets `flag` to `value` for the life of the scope, then back to what it was.
template <class T>
class [[nodiscard]] ScopedValue {
public:
    ScopedValue(T& flag, T value) : flag_(flag), old_(std::exchange(flag, std::move(value))) {}
    ScopedValue(const ScopedValue&) = delete;
    ScopedValue& operator=(const ScopedValue&) = delete;
    ~ScopedValue() { flag_ = std::move(old_); }

private:
    T& flag_;
    T old_;
};
