#include "app/locationtext.h"

#include <cstdio>

#include "base/text.h"
#include "registry/cpapplets.h"
#include "registry/memory_registry.h"
#include "registry/regaccess.h"
#include "registry/tweakstate.h"
#include "scheme/xmldata.h"

namespace {

std::wstring hexDword(std::uint32_t value) {
    wchar_t text[32];
    std::swprintf(text, 32, L"0x%08x (%u)", static_cast<unsigned>(value), static_cast<unsigned>(value));
    return text;
}

std::wstring quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

class Lines {
public:
    void add(const std::wstring& line) { text_ += line + LocationLineEnd; }
    void add(const std::wstring& label, const std::wstring& value) { add(label + L": " + value); }
    std::wstring text() const { return text_; }
private:
    std::wstring text_;
};

// What one state leaves at the location, for the "Checked"/"Unchecked" lines.
std::wstring stateText(const LocationPlan& plan, const wchar_t* source) {
    if (!plan.write) return L"nothing";
    const std::optional<RegValue> value = WrittenValue(*plan.write);
    std::wstring text = value ? RegistryDataText(*value) : RegistryWriteText(*plan.write);
    if (source) text += source;
    return text;
}

// A class key tweak renames whichever of its two keys exists, so the renames are worked out
// on a scratch registry that holds the class key: the real one may hold either or neither.
void addClassKeyLines(Lines& lines, const TweakLocation& location, const std::wstring& tweakName) {
    MemoryRegistry scratch;
    ScopedRegistry scope(scratch);
    scratch.createKey(location.Root, location.KeyPath + L"\\" + location.ValueName, kKeyWrite);
    const LocationPlan checked = PlanWantedValue(location, true, L"", 0, tweakName);
    if (!checked.write) return;
    lines.add(L"Key renamed", checked.write->keyPath);
    lines.add(L"Checked", L"renamed to " + checked.write->newKeyPath);
    ExecuteRegistryWrite(*checked.write);
    const LocationPlan unchecked = PlanWantedValue(location, false, L"", 0, tweakName);
    if (unchecked.write) lines.add(L"Unchecked", L"renamed back to " + unchecked.write->newKeyPath);
}

// False when the location finds no Office settings.
bool addTweakLocation(Lines& lines, int index, const std::wstring& alias, const std::wstring& rootName,
                      const std::wstring& valueName, const std::wstring& valueType, const TRestrListRec& state,
                      const std::wstring& otherUser) {
    lines.add(L"Location " + std::to_wstring(index));
    const RegRoot root = RootKeyByName(rootName);
    lines.add(L"Root", root ? RootText(root, otherUser) : rootName);
    TweakLocation location;
    const LocationResult resolved = ResolveLocation(alias, rootName, valueName, valueType, location);
    if (resolved == LocationResult::Unused) {
        lines.add(L"Key", L"the alias \"" + alias + L"\" names no key; nothing is written here");
        return true;
    }
    if (resolved == LocationResult::NoOffice) {
        lines.add(L"Key", getRegKey(alias));
        lines.add(std::wstring(OfficeNotFoundNote) + L": nothing is read or written here");
        return false;
    }
    const TValueTypeRec* type = FindValueType(valueType);
    if (type && type->Kind == ValueKind::Clsid) {
        addClassKeyLines(lines, location, state.AppName);
        return true;
    }
    lines.add(L"Key", location.KeyPath);
    lines.add(L"Value", ValueNameText(location.ValueName));
    if (!type) {
        lines.add(L"Type", L"\"" + valueType + L"\" is not a known value type; nothing is written here");
        return true;
    }
    const LocationPlan checked = PlanWantedValue(location, true, state.cValue, state.nValue, state.AppName);
    const LocationPlan unchecked = PlanWantedValue(location, false, state.cValue, state.nValue, state.AppName);
    if (checked.write)
        if (const std::optional<RegValue> value = WrittenValue(*checked.write))
            lines.add(L"Type", RegTypeName(value->type));
    const wchar_t* source = type->Kind == ValueKind::String    ? L" (the text in the editor)"
                            : type->Kind == ValueKind::Integer ? L" (the number in the editor)"
                                                               : nullptr;
    lines.add(L"Checked", stateText(checked, source));
    lines.add(L"Unchecked", stateText(unchecked, nullptr));
    return true;
}

std::wstring appletText(const std::wstring& appletPath, const std::wstring& otherUser) {
    const std::optional<RegistryWrite> hide = PlanAppletState(appletPath, true, PlanScope::All);
    const std::optional<RegistryWrite> show = PlanAppletState(appletPath, false, PlanScope::All);
    if (!hide) return {};
    Lines lines;
    lines.add(L"Root", RootText(hide->root, otherUser));
    lines.add(L"Key", hide->keyPath);
    lines.add(L"Value", ValueNameText(hide->valueName));
    if (const std::optional<RegValue> value = WrittenValue(*hide)) {
        lines.add(L"Type", RegTypeName(value->type));
        lines.add(L"Checked", RegistryDataText(*value));
    }
    if (show) lines.add(L"Unchecked", RegistryWriteText(*show));
    return lines.text();
}

}  // namespace

std::wstring ValueNameText(const std::wstring& valueName) { return valueName.empty() ? L"(Default)" : valueName; }

std::wstring RegTypeName(RegType type) {
    switch (type) {
    case kRegNone: return L"REG_NONE";
    case kRegSz: return L"REG_SZ";
    case kRegExpandSz: return L"REG_EXPAND_SZ";
    case kRegBinary: return L"REG_BINARY";
    case kRegDword: return L"REG_DWORD";
    case kRegDwordBigEndian: return L"REG_DWORD_BIG_ENDIAN";
    case kRegLink: return L"REG_LINK";
    case kRegMultiSz: return L"REG_MULTI_SZ";
    case kRegQword: return L"REG_QWORD";
    }
    return L"type " + std::to_wstring(type);
}

std::wstring RegistryDataText(const RegValue& value) {
    if (value.type == kRegDword && value.data.size() == 4)
        return hexDword(value.data[0] | (value.data[1] << 8) | (value.data[2] << 16) |
                        (static_cast<std::uint32_t>(value.data[3]) << 24));
    if (value.type == kRegSz || value.type == kRegExpandSz) return quoted(registryText(value.data));
    return std::to_wstring(value.data.size()) + L" bytes";
}

std::wstring RegistryValueText(const std::optional<RegValue>& value) {
    if (!value) return L"(not set)";
    return RegTypeName(value->type) + L" " + RegistryDataText(*value);
}

std::optional<RegValue> WrittenValue(const RegistryWrite& write) {
    switch (write.op) {
    case RegistryWrite::Op::WriteDword: {
        const auto n = static_cast<std::uint32_t>(write.number);
        return RegValue{kRegDword,
                        {static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(n >> 8),
                         static_cast<std::uint8_t>(n >> 16), static_cast<std::uint8_t>(n >> 24)}};
    }
    case RegistryWrite::Op::WriteString:
        return RegValue{write.textType, toUtf16le(write.text, true)};
    case RegistryWrite::Op::WriteValue:
        return write.value;
    case RegistryWrite::Op::RenameKey:
    case RegistryWrite::Op::DeleteValue:
        break;
    }
    return std::nullopt;
}

std::wstring RegistryWriteText(const RegistryWrite& write) {
    switch (write.op) {
    case RegistryWrite::Op::DeleteValue:
        return L"the value is removed";
    case RegistryWrite::Op::RenameKey:
        return L"key renamed to " + write.newKeyPath;
    case RegistryWrite::Op::WriteDword:
    case RegistryWrite::Op::WriteString:
    case RegistryWrite::Op::WriteValue:
        break;
    }
    return RegistryValueText(WrittenValue(write));
}

std::wstring RootText(RegRoot root, const std::wstring& otherUser) {
    const std::wstring name = RootKeyName(root);
    if (otherUser.empty()) return name;
    if (root == kHkeyCurrentUser) return name + L" of " + otherUser;
    if (root == kHkeyLocalMachine || root == kHkeyClassesRoot) return name + L" (machine-wide: the same for every user)";
    return name;
}

std::wstring LocationText(const TAppObjectsList& entries, int index, const std::wstring& otherUser) {
    if (!entries.Valid(index)) return {};
    const TRestrListRec& entry = entries[index];
    if (entry.AType != L"CheckBox") return {};
    if (entry.GroupName == AppletGroupName) return appletText(entry.AppName, otherUser);
    TAppObjectsRec object;
    if (!FindTweakObject(entry.AppName, entry.GroupName, object)) return {};
    const TRestrListRec& state = entries[entries.IndexOf(entry.AppName)];
    Lines lines;
    bool officeFound = true;
    if (!object.AKey1.empty())
        officeFound =
            addTweakLocation(lines, 1, object.AKey1, object.RootKey1, object.AValue1, object.AValueType1, state,
                             otherUser);
    if (!object.AKey2.empty()) {
        // The engine leaves the whole tweak alone when its first location finds no Office settings.
        if (!officeFound) lines.add(L"Location 2 is left alone as well.");
        else addTweakLocation(lines, 2, object.AKey2, object.RootKey2, object.AValue2, object.AValueType2, state,
                              otherUser);
    }
    return lines.text();
}
