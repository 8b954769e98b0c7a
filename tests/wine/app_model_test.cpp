// The main window model's save on the real registry: what the user switched, in either
// group of a tweak listed twice, is what Windows reads afterwards.
#include <doctest/doctest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/mainmodel.h"
#include "tests/native/registry_fixture.h"
#include "tests/support/environment.h"
#include "tests/support/files.h"

namespace fs = std::filesystem;

namespace {

const std::wstring kScratch = L"Software\\QuillmarkTest";

std::optional<DWORD> dwordAt(HKEY root, const std::wstring& path, const std::wstring& name) {
    DWORD value = 0, size = sizeof value;
    if (RegGetValueW(root, path.c_str(), name.c_str(), RRF_RT_REG_DWORD, nullptr, &value, &size) != ERROR_SUCCESS)
        return std::nullopt;
    return value;
}

struct Started {
    testsupport::TempFolder folder{"appmodel"};
    TMainModel model;
    Started() {
        clean();
        const std::string scheme = testsupport::sourceFile("tests/fixtures/app/groups.xml");
        model.FormCreate({folder.withSeparator(), [scheme](XmlDocument& doc) { doc.loadFromBytes(scheme); },
                          [] { return std::wstring(L"alice"); }});
    }
    ~Started() {
        clean();
    }
    static void clean() {
        RegDeleteTreeW(HKEY_CURRENT_USER, kScratch.c_str());
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, kScratch.c_str());
    }
};

}  // namespace

TEST_CASE("the save writes each switched tweak to the real registry and the store to its file") {
    Started s;
    s.model.lstRestrListChange(L"Shared", true, ImageListKind::Img16);  // from the second group's list
    s.model.lstRestrListChange(L"MachineFlag", true, ImageListKind::Img16);
    const SaveResult result = s.model.SaveSettings();
    CHECK(result.Succeeded());
    CHECK_FALSE(s.model.SettingsModified());
    CHECK(dwordAt(HKEY_CURRENT_USER, kScratch + L"\\Policies", L"Shared") == 1u);
    CHECK(dwordAt(HKEY_LOCAL_MACHINE, kScratch + L"\\Machine", L"MachineFlag") == 1u);
    CHECK_FALSE(dwordAt(HKEY_CURRENT_USER, kScratch + L"\\Policies", L"Alpha"));
    CHECK(fs::exists(s.folder.path / "quillmark.dat"));

    // Switched back off from the other group: the later entry does not write its old state.
    s.model.ShowGroup(L"Group_MachineSystem");
    s.model.lstRestrListChange(L"Shared", false, ImageListKind::Img16);
    CHECK(s.model.SaveSettings().Succeeded());
    CHECK(dwordAt(HKEY_CURRENT_USER, kScratch + L"\\Policies", L"Shared") == 0u);
}
