#include "registry/userhive_registry.h"

UserHiveRegistry::UserHiveRegistry(IRegistry& inner, std::wstring userKey)
    : inner_(inner), userKey_(std::move(userKey)) {}

UserHiveRegistry::Place UserHiveRegistry::place(RegRoot root, const std::wstring& path) const {
    if (root != kHkeyCurrentUser) return {root, path};
    return {kHkeyUsers, path.empty() ? userKey_ : userKey_ + L"\\" + path};
}

std::unique_ptr<IRegKey> UserHiveRegistry::openKey(RegRoot root, const std::wstring& path, RegAccess access) {
    const Place p = place(root, path);
    return inner_.openKey(p.root, p.path, access);
}

std::unique_ptr<IRegKey> UserHiveRegistry::createKey(RegRoot root, const std::wstring& path, RegAccess access) {
    const Place p = place(root, path);
    return inner_.createKey(p.root, p.path, access);
}

bool UserHiveRegistry::deleteKey(RegRoot root, const std::wstring& path) {
    if (root == kHkeyCurrentUser && path.empty()) return false;
    const Place p = place(root, path);
    return inner_.deleteKey(p.root, p.path);
}
