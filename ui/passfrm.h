#pragma once
// TPass, the dialog that defines the administrator password.
#include <windows.h>

#include <string>

class TEncriptor;

class TPass {
public:
    // Shows the dialog centred on the owner, both entries empty; on OK the first entry's text
    // replaces Password and the answer is true. With passwordSet, OK on two empty entries asks
    // before it removes the password.
    static bool DefineAdminPassword(HMODULE resources, HWND owner, bool passwordSet, std::wstring& Password);

private:
    static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
    static void Button2Click(HWND dialog);
};

inline const wchar_t* const ConfirmPasswordCaption = L"Passwords do not match";

// Edit > Administrators password: true when a new password went into the store (in memory);
// the window then calls SettingsChanged(-1).
bool Administratorspassword1Click(HMODULE resources, HWND owner, TEncriptor& store);
