#include "ui/placement_registry.h"

#include <windows.h>

#include "base/win/handles.h"
#include "base/win/win32_error.h"

namespace {

std::optional<int> readInt(HKEY key, const wchar_t* name)
{
    DWORD value = 0, size = sizeof value, type = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof value)
        return std::nullopt;
    return static_cast<int>(value);
}

std::optional<std::wstring> readText(HKEY key, const wchar_t* name)
{
    wchar_t buffer[128];
    DWORD size = sizeof buffer, type = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS ||
        type != REG_SZ)
        return std::nullopt;
    std::wstring text(buffer, size / sizeof(wchar_t));
    while (!text.empty() && text.back() == L'\0') text.pop_back();
    return text;
}

void writeInt(HKEY key, const wchar_t* name, int value)
{
    const DWORD data = static_cast<DWORD>(value);
    throwIfFailed(RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof data),
                  "RegSetValueExW");
}

void writeText(HKEY key, const wchar_t* name, const std::wstring& text)
{
    throwIfFailed(RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                                 static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))),
                  "RegSetValueExW");
}

}  // namespace

PlacementValues readPlacementValues(const std::wstring& keyPath)
{
    PlacementValues values;
    HKEY raw = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, keyPath.c_str(), 0, KEY_QUERY_VALUE, &raw) != ERROR_SUCCESS)
        return values;  // never saved yet
    const UniqueHkey key(raw);
    values.ShowCmd = readInt(key.get(), L"ShowCmd");
    values.Flags = readInt(key.get(), L"Flags");
    values.PixelsPerInch = readInt(key.get(), L"PixelsPerInch");
    values.MinMaxPos = readText(key.get(), L"MinMaxPos");
    values.NormPos = readText(key.get(), L"NormPos");
    return values;
}

void writePlacementValues(const PlacementValues& values, const std::wstring& keyPath)
{
    HKEY raw = nullptr;
    throwIfFailed(RegCreateKeyExW(HKEY_CURRENT_USER, keyPath.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  KEY_SET_VALUE, nullptr, &raw, nullptr),
                  "RegCreateKeyExW");
    const UniqueHkey key(raw);
    if (values.ShowCmd) writeInt(key.get(), L"ShowCmd", *values.ShowCmd);
    if (values.Flags) writeInt(key.get(), L"Flags", *values.Flags);
    if (values.PixelsPerInch) writeInt(key.get(), L"PixelsPerInch", *values.PixelsPerInch);
    if (values.MinMaxPos) writeText(key.get(), L"MinMaxPos", *values.MinMaxPos);
    if (values.NormPos) writeText(key.get(), L"NormPos", *values.NormPos);
}
