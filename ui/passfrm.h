#pragma once
// TPass, the dialog that defines the administrator password.
#include <windows.h>

#include <initializer_list>
#include <string>

class TEncriptor;

class TPass {
public:
    // Shows the dialog centred on the owner with Password in the first entry; on OK the
    // first entry's text replaces Password and the answer is true.
    static bool DefineAdminPassword(HMODULE resources, HWND owner, std::wstring& Password);

private:
    static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
    static void Button2Click(HWND dialog);
};

// Centres a dialog on its owner, or on the screen's work area without a visible owner.
void centreOnOwner(HWND dialog);

// A control's place in a form's pixel design at 96 dots per inch; a width or height of 0
// keeps the template's.
struct DesignPlace {
    int id, left, top, width, height;
};
// Sizes the client area and places the controls by the design, scaled for the dialog's DPI:
// dialog units follow the font's metrics, which differ between systems.
void placeByDesign(HWND dialog, int clientWidth, int clientHeight, std::initializer_list<DesignPlace> places);

inline const wchar_t* const ConfirmPasswordCaption = L"Information";

// Edit > Administrators password: true when a new password went into the store (in memory);
// the window then calls SettingsChanged(-1).
bool Administratorspassword1Click(HMODULE resources, HWND owner, TEncriptor& store);
