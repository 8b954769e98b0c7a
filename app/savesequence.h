#pragma once
// The save: check-box tweaks, Control Panel applets, application lists, then the store.
#include <functional>
#include <string>
#include <vector>

#include "app/appobjects.h"
#include "registry/applytweak.h"

class TEncriptor;

// One tweak location that a save could not write.
struct SaveFailure {
    std::wstring Name;     // the tweak's name
    std::wstring Caption;  // its caption, for the message
    std::wstring Message;  // why, as the registry layer said it
};

// The steps that belong to other parts of the window.
struct SaveHooks {
    // ApplyAppletState: writes or removes one applet's "don't load" value. Its errors end
    // the save.
    std::function<void(const std::wstring& appletPath, bool hidden)> applyAppletState;
    // WriteRunList: rewrites one application list. It keeps its errors to itself but may
    // return what it could not write.
    std::function<std::vector<SaveFailure>(const std::wstring& listName, bool set)> writeRunList;
};

// The real steps: ApplyAppletState, and WriteRunList with the application's own executable
// name, whose failure is reported like a tweak's.
SaveHooks DefaultSaveHooks(const std::wstring& ownExeName);

struct SaveResult {
    std::vector<SaveFailure> Failures;
    // Some step had something to change in the registry: programs should reload policies.
    bool Wrote = false;
    bool Succeeded() const { return Failures.empty(); }
};

// What the save asks of each step, so that the pending-changes list and the export start
// from exactly the calls the save makes.
struct TweakRequest {
    std::wstring Name, GroupName;
    bool Wanted = false;
    std::wstring Text;
    int Number = 0;
};
struct SwitchRequest {
    std::wstring Name;  // applet path or run-list name
    bool Set = false;
};
// Every "CheckBox" entry in list order; a name listed twice carries the state of its first
// entry, the one every edit reaches.
std::vector<TweakRequest> CheckBoxTweakRequests(const TAppObjectsList& entries);
// Every applet entry, in list order.
std::vector<SwitchRequest> AppletRequests(const TAppObjectsList& entries);
// "DisallowRun" then "RestrictRun", each when an entry of that name exists.
std::vector<SwitchRequest> RunListRequests(const TAppObjectsList& entries);

// Every "CheckBox" entry through ApplyTweak, in list order. `wrote` is set when a plan had
// something to write.
std::vector<SaveFailure> ApplyCheckBoxTweaks(const TAppObjectsList& entries, bool* wrote = nullptr);
// Every applet entry through the hook, in list order; the first error propagates.
void ApplyCPApplets(const TAppObjectsList& entries, const SaveHooks& hooks, bool* wrote = nullptr);
// The run lists through the hook.
std::vector<SaveFailure> WriteRunLists(const TAppObjectsList& entries, const SaveHooks& hooks,
                                       bool* wrote = nullptr);

// The whole sequence; the store is written last and unconditionally. An error of the applet
// step or of the store's write propagates, with the steps after it skipped.
SaveResult RunSaveSequence(const TAppObjectsList& entries, TEncriptor* store, const SaveHooks& hooks);

// The one message that names every location a save could not write.
std::wstring SaveFailureMessage(const SaveResult& result);
inline const wchar_t* const SaveFailureCaption = L"Save settings";
