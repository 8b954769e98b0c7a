#include "platform/version_resource.h"

#include <windows.h>

#include <vector>

#include "app/version.h"
#include "base/win/module.h"

std::wstring GetAppVersion(const std::wstring& FileName)
{
    const std::wstring file = FileName.empty() ? modulePath() : FileName;
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeW(file.c_str(), &handle);
    if (size == 0) return VersionText(0, 0);
    std::vector<BYTE> buffer(size);
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    if (!GetFileVersionInfoW(file.c_str(), 0, size, buffer.data()) ||
        !VerQueryValueW(buffer.data(), L"\\", reinterpret_cast<void**>(&info), &length) || !info ||
        length < sizeof(VS_FIXEDFILEINFO))
        return VersionText(0, 0);
    return VersionText(info->dwProductVersionMS, info->dwProductVersionLS);
}
