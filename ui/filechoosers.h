#pragma once
// The system's dialogs that ask where File > Export writes and what File > Open profile
// reads: nothing when cancelled.
#include <windows.h>

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

// Both open in `startFolder`: the user's Documents folder at first, then the last export's.
// The folder that gets Machine\Registry.pol and User\Registry.pol.
std::optional<std::wstring> chooseFolder(HWND owner, const std::wstring& startFolder);
// The .reg file, with the question before an existing one is replaced.
std::optional<std::wstring> chooseRegFile(HWND owner, const std::wstring& startFolder);
// The user's Documents folder; empty when the shell cannot tell.
std::wstring documentsFolder();
// An existing .reg or Registry.pol file.
std::optional<std::wstring> chooseProfileFile(HWND owner);
// One of the ways to read `file`, as buttons of a task dialog: the index of the chosen one.
std::optional<std::size_t> chooseProfileReading(HWND owner, const std::wstring& file,
                                                const std::vector<std::wstring>& ways);
// The buttons of chooseProfileReading, by index: their command identifiers.
constexpr int ProfileReadingButton = 100;
