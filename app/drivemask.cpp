#include "app/drivemask.h"

#include "base/text.h"

DriveChecks ChecksFromMask(int Mask) {
    DriveChecks checks{};
    for (int bit = 0; bit < DriveCount; ++bit) checks[bit] = (Mask >> bit) & 1;
    return checks;
}

int MaskFromChecks(const DriveChecks& checks, int storedMask) {
    int mask = storedMask & ~AllDrivesMask;
    for (int bit = 0; bit < DriveCount; ++bit)
        if (checks[bit]) mask |= 1 << bit;
    return mask;
}

std::vector<DriveRow> EmptyDriveRows() {
    std::vector<DriveRow> rows;
    for (wchar_t letter = L'A'; letter <= L'Z'; ++letter) rows.push_back({std::wstring{letter, L':'}, {}, {}});
    return rows;
}

std::vector<std::wstring> SplitDriveRoots(const std::wstring& buffer) {
    std::vector<std::wstring> roots;
    std::size_t pos = 0;
    while (pos < buffer.size()) {
        std::size_t end = buffer.find(L'\0', pos);
        if (end == std::wstring::npos) end = buffer.size();
        if (end == pos) break;
        roots.push_back(buffer.substr(pos, end - pos));
        pos = end + 1;
    }
    return roots;
}

std::wstring DriveLabel(const std::wstring& displayName, const std::wstring& caption) {
    const auto pos = displayName.find(L"(" + caption);
    return pos == std::wstring::npos ? displayName : displayName.substr(0, pos);
}

std::wstring DriveTypeText(unsigned driveType, const std::wstring& label) {
    switch (driveType) {
    case DriveRemovable:
        return label.find(L"3,5") != std::wstring::npos ? L"Floppy drive" : L"Removable media";
    case DriveFixed: return L"Hard drive";
    case DriveRemote: return L"Network drive";
    case DriveCdRom: return L"CD/DVD drive";
    case DriveRamDisk: return L"RAM drive";
    default: return L"Unknown type";
    }
}

bool DescribeDrive(std::vector<DriveRow>& rows, const std::wstring& root, const std::wstring& displayName,
                   unsigned driveType) {
    const std::wstring trimmedRoot = trimBlanks(root);
    for (DriveRow& row : rows) {
        if (!containsNoCase(trimmedRoot, row.Caption)) continue;
        row.Label = DriveLabel(trimBlanks(displayName), row.Caption);
        row.Type = DriveTypeText(driveType, row.Label);
        return true;
    }
    return false;
}
