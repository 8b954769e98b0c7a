#pragma once
// Another user of the Wine prefix for tests: a hive file of its own, made by RegSaveKeyW
// (which Wine's RegLoadKeyW loads), listed in ProfileList; and the mounts Quillmark left
// under HKEY_USERS.
#include <windows.h>

#include <string>
#include <vector>

#include "app/userchoice.h"
#include "base/text.h"
#include "base/win/handles.h"
#include "platform/userhive.h"
#include "tests/support/files.h"
#include "tests/support/where.h"

namespace testsupport {

// SeBackupPrivilege and SeRestorePrivilege, for RegSaveKeyW and RegLoadKeyW made by a test.
inline void enableHivePrivileges(const Where& where = Where::current()) {
    HANDLE raw = nullptr;
    require(OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &raw) != FALSE,
            "cannot open the process token", where);
    const UniqueHandle token(raw);
    for (const wchar_t* name : {SE_BACKUP_NAME, SE_RESTORE_NAME}) {
        TOKEN_PRIVILEGES wanted{1, {{{}, SE_PRIVILEGE_ENABLED}}};
        require(LookupPrivilegeValueW(nullptr, name, &wanted.Privileges[0].Luid) != FALSE, "no privilege", where);
        require(AdjustTokenPrivileges(token.get(), FALSE, &wanted, 0, nullptr, nullptr) != FALSE,
                "cannot enable " + toUtf8(name), where);
    }
}

struct HiveValue {
    std::wstring key, name;
    DWORD value;
};

// A user's NTUSER.DAT in a folder of its own, holding these values: made by RegSaveKeyW from
// a scratch key of HKEY_CURRENT_USER, which goes again.
struct HiveFile {
    TempFolder folder{"hive"};
    std::wstring path = folder.file(L"NTUSER.DAT");
    explicit HiveFile(const std::vector<HiveValue>& values, const Where& where = Where::current()) {
        enableHivePrivileges(where);
        const std::wstring source = L"Software\\QuillmarkTest\\HiveSource" + std::to_wstring(GetCurrentProcessId());
        for (const HiveValue& v : values) {
            const std::wstring key = source + L"\\" + v.key;
            require(RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), v.name.c_str(), REG_DWORD, &v.value,
                                    sizeof v.value) == ERROR_SUCCESS,
                    "cannot set " + toUtf8(v.name), where);
        }
        HKEY raw = nullptr;
        require(RegCreateKeyExW(HKEY_CURRENT_USER, source.c_str(), 0, nullptr, 0, KEY_READ, nullptr, &raw, nullptr) ==
                    ERROR_SUCCESS,
                "cannot open the scratch key", where);
        const UniqueHkey key(raw);
        const LONG saved = RegSaveKeyW(key.get(), path.c_str(), nullptr);
        RegDeleteTreeW(HKEY_CURRENT_USER, source.c_str());
        require(saved == ERROR_SUCCESS, "RegSaveKeyW failed: " + std::to_string(saved), where);
    }
};

// A user in ProfileList, its profile folder given, for as long as the object lives.
struct ListedProfile {
    std::wstring sid;
    ListedProfile(std::wstring sidText, const std::wstring& folder, const Where& where = Where::current())
        : sid(std::move(sidText)) {
        const std::wstring key = std::wstring(ProfileListKey) + L"\\" + sid;
        require(RegSetKeyValueW(HKEY_LOCAL_MACHINE, key.c_str(), L"ProfileImagePath", REG_EXPAND_SZ, folder.c_str(),
                                static_cast<DWORD>((folder.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS,
                "cannot list the profile", where);
    }
    ~ListedProfile() { RegDeleteTreeW(HKEY_LOCAL_MACHINE, (std::wstring(ProfileListKey) + L"\\" + sid).c_str()); }
    ListedProfile(const ListedProfile&) = delete;
    ListedProfile& operator=(const ListedProfile&) = delete;
};

// The keys under HKEY_USERS with Quillmark's mount prefix.
inline std::vector<std::wstring> quillmarkMounts() {
    std::vector<std::wstring> names;
    wchar_t name[256];
    for (DWORD i = 0;; ++i) {
        DWORD length = 256;
        if (RegEnumKeyExW(HKEY_USERS, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        if (startsWithNoCase(name, HiveMountPrefix)) names.emplace_back(name);
    }
    return names;
}

}  // namespace testsupport
