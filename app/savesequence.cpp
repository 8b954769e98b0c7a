#include "app/savesequence.h"

#include "app/mainmodel.h"
#include "app/runlists.h"
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

std::vector<SaveFailure> ApplyCheckBoxTweaks(const TAppObjectsList& entries) {
    std::vector<SaveFailure> failures;
    for (int i = 0; i < entries.Count(); ++i) {
        const TRestrListRec& entry = entries[i];
        if (entry.AType != L"CheckBox") continue;
        const TRestrListRec& state = entries[entries.IndexOf(entry.AppName)];
        try {
            for (const LocationFailure& f :
                 ApplyTweak(entry.AppName, state.SetValue, entry.GroupName, state.cValue, state.nValue))
                failures.push_back(failureOf(entry.AppName, f.message));
        } catch (const std::exception& e) {
            const std::string what = e.what();
            failures.push_back(failureOf(entry.AppName, std::wstring(what.begin(), what.end())));
        }
    }
    return failures;
}

void ApplyCPApplets(const TAppObjectsList& entries, const SaveHooks& hooks) {
    if (!hooks.applyAppletState) return;
    for (int i = 0; i < entries.Count(); ++i)
        if (entries[i].GroupName == AppletGroupName) hooks.applyAppletState(entries[i].AppName, entries[i].SetValue);
}

std::vector<SaveFailure> WriteRunLists(const TAppObjectsList& entries, const SaveHooks& hooks) {
    std::vector<SaveFailure> failures;
    if (!hooks.writeRunList) return failures;
    for (const wchar_t* name : {L"DisallowRun", L"RestrictRun"}) {
        const int index = entries.IndexOf(name);
        if (index < 0) continue;
        for (SaveFailure& f : hooks.writeRunList(name, entries[index].SetValue)) failures.push_back(std::move(f));
    }
    return failures;
}

SaveResult RunSaveSequence(const TAppObjectsList& entries, TEncriptor* store, const SaveHooks& hooks) {
    SaveResult result;
    result.Failures = ApplyCheckBoxTweaks(entries);
    ApplyCPApplets(entries, hooks);
    for (SaveFailure& f : WriteRunLists(entries, hooks)) result.Failures.push_back(std::move(f));
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
