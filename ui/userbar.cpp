#include "ui/userbar.h"

#include <commctrl.h>

#include "base/win/win32_error.h"
#include "resources/resource.h"

namespace {

HWND createChild(HWND parent, HINSTANCE instance, const wchar_t* cls, const wchar_t* text, DWORD style, int id)
{
    const HWND child = CreateWindowExW(0, cls, text, WS_CHILD | style, 0, 0, 0, 0, parent,
                                       reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
    if (!child) throwLastError("CreateWindowExW");
    return child;
}

}  // namespace

void UserBar::create(HWND parent, HINSTANCE instance)
{
    // The label first: its access key moves the focus to the list that follows it.
    lblUser_ = createChild(parent, instance, WC_STATICW, L"Restrictions &of:", WS_VISIBLE | SS_LEFT, IDC_USERLABEL);
    cmbUser_ = createChild(parent, instance, WC_COMBOBOXW, L"",
                           WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST | CBS_HASSTRINGS, IDC_USER);
    lblElevation_ = createChild(parent, instance, WC_STATICW, L"", SS_LEFT | SS_NOPREFIX | SS_ENDELLIPSIS,
                                IDC_ELEVATION);
    btnRestart_ = createChild(parent, instance, WC_BUTTONW, RestartAsAdministratorText,
                              WS_TABSTOP | BS_PUSHBUTTON, IDC_RESTART);
    Button_SetElevationRequiredState(btnRestart_, TRUE);
}

void UserBar::ShowChoices(const std::vector<UserChoice>& choices, int selected)
{
    SendMessageW(cmbUser_, CB_RESETCONTENT, 0, 0);
    for (const UserChoice& choice : choices)
        SendMessageW(cmbUser_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(choice.Caption.c_str()));
    SendMessageW(cmbUser_, CB_SETCURSEL, static_cast<WPARAM>(selected), 0);
}

void UserBar::ShowElevationNote(const std::optional<std::wstring>& text)
{
    elevationLine_ = text.has_value();
    SetWindowTextW(lblElevation_, text.value_or(L"").c_str());
    ShowWindow(lblElevation_, elevationLine_ ? SW_SHOW : SW_HIDE);
    ShowWindow(btnRestart_, elevationLine_ ? SW_SHOW : SW_HIDE);
}

void UserBar::Place(const MainLayout& l)
{
    const auto place = [](HWND control, const LayoutRect& r) {
        SetWindowPos(control, nullptr, r.left, r.top, r.width(), r.height(), SWP_NOZORDER | SWP_NOACTIVATE);
    };
    place(lblUser_, l.lblUser);
    place(cmbUser_, l.cmbUser);
    if (!elevationLine_) return;
    place(lblElevation_, l.lblElevation);
    place(btnRestart_, l.btnRestart);
}

int UserBar::Selected() const
{
    return static_cast<int>(SendMessageW(cmbUser_, CB_GETCURSEL, 0, 0));
}

bool UserBar::DroppedDown() const
{
    return SendMessageW(cmbUser_, CB_GETDROPPEDSTATE, 0, 0) != 0;
}
