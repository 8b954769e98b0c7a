#pragma once
// File > Export: the tweaks as they stand in the window, as a .reg file that `reg import`
// applies and as the two Registry.pol files that Group Policy applies.
//
// What goes in, worked out by the save's own requests and plans:
//  - every switched-on tweak with the values of all its locations, whatever this machine's
//    registry holds, so that the file switches it on anywhere;
//  - for a switched-off tweak, the locations that the next save here would change (its
//    unchecked values): a tweak the user switched off is switched off elsewhere too, while
//    tweaks that are off here already are left as the other machine has them;
//  - every hidden applet's "Yes"; a shown applet's value only when the save would remove it;
//  - a set application list as its key deleted and written again with the whole list; a list
//    whose tweak is off is left as the other machine has it.
// Applying the export on this machine thus leaves what the save leaves. Class key renames
// cannot be expressed by either file and are left out, named in a comment of the .reg file
// and in ExportMessage; values outside HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER have no
// place in a Registry.pol file and are left out of those files only.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/appobjects.h"
#include "profile/profile.h"
#include "registry/registry.h"

struct ExportLeftOut {
    std::wstring Name, Caption;
    std::wstring Where;  // root and key the tweak changes
};

struct ExportPlan {
    // Another user's name when the window shows theirs: the .reg file says for whom it was
    // made. Its keys still name HKEY_CURRENT_USER, so that it applies to whoever imports it.
    std::wstring MadeFor;
    std::vector<ProfileKey> Keys;            // in the save's order of first use
    std::vector<ExportLeftOut> LeftOut;      // class key renames
    std::vector<ExportLeftOut> NotInPolicy;  // keys outside the two policy roots
};

// What File > Export puts in, as the administrator chose it before the file dialog.
enum class ExportContent { Changed, Everything };
inline const wchar_t* const ExportChangedChoice = L"Only the tweaks I changed";
inline const wchar_t* const ExportEverythingChoice = L"Every tweak as it stands now";

// ownExeName as the save's run-list step uses it. `include`, when given, names the entries
// (by AppName) that go in; the others are left as the other machine has them.
ExportPlan PlanExport(const TAppObjectsList& entries, const std::wstring& ownExeName,
                      const std::function<bool(const std::wstring& name)>& include = {});

// "Windows Registry Editor Version 5.00" text, lines ending in CR LF.
std::wstring RegFileText(const ExportPlan& plan);
// The text as regedit writes it: UTF-16LE after its byte-order mark.
std::vector<std::uint8_t> RegFileBytes(const ExportPlan& plan);

struct PolicyFiles {
    std::vector<std::uint8_t> Machine;  // HKEY_LOCAL_MACHINE
    std::vector<std::uint8_t> User;     // HKEY_CURRENT_USER
};
PolicyFiles PolicyFileBytes(const ExportPlan& plan);

// Writes the .reg file. Raises ProfileError naming the file when it cannot be written.
void WriteRegFile(const std::filesystem::path& file, const ExportPlan& plan);
// Writes folder\Machine\Registry.pol and folder\User\Registry.pol, the layout of a Group
// Policy object (or folder\Machine\<fileName> and folder\User\<fileName>); returns the
// two files. Raises ProfileError naming the file that cannot be written.
std::vector<std::filesystem::path> WritePolicyFiles(const std::filesystem::path& folder, const ExportPlan& plan,
                                                    const std::filesystem::path& fileName = L"Registry.pol");

// The Registry.pol files that WritePolicyFiles would replace in folder, and the question
// asked before it does, as the .reg file's dialog asks before replacing that file.
std::vector<std::filesystem::path> ExistingPolicyFiles(const std::filesystem::path& folder);
std::wstring ReplacePolicyFilesQuestion(const std::vector<std::filesystem::path>& files);

// The message after an export: what was left out and why; empty when nothing was.
std::wstring ExportMessage(const ExportPlan& plan);
inline const wchar_t* const ExportCaption = L"Export";
