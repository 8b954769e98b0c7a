#include <doctest/doctest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

#include "app/mainmodel.h"
#include "tests/support/files.h"

namespace fs = std::filesystem;

namespace {

const std::string kScheme = "<?xml version=\"1.0\"?><OBJECTS><Description/><RegKey/><TreeItem/></OBJECTS>";

using testsupport::readBytes;
using testsupport::TempFolder;

StartupSources sources(const TempFolder& folder, std::wstring user = L"alice")
{
    return {folder.withSeparator(), [](XmlDocument& doc) { doc.loadFromBytes(kScheme); }, [user] { return user; }};
}

// A model after start-up with one change in the store's memory that only a save writes.
struct StartedModel {
    TempFolder folder;
    TMainModel model;
    std::vector<bool> notified;
    StartedModel()
    {
        model.OnModifiedChanged = [this](bool m) { notified.push_back(m); };
        model.FormCreate(sources(folder));
        SettingsStore->SetStr(L"Probe", L"1");
        model.SettingsChanged(-1);
    }
};

}  // namespace

TEST_CASE("start-up opens the store beside the data folder, loads the scheme and takes the user")
{
    TempFolder folder;
    {
        TMainModel model;
        model.FormCreate(sources(folder, L"alice"));

        CHECK(fs::exists((folder.path / "quillmark.dat")));
        REQUIRE(model.Store() != nullptr);
        CHECK(SettingsStore == model.Store());
        CHECK(model.Store()->IsValid);
        CHECK(model.Store()->Encripted);
        CHECK(XMLDataModule == model.DataModule());
        REQUIRE(model.DataModule()->FXml.root() != nullptr);
        CHECK(model.DataModule()->FXml.root()->name() == L"OBJECTS");
        CHECK(CurrentUserName == L"alice");
        CHECK(PolicyRootKey == kHkeyCurrentUser);
        CHECK_FALSE(model.SettingsModified());
    }
    // Shut-down leaves no dangling program-wide references.
    CHECK(SettingsStore == nullptr);
    CHECK(XMLDataModule == nullptr);
}

TEST_CASE("a failing start-up step stops start-up there, with the steps before it done")
{
    TempFolder folder;
    TMainModel model;
    CurrentUserName = L"before";
    StartupSources src = sources(folder, L"bob");
    src.loadScheme = [](XmlDocument&) { throw EXmlReaderError(L"Resource APPSCHEME not found"); };
    CHECK_THROWS_AS(model.FormCreate(src), EXmlReaderError);
    CHECK(model.Store() != nullptr);
    CHECK(fs::exists((folder.path / "quillmark.dat")));
    CHECK(CurrentUserName == L"before");  // the step after the scheme did not run
}

TEST_CASE("the close question: asked only with unsaved changes, each answer does its part")
{
    struct Case {
        const char* name;
        bool changed;
        SaveAnswer answer;
        bool canClose, asked, written;
    };
    const Case cases[] = {
        {"no change closes without asking", false, SaveAnswer::Cancel, true, false, false},
        {"Yes saves and closes", true, SaveAnswer::Yes, true, true, true},
        {"No closes without writing", true, SaveAnswer::No, true, true, false},
        {"Cancel keeps the window and the changes", true, SaveAnswer::Cancel, false, true, false},
    };
    for (const Case& c : cases) {
        CAPTURE(c.name);
        TempFolder folder;
        TMainModel model;
        model.FormCreate(sources(folder, L"alice"));
        const std::string before = readBytes((folder.path / "quillmark.dat"));
        if (c.changed) {
            SettingsStore->SetStr(L"Probe", L"1");
            model.SettingsChanged(-1);
        }
        bool asked = false;
        const bool canClose = model.QuerySaveSettings([&](const std::wstring& text, const std::wstring& caption) {
            asked = true;
            CHECK(text == L"Save the changed restrictions for alice and this computer?");
            CHECK(caption == L"Save settings");
            return c.answer;
        });
        CHECK(canClose == c.canClose);
        CHECK(asked == c.asked);
        CHECK((readBytes((folder.path / "quillmark.dat")) != before) == c.written);
        CHECK(model.SettingsModified() == (c.changed && c.answer != SaveAnswer::Yes));
        if (c.written) {
            TEncriptor reread((folder.path / "quillmark.dat").wstring(), true);
            CHECK(reread.GetStr(L"Probe", L"") == L"1");
        }
    }
}

TEST_CASE("the prompt names the user shown, and says so when no name is known")
{
    TempFolder folder;
    TMainModel model;
    model.RunningUser.Name = L"CORP\\alice";
    model.FormCreate(sources(folder, L"alice"));
    CHECK(model.SavePromptText() == L"Save the changed restrictions for CORP\\alice and this computer?");
    TMainModel unnamed;
    unnamed.FormCreate(sources(folder, L""));
    CHECK(unnamed.SavePromptText() == L"Save the changed restrictions for the current user and this computer?");
}

TEST_CASE("Save clears the flag, tells the menu, and writes the file even with nothing new")
{
    StartedModel s;
    fs::remove((s.folder.path / "quillmark.dat"));
    s.model.SaveSettings();
    CHECK_FALSE(s.model.SettingsModified());
    CHECK(s.notified == std::vector<bool>{true, false});
    CHECK(fs::exists((s.folder.path / "quillmark.dat")));

    // Written with the force flag: a save with no store change still rewrites the file.
    fs::remove((s.folder.path / "quillmark.dat"));
    s.model.SettingsChanged(-1);
    s.model.SaveSettings();
    CHECK(fs::exists((s.folder.path / "quillmark.dat")));

    // After a save the next close asks nothing.
    CHECK(s.model.QuerySaveSettings([](auto&, auto&) {
        FAIL("asked after a save");
        return SaveAnswer::Cancel;
    }));
}

TEST_CASE("a save that cannot write leaves the changes unsaved and the window open, and says why")
{
    StartedModel s;
    fs::remove_all(s.folder.path);  // the folder of the file is gone: the write fails
    std::wstring said;
    s.model.OnSaveFailed = [&](const SaveResult& result) { said = SaveFailureMessage(result); };
    CHECK_FALSE(s.model.QuerySaveSettings([](auto&, auto&) { return SaveAnswer::Yes; }));
    CHECK(said.find(L"The settings file was not saved: ") != std::wstring::npos);
    CHECK(said.find((s.folder.path / "quillmark.dat").wstring()) != std::wstring::npos);
    CHECK(s.model.SettingsModified());
    CHECK(s.notified.back() == true);
}

TEST_CASE("shut-down does not write the store")
{
    TempFolder folder;
    std::string before;
    {
        TMainModel model;
        model.FormCreate(sources(folder));
        before = readBytes((folder.path / "quillmark.dat"));
        SettingsStore->SetStr(L"Probe", L"1");
        model.SettingsChanged(-1);
    }
    CHECK(readBytes((folder.path / "quillmark.dat")) == before);
}

TEST_CASE("start-up goes on over a damaged settings file") {
    for (const char* file : {"garbage.dat", "empty.dat", "truncated_mid_line.dat", "lines_reordered.dat", "not_a_number.dat"}) {
        CAPTURE(std::string(file));
        TempFolder dir;
        fs::copy_file(testsupport::sourceDir() / "tests/fixtures/store/damaged" / file, dir.path / "quillmark.dat");
        TMainModel model;
        StartupSources sources{(dir.path / "").wstring(),
                               [](XmlDocument& doc) { doc.loadFromBytes("<OBJECTS><Description/><RegKey/><TreeItem/></OBJECTS>"); },
                               [] { return std::wstring(L"alice"); }};
        CHECK_NOTHROW(model.FormCreate(sources));
        CHECK(model.Store() != nullptr);
        CHECK(model.DataModule()->FXml.root() != nullptr);
    }
}
