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

// What the save asks of each step, so that the pending-changes list and the export start
// from exactly the calls the save makes.
struct TweakRequest {
    std::wstring Name, GroupName;
    bool Wanted = false;
    std::wstring Text;
    int Number = 0;
    // Undo all's recorded values: when there are any, the save puts these back instead.
    std::vector<RecordedValue> Exact;
    // Undo all, an application list's tweak: the levels of the list key to remove once empty.
    int AbsentListKeys = 0;
};
// What the save writes for one request: the recorded values, else the wanted state.
TweakPlan PlanRequest(const TweakRequest& request);
struct SwitchRequest {
    std::wstring Name;  // applet path
    bool Set = false;
};

// The steps that belong to other parts of the window.
struct SaveHooks {
    // ApplyAppletState: writes or removes one applet's "don't load" value. Its errors end
    // the save.
    std::function<void(const std::wstring& appletPath, bool hidden)> applyAppletState;
    // SaveRunList: one application list and the tweak that switches it. It keeps its errors
    // to itself but returns what it could not write. Without it the tweak alone is applied.
    std::function<std::vector<SaveFailure>(const TweakRequest& flag)> saveRunList;
};

// The real steps: ApplyAppletState, and SaveRunList with the application's own executable
// name.
SaveHooks DefaultSaveHooks(const std::wstring& ownExeName);

struct SaveResult {
    std::vector<SaveFailure> Failures;
    // Why the settings file could not be written after the registry steps ran; empty when it was.
    std::wstring StoreFailure;
    // Some step had something to change in the registry: programs should reload policies.
    bool Wrote = false;
    // The registry values the steps set out to write and to remove (a renamed class key
    // counts as written); those that failed are in Failures as well.
    int Written = 0, Removed = 0;
    bool Succeeded() const { return Failures.empty() && StoreFailure.empty(); }
};

// Every "CheckBox" entry in list order; a name listed twice carries the state of its first
// entry, the one every edit reaches.
std::vector<TweakRequest> CheckBoxTweakRequests(const TAppObjectsList& entries);
TweakRequest CheckBoxTweakRequest(const TAppObjectsList& entries, int index);
// What the list marks "Not configured": a tweak whose values are all absent once the next
// save is done (now, when it has nothing to write; after Remove from registry or Undo all,
// when those remove every value). False for applets, groups and tweaks without values.
bool NotConfiguredAfterSave(const TAppObjectsList& entries, int index);
// Every applet entry, in list order.
std::vector<SwitchRequest> AppletRequests(const TAppObjectsList& entries);
// The tweaks "DisallowRun" then "RestrictRun", each when a "CheckBox" entry of that name exists.
std::vector<TweakRequest> RunListRequests(const TAppObjectsList& entries);
// Whether a tweak is one of the two that switch an application list on.
bool IsRunListTweak(const std::wstring& name);

// Every "CheckBox" entry through ApplyTweak, in list order, but the two run-list tweaks,
// which go with their lists. `tally` gets Wrote and the counts of what the plans write.
std::vector<SaveFailure> ApplyCheckBoxTweaks(const TAppObjectsList& entries, SaveResult* tally = nullptr);
// Every applet entry through the hook, in list order; the first error propagates.
void ApplyCPApplets(const TAppObjectsList& entries, const SaveHooks& hooks, SaveResult* tally = nullptr);
// The run lists with their tweaks through the hook.
std::vector<SaveFailure> WriteRunLists(const TAppObjectsList& entries, const SaveHooks& hooks,
                                       SaveResult* tally = nullptr);
// One application list and the tweak that switches it, in the order that never leaves the
// policy on without its list: switching on writes the list first and the tweak only once the
// list is in place; switching off clears the tweak first, and a list whose tweak could not be
// cleared is left alone. A failed step leaves the list as it was.
std::vector<SaveFailure> SaveRunList(const TweakRequest& flag, const std::wstring& ownExeName);

// The whole sequence; the store is written last and unconditionally. An error of the applet
// step propagates, with the steps after it skipped; a store that cannot be written is told in
// the result, since the registry steps before it are done.
SaveResult RunSaveSequence(const TAppObjectsList& entries, TEncriptor* store, const SaveHooks& hooks);

// The one message that names every location a save could not write, and says when the
// registry was changed but the settings file was not.
std::wstring SaveFailureMessage(const SaveResult& result);
inline const wchar_t* const SaveFailureCaption = L"Save settings";
