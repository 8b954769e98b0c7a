#pragma once
// The application lists of the "DisallowRun" and "RestrictRun" tweaks: kept per Windows
// user in the settings store, written to the Explorer policies key on save.
#include <string>
#include <utility>
#include <vector>

#include "registry/registry.h"

class TEncriptor;

inline const wchar_t* const RunListsKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\";
inline const wchar_t* const DisallowRunName = L"DisallowRun";
inline const wchar_t* const RestrictRunName = L"RestrictRun";

// The store block of a list: the user name followed by the tweak's name.
std::wstring RunListBlock(const std::wstring& userName, const std::wstring& listName);

// "Add files": every path in the dialog's order; a path already stored (case and
// surrounding blanks aside) is not added twice.
void AddRunListFiles(TEncriptor& store, const std::wstring& block, const std::vector<std::wstring>& paths);
// "Delete file": the first stored item equal to path (case aside); the block is renumbered.
void DeleteRunListFile(TEncriptor& store, const std::wstring& block, const std::wstring& path);

// The registry values of a list for its stored paths: "0", "1", ... holding the file names.
// "DisallowRun" never holds the application's own executable; "RestrictRun" always does.
using RunListValues = std::vector<std::pair<std::wstring, std::wstring>>;
RunListValues RunListValuesFor(const std::wstring& listName, const std::vector<std::wstring>& paths,
                               const std::wstring& ownExeName);

// What WriteRunList does to one list: delete its key (with everything below it) when it is
// there, then, when the tweak is set, create it again with Values.
struct RunListPlan {
    std::wstring ListName;
    RegRoot Root = 0;
    std::wstring KeyPath;
    bool DeleteKey = false;
    bool Set = false;
    RunListValues Values;  // when Set
    bool TouchesRegistry() const { return DeleteKey || Set; }
};
// Reads the key's presence and the current user's stored list; writes nothing.
RunListPlan PlanRunList(const std::wstring& listName, bool isSet, const std::wstring& ownExeName);

// Deletes the list's key under PolicyRootKey and, when the tweak is set, writes it again
// from the current user's stored list in SettingsStore. Never raises: an error ends this
// list only, and false tells the save that the key may be missing or incomplete.
bool WriteRunList(const std::wstring& listName, bool isSet, const std::wstring& ownExeName);
