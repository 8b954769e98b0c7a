#pragma once
// The registry operations of the tweak engine. Each opens its key, does its work and
// closes the key before returning; nothing is cached here (a save puts a KeyCache in front
// of the registry, registry/keycache.h). Reads and presence tests never raise; writes,
// RemoveValue and ListSubkeyNames raise EJclRegistryError.
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/error.h"
#include "registry/registry.h"

class EJclRegistryError : public WideError {
public:
    using WideError::WideError;
};

// Exact, case-sensitive match against the seven root names; 0 (no root) otherwise, on
// which every registry operation fails.
RegRoot RootKeyByName(const std::wstring& name);
// The root's name for messages; "$%.8x" for a handle outside the table.
std::wstring RootKeyName(RegRoot root);

// Replaces "[OfficeAllVersions]" by the first Office version key of the current user.
// False when the path holds the marker and no version key is found.
bool ExpandOfficeKey(std::wstring& keyPath);

// HKEY_CURRENT_USER\Software\Microsoft\Office, whose subkeys are the Office versions.
const std::wstring& OfficeKeyPath();
// What an alias path with the marker stands for under the Office version that keyPath names
// (a path below OfficeKeyPath): the expansion with that version, whatever this machine
// holds, so that a key from another machine meets its tweak. Nothing when the alias has no
// marker or keyPath is not below the Office key.
std::optional<std::wstring> ExpandOfficeKeyFor(const std::wstring& aliasPath, const std::wstring& keyPath);
// Whether path names a key below ancestor (case aside); not ancestor itself.
bool IsKeyInside(const std::wstring& path, const std::wstring& ancestor);

bool HasOfficeMarker(const std::wstring& aliasPath);

bool KeyPresent(RegRoot root, const std::wstring& keyPath);
bool ValuePresent(RegRoot root, const std::wstring& keyPath, const std::wstring& valueName);
// The value's type and data by one open and one read: every read below is this and a
// conversion, so a caller that needs the value's presence and its content reads once.
// Nullopt when the key or the value is missing.
std::optional<RegValue> ReadValue(RegRoot root, const std::wstring& keyPath, const std::wstring& valueName);
// The conversions of ReadIntOrDefault and ReadStrOrDefault; the default for nullopt. Text
// data reads up to its first null (registryText), numbers in it by parseInteger.
int IntOfValue(const std::optional<RegValue>& value, int defaultValue);
std::wstring StrOfValue(const std::optional<RegValue>& value, const std::wstring& defaultValue);
// Every value of a key with its name, in the order the registry lists them; empty when the
// key is missing.
std::vector<std::pair<std::wstring, RegValue>> ReadValues(RegRoot root, const std::wstring& keyPath);
int ReadIntOrDefault(RegRoot root, const std::wstring& keyPath, const std::wstring& valueName, int defaultValue);
bool ReadFlagOrDefault(RegRoot root, const std::wstring& keyPath, const std::wstring& valueName, bool defaultValue);
std::wstring ReadStrOrDefault(RegRoot root, const std::wstring& keyPath, const std::wstring& valueName,
                              const std::wstring& defaultValue);

// Writes create the key and every missing key above it.
void WriteDwordValue(RegRoot root, const std::wstring& keyPath, const std::wstring& valueName, int value);
// type: REG_SZ, or REG_EXPAND_SZ.
void WriteStringValue(RegRoot root, const std::wstring& keyPath, const std::wstring& valueName,
                      const std::wstring& text, RegType type = kRegSz);
// Data and type as given.
void WriteRawValue(RegRoot root, const std::wstring& keyPath, const std::wstring& valueName, const RegValue& value);
// dataType kRegSz writes "1" or "0", anything else a REG_DWORD 1 or 0.
void WriteFlagValue(RegRoot root, const std::wstring& keyPath, const std::wstring& valueName, RegType dataType,
                    bool flag);

bool RemoveValue(RegRoot root, const std::wstring& keyPath, const std::wstring& valueName);
// How many key levels at the end of keyPath do not exist: 0 when the key is there.
int AbsentKeyLevels(RegRoot root, const std::wstring& keyPath);
// Removes the key, then its parents up to `levels` keys in all, each only while it holds no
// value and no subkey: stops at the first that holds something. Never raises.
void RemoveEmptyKeys(RegRoot root, const std::wstring& keyPath, int levels);
// False (and an empty list) when the key information cannot be read.
bool ListSubkeyNames(RegRoot root, const std::wstring& keyPath, std::vector<std::wstring>& list);
// Moves a key tree with its values and subkeys; nothing when the source is missing or
// the target exists. Never raises.
void RenameKey(RegRoot root, const std::wstring& oldKeyPath, const std::wstring& newKeyPath);
