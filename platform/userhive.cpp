#include "platform/userhive.h"

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <exception>
#include <vector>

#include "base/text.h"
#include "base/win/handles.h"
#include "base/win/win32_error.h"

namespace {

// The mounts this process holds, for UnloadOwnMountsNow.
std::vector<std::wstring>& ownMounts()
{
    static std::vector<std::wstring> mounts;
    return mounts;
}

// A mount is in use while a process holds the mutex of its name: the system closes the
// handle of a process that ends in any way, so a mount without one was left behind. Global,
// since HKEY_USERS is the same in every session.
std::wstring lockName(const std::wstring& mount)
{
    return L"Global\\" + mount;
}

// SeBackupPrivilege and SeRestorePrivilege, enabled for the object's lifetime: loading and
// unloading a hive needs both.
class HivePrivileges {
public:
    HivePrivileges()
    {
        HANDLE token = nullptr;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
            throwLastError("OpenProcessToken");
        token_.reset(token);
        Privileges wanted{};
        wanted.count = 2;
        const wchar_t* const names[] = {SE_BACKUP_NAME, SE_RESTORE_NAME};
        for (int i = 0; i < 2; ++i) {
            if (!LookupPrivilegeValueW(nullptr, names[i], &wanted.privileges[i].Luid))
                throwLastError("LookupPrivilegeValueW");
            wanted.privileges[i].Attributes = SE_PRIVILEGE_ENABLED;
        }
        DWORD size = sizeof previous_;
        if (!AdjustTokenPrivileges(token_.get(), FALSE, reinterpret_cast<TOKEN_PRIVILEGES*>(&wanted), size,
                                   reinterpret_cast<TOKEN_PRIVILEGES*>(&previous_), &size))
            throwLastError("AdjustTokenPrivileges");
        // Succeeds also when the token lacks them; only the last error tells.
        if (GetLastError() == ERROR_NOT_ALL_ASSIGNED) {
            restore();
            throw WideError(L"loading another user's settings needs administrator rights (the privileges to back up "
                            L"and restore files and directories).");
        }
    }
    ~HivePrivileges() { restore(); }
    HivePrivileges(const HivePrivileges&) = delete;
    HivePrivileges& operator=(const HivePrivileges&) = delete;

private:
    struct Privileges {
        DWORD count;
        LUID_AND_ATTRIBUTES privileges[2];
    };
    void restore() noexcept
    {
        if (previous_.count > 0)
            AdjustTokenPrivileges(token_.get(), FALSE, reinterpret_cast<TOKEN_PRIVILEGES*>(&previous_), 0, nullptr,
                                  nullptr);
        previous_.count = 0;
    }
    UniqueHandle token_;
    Privileges previous_{};
};

std::wstring loadFailureReason(LSTATUS status, const std::wstring& hivePath)
{
    const std::wstring file = L"\"" + hivePath + L"\"";
    switch (status) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return L"its settings file " + file + L" does not exist.";
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return L"its settings file " + file +
               L" is in use: the user may be signed in where this computer does not show it, or another program "
               L"has loaded it.";
    case ERROR_PRIVILEGE_NOT_HELD:
    case ERROR_ACCESS_DENIED:
        return L"loading its settings file " + file + L" needs administrator rights.";
    case ERROR_BADDB:
    case ERROR_REGISTRY_CORRUPT:
    case ERROR_BADKEY:
    case ERROR_NOT_REGISTRY_FILE:
        return L"its settings file " + file + L" is damaged (" + systemErrorText(static_cast<DWORD>(status)) + L").";
    }
    return L"its settings file " + file + L" cannot be loaded: " + systemErrorText(static_cast<DWORD>(status));
}

bool unloadMount(const std::wstring& mount) noexcept
{
    try {
        HivePrivileges privileges;
        // The registry may still be closing a key of the hive for a moment.
        for (int attempt = 0; attempt < 5; ++attempt) {
            if (RegUnLoadKeyW(HKEY_USERS, mount.c_str()) == ERROR_SUCCESS) return true;
            Sleep(50);
        }
    } catch (...) {
    }
    return false;
}

class SignedInHive : public IUserHive {
public:
    explicit SignedInHive(std::wstring sid) : sid_(std::move(sid)) {}
    const std::wstring& KeyName() const override { return sid_; }

private:
    std::wstring sid_;
};

class MountedHive : public IUserHive {
public:
    explicit MountedHive(const std::wstring& hivePath)
    {
        static unsigned counter = 0;
        name_ = HiveMountPrefix + std::to_wstring(GetCurrentProcessId()) + L"." + std::to_wstring(++counter);
        // Held before the load, so that no other start ever sees this mount without it.
        lock_.reset(CreateMutexW(nullptr, FALSE, lockName(name_).c_str()));
        if (!lock_) throwLastError("CreateMutexW");
        HivePrivileges privileges;
        const LSTATUS status = RegLoadKeyW(HKEY_USERS, name_.c_str(), hivePath.c_str());
        if (status != ERROR_SUCCESS) {
            // Wine leaves an empty key of the name behind when the file is no hive.
            if (RegUnLoadKeyW(HKEY_USERS, name_.c_str()) != ERROR_SUCCESS) RegDeleteKeyW(HKEY_USERS, name_.c_str());
            throw WideError(loadFailureReason(status, hivePath));
        }
        ownMounts().push_back(name_);
    }
    ~MountedHive() override
    {
        unloadMount(name_);
        std::erase(ownMounts(), name_);
    }
    MountedHive(const MountedHive&) = delete;
    MountedHive& operator=(const MountedHive&) = delete;
    const std::wstring& KeyName() const override { return name_; }

private:
    std::wstring name_;
    UniqueHandle lock_;
};

bool keyExists(HKEY root, const std::wstring& path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

std::vector<std::wstring> mountNames()
{
    std::vector<std::wstring> names;
    wchar_t name[256];
    for (DWORD i = 0;; ++i) {
        DWORD length = 256;
        const LSTATUS status = RegEnumKeyExW(HKEY_USERS, i, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_MORE_DATA) continue;  // longer than any mount name of ours
        if (status != ERROR_SUCCESS) break;
        if (startsWithNoCase(std::wstring_view(name, length), HiveMountPrefix)) names.emplace_back(name, length);
    }
    return names;
}

}  // namespace

std::unique_ptr<IUserHive> OpenUserHive(const std::wstring& sid, const std::wstring& hivePath)
{
    // Signed in since the list was read, or still: Windows has the hive loaded already.
    if (!sid.empty() && keyExists(HKEY_USERS, sid)) return std::make_unique<SignedInHive>(sid);
    if (hivePath.empty()) throw WideError(L"no settings file is known for this profile.");
    return std::make_unique<MountedHive>(hivePath);
}

int UnloadStaleMounts()
{
    int unloaded = 0;
    for (const std::wstring& mount : mountNames()) {
        UniqueHandle lock(OpenMutexW(SYNCHRONIZE, FALSE, lockName(mount).c_str()));
        if (lock || GetLastError() != ERROR_FILE_NOT_FOUND) continue;  // held, or not ours to judge
        if (unloadMount(mount)) ++unloaded;
    }
    return unloaded;
}

void UnloadOwnMountsNow() noexcept
{
    for (const std::wstring& mount : ownMounts()) unloadMount(mount);
}

void UnloadOwnMountsOnFatalError()
{
    static std::terminate_handler previousHandler = std::set_terminate([] {
        UnloadOwnMountsNow();
        if (previousHandler) previousHandler();
        std::abort();
    });
    static LPTOP_LEVEL_EXCEPTION_FILTER previousFilter =
        SetUnhandledExceptionFilter([](EXCEPTION_POINTERS* exception) -> LONG {
            UnloadOwnMountsNow();
            return previousFilter ? previousFilter(exception) : EXCEPTION_CONTINUE_SEARCH;
        });
}
