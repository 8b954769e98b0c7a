#include "app/password.h"

#include "app/passwordhash.h"
#include "store/Encript.h"

bool PasswordConfirmed(const std::wstring& entered, const std::wstring& confirmation)
{
    return entered == confirmation;
}

PasswordDefinitionStep PasswordDefinitionOk(const std::wstring& entered, const std::wstring& confirmation,
                                            bool passwordSet)
{
    if (!PasswordConfirmed(entered, confirmation)) return PasswordDefinitionStep::Mismatch;
    return entered.empty() && passwordSet ? PasswordDefinitionStep::AskRemoval : PasswordDefinitionStep::Accept;
}

PasswordGate CheckAdminPassword(TEncriptor& store, const PasswordPrompt& prompt)
{
    const std::wstring stored = store.GetStr(AdminPassKey, L"");
    if (StoredPasswordFormOf(stored) == StoredPasswordForm::None) return PasswordGate::NoPassword;
    const std::wstring typed = prompt().value_or(std::wstring());
    if (!PasswordMatches(stored, typed)) return PasswordGate::Refused;
    if (StoredPasswordFormOf(stored) == StoredPasswordForm::Legacy) store.SetStr(AdminPassKey, HashPassword(typed));
    return PasswordGate::Accepted;
}

bool ChangeAdminPassword(TEncriptor& store, const PasswordDefinitionDialog& dialog)
{
    const std::optional<std::wstring> defined = dialog(!store.GetStr(AdminPassKey, L"").empty());
    if (!defined) return false;
    if (defined->empty())
        store.Delete(AdminPassKey);
    else
        store.SetStr(AdminPassKey, HashPassword(*defined));
    return true;
}

bool UnattendedWriteAllowed(const TEncriptor& store, const TokenRights& token)
{
    if (store.GetStr(AdminPassKey, L"").empty()) return true;
    return (token.isElevatedAdministrator && token.isElevatedAdministrator()) ||
           (token.isLocalSystem && token.isLocalSystem());
}
