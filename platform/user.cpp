#include "platform/user.h"

#include <windows.h>

#include <sddl.h>
#include <shellapi.h>

#include <vector>

#include "base/win/handles.h"
#include "base/win/module.h"
#include "base/win/win32_error.h"

std::wstring currentUserName()
{
    wchar_t buffer[257];  // a user name has at most 256 characters
    DWORD size = static_cast<DWORD>(std::size(buffer));
    if (!GetUserNameW(buffer, &size) || size == 0) return {};
    return std::wstring(buffer, size - 1);
}

bool isUserAdministrator()
{
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID administrators = nullptr;
    if (!AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                                  &administrators))
        return false;
    // CheckTokenMembership counts only enabled groups, never deny-only ones.
    BOOL member = FALSE;
    if (!CheckTokenMembership(nullptr, administrators, &member)) member = FALSE;
    FreeSid(administrators);
    return member != FALSE;
}

bool isProcessElevated()
{
    HANDLE raw = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) return false;
    const UniqueHandle token(raw);
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    return GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof elevation, &size) &&
           elevation.TokenIsElevated != 0;
}

std::wstring runningUserSid()
{
    HANDLE raw = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) return {};
    const UniqueHandle token(raw);
    DWORD size = 0;
    GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    std::vector<unsigned char> buffer(size);
    if (size == 0 || !GetTokenInformation(token.get(), TokenUser, buffer.data(), size, &size)) return {};
    wchar_t* text = nullptr;
    if (!ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &text)) return {};
    std::wstring sid = text;
    LocalFree(text);
    return sid;
}

std::optional<std::wstring> accountNameOfSid(const std::wstring& sidText)
{
    PSID sid = nullptr;
    if (!ConvertStringSidToSidW(sidText.c_str(), &sid)) return std::nullopt;
    wchar_t name[256], domain[256];
    DWORD nameLength = 256, domainLength = 256;
    SID_NAME_USE use;
    const bool found = LookupAccountSidW(nullptr, sid, name, &nameLength, domain, &domainLength, &use);
    LocalFree(sid);
    if (!found || nameLength == 0) return std::nullopt;
    return domainLength ? std::wstring(domain) + L"\\" + name : std::wstring(name);
}

std::wstring expandEnvironment(const std::wstring& text)
{
    const DWORD size = ExpandEnvironmentStringsW(text.c_str(), nullptr, 0);
    if (size == 0) return text;
    std::wstring expanded(size, L'\0');
    const DWORD written = ExpandEnvironmentStringsW(text.c_str(), expanded.data(), size);
    if (written == 0 || written > size) return text;
    expanded.resize(written - 1);
    return expanded;
}

bool restartElevated(const std::wstring& parameters)
{
    const std::wstring program = modulePath();
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOASYNC;
    info.lpVerb = L"runas";
    info.lpFile = program.c_str();
    info.lpParameters = parameters.c_str();
    info.nShow = SW_SHOWNORMAL;
    if (ShellExecuteExW(&info)) return true;
    if (GetLastError() == ERROR_CANCELLED) return false;
    throwLastError("ShellExecuteExW");
}

bool isLocalSystem()
{
    HANDLE raw = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) return false;
    const UniqueHandle token(raw);
    DWORD size = 0;
    GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    std::vector<BYTE> buffer(size);
    if (size == 0 || !GetTokenInformation(token.get(), TokenUser, buffer.data(), size, &size)) return false;
    return IsWellKnownSid(reinterpret_cast<const TOKEN_USER*>(buffer.data())->User.Sid, WinLocalSystemSid) != FALSE;
}
