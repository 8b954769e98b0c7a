#include "app/appobjects.h"

#include <algorithm>

#include "app/framehost.h"
#include "base/text.h"
#include "registry/cpapplets.h"
#include "registry/keycache.h"
#include "registry/tweakstate.h"
#include "scheme/xmldata.h"
#include "store/Encript.h"

int TAppObjectsList::Add(std::unique_ptr<TRestrListRec> entry) {
    entries_.push_back(std::move(entry));
    return Count() - 1;
}

int TAppObjectsList::IndexOf(std::wstring_view name) const {
    for (int i = 0; i < Count(); ++i)
        if (sameTextNoCase(entries_[static_cast<std::size_t>(i)]->AppName, name)) return i;
    return -1;
}

bool TextKeptInStore(const TRestrListRec& entry) {
    const FrameKind frame = FrameKindOf(entry.AFrame);
    if (entry.AType != L"CheckBox" ||
        (frame != FrameKind::StringEdit && frame != FrameKind::DirEdit && frame != FrameKind::FileEdit))
        return false;
    TAppObjectsRec object;
    if (!FindTweakObject(entry.AppName, entry.GroupName, object)) return false;
    for (const std::wstring* valueType : {&object.AValueType1, &object.AValueType2}) {
        const TValueTypeRec* type = FindValueType(*valueType);
        if (type && type->Kind == ValueKind::String) return false;
    }
    return true;
}

namespace {

void loadGroupEntries(TAppObjectsList& list, const XmlElement* treeItem, const XmlElement* elem) {
    for (const XmlElement* child : elem->elements()) {
        auto entry = std::make_unique<TRestrListRec>();
        entry->AppName = child->name();
        entry->GroupName = elem->name();
        TAppObjectsRec object;
        getAppObject(entry->AppName, treeItem, object);
        entry->AType = object.AType;
        entry->AFrame = object.AFrame;
        TCheckBoxRec state;
        GetTweakState(entry->AppName, entry->GroupName, state);
        entry->SetValue = state.SetValue;
        entry->cValue = state.cValue;
        entry->nValue = state.nValue;
        if (SettingsStore && TextKeptInStore(*entry)) entry->cValue = SettingsStore->GetText(entry->AppName + L"_str", L"");
        if (entry->AType == L"Group" || entry->AType == L"Custom") entry->nImageIndex = object.imgIndex32;
        list.Add(std::move(entry));
        if (!child->elements().empty()) loadGroupEntries(list, treeItem, child);
    }
}

}  // namespace

void LoadAppObjects(TAppObjectsList& list, const XmlElement* elem) {
    const XmlElement* treeItem = getElem(L"TreeItem", nullptr);
    if (!elem) elem = treeItem;
    if (!elem) return;
    // Many tweaks share a key, and most policy keys do not exist: each is opened (or found
    // missing) once for all of them.
    ScopedKeyCache keys(kKeyRead);
    loadGroupEntries(list, treeItem, elem);
}

void ClearAppObjects(TAppObjectsList& list) {
    list.Clear();
}

TCheckBoxRec ReadEntryState(const TRestrListRec& entry) {
    TCheckBoxRec state;
    if (entry.GroupName == AppletGroupName)
        GetAppletState(entry.AppName, state);
    else
        GetTweakState(entry.AppName, entry.GroupName, state);
    return state;
}

void ReloadEntryStates(TAppObjectsList& list) {
    ScopedKeyCache keys(kKeyRead);
    for (int i = 0; i < list.Count(); ++i) {
        TRestrListRec& entry = list[i];
        const TCheckBoxRec state = ReadEntryState(entry);
        entry.SetValue = state.SetValue;
        entry.cValue = state.cValue;
        entry.nValue = state.nValue;
    }
}

namespace {

bool isTweak(const TRestrListRec& entry) { return entry.AType == L"CheckBox" && entry.GroupName != AppletGroupName; }

// "Policies" as a whole key name anywhere in the path.
bool underPolicies(const std::wstring& keyPath) {
    std::size_t start = 0;
    while (start <= keyPath.size()) {
        const std::size_t end = std::min(keyPath.find(L'\\', start), keyPath.size());
        if (sameTextNoCase(keyPath.substr(start, end - start), L"Policies")) return true;
        start = end + 1;
    }
    return false;
}

}  // namespace

bool EntryNotConfigured(const TRestrListRec& entry) {
    if (!isTweak(entry)) return false;
    const std::vector<RecordedValue> values = RecordTweakValues(entry.AppName, entry.GroupName);
    return !values.empty() &&
           std::all_of(values.begin(), values.end(), [](const RecordedValue& v) { return !v.value; });
}

bool CanRemoveFromRegistry(const TRestrListRec& entry) {
    if (!isTweak(entry)) return false;
    const auto locations = TweakValueLocations(entry.AppName, entry.GroupName);
    return !locations.empty() && std::all_of(locations.begin(), locations.end(), [](const auto& located) {
        return underPolicies(located.second.KeyPath);
    });
}

void MarkRemoveFromRegistry(TRestrListRec& entry) {
    if (!CanRemoveFromRegistry(entry)) return;
    // Without its values the tweak reads as switched off; its text or number stays for the editor.
    entry.SetValue = false;
    TRestrListRec::ExactValues exact{{}, entry.SetValue, entry.cValue, entry.nValue};
    for (const auto& located : TweakValueLocations(entry.AppName, entry.GroupName))
        exact.Values.push_back({located.first, std::nullopt});
    entry.Exact = std::move(exact);
}
