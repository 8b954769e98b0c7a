#pragma once
// What the main window decides, without a window: start-up, the unsaved-changes flag,
// the close question and the save sequence. The Win32 layer maps it to controls.
#include <functional>
#include <memory>
#include <string>

#include "registry/registry.h"
#include "scheme/xmldata.h"
#include "store/Encript.h"

// Program-wide values that frames and the engine read while the main window lives.
extern TEncriptor* SettingsStore;  // defined beside the tweak state, which reads it
extern std::wstring CurrentUserName;
extern RegRoot PolicyRootKey;

inline const wchar_t* const SettingsFileName = L"quillmark.dat";
inline const wchar_t* const SavePromptCaption = L"Save settings";

enum class SaveAnswer { Yes, No, Cancel };

// What start-up needs from the platform, asked for at the step that needs it so that a
// failure stops start-up exactly there.
struct StartupSources {
    std::wstring dataFolder;                    // with its trailing separator
    std::function<void(XmlDocument&)> loadScheme;  // APPSCHEME into the document
    std::function<std::wstring()> userName;     // empty when the platform cannot tell
};

class TMainModel {
public:
    TMainModel() = default;
    ~TMainModel();  // FormDestroy
    TMainModel(const TMainModel&) = delete;
    TMainModel& operator=(const TMainModel&) = delete;

    // FormCreate. An error of a step propagates with the steps before it done.
    void FormCreate(const StartupSources& sources);

    bool SettingsModified() const { return settingsModified_; }
    void SettingsChanged(int ObjectIndex);

    // True when the window may close. `ask` shows the question and returns the answer.
    bool QuerySaveSettings(const std::function<SaveAnswer(const std::wstring& text,
                                                          const std::wstring& caption)>& ask);
    std::wstring SavePromptText() const;
    void SaveSettings();

    // Told whenever the flag changes, so that File > Save follows it.
    std::function<void(bool modified)> OnModifiedChanged;

    TEncriptor* Store() const { return store_.get(); }
    TXMLDataModule* DataModule() const { return dataModule_.get(); }

private:
    void setModified(bool modified);

    std::unique_ptr<TEncriptor> store_;
    std::unique_ptr<TXMLDataModule> dataModule_;
    bool settingsModified_ = false;
};
