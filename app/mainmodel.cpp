#include "app/mainmodel.h"

#include "base/text.h"

std::wstring CurrentUserName;
RegRoot PolicyRootKey = kHkeyCurrentUser;

TMainModel::~TMainModel()
{
    // A frame refers to its entry, so it goes before the entries.
    Frames.DestroyFrame();
    ClearAppObjects(FAppObjectsList);
    // The store goes without being written: only a save writes the file.
    if (SettingsStore == store_.get()) SettingsStore = nullptr;
    store_.reset();
    if (XMLDataModule == dataModule_.get()) XMLDataModule = nullptr;
    dataModule_.reset();
}

void TMainModel::FormCreate(const StartupSources& sources)
{
    dataFolder_ = sources.dataFolder;
    store_ = std::make_unique<TEncriptor>(dataFolder_ + SettingsFileName, true);
    SettingsStore = store_.get();

    dataModule_ = std::make_unique<TXMLDataModule>();
    XMLDataModule = dataModule_.get();
    sources.loadScheme(dataModule_->FXml);

    ClearAppObjects(FAppObjectsList);
    Frames.DestroyFrame();

    CurrentUserName = sources.userName();
    PolicyRootKey = kHkeyCurrentUser;

    appletsLoaded_ = false;
    LoadAppObjects(FAppObjectsList);
    categoryTree_ = BuildCategoryTree(IsAdministrator ? IsAdministrator() : true,
                                      [this](const std::wstring& a, const std::wstring& b) {
                                          return compareCaptions(a, b);
                                      });
    // Only the first start records the applets' states, and so needs them now.
    if (!UndoSnapshotExists(dataFolder_)) EnsureUndoSnapshot(dataFolder_, *store_, AllEntries());
}

TAppObjectsList& TMainModel::AllEntries()
{
    if (!appletsLoaded_) {
        appletsLoaded_ = true;  // a failed enumeration is not tried again: it would add twice
        if (LoadCPApplets) LoadCPApplets(FAppObjectsList);
    }
    return FAppObjectsList;
}

std::vector<PendingChange> TMainModel::PendingChanges(const std::wstring& ownExeName)
{
    return ::PendingChanges(AllEntries(), ownExeName);
}

ExportPlan TMainModel::PlanExport(const std::wstring& ownExeName)
{
    return ::PlanExport(AllEntries(), ownExeName);
}

SearchView TMainModel::Search(const std::wstring& query)
{
    return search_.Find(AllEntries(), query,
                        [this](const std::wstring& a, const std::wstring& b) { return compareCaptions(a, b); });
}

void TMainModel::UndoAllTweaks(const UndoWindow& window)
{
    if (!store_) return;  // start-up failed before the store was opened: nothing to restore into
    setallsettingstodefaultstate1Click(dataFolder_, *store_, AllEntries(), window);
}

std::optional<bool> TMainModel::SettingsChanged(int ObjectIndex)
{
    setModified(true);
    return Frames.EnableOnChange(FAppObjectsList, ObjectIndex);
}

GroupView TMainModel::ShowGroup(const std::wstring& groupName)
{
    if (ShowsApplets(groupName)) AllEntries();
    return ::ShowGroup(FAppObjectsList, Frames, groupName,
                       [this](const std::wstring& a, const std::wstring& b) { return compareCaptions(a, b); });
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

std::wstring TMainModel::SavePromptText() const
{
    return L"Do you want to save settings for the user " + CurrentUserName + L" ?";
}

bool TMainModel::QuerySaveSettings(
    const std::function<SaveAnswer(const std::wstring&, const std::wstring&)>& ask)
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
