#pragma once
// The entries of the main window: one per scheme element below "TreeItem" and one per
// Control Panel applet, holding each tweak's current and edited state.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "registry/applytweak.h"
#include "registry/tweakstate.h"

class XmlElement;

struct TRestrListRec {
    std::wstring AppName;       // the scheme element's name, or the applet's path
    std::wstring GroupName;     // the parent element's name; "CPApplets" for applets
    std::wstring AType;         // "Group", "Custom" or "CheckBox"
    std::wstring AFrame;        // frame kind; empty for applets
    std::wstring ACaption;      // empty for scheme entries: the caption comes from the scheme
    std::wstring ADescription;  // likewise
    bool SetValue = false;      // the tweak is on / the applet is hidden
    std::wstring cValue;
    int nValue = 0;
    int nImageIndex = 0;        // img32 index of a group; the applet's icon in AppImageList
    // Set by Undo all and Remove from registry: the values the next save puts back exactly,
    // until the check box is switched or the entry's text or number is edited.
    struct ExactValues {
        std::vector<RecordedValue> Values;
        bool SetValue = false;
        std::wstring cValue;
        int nValue = 0;
        // An application list's tweak: how many levels of the list's key were absent at the
        // first start, which the save removes again once the list is empty.
        int AbsentListKeys = 0;
    };
    std::optional<ExactValues> Exact;
    // The recorded values when the entry still holds the state restored with them; else none.
    const std::vector<RecordedValue>* ExactValuesNow() const
    {
        return Exact && Exact->SetValue == SetValue && Exact->cValue == cValue && Exact->nValue == nValue
                   ? &Exact->Values
                   : nullptr;
    }
    int AbsentListKeysNow() const { return ExactValuesNow() ? Exact->AbsentListKeys : 0; }
};

inline const wchar_t* const AppletGroupName = L"CPApplets";

// A tweak whose values are all absent: the registry holds nothing for it, which is not the
// same as switched off by a value. False for applets and tweaks without value locations.
bool EntryNotConfigured(const TRestrListRec& entry);
// Edit > Remove from registry is offered for a check-box tweak whose value locations all lie
// under a "Policies" key, where an absent value means the Windows default.
bool CanRemoveFromRegistry(const TRestrListRec& entry);
// Marks the tweak so that the next save removes its values, until it is switched again; it
// shows as switched off, as it reads once they are gone.
void MarkRemoveFromRegistry(TRestrListRec& entry);

// Unsorted and append-only while the window lives, so an index stays valid for the whole
// run; each entry has its own allocation so that references to it stay valid as well.
class TAppObjectsList {
public:
    int Add(std::unique_ptr<TRestrListRec> entry);  // the new entry's index
    // Case-insensitive; the first match, or -1.
    int IndexOf(std::wstring_view name) const;
    int Count() const { return static_cast<int>(entries_.size()); }
    TRestrListRec& operator[](int index) { return *entries_.at(static_cast<std::size_t>(index)); }
    const TRestrListRec& operator[](int index) const { return *entries_.at(static_cast<std::size_t>(index)); }
    bool Valid(int index) const { return index >= 0 && index < Count(); }
    void Clear() { entries_.clear(); }

private:
    std::vector<std::unique_ptr<TRestrListRec>> entries_;
};

// Appends the applet entries. The model calls it once, when something first needs the
// applets, since enumerating them and taking their icons is slow.
using LoadCPAppletsHook = std::function<void(TAppObjectsList&)>;

// A text editor on a tweak whose value types hold no text (a yes/no or flag type): the
// registry cannot take what is typed there, so the settings store keeps it under
// "<name>_str", from which start-up shows it again.
bool TextKeptInStore(const TRestrListRec& entry);

// One entry per descendant of elem (the "TreeItem" section when null), depth first,
// parents before children, each with the registry state of its tweak.
void LoadAppObjects(TAppObjectsList& list, const XmlElement* elem = nullptr);
void ClearAppObjects(TAppObjectsList& list);

// The registry state of an entry now: an applet's by GetAppletState, any other's by
// GetTweakState.
TCheckBoxRec ReadEntryState(const TRestrListRec& entry);
// Every entry's state read again, in place: indexes and applets stay, the states become
// those of the registry now installed (another user's, after a switch).
void ReloadEntryStates(TAppObjectsList& list);
