#include "app/drivemask.h"

#include <cwctype>

namespace {

std::wstring trimBlanks(const std::wstring& text) {
    const auto first = text.find_first_not_of(L' ');
    if (first == std::wstring::npos) return {};
    return text.substr(first, text.find_last_not_of(L' ') - first + 1);
}

bool containsNoCase(const std::wstring& text, const std::wstring& part) {
    if (part.size() > text.size()) return false;
    for (std::size_t i = 0; i + part.size() <= text.size(); ++i) {
        std::size_t k = 0;
        while (k < part.size() && std::towupper(text[i + k]) == std::towupper(part[k])) ++k;
        if (k == part.size()) return true;
    }
    return false;
}

}  // namespace

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
