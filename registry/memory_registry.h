#pragma once
// A registry held in memory, with the rules of the real one: names case-insensitive and
// case-preserving, the default value under the empty name, typed data as bytes, subkeys
// listed sorted without regard to case, no deleting a key that has subkeys. It can deny
// access to a subtree, which the real registry under Wine cannot be made to do.
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "registry/registry.h"

class MemoryRegistry : public IRegistry {
public:
    MemoryRegistry();
    ~MemoryRegistry() override;

    std::unique_ptr<IRegKey> openKey(RegRoot root, const std::wstring& path, RegAccess access) override;
    std::unique_ptr<IRegKey> createKey(RegRoot root, const std::wstring& path, RegAccess access) override;
    bool deleteKey(RegRoot root, const std::wstring& path) override;

    // Refuses every request for any of the given rights on the key and all keys below it
    // (kKeyAllAccess: the subtree cannot be opened, created, changed or deleted).
    void denyAccess(RegRoot root, const std::wstring& path, RegAccess rights = kKeyAllAccess);

    // Called at the start of every openKey, before the key is looked up: lets a test change
    // the registry at an exact point between two operations, as another process may.
    std::function<void(RegRoot root, const std::wstring& path)> beforeOpen;

    // Called before every value is set or deleted: true makes that one change fail, as a full
    // registry or a value denied on its own would, part way through a series of writes.
    std::function<bool(RegRoot root, const std::wstring& path, const std::wstring& valueName)> refuseValueChange;

    // Keys currently open, to check that every handle was closed.
    int openKeyCount() const { return openKeys_; }

    struct Node;
    struct NameLess {
        bool operator()(const std::wstring& a, const std::wstring& b) const;
    };

private:
    class Key;
    Node* find(RegRoot root, const std::wstring& path) const;
    bool denied(RegRoot root, const std::wstring& path, RegAccess access) const;

    std::map<RegRoot, std::unique_ptr<Node>> roots_;
    struct Denial {
        RegRoot root;
        std::wstring path;
        RegAccess rights;
    };
    std::vector<Denial> denials_;
    int openKeys_ = 0;
};
