#include "app/userchoice.h"

#include <algorithm>

#include "base/text.h"
#include "registry/regaccess.h"
#include "registry/tweakstate.h"
#include "scheme/xmldata.h"

namespace {

// Local and domain accounts (S-1-5-21-...) and Microsoft Entra accounts (S-1-12-1-...);
// SYSTEM, the service accounts and keys such as "<SID>.bak" of a damaged profile are no
// one to restrict.
bool isUserSid(const std::wstring& sid) {
    const bool userAuthority = sid.starts_with(L"S-1-5-21-") || sid.starts_with(L"S-1-12-1-");
    return userAuthority && std::all_of(sid.begin() + 2, sid.end(), [](wchar_t c) {
               return c == L'-' || (c >= L'0' && c <= L'9');
           });
}

std::wstring withHiveFile(const std::wstring& folder) {
    if (folder.empty()) return {};
    return folder.back() == L'\\' ? folder + HiveFileName : folder + L"\\" + HiveFileName;
}

std::wstring afterBackslash(const std::wstring& name) {
    const std::size_t slash = name.rfind(L'\\');
    return slash == std::wstring::npos ? name : name.substr(slash + 1);
}

bool looksLikePath(const std::wstring& text) {
    return text.find(L':') != std::wstring::npos || text.starts_with(L"\\\\") ||
           (text.size() > 4 && sameTextNoCase(text.substr(text.size() - 4), L".DAT"));
}

// A file name made of a path: the characters a file name cannot hold become "_".
std::wstring fileNameOf(const std::wstring& path) {
    std::wstring name = path;
    for (wchar_t& c : name)
        if (std::wstring_view(L"\\/:*?\"<>|").find(c) != std::wstring_view::npos) c = L'_';
    return name;
}

bool machineWide(const std::wstring& rootName) {
    const RegRoot root = RootKeyByName(rootName);
    return root == kHkeyLocalMachine || root == kHkeyClassesRoot;
}

}  // namespace

std::vector<UserProfile> ReadProfiles(IRegistry& registry, const ProfileNaming& naming) {
    std::vector<UserProfile> profiles;
    std::wstring defaultFolder = L"%SystemDrive%\\Users\\Default";
    if (std::unique_ptr<IRegKey> list = registry.openKey(kHkeyLocalMachine, ProfileListKey, kKeyRead)) {
        if (const std::optional<RegValue> value = list->queryValue(L"Default"))
            if (const std::wstring folder = StrOfValue(value, L""); !folder.empty()) defaultFolder = folder;
        const std::optional<RegKeyInfo> info = list->queryInfo();
        for (std::uint32_t i = 0; info && i < info->subkeyCount; ++i) {
            const std::optional<std::wstring> sid = list->enumSubkey(i, info->maxSubkeyNameLength + 1);
            if (!sid || !isUserSid(*sid)) continue;
            UserProfile profile;
            profile.Sid = *sid;
            if (std::unique_ptr<IRegKey> key = registry.openKey(kHkeyLocalMachine, std::wstring(ProfileListKey) + L"\\" + *sid, kKeyRead))
                profile.HivePath = withHiveFile(naming.expand(StrOfValue(key->queryValue(L"ProfileImagePath"), L"")));
            profile.SignedIn = registry.openKey(kHkeyUsers, *sid, kKeyRead) != nullptr;
            // Neither a file nor a loaded hive: nothing that could be shown.
            if (profile.HivePath.empty() && !profile.SignedIn) continue;
            profile.Name = naming.accountName(*sid).value_or(*sid);
            profiles.push_back(std::move(profile));
        }
    }
    std::stable_sort(profiles.begin(), profiles.end(), [](const UserProfile& a, const UserProfile& b) {
        return compareTextNoCase(a.Name, b.Name) < 0;
    });
    UserProfile defaults;
    defaults.Name = DefaultProfileName;
    defaults.HivePath = withHiveFile(naming.expand(defaultFolder));
    defaults.DefaultProfile = true;
    profiles.push_back(std::move(defaults));
    return profiles;
}

std::vector<UserChoice> UserChoices(const std::vector<UserProfile>& profiles, const UserProfile& running) {
    std::vector<UserChoice> choices{ChoiceFor(running, running)};
    for (const UserProfile& profile : profiles)
        if (!SameUser(profile, running)) choices.push_back(ChoiceFor(profile, running));
    return choices;
}

UserChoice ChoiceFor(const UserProfile& user, const UserProfile& running) {
    if (SameUser(user, running)) return {running.Name + L" (you)", running, true};
    return {user.SignedIn ? user.Name + L" (signed in)" : user.Name, user, false};
}

std::wstring MainWindowTitleFor(const UserProfile& user, const UserProfile& running) {
    if (SameUser(user, running)) return L"Quillmark";
    return L"Quillmark - restrictions of " + user.Name;
}

std::optional<std::wstring> UserOptionValue(const std::vector<std::wstring>& arguments) {
    for (std::size_t i = 0; i + 1 < arguments.size(); ++i)
        if (sameTextNoCase(arguments[i], L"/user") || sameTextNoCase(arguments[i], L"-user")) return arguments[i + 1];
    return std::nullopt;
}

std::wstring UserOption(const UserProfile& user) {
    if (user.DefaultProfile) return L"/user default";
    return L"/user \"" + (user.Sid.empty() ? user.HivePath : user.Sid) + L"\"";
}

std::wstring RestartParameters(const UserProfile& user) {
    return L"/restarted " + UserOption(user);
}

bool SameUser(const UserProfile& a, const UserProfile& b) {
    if (a.DefaultProfile || b.DefaultProfile) return a.DefaultProfile == b.DefaultProfile;
    if (!a.Sid.empty() || !b.Sid.empty()) return sameTextNoCase(a.Sid, b.Sid);
    return sameTextNoCase(a.HivePath, b.HivePath);
}

std::optional<UserProfile> FindUserProfile(const std::vector<UserProfile>& profiles, const std::wstring& argument) {
    const std::wstring wanted = trimBlanks(argument);
    if (wanted.empty()) return std::nullopt;
    const auto find = [&](auto matches) -> std::optional<UserProfile> {
        const auto it = std::find_if(profiles.begin(), profiles.end(), matches);
        if (it == profiles.end()) return std::nullopt;
        return *it;
    };
    if (sameTextNoCase(wanted, L"default"))
        return find([](const UserProfile& p) { return p.DefaultProfile; });
    const auto named = [&](const UserProfile& p) {
        return !p.DefaultProfile && (sameTextNoCase(p.Sid, wanted) || sameTextNoCase(p.Name, wanted));
    };
    if (std::optional<UserProfile> match = find(named)) return match;
    // The name without its domain only when it names one profile: never a guess between two.
    const auto plain = [&](const UserProfile& p) {
        return !p.DefaultProfile && !p.Sid.empty() && sameTextNoCase(afterBackslash(p.Name), wanted);
    };
    if (std::count_if(profiles.begin(), profiles.end(), plain) == 1) return find(plain);
    if (std::optional<UserProfile> match =
            find([&](const UserProfile& p) { return sameTextNoCase(p.HivePath, wanted); }))
        return match;
    if (!looksLikePath(wanted)) return std::nullopt;
    UserProfile file;
    file.Name = wanted;
    file.HivePath = wanted;
    return file;
}

std::optional<UserProfile> FindUserChoice(const std::vector<UserChoice>& choices, const std::wstring& argument) {
    std::vector<UserProfile> profiles;
    for (const UserChoice& choice : choices) profiles.push_back(choice.Profile);
    return FindUserProfile(profiles, argument);
}

std::wstring UndoSnapshotFileFor(const UserProfile& user) {
    if (user.DefaultProfile) return L"DefaultProfile.qmk";
    if (!user.Sid.empty()) return user.Sid + L".qmk";
    return fileNameOf(user.HivePath) + L".qmk";
}

std::wstring RunListOwner(const UserProfile& user) {
    // "*" cannot be part of an account name, so the default profile's lists are nobody else's.
    if (user.DefaultProfile) return L"*DefaultProfile";
    if (user.Sid.empty()) return L"*" + user.HivePath;
    return afterBackslash(user.Name);
}

std::wstring HiveFailureMessage(const UserProfile& user, const std::wstring& reason) {
    return L"The restrictions of " + user.Name + L" cannot be shown: " + reason;
}

std::wstring NeedsElevationMessage(const UserProfile& user) {
    return L"Showing and saving the restrictions of " + user.Name +
           L" needs administrator rights.\n\nRestart Quillmark as administrator?";
}

std::wstring UnknownUserMessage(const std::wstring& argument) {
    return L"No user of this computer is \"" + argument +
           L"\": name a user as DOMAIN\\name or by the SID, or give the path of an NTUSER.DAT file, or default for "
           L"new users.";
}

std::wstring SavedForUserMessage(const UserProfile& user) {
    if (user.DefaultProfile)
        return L"The restrictions were saved in the default profile. They apply to every account created from "
               L"now on, from its first sign-in.";
    std::wstring text = L"The restrictions of " + user.Name + L" were saved. They take effect when " + user.Name +
                        L" next signs in.";
    if (user.SignedIn)
        text += L"\n\n" + user.Name + L" is signed in now: they take effect after signing out and in again.";
    return text;
}

int TweaksNeedingElevation(const TAppObjectsList& entries, bool otherUser) {
    int count = 0;
    for (int i = 0; i < entries.Count(); ++i) {
        const TRestrListRec& entry = entries[i];
        // A tweak listed in two groups is one tweak.
        if (entry.AType != L"CheckBox" || entries.IndexOf(entry.AppName) != i) continue;
        if (otherUser) {
            ++count;
            continue;
        }
        TAppObjectsRec object;
        if (entry.GroupName == AppletGroupName || !FindTweakObject(entry.AppName, entry.GroupName, object)) continue;
        if ((!object.AKey1.empty() && machineWide(object.RootKey1)) ||
            (!object.AKey2.empty() && machineWide(object.RootKey2)))
            ++count;
    }
    return count;
}

std::wstring NotElevatedText(int count) {
    std::wstring text = L"Not running as administrator: ";
    text += count == 1 ? L"1 tweak" : std::to_wstring(count) + L" tweaks";
    text += L" cannot be saved.";
    return text;
}
