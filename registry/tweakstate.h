#pragma once
// A tweak's state as the registry holds it, read by the rules of its value type.
#include <optional>
#include <string>
#include <string_view>

#include "registry/registry.h"

struct TAppObjectsRec;
class TEncriptor;

// The settings store that keeps the last text or number of "String" and "Integer"
// tweaks; set by the main window while it exists. Without one those entries read as
// absent and are not written.
extern TEncriptor* SettingsStore;

struct TCheckBoxRec {
    std::wstring AName;  // not filled by the readers
    bool SetValue = false;
    bool Exists1 = false;
    bool SetValue1 = false;
    bool Exists2 = false;
    bool SetValue2 = false;
    std::wstring cValue;
    int nValue = 0;
};

enum class ValueKind {
    Flag,     // an integer, non-zero when set; written as "1"/"0" or 1/0
    Text,     // one fixed text when set, another when not
    Number,   // one fixed number when set, another when not
    String,   // the tweak's text, remembered in the settings store
    Integer,  // the tweak's number, remembered in the settings store
    Clsid,    // a class key renamed to "-" + its name when set
};

// One row per value type; both reading and writing work from it. An inverted type is
// read and written by its partner's rule with the flag negated.
struct TValueTypeRec {
    std::wstring_view Name;
    ValueKind Kind;
    RegType DataType;        // kRegNone for "CLSID"
    bool Inverted;
    std::wstring_view TextSet, TextClear;   // Text: what reads and writes as set, and as not set
    int NumberSet, NumberClear, ReadDefault;  // Number: likewise, and the default when reading
};

// Exact, case-sensitive lookup; null for a name outside the table.
const TValueTypeRec* FindValueType(const std::wstring& valueType);
// REG_SZ for value types whose name contains "String", REG_DWORD otherwise.
RegType DataTypeOf(const std::wstring& valueType);
// Negates the flag for the five inverted types.
void InvertByType(bool& flag, const std::wstring& valueType);

// A location of a tweak, resolved to a root, key path and value name.
struct TweakLocation {
    RegRoot Root = 0;
    std::wstring KeyPath, ValueName, ValueType;
};
enum class LocationResult { Unused, Resolved, NoOffice };
// Unused: no key alias, or one that the scheme does not resolve to a key path (we do not
// touch values directly under a root). NoOffice: the Office marker found no version key.
LocationResult ResolveLocation(const std::wstring& alias, const std::wstring& rootName,
                               const std::wstring& valueName, const std::wstring& valueType,
                               TweakLocation& location);
// The tweak's scheme object, looked up under the group (anywhere below "TreeItem" when
// the group name is empty or not found). False when the scheme does not hold it.
bool FindTweakObject(const std::wstring& tweakName, const std::wstring& groupName, TAppObjectsRec& object);

// The state of one location by its value type's test, before InvertByType.
bool ReadTweakValue(const std::wstring& valueType, RegRoot root, const std::wstring& keyPath,
                    const std::wstring& valueName, const std::wstring& tweakName, std::wstring& cValue,
                    int& nValue);
// The state a location of this value type has when it holds `value` (nullopt: absent), after
// InvertByType, by the value alone: a "String" or "Integer" location is set when its text is
// not empty or its number not 0, whatever the settings store remembers. False for "CLSID"
// and for names outside the table. cValue and nValue receive the text and number it holds.
bool StateOfValue(const std::wstring& valueType, const std::optional<RegValue>& value, std::wstring& cValue,
                  int& nValue);
void GetTweakState(const std::wstring& tweakName, const std::wstring& groupName, TCheckBoxRec& record);
