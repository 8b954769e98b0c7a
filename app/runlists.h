#pragma once
// The application lists of the "DisallowRun" and "RestrictRun" tweaks.
//
// The registry holds the list in force: one text value per program under the Explorer
// policies key, put there by this program, by Group Policy or by hand. The settings store
// keeps, per Windows user, the full paths chosen in "Add files". The frame shows the
// registry's list (each program by the stored full path that names it, where there is one).
// Only when the registry holds none and the tweak is off does it show the stored list, to be
// put in when the tweak is switched on; a tweak that is on shows what is in force.
//
// A save writes a list only when the administrator changed it or switched its tweak, and then
// only what they changed: the programs they added get new values, the ones they removed lose
// theirs, and everything else in the key stays as it is, whoever put it there.
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "registry/registry.h"

class TEncriptor;
class TAppObjectsList;

inline const wchar_t* const RunListsKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\";
inline const wchar_t* const DisallowRunName = L"DisallowRun";
inline const wchar_t* const RestrictRunName = L"RestrictRun";

// The store block of a list: the user name followed by the tweak's name.
std::wstring RunListBlock(const std::wstring& userName, const std::wstring& listName);

// "Add files": every path in the dialog's order; a path already stored (case and
// surrounding blanks aside) is not added twice.
void AddRunListFiles(TEncriptor& store, const std::wstring& block, const std::vector<std::wstring>& paths);
// "Add name": a program typed by its name, which need not be on this machine. The rule matches
// the file name only, so a typed path keeps its file name. Error says what is wrong, and then
// Name is empty.
struct TypedProgram {
    std::wstring Name, Error;
};
TypedProgram CheckTypedProgram(const std::wstring& text);

// "Delete file": the first stored item equal to path (case aside); the block is renumbered.
void DeleteRunListFile(TEncriptor& store, const std::wstring& block, const std::wstring& path);

// A list value in the registry: its name ("0", "1", ...) and the program it names.
struct RunListEntry {
    std::wstring Name, Program;
    bool operator==(const RunListEntry&) const = default;
};
// The text values of a list's key under PolicyRootKey, numbered names in numeric order first.
std::vector<RunListEntry> ReadRunList(const std::wstring& listName);
// What the frame shows for a registry list and the stored paths: see the top of this file.
std::vector<std::wstring> RunListShown(const std::vector<RunListEntry>& registry,
                                       const std::vector<std::wstring>& stored, bool tweakOn);

// Start-up, after the entries are read: each list's registry values and its tweak's state as
// a save later compares with, and the shown list put into the current user's store block (in
// memory), so that the frame, the undo snapshot and a save all start from it.
void TakeRunListsAtStart(TEncriptor& store, const std::wstring& userName, const TAppObjectsList& entries);
// After a save wrote a list and its tweak: what the next save compares with is what the
// registry holds now. A list whose save failed keeps its start, so the next save tries again.
void RunListSaved(const std::wstring& listName, bool set);
// The main window's end: no list is compared with that start any more.
void ForgetRunListsAtStart();

// What a save does to one list; reads the registry and the store, writes nothing. A list is
// written when the administrator changed it or switched its tweak, or when this save switches
// the tweak on: then every program the frame shows is put in, and those the administrator
// removed are taken out.
using RunListValues = std::vector<std::pair<std::wstring, std::wstring>>;
struct RunListPlan {
    std::wstring ListName;
    RegRoot Root = 0;
    std::wstring KeyPath;
    bool Set = false;
    std::vector<RunListEntry> Add;      // values to create
    std::vector<RunListEntry> Remove;   // values to delete, as they are now
    // When Set, the whole list as the save leaves it, by value name (what an export writes).
    // "DisallowRun" never gains the application's own executable; "RestrictRun" always holds it.
    RunListValues Values;
    // Removed after the values, with its parents up to this many keys in all, each only while
    // it holds nothing (RemoveEmptyKeys): a key Undo all finds absent at the first start and
    // that this save leaves empty. 0: the key stays.
    int EmptyKeysToRemove = 0;
    bool TouchesRegistry() const { return !Add.empty() || !Remove.empty() || EmptyKeysToRemove > 0; }
};
// absentKeyLevels: Undo all's record of how many levels of the list key were absent at the
// first start (AbsentKeyLevels); the plan removes them when it leaves the key empty.
RunListPlan PlanRunList(const std::wstring& listName, bool isSet, const std::wstring& ownExeName,
                        int absentKeyLevels = 0);

// What a list write changed, so that it can be put back when the tweak's switch then fails.
struct RunListUndo {
    RegRoot Root = 0;
    std::wstring KeyPath;
    bool KeyCreated = false;
    bool KeyRemoved = false;  // the plan's EmptyKeysToRemove took the key away
    std::vector<std::pair<std::wstring, std::optional<RegValue>>> Before;  // by value name
};
// Adds first, then removes, so the list never passes through empty, then removes the emptied
// key where the plan says so. A step that fails puts back what the write had changed and
// raises EJclRegistryError naming the key.
RunListUndo ExecuteRunListPlan(const RunListPlan& plan);
// Puts the values back as they were, in the key again where the write removed it; true when
// all of them are.
bool UndoRunListWrite(const RunListUndo& undo);
