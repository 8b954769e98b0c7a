// Other users' hives on the real registry under Wine: the profile list, a profile's
// NTUSER.DAT loaded under a mount of Quillmark's own and unloaded again, a signed-in user's
// key used as it is, mounts left by processes that ended, and why a hive cannot be loaded.
#include <doctest/doctest.h>

#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/userchoice.h"
#include "base/text.h"
#include "base/win/handles.h"
#include "platform/user.h"
#include "platform/userhive.h"
#include "registry/regaccess.h"
#include "tests/support/hives.h"

namespace fs = std::filesystem;
using testsupport::HiveFile;
using testsupport::ListedProfile;
using testsupport::quillmarkMounts;
using testsupport::TempFolder;

namespace {

const std::wstring kPolicies = L"Software\\QuillmarkTest\\Policies";

bool keyExists(HKEY root, const std::wstring& path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

std::optional<DWORD> dwordAt(HKEY root, const std::wstring& path, const std::wstring& name)
{
    DWORD value = 0, size = sizeof value, type = 0;
    if (RegGetValueW(root, path.c_str(), name.c_str(), RRF_RT_REG_DWORD, &type, &value, &size) != ERROR_SUCCESS)
        return std::nullopt;
    return value;
}

void setDword(HKEY root, const std::wstring& path, const std::wstring& name, DWORD value)
{
    REQUIRE(RegSetKeyValueW(root, path.c_str(), name.c_str(), REG_DWORD, &value, sizeof value) == ERROR_SUCCESS);
}

}  // namespace

TEST_CASE("the profile list under Wine: the running user signed in, a second profile with its own hive file")
{
    const std::wstring running = runningUserSid();
    REQUIRE_FALSE(running.empty());
    HiveFile hive({{kPolicies, L"Alpha", 1}});
    const ListedProfile second(L"S-1-5-21-0-0-0-1101", hive.folder.path.wstring());
    const std::vector<UserProfile> profiles =
        ReadProfiles(Win32Registry(), {accountNameOfSid, expandEnvironment});

    const auto find = [&](const std::wstring& sid) {
        return std::find_if(profiles.begin(), profiles.end(), [&](const UserProfile& p) { return p.Sid == sid; });
    };
    const auto me = find(running);
    REQUIRE(me != profiles.end());
    CHECK(me->SignedIn);
    CHECK(me->Name == accountNameOfSid(running).value_or(L"?"));
    CHECK(me->Name.ends_with(L"\\" + [] {
        wchar_t name[257];
        DWORD size = 257;
        GetUserNameW(name, &size);
        return std::wstring(name);
    }()));

    const auto other = find(second.sid);
    REQUIRE(other != profiles.end());
    CHECK_FALSE(other->SignedIn);
    CHECK(other->Name == second.sid);  // no account of that SID exists
    CHECK(sameTextNoCase(other->HivePath, hive.path));

    REQUIRE(profiles.back().DefaultProfile);
    CHECK(profiles.back().HivePath.ends_with(L"\\NTUSER.DAT"));
    CHECK(profiles.back().HivePath.find(L'%') == std::wstring::npos);
}

TEST_CASE("a profile's hive is loaded under a mount of its own while it is open, and unloaded after")
{
    HiveFile hive({{kPolicies, L"Alpha", 1}});
    std::wstring mount;
    {
        const std::unique_ptr<IUserHive> opened = OpenUserHive(L"S-1-5-21-0-0-0-1101", hive.path);
        mount = opened->KeyName();
        CHECK(mount.starts_with(std::wstring(HiveMountPrefix) + std::to_wstring(GetCurrentProcessId()) + L"."));
        CHECK(dwordAt(HKEY_USERS, mount + L"\\" + kPolicies, L"Alpha") == 1u);
        CHECK(quillmarkMounts() == std::vector<std::wstring>{mount});

        // Through the view the engine reads and writes there, and not in HKEY_CURRENT_USER.
        UserHiveRegistry view(Win32Registry(), mount);
        ScopedRegistry scope(view);
        CHECK(ReadIntOrDefault(kHkeyCurrentUser, kPolicies, L"Alpha", 9) == 1);
        WriteDwordValue(kHkeyCurrentUser, kPolicies, L"Zeta", 5);
        CHECK(dwordAt(HKEY_USERS, mount + L"\\" + kPolicies, L"Zeta") == 5u);
        CHECK_FALSE(dwordAt(HKEY_CURRENT_USER, kPolicies, L"Zeta"));
    }
    CHECK_FALSE(keyExists(HKEY_USERS, mount));
    CHECK(quillmarkMounts().empty());
}

TEST_CASE("a signed-in user's HKEY_USERS key is used as it is, and stays")
{
    const std::wstring sid = L"S-1-5-21-0-0-0-1102";
    setDword(HKEY_USERS, sid + L"\\" + kPolicies, L"Alpha", 7);
    {
        // The file is not even looked at while Windows has the hive loaded.
        const std::unique_ptr<IUserHive> opened = OpenUserHive(sid, L"C:\\nowhere\\NTUSER.DAT");
        CHECK(opened->KeyName() == sid);
        CHECK(quillmarkMounts().empty());
    }
    CHECK(dwordAt(HKEY_USERS, sid + L"\\" + kPolicies, L"Alpha") == 7u);
    RegDeleteTreeW(HKEY_USERS, sid.c_str());
}

TEST_CASE("a hive that cannot be loaded says why")
{
    TempFolder folder{"hive"};
    const fs::path garbage = folder.path / L"NTUSER.DAT";
    std::ofstream(garbage, std::ios::binary) << "not a registry hive at all";
    struct Case {
        std::wstring sid, path, reason;
    };
    const Case cases[] = {
        {L"S-1-5-21-0-0-0-1103", (folder.path / L"missing\\NTUSER.DAT").wstring(), L"does not exist"},
        {L"S-1-5-21-0-0-0-1103", garbage.wstring(), L"\" is damaged ("},
        {L"S-1-5-21-0-0-0-1103", L"", L"no settings file is known for this profile."},
    };
    for (const Case& c : cases) {
        CAPTURE(toUtf8(c.path));
        std::wstring message;
        try {
            OpenUserHive(c.sid, c.path);
        } catch (const WideError& error) {
            message = error.message();
        }
        CAPTURE(toUtf8(message));
        CHECK(message.find(c.reason) != std::wstring::npos);
        CHECK(quillmarkMounts().empty());
    }
}

TEST_CASE("mounts of processes that ended are unloaded; those of a running process stay")
{
    testsupport::enableHivePrivileges();
    HiveFile leftHive({{kPolicies, L"Alpha", 2}}), heldHive({{kPolicies, L"Alpha", 3}}), ownHive({{kPolicies, L"Alpha", 4}});

    // Left by a process that is gone: loaded, and nobody holds its name.
    const std::wstring left = std::wstring(HiveMountPrefix) + L"4000000.1";
    REQUIRE(RegLoadKeyW(HKEY_USERS, left.c_str(), leftHive.path.c_str()) == ERROR_SUCCESS);

    // Held by another process, which is then killed: its name is held by that process alone.
    wchar_t command[] = L"cmd.exe /c exit 0";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child{};
    REQUIRE(CreateProcessW(nullptr, command, nullptr, nullptr, FALSE, CREATE_SUSPENDED | CREATE_NO_WINDOW, nullptr,
                           nullptr, &startup, &child));
    const UniqueHandle process(child.hProcess), thread(child.hThread);
    const std::wstring held = std::wstring(HiveMountPrefix) + std::to_wstring(child.dwProcessId) + L".1";
    HANDLE lock = CreateMutexW(nullptr, FALSE, (L"Global\\" + held).c_str());
    REQUIRE(lock);
    HANDLE inChild = nullptr;
    REQUIRE(DuplicateHandle(GetCurrentProcess(), lock, process.get(), &inChild, 0, FALSE,
                            DUPLICATE_SAME_ACCESS | DUPLICATE_CLOSE_SOURCE));
    REQUIRE(RegLoadKeyW(HKEY_USERS, held.c_str(), heldHive.path.c_str()) == ERROR_SUCCESS);

    // This process's own mount.
    const std::unique_ptr<IUserHive> own = OpenUserHive(L"S-1-5-21-0-0-0-1104", ownHive.path);

    CHECK(UnloadStaleMounts() == 1);
    CHECK_FALSE(keyExists(HKEY_USERS, left));
    CHECK(keyExists(HKEY_USERS, held));
    CHECK(keyExists(HKEY_USERS, own->KeyName()));

    TerminateProcess(process.get(), 1);
    REQUIRE(WaitForSingleObject(process.get(), 10000) == WAIT_OBJECT_0);
    CHECK(keyExists(HKEY_USERS, held));  // a killed process unloads nothing
    CHECK(UnloadStaleMounts() == 1);
    CHECK_FALSE(keyExists(HKEY_USERS, held));
    CHECK(dwordAt(HKEY_USERS, own->KeyName() + L"\\" + kPolicies, L"Alpha") == 4u);
}
