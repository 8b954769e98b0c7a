#pragma once
// The drive bit mask of the drives frame and the rows it lists, without a window: bit n
// stands for the drive letter n places after "A", bits 0 to 25.
#include <array>
#include <string>
#include <vector>

inline constexpr int DriveCount = 26;
inline constexpr int AllDrivesMask = (1 << DriveCount) - 1;

using DriveChecks = std::array<bool, DriveCount>;

// ShowMask: the letters of the bits 0 to 25 that are set. Bits above Z: (and the sign
// bit) stand for no letter and check nothing.
DriveChecks ChecksFromMask(int Mask);
// GetMask: the checked letters, plus the bits outside 0 to 25 of the stored mask, which
// no row shows and the user therefore cannot have meant to drop.
int MaskFromChecks(const DriveChecks& checks, int storedMask);

// A row of the drives list: "A:" .. "Z:", the drive's label and its type text.
struct DriveRow {
    std::wstring Caption, Label, Type;
};

// The system's drive types (the values GetDriveType returns).
enum DriveType : unsigned {
    DriveUnknown = 0, DriveNoRootDir = 1, DriveRemovable = 2, DriveFixed = 3,
    DriveRemote = 4, DriveCdRom = 5, DriveRamDisk = 6,
};

// The 26 rows "A:" to "Z:" with empty label and type.
std::vector<DriveRow> EmptyDriveRows();
// The roots of a GetLogicalDriveStrings buffer: strings separated by a null, ended by an
// empty one; the buffer may also end without it.
std::vector<std::wstring> SplitDriveRoots(const std::wstring& buffer);
// The label a display name gives: the text before "(" followed by the caption ("Data (D:)"
// gives "Data "), the whole name when that does not occur.
std::wstring DriveLabel(const std::wstring& displayName, const std::wstring& caption);
std::wstring DriveTypeText(unsigned driveType, const std::wstring& label);
// DescribeDrive: fills the row of the root's letter; false when no row matches the root.
bool DescribeDrive(std::vector<DriveRow>& rows, const std::wstring& root, const std::wstring& displayName,
                   unsigned driveType);
