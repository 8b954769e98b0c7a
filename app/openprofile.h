#pragma once
// File > Open profile, and the profile of /apply and /check: the values of a .reg or
// Registry.pol file switch the tweaks, Control Panel applets and application lists they
// belong to in the entries, as switching them by hand would; nothing is written until a
// save. What belongs to none of them is handed back, never dropped.
//
// A value belongs to a tweak when root, key and value name are one of its locations (an
// Office location with any Office version). A tweak is switched on when one of its
// locations the profile names reads as set by the location's value type, and off when none
// does; a removed value, and a value under a removed key, reads as not set. "String" and
// "Integer" tweaks take the profile's text or number. A value under "don't load" hides the
// applet of that path when it is "Yes" and shows it otherwise; an applet that this machine
// does not list gets an entry of its own. The values of a DisallowRun or RestrictRun key
// become the current user's list of that name, in the order of their numbers.
#include <filesystem>
#include <string>
#include <vector>

#include "app/appobjects.h"
#include "profile/profile.h"
#include "profile/profilefile.h"

class TEncriptor;

struct OpenedProfile {
    // Every tweak and applet the profile names, by entry name, whether it changed or not;
    // and the application lists ("DisallowRun", "RestrictRun") whose values it names.
    std::vector<std::wstring> Names;
    std::vector<std::wstring> Lists;
    int Changed = 0;  // entries (and lists) the profile switched or edited
    // The values and key removals that belong to nothing, as a profile of their own.
    std::vector<ProfileKey> Unmatched;
    int UnmatchedCount() const;
};

// Sets the entries (and the lists of userName in the store) from the profile. ownExeName as
// the save's run-list step uses it: a list whose values equal what the save would write
// from the stored list keeps the stored one, paths and all.
OpenedProfile OpenProfile(TAppObjectsList& entries, const std::vector<ProfileKey>& profile, TEncriptor* store,
                          const std::wstring& userName, const std::wstring& ownExeName);

// One way to read the file the user chose.
struct ProfileChoice {
    std::wstring Caption;  // what the window offers
    std::vector<ProfileSource> Sources;
};
// A .reg file, or a Registry.pol file whose Machine or User folder names its part and that
// has no other part beside it: the one way. A part with the other part beside it: both
// parts, or this one alone. A Registry.pol file in any other folder does not tell its root:
// as the user part, or as the machine part. Raises ProfileError when the file cannot be read.
std::vector<ProfileChoice> ProfileChoices(const std::filesystem::path& file);

// One line per value of no tweak: "HKEY_...\key: name = data" or "... is removed".
std::vector<std::wstring> UnmatchedLines(const std::vector<ProfileKey>& unmatched);
// What the window says after opening: how much was set, and the values of no tweak.
std::wstring OpenProfileMessage(const OpenedProfile& opened);
inline const wchar_t* const OpenProfileCaption = L"Open profile";
