#pragma once
// The Control Panel applets: each shell Control Panel item is a check-box entry that hides
// the applet through a "Yes" value named by the item's path under
// HKEY_CURRENT_USER\Control Panel\don't load. The shell enumeration lives in
// platform/controlpanel; this side reads and writes the state and builds the entries.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "registry/applytweak.h"
#include "registry/tweakstate.h"

// The scheme element that names the "don't load" location, and the group of the entries.
inline const wchar_t* const CPAppletsGroup = L"CPApplets";
inline const wchar_t* const AppletHiddenText = L"Yes";

// The "don't load" key from the CPApplets element's location 1; nothing when the scheme does
// not hold the element or its alias names no key (values directly under a root are never
// touched).
struct AppletLocation {
    RegRoot Root = 0;
    std::wstring KeyPath;
};
std::optional<AppletLocation> AppletsKey();

// Whether the applet is hidden: SetValue and SetValue1 are true only for a value of exactly
// "Yes". Everything else in the record is cleared.
void GetAppletState(const std::wstring& appletPath, TCheckBoxRec& record);
// What ApplyAppletState does: write "Yes" (creating the key) or remove the value. Changed:
// nothing when the registry already agrees; All: the change whatever the registry holds.
// Nothing either when the scheme names no "don't load" key.
std::optional<RegistryWrite> PlanAppletState(const std::wstring& appletPath, bool hidden,
                                             PlanScope scope = PlanScope::Changed);
// Carries out PlanAppletState. Registry errors propagate: the save stops at the failing applet.
void ApplyAppletState(const std::wstring& appletPath, bool hidden);

// One Control Panel item as the shell lists it, with the index of its icon in AppImageList
// (0 when no icon could be taken).
struct ControlPanelItem {
    std::wstring InFolderName;  // SHGDN_INFOLDER
    std::wstring NormalName;    // SHGDN_NORMAL
    std::wstring Path;          // file-system path, else the joined parsing names
    int ImageIndex = 0;
};

// The caption of an applet's entry: " Hide " and the in-folder name.
std::wstring AppletCaption(const std::wstring& inFolderName);

// An item's path from its levels, top level first (the desktop not among them): a folder
// that reports a class identifier is named "::" and that identifier, any other level by
// its parent folder's parsing name for it.
struct ShellLevel {
    std::optional<std::wstring> ClassId;  // in braces, as ClassIdText gives it
    std::wstring ParsingName;
};
std::wstring JoinAppletPath(const std::vector<ShellLevel>& levels);

// A class identifier in its usual text form: braces, upper-case hexadecimal digits in groups
// of 8, 4, 4, 4 and 12.
std::wstring ClassIdText(std::uint32_t data1, std::uint16_t data2, std::uint16_t data3, const std::uint8_t (&data4)[8]);

// The entry of one applet, for any entry record with the list's field names.
template <class Entry>
Entry MakeAppletEntry(const ControlPanelItem& item)
{
    TCheckBoxRec state;
    GetAppletState(item.Path, state);
    Entry entry{};
    entry.AppName = item.Path;
    entry.GroupName = CPAppletsGroup;
    entry.AType = L"CheckBox";
    entry.AFrame.clear();
    entry.ACaption = AppletCaption(item.InFolderName);
    entry.ADescription = item.NormalName;
    entry.SetValue = state.SetValue;
    entry.cValue.clear();
    entry.nValue = 0;
    entry.nImageIndex = item.ImageIndex;
    return entry;
}
