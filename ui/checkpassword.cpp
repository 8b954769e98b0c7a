#include "ui/checkpassword.h"

#include "app/password.h"
#include "resources/dialogs.h"
#include "ui/dialoghelpers.h"

std::optional<std::wstring> TfrmCheckPass::Ask(HMODULE resources, HWND owner)
{
    std::wstring typed;
    const INT_PTR result = DialogBoxParamW(resources, MAKEINTRESOURCEW(IDD_CHECKPASS), owner, DialogProc,
                                           reinterpret_cast<LPARAM>(&typed));
    if (result != IDOK) return std::nullopt;
    return typed;
}

INT_PTR CALLBACK TfrmCheckPass::DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG: {
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        const HWND edit = GetDlgItem(dialog, IDC_EDTPASSWORD);
        SendMessageW(edit, EM_SETPASSWORDCHAR, L'*', 0);
        placeByDesign(dialog, 307, 91,
                      {{IDC_LBLENTERPASSWORD, 8, 8, 0, 0},
                       {IDC_EDTPASSWORD, 8, 27, 288, 21},
                       {IDOK, 141, 56, 75, 25},
                       {IDCANCEL, 222, 56, 75, 25}});
        centreOnOwner(dialog);  // without an owner: on the screen
        // The prompt comes before the main window is shown: bring it to the front.
        SetForegroundWindow(dialog);
        SetFocus(edit);
        return FALSE;  // the focus is set
    }
    case WM_COMMAND:
        // Enter reaches here as IDOK and Escape as IDCANCEL, wherever the focus is.
        if (LOWORD(wParam) == IDOK) {
            *reinterpret_cast<std::wstring*>(GetWindowLongPtrW(dialog, DWLP_USER)) =
                dialogItemText(dialog, IDC_EDTPASSWORD);
            EndDialog(dialog, IDOK);
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        }
        break;
    }
    return FALSE;
}

bool RunPasswordGate(HMODULE resources, TEncriptor& store)
{
    const PasswordGate gate = CheckAdminPassword(store, [resources] { return TfrmCheckPass::Ask(resources); });
    if (gate != PasswordGate::Refused) return true;
    MessageBoxW(nullptr, WrongPasswordMessage, ApplicationTitle, MB_OK);
    return false;
}
