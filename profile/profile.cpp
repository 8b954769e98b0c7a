#include "profile/profile.h"

#include "base/text.h"
#include "registry/regaccess.h"

RegRoot ProfileRootByName(const std::wstring& name) {
    const std::wstring upper = upperCase(name);
    static const struct {
        const wchar_t* name;
        RegRoot root;
    } shortNames[] = {{L"HKLM", kHkeyLocalMachine}, {L"HKCU", kHkeyCurrentUser}, {L"HKCR", kHkeyClassesRoot},
                      {L"HKU", kHkeyUsers}, {L"HKCC", kHkeyCurrentConfig}};
    for (const auto& s : shortNames)
        if (upper == s.name) return s.root;
    return RootKeyByName(upper);
}
