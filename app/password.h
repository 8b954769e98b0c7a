#pragma once
// The administrator password: defining it, and the gate that asks for it at start-up.
// The dialogs are the window layer's; these rules decide what their answers mean.
#include <functional>
#include <optional>
#include <string>

class TEncriptor;

inline const wchar_t* const AdminPassKey = L"AdminPass";
inline const wchar_t* const WrongPasswordMessage = L"The password is wrong !";
inline const wchar_t* const ConfirmPasswordMessage = L"Confirm the password !";

// The typed password against the stored one: exact, with case. The store hands values back
// without leading and trailing spaces, so a password defined with them is accepted only
// without them.
bool PasswordAccepted(const std::wstring& stored, const std::wstring& typed);
// The OK action of the definition dialog: both entries equal, exactly.
bool PasswordConfirmed(const std::wstring& entered, const std::wstring& confirmation);

// The start-up prompt: the typed text on OK, nothing when cancelled.
using PasswordPrompt = std::function<std::optional<std::wstring>()>;
enum class PasswordGate { NoPassword, Accepted, Refused };
// CheckAdminPassword's decision. A null store means start-up failed before the store was
// opened: nothing was built that the password would protect, and no password can be read.
PasswordGate CheckAdminPassword(const TEncriptor* store, const PasswordPrompt& prompt);

// The definition dialog, given the current password: the first entry's text on OK,
// nothing otherwise.
using PasswordDefinitionDialog = std::function<std::optional<std::wstring>(const std::wstring& current)>;
bool DefineAdminPassword(std::wstring& Password, const PasswordDefinitionDialog& dialog);
// Edit > Administrators password: true when a new password went into the store (in memory
// only); the caller then reports the change with SettingsChanged(-1).
bool ChangeAdminPassword(TEncriptor& store, const PasswordDefinitionDialog& dialog);
