#pragma once
// The registry primitives the tweak engine needs, behind one interface, so the engine
// runs on the real registry (win32 backend) or on an in-memory one in native tests.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// A predefined root key by its handle value (HKEY_CLASSES_ROOT is 0x80000000).
using RegRoot = std::uint32_t;
constexpr RegRoot kHkeyClassesRoot = 0x80000000;
constexpr RegRoot kHkeyCurrentUser = 0x80000001;
constexpr RegRoot kHkeyLocalMachine = 0x80000002;
constexpr RegRoot kHkeyUsers = 0x80000003;
constexpr RegRoot kHkeyPerformanceData = 0x80000004;
constexpr RegRoot kHkeyCurrentConfig = 0x80000005;
constexpr RegRoot kHkeyDynData = 0x80000006;

// Registry data types (REG_*).
using RegType = std::uint32_t;
constexpr RegType kRegNone = 0;
constexpr RegType kRegSz = 1;
constexpr RegType kRegExpandSz = 2;
constexpr RegType kRegBinary = 3;
constexpr RegType kRegDword = 4;
constexpr RegType kRegDwordBigEndian = 5;
constexpr RegType kRegLink = 6;
constexpr RegType kRegMultiSz = 7;
constexpr RegType kRegQword = 11;

// Access rights (KEY_*).
using RegAccess = std::uint32_t;
constexpr RegAccess kKeyQueryValue = 0x0001;
constexpr RegAccess kKeySetValue = 0x0002;
constexpr RegAccess kKeyCreateSubKey = 0x0004;
constexpr RegAccess kKeyEnumerateSubKeys = 0x0008;
constexpr RegAccess kKeyRead = 0x20019;
constexpr RegAccess kKeyWrite = 0x20006;
constexpr RegAccess kKeyAllAccess = 0xF003F;

struct RegValue {
    RegType type = kRegNone;
    std::vector<std::uint8_t> data;
    bool operator==(const RegValue&) const = default;
};

struct RegKeyInfo {
    std::uint32_t subkeyCount = 0;
    std::uint32_t maxSubkeyNameLength = 0;  // characters, without the null
    std::uint32_t valueCount = 0;
};

// An open key; destroying it closes the key.
class IRegKey {
public:
    virtual ~IRegKey() = default;
    virtual std::optional<RegType> valueType(const std::wstring& name) = 0;
    virtual std::optional<RegValue> queryValue(const std::wstring& name) = 0;
    virtual bool setValue(const std::wstring& name, const RegValue& value) = 0;
    virtual bool deleteValue(const std::wstring& name) = 0;
    virtual std::optional<RegKeyInfo> queryInfo() = 0;
    // Names by index; nullopt past the end or on failure. bufferLength counts characters
    // including the null, as the caller sized its buffer.
    virtual std::optional<std::wstring> enumSubkey(std::uint32_t index, std::uint32_t bufferLength) = 0;
    virtual std::optional<std::wstring> enumValueName(std::uint32_t index) = 0;
};

class IRegistry {
public:
    virtual ~IRegistry() = default;
    // Null when the key is missing or the access is denied.
    virtual std::unique_ptr<IRegKey> openKey(RegRoot root, const std::wstring& path, RegAccess access) = 0;
    // Creates the key and every missing key above it; null on failure.
    virtual std::unique_ptr<IRegKey> createKey(RegRoot root, const std::wstring& path, RegAccess access) = 0;
    // Fails for a key that still has subkeys.
    virtual bool deleteKey(RegRoot root, const std::wstring& path) = 0;
};

// The registry the engine's free functions use. On Windows the real registry unless a
// test has installed another; natively an in-memory registry.
IRegistry& Registry();
// Installs a registry (null restores the default); returns the previous one.
IRegistry* SetRegistry(IRegistry* registry);

class ScopedRegistry {
public:
    explicit ScopedRegistry(IRegistry& registry) : previous_(SetRegistry(&registry)) {}
    ~ScopedRegistry() { SetRegistry(previous_); }
    ScopedRegistry(const ScopedRegistry&) = delete;
    ScopedRegistry& operator=(const ScopedRegistry&) = delete;
private:
    IRegistry* previous_;
};

#ifdef _WIN32
IRegistry& Win32Registry();
#endif
