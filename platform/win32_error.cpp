#include "platform/win32_error.h"

#include <windows.h>

#include "scheme/xml.h"

std::wstring widen(const std::string& utf8)
{
    if (utf8.empty()) return {};
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), length);
    return wide;
}

static std::string systemMessage(unsigned long code)
{
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
        0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text = length ? std::wstring(buffer, length) : L"error " + std::to_wstring(code);
    LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ')) text.pop_back();
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string narrow(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), narrow.data(), size, nullptr,
                        nullptr);
    return narrow;
}

Win32Error::Win32Error(const char* call, unsigned long code)
    : std::runtime_error(std::string(call) + ": " + systemMessage(code)), code_(code)
{
}

void throwLastError(const char* call)
{
    throw Win32Error(call, GetLastError());
}

void throwIfFailed(long status, const char* call)
{
    if (status != ERROR_SUCCESS) throw Win32Error(call, static_cast<unsigned long>(status));
}

std::wstring errorMessage(const std::exception& error)
{
    if (const auto* reader = dynamic_cast<const EXmlReaderError*>(&error)) return reader->message();
    return widen(error.what());
}
