#pragma once
// What the main window decides, without a window: start-up, the unsaved-changes flag,
// the close question and the save sequence. The Win32 layer maps it to controls.
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/appobjects.h"
#include "app/export.h"
#include "app/framehost.h"
#include "app/export.h"
#include "app/groupview.h"
#include "app/pending.h"
#include "app/openprofile.h"
#include "app/savesequence.h"
#include "app/search.h"
#include "app/undosnapshot.h"
#include "app/userchoice.h"
#include "registry/registry.h"
#include "scheme/xmldata.h"
#include "store/Encript.h"

// Program-wide values that frames and the engine read while the main window lives.
extern TEncriptor* SettingsStore;  // defined beside the tweak state, which reads it
// The name the edited user's application lists are kept under: the running user's Windows
// name, or another user's account name while that user is chosen.
extern std::wstring CurrentUserName;
extern RegRoot PolicyRootKey;

inline const wchar_t* const SettingsFileName = L"quillmark.dat";
// The store entry of View > Hide tweaks without effect on this Windows: "1" or "0".
inline const wchar_t* const HideWithoutEffectEntry = L"HideTweaksWithoutEffect";
inline const wchar_t* const SavePromptCaption = L"Save settings";

enum class SaveAnswer { Yes, No, Cancel };
using AskSaveHook = std::function<SaveAnswer(const std::wstring& text, const std::wstring& caption)>;

// Start-up ends with this when quillmark.dat is there but cannot be read.
std::wstring UnreadableStoreMessage(const std::exception& error);

// What start-up needs from the platform, asked for at the step that needs it so that a
// failure stops start-up exactly there.
struct StartupSources {
    std::wstring dataFolder;                    // with its trailing separator
    std::function<void(XmlDocument&)> loadScheme;  // APPSCHEME into the document
    std::function<std::wstring()> userName;     // empty when the platform cannot tell
    // A command that only reads (/check, /export, /list) leaves default.qmk to the window.
    bool writeUndoSnapshot = true;
};

class TMainModel {
public:
    TMainModel() = default;
    ~TMainModel();  // FormDestroy
    TMainModel(const TMainModel&) = delete;
    TMainModel& operator=(const TMainModel&) = delete;

    // Opens quillmark.dat in dataFolder (with its trailing separator), the first step of
    // start-up, before the password gate. A file that is there but cannot be read raises
    // EInOutError: the password it holds cannot be checked, so start-up ends (see
    // UnreadableStoreMessage). A file that cannot be created leaves the store in memory, and
    // StoreNotice() says so.
    void OpenStore(const std::wstring& dataFolder);
    // Empty while the settings file is in place; otherwise what the window tells the user.
    const std::wstring& StoreNotice() const { return storeNotice_; }
    // The rest of FormCreate, up to the undo snapshot, after the gate; opens the store first
    // when OpenStore was not called. An error of a step propagates with the steps before it done.
    void FormCreate(const StartupSources& sources);
    // Where quillmark.dat and default.qmk live, with the trailing separator.
    const std::wstring& DataFolder() const { return dataFolder_; }

    // Edit > Undo all tweaks: asks, restores the snapshot into the entries and the store.
    void UndoAllTweaks(const UndoWindow& window);
    // Writes the edited user's undo snapshot when it does not exist yet: what start-up and
    // ChooseUser do unless StartupSources said to leave it (a command, before it may write).
    void EnsureUndoSnapshot();

    bool SettingsModified() const { return settingsModified_; }
    // Marks the settings unsaved. The answer is the SetEnabled call for the shown frame, if any.
    std::optional<bool> SettingsChanged(int ObjectIndex);

    // True when the window may close. `ask` shows the question and returns the answer.
    bool QuerySaveSettings(const AskSaveHook& ask);
    std::wstring SavePromptText() const;
    // The settings stay unsaved when a location could not be written (the window shows
    // SaveFailureMessage) or when a step raised (the error propagates).
    SaveResult SaveSettings();

    // Every entry, the Control Panel applets included. The applets are enumerated only here,
    // the first time something needs them: a start that shows another group never pays for
    // them. Appending keeps every index handed out before valid.
    TAppObjectsList& AllEntries();
    // Over every entry: Edit > Pending changes, File > Export (saying for whom when the
    // entries are another user's), and the search box (its text is built once and again when
    // the entries grew).
    std::vector<PendingChange> PendingChanges(const std::wstring& ownExeName);
    // Changed: only the entries whose state differs from the one this user's entries had when
    // they were read (at start or on choosing the user), so the pending changes and those
    // saved since; an application list counts with its programs.
    ExportPlan PlanExport(const std::wstring& ownExeName, ExportContent content = ExportContent::Everything);
    bool ChangedSinceRead(const std::wstring& name) const;
    SearchView Search(const std::wstring& query);
    // File > Open profile: the profile's values set their tweaks, applets and lists as
    // pending changes (see OpenProfile); the settings are unsaved when anything changed.
    OpenedProfile OpenProfile(const std::vector<ProfileKey>& profile, const std::wstring& ownExeName);

    // View > Hide tweaks without effect on this Windows; off unless the store says otherwise.
    bool HideWithoutEffect() const;
    // Keeps the choice in the store and writes that one entry to the store's file at once, so
    // that it is remembered without saving other changes. The error text when the file could
    // not be written; the choice then holds for this run and goes out with the next save.
    std::wstring SetHideWithoutEffect(bool hide);
    EffectView Effect() const { return {RunningWindows, HideWithoutEffect()}; }

    // Whose restrictions the entries hold: RunningUser until ChooseUser picks another.
    const UserProfile& EditedUser() const { return editedUser_; }
    bool EditsRunningUser() const { return !userScope_; }
    enum class UserSwitch { Switched, Unchanged, NeedsElevation };
    // Shows another user's restrictions (or the running user's again): asks about unsaved
    // changes exactly as closing does, opens that user's hive, reads every entry's state
    // from it and takes that user's first-seen snapshot (see EnsureUndoSnapshot). Another
    // user's hive needs administrator rights: without them nothing changes and the answer
    // says so. A hive that cannot be opened is reported through showError, naming the user
    // and why, and the entries stay those of the user shown before.
    UserSwitch ChooseUser(const UserProfile& user, const AskSaveHook& ask,
                          const std::function<void(const std::wstring& text)>& showError);
    // Lets go of another user's hive at once (the session ends): the engine is on the running
    // user's registry again. The entries are not read again.
    void ReleaseUserHive();
    // The status line after a save: for whom, and how many values it wrote and removed.
    std::wstring SavedStatusText(const SaveResult& result) const;
    // The message after a save for another user; none for the running user's own.
    std::optional<std::wstring> SavedMessage(const SaveResult& result) const;
    // The tweaks this process cannot save without administrator rights; 0 when elevated.
    int TweaksNeedingElevation() const;

    // Edit > Remove from registry for a list item's tweak: offered where CanRemoveFromRegistry
    // allows it and the tweak is not already Not configured. Marks it, as switched off, so
    // that the next save removes its values; the settings are then unsaved. False: not offered.
    bool CanRemoveFromRegistry(const std::wstring& itemName) const;
    bool RemoveFromRegistry(const std::wstring& itemName);
    // NotConfiguredAfterSave of the item's tweak.
    bool NotConfigured(const std::wstring& itemName) const;

    // The tree selection changed, and the list reported a change of an item.
    GroupView ShowGroup(const std::wstring& groupName);
    ListChange lstRestrListChange(const std::wstring& itemName, bool checked, ImageListKind smallImages);

    // Told whenever the flag changes, so that File > Save follows it.
    std::function<void(bool modified)> OnModifiedChanged;
    // Told when the save that the close question started could not write everything; the
    // window stays open.
    std::function<void(const SaveResult&)> OnSaveFailed;

    // What the platform supplies, set before FormCreate.
    LoadCPAppletsHook LoadCPApplets;
    std::function<bool()> IsAdministrator;  // none: treated as an administrator
    std::function<bool()> IsElevated;       // the process's token is elevated; none: it is
    UserProfile RunningUser;                // its Name empty: the user name start-up reads
    OpenUserHiveHook OpenUserHive;
    CaptionCompare CompareCaptions;         // none: compareTextNoCase
    std::optional<WindowsVersion> RunningWindows;  // none: every tweak counts as having an effect
    SaveHooks SaveSteps;

    TAppObjectsList FAppObjectsList;
    TFrameHost Frames;
    const std::vector<CategoryNode>& CategoryTree() const { return categoryTree_; }

    TEncriptor* Store() const { return store_.get(); }
    TXMLDataModule* DataModule() const { return dataModule_.get(); }

private:
    void setModified(bool modified);
    std::wstring savedForText() const;  // DOMAIN\name of the user shown, as the save prompt names it
    int compareCaptions(const std::wstring& a, const std::wstring& b) const;
    std::wstring undoSnapshotFile() const;
    // Each entry's state as first read for the edited user: what ChangedSinceRead compares.
    struct EntryState {
        bool Set = false;
        std::wstring Text;
        int Number = 0;
        std::vector<std::wstring> List;  // an application list's stored programs
        bool operator==(const EntryState&) const = default;
    };
    EntryState stateOf(const TRestrListRec& entry) const;
    void rememberStatesRead();  // of entries not yet remembered
    std::map<std::wstring, EntryState> statesRead_;  // by AppName

    // Another user's hive and the view of the registry through it, installed as the engine's
    // registry for the object's lifetime; the hive is let go after the view is taken away.
    class UserRegistryScope {
    public:
        explicit UserRegistryScope(std::unique_ptr<IUserHive> hive);
        ~UserRegistryScope();
        UserRegistryScope(const UserRegistryScope&) = delete;
        UserRegistryScope& operator=(const UserRegistryScope&) = delete;

    private:
        std::unique_ptr<IUserHive> hive_;
        std::unique_ptr<IRegistry> view_;
        IRegistry* previous_;
    };

    std::wstring dataFolder_;
    std::unique_ptr<TEncriptor> store_;
    std::wstring storeNotice_;
    std::unique_ptr<TXMLDataModule> dataModule_;
    bool settingsModified_ = false;
    bool appletsLoaded_ = false;
    bool writeUndoSnapshot_ = true;
    TTweakSearch search_;
    std::vector<CategoryNode> categoryTree_;
    std::wstring runningUserName_;
    UserProfile editedUser_;
    std::unique_ptr<UserRegistryScope> userScope_;
};
