#include "registry/tweakstate.h"

#include <array>
#include <optional>

#include "registry/regaccess.h"
#include "scheme/xmldata.h"
#include "store/Encript.h"

TEncriptor* SettingsStore = nullptr;

namespace {

constexpr std::array<TValueTypeRec, 18> kValueTypes{{
    {L"String10", ValueKind::Flag, kRegSz, false, {}, {}, 0, 0, 0},
    {L"String01", ValueKind::Flag, kRegSz, true, {}, {}, 0, 0, 0},
    {L"Integer10", ValueKind::Flag, kRegDword, false, {}, {}, 0, 0, 0},
    {L"Integer01", ValueKind::Flag, kRegDword, true, {}, {}, 0, 0, 0},
    {L"String_YesNo", ValueKind::Text, kRegSz, false, L"Yes", L"No", 0, 0, 0},
    {L"String_NoYes", ValueKind::Text, kRegSz, true, L"Yes", L"No", 0, 0, 0},
    {L"String_YN", ValueKind::Text, kRegSz, false, L"Y", L"N", 0, 0, 0},
    {L"String_NY", ValueKind::Text, kRegSz, true, L"Y", L"N", 0, 0, 0},
    {L"String_yesno", ValueKind::Text, kRegSz, false, L"yes", L"no", 0, 0, 0},
    {L"String_noyes", ValueKind::Text, kRegSz, true, L"yes", L"no", 0, 0, 0},
    {L"Integer31", ValueKind::Number, kRegDword, false, {}, {}, 3, 1, 1},
    {L"Integer30", ValueKind::Number, kRegDword, false, {}, {}, 3, 0, 0},
    {L"Integer20", ValueKind::Number, kRegDword, false, {}, {}, 2, 0, 0},
    {L"Integer43", ValueKind::Number, kRegDword, false, {}, {}, 4, 3, 0},
    {L"String", ValueKind::String, kRegSz, false, {}, {}, 0, 0, 0},
    {L"Integer", ValueKind::Integer, kRegDword, false, {}, {}, 0, 0, 0},
    {L"CLSID", ValueKind::Clsid, kRegNone, false, {}, {}, 0, 0, 0},
    // Internet Explorer's toolbar buttons: 1 shows a button, 2 hides it, 0 means nothing.
    {L"Integer21", ValueKind::Number, kRegDword, false, {}, {}, 2, 1, 1},
}};

bool storeBool(const std::wstring& name) { return SettingsStore && SettingsStore->GetBool(name, false); }

}  // namespace

const TValueTypeRec* FindValueType(const std::wstring& valueType) {
    for (const TValueTypeRec& t : kValueTypes)
        if (t.Name == valueType) return &t;
    return nullptr;
}

RegType DataTypeOf(const std::wstring& valueType) {
    return valueType.find(L"String") != std::wstring::npos ? kRegSz : kRegDword;
}

void InvertByType(bool& flag, const std::wstring& valueType) {
    const TValueTypeRec* type = FindValueType(valueType);
    if (type && type->Inverted) flag = !flag;
}

LocationResult ResolveLocation(const std::wstring& alias, const std::wstring& rootName,
                               const std::wstring& valueName, const std::wstring& valueType,
                               TweakLocation& location) {
    if (alias.empty()) return LocationResult::Unused;
    std::wstring keyPath = getRegKey(alias);
    if (keyPath.empty()) return LocationResult::Unused;
    if (!ExpandOfficeKey(keyPath)) return LocationResult::NoOffice;
    location = TweakLocation{RootKeyByName(rootName), keyPath, valueName, valueType};
    return LocationResult::Resolved;
}

bool FindTweakObject(const std::wstring& tweakName, const std::wstring& groupName, TAppObjectsRec& object) {
    const XmlElement* start = getElem(L"TreeItem", nullptr);
    if (!groupName.empty()) start = getElem(groupName, start);
    object = TAppObjectsRec{};
    getAppObject(tweakName, start, object);
    return !object.AName.empty();
}

namespace {

// The state of a value already read (nullopt: absent), by its type's test alone; not for
// "CLSID".
bool valueState(const TValueTypeRec& type, const std::optional<RegValue>& value, std::wstring& cValue, int& nValue) {
    switch (type.Kind) {
    case ValueKind::Flag:
        return IntOfValue(value, 0) != 0;
    case ValueKind::Text:
        return StrOfValue(value, L"") == type.TextSet;
    case ValueKind::Number:
        return IntOfValue(value, type.ReadDefault) == type.NumberSet;
    case ValueKind::String:
        cValue = StrOfValue(value, L"");
        return !cValue.empty();
    case ValueKind::Integer:
        nValue = IntOfValue(value, 0);
        return nValue != 0;
    case ValueKind::Clsid:
        break;
    }
    return false;
}

// valueState, and for an empty text or a 0 what the settings store remembers.
bool stateOfValue(const TValueTypeRec& type, const std::optional<RegValue>& value, const std::wstring& tweakName,
                  std::wstring& cValue, int& nValue) {
    if (valueState(type, value, cValue, nValue)) return true;
    if (type.Kind != ValueKind::String && type.Kind != ValueKind::Integer) return false;
    if (storeBool(tweakName)) return true;
    if (!SettingsStore) return false;
    if (type.Kind == ValueKind::String)
        cValue = SettingsStore->GetText(tweakName + L"_str", L"");
    else
        nValue = SettingsStore->GetInt(tweakName + L"_str", 0);
    return false;
}

}  // namespace

bool StateOfValue(const std::wstring& valueType, const std::optional<RegValue>& value, std::wstring& cValue,
                  int& nValue) {
    cValue.clear();
    const TValueTypeRec* type = FindValueType(valueType);
    if (!type || type->Kind == ValueKind::Clsid) return false;
    bool set = valueState(*type, value, cValue, nValue);
    InvertByType(set, valueType);
    return set;
}

bool ReadTweakValue(const std::wstring& valueType, RegRoot root, const std::wstring& keyPath,
                    const std::wstring& valueName, const std::wstring& tweakName, std::wstring& cValue,
                    int& nValue) {
    cValue.clear();
    const TValueTypeRec* type = FindValueType(valueType);
    if (!type) return false;
    if (type->Kind == ValueKind::Clsid) return KeyPresent(root, keyPath + L"\\-" + valueName);
    return stateOfValue(*type, ReadValue(root, keyPath, valueName), tweakName, cValue, nValue);
}

void GetTweakState(const std::wstring& tweakName, const std::wstring& groupName, TCheckBoxRec& record) {
    record.SetValue = record.Exists1 = record.SetValue1 = record.Exists2 = record.SetValue2 = false;
    record.cValue.clear();
    record.nValue = 0;

    TAppObjectsRec object;
    if (!FindTweakObject(tweakName, groupName, object)) return;

    struct Slot {
        const std::wstring &alias, &root, &value, &type;
        bool &exists, &set;
    };
    const Slot slots[] = {
        {object.AKey1, object.RootKey1, object.AValue1, object.AValueType1, record.Exists1, record.SetValue1},
        {object.AKey2, object.RootKey2, object.AValue2, object.AValueType2, record.Exists2, record.SetValue2},
    };
    for (const Slot& slot : slots) {
        TweakLocation location;
        const LocationResult resolved = ResolveLocation(slot.alias, slot.root, slot.value, slot.type, location);
        // Without Office settings the whole tweak reads as unchecked.
        if (resolved == LocationResult::NoOffice) return;
        if (resolved == LocationResult::Unused) continue;
        slot.set = false;
        if (slot.type == L"CLSID") {
            slot.exists = true;
            slot.set = ReadTweakValue(slot.type, location.Root, location.KeyPath, location.ValueName, tweakName,
                                      record.cValue, record.nValue);
        } else {
            // Presence and state from one read of the value.
            const std::optional<RegValue> value = ReadValue(location.Root, location.KeyPath, location.ValueName);
            slot.exists = value.has_value();
            if (!slot.exists) continue;
            record.cValue.clear();
            const TValueTypeRec* type = FindValueType(slot.type);
            if (type) slot.set = stateOfValue(*type, value, tweakName, record.cValue, record.nValue);
        }
        InvertByType(slot.set, slot.type);
    }
    record.SetValue = record.SetValue1 || record.SetValue2;
}
