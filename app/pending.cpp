#include "app/pending.h"

#include <memory>
#include <optional>

#include "app/locationtext.h"
#include "app/runlists.h"
#include "app/savesequence.h"
#include "base/text.h"
#include "registry/applytweak.h"
#include "registry/cpapplets.h"
#include "registry/regaccess.h"
#include "scheme/xmldata.h"

namespace {

std::optional<RegValue> currentValue(RegRoot root, const std::wstring& keyPath, const std::wstring& valueName) {
    std::unique_ptr<IRegKey> key = Registry().openKey(root, keyPath, kKeyRead);
    if (!key) return std::nullopt;
    return key->queryValue(valueName);
}

// The values of a key by name, in the order the registry lists them.
std::vector<std::pair<std::wstring, RegValue>> currentValues(RegRoot root, const std::wstring& keyPath) {
    std::vector<std::pair<std::wstring, RegValue>> values;
    std::unique_ptr<IRegKey> key = Registry().openKey(root, keyPath, kKeyRead);
    if (!key) return values;
    for (std::uint32_t i = 0;; ++i) {
        const std::optional<std::wstring> name = key->enumValueName(i);
        if (!name) break;
        if (std::optional<RegValue> value = key->queryValue(*name)) values.emplace_back(*name, std::move(*value));
    }
    return values;
}

class PendingList {
public:
    void add(const std::wstring& name, const std::wstring& caption, RegRoot root, const std::wstring& keyPath,
             const std::wstring& valueName, const std::wstring& now, const std::wstring& after) {
        for (const PendingChange& c : changes_)
            if (c.Root == root && sameTextNoCase(c.KeyPath, keyPath) && sameTextNoCase(c.ValueName, valueName) &&
                c.After == after)
                return;
        changes_.push_back({name, caption, root, keyPath, valueName, RootKeyName(root) + L"\\" + keyPath,
                            ValueNameText(valueName), now, after});
    }
    // A change of the key itself, not of one of its values.
    void addKey(const std::wstring& name, const std::wstring& caption, RegRoot root, const std::wstring& keyPath,
                const std::wstring& now, const std::wstring& after) {
        changes_.push_back({name, caption, root, keyPath, {}, RootKeyName(root) + L"\\" + keyPath, L"(key)", now,
                            after});
    }
    void addWrite(const std::wstring& name, const std::wstring& caption, const RegistryWrite& write) {
        if (write.op == RegistryWrite::Op::RenameKey) {
            addKey(name, caption, write.root, write.keyPath, L"key present", RegistryWriteText(write));
            return;
        }
        add(name, caption, write.root, write.keyPath, write.valueName,
            RegistryValueText(currentValue(write.root, write.keyPath, write.valueName)), RegistryWriteText(write));
    }
    std::vector<PendingChange> take() { return std::move(changes_); }

private:
    std::vector<PendingChange> changes_;
};

std::wstring trimmed(const std::wstring& text) {
    const std::size_t first = text.find_first_not_of(L' ');
    return first == std::wstring::npos ? std::wstring() : text.substr(first);
}

// A run list is deleted and written anew; what the user needs to see is which values end
// up different, and whether the key itself comes or goes.
void addRunList(PendingList& list, const RunListPlan& plan) {
    const std::wstring caption = getCaption(plan.ListName);
    const auto before = currentValues(plan.Root, plan.KeyPath);
    const RunListValues after = plan.Set ? plan.Values : RunListValues{};
    bool listed = false;
    for (const auto& [name, value] : before) {
        bool kept = false;
        for (const auto& [newName, fileName] : after) kept = kept || sameTextNoCase(newName, name);
        if (kept) continue;
        list.add(plan.ListName, caption, plan.Root, plan.KeyPath, name, RegistryValueText(value),
                 L"the value is removed");
        listed = true;
    }
    for (const auto& [name, fileName] : after) {
        RegistryWrite write;
        write.op = RegistryWrite::Op::WriteString;
        write.root = plan.Root;
        write.keyPath = plan.KeyPath;
        write.valueName = name;
        write.text = fileName;
        std::optional<RegValue> now;
        for (const auto& [oldName, value] : before)
            if (sameTextNoCase(oldName, name)) now = value;
        if (now == WrittenValue(write)) continue;
        list.addWrite(plan.ListName, caption, write);
        listed = true;
    }
    if (listed || plan.DeleteKey == plan.Set) return;
    list.addKey(plan.ListName, caption, plan.Root, plan.KeyPath, plan.DeleteKey ? L"key present" : L"(no key)",
                plan.DeleteKey ? L"the key is removed" : L"the key is created, empty");
}

}  // namespace

std::vector<PendingChange> PendingChanges(const TAppObjectsList& entries, const std::wstring& ownExeName) {
    PendingList list;
    for (const TweakRequest& r : CheckBoxTweakRequests(entries)) {
        TweakPlan plan;
        try {
            plan = PlanTweak(r.Name, r.Wanted, r.GroupName, r.Text, r.Number);
        } catch (const std::exception&) {
            continue;  // the save reports this tweak as not written
        }
        const std::wstring caption = getCaption(r.Name);
        for (const LocationPlan& location : plan.locations)
            if (location.write) list.addWrite(r.Name, caption, *location.write);
    }
    for (const SwitchRequest& r : AppletRequests(entries))
        if (const std::optional<RegistryWrite> write = PlanAppletState(r.Name, r.Set)) {
            const int index = entries.IndexOf(r.Name);
            list.addWrite(r.Name, index >= 0 ? trimmed(entries[index].ACaption) : r.Name, *write);
        }
    for (const SwitchRequest& r : RunListRequests(entries)) addRunList(list, PlanRunList(r.Name, r.Set, ownExeName));
    return list.take();
}
