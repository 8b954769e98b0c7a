#pragma once
// The undo snapshot: at the first start the state of every tweak, with a copy of the
// settings store, goes into default.qmk beside the executable; "Undo all tweaks" brings the
// entries and the store back to it. The registry follows at the next save.
#include <functional>
#include <string>

#include "app/appobjects.h"

class TEncriptor;

inline const wchar_t* const UndoSnapshotFileName = L"default.qmk";
inline const wchar_t* const UndoQuestion = L"Do you want to reset all tweaks to the previous state ?";
inline const wchar_t* const UndoQuestionCaption = L"Reset settings";
inline const wchar_t* const UndoMissingMessage = L"The file default.dat not found !";
inline const wchar_t* const UndoMissingCaption = L"Undo tweaks";

// Writes the snapshot into dataFolder (with its trailing separator) when it is not there yet.
// A file that is there is left alone, even one that holds nothing: the first state it was
// meant to record cannot be read again. fileName: another user's snapshot has its own.
bool UndoSnapshotExists(const std::wstring& dataFolder, const std::wstring& fileName = UndoSnapshotFileName);
void EnsureUndoSnapshot(const std::wstring& dataFolder, const TEncriptor& store, const TAppObjectsList& entries,
                        const std::wstring& fileName = UndoSnapshotFileName);
// The store's entries but the password, then every entry's state read from the registry
// now, saved in one step. A file that cannot be written gives no snapshot and no error; an error while reading
// the states still saves the states read so far, then propagates.
void WriteUndoSnapshot(const std::wstring& FileName, const TEncriptor& store, const TAppObjectsList& entries);

// What the restore asks of the window.
struct UndoWindow {
    std::function<void(bool busy)> showBusyCursor;
    std::function<void()> settingsChanged;  // SettingsChanged(-1)
    std::function<bool(const std::wstring& text, const std::wstring& caption)> askYesNo;
    std::function<void(const std::wstring& text, const std::wstring& caption)> showError;
};

// Replaces the store's entries and the entries' states by the snapshot's, keeping the
// password in use. Nothing when the file does not exist; otherwise the settings are marked
// changed, also when the restore fails part way. Returns whether the file existed.
bool RestoreUndoSnapshot(const std::wstring& FileName, TEncriptor& store, TAppObjectsList& entries,
                         const UndoWindow& window);
// Edit > Undo all tweaks: asks, reports a missing snapshot, restores from dataFolder.
void setallsettingstodefaultstate1Click(const std::wstring& dataFolder, TEncriptor& store, TAppObjectsList& entries,
                                        const UndoWindow& window,
                                        const std::wstring& fileName = UndoSnapshotFileName);
