#pragma once
// Where the running executable is.
#include <windows.h>

#include <string>

// The full path of a module's file (null: the executable), however long; throws Win32Error.
std::wstring modulePath(HMODULE module = nullptr);
// The executable's folder with its trailing separator, and its file name.
std::wstring executableFolder();
std::wstring executableName();
