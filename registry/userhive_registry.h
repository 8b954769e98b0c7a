#pragma once
// The registry as one user's session would see it: HKEY_CURRENT_USER is that user's key
// under HKEY_USERS (their SID while they are signed in, a mount of their NTUSER.DAT
// otherwise); HKEY_LOCAL_MACHINE, HKEY_CLASSES_ROOT and the rest pass through unchanged.
// Installed as the engine's registry, it makes tweak state, saves, run lists, applets,
// location text, pending changes and the export follow that user without knowing it.
#include <string>

#include "registry/registry.h"

// A user's hive made reachable under HKEY_USERS for as long as the object lives.
class IUserHive {
public:
    virtual ~IUserHive() = default;
    virtual const std::wstring& KeyName() const = 0;  // the key directly under HKEY_USERS
};

class UserHiveRegistry : public IRegistry {
public:
    // userKey: the user's key directly under HKEY_USERS, such as "S-1-5-21-...-1001".
    UserHiveRegistry(IRegistry& inner, std::wstring userKey);

    std::unique_ptr<IRegKey> openKey(RegRoot root, const std::wstring& path, RegAccess access) override;
    std::unique_ptr<IRegKey> createKey(RegRoot root, const std::wstring& path, RegAccess access) override;
    // Never the hive's own root: HKEY_CURRENT_USER with an empty path is refused.
    bool deleteKey(RegRoot root, const std::wstring& path) override;

    const std::wstring& UserKey() const { return userKey_; }

private:
    struct Place {
        RegRoot root;
        std::wstring path;
    };
    Place place(RegRoot root, const std::wstring& path) const;

    IRegistry& inner_;
    std::wstring userKey_;
};
