#include "app/appobjects.h"

#include <algorithm>
#include <cwctype>

#include "registry/tweakstate.h"
#include "scheme/xmldata.h"

namespace {

wchar_t upperChar(wchar_t c) {
    if (c < 0x80) return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - 32) : c;
    return static_cast<wchar_t>(std::towupper(static_cast<wint_t>(c)));
}

}  // namespace

bool SameText(std::wstring_view a, std::wstring_view b) {
    return CompareTextNoCase(a, b) == 0;
}

int CompareTextNoCase(std::wstring_view a, std::wstring_view b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const wchar_t x = upperChar(a[i]), y = upperChar(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

int TAppObjectsList::Add(std::unique_ptr<TRestrListRec> entry) {
    entries_.push_back(std::move(entry));
    return Count() - 1;
}

int TAppObjectsList::IndexOf(std::wstring_view name) const {
    for (int i = 0; i < Count(); ++i)
        if (SameText(entries_[static_cast<std::size_t>(i)]->AppName, name)) return i;
    return -1;
}

void LoadAppObjects(TAppObjectsList& list, const XmlElement* elem, const LoadCPAppletsHook& loadCPApplets) {
    const XmlElement* treeItem = getElem(L"TreeItem", nullptr);
    if (!elem) elem = treeItem;
    if (!elem) return;
    for (const XmlElement* child : elem->elements()) {
        TAppObjectsRec object;
        getAppObject(child->name(), treeItem, object);
        auto entry = std::make_unique<TRestrListRec>();
        entry->AppName = child->name();
        entry->GroupName = elem->name();
        entry->AType = object.AType;
        entry->AFrame = object.AFrame;
        TCheckBoxRec state;
        GetTweakState(entry->AppName, entry->GroupName, state);
        entry->SetValue = state.SetValue;
        entry->cValue = state.cValue;
        entry->nValue = state.nValue;
        if (entry->AType == L"Group" || entry->AType == L"Custom") entry->nImageIndex = object.imgIndex32;
        list.Add(std::move(entry));
        if (!child->elements().empty()) LoadAppObjects(list, child, loadCPApplets);
    }
    // Only the first call adds the applets: they land right after the first innermost group.
    if (loadCPApplets) loadCPApplets(list);
}

void ClearAppObjects(TAppObjectsList& list) {
    list.Clear();
}
