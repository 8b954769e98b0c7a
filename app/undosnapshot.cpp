#include "app/undosnapshot.h"

#include <filesystem>

#include "app/password.h"
#include "registry/tweakstate.h"
#include "store/Encript.h"

namespace {

bool fileExists(const std::wstring& path)
{
    std::error_code ec;
    return std::filesystem::is_regular_file(std::filesystem::path(path), ec);
}

void recordStates(TEncriptor& snapshot, const TAppObjectsList& entries)
{
    for (int i = 0; i < entries.Count(); ++i) {
        const TRestrListRec& entry = entries[i];
        const TCheckBoxRec state = ReadEntryState(entry);
        snapshot.SetBool(entry.AppName, state.SetValue);
        if (!state.cValue.empty()) snapshot.SetStr(entry.AppName + L"_str", state.cValue);
        if (state.nValue != 0) snapshot.SetInt(entry.AppName + L"_int", state.nValue);
    }
}

// Shows the hourglass for its lifetime.
class BusyCursor {
public:
    explicit BusyCursor(const UndoWindow& window) : window_(window)
    {
        if (window_.showBusyCursor) window_.showBusyCursor(true);
    }
    ~BusyCursor()
    {
        if (window_.showBusyCursor) window_.showBusyCursor(false);
    }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;

private:
    const UndoWindow& window_;
};

}  // namespace

bool UndoSnapshotExists(const std::wstring& dataFolder, const std::wstring& fileName)
{
    return fileExists(dataFolder + fileName);
}

void EnsureUndoSnapshot(const std::wstring& dataFolder, const TEncriptor& store, const TAppObjectsList& entries,
                        const std::wstring& fileName)
{
    if (!UndoSnapshotExists(dataFolder, fileName)) WriteUndoSnapshot(dataFolder + fileName, store, entries);
}

// The snapshot is built in memory, from a copy of the store, and saved in one step: the
// file appears complete or not at all. Created first and filled afterwards, a process ended
// in between would leave a snapshot of nothing that later starts never replace.
void WriteUndoSnapshot(const std::wstring& FileName, const TEncriptor& store, const TAppObjectsList& entries)
{
    TEncriptor snapshot = store;
    snapshot.DataFile = FileName;
    snapshot.Encripted = true;
    // A record of tweak states, not of who may change them: the password stays in its file.
    snapshot.Delete(AdminPassKey);
    const auto save = [&snapshot] {
        try {
            snapshot.Flush(true);
        } catch (const std::exception&) {
            // no snapshot this time; "Undo all tweaks" reports the missing file
        }
    };
    try {
        recordStates(snapshot, entries);
    } catch (...) {
        // Keep what was recorded: the file exists from now on and is not written again.
        save();
        throw;
    }
    save();
}

bool RestoreUndoSnapshot(const std::wstring& FileName, TEncriptor& store, TAppObjectsList& entries,
                         const UndoWindow& window)
{
    if (!fileExists(FileName)) return false;
    const TEncriptor snapshot(FileName, true);
    struct MarkChanged {
        const UndoWindow& window;
        ~MarkChanged()
        {
            if (window.settingsChanged) window.settingsChanged();
        }
    } markChanged{window};
    BusyCursor busy(window);

    const std::wstring password = store.GetStr(AdminPassKey, L"");
    store.IDList = snapshot.IDList;
    // The password in use survives the restore, also when there is none.
    if (password.empty())
        store.Delete(AdminPassKey);
    else
        store.SetStr(AdminPassKey, password);

    for (int i = 0; i < entries.Count(); ++i) {
        TRestrListRec& entry = entries[i];
        entry.SetValue = snapshot.GetBool(entry.AppName, entry.SetValue);
        entry.cValue = snapshot.GetText(entry.AppName + L"_str", entry.cValue);
        entry.nValue = snapshot.GetInt(entry.AppName + L"_int", entry.nValue);
    }
    return true;
}

void setallsettingstodefaultstate1Click(const std::wstring& dataFolder, TEncriptor& store, TAppObjectsList& entries,
                                        const UndoWindow& window, const std::wstring& fileName)
{
    if (!window.askYesNo(UndoQuestion, UndoQuestionCaption)) return;
    const std::wstring path = dataFolder + fileName;
    if (!fileExists(path)) {
        window.showError(UndoMissingMessage, UndoMissingCaption);
        return;
    }
    RestoreUndoSnapshot(path, store, entries, window);
}
