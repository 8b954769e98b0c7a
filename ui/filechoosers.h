#pragma once
// The system's dialogs that ask where File > Export writes: nothing when cancelled.
#include <windows.h>

#include <optional>
#include <string>

// The folder that gets Machine\Registry.pol and User\Registry.pol.
std::optional<std::wstring> chooseFolder(HWND owner);
// The .reg file, with the question before an existing one is replaced.
std::optional<std::wstring> chooseRegFile(HWND owner);
