// The drives frame's window-free rules: masks, the checked letters, the rows.
#include <doctest/doctest.h>

#include <set>
#include <string>
#include <vector>

#include "app/drivemask.h"
#include "tests/native/registry_fixture.h"
#include "tests/support/text.h"

namespace {

using testsupport::withNulls;

std::set<int> checkedBits(const DriveChecks& checks) {
    std::set<int> bits;
    for (int i = 0; i < DriveCount; ++i)
        if (checks[i]) bits.insert(i);
    return bits;
}

}  // namespace

TEST_CASE("a mask shows the letters of its bits 0 to 25") {
    const struct {
        int mask;
        std::set<int> bits;
    } cases[] = {
        {0, {}},
        {5, {0, 2}},
        {1 << 25, {25}},
        {AllDrivesMask, {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12,
                         13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25}},
        {1 << 26, {}},                // no letter
        {(1 << 26) | 8, {3}},         // D: and an unused bit
        {-1, {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12,
              13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25}},
        {static_cast<int>(0x80000000u) | 2, {1}},
    };
    for (const auto& c : cases) {
        CAPTURE(c.mask);
        CHECK(checkedBits(ChecksFromMask(c.mask)) == c.bits);
    }
}

TEST_CASE("the mask of the checked letters keeps the bits no row shows") {
    DriveChecks checks{};
    CHECK(MaskFromChecks(checks, 0) == 0);
    checks[1] = true;
    CHECK(MaskFromChecks(checks, 0) == 2);
    checks[25] = true;
    CHECK(MaskFromChecks(checks, 2) == (2 | (1 << 25)));

    SUBCASE("bits above Z: survive a change of the letters") {
        const int stored = (1 << 26) | (1 << 31) | 4;
        DriveChecks shown = ChecksFromMask(stored);
        shown[2] = false;
        shown[0] = true;
        CHECK(MaskFromChecks(shown, stored) == ((1 << 26) | (1 << 31) | 1));
    }
    SUBCASE("every mask reads back unchanged when nothing is touched") {
        for (int stored : {0, 5, 1 << 25, AllDrivesMask, -1, 1 << 26, static_cast<int>(0x80000004u)})
            CHECK(MaskFromChecks(ChecksFromMask(stored), stored) == stored);
    }
}

TEST_CASE("drive rows: 26 letters, roots, labels and type texts") {
    const std::vector<DriveRow> empty = EmptyDriveRows();
    REQUIRE(empty.size() == 26);
    CHECK(empty.front().Caption == L"A:");
    CHECK(empty.back().Caption == L"Z:");
    for (const DriveRow& row : empty) CHECK((row.Label.empty() && row.Type.empty()));

    CHECK(SplitDriveRoots(withNulls(L"C:\\\0D:\\\0Z:\\\0\0")) ==
          std::vector<std::wstring>{L"C:\\", L"D:\\", L"Z:\\"});
    CHECK(SplitDriveRoots(withNulls(L"C:\\")) == std::vector<std::wstring>{L"C:\\"});
    CHECK(SplitDriveRoots(std::wstring()).empty());

    const struct {
        const wchar_t* displayName;
        const wchar_t* caption;
        const wchar_t* label;
    } labels[] = {
        {L"System (C:)", L"C:", L"System "},
        {L"Local Disk (C:)", L"C:", L"Local Disk "},
        {L"(D:)", L"D:", L""},
        {L"Data (D:)", L"C:", L"Data (D:)"},  // another letter: the whole name
        {L"Network", L"Z:", L"Network"},
    };
    for (const auto& c : labels) CHECK(DriveLabel(c.displayName, c.caption) == c.label);

    const struct {
        unsigned type;
        const wchar_t* label;
        const wchar_t* text;
    } types[] = {
        {DriveRemovable, L"3,5-Diskette ", L"Floppy drive"},
        {DriveRemovable, L"USB stick ", L"Removable media"},
        {DriveFixed, L"", L"Hard drive"},
        {DriveRemote, L"", L"Network drive"},
        {DriveCdRom, L"", L"CD/DVD drive"},
        {DriveRamDisk, L"", L"RAM drive"},
        {DriveUnknown, L"", L"Unknown type"},
        {DriveNoRootDir, L"", L"Unknown type"},
        {42, L"", L"Unknown type"},
    };
    for (const auto& c : types) CHECK(DriveTypeText(c.type, c.label) == c.text);
}

TEST_CASE("DescribeDrive fills the row of the root's letter only") {
    std::vector<DriveRow> rows = EmptyDriveRows();
    CHECK(DescribeDrive(rows, L" C:\\ ", L"  System (C:) ", DriveFixed));
    CHECK(DescribeDrive(rows, L"A:\\", L"3,5-Diskette (A:)", DriveRemovable));
    CHECK_FALSE(DescribeDrive(rows, L"\\\\?\\Volume", L"x", DriveFixed));
    CHECK(rows[2].Label == L"System ");
    CHECK(rows[2].Type == L"Hard drive");
    CHECK(rows[0].Type == L"Floppy drive");
    for (int i : {1, 3, 25}) CHECK((rows[i].Label.empty() && rows[i].Type.empty()));
}
