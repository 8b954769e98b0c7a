#include <doctest/doctest.h>

#include "tests/native/app_model_fixture.h"

using namespace apptest;
using regtest::dword;
using regtest::setRaw;

namespace {

std::string readBytes(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// The window's side of "Undo all tweaks", answering the question with `yes`.
struct UndoAnswers {
    bool yes = true;
    std::vector<std::wstring> asked, errors;
    int changed = 0;
    UndoWindow window() {
        return {[](bool) {}, [this] { ++changed; },
                [this](const std::wstring& text, const std::wstring&) {
                    asked.push_back(text);
                    return yes;
                },
                [this](const std::wstring& text, const std::wstring&) { errors.push_back(text); }};
    }
};

}  // namespace

TEST_CASE("start-up writes the undo snapshot once, from the state it read") {
    App app;
    setRaw(app.reg, kHkeyCurrentUser, kPolicies, L"Alpha", dword(1));
    app.start();
    const fs::path snapshot = app.folder.path / "default.qmk";
    REQUIRE(fs::exists(snapshot));
    {
        TEncriptor written(snapshot.wstring(), true);
        CHECK(written.GetBool(L"Alpha", false));
        CHECK_FALSE(written.GetBool(L"Zeta", true));
    }

    // A later start in the same folder leaves the first snapshot as it was.
    const std::string first = readBytes(snapshot);
    setRaw(app.reg, kHkeyCurrentUser, kPolicies, L"Zeta", dword(1));
    TMainModel again;
    again.LoadCPApplets = [](TAppObjectsList&) {};
    again.FormCreate({app.folder.withSeparator(), [&](XmlDocument& doc) { doc.loadFromBytes(app.scheme); },
                      [] { return std::wstring(L"alice"); }});
    CHECK(readBytes(snapshot) == first);
}

TEST_CASE("Undo all tweaks through the model: the snapshot's states come back, unsaved") {
    App app;
    app.start();
    app.toggle(L"Alpha", true);
    app.model.SaveSettings();
    REQUIRE_FALSE(app.model.SettingsModified());
    UndoAnswers answers;

    SUBCASE("Yes restores and marks the settings changed") {
        app.model.UndoAllTweaks(answers.window());
        CHECK(answers.asked == std::vector<std::wstring>{UndoQuestion});
        CHECK_FALSE(app.entry(L"Alpha").SetValue);
        CHECK(answers.changed == 1);
    }
    SUBCASE("No changes nothing") {
        answers.yes = false;
        app.model.UndoAllTweaks(answers.window());
        CHECK(app.entry(L"Alpha").SetValue);
        CHECK(answers.changed == 0);
    }
    SUBCASE("without the snapshot file the command says so") {
        fs::remove(app.folder.path / "default.qmk");
        app.model.UndoAllTweaks(answers.window());
        CHECK(answers.errors == std::vector<std::wstring>{UndoMissingMessage});
        CHECK(app.entry(L"Alpha").SetValue);
    }
}
