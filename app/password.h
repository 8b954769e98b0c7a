#pragma once
// The administrator password: defining it, and the gate that asks for it at start-up.
// The dialogs are the window layer's; these rules decide what their answers mean. The store
// keeps a hash of the password (app/passwordhash.h), never the password itself.
#include <functional>
#include <optional>
#include <string>

class TEncriptor;

inline const wchar_t* const AdminPassKey = L"AdminPass";
inline const wchar_t* const WrongPasswordMessage = L"The password is wrong !";
inline const wchar_t* const ConfirmPasswordMessage =
    L"The two passwords do not match.\n\nType the same password in both boxes.";
inline const wchar_t* const RemovePasswordQuestion =
    L"Remove the administrator password?\n\nQuillmark will then start without asking for one.";

// The OK action of the definition dialog: both entries equal, exactly.
bool PasswordConfirmed(const std::wstring& entered, const std::wstring& confirmation);
// What OK in the definition dialog does. The dialog cannot show the current password (only
// its hash is kept), so it opens empty; OK with both entries still empty would then remove
// the password unseen, and is asked about first.
enum class PasswordDefinitionStep { Accept, AskRemoval, Mismatch };
PasswordDefinitionStep PasswordDefinitionOk(const std::wstring& entered, const std::wstring& confirmation,
                                            bool passwordSet);

// The start-up prompt: the typed text on OK, nothing when cancelled.
using PasswordPrompt = std::function<std::optional<std::wstring>()>;
enum class PasswordGate { NoPassword, Accepted, Refused };
// CheckAdminPassword's decision. The stored entry is read once, before the prompt shows, and
// nothing the prompt's time allows can change what it is compared with. A password that an
// earlier version stored as plain text is replaced by its hash in the store's memory once it
// was accepted; the next save writes it.
PasswordGate CheckAdminPassword(TEncriptor& store, const PasswordPrompt& prompt);

// What the process's access token is: the platform answers from the token, tests simulate.
struct TokenRights {
    std::function<bool()> isElevatedAdministrator;  // the Administrators group enabled, not filtered
    std::function<bool()> isLocalSystem;
};
// Whether a command may write without asking for the password (/apply): always when no
// password is stored; otherwise only for an elevated administrator or SYSTEM, as deployment
// engines run it. A command never asks.
bool UnattendedWriteAllowed(const TEncriptor& store, const TokenRights& token);
inline const wchar_t* const UnattendedWriteRefusedMessage =
    L"An administrator password is set: /apply runs only as an elevated administrator or as SYSTEM.";

// The definition dialog, told whether a password is set: the first entry's text on OK,
// nothing otherwise.
using PasswordDefinitionDialog = std::function<std::optional<std::wstring>(bool passwordSet)>;
// Edit > Administrators password: true when a new password (its hash), or none, went into
// the store (in memory only); the caller then reports the change with SettingsChanged(-1).
bool ChangeAdminPassword(TEncriptor& store, const PasswordDefinitionDialog& dialog);
