// The main window model's save on the real registry: what the user switched, in either
// group of a tweak listed twice, is what Windows reads afterwards.
#include <doctest/doctest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/export.h"
#include "app/mainmodel.h"
#include "tests/native/registry_fixture.h"
#include "tests/support/environment.h"
#include "tests/support/files.h"
#include "tests/support/program.h"

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

TEST_CASE("texts: typed on a flag tweak kept, REG_EXPAND_SZ kept when edited, saved, exported and imported") {
    Started::clean();
    const std::wstring policies = kScratch + L"\\Policies";
    const std::wstring start = L"%SystemDrive%\\Start";
    REQUIRE(RegSetKeyValueW(HKEY_CURRENT_USER, policies.c_str(), L"StartFolder", REG_EXPAND_SZ, start.c_str(),
                            static_cast<DWORD>((start.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS);
    testsupport::TempFolder folder{"texts"};
    const std::string scheme = testsupport::sourceFile("tests/fixtures/app/texts.xml");
    const StartupSources sources{folder.withSeparator(), [scheme](XmlDocument& doc) { doc.loadFromBytes(scheme); },
                                 [] { return std::wstring(L"alice"); }};
    {
        TMainModel model;
        model.FormCreate(sources);
        auto entry = [&](const wchar_t* name) -> TRestrListRec& {
            return model.FAppObjectsList[model.FAppObjectsList.IndexOf(name)];
        };
        CHECK(entry(L"StartFolder").cValue == start);
        entry(L"StartFolder").cValue = L"%SystemDrive%\\Other";
        model.lstRestrListChange(L"LogFile", true, ImageListKind::Img16);
        entry(L"LogFile").cValue = L"C:\\Logs\\quillmark.log";
        model.SettingsChanged(-1);
        REQUIRE(model.SaveSettings().Succeeded());
        WriteRegFile(folder.path / L"texts.reg", PlanExport(model.FAppObjectsList, L"quillmark.exe"));
    }
    const std::string query = testsupport::runReg(L"query \"HKCU\\" + policies + L"\"").output;
    MESSAGE(query);
    CHECK(query.find("StartFolder    REG_EXPAND_SZ    %SystemDrive%\\Other") != std::string::npos);
    CHECK(query.find("LogFile    REG_DWORD    0x0") != std::string::npos);  // on is 0 for this flag

    // Windows' own export and the program's export both say hex(2); reg import brings it back as it was.
    const fs::path exported = folder.path / L"reg.reg";
    REQUIRE(testsupport::runReg(L"export \"HKCU\\" + policies + L"\" \"" + exported.wstring() + L"\" /y").exitCode == 0);
    for (const fs::path& file : {exported, folder.path / L"texts.reg"}) {
        const std::string bytes = testsupport::readBytes(file);
        const std::wstring text(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2);
        CHECK(text.find(L"\"StartFolder\"=hex(2):25,00,53,00") != std::wstring::npos);
    }
    Started::clean();
    REQUIRE(testsupport::runReg(L"import \"" + (folder.path / L"texts.reg").wstring() + L"\"").exitCode == 0);
    CHECK(testsupport::runReg(L"query \"HKCU\\" + policies + L"\" /v StartFolder").output.find("REG_EXPAND_SZ") !=
          std::string::npos);

    // The next start shows the text that the flag's value could not take.
    TMainModel next;
    next.FormCreate(sources);
    CHECK(next.FAppObjectsList[next.FAppObjectsList.IndexOf(L"LogFile")].cValue == L"C:\\Logs\\quillmark.log");
    Started::clean();
}
