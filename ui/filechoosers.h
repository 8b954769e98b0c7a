#pragma once
// The system's dialogs that ask where File > Export writes: nothing when cancelled.
#include <windows.h>

#include <optional>
#include <string>

// Both open in `startFolder`: the user's Documents folder at first, then the last export's.
// The folder that gets Machine\Registry.pol and User\Registry.pol.
std::optional<std::wstring> chooseFolder(HWND owner, const std::wstring& startFolder);
// The .reg file, with the question before an existing one is replaced.
std::optional<std::wstring> chooseRegFile(HWND owner, const std::wstring& startFolder);
// The user's Documents folder; empty when the shell cannot tell.
std::wstring documentsFolder();
