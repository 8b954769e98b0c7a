#include "base/win/module.h"

#include "base/win/win32_error.h"

std::wstring modulePath(HMODULE module) {
    // The call truncates silently to the buffer: grow it until the path fits.
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        SetLastError(ERROR_SUCCESS);
        const DWORD length = GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) throwLastError("GetModuleFileNameW");
        if (length < path.size() && GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

std::wstring executableFolder() {
    const std::wstring path = modulePath();
    return path.substr(0, path.find_last_of(L"\\/") + 1);
}

std::wstring executableName() {
    const std::wstring path = modulePath();
    return path.substr(path.find_last_of(L"\\/") + 1);
}
