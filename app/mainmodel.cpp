#include "app/mainmodel.h"

#include "app/runlists.h"
#include "base/error.h"
#include "base/text.h"
#include "registry/userhive_registry.h"

std::wstring CurrentUserName;
RegRoot PolicyRootKey = kHkeyCurrentUser;

TMainModel::UserRegistryScope::UserRegistryScope(std::unique_ptr<IUserHive> hive)
    : hive_(std::move(hive)),
      view_(std::make_unique<UserHiveRegistry>(Registry(), hive_->KeyName())),
      previous_(SetRegistry(view_.get()))
{
}

TMainModel::UserRegistryScope::~UserRegistryScope()
{
    SetRegistry(previous_);
    view_.reset();
    hive_.reset();  // unloads a mounted hive: nothing of it is open any more
}

TMainModel::~TMainModel()
{
    // The hive first: a profile left loaded keeps its owner from signing in.
    userScope_.reset();
    // A frame refers to its entry, so it goes before the entries.
    Frames.DestroyFrame();
    ClearAppObjects(FAppObjectsList);
    ForgetRunListsAtStart();
    // The store goes without being written: only a save writes the file.
    if (SettingsStore == store_.get()) SettingsStore = nullptr;
    store_.reset();
    if (XMLDataModule == dataModule_.get()) XMLDataModule = nullptr;
    dataModule_.reset();
}

std::wstring UnreadableStoreMessage(const std::exception& error)
{
    return errorText(error) +
           L"\n\nQuillmark keeps its administrator password in this file and cannot check it, so it does not start.";
}

void TMainModel::OpenStore(const std::wstring& dataFolder)
{
    dataFolder_ = dataFolder;
    storeNotice_.clear();
    auto store = std::make_unique<TEncriptor>(dataFolder_ + SettingsFileName, true, false);
    if (!store->HasFile()) {
        try {
            store->Flush(true);
        } catch (const EInOutError& error) {
            // Read-only media, or Program Files without elevation: the tool still works, and
            // says what it cannot keep.
            storeNotice_ = L"Quillmark cannot create its settings file: " + errorText(error) +
                           L"\n\nIt runs with its settings in memory. Saving still changes the registry, but the "
                           L"administrator password, the texts and the application lists are lost when Quillmark "
                           L"closes. To keep them, restart Quillmark as administrator, or run it from a folder "
                           L"you can write to.";
        }
    }
    store_ = std::move(store);
    SettingsStore = store_.get();
}

void TMainModel::FormCreate(const StartupSources& sources)
{
    if (!store_) OpenStore(sources.dataFolder);

    dataModule_ = std::make_unique<TXMLDataModule>();
    XMLDataModule = dataModule_.get();
    sources.loadScheme(dataModule_->FXml);

    ClearAppObjects(FAppObjectsList);
    Frames.DestroyFrame();

    userScope_.reset();
    runningUserName_ = CurrentUserName = sources.userName();
    if (RunningUser.Name.empty()) RunningUser.Name = runningUserName_;
    editedUser_ = RunningUser;
    PolicyRootKey = kHkeyCurrentUser;

    appletsLoaded_ = false;
    LoadAppObjects(FAppObjectsList);
    TakeRunListsAtStart(*store_, CurrentUserName, FAppObjectsList);
    categoryTree_ = BuildCategoryTree(IsAdministrator ? IsAdministrator() : true,
                                      [this](const std::wstring& a, const std::wstring& b) {
                                          return compareCaptions(a, b);
                                      });
    statesRead_.clear();
    rememberStatesRead();
    writeUndoSnapshot_ = sources.writeUndoSnapshot;
    if (writeUndoSnapshot_) EnsureUndoSnapshot();
}

TMainModel::EntryState TMainModel::stateOf(const TRestrListRec& entry) const
{
    EntryState state{entry.SetValue, entry.cValue, entry.nValue, {}};
    if (IsRunListTweak(entry.AppName) && store_)
        store_->getList(RunListBlock(CurrentUserName, entry.AppName), state.List, false);
    return state;
}

void TMainModel::rememberStatesRead()
{
    for (int i = 0; i < FAppObjectsList.Count(); ++i)
        if (!statesRead_.contains(FAppObjectsList[i].AppName))
            statesRead_.emplace(FAppObjectsList[i].AppName, stateOf(FAppObjectsList[i]));
}

bool TMainModel::ChangedSinceRead(const std::wstring& name) const
{
    const int index = FAppObjectsList.IndexOf(name);
    const auto read = statesRead_.find(name);
    return index >= 0 && read != statesRead_.end() && !(stateOf(FAppObjectsList[index]) == read->second);
}

TAppObjectsList& TMainModel::AllEntries()
{
    if (!appletsLoaded_) {
        appletsLoaded_ = true;  // a failed enumeration is not tried again: it would add twice
        if (LoadCPApplets) LoadCPApplets(FAppObjectsList);
        rememberStatesRead();
    }
    return FAppObjectsList;
}

std::vector<PendingChange> TMainModel::PendingChanges(const std::wstring& ownExeName)
{
    return ::PendingChanges(AllEntries(), ownExeName);
}

SearchView TMainModel::Search(const std::wstring& query)
{
    return search_.Find(AllEntries(), query,
                        [this](const std::wstring& a, const std::wstring& b) { return compareCaptions(a, b); },
                        Effect());
}

OpenedProfile TMainModel::OpenProfile(const std::vector<ProfileKey>& profile, const std::wstring& ownExeName)
{
    OpenedProfile opened = ::OpenProfile(AllEntries(), profile, store_.get(), CurrentUserName, ownExeName);
    if (opened.Changed > 0) setModified(true);
    return opened;
}

void TMainModel::UndoAllTweaks(const UndoWindow& window)
{
    if (!store_) return;  // start-up failed before the store was opened: nothing to restore into
    setallsettingstodefaultstate1Click(dataFolder_, *store_, AllEntries(), window, undoSnapshotFile());
}

void TMainModel::EnsureUndoSnapshot()
{
    // Only a user's first start records the applets' states, and so needs them now.
    if (store_ && !UndoSnapshotExists(dataFolder_, undoSnapshotFile()))
        ::EnsureUndoSnapshot(dataFolder_, *store_, AllEntries(), undoSnapshotFile());
}

std::wstring TMainModel::undoSnapshotFile() const
{
    return EditsRunningUser() ? std::wstring(UndoSnapshotFileName) : UndoSnapshotFileFor(editedUser_);
}

TMainModel::UserSwitch TMainModel::ChooseUser(const UserProfile& user, const AskSaveHook& ask,
                                              const std::function<void(const std::wstring&)>& showError)
{
    if (SameUser(user, editedUser_)) return UserSwitch::Unchanged;
    const bool running = SameUser(user, RunningUser);
    if (!running && IsElevated && !IsElevated()) return UserSwitch::NeedsElevation;
    if (!QuerySaveSettings(ask)) return UserSwitch::Unchanged;
    const bool discarded = settingsModified_;  // answered No

    std::unique_ptr<IUserHive> hive;
    if (!running) {
        try {
            if (!OpenUserHive) throw WideError(L"no user's hive can be opened here.");
            hive = OpenUserHive(user);
        } catch (const std::exception& error) {
            showError(HiveFailureMessage(user, errorText(error)));
            return UserSwitch::Unchanged;
        }
    }
    // The previous view goes before the next one is made, so that it wraps the registry
    // itself and not the previous user's hive.
    userScope_.reset();
    if (hive) userScope_ = std::make_unique<UserRegistryScope>(std::move(hive));
    editedUser_ = running ? RunningUser : user;
    CurrentUserName = running ? runningUserName_ : RunListOwner(user);

    // Changes the user chose not to save go with the user they were made for; the settings
    // file holds what was saved.
    if (discarded && store_) store_->IDList = TEncriptor(store_->DataFile, true).IDList;
    ReloadEntryStates(FAppObjectsList);
    statesRead_.clear();
    rememberStatesRead();
    setModified(false);
    if (writeUndoSnapshot_) EnsureUndoSnapshot();
    return UserSwitch::Switched;
}

void TMainModel::ReleaseUserHive()
{
    userScope_.reset();
    editedUser_ = RunningUser;
    CurrentUserName = runningUserName_;
}

std::optional<std::wstring> TMainModel::SavedMessage(const SaveResult& result) const
{
    if (EditsRunningUser() || !result.Succeeded()) return std::nullopt;
    return SavedForUserMessage(editedUser_);
}

ExportPlan TMainModel::PlanExport(const std::wstring& ownExeName, ExportContent content)
{
    ExportPlan plan = content == ExportContent::Everything
                          ? ::PlanExport(AllEntries(), ownExeName)
                          : ::PlanExport(AllEntries(), ownExeName,
                                         [this](const std::wstring& name) { return ChangedSinceRead(name); });
    if (!EditsRunningUser()) plan.MadeFor = editedUser_.Name;
    return plan;
}

int TMainModel::TweaksNeedingElevation() const
{
    if (!IsElevated || IsElevated()) return 0;
    return ::TweaksNeedingElevation(FAppObjectsList, !EditsRunningUser());
}

std::optional<bool> TMainModel::SettingsChanged(int ObjectIndex)
{
    setModified(true);
    return Frames.EnableOnChange(FAppObjectsList, ObjectIndex);
}

bool TMainModel::HideWithoutEffect() const
{
    return store_ && store_->GetBool(HideWithoutEffectEntry, false);
}

std::wstring TMainModel::SetHideWithoutEffect(bool hide)
{
    if (!store_) return L"The settings store is not open.";
    store_->SetBool(HideWithoutEffectEntry, hide);
    try {
        // A second copy of the file: the store in memory may hold changes not saved yet.
        TEncriptor file(store_->DataFile, true);
        file.SetBool(HideWithoutEffectEntry, hide);
        file.Flush(true);
    } catch (const std::exception& e) {
        return errorText(e);
    }
    return {};
}

GroupView TMainModel::ShowGroup(const std::wstring& groupName)
{
    if (ShowsApplets(groupName)) AllEntries();
    return ::ShowGroup(FAppObjectsList, Frames, groupName,
                       [this](const std::wstring& a, const std::wstring& b) { return compareCaptions(a, b); },
                       Effect());
}

bool TMainModel::CanRemoveFromRegistry(const std::wstring& itemName) const
{
    const int index = FAppObjectsList.IndexOf(itemName);
    return index >= 0 && ::CanRemoveFromRegistry(FAppObjectsList[index]) &&
           !NotConfiguredAfterSave(FAppObjectsList, index);
}

bool TMainModel::RemoveFromRegistry(const std::wstring& itemName)
{
    if (!CanRemoveFromRegistry(itemName)) return false;
    // Every entry of the name shows the same state; the first carries what the save writes.
    for (int i = 0; i < FAppObjectsList.Count(); ++i)
        if (sameTextNoCase(FAppObjectsList[i].AppName, itemName)) FAppObjectsList[i].SetValue = false;
    MarkRemoveFromRegistry(FAppObjectsList[FAppObjectsList.IndexOf(itemName)]);
    SettingsChanged(-1);
    return true;
}

bool TMainModel::NotConfigured(const std::wstring& itemName) const
{
    return NotConfiguredAfterSave(FAppObjectsList, FAppObjectsList.IndexOf(itemName));
}

ListChange TMainModel::lstRestrListChange(const std::wstring& itemName, bool checked, ImageListKind smallImages)
{
    return ::lstRestrListChange(FAppObjectsList, Frames, itemName, checked, smallImages,
                                [this](int index) { return SettingsChanged(index); });
}

int TMainModel::compareCaptions(const std::wstring& a, const std::wstring& b) const
{
    return CompareCaptions ? CompareCaptions(a, b) : compareTextNoCase(a, b);
}

namespace {

std::wstring counted(int count, const wchar_t* one, const wchar_t* many)
{
    return std::to_wstring(count) + L" " + (count == 1 ? one : many);
}

}  // namespace

std::wstring TMainModel::SavePromptText() const
{
    // HKEY_LOCAL_MACHINE tweaks go out with every save, so the question names both.
    return L"Save the changed restrictions for " + savedForText() + L" and this computer?";
}

std::wstring TMainModel::savedForText() const
{
    const std::wstring& user = editedUser_.Name.empty() ? CurrentUserName : editedUser_.Name;
    return user.empty() ? std::wstring(L"the current user") : user;
}

std::wstring TMainModel::SavedStatusText(const SaveResult& result) const
{
    if (!result.Succeeded()) return L"Not everything was saved: the settings stay unsaved.";
    if (!result.Wrote) return L"Saved. The registry already held every value; nothing was written to it.";
    std::wstring text = L"Saved for " + savedForText() + L" and this computer";
    if (result.Written == 0 && result.Removed == 0) return text + L".";
    text += L": ";
    if (result.Written > 0) text += counted(result.Written, L"value written", L"values written");
    if (result.Written > 0 && result.Removed > 0) text += L", ";
    if (result.Removed > 0) text += counted(result.Removed, L"value removed", L"values removed");
    return text + L".";
}

bool TMainModel::QuerySaveSettings(const AskSaveHook& ask)
{
    if (!settingsModified_) return true;
    switch (ask(SavePromptText(), SavePromptCaption)) {
    case SaveAnswer::Yes: {
        const SaveResult result = SaveSettings();
        if (result.Succeeded()) return true;
        if (OnSaveFailed) OnSaveFailed(result);
        return false;
    }
    case SaveAnswer::No:
        return true;
    case SaveAnswer::Cancel:
        break;
    }
    return false;
}

SaveResult TMainModel::SaveSettings()
{
    setModified(false);
    SaveResult result;
    try {
        result = RunSaveSequence(AllEntries(), store_.get(), SaveSteps);
    } catch (...) {
        // A failed save must not pass for a done one: the changes are still unsaved, and
        // the next close asks again instead of dropping them.
        setModified(true);
        throw;
    }
    if (!result.Succeeded()) setModified(true);
    return result;
}

void TMainModel::setModified(bool modified)
{
    settingsModified_ = modified;
    if (OnModifiedChanged) OnModifiedChanged(modified);
}
