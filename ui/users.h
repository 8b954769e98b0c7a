#pragma once
// Whose registry Quillmark can work on, read from this computer: for the window's chooser
// and for the /user option of the window and of the commands alike.
#include <memory>
#include <vector>

#include "app/userchoice.h"

// The user running the process, signed in by definition.
UserProfile RunningUserProfile();
// The profiles of ProfileList and the default profile (see ReadProfiles).
std::vector<UserProfile> ComputerProfiles();
// The user's hive under HKEY_USERS, loaded under a mount of its own when not signed in;
// raises WideError saying why it cannot be.
std::unique_ptr<IUserHive> OpenProfileHive(const UserProfile& user);
