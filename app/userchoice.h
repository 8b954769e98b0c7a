#pragma once
// Whose restrictions the window shows: the user running Quillmark, another user profile of
// this computer, or the default profile that Windows copies for every new account. Only
// HKEY_CURRENT_USER differs between them; machine-wide roots stay as they are.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/appobjects.h"
#include "registry/registry.h"
#include "registry/userhive_registry.h"

struct UserProfile {
    std::wstring Sid;       // empty for the default profile and for a hive file no profile lists
    std::wstring Name;      // DOMAIN\name; the SID when the account cannot be found
    std::wstring HivePath;  // the profile's NTUSER.DAT
    bool SignedIn = false;  // its hive is loaded under HKEY_USERS\<Sid>
    bool DefaultProfile = false;
};

inline const wchar_t* const ProfileListKey = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
inline const wchar_t* const DefaultProfileName = L"New users (default profile)";
inline const wchar_t* const HiveFileName = L"NTUSER.DAT";

// What reading the profile list needs of the platform.
struct ProfileNaming {
    // DOMAIN\name of an account; none when the SID names no account that can be found.
    std::function<std::optional<std::wstring>(const std::wstring& sid)> accountName;
    // A path with its environment variables expanded (%SystemDrive%, %USERPROFILE%, ...).
    std::function<std::wstring(const std::wstring& path)> expand;
};

// The user profiles of ProfileList, system and service accounts left out, sorted by name,
// then the default profile. A profile is signed in when HKEY_USERS holds its SID.
std::vector<UserProfile> ReadProfiles(IRegistry& registry, const ProfileNaming& naming);

// One item of the user chooser.
struct UserChoice {
    std::wstring Caption;
    UserProfile Profile;
    bool Running = false;  // the user running Quillmark
};
// The running user first, then every other profile, then the default profile. The running
// user is added when the profile list does not hold it.
std::vector<UserChoice> UserChoices(const std::vector<UserProfile>& profiles, const UserProfile& running);
// The item of one user: "(you)" after the running user, "(signed in)" after another user
// whose hive Windows has loaded.
UserChoice ChoiceFor(const UserProfile& user, const UserProfile& running);
// The main window's title: "Quillmark" for the running user's own restrictions, and whose
// they are otherwise.
std::wstring MainWindowTitleFor(const UserProfile& user, const UserProfile& running);

// The profile `/user` names: "default", a SID, DOMAIN\name (or the name alone when one
// profile has it) or the path of a hive file, which need not belong to a listed profile.
// None when the argument names nothing.
std::optional<UserProfile> FindUserProfile(const std::vector<UserProfile>& profiles, const std::wstring& argument);
// The same among the chooser's items, the running user included: what the window's and a
// command's /user resolve to.
std::optional<UserProfile> FindUserChoice(const std::vector<UserChoice>& choices, const std::wstring& argument);
// The command line's "/user <who>" (or "-user"), any letter case; none without it.
std::optional<std::wstring> UserOptionValue(const std::vector<std::wstring>& arguments);
// "/user <who>" naming this user for a new process: the SID, "default", or the hive file.
std::wstring UserOption(const UserProfile& user);
// The parameters of the copy that "Restart as administrator" starts: the user, and the mark
// that makes it wait for this copy to end instead of ending itself.
std::wstring RestartParameters(const UserProfile& user);
bool SameUser(const UserProfile& a, const UserProfile& b);

// Raises WideError saying why the hive cannot be opened.
using OpenUserHiveHook = std::function<std::unique_ptr<IUserHive>(const UserProfile&)>;

// The undo snapshot of another user beside default.qmk: named after the SID, the default
// profile's and a loose hive file's after what they are.
std::wstring UndoSnapshotFileFor(const UserProfile& user);
// The name a user's application lists are kept under in the settings store: the account
// name without its domain, as the running user's own lists are.
std::wstring RunListOwner(const UserProfile& user);

// The messages of choosing and saving for another user.
std::wstring HiveFailureMessage(const UserProfile& user, const std::wstring& reason);
inline const wchar_t* const ChooseUserCaption = L"Choose user";
std::wstring NeedsElevationMessage(const UserProfile& user);
// /user named no one.
std::wstring UnknownUserMessage(const std::wstring& argument);
std::wstring SavedForUserMessage(const UserProfile& user);

// The check-box tweaks a process without administrator rights cannot save: those with a
// location under HKEY_LOCAL_MACHINE or HKEY_CLASSES_ROOT; with another user's hive, every
// tweak, applet and application list.
int TweaksNeedingElevation(const TAppObjectsList& entries, bool otherUser);
std::wstring NotElevatedText(int count);
inline const wchar_t* const RestartAsAdministratorText = L"Restart as administrator";
// Asked below the notice that the settings stay in memory, when an elevated copy could keep them.
inline const wchar_t* const RestartNowQuestion = L"Restart Quillmark as administrator now?";
// How long a restarted copy waits for the copy that started it to end.
inline constexpr unsigned RestartWaitSeconds = 10;
inline const wchar_t* const RestartTimedOutText =
    L"Quillmark was restarted as administrator, but the Quillmark that restarted it was still running "
    L"10 seconds later, so this one ends to keep the settings of both. Close the other Quillmark and "
    L"start it again.";
