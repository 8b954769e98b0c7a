#include "ui/passfrm.h"

#include "app/password.h"
#include "resources/dialogs.h"
#include "ui/checkpassword.h"
#include "ui/dialoghelpers.h"

namespace {

struct PassState {
    bool passwordSet = false;
    std::wstring password;
};

}  // namespace

bool TPass::DefineAdminPassword(HMODULE resources, HWND owner, bool passwordSet, std::wstring& Password)
{
    PassState state{passwordSet, {}};
    const INT_PTR result = DialogBoxParamW(resources, MAKEINTRESOURCEW(IDD_PASS), owner, DialogProc,
                                           reinterpret_cast<LPARAM>(&state));
    if (result != IDOK) return false;
    Password = state.password;
    return true;
}

INT_PTR CALLBACK TPass::DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG: {
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        for (int id : {IDC_ENTERPASSWORD, IDC_CONFIRMPASSWORD})
            SendDlgItemMessageW(dialog, id, EM_SETPASSWORDCHAR, L'*', 0);
        placeByDesign(dialog, 298, 151,
                      {{IDC_LBLDEFINE, 8, 8, 281, 25},
                       {IDC_ENTERPASSWORD, 10, 39, 281, 21},
                       {IDC_LBLCONFIRM, 8, 72, 0, 0},
                       {IDC_CONFIRMPASSWORD, 10, 87, 281, 21},
                       {IDOK, 136, 120, 75, 25},
                       {IDCANCEL, 216, 120, 75, 25}});
        centreOnOwner(dialog);
        SetFocus(GetDlgItem(dialog, IDC_ENTERPASSWORD));
        return FALSE;  // the focus is set
    }
    case WM_COMMAND:
        // Enter reaches here as IDOK (the OK action) and Escape as IDCANCEL.
        if (LOWORD(wParam) == IDOK) {
            Button2Click(dialog);
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

void TPass::Button2Click(HWND dialog)
{
    auto& state = *reinterpret_cast<PassState*>(GetWindowLongPtrW(dialog, DWLP_USER));
    const std::wstring entered = dialogItemText(dialog, IDC_ENTERPASSWORD);
    switch (PasswordDefinitionOk(entered, dialogItemText(dialog, IDC_CONFIRMPASSWORD), state.passwordSet)) {
    case PasswordDefinitionStep::AskRemoval:
        if (MessageBoxW(dialog, RemovePasswordQuestion, ApplicationTitle, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) !=
            IDYES)
            return;
        [[fallthrough]];
    case PasswordDefinitionStep::Accept:
        state.password = entered;
        EndDialog(dialog, IDOK);
        return;
    case PasswordDefinitionStep::Mismatch:
        break;
    }
    MessageBoxW(dialog, ConfirmPasswordMessage, ConfirmPasswordCaption, MB_OK | MB_ICONERROR);
    const HWND confirm = GetDlgItem(dialog, IDC_CONFIRMPASSWORD);
    SetWindowTextW(confirm, L"");
    SendMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(confirm), TRUE);
}

bool Administratorspassword1Click(HMODULE resources, HWND owner, TEncriptor& store)
{
    return ChangeAdminPassword(store, [&](bool passwordSet) -> std::optional<std::wstring> {
        std::wstring password;
        if (!TPass::DefineAdminPassword(resources, owner, passwordSet, password)) return std::nullopt;
        return password;
    });
}
