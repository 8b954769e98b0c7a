#pragma once
// One owner per handle: move-only, closes on destruction. Every kind of handle the program
// keeps is named here once.
#include <windows.h>

#include <objbase.h>

#include <utility>

template <class T>
constexpr T nullHandle() { return T{}; }
inline HANDLE invalidHandleValue() { return INVALID_HANDLE_VALUE; }

template <class T, auto Close, auto Invalid = &nullHandle<T>>
class Unique {
public:
    Unique() = default;
    explicit Unique(T h) : h_(h) {}
    Unique(Unique&& o) noexcept : h_(std::exchange(o.h_, Invalid())) {}
    Unique& operator=(Unique&& o) noexcept {
        reset(std::exchange(o.h_, Invalid()));
        return *this;
    }
    Unique(const Unique&) = delete;
    Unique& operator=(const Unique&) = delete;
    ~Unique() { reset(); }

    T get() const { return h_; }
    explicit operator bool() const { return h_ != Invalid(); }
    // Hands the handle to a new owner (the system, for a menu given to a window), or to a
    // caller that closes it itself to learn whether the close succeeded.
    [[nodiscard]] T release() { return std::exchange(h_, Invalid()); }
    void reset(T h = Invalid()) {
        if (h_ != Invalid()) Close(h_);
        h_ = h;
    }

private:
    T h_ = Invalid();
};

using UniqueHkey = Unique<HKEY, &RegCloseKey>;
// Files (CreateFileW) fail with INVALID_HANDLE_VALUE; processes and events with null.
using UniqueFile = Unique<HANDLE, &CloseHandle, &invalidHandleValue>;
using UniqueHandle = Unique<HANDLE, &CloseHandle>;
using UniqueFind = Unique<HANDLE, &FindClose, &invalidHandleValue>;
// Fonts, bitmaps, brushes, pens.
template <class T>
using UniqueGdi = Unique<T, &DeleteObject>;
using UniqueIcon = Unique<HICON, &DestroyIcon>;
using UniqueMenu = Unique<HMENU, &DestroyMenu>;
using UniqueAccelerators = Unique<HACCEL, &DestroyAcceleratorTable>;
using UniqueModule = Unique<HMODULE, &FreeLibrary>;
using UniqueMemoryDc = Unique<HDC, &DeleteDC>;  // CreateCompatibleDC; GetDC pairs with ReleaseDC

// A window's device context from GetDC (or, with its frame, GetWindowDC), given back with ReleaseDC.
class WindowDc {
public:
    explicit WindowDc(HWND window, bool withFrame = false)
        : window_(window), dc_(withFrame ? GetWindowDC(window) : GetDC(window)) {}
    ~WindowDc() {
        if (dc_) ReleaseDC(window_, dc_);
    }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    HDC get() const { return dc_; }

private:
    HWND window_;
    HDC dc_;
};

// An object selected into a device context for the scope; the one it replaced comes back.
class SelectedObject {
public:
    SelectedObject(HDC dc, HGDIOBJ object) : dc_(dc), old_(SelectObject(dc, object)) {}
    ~SelectedObject() { SelectObject(dc_, old_); }
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;

private:
    HDC dc_;
    HGDIOBJ old_;
};

// One reference to a COM object, released on destruction.
template <class T>
class ComPtr {
public:
    ComPtr() = default;
    explicit ComPtr(T* p) : p_(p) {}  // takes over a reference the caller holds
    ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    ComPtr& operator=(ComPtr&& o) noexcept {
        reset();
        p_ = std::exchange(o.p_, nullptr);
        return *this;
    }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ~ComPtr() { reset(); }

    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    // For an out parameter: releases what is held and hands out the slot.
    T** put() {
        reset();
        return &p_;
    }
    void** putVoid() { return reinterpret_cast<void**>(put()); }
    void reset() {
        if (p_) std::exchange(p_, nullptr)->Release();
    }

private:
    T* p_ = nullptr;
};

// COM on this thread for the life of the object (a further reference when already set up);
// the single-threaded apartment the shell's folders and dialogs want.
class ComApartment {
public:
    ComApartment() : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE)) {}
    ~ComApartment() {
        if (SUCCEEDED(result_)) CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

private:
    HRESULT result_;
};
