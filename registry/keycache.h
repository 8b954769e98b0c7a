#pragma once
// For the length of one save, or of reading every tweak's state: each key is opened (or
// created) once, and every value read or written in it goes through that one handle, where
// the engine would otherwise open the key for each presence test, read and write. It stands
// in front of the registry that was installed, so the engine's code and every registry view
// (another user's hive) work through it unchanged.
#include <map>
#include <memory>
#include <string>
#include <utility>

#include "registry/registry.h"

class KeyCache : public IRegistry {
public:
    // widest: the rights each key is asked for first, before the rights a request names
    // alone; a cache for reads alone asks for read rights only.
    explicit KeyCache(IRegistry& inner, RegAccess widest = kKeyRead | kKeyWrite) : inner_(inner), widest_(widest) {}

    std::unique_ptr<IRegKey> openKey(RegRoot root, const std::wstring& path, RegAccess access) override;
    std::unique_ptr<IRegKey> createKey(RegRoot root, const std::wstring& path, RegAccess access) override;
    // Forgets the key and every key below it first: a handle to a deleted key stays dead
    // even when the key is created again.
    bool deleteKey(RegRoot root, const std::wstring& path) override;

private:
    struct Entry {
        std::shared_ptr<IRegKey> key;
        RegAccess access = 0;  // the rights key was opened with
        // A request for these rights failed (the key missing or denied): any request that
        // includes them fails as well, until a key is created.
        RegAccess failed = 0;
    };
    struct PlaceLess {
        bool operator()(const std::pair<RegRoot, std::wstring>& a, const std::pair<RegRoot, std::wstring>& b) const;
    };
    // Opens or creates through the inner registry, with read and write rights where they
    // are granted, else with the rights asked for; keeps the wider handle.
    template <class Open>
    std::unique_ptr<IRegKey> acquire(Entry& entry, RegAccess access, Open open);

    IRegistry& inner_;
    RegAccess widest_;
    std::map<std::pair<RegRoot, std::wstring>, Entry, PlaceLess> entries_;
};

// A KeyCache installed as the engine's registry for this object's lifetime; the keys it
// holds are closed when it ends.
class ScopedKeyCache {
public:
    explicit ScopedKeyCache(RegAccess widest = kKeyRead | kKeyWrite) : cache_(Registry(), widest), scope_(cache_) {}

private:
    KeyCache cache_;
    ScopedRegistry scope_;
};
