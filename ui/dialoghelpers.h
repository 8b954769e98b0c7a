#pragma once
// What the dialogs and the main window share: reading a control's text, a report view's
// columns, opening a web page, centring a dialog on its owner, placing controls by a pixel
// design.
#include <windows.h>

#include <initializer_list>
#include <string>

// The text of a window or control, and of a dialog's control by its id.
std::wstring windowText(HWND window);
std::wstring dialogItemText(HWND dialog, int id);

// A report view's column, and the text of an item's column.
void addColumn(HWND list, int index, const wchar_t* caption, int width);
void setSubItem(HWND list, int item, int subItem, const std::wstring& text);

// A multi-line edit asks for every key, Tab included, and so would keep the keyboard inside
// it: after this Tab and Shift+Tab move on, as from any other control.
void letTabLeave(HWND edit);

// Opens a web page in the user's browser.
void openWebPage(const wchar_t* page);

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
