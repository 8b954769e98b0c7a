#include "ui/users.h"

#include "platform/user.h"
#include "platform/userhive.h"
#include "registry/registry.h"

UserProfile RunningUserProfile()
{
    UserProfile user;
    user.Sid = runningUserSid();
    user.Name = accountNameOfSid(user.Sid).value_or(currentUserName());
    user.SignedIn = true;
    return user;
}

std::vector<UserProfile> ComputerProfiles()
{
    return ReadProfiles(Registry(), {accountNameOfSid, expandEnvironment});
}

std::unique_ptr<IUserHive> OpenProfileHive(const UserProfile& user)
{
    return OpenUserHive(user.Sid, user.HivePath);
}
