#include "app/runlists.h"

#include <algorithm>
#include <memory>
#include <unordered_map>
#include <unordered_set>

#include "app/appobjects.h"
#include "app/mainmodel.h"
#include "app/pathrules.h"
#include "base/number.h"
#include "base/text.h"
#include "registry/regaccess.h"
#include "registry/tweakstate.h"
#include "store/Encript.h"

namespace {

// A list item names its program by the file name, whether it is a full path or not; as a
// registry text it ends at its first null.
std::wstring programOf(const std::wstring& item) { return FileNamePart(item.substr(0, item.find(L'\0'))); }

// Programs by name, case aside, in the order they came; lists run to thousands of items.
class Programs {
public:
    Programs() = default;
    explicit Programs(const std::vector<std::wstring>& items) {
        for (const std::wstring& item : items) add(programOf(item));
    }
    bool holds(const std::wstring& program) const { return keys_.count(upperCase(program)) > 0; }
    bool add(const std::wstring& program) {
        if (!keys_.insert(upperCase(program)).second) return false;
        list_.push_back(program);
        return true;
    }
    const std::vector<std::wstring>& list() const { return list_; }

private:
    std::unordered_set<std::wstring> keys_;
    std::vector<std::wstring> list_;
};

// A list as start-up (or the last save of it) found it.
struct ListAtStart {
    std::wstring ListName;
    Programs InRegistry;
    std::vector<std::wstring> Shown;  // put into the store block
    bool Set = false;                 // the tweak
};
std::vector<ListAtStart> listsAtStart;

const ListAtStart* startOf(const std::wstring& listName) {
    for (const ListAtStart& list : listsAtStart)
        if (list.ListName == listName) return &list;
    return nullptr;
}

bool sameItems(const std::vector<std::wstring>& a, const std::vector<std::wstring>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](const std::wstring& x, const std::wstring& y) { return sameTextNoCase(x, y); });
}

// One past the highest number that names a value of the key, whatever the value's type: a new
// value must not land on one that is there.
long long nextValueNumber(RegRoot root, const std::wstring& keyPath) {
    long long next = 0;
    std::unique_ptr<IRegKey> key = Registry().openKey(root, keyPath, kKeyRead);
    for (std::uint32_t i = 0; key; ++i) {
        const std::optional<std::wstring> name = key->enumValueName(i);
        if (!name) break;
        if (const std::optional<long long> number = parseDecimal(*name); number && *number >= 0 && *number < (1LL << 40))
            next = std::max(next, *number + 1);
    }
    return next;
}

[[noreturn]] void raiseForWrite(RegRoot root, const std::wstring& keyPath) {
    throw EJclRegistryError(L"Unable to write the application list \"" + RootKeyName(root) + L"\\" + keyPath + L"\"");
}

}  // namespace

TypedProgram CheckTypedProgram(const std::wstring& text) {
    const std::wstring name = FileNamePart(trimBlanks(text));
    if (name.empty()) return {L"", L"Type the file name of a program, such as tool.exe."};
    if (name.find_first_of(L"<>:\"/\\|?*") != std::wstring::npos)
        return {L"", L"A file name cannot contain any of these characters: < > : \" / \\ | ? *"};
    const std::size_t dot = name.rfind(L'.');
    if (dot == std::wstring::npos || dot == 0 || dot + 1 == name.size())
        return {L"", L"Type the program's file name with its extension, such as tool.exe: the rule compares whole file names."};
    return {name, L""};
}

std::wstring RunListBlock(const std::wstring& userName, const std::wstring& listName) {
    return userName + listName;
}

void AddRunListFiles(TEncriptor& store, const std::wstring& block, const std::vector<std::wstring>& paths) {
    for (const std::wstring& path : paths) store.setListItem(block, path);
}

void DeleteRunListFile(TEncriptor& store, const std::wstring& block, const std::wstring& path) {
    store.DeleteListItem(block, path);
}

std::vector<RunListEntry> ReadRunList(const std::wstring& listName) {
    std::vector<std::pair<std::optional<long long>, RunListEntry>> found;
    std::unique_ptr<IRegKey> key = Registry().openKey(PolicyRootKey, RunListsKey + listName, kKeyRead);
    if (!key) return {};
    for (std::uint32_t i = 0;; ++i) {
        const std::optional<std::wstring> name = key->enumValueName(i);
        if (!name) break;
        const std::optional<RegValue> value = key->queryValue(*name);
        if (!value || (value->type != kRegSz && value->type != kRegExpandSz)) continue;
        // A name with a null in it is none that Windows' own calls can write or remove, nor an
        // export name: not a list item.
        if (name->find(L'\0') != std::wstring::npos) continue;
        std::optional<long long> number = parseDecimal(*name);
        found.push_back({number, {*name, registryText(value->data)}});
    }
    // Numbered names in numeric order ("2" before "10"), other names after them as listed.
    std::stable_sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
        if (a.first && b.first) return *a.first < *b.first;
        return a.first.has_value() && !b.first.has_value();
    });
    std::vector<RunListEntry> entries;
    for (auto& [number, entry] : found) entries.push_back(std::move(entry));
    return entries;
}

std::vector<std::wstring> RunListShown(const std::vector<RunListEntry>& registry,
                                       const std::vector<std::wstring>& stored, bool tweakOn) {
    if (registry.empty()) return tweakOn ? std::vector<std::wstring>{} : stored;
    std::unordered_map<std::wstring, const std::wstring*> pathOf;
    for (const std::wstring& path : stored) pathOf.try_emplace(upperCase(programOf(path)), &path);
    Programs listed;
    std::vector<std::wstring> shown;
    for (const RunListEntry& entry : registry) {
        const std::wstring program = programOf(entry.Program);
        if (program.empty() || !listed.add(program)) continue;
        const auto path = pathOf.find(upperCase(program));
        shown.push_back(path != pathOf.end() ? *path->second : entry.Program);
    }
    return shown;
}

namespace {

// The list as the registry holds it now, shown from the store block and recorded.
void recordList(TEncriptor& store, const std::wstring& userName, const std::wstring& listName, bool set) {
    const std::wstring block = RunListBlock(userName, listName);
    std::vector<std::wstring> stored;
    store.getList(block, stored, false);
    const std::vector<RunListEntry> registry = ReadRunList(listName);
    ListAtStart list{listName, {}, RunListShown(registry, stored, set), set};
    for (const RunListEntry& entry : registry) list.InRegistry.add(programOf(entry.Program));
    if (list.Shown != stored) store.setList(block, list.Shown);
    std::erase_if(listsAtStart, [&](const ListAtStart& l) { return l.ListName == listName; });
    listsAtStart.push_back(std::move(list));
}

}  // namespace

void TakeRunListsAtStart(TEncriptor& store, const std::wstring& userName, const TAppObjectsList& entries) {
    listsAtStart.clear();
    for (const wchar_t* listName : {DisallowRunName, RestrictRunName}) {
        const int index = entries.IndexOf(listName);
        if (index >= 0) recordList(store, userName, listName, entries[index].SetValue);
    }
}

void RunListSaved(const std::wstring& listName, bool set) {
    if (SettingsStore) recordList(*SettingsStore, CurrentUserName, listName, set);
}

void ForgetRunListsAtStart() { listsAtStart.clear(); }

namespace {

// The list as a save leaves the key, under the names it leaves them with: an export that writes
// the whole key then gives what the save gives.
RunListValues valuesLeft(const RunListPlan& plan) {
    std::unordered_set<std::wstring> removed;
    for (const RunListEntry& entry : plan.Remove) removed.insert(upperCase(entry.Name));
    RunListValues values;
    for (const RunListEntry& entry : ReadRunList(plan.ListName))
        if (!removed.count(upperCase(entry.Name))) values.emplace_back(entry.Name, entry.Program);
    for (const RunListEntry& entry : plan.Add) values.emplace_back(entry.Name, entry.Program);
    return values;
}

// The key goes when it is there and the plan leaves it holding nothing: every value it has
// is one the plan removes.
int emptyKeysToRemove(const RunListPlan& plan, int absentKeyLevels) {
    if (absentKeyLevels <= 0 || !plan.Add.empty()) return 0;
    const std::unique_ptr<IRegKey> key = Registry().openKey(plan.Root, plan.KeyPath, kKeyRead);
    const std::optional<RegKeyInfo> info = key ? key->queryInfo() : std::nullopt;
    return info && info->subkeyCount == 0 && info->valueCount == plan.Remove.size() ? absentKeyLevels : 0;
}

}  // namespace

RunListPlan PlanRunList(const std::wstring& listName, bool isSet, const std::wstring& ownExeName,
                        int absentKeyLevels) {
    RunListPlan plan;
    plan.ListName = listName;
    plan.Root = PolicyRootKey;
    plan.KeyPath = RunListsKey + listName;
    plan.Set = isSet;
    std::vector<std::wstring> stored;
    if (SettingsStore) SettingsStore->getList(RunListBlock(CurrentUserName, listName), stored, false);

    // Without a recorded start there is nothing to tell a removal by: only add.
    const ListAtStart* start = startOf(listName);
    const ListAtStart nothingRecorded{listName, {}, stored, false};
    if (!start) start = &nothingRecorded;
    // The tweak goes on with this save (whatever start-up saw): its list must be in place.
    TCheckBoxRec tweak;
    if (isSet) GetTweakState(listName, L"", tweak);
    const bool switchingOn = isSet && !tweak.SetValue;
    if (sameItems(stored, start->Shown) && isSet == start->Set && !switchingOn) {
        if (isSet) plan.Values = valuesLeft(plan);
        plan.EmptyKeysToRemove = emptyKeysToRemove(plan, absentKeyLevels);
        return plan;
    }

    const bool restrict = listName == RestrictRunName;
    const Programs wanted(stored);
    Programs removed;
    for (const std::wstring& program : start->InRegistry.list())
        // The application always stays allowed while "RestrictRun" is on.
        if (!wanted.holds(program) && !(restrict && isSet && sameTextNoCase(program, ownExeName))) removed.add(program);

    Programs kept;
    for (const RunListEntry& entry : ReadRunList(listName)) {
        if (removed.holds(programOf(entry.Program)))
            plan.Remove.push_back(entry);
        else
            kept.add(programOf(entry.Program));
    }
    Programs added;
    for (const std::wstring& program : wanted.list())
        // The application must never block itself.
        if (!kept.holds(program) && (restrict || !sameTextNoCase(program, ownExeName))) added.add(program);
    if (restrict && isSet && !kept.holds(ownExeName)) added.add(ownExeName);
    long long next = nextValueNumber(plan.Root, plan.KeyPath);
    for (const std::wstring& program : added.list()) plan.Add.push_back({std::to_wstring(next++), program});
    if (isSet) plan.Values = valuesLeft(plan);
    plan.EmptyKeysToRemove = emptyKeysToRemove(plan, absentKeyLevels);
    return plan;
}

RunListUndo ExecuteRunListPlan(const RunListPlan& plan) {
    RunListUndo undo;
    undo.Root = plan.Root;
    undo.KeyPath = plan.KeyPath;
    IRegistry& registry = Registry();
    undo.KeyCreated = registry.openKey(plan.Root, plan.KeyPath, kKeyRead) == nullptr;
    std::unique_ptr<IRegKey> key = registry.createKey(plan.Root, plan.KeyPath, kKeyWrite | kKeyQueryValue);
    const auto fail = [&] {
        key.reset();
        UndoRunListWrite(undo);
        raiseForWrite(plan.Root, plan.KeyPath);
    };
    if (!key) fail();
    for (const RunListEntry& entry : plan.Add) {
        if (!key->setValue(entry.Name, RegValue{kRegSz, toUtf16le(entry.Program, true)})) fail();
        undo.Before.emplace_back(entry.Name, std::nullopt);
    }
    for (const RunListEntry& entry : plan.Remove) {
        std::optional<RegValue> before = key->queryValue(entry.Name);
        if (!before) continue;  // gone already
        if (!key->deleteValue(entry.Name)) fail();
        undo.Before.emplace_back(entry.Name, std::move(before));
    }
    if (plan.EmptyKeysToRemove > 0) {
        key.reset();
        RemoveEmptyKeys(plan.Root, plan.KeyPath, plan.EmptyKeysToRemove);
        undo.KeyRemoved = !KeyPresent(plan.Root, plan.KeyPath);
    }
    return undo;
}

bool UndoRunListWrite(const RunListUndo& undo) {
    IRegistry& registry = Registry();
    bool restored = true;
    {
        std::unique_ptr<IRegKey> key = registry.openKey(undo.Root, undo.KeyPath, kKeyWrite | kKeyQueryValue);
        if (!key && undo.KeyRemoved) key = registry.createKey(undo.Root, undo.KeyPath, kKeyWrite | kKeyQueryValue);
        if (!key) return undo.Before.empty() && !undo.KeyCreated;
        for (auto it = undo.Before.rbegin(); it != undo.Before.rend(); ++it)
            restored = (it->second ? key->setValue(it->first, *it->second) : key->deleteValue(it->first)) && restored;
        if (!undo.KeyCreated) return restored;
        const std::optional<RegKeyInfo> info = key->queryInfo();
        if (!info || info->valueCount != 0 || info->subkeyCount != 0) return restored && info.has_value();
    }
    return registry.deleteKey(undo.Root, undo.KeyPath) && restored;
}
