#include "app/password.h"

#include "store/Encript.h"

bool PasswordAccepted(const std::wstring& stored, const std::wstring& typed) { return stored == typed; }

bool PasswordConfirmed(const std::wstring& entered, const std::wstring& confirmation)
{
    return entered == confirmation;
}

PasswordGate CheckAdminPassword(const TEncriptor* store, const PasswordPrompt& prompt)
{
    if (!store || store->GetStr(AdminPassKey, L"").empty()) return PasswordGate::NoPassword;
    const std::wstring typed = prompt().value_or(std::wstring());
    return PasswordAccepted(store->GetStr(AdminPassKey, L""), typed) ? PasswordGate::Accepted
                                                                     : PasswordGate::Refused;
}

bool DefineAdminPassword(std::wstring& Password, const PasswordDefinitionDialog& dialog)
{
    std::optional<std::wstring> defined = dialog(Password);
    if (!defined) return false;
    Password = std::move(*defined);
    return true;
}

bool ChangeAdminPassword(TEncriptor& store, const PasswordDefinitionDialog& dialog)
{
    std::wstring password = store.GetStr(AdminPassKey, L"");
    if (!DefineAdminPassword(password, dialog)) return false;
    store.SetStr(AdminPassKey, password);
    return true;
}
