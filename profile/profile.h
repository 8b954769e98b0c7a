#pragma once
// A profile: registry changes as a .reg file or a Registry.pol file carries them, in the
// file's order. The readers of both formats produce it and their writers write it.
#include <optional>
#include <string>
#include <vector>

#include "base/error.h"
#include "registry/registry.h"

struct ProfileValue {
    std::wstring Name;             // "" for the default value
    std::optional<RegValue> Data;  // none: the value is removed
    bool operator==(const ProfileValue&) const = default;
};

struct ProfileKey {
    RegRoot Root = 0;
    std::wstring Path;
    // What goes before Values are set: nothing, the key's values ("**delvals."), or the key
    // with everything below it ("[-key]").
    enum class Removal { None, Values, Tree };
    Removal Remove = Removal::None;
    bool Recreate = true;  // after a removal: the key is written again with Values
    std::vector<ProfileValue> Values;
    bool operator==(const ProfileKey&) const = default;
};

// A file that cannot be read as a profile. The message names the line or the byte offset.
class ProfileError : public WideError {
public:
    using WideError::WideError;
};

// Names of roots as .reg files write them: the full names, and the short ones (HKLM, HKCU,
// HKCR, HKU, HKCC) that reg.exe accepts. Any case; 0 for anything else.
RegRoot ProfileRootByName(const std::wstring& name);
