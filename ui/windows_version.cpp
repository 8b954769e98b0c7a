#include "ui/windows_version.h"

#include <windows.h>

std::optional<WindowsVersion> runningWindowsVersion()
{
    using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    if (!ntdll) return std::nullopt;
    const auto rtlGetVersion = reinterpret_cast<RtlGetVersionFn>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")));
    if (!rtlGetVersion) return std::nullopt;
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof info;
    if (rtlGetVersion(&info) != 0) return std::nullopt;  // STATUS_SUCCESS
    return WindowsVersion{info.dwMajorVersion, info.dwMinorVersion, info.dwBuildNumber};
}
