#include "app/savesequence.h"

#include "app/mainmodel.h"
#include "app/runlists.h"
#include "base/error.h"
#include "registry/cpapplets.h"
#include "registry/regaccess.h"
#include "scheme/xmldata.h"
#include "store/Encript.h"

namespace {

SaveFailure failureOf(const std::wstring& name, const std::wstring& message) {
    return {name, getCaption(name), message};
}

}  // namespace

SaveHooks DefaultSaveHooks(const std::wstring& ownExeName) {
    SaveHooks hooks;
    hooks.applyAppletState = ApplyAppletState;
    hooks.writeRunList = [ownExeName](const std::wstring& listName, bool set) {
        std::vector<SaveFailure> failures;
        if (!WriteRunList(listName, set, ownExeName))
            failures.push_back(failureOf(listName, L"Unable to write the application list \"" +
                                                       RootKeyName(PolicyRootKey) + L"\\" + RunListsKey +
                                                       listName + L"\""));
        return failures;
    };
    return hooks;
}

std::vector<TweakRequest> CheckBoxTweakRequests(const TAppObjectsList& entries) {
    std::vector<TweakRequest> requests;
    for (int i = 0; i < entries.Count(); ++i) {
        const TRestrListRec& entry = entries[i];
        if (entry.AType != L"CheckBox") continue;
        const TRestrListRec& state = entries[entries.IndexOf(entry.AppName)];
        requests.push_back({entry.AppName, entry.GroupName, state.SetValue, state.cValue, state.nValue});
    }
    return requests;
}

std::vector<SwitchRequest> AppletRequests(const TAppObjectsList& entries) {
    std::vector<SwitchRequest> requests;
    for (int i = 0; i < entries.Count(); ++i)
        if (entries[i].GroupName == AppletGroupName) requests.push_back({entries[i].AppName, entries[i].SetValue});
    return requests;
}

std::vector<SwitchRequest> RunListRequests(const TAppObjectsList& entries) {
    std::vector<SwitchRequest> requests;
    for (const wchar_t* name : {DisallowRunName, RestrictRunName}) {
        const int index = entries.IndexOf(name);
        if (index >= 0) requests.push_back({name, entries[index].SetValue});
    }
    return requests;
}

std::vector<SaveFailure> ApplyCheckBoxTweaks(const TAppObjectsList& entries, bool* wrote) {
    std::vector<SaveFailure> failures;
    for (const TweakRequest& r : CheckBoxTweakRequests(entries)) {
        try {
            const TweakPlan plan = PlanTweak(r.Name, r.Wanted, r.GroupName, r.Text, r.Number);
            for (const LocationPlan& location : plan.locations)
                if (wrote && location.write) *wrote = true;
            for (const LocationFailure& f : ExecutePlan(plan)) failures.push_back(failureOf(r.Name, f.message));
        } catch (...) {
            failures.push_back(failureOf(r.Name, currentErrorText()));
        }
    }
    return failures;
}

void ApplyCPApplets(const TAppObjectsList& entries, const SaveHooks& hooks, bool* wrote) {
    if (!hooks.applyAppletState) return;
    for (const SwitchRequest& r : AppletRequests(entries)) {
        if (wrote && PlanAppletState(r.Name, r.Set)) *wrote = true;
        hooks.applyAppletState(r.Name, r.Set);
    }
}

std::vector<SaveFailure> WriteRunLists(const TAppObjectsList& entries, const SaveHooks& hooks, bool* wrote) {
    std::vector<SaveFailure> failures;
    if (!hooks.writeRunList) return failures;
    for (const SwitchRequest& r : RunListRequests(entries)) {
        if (wrote && PlanRunList(r.Name, r.Set, L"").TouchesRegistry()) *wrote = true;
        for (SaveFailure& f : hooks.writeRunList(r.Name, r.Set)) failures.push_back(std::move(f));
    }
    return failures;
}

SaveResult RunSaveSequence(const TAppObjectsList& entries, TEncriptor* store, const SaveHooks& hooks) {
    SaveResult result;
    result.Failures = ApplyCheckBoxTweaks(entries, &result.Wrote);
    ApplyCPApplets(entries, hooks, &result.Wrote);
    for (SaveFailure& f : WriteRunLists(entries, hooks, &result.Wrote)) result.Failures.push_back(std::move(f));
    if (store) store->Flush(true);
    return result;
}

std::wstring SaveFailureMessage(const SaveResult& result) {
    std::wstring text = L"These tweaks could not be written:\n";
    for (const SaveFailure& f : result.Failures) {
        text += L"\n";
        text += f.Caption.empty() ? f.Name : f.Caption + L" (" + f.Name + L")";
        text += L": " + f.Message;
    }
    text += L"\n\nThe settings stay unsaved.";
    return text;
}
