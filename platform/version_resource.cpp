#include "platform/version_resource.h"

#include <windows.h>

#include <vector>

#include "base/win/module.h"

std::optional<FileVersion> ReadProductVersion(const std::wstring& file)
{
    const std::wstring path = file.empty() ? modulePath() : file;
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &handle);
    if (size == 0) return std::nullopt;
    std::vector<BYTE> buffer(size);
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    if (!GetFileVersionInfoW(path.c_str(), 0, size, buffer.data()) ||
        !VerQueryValueW(buffer.data(), L"\\", reinterpret_cast<void**>(&info), &length) || !info ||
        length < sizeof(VS_FIXEDFILEINFO))
        return std::nullopt;
    return FileVersion{info->dwProductVersionMS, info->dwProductVersionLS};
}
