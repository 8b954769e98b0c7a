#pragma once
// Writing a tweak's wanted state: first a plan of what would change, then its execution,
// so that a preview of pending changes and the save decide with the same code.
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "registry/registry.h"
#include "registry/tweakstate.h"

struct RegistryWrite {
    enum class Op { WriteDword, WriteString, RenameKey, DeleteValue, WriteValue };
    Op op = Op::WriteDword;
    RegRoot root = 0;
    std::wstring keyPath;
    std::wstring valueName;   // WriteDword, WriteString, DeleteValue
    int number = 0;           // WriteDword
    std::wstring text;        // WriteString
    RegType textType = kRegSz;  // WriteString: REG_EXPAND_SZ where the value is one already
    std::wstring newKeyPath;  // RenameKey: keyPath is the key that moves
    RegValue value;           // WriteValue: data and type exactly as recorded
    int emptyKeysToRemove = 0;  // DeleteValue: then RemoveEmptyKeys with this many levels
};

// The settings store side entries of "String" and "Integer" tweaks.
struct StoreWrite {
    std::wstring name;  // <AppName>; the text or number goes to <AppName>_str
    bool flag = false;
    bool isInteger = false;
    std::wstring text;
    int number = 0;
};

struct LocationPlan {
    int index = 1;  // 1 or 2
    TweakLocation location;
    std::optional<RegistryWrite> write;  // none: the value type writes nothing here
    std::optional<StoreWrite> store;
    // Why the location cannot take the wanted state (a class key that is not registered, or
    // there in both forms); ExecutePlan reports it as the location's failure.
    std::wstring problem;
};

// The locations that differ from the wanted state, in order.
struct TweakPlan {
    std::wstring tweakName;
    std::vector<LocationPlan> locations;
};

// Changed: the locations whose state differs from the wanted one, as a save writes them.
// All: every location the tweak uses, whatever the registry holds (an export's view).
enum class PlanScope { Changed, All };

// Reads the current state and decides what ApplyTweak would write; writes nothing.
// Errors of the state read propagate.
TweakPlan PlanTweak(const std::wstring& tweakName, bool wanted, const std::wstring& groupName,
                    const std::wstring& text, int number, PlanScope scope = PlanScope::Changed);
// What one resolved location gets when the tweak is switched to `wanted`: the value type's
// inversion and data type applied, then PlanTweakValue.
LocationPlan PlanWantedValue(const TweakLocation& location, bool wanted, const std::wstring& text, int number,
                             const std::wstring& tweakName);
// What one location gets for a flag (the wanted state after InvertByType). dataType
// (kRegSz or kRegDword) decides how the four flag types are written.
LocationPlan PlanTweakValue(const TweakLocation& location, RegType dataType, bool flag, const std::wstring& text,
                            int number, const std::wstring& tweakName);
// What one value location of a tweak held: its data and type, or nullopt when it was absent.
struct RecordedValue {
    int index = 1;  // 1 or 2
    std::optional<RegValue> value;
    // An absent value's key levels that were absent too (AbsentKeyLevels): putting it back
    // removes those keys again once they are empty.
    int absentKeys = 0;
    bool operator==(const RecordedValue&) const = default;
};
// The tweak's value locations by index, resolved; a class key or an Office location without
// Office settings is left out.
std::vector<std::pair<int, TweakLocation>> TweakValueLocations(const std::wstring& tweakName,
                                                               const std::wstring& groupName);
// Every resolved location of the tweak that is a value (a class key is not) with what it
// holds now. Errors of the read propagate.
// withAbsentKeys: an absent value also records how many levels of its key are absent.
std::vector<RecordedValue> RecordTweakValues(const std::wstring& tweakName, const std::wstring& groupName,
                                             bool withAbsentKeys = false);
// Puts the recorded locations back exactly: a value recorded absent is removed, one recorded
// present gets its data and type; a location that already holds that is left out.
TweakPlan PlanRecordedValues(const std::wstring& tweakName, const std::wstring& groupName,
                             const std::vector<RecordedValue>& recorded);

// A location that could not be written, with the reason.
struct LocationFailure {
    int index = 1;  // 1 or 2
    TweakLocation location;
    std::wstring message;
};

// Runs each location's writes; a failing location is left as it was and the next one
// still runs. Never raises: the locations that failed are returned, so that a save can
// tell the user instead of passing for a done one.
std::vector<LocationFailure> ExecutePlan(const TweakPlan& plan);
// One registry change; may raise EJclRegistryError.
void ExecuteRegistryWrite(const RegistryWrite& write);

std::vector<LocationFailure> ApplyTweak(const std::wstring& tweakName, bool wanted, const std::wstring& groupName,
                                        const std::wstring& text, int number);
// One location by its value type; may raise EJclRegistryError.
void WriteTweakValue(RegRoot root, const std::wstring& keyPath, const std::wstring& valueName, RegType dataType,
                     bool flag, const std::wstring& valueType, const std::wstring& text, int number,
                     const std::wstring& tweakName);
