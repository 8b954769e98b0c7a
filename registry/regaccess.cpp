#include "registry/regaccess.h"

#include <array>
#include <cstdint>
#include <cstdio>

#include "base/number.h"
#include "base/text.h"

#ifndef _WIN32
#include "registry/memory_registry.h"
#endif

namespace {

IRegistry* currentRegistry = nullptr;

struct RootName {
    const wchar_t* name;
    RegRoot root;
};
constexpr std::array<RootName, 7> kRootNames{{
    {L"HKEY_CLASSES_ROOT", kHkeyClassesRoot},
    {L"HKEY_CURRENT_USER", kHkeyCurrentUser},
    {L"HKEY_LOCAL_MACHINE", kHkeyLocalMachine},
    {L"HKEY_USERS", kHkeyUsers},
    {L"HKEY_PERFORMANCE_DATA", kHkeyPerformanceData},
    {L"HKEY_CURRENT_CONFIG", kHkeyCurrentConfig},
    {L"HKEY_DYN_DATA", kHkeyDynData},
}};

const std::wstring kOfficeMarker = L"[OfficeAllVersions]";
const std::wstring kOfficeKey = L"Software\\Microsoft\\Office";

[[noreturn]] void raiseForWrite(RegRoot root, const std::wstring& keyPath) {
    throw EJclRegistryError(L"Unable to open key \"" + RootKeyName(root) + L"\\" + keyPath + L"\" for write");
}

bool isText(RegType type) { return type == kRegSz || type == kRegExpandSz; }

void writeValue(RegRoot root, const std::wstring& keyPath, const std::wstring& valueName, const RegValue& value) {
    // Creating opens a key that is there already: one call whether it is or not.
    std::unique_ptr<IRegKey> key = Registry().createKey(root, keyPath, kKeyWrite);
    if (!key || !key->setValue(valueName, value)) raiseForWrite(root, keyPath);
}

std::vector<std::wstring> subkeyNames(IRegKey& key, bool& ok) {
    std::vector<std::wstring> names;
    std::optional<RegKeyInfo> info = key.queryInfo();
    ok = info.has_value();
    if (!ok) return names;
    for (std::uint32_t i = 0; i < info->subkeyCount; ++i) {
        std::optional<std::wstring> name = key.enumSubkey(i, info->maxSubkeyNameLength + 1);
        if (!name) {
            ok = false;
            break;
        }
        names.push_back(*name);
    }
    return names;
}

std::wstring joinPath(const std::wstring& parent, const std::wstring& child) {
    return parent.empty() ? child : parent + L"\\" + child;
}

// Copies values (name, type, data) and subkeys; false at the first step that fails.
bool copyTree(RegRoot root, const std::wstring& from, const std::wstring& to) {
    std::vector<std::wstring> subkeys;
    {
        std::unique_ptr<IRegKey> source = Registry().openKey(root, from, kKeyAllAccess);
        std::unique_ptr<IRegKey> target = Registry().createKey(root, to, kKeyAllAccess);
        if (!source || !target) return false;
        std::optional<RegKeyInfo> info = source->queryInfo();
        if (!info) return false;
        for (std::uint32_t i = 0; i < info->valueCount; ++i) {
            std::optional<std::wstring> name = source->enumValueName(i);
            if (!name) return false;
            std::optional<RegValue> value = source->queryValue(*name);
            if (!value || !target->setValue(*name, *value)) return false;
        }
        bool ok = false;
        subkeys = subkeyNames(*source, ok);
        if (!ok) return false;
    }
    for (const std::wstring& name : subkeys)
        if (!copyTree(root, joinPath(from, name), joinPath(to, name))) return false;
    return true;
}

// Deepest keys first, since a key with subkeys cannot be deleted.
bool deleteTree(RegRoot root, const std::wstring& path) {
    std::vector<std::wstring> subkeys;
    {
        std::unique_ptr<IRegKey> key = Registry().openKey(root, path, kKeyAllAccess);
        if (!key) return false;
        bool ok = false;
        subkeys = subkeyNames(*key, ok);
        if (!ok) return false;
    }
    bool ok = true;
    for (const std::wstring& name : subkeys) ok = deleteTree(root, joinPath(path, name)) && ok;
    return ok && Registry().deleteKey(root, path);
}

}  // namespace

bool IsKeyInside(const std::wstring& path, const std::wstring& ancestor) {
    return path.size() > ancestor.size() && path[ancestor.size()] == L'\\' && startsWithNoCase(path, ancestor);
}

IRegistry& Registry() {
    if (currentRegistry) return *currentRegistry;
#ifdef _WIN32
    return Win32Registry();
#else
    static MemoryRegistry registry;
    return registry;
#endif
}

IRegistry* SetRegistry(IRegistry* registry) {
    IRegistry* previous = currentRegistry;
    currentRegistry = registry;
    return previous;
}

RegRoot RootKeyByName(const std::wstring& name) {
    for (const RootName& r : kRootNames)
        if (name == r.name) return r.root;
    return 0;
}

std::wstring RootKeyName(RegRoot root) {
    for (const RootName& r : kRootNames)
        if (root == r.root) return r.name;
    wchar_t buffer[16];
    std::swprintf(buffer, 16, L"$%.8x", static_cast<unsigned>(root));
    return buffer;
}

bool ExpandOfficeKey(std::wstring& keyPath) {
    const std::size_t marker = keyPath.find(kOfficeMarker);
    if (marker == std::wstring::npos) return true;
    if (!KeyPresent(kHkeyCurrentUser, kOfficeKey)) return false;
    keyPath = keyPath.substr(marker + kOfficeMarker.size());
    std::vector<std::wstring> versions;
    try {
        ListSubkeyNames(kHkeyCurrentUser, kOfficeKey, versions);
    } catch (const EJclRegistryError&) {
        // Another process removed the Office key since the test above: no Office settings,
        // not an error that would end start-up or a save half-way.
        return false;
    }
    for (const std::wstring& version : versions) {
        const std::wstring versionKey = kOfficeKey + L"\\" + version;
        if (KeyPresent(kHkeyCurrentUser, versionKey)) {
            keyPath = versionKey + keyPath;
            return true;
        }
    }
    return false;
}

const std::wstring& OfficeKeyPath() { return kOfficeKey; }

bool HasOfficeMarker(const std::wstring& aliasPath) { return aliasPath.find(kOfficeMarker) != std::wstring::npos; }

std::optional<std::wstring> ExpandOfficeKeyFor(const std::wstring& aliasPath, const std::wstring& keyPath) {
    const std::size_t marker = aliasPath.find(kOfficeMarker);
    if (marker == std::wstring::npos || !IsKeyInside(keyPath, kOfficeKey)) return std::nullopt;
    const std::size_t versionEnd = keyPath.find(L'\\', kOfficeKey.size() + 1);
    return keyPath.substr(0, versionEnd) + aliasPath.substr(marker + kOfficeMarker.size());
}

bool KeyPresent(RegRoot root, const std::wstring& keyPath) {
    return Registry().openKey(root, keyPath, kKeyRead) != nullptr;
}

bool ValuePresent(RegRoot root, const std::wstring& keyPath, const std::wstring& valueName) {
    std::unique_ptr<IRegKey> key = Registry().openKey(root, keyPath, kKeyRead);
    return key && key->valueType(valueName).has_value();
}

std::optional<RegValue> ReadValue(RegRoot root, const std::wstring& keyPath, const std::wstring& valueName) {
    std::unique_ptr<IRegKey> key = Registry().openKey(root, keyPath, kKeyRead);
    if (!key) return std::nullopt;
    return key->queryValue(valueName);
}

int IntOfValue(const std::optional<RegValue>& value, int defaultValue) {
    if (!value) return defaultValue;
    std::uint64_t number = 0;
    if (isText(value->type)) {
        const std::optional<long long> parsed = parseInteger(registryText(value->data));
        if (!parsed) return defaultValue;
        number = static_cast<std::uint64_t>(*parsed);
    } else {
        if (value->type != kRegDword && value->type != kRegQword && value->type != kRegBinary) return defaultValue;
        if (value->data.size() > 8) return defaultValue;
        for (std::size_t i = value->data.size(); i-- > 0;) number = (number << 8) | value->data[i];
    }
    return static_cast<int>(static_cast<std::uint32_t>(number));
}

std::wstring StrOfValue(const std::optional<RegValue>& value, const std::wstring& defaultValue) {
    if (!value || !(isText(value->type) || value->type == kRegBinary)) return defaultValue;
    return registryText(value->data);
}

std::vector<std::pair<std::wstring, RegValue>> ReadValues(RegRoot root, const std::wstring& keyPath) {
    std::vector<std::pair<std::wstring, RegValue>> values;
    std::unique_ptr<IRegKey> key = Registry().openKey(root, keyPath, kKeyRead);
    if (!key) return values;
    for (std::uint32_t i = 0;; ++i) {
        const std::optional<std::wstring> name = key->enumValueName(i);
        if (!name) break;
        if (std::optional<RegValue> value = key->queryValue(*name)) values.emplace_back(*name, std::move(*value));
    }
    return values;
}

int ReadIntOrDefault(RegRoot root, const std::wstring& keyPath, const std::wstring& valueName, int defaultValue) {
    return IntOfValue(ReadValue(root, keyPath, valueName), defaultValue);
}

bool ReadFlagOrDefault(RegRoot root, const std::wstring& keyPath, const std::wstring& valueName, bool defaultValue) {
    return ReadIntOrDefault(root, keyPath, valueName, defaultValue ? 1 : 0) != 0;
}

std::wstring ReadStrOrDefault(RegRoot root, const std::wstring& keyPath, const std::wstring& valueName,
                              const std::wstring& defaultValue) {
    return StrOfValue(ReadValue(root, keyPath, valueName), defaultValue);
}

void WriteDwordValue(RegRoot root, const std::wstring& keyPath, const std::wstring& valueName, int value) {
    const auto v = static_cast<std::uint32_t>(value);
    writeValue(root, keyPath, valueName,
               RegValue{kRegDword,
                        {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
                         static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)}});
}

void WriteStringValue(RegRoot root, const std::wstring& keyPath, const std::wstring& valueName,
                      const std::wstring& text, RegType type) {
    writeValue(root, keyPath, valueName, RegValue{type, toUtf16le(text, true)});
}

void WriteRawValue(RegRoot root, const std::wstring& keyPath, const std::wstring& valueName, const RegValue& value) {
    writeValue(root, keyPath, valueName, value);
}

void WriteFlagValue(RegRoot root, const std::wstring& keyPath, const std::wstring& valueName, RegType dataType,
                    bool flag) {
    if (dataType == kRegSz)
        WriteStringValue(root, keyPath, valueName, flag ? L"1" : L"0");
    else
        WriteDwordValue(root, keyPath, valueName, flag ? 1 : 0);
}

bool RemoveValue(RegRoot root, const std::wstring& keyPath, const std::wstring& valueName) {
    std::unique_ptr<IRegKey> key = Registry().openKey(root, keyPath, kKeySetValue);
    if (!key) raiseForWrite(root, keyPath);
    if (!key->deleteValue(valueName))
        throw EJclRegistryError(L"Unable to open key \"" + RootKeyName(root) + L"\\" + keyPath +
                                L"\" and access value \"" + valueName + L"\"");
    return true;
}

namespace {

std::wstring parentKeyPath(const std::wstring& keyPath) {
    const std::size_t slash = keyPath.rfind(L'\\');
    return slash == std::wstring::npos ? std::wstring() : keyPath.substr(0, slash);
}

}  // namespace

int AbsentKeyLevels(RegRoot root, const std::wstring& keyPath) {
    int levels = 0;
    for (std::wstring path = keyPath; !path.empty() && !KeyPresent(root, path); path = parentKeyPath(path)) ++levels;
    return levels;
}

void RemoveEmptyKeys(RegRoot root, const std::wstring& keyPath, int levels) {
    std::wstring path = keyPath;
    for (int level = 0; level < levels && !path.empty(); ++level, path = parentKeyPath(path)) {
        {
            const std::unique_ptr<IRegKey> key = Registry().openKey(root, path, kKeyRead);
            if (!key) continue;  // gone already
            const std::optional<RegKeyInfo> info = key->queryInfo();
            if (!info || info->subkeyCount > 0 || info->valueCount > 0) return;
        }
        if (!Registry().deleteKey(root, path)) return;
    }
}

bool ListSubkeyNames(RegRoot root, const std::wstring& keyPath, std::vector<std::wstring>& list) {
    list.clear();
    std::unique_ptr<IRegKey> key = Registry().openKey(root, keyPath, kKeyRead);
    if (!key)
        throw EJclRegistryError(L"Unable to open key \"" + RootKeyName(root) + L"\\" + keyPath + L"\" for read");
    const std::optional<RegKeyInfo> info = key->queryInfo();
    if (!info) return false;
    for (std::uint32_t i = 0; i < info->subkeyCount; ++i)
        if (std::optional<std::wstring> name = key->enumSubkey(i, info->maxSubkeyNameLength + 1))
            list.push_back(*name);
    return true;
}

void RenameKey(RegRoot root, const std::wstring& oldKeyPath, const std::wstring& newKeyPath) {
    try {
        if (!Registry().openKey(root, oldKeyPath, kKeyAllAccess)) return;
        if (Registry().openKey(root, newKeyPath, kKeyAllAccess)) return;
        // A tree cannot be moved into itself; the copy would never end.
        if (IsKeyInside(newKeyPath, oldKeyPath)) return;
        // Only a complete copy replaces the original; a partial one is taken away again.
        if (copyTree(root, oldKeyPath, newKeyPath))
            deleteTree(root, oldKeyPath);
        else
            deleteTree(root, newKeyPath);
    } catch (...) {
        // The caller learns nothing of a rename that could not be done.
    }
}
