#include "registry/memory_registry.h"

#include <algorithm>
#include <vector>

#include "base/text.h"

namespace {

// READ_CONTROL is part of both KEY_READ and KEY_WRITE; leave it out of denial matching
// so that denying writes does not deny reads.
constexpr RegAccess kReadControl = 0x20000;
constexpr RegAccess kDelete = 0x10000;

std::vector<std::wstring> splitPath(const std::wstring& path) {
    std::vector<std::wstring> parts;
    std::wstring part;
    for (wchar_t c : path) {
        if (c == L'\\') {
            if (!part.empty()) parts.push_back(std::move(part));
            part.clear();
        } else {
            part += c;
        }
    }
    if (!part.empty()) parts.push_back(std::move(part));
    return parts;
}

}  // namespace

bool MemoryRegistry::NameLess::operator()(const std::wstring& a, const std::wstring& b) const {
    return compareTextNoCase(a, b) < 0;
}

struct MemoryRegistry::Node {
    std::wstring name;
    struct Value {
        std::wstring name;  // as first written
        RegValue value;
    };
    std::map<std::wstring, Value, NameLess> values;
    std::map<std::wstring, std::unique_ptr<Node>, NameLess> subkeys;
};

// Resolves its path on every call, so a key deleted while open simply stops working.
class MemoryRegistry::Key : public IRegKey {
public:
    Key(MemoryRegistry& registry, RegRoot root, std::wstring path, RegAccess access)
        : registry_(registry), root_(root), path_(std::move(path)), access_(access) {
        ++registry_.openKeys_;
    }
    ~Key() override { --registry_.openKeys_; }

    std::optional<RegType> valueType(const std::wstring& name) override {
        const Node::Value* v = findValue(name);
        if (!v) return std::nullopt;
        return v->value.type;
    }

    std::optional<RegValue> queryValue(const std::wstring& name) override {
        const Node::Value* v = findValue(name);
        if (!v) return std::nullopt;
        return v->value;
    }

    bool setValue(const std::wstring& name, const RegValue& value) override {
        Node* n = node(kKeySetValue);
        if (!n || refused(name)) return false;
        auto it = n->values.find(name);
        if (it == n->values.end())
            n->values.emplace(name, Node::Value{name, value});
        else
            it->second.value = value;
        return true;
    }

    bool deleteValue(const std::wstring& name) override {
        Node* n = node(kKeySetValue);
        return n && !refused(name) && n->values.erase(name) > 0;
    }

    bool refused(const std::wstring& name) const {
        return registry_.refuseValueChange && registry_.refuseValueChange(root_, path_, name);
    }

    std::optional<RegKeyInfo> queryInfo() override {
        Node* n = node(kKeyQueryValue);
        if (!n) return std::nullopt;
        RegKeyInfo info;
        info.subkeyCount = static_cast<std::uint32_t>(n->subkeys.size());
        info.valueCount = static_cast<std::uint32_t>(n->values.size());
        for (const auto& [name, sub] : n->subkeys)
            info.maxSubkeyNameLength = std::max<std::uint32_t>(info.maxSubkeyNameLength, sub->name.size());
        return info;
    }

    std::optional<std::wstring> enumSubkey(std::uint32_t index, std::uint32_t bufferLength) override {
        Node* n = node(kKeyEnumerateSubKeys);
        if (!n || index >= n->subkeys.size()) return std::nullopt;
        const std::wstring& name = std::next(n->subkeys.begin(), index)->second->name;
        if (name.size() + 1 > bufferLength) return std::nullopt;  // ERROR_MORE_DATA
        return name;
    }

    std::optional<std::wstring> enumValueName(std::uint32_t index) override {
        Node* n = node(kKeyQueryValue);
        if (!n || index >= n->values.size()) return std::nullopt;
        return std::next(n->values.begin(), index)->second.name;
    }

private:
    Node* node(RegAccess needed) const {
        if ((access_ & needed) != needed) return nullptr;
        return registry_.find(root_, path_);
    }
    const Node::Value* findValue(const std::wstring& name) const {
        Node* n = node(kKeyQueryValue);
        if (!n) return nullptr;
        auto it = n->values.find(name);
        return it == n->values.end() ? nullptr : &it->second;
    }

    MemoryRegistry& registry_;
    RegRoot root_;
    std::wstring path_;
    RegAccess access_;
};

MemoryRegistry::MemoryRegistry() {
    for (RegRoot r = kHkeyClassesRoot; r <= kHkeyDynData; ++r) roots_[r] = std::make_unique<Node>();
}

MemoryRegistry::~MemoryRegistry() = default;

MemoryRegistry::Node* MemoryRegistry::find(RegRoot root, const std::wstring& path) const {
    auto r = roots_.find(root);
    if (r == roots_.end()) return nullptr;
    Node* n = r->second.get();
    for (const std::wstring& part : splitPath(path)) {
        auto it = n->subkeys.find(part);
        if (it == n->subkeys.end()) return nullptr;
        n = it->second.get();
    }
    return n;
}

bool MemoryRegistry::denied(RegRoot root, const std::wstring& path, RegAccess access) const {
    const std::vector<std::wstring> parts = splitPath(path);
    for (const Denial& d : denials_) {
        if (d.root != root || (d.rights & access & ~kReadControl) == 0) continue;
        const std::vector<std::wstring> deniedParts = splitPath(d.path);
        if (deniedParts.size() <= parts.size() &&
            std::equal(deniedParts.begin(), deniedParts.end(), parts.begin(),
                       [](const std::wstring& a, const std::wstring& b) { return sameTextNoCase(a, b); }))
            return true;
    }
    return false;
}

std::unique_ptr<IRegKey> MemoryRegistry::openKey(RegRoot root, const std::wstring& path, RegAccess access) {
    if (beforeOpen) beforeOpen(root, path);
    if (!find(root, path) || denied(root, path, access)) return nullptr;
    return std::make_unique<Key>(*this, root, path, access);
}

std::unique_ptr<IRegKey> MemoryRegistry::createKey(RegRoot root, const std::wstring& path, RegAccess access) {
    auto r = roots_.find(root);
    if (r == roots_.end() || denied(root, path, access)) return nullptr;
    Node* n = r->second.get();
    std::wstring walked;
    for (const std::wstring& part : splitPath(path)) {
        auto it = n->subkeys.find(part);
        if (it == n->subkeys.end()) {
            if (denied(root, walked, kKeyCreateSubKey)) return nullptr;
            auto child = std::make_unique<Node>();
            child->name = part;
            it = n->subkeys.emplace(part, std::move(child)).first;
        }
        n = it->second.get();
        walked += (walked.empty() ? L"" : L"\\") + part;
    }
    return std::make_unique<Key>(*this, root, path, access);
}

bool MemoryRegistry::deleteKey(RegRoot root, const std::wstring& path) {
    std::vector<std::wstring> parts = splitPath(path);
    if (parts.empty() || denied(root, path, kDelete)) return false;
    Node* n = find(root, path);
    if (!n || !n->subkeys.empty()) return false;
    const std::wstring name = parts.back();
    parts.pop_back();
    std::wstring parentPath;
    for (const std::wstring& p : parts) parentPath += p + L"\\";
    return find(root, parentPath)->subkeys.erase(name) > 0;
}

void MemoryRegistry::denyAccess(RegRoot root, const std::wstring& path, RegAccess rights) {
    denials_.push_back({root, path, rights});
}
