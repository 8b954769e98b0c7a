// The real registry through advapi32.
#include <windows.h>

#include "base/win/handles.h"
#include "registry/registry.h"

namespace {

// Predefined keys are 32-bit values sign-extended to the pointer width.
HKEY rootHandle(RegRoot root) {
    return reinterpret_cast<HKEY>(static_cast<LONG_PTR>(static_cast<LONG>(root)));
}

class Win32Key : public IRegKey {
public:
    explicit Win32Key(HKEY h) : key_(h) {}

    std::optional<RegType> valueType(const std::wstring& name) override {
        DWORD type = 0;
        if (RegQueryValueExW(key_.get(), name.c_str(), nullptr, &type, nullptr, nullptr) != ERROR_SUCCESS)
            return std::nullopt;
        return type;
    }

    std::optional<RegValue> queryValue(const std::wstring& name) override {
        // Tweak values are small: one call into a buffer of this size reads most of them.
        // A larger value, or one that grew since, is read again with the size reported.
        constexpr std::size_t kFirstRead = 256;
        RegValue value;
        value.data.resize(kFirstRead);
        for (;;) {
            DWORD type = 0;
            DWORD size = static_cast<DWORD>(value.data.size());
            const LSTATUS rc = RegQueryValueExW(key_.get(), name.c_str(), nullptr, &type, value.data.data(), &size);
            if (rc == ERROR_SUCCESS) {
                value.data.resize(size);
                value.type = type;
                return value;
            }
            if (rc != ERROR_MORE_DATA) return std::nullopt;
            value.data.resize(size > value.data.size() ? size : value.data.size() * 2);
        }
    }

    bool setValue(const std::wstring& name, const RegValue& value) override {
        return RegSetValueExW(key_.get(), name.c_str(), 0, value.type, value.data.data(),
                              static_cast<DWORD>(value.data.size())) == ERROR_SUCCESS;
    }

    bool deleteValue(const std::wstring& name) override {
        return RegDeleteValueW(key_.get(), name.c_str()) == ERROR_SUCCESS;
    }

    std::optional<RegKeyInfo> queryInfo() override {
        DWORD subkeys = 0, maxSubkeyLen = 0, values = 0;
        if (RegQueryInfoKeyW(key_.get(), nullptr, nullptr, nullptr, &subkeys, &maxSubkeyLen, nullptr, &values,
                             nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            return std::nullopt;
        return RegKeyInfo{subkeys, maxSubkeyLen, values};
    }

    std::optional<std::wstring> enumSubkey(std::uint32_t index, std::uint32_t bufferLength) override {
        std::wstring name(bufferLength, L'\0');
        DWORD length = bufferLength;
        if (RegEnumKeyExW(key_.get(), index, name.data(), &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            return std::nullopt;
        name.resize(length);
        return name;
    }

    std::optional<std::wstring> enumValueName(std::uint32_t index) override {
        DWORD maxLen = 0;
        if (RegQueryInfoKeyW(key_.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &maxLen,
                             nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            return std::nullopt;
        std::wstring name(maxLen + 1, L'\0');
        DWORD length = maxLen + 1;
        if (RegEnumValueW(key_.get(), index, name.data(), &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            return std::nullopt;
        name.resize(length);
        return name;
    }

private:
    UniqueHkey key_;
};

class Win32RegistryImpl : public IRegistry {
public:
    std::unique_ptr<IRegKey> openKey(RegRoot root, const std::wstring& path, RegAccess access) override {
        HKEY h = nullptr;
        if (RegOpenKeyExW(rootHandle(root), path.c_str(), 0, access, &h) != ERROR_SUCCESS) return nullptr;
        return std::make_unique<Win32Key>(h);
    }

    std::unique_ptr<IRegKey> createKey(RegRoot root, const std::wstring& path, RegAccess access) override {
        HKEY h = nullptr;
        if (RegCreateKeyExW(rootHandle(root), path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr,
                            &h, nullptr) != ERROR_SUCCESS)
            return nullptr;
        return std::make_unique<Win32Key>(h);
    }

    bool deleteKey(RegRoot root, const std::wstring& path) override {
        // An empty path would name the root itself; the registry refuses that anyway.
        if (path.empty()) return false;
        return RegDeleteKeyW(rootHandle(root), path.c_str()) == ERROR_SUCCESS;
    }
};

}  // namespace

IRegistry& Win32Registry() {
    static Win32RegistryImpl registry;
    return registry;
}
