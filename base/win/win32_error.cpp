#include "base/win/win32_error.h"

#include <windows.h>

#include "base/text.h"

std::wstring systemErrorText(unsigned long code) {
    wchar_t* buffer = nullptr;
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text = length ? std::wstring(buffer, length) : L"error " + std::to_wstring(code);
    if (buffer) LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ')) text.pop_back();
    return text;
}

Win32Error::Win32Error(std::wstring_view call, unsigned long code)
    : WideError(std::wstring(call) + L": " + systemErrorText(code)), code_(code) {}

void throwLastError(const char* call) {
    const DWORD code = GetLastError();
    throw Win32Error(fromUtf8(call), code);
}

void throwIfFailed(long status, const char* call) {
    if (status != ERROR_SUCCESS) throw Win32Error(fromUtf8(call), static_cast<unsigned long>(status));
}
