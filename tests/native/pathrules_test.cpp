// The text and file frames' window-free rules for paths.
#include <doctest/doctest.h>

#include <string>
#include <vector>

#include "app/pathrules.h"
#include "tests/native/registry_fixture.h"
#include "tests/support/text.h"

using testsupport::withNulls;

TEST_CASE("file paths are quoted when they hold a blank") {
    const struct {
        const wchar_t* path;
        const wchar_t* shown;
    } cases[] = {
        {L"C:\\Tools\\app.exe", L"C:\\Tools\\app.exe"},
        {L"C:\\Program Files\\app.exe", L"\"C:\\Program Files\\app.exe\""},
        {L"\"C:\\Program Files\\app.exe\"", L"\"C:\\Program Files\\app.exe\""},
        {L"", L""},
    };
    for (const auto& c : cases) CHECK(QuoteIfBlank(c.path) == c.shown);
}

TEST_CASE("where the browsers start") {
    const auto exists = [](const std::wstring& path) { return path == L"C:\\Windows"; };
    CHECK(FolderBrowserStart(L"C:\\Windows", exists) == L"C:\\Windows");
    CHECK(FolderBrowserStart(L"C:\\Missing", exists) == L"\\");
    CHECK(FolderBrowserStart(L"", exists) == L"\\");

    CHECK(FileDialogStartFolder(L"C:\\Tools\\app.exe") == L"C:\\Tools");
    CHECK(FileDialogStartFolder(L"\"C:\\Program Files\\app.exe\"") == L"C:\\Program Files");
    CHECK(FileDialogStartFolder(L"C:\\boot.ini") == L"C:\\");
    CHECK(FileDialogStartFolder(L"app.exe") == L"");
    CHECK(FileDialogStartFolder(L"") == L"");
}

TEST_CASE("a start folder the dialogs can take: the nearest parent shorter than MAX_PATH") {
    const std::wstring level(99, L'x');  // three levels make a folder longer than MAX_PATH
    const std::wstring two = L"C:\\" + level + L"\\" + level;
    const std::wstring deep = two + L"\\" + level;
    const std::wstring longName(1090, L'y');
    const struct {
        std::wstring folder, start;
    } cases[] = {
        {L"C:\\Tools", L"C:\\Tools"},
        {two, two},
        {deep, two},
        {deep + L"\\", two},
        {two + L"/" + level, two},
        {L"C:\\" + longName + L"\\" + level, L"C:\\"},
        {L"\\\\server\\share\\" + longName, L"\\\\server\\share"},
        {longName, L""},
        {L"", L""},
    };
    for (const auto& c : cases) {
        CAPTURE(c.folder.size());
        CHECK(ShortDialogFolder(c.folder) == c.start);
        CHECK(c.start.size() < 260);
    }
}

TEST_CASE("a drop on the folder edit gives a folder without the trailing separator") {
    const struct {
        const wchar_t* path;
        bool isFolder;
        const wchar_t* result;
    } cases[] = {
        {L"C:\\Data\\report.txt", false, L"C:\\Data"},
        {L"C:\\Data\\Sub", true, L"C:\\Data\\Sub"},
        {L"C:\\Data\\Sub\\", true, L"C:\\Data\\Sub"},
        {L"C:\\boot.ini", false, L"C:\\"},
        {L"C:\\", true, L"C:\\"},
        {L"\\\\server\\share\\doc.txt", false, L"\\\\server\\share"},
    };
    for (const auto& c : cases) {
        CAPTURE(c.path);
        CHECK(DroppedOnFolderEdit(c.path, c.isFolder) == c.result);
    }
}

TEST_CASE("file names and the open dialog's multiple selection") {
    CHECK(FileNamePart(L"C:\\Tools\\App.EXE") == L"App.EXE");
    CHECK(FileNamePart(L"C:app.exe") == L"app.exe");
    CHECK(FileNamePart(L"app.exe") == L"app.exe");

    CHECK(SplitOpenDialogSelection(withNulls(L"C:\\Tools\\a.exe\0\0")) ==
          std::vector<std::wstring>{L"C:\\Tools\\a.exe"});
    CHECK(SplitOpenDialogSelection(withNulls(L"C:\\Tools\0b.exe\0a.exe\0\0")) ==
          std::vector<std::wstring>{L"C:\\Tools\\b.exe", L"C:\\Tools\\a.exe"});
    CHECK(SplitOpenDialogSelection(withNulls(L"C:\\\0a.exe\0b.exe\0\0")) ==
          std::vector<std::wstring>{L"C:\\a.exe", L"C:\\b.exe"});
    CHECK(SplitOpenDialogSelection(std::wstring()).empty());
}
