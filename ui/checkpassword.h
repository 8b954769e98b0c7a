#pragma once
// TfrmCheckPass, the password prompt of start-up, and the gate that uses it.
#include <windows.h>

#include <optional>
#include <string>

class TEncriptor;

inline const wchar_t* const ApplicationTitle = L"Quillmark";

class TfrmCheckPass {
public:
    // Shows the prompt modally, centred on the screen: the typed text on OK, nothing when
    // cancelled (Cancel, Escape or the close button). resources holds the dialog template.
    static std::optional<std::wstring> Ask(HMODULE resources, HWND owner = nullptr);

private:
    static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
};

// CheckAdminPassword, right after the store is opened: when a password is stored it is asked
// for; a wrong or cancelled one shows "The password is wrong !" and the answer is false, on
// which the application ends without writing anything.
bool RunPasswordGate(HMODULE resources, TEncriptor& store);
