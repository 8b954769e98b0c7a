#include "app/runlists.h"

#include <memory>

#include "app/mainmodel.h"
#include "app/pathrules.h"
#include "base/text.h"
#include "registry/registry.h"
#include "store/Encript.h"

namespace {

// A key with its values and every key below it, deepest first.
bool deleteKeyTree(IRegistry& registry, RegRoot root, const std::wstring& path) {
    {
        std::unique_ptr<IRegKey> key = registry.openKey(root, path, kKeyRead);
        if (!key) return false;
        const std::optional<RegKeyInfo> info = key->queryInfo();
        if (!info) return false;
        std::vector<std::wstring> children;
        for (std::uint32_t i = 0; i < info->subkeyCount; ++i) {
            std::optional<std::wstring> name = key->enumSubkey(i, info->maxSubkeyNameLength + 1);
            if (!name) return false;
            children.push_back(*name);
        }
        key.reset();
        for (const std::wstring& child : children)
            if (!deleteKeyTree(registry, root, path + L"\\" + child)) return false;
    }
    return registry.deleteKey(root, path);
}

}  // namespace

std::wstring RunListBlock(const std::wstring& userName, const std::wstring& listName) {
    return userName + listName;
}

void AddRunListFiles(TEncriptor& store, const std::wstring& block, const std::vector<std::wstring>& paths) {
    for (const std::wstring& path : paths) store.setListItem(block, path);
}

void DeleteRunListFile(TEncriptor& store, const std::wstring& block, const std::wstring& path) {
    store.DeleteListItem(block, path);
}

RunListValues RunListValuesFor(const std::wstring& listName, const std::vector<std::wstring>& paths,
                               const std::wstring& ownExeName) {
    RunListValues values;
    bool holdsOwn = false;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        const std::wstring name = FileNamePart(paths[i]);
        const bool own = sameTextNoCase(name, ownExeName);
        holdsOwn = holdsOwn || own;
        // The application must never block itself, whichever folder an item names.
        if (own && listName == DisallowRunName) continue;
        values.emplace_back(std::to_wstring(i), name);
    }
    if (listName == RestrictRunName && !holdsOwn)
        values.emplace_back(std::to_wstring(paths.size()), ownExeName);
    return values;
}

RunListPlan PlanRunList(const std::wstring& listName, bool isSet, const std::wstring& ownExeName) {
    RunListPlan plan;
    plan.ListName = listName;
    plan.Root = PolicyRootKey;
    plan.KeyPath = RunListsKey + listName;
    plan.DeleteKey = Registry().openKey(plan.Root, plan.KeyPath, kKeyRead) != nullptr;
    plan.Set = isSet;
    if (isSet) {
        std::vector<std::wstring> paths;
        if (SettingsStore) SettingsStore->getList(RunListBlock(CurrentUserName, listName), paths, false);
        plan.Values = RunListValuesFor(listName, paths, ownExeName);
    }
    return plan;
}

bool WriteRunList(const std::wstring& listName, bool isSet, const std::wstring& ownExeName) {
    try {
        const RunListPlan plan = PlanRunList(listName, isSet, ownExeName);
        IRegistry& registry = Registry();
        if (plan.DeleteKey && !deleteKeyTree(registry, plan.Root, plan.KeyPath)) return false;
        if (!plan.Set) return true;

        std::unique_ptr<IRegKey> key = registry.createKey(plan.Root, plan.KeyPath, kKeyWrite);
        if (!key) return false;
        for (const auto& [name, fileName] : plan.Values)
            if (!key->setValue(name, RegValue{kRegSz, toUtf16le(fileName, true)})) return false;
        return true;
    } catch (const std::exception&) {
        return false;
    }
}
