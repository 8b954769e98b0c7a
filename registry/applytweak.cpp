#include "registry/applytweak.h"

#include <algorithm>

#include "base/error.h"
#include "registry/regaccess.h"
#include "scheme/xmldata.h"
#include "store/Encript.h"

namespace {

RegistryWrite dwordWrite(const TweakLocation& location, int number) {
    RegistryWrite w;
    w.op = RegistryWrite::Op::WriteDword;
    w.root = location.Root;
    w.keyPath = location.KeyPath;
    w.valueName = location.ValueName;
    w.number = number;
    return w;
}

// A text the registry holds as REG_EXPAND_SZ (a path with %SystemRoot% in it, say) stays
// one: written as REG_SZ its variables would no longer be expanded by whoever reads it.
RegistryWrite stringWrite(const TweakLocation& location, const std::wstring& text) {
    RegistryWrite w;
    w.op = RegistryWrite::Op::WriteString;
    w.root = location.Root;
    w.keyPath = location.KeyPath;
    w.valueName = location.ValueName;
    w.text = text;
    const std::optional<RegValue> now = ReadValue(location.Root, location.KeyPath, location.ValueName);
    if (now && now->type == kRegExpandSz) w.textType = kRegExpandSz;
    return w;
}

void execute(const StoreWrite& s) {
    if (!SettingsStore) return;
    SettingsStore->SetBool(s.name, s.flag);
    if (s.isInteger)
        SettingsStore->SetInt(s.name + L"_str", s.number);
    else
        SettingsStore->SetStr(s.name + L"_str", s.text);
}

// The registry write goes first: when it fails, the store must not claim a state the
// registry does not hold.
void executeLocation(const LocationPlan& location) {
    if (!location.problem.empty()) throw EJclRegistryError(location.problem);
    if (location.write) ExecuteRegistryWrite(*location.write);
    if (location.store) execute(*location.store);
}

}  // namespace

void ExecuteRegistryWrite(const RegistryWrite& w) {
    switch (w.op) {
    case RegistryWrite::Op::WriteDword:
        WriteDwordValue(w.root, w.keyPath, w.valueName, w.number);
        break;
    case RegistryWrite::Op::WriteString:
        WriteStringValue(w.root, w.keyPath, w.valueName, w.text, w.textType);
        break;
    case RegistryWrite::Op::RenameKey:
        RenameKey(w.root, w.keyPath, w.newKeyPath);
        // RenameKey keeps its failures to itself; the key being where it should, and only
        // there, is the proof.
        if (!KeyPresent(w.root, w.newKeyPath) || KeyPresent(w.root, w.keyPath))
            throw EJclRegistryError(L"Unable to rename key \"" + RootKeyName(w.root) + L"\\" + w.keyPath +
                                    L"\"");
        break;
    case RegistryWrite::Op::DeleteValue:
        RemoveValue(w.root, w.keyPath, w.valueName);
        RemoveEmptyKeys(w.root, w.keyPath, w.emptyKeysToRemove);
        break;
    case RegistryWrite::Op::WriteValue:
        WriteRawValue(w.root, w.keyPath, w.valueName, w.value);
        break;
    }
}

LocationPlan PlanTweakValue(const TweakLocation& location, RegType dataType, bool flag, const std::wstring& text,
                            int number, const std::wstring& tweakName) {
    LocationPlan plan;
    plan.location = location;
    const TValueTypeRec* type = FindValueType(location.ValueType);
    if (!type) return plan;
    switch (type->Kind) {
    case ValueKind::Flag:
        plan.write = dataType == kRegSz ? stringWrite(location, flag ? L"1" : L"0") : dwordWrite(location, flag ? 1 : 0);
        break;
    case ValueKind::Text:
        plan.write = stringWrite(location, std::wstring(flag ? type->TextSet : type->TextClear));
        break;
    case ValueKind::Number:
        plan.write = dwordWrite(location, flag ? type->NumberSet : type->NumberClear);
        break;
    case ValueKind::String:
        plan.write = stringWrite(location, flag ? text : std::wstring());
        plan.store = StoreWrite{tweakName, flag, false, text, 0};
        break;
    case ValueKind::Integer:
        plan.write = dwordWrite(location, flag ? number : 0);
        plan.store = StoreWrite{tweakName, flag, true, {}, number};
        break;
    case ValueKind::Clsid: {
        const std::wstring plain = location.KeyPath + L"\\" + location.ValueName;
        const std::wstring hidden = location.KeyPath + L"\\-" + location.ValueName;
        const bool plainThere = KeyPresent(location.Root, plain), hiddenThere = KeyPresent(location.Root, hidden);
        const std::wstring where = RootKeyName(location.Root) + L"\\" + plain;
        if (plainThere && hiddenThere) {
            // Renaming either would overwrite the other: which one is meant is not ours to guess.
            plan.problem = L"The class key \"" + where + L"\" is there both as it is and renamed to \"-" +
                           location.ValueName + L"\": remove the one that is not wanted";
        } else if (flag ? plainThere : hiddenThere) {
            RegistryWrite w;
            w.op = RegistryWrite::Op::RenameKey;
            w.root = location.Root;
            w.keyPath = flag ? plain : hidden;
            w.newKeyPath = flag ? hidden : plain;
            plan.write = w;
        } else if (flag && !hiddenThere) {
            plan.problem = L"The class \"" + where + L"\" is not registered on this computer: there is nothing to hide";
        }
        break;
    }
    }
    return plan;
}

LocationPlan PlanWantedValue(const TweakLocation& location, bool wanted, const std::wstring& text, int number,
                             const std::wstring& tweakName) {
    bool flag = wanted;
    InvertByType(flag, location.ValueType);
    return PlanTweakValue(location, DataTypeOf(location.ValueType), flag, text, number, tweakName);
}

TweakPlan PlanTweak(const std::wstring& tweakName, bool wanted, const std::wstring& groupName,
                    const std::wstring& text, int number, PlanScope scope) {
    TweakPlan plan;
    plan.tweakName = tweakName;
    TAppObjectsRec object;
    if (!FindTweakObject(tweakName, groupName, object)) return plan;
    TCheckBoxRec current;
    if (scope == PlanScope::Changed) GetTweakState(tweakName, groupName, current);

    struct Slot {
        const std::wstring &alias, &root, &value, &type;
        bool set;
    };
    const Slot slots[] = {
        {object.AKey1, object.RootKey1, object.AValue1, object.AValueType1, current.SetValue1},
        {object.AKey2, object.RootKey2, object.AValue2, object.AValueType2, current.SetValue2},
    };
    for (int i = 0; i < 2; ++i) {
        const Slot& slot = slots[i];
        const bool changed = scope == PlanScope::All || slot.set != wanted ||
                             (slot.type == L"String" && text != current.cValue) ||
                             (slot.type == L"Integer" && number != current.nValue);
        if (slot.alias.empty() || !changed) continue;
        try {
            TweakLocation location;
            const LocationResult resolved = ResolveLocation(slot.alias, slot.root, slot.value, slot.type, location);
            // Location 1 without Office settings: the tweak reads as unchecked whatever
            // location 2 holds, so location 2 is left alone as well.
            if (resolved == LocationResult::NoOffice && i == 0) return plan;
            if (resolved != LocationResult::Resolved) continue;
            LocationPlan located = PlanWantedValue(location, wanted, text, number, tweakName);
            located.index = i + 1;
            plan.locations.push_back(std::move(located));
        } catch (...) {
            // The Office key vanished while it was listed: this location is skipped.
        }
    }
    return plan;
}

std::vector<std::pair<int, TweakLocation>> TweakValueLocations(const std::wstring& tweakName,
                                                               const std::wstring& groupName) {
    std::vector<std::pair<int, TweakLocation>> locations;
    TAppObjectsRec object;
    if (!FindTweakObject(tweakName, groupName, object)) return locations;
    const std::wstring* slots[2][4] = {{&object.AKey1, &object.RootKey1, &object.AValue1, &object.AValueType1},
                                       {&object.AKey2, &object.RootKey2, &object.AValue2, &object.AValueType2}};
    for (int i = 0; i < 2; ++i) {
        const TValueTypeRec* type = FindValueType(*slots[i][3]);
        if (slots[i][0]->empty() || !type || type->Kind == ValueKind::Clsid) continue;
        TweakLocation location;
        try {
            if (ResolveLocation(*slots[i][0], *slots[i][1], *slots[i][2], *slots[i][3], location) ==
                LocationResult::Resolved)
                locations.emplace_back(i + 1, location);
        } catch (...) {
            // The Office key vanished while it was listed: this location is skipped.
        }
    }
    return locations;
}

std::vector<RecordedValue> RecordTweakValues(const std::wstring& tweakName, const std::wstring& groupName,
                                             bool withAbsentKeys) {
    std::vector<RecordedValue> recorded;
    for (const auto& [index, location] : TweakValueLocations(tweakName, groupName)) {
        RecordedValue value{index, ReadValue(location.Root, location.KeyPath, location.ValueName)};
        if (withAbsentKeys && !value.value) value.absentKeys = AbsentKeyLevels(location.Root, location.KeyPath);
        recorded.push_back(std::move(value));
    }
    return recorded;
}

TweakPlan PlanRecordedValues(const std::wstring& tweakName, const std::wstring& groupName,
                             const std::vector<RecordedValue>& recorded) {
    TweakPlan plan;
    plan.tweakName = tweakName;
    for (const auto& [index, location] : TweakValueLocations(tweakName, groupName)) {
        const auto found = std::find_if(recorded.begin(), recorded.end(),
                                        [index = index](const RecordedValue& r) { return r.index == index; });
        if (found == recorded.end()) continue;
        const std::optional<RegValue> now = ReadValue(location.Root, location.KeyPath, location.ValueName);
        if (now == found->value) continue;
        RegistryWrite w;
        w.op = found->value ? RegistryWrite::Op::WriteValue : RegistryWrite::Op::DeleteValue;
        w.root = location.Root;
        w.keyPath = location.KeyPath;
        w.valueName = location.ValueName;
        if (found->value) w.value = *found->value;
        else w.emptyKeysToRemove = found->absentKeys;
        LocationPlan located;
        located.index = index;
        located.location = location;
        located.write = w;
        plan.locations.push_back(std::move(located));
    }
    return plan;
}

std::vector<LocationFailure> ExecutePlan(const TweakPlan& plan) {
    std::vector<LocationFailure> failures;
    for (const LocationPlan& location : plan.locations) {
        // A location that cannot be written keeps its value; the save goes on.
        try {
            executeLocation(location);
        } catch (...) {
            failures.push_back({location.index, location.location, currentErrorText()});
        }
    }
    return failures;
}

std::vector<LocationFailure> ApplyTweak(const std::wstring& tweakName, bool wanted, const std::wstring& groupName,
                                        const std::wstring& text, int number) {
    return ExecutePlan(PlanTweak(tweakName, wanted, groupName, text, number));
}

void WriteTweakValue(RegRoot root, const std::wstring& keyPath, const std::wstring& valueName, RegType dataType,
                     bool flag, const std::wstring& valueType, const std::wstring& text, int number,
                     const std::wstring& tweakName) {
    executeLocation(PlanTweakValue(TweakLocation{root, keyPath, valueName, valueType}, dataType, flag, text, number,
                                   tweakName));
}
