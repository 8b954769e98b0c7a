#include "app/mainmodel.h"

std::wstring CurrentUserName;
RegRoot PolicyRootKey = kHkeyCurrentUser;

TMainModel::~TMainModel()
{
    // The store goes without being written: only a save writes the file.
    if (SettingsStore == store_.get()) SettingsStore = nullptr;
    store_.reset();
    if (XMLDataModule == dataModule_.get()) XMLDataModule = nullptr;
    dataModule_.reset();
}

void TMainModel::FormCreate(const StartupSources& sources)
{
    store_ = std::make_unique<TEncriptor>(sources.dataFolder + SettingsFileName, true);
    SettingsStore = store_.get();

    dataModule_ = std::make_unique<TXMLDataModule>();
    XMLDataModule = dataModule_.get();
    sources.loadScheme(dataModule_->FXml);

    CurrentUserName = sources.userName();
    PolicyRootKey = kHkeyCurrentUser;
}

void TMainModel::SettingsChanged(int /*ObjectIndex*/)
{
    setModified(true);
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
    case SaveAnswer::Yes:
        SaveSettings();
        return true;
    case SaveAnswer::No:
        return true;
    case SaveAnswer::Cancel:
        break;
    }
    return false;
}

void TMainModel::SaveSettings()
{
    setModified(false);
    try {
        if (store_) store_->Flush(true);
    } catch (...) {
        // A failed save must not pass for a done one: the changes are still unsaved, and
        // the next close asks again instead of dropping them.
        setModified(true);
        throw;
    }
}

void TMainModel::setModified(bool modified)
{
    settingsModified_ = modified;
    if (OnModifiedChanged) OnModifiedChanged(modified);
}
