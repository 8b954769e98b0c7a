#include "registry/keycache.h"

#include <vector>

#include "base/text.h"
#include "registry/regaccess.h"

namespace {

bool covers(RegAccess granted, RegAccess wanted) { return (granted & wanted) == wanted; }

// A handle the cache keeps: closing it here leaves the cache's copy open.
class SharedKey : public IRegKey {
public:
    explicit SharedKey(std::shared_ptr<IRegKey> key) : key_(std::move(key)) {}
    std::optional<RegType> valueType(const std::wstring& name) override { return key_->valueType(name); }
    std::optional<RegValue> queryValue(const std::wstring& name) override { return key_->queryValue(name); }
    bool setValue(const std::wstring& name, const RegValue& value) override { return key_->setValue(name, value); }
    bool deleteValue(const std::wstring& name) override { return key_->deleteValue(name); }
    std::optional<RegKeyInfo> queryInfo() override { return key_->queryInfo(); }
    std::optional<std::wstring> enumSubkey(std::uint32_t index, std::uint32_t bufferLength) override {
        return key_->enumSubkey(index, bufferLength);
    }
    std::optional<std::wstring> enumValueName(std::uint32_t index) override { return key_->enumValueName(index); }

private:
    std::shared_ptr<IRegKey> key_;
};

}  // namespace

bool KeyCache::PlaceLess::operator()(const std::pair<RegRoot, std::wstring>& a,
                                     const std::pair<RegRoot, std::wstring>& b) const {
    if (a.first != b.first) return a.first < b.first;
    return compareTextNoCase(a.second, b.second) < 0;
}

template <class Open>
std::unique_ptr<IRegKey> KeyCache::acquire(Entry& entry, RegAccess access, Open open) {
    if (entry.key && covers(entry.access, access)) return std::make_unique<SharedKey>(entry.key);
    const RegAccess wider = entry.access | access | widest_;
    RegAccess granted = wider;
    std::unique_ptr<IRegKey> key = open(wider);
    if (!key && wider != access) {
        granted = access;
        key = open(access);
    }
    if (!key) return nullptr;
    // A narrower handle than the one kept serves this request alone.
    if (!covers(granted, entry.access)) return key;
    entry.key = std::move(key);
    entry.access = granted;
    return std::make_unique<SharedKey>(entry.key);
}

std::unique_ptr<IRegKey> KeyCache::openKey(RegRoot root, const std::wstring& path, RegAccess access) {
    Entry& entry = entries_[{root, path}];
    if (!(entry.key && covers(entry.access, access)) && entry.failed && covers(access, entry.failed)) return nullptr;
    std::unique_ptr<IRegKey> key =
        acquire(entry, access, [&](RegAccess rights) { return inner_.openKey(root, path, rights); });
    if (!key) entry.failed = access;
    return key;
}

std::unique_ptr<IRegKey> KeyCache::createKey(RegRoot root, const std::wstring& path, RegAccess access) {
    Entry& entry = entries_[{root, path}];
    std::unique_ptr<IRegKey> key =
        acquire(entry, access, [&](RegAccess rights) { return inner_.createKey(root, path, rights); });
    // The new key and the keys above it exist now: what failed before may not fail again.
    if (key)
        for (auto& [place, e] : entries_) e.failed = 0;
    return key;
}

bool KeyCache::deleteKey(RegRoot root, const std::wstring& path) {
    for (auto it = entries_.begin(); it != entries_.end();) {
        const auto& [place, entry] = *it;
        if (place.first == root && (sameTextNoCase(place.second, path) || IsKeyInside(place.second, path)))
            it = entries_.erase(it);
        else
            ++it;
    }
    return inner_.deleteKey(root, path);
}
