#include "app/savesequence.h"

#include <algorithm>

#include "app/mainmodel.h"
#include "app/runlists.h"
#include "base/error.h"
#include "registry/cpapplets.h"
#include "registry/keycache.h"
#include "registry/regaccess.h"
#include "scheme/xmldata.h"
#include "store/Encript.h"

namespace {

SaveFailure failureOf(const std::wstring& name, const std::wstring& message) {
    return {name, getCaption(name), message};
}

void count(SaveResult* tally, const std::optional<RegistryWrite>& write) {
    if (!tally || !write) return;
    tally->Wrote = true;
    ++(write->op == RegistryWrite::Op::DeleteValue ? tally->Removed : tally->Written);
}

void count(SaveResult* tally, const TweakPlan& plan) {
    for (const LocationPlan& location : plan.locations) count(tally, location.write);
}

std::vector<SaveFailure> applyTweak(const TweakRequest& r) {
    std::vector<SaveFailure> failures;
    try {
        for (const LocationFailure& f : ExecutePlan(PlanRequest(r)))
            failures.push_back(failureOf(r.Name, f.message));
    } catch (...) {
        failures.push_back(failureOf(r.Name, currentErrorText()));
    }
    return failures;
}

}  // namespace

TweakPlan PlanRequest(const TweakRequest& r) {
    return r.Exact.empty() ? PlanTweak(r.Name, r.Wanted, r.GroupName, r.Text, r.Number)
                           : PlanRecordedValues(r.Name, r.GroupName, r.Exact);
}

SaveHooks DefaultSaveHooks(const std::wstring& ownExeName) {
    SaveHooks hooks;
    hooks.applyAppletState = ApplyAppletState;
    hooks.saveRunList = [ownExeName](const TweakRequest& flag) { return SaveRunList(flag, ownExeName); };
    return hooks;
}

TweakRequest CheckBoxTweakRequest(const TAppObjectsList& entries, int index) {
    const TRestrListRec& entry = entries[index];
    const TRestrListRec& state = entries[entries.IndexOf(entry.AppName)];
    const std::vector<RecordedValue>* exact = state.ExactValuesNow();
    return {entry.AppName, entry.GroupName, state.SetValue, state.cValue, state.nValue,
            exact ? *exact : std::vector<RecordedValue>{}, state.AbsentListKeysNow()};
}

std::vector<TweakRequest> CheckBoxTweakRequests(const TAppObjectsList& entries) {
    std::vector<TweakRequest> requests;
    for (int i = 0; i < entries.Count(); ++i)
        if (entries[i].AType == L"CheckBox") requests.push_back(CheckBoxTweakRequest(entries, i));
    return requests;
}

bool NotConfiguredAfterSave(const TAppObjectsList& entries, int index) {
    if (!entries.Valid(index)) return false;
    const TRestrListRec& entry = entries[index];
    if (entry.AType != L"CheckBox" || entry.GroupName == AppletGroupName) return false;
    try {
        const std::vector<RecordedValue> now = RecordTweakValues(entry.AppName, entry.GroupName);
        if (now.empty()) return false;
        const TweakPlan plan = PlanRequest(CheckBoxTweakRequest(entries, index));
        return std::all_of(now.begin(), now.end(), [&](const RecordedValue& value) {
            const auto planned = std::find_if(plan.locations.begin(), plan.locations.end(), [&](const LocationPlan& l) {
                return l.index == value.index && l.write.has_value();
            });
            if (planned == plan.locations.end()) return !value.value.has_value();
            return planned->write->op == RegistryWrite::Op::DeleteValue;
        });
    } catch (...) {
        return false;  // a registry that cannot be read tells nothing about it
    }
}

std::vector<SwitchRequest> AppletRequests(const TAppObjectsList& entries) {
    std::vector<SwitchRequest> requests;
    for (int i = 0; i < entries.Count(); ++i)
        if (entries[i].GroupName == AppletGroupName) requests.push_back({entries[i].AppName, entries[i].SetValue});
    return requests;
}

bool IsRunListTweak(const std::wstring& name) { return name == DisallowRunName || name == RestrictRunName; }

std::vector<TweakRequest> RunListRequests(const TAppObjectsList& entries) {
    std::vector<TweakRequest> requests;
    const std::vector<TweakRequest> tweaks = CheckBoxTweakRequests(entries);
    for (const wchar_t* name : {DisallowRunName, RestrictRunName}) {
        const auto found = std::find_if(tweaks.begin(), tweaks.end(), [&](const TweakRequest& r) { return r.Name == name; });
        if (found != tweaks.end()) requests.push_back(*found);
    }
    return requests;
}

std::vector<SaveFailure> ApplyCheckBoxTweaks(const TAppObjectsList& entries, SaveResult* tally) {
    std::vector<SaveFailure> failures;
    for (const TweakRequest& r : CheckBoxTweakRequests(entries)) {
        if (IsRunListTweak(r.Name)) continue;
        try {
            const TweakPlan plan = PlanRequest(r);
            count(tally, plan);
            for (const LocationFailure& f : ExecutePlan(plan)) failures.push_back(failureOf(r.Name, f.message));
        } catch (...) {
            failures.push_back(failureOf(r.Name, currentErrorText()));
        }
    }
    return failures;
}

void ApplyCPApplets(const TAppObjectsList& entries, const SaveHooks& hooks, SaveResult* tally) {
    if (!hooks.applyAppletState) return;
    for (const SwitchRequest& r : AppletRequests(entries)) {
        if (tally) count(tally, PlanAppletState(r.Name, r.Set));
        hooks.applyAppletState(r.Name, r.Set);
    }
}

std::vector<SaveFailure> WriteRunLists(const TAppObjectsList& entries, const SaveHooks& hooks, SaveResult* tally) {
    std::vector<SaveFailure> failures;
    for (const TweakRequest& r : RunListRequests(entries)) {
        if (tally) {
            try {
                const RunListPlan list = PlanRunList(r.Name, r.Wanted, L"", r.AbsentListKeys);
                if (list.TouchesRegistry()) tally->Wrote = true;
                tally->Written += static_cast<int>(list.Add.size());
                tally->Removed += static_cast<int>(list.Remove.size());
                count(tally, PlanRequest(r));
            } catch (...) {
                tally->Wrote = true;  // the step itself reports what went wrong
            }
        }
        std::vector<SaveFailure> step = hooks.saveRunList ? hooks.saveRunList(r) : applyTweak(r);
        for (SaveFailure& f : step) failures.push_back(std::move(f));
    }
    return failures;
}

std::vector<SaveFailure> SaveRunList(const TweakRequest& flag, const std::wstring& ownExeName) {
    std::vector<SaveFailure> failures;
    try {
        const RunListPlan list = PlanRunList(flag.Name, flag.Wanted, ownExeName, flag.AbsentListKeys);
        const TweakPlan tweak = PlanRequest(flag);
        const auto applyTweakPlan = [&] {
            for (const LocationFailure& f : ExecutePlan(tweak)) failures.push_back(failureOf(flag.Name, f.message));
            return failures.empty();
        };
        if (!flag.Wanted) {
            if (!applyTweakPlan()) return failures;
            if (list.TouchesRegistry()) ExecuteRunListPlan(list);
        } else {
            RunListUndo undo;
            if (list.TouchesRegistry()) undo = ExecuteRunListPlan(list);
            if (!applyTweakPlan()) {
                if (list.TouchesRegistry())
                    failures.back().Message += UndoRunListWrite(undo) ? L"; the application list was put back as it was"
                                                                      : L"; the application list could not be put back";
                return failures;
            }
        }
        RunListSaved(flag.Name, flag.Wanted);
    } catch (...) {
        // The list could not be written (and was put back): its tweak stays as it was.
        failures.push_back(failureOf(flag.Name, currentErrorText()));
    }
    return failures;
}

SaveResult RunSaveSequence(const TAppObjectsList& entries, TEncriptor* store, const SaveHooks& hooks) {
    SaveResult result;
    {
        // Each key opened once for the whole save, however many values it holds.
        ScopedKeyCache keys;
        result.Failures = ApplyCheckBoxTweaks(entries, &result);
        ApplyCPApplets(entries, hooks, &result);
        for (SaveFailure& f : WriteRunLists(entries, hooks, &result)) result.Failures.push_back(std::move(f));
    }
    if (store)
        for (int i = 0; i < entries.Count(); ++i)
            // The first entry of a name is the one every edit reaches.
            if (entries.IndexOf(entries[i].AppName) == i && TextKeptInStore(entries[i]))
                store->SetStr(entries[i].AppName + L"_str", entries[i].cValue);
    try {
        if (store) store->Flush(true);
    } catch (const EInOutError& error) {
        result.StoreFailure = errorText(error);
    }
    return result;
}

std::wstring SaveFailureMessage(const SaveResult& result) {
    std::wstring text;
    if (!result.Failures.empty()) {
        text = L"These tweaks could not be written:\n";
        for (const SaveFailure& f : result.Failures) {
            text += L"\n";
            text += f.Caption.empty() ? f.Name : f.Caption + L" (" + f.Name + L")";
            text += L": " + f.Message;
        }
        text += L"\n\n";
    }
    if (!result.StoreFailure.empty()) {
        text += result.Wrote ? L"The registry was changed, but the settings file was not saved: "
                             : L"The settings file was not saved: ";
        text += result.StoreFailure + L"\n\n";
    }
    text += L"The settings stay unsaved.";
    return text;
}
