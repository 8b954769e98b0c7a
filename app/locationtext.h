#pragma once
// What a tweak writes where, as text the description panel shows and the user can copy:
// every registry location with its root, key, value name, data type and the data that the
// checked and the unchecked state write. Worked out by the engine's own plans.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/appobjects.h"
#include "registry/applytweak.h"
#include "registry/registry.h"

// Lines end in CR LF, as a multi-line edit control wants them.
inline const wchar_t* const LocationLineEnd = L"\r\n";
inline const wchar_t* const OfficeNotFoundNote = L"Office settings were not found";


// "(Default)" for the unnamed value, else the name.
std::wstring ValueNameText(const std::wstring& valueName);
// "REG_SZ", "REG_DWORD", ...; "type n" for a number outside the usual ones.
std::wstring RegTypeName(RegType type);
// Data as the user reads it: "0x00000001 (1)" for a REG_DWORD, the text in quotes for a
// REG_SZ, the byte count for anything else.
std::wstring RegistryDataText(const RegValue& value);
// A value as the registry holds it now: its type and data, or "(not set)".
std::wstring RegistryValueText(const std::optional<RegValue>& value);
// What a planned change leaves behind: the type and data written, "(removed)", or where a
// class key moves to.
std::wstring RegistryWriteText(const RegistryWrite& write);
// The value a write sets, as the registry would hold it; nothing for removals and renames.
std::optional<RegValue> WrittenValue(const RegistryWrite& write);

// The location text of the entry at `index` (a check-box tweak or an applet); empty for
// groups. Text and number of "String" and "Integer" tweaks are the entry's own. otherUser:
// the name of the user whose HKEY_CURRENT_USER is shown, when it is not the running user's;
// machine-wide roots then say that they are the same for every user.
std::wstring LocationText(const TAppObjectsList& entries, int index, const std::wstring& otherUser = {});
// "HKEY_CURRENT_USER", or with another user "HKEY_CURRENT_USER of DOMAIN\name" and
// "HKEY_LOCAL_MACHINE (machine-wide: the same for every user)".
std::wstring RootText(RegRoot root, const std::wstring& otherUser);
