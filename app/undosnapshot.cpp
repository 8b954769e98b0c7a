#include "app/undosnapshot.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <optional>

#include "app/mainmodel.h"
#include "app/password.h"
#include "app/runlists.h"
#include "app/savesequence.h"
#include "registry/regaccess.h"
#include "registry/tweakstate.h"
#include "store/Encript.h"

namespace {

bool fileExists(const std::wstring& path)
{
    std::error_code ec;
    return std::filesystem::is_regular_file(std::filesystem::path(path), ec);
}

// <AppName>_reg1 and _reg2: what a location held, "-" when the value was absent, else
// "<type>:<data in hex>". Builds that do not know these names pass over them.
std::wstring recordedName(const std::wstring& appName, int index)
{
    return appName + L"_reg" + std::to_wstring(index);
}

// <AppName>_key1 and _key2, beside an absent value whose key was absent too: how many levels
// of the key path were missing, which the restore removes again once empty.
std::wstring absentKeysName(const std::wstring& appName, int index)
{
    return appName + L"_key" + std::to_wstring(index);
}

// <AppName>_listkey, beside an application list's tweak whose list key was absent: how many
// levels of it were missing, which the restore removes again once the list is empty.
std::wstring absentListKeysName(const std::wstring& appName)
{
    return appName + L"_listkey";
}

std::wstring recordedText(const std::optional<RegValue>& value)
{
    if (!value) return L"-";
    static const wchar_t digits[] = L"0123456789ABCDEF";
    std::wstring text = std::to_wstring(value->type) + L":";
    for (const std::uint8_t byte : value->data) {
        text += digits[byte >> 4];
        text += digits[byte & 15];
    }
    return text;
}

// Nullopt for a text that does not read as a record: the location is then not restored exactly.
std::optional<RecordedValue> parseRecorded(int index, const std::wstring& text)
{
    if (text == L"-") return RecordedValue{index, std::nullopt};
    const std::size_t colon = text.find(L':');
    if (colon == 0 || colon == std::wstring::npos || (text.size() - colon - 1) % 2 != 0) return std::nullopt;
    RegValue value;
    std::uint64_t type = 0;
    for (std::size_t i = 0; i < colon; ++i) {
        if (text[i] < L'0' || text[i] > L'9') return std::nullopt;
        type = type * 10 + static_cast<std::uint64_t>(text[i] - L'0');
        if (type > 0xFFFFFFFFu) return std::nullopt;
    }
    value.type = static_cast<RegType>(type);
    const auto nibble = [](wchar_t c) -> int {
        if (c >= L'0' && c <= L'9') return c - L'0';
        if (c >= L'A' && c <= L'F') return c - L'A' + 10;
        return -1;
    };
    for (std::size_t i = colon + 1; i < text.size(); i += 2) {
        const int high = nibble(text[i]), low = nibble(text[i + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        value.data.push_back(static_cast<std::uint8_t>(high << 4 | low));
    }
    return RecordedValue{index, value};
}

void recordStates(TEncriptor& snapshot, const TAppObjectsList& entries)
{
    for (int i = 0; i < entries.Count(); ++i) {
        const TRestrListRec& entry = entries[i];
        const TCheckBoxRec state = ReadEntryState(entry);
        snapshot.SetBool(entry.AppName, state.SetValue);
        if (!state.cValue.empty()) snapshot.SetStr(entry.AppName + L"_str", state.cValue);
        if (state.nValue != 0) snapshot.SetInt(entry.AppName + L"_int", state.nValue);
        if (entry.AType != L"CheckBox" || entry.GroupName == AppletGroupName) continue;
        for (const RecordedValue& recorded : RecordTweakValues(entry.AppName, entry.GroupName, true)) {
            snapshot.SetStr(recordedName(entry.AppName, recorded.index), recordedText(recorded.value));
            if (recorded.absentKeys > 0) snapshot.SetInt(absentKeysName(entry.AppName, recorded.index), recorded.absentKeys);
        }
        if (IsRunListTweak(entry.AppName)) {
            // The snapshot starts as a copy of the store, which an older build's restore may
            // have left such an entry in: only this registry's record may stand.
            const int absent = AbsentKeyLevels(PolicyRootKey, RunListsKey + entry.AppName);
            if (absent > 0)
                snapshot.SetInt(absentListKeysName(entry.AppName), absent);
            else
                snapshot.Delete(absentListKeysName(entry.AppName));
        }
    }
}

// The recorded values of an entry; none in a snapshot written before they were recorded.
std::vector<RecordedValue> recordedValues(const TEncriptor& snapshot, const std::wstring& appName)
{
    std::vector<RecordedValue> values;
    for (int index = 1; index <= 2; ++index) {
        const std::wstring text = snapshot.GetStr(recordedName(appName, index), L"");
        if (text.empty()) continue;
        std::optional<RecordedValue> recorded = parseRecorded(index, text);
        if (!recorded) continue;
        if (!recorded->value) recorded->absentKeys = std::max(0, snapshot.GetInt(absentKeysName(appName, index), 0));
        values.push_back(*recorded);
    }
    return values;
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
        // The records tell the save what to write; they are no settings of their own.
        for (int index = 1; index <= 2; ++index) {
            store.Delete(recordedName(entry.AppName, index));
            store.Delete(absentKeysName(entry.AppName, index));
        }
        std::vector<RecordedValue> values = recordedValues(snapshot, entry.AppName);
        entry.Exact.reset();
        if (!values.empty())
            entry.Exact = TRestrListRec::ExactValues{std::move(values), entry.SetValue, entry.cValue, entry.nValue};
        if (IsRunListTweak(entry.AppName)) {
            store.Delete(absentListKeysName(entry.AppName));
            if (entry.Exact) entry.Exact->AbsentListKeys = std::max(0, snapshot.GetInt(absentListKeysName(entry.AppName), 0));
        }
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
