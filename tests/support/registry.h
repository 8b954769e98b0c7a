#pragma once
// The real registry read and written around the program under test, by advapi32 alone: what
// a test sets up, checks and puts back.
#include <windows.h>

#include <optional>
#include <string>

#include "base/text.h"
#include "base/win/handles.h"
#include "registry/registry.h"
#include "tests/support/where.h"

namespace testsupport {

// Predefined keys are 32-bit values sign-extended to the pointer width.
inline HKEY rootHandle(RegRoot root) { return reinterpret_cast<HKEY>(static_cast<LONG_PTR>(static_cast<LONG>(root))); }

inline bool rawKeyPresent(RegRoot root, const std::wstring& path) {
    HKEY h = nullptr;
    if (RegOpenKeyExW(rootHandle(root), path.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return false;
    RegCloseKey(h);
    return true;
}

inline std::optional<RegValue> rawValue(RegRoot root, const std::wstring& path, const std::wstring& name) {
    HKEY h = nullptr;
    if (RegOpenKeyExW(rootHandle(root), path.c_str(), 0, KEY_QUERY_VALUE, &h) != ERROR_SUCCESS) return std::nullopt;
    const UniqueHkey key(h);
    DWORD type = 0, size = 0;
    if (RegQueryValueExW(key.get(), name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        return std::nullopt;
    RegValue value{type, std::vector<std::uint8_t>(size)};
    if (RegQueryValueExW(key.get(), name.c_str(), nullptr, &type, value.data.data(), &size) != ERROR_SUCCESS)
        return std::nullopt;
    value.data.resize(size);
    return value;
}

inline void rawSet(RegRoot root, const std::wstring& path, const std::wstring& name, const RegValue& value,
                   const Where& where = Where::current()) {
    HKEY h = nullptr;
    require(RegCreateKeyExW(rootHandle(root), path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &h, nullptr) ==
                ERROR_SUCCESS,
            "cannot create " + toUtf8(path), where);
    const UniqueHkey key(h);
    require(RegSetValueExW(key.get(), name.c_str(), 0, value.type, value.data.data(),
                           static_cast<DWORD>(value.data.size())) == ERROR_SUCCESS,
            "cannot set " + toUtf8(name), where);
}

inline void rawDelete(RegRoot root, const std::wstring& path, const std::wstring& name,
                      const Where& where = Where::current()) {
    require(RegDeleteKeyValueW(rootHandle(root), path.c_str(), name.c_str()) == ERROR_SUCCESS,
            "cannot delete " + toUtf8(name), where);
}

// A value the test touches, put back as it was afterwards; a key the test had to create
// goes with everything below it. Made before anything is written.
class RestoreValue {
public:
    RestoreValue(RegRoot root, std::wstring key, std::wstring name)
        : root_(root), key_(std::move(key)), name_(std::move(name)), before_(rawValue(root_, key_, name_)) {
        // The shallowest missing key, to be removed with everything below it.
        for (std::size_t at = 0; at != std::wstring::npos;) {
            const std::size_t next = key_.find(L'\\', at);
            const std::wstring path = key_.substr(0, next);
            if (!rawKeyPresent(root_, path)) {
                created_ = path;
                break;
            }
            at = next == std::wstring::npos ? next : next + 1;
        }
    }
    ~RestoreValue() {
        if (!created_.empty())
            RegDeleteTreeW(rootHandle(root_), created_.c_str());
        else if (before_)
            RegSetKeyValueW(rootHandle(root_), key_.c_str(), name_.c_str(), before_->type, before_->data.data(),
                            static_cast<DWORD>(before_->data.size()));
        else
            RegDeleteKeyValueW(rootHandle(root_), key_.c_str(), name_.c_str());
    }
    RestoreValue(const RestoreValue&) = delete;
    RestoreValue& operator=(const RestoreValue&) = delete;

private:
    RegRoot root_;
    std::wstring key_, name_;
    std::optional<RegValue> before_;
    std::wstring created_;
};

}  // namespace testsupport
