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

void addTweak(PendingList& list, const TweakRequest& r) {
    TweakPlan plan;
    try {
        plan = PlanRequest(r);
    } catch (const std::exception&) {
        return;  // the save reports this tweak as not written
    }
    const std::wstring caption = getCaption(r.Name);
    for (const LocationPlan& location : plan.locations)
        if (location.write) list.addWrite(r.Name, caption, *location.write);
}

// The values a save adds to a list and the ones it removes, then the key when it goes; the
// rest of the key stays.
void addRunList(PendingList& list, const RunListPlan& plan) {
    const std::wstring caption = getCaption(plan.ListName);
    for (const RunListEntry& entry : plan.Remove)
        list.add(plan.ListName, caption, plan.Root, plan.KeyPath, entry.Name,
                 RegistryValueText(currentValue(plan.Root, plan.KeyPath, entry.Name)), L"the value is removed");
    for (const RunListEntry& entry : plan.Add) {
        RegistryWrite write;
        write.op = RegistryWrite::Op::WriteString;
        write.root = plan.Root;
        write.keyPath = plan.KeyPath;
        write.valueName = entry.Name;
        write.text = entry.Program;
        list.addWrite(plan.ListName, caption, write);
    }
    if (plan.EmptyKeysToRemove > 0)
        list.addKey(plan.ListName, caption, plan.Root, plan.KeyPath, L"key present", L"the key is removed");
}

}  // namespace

std::vector<PendingChange> PendingChanges(const TAppObjectsList& entries, const std::wstring& ownExeName) {
    PendingList list;
    for (const TweakRequest& r : CheckBoxTweakRequests(entries))
        if (!IsRunListTweak(r.Name)) addTweak(list, r);
    for (const SwitchRequest& r : AppletRequests(entries))
        if (const std::optional<RegistryWrite> write = PlanAppletState(r.Name, r.Set)) {
            const int index = entries.IndexOf(r.Name);
            list.addWrite(r.Name, index >= 0 ? trimmed(entries[index].ACaption) : r.Name, *write);
        }
    // In the save's order: a list goes in before the tweak that switches it on, and comes
    // after the tweak that switches it off.
    for (const TweakRequest& r : RunListRequests(entries)) {
        if (!r.Wanted) addTweak(list, r);
        addRunList(list, PlanRunList(r.Name, r.Wanted, ownExeName, r.AbsentListKeys));
        if (r.Wanted) addTweak(list, r);
    }
    return list.take();
}
