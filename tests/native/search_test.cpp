#include <doctest/doctest.h>

#include <algorithm>

#include "app/search.h"
#include "registry/tweakstate.h"
#include "scheme/xmldata.h"
#include "tests/native/app_model_fixture.h"

using namespace apptest;

namespace {

std::vector<std::wstring> namesOf(const SearchView& view) {
    std::vector<std::wstring> names;
    for (const SearchRow& row : view.Rows) names.push_back(row.Item.Name);
    return names;
}

struct SearchingApp : App {
    TTweakSearch search;
    using App::App;
    SearchView find(const std::wstring& query) { return search.Find(model.FAppObjectsList, query, {}); }
};

}  // namespace

TEST_CASE("search: caption, description, value name and key path, without regard to case") {
    SearchingApp app;
    app.start();
    struct Case {
        std::wstring query;
        std::vector<std::wstring> names;  // by caption
    };
    const Case cases[] = {
        {L"alpha", {L"Alpha"}},
        {L"ALPHA TWEAK", {L"Alpha"}},                      // every word, anywhere in the entry
        {L"first by caption", {L"Alpha"}},                 // description
        {L"quillmarktest\\machine", {L"MachineFlag"}},     // key path of the alias
        {L"drivestweak", {L"DrivesTweak"}},                // value name
        {L"don't LOAD", {L"C:\\Windows\\system32\\desk.cpl", L"::{GUID-MOUSE}\\mouse"}},  // applets' key
        {L"mouse", {L"::{GUID-MOUSE}\\mouse"}},            // applet by caption and path
        {L"applications", {L"DisallowRun", L"RestrictRun"}},
        {L"zeta alpha", {}},                               // no entry holds both words
        {L"Group_Display", {}},                            // groups are not rows
    };
    for (const Case& c : cases) {
        CAPTURE(c.query);
        const SearchView view = app.find(c.query);
        CHECK(view.Active);
        std::vector<std::wstring> expected = c.names;
        std::vector<std::wstring> found = namesOf(view);
        std::sort(expected.begin(), expected.end());
        std::sort(found.begin(), found.end());
        CHECK(found == expected);
    }
}

TEST_CASE("search: rows show the group, the check mark and the image a group's row has") {
    SearchingApp app;
    app.start();
    const SearchView tweaks = app.find(L"tweak");
    // Sorted by caption without regard to case, as a group's list.
    CHECK(namesOf(tweaks) == std::vector<std::wstring>{L"Alpha", L"DrivesTweak", L"Middle", L"Shared", L"TextTweak",
                                                        L"Zeta"});
    const SearchRow& shared = tweaks.Rows[3];
    CHECK(shared.Item.Caption == L"Shared tweak");
    CHECK(shared.GroupCaption == L"System, Network");  // listed in two groups, one row
    CHECK(shared.Index == app.index(L"Shared"));
    CHECK(tweaks.Rows[0].GroupCaption == L"Display");
    CHECK(tweaks.SmallImages == ImageListKind::AppImageList);
    CHECK(tweaks.Rows[0].Item.Image == AppImageUnchecked);

    const SearchView applets = app.find(L"hide");
    REQUIRE(applets.Rows.size() == 2);
    CHECK(applets.Rows[0].Item.Caption == L" Hide Display");
    CHECK(applets.Rows[0].Item.Checked);
    CHECK(applets.Rows[0].Item.Image == app.entry(L"C:\\Windows\\system32\\desk.cpl").nImageIndex);
    CHECK(applets.Rows[0].GroupCaption == L"Control Panel Applets");
}

TEST_CASE("search: blanks only ask for the tree's group again") {
    SearchingApp app;
    app.start();
    for (const std::wstring query : {L"", L"   ", L"\t"}) {
        const SearchView view = app.find(query);
        CHECK_FALSE(view.Active);
        CHECK(view.Rows.empty());
    }
}

TEST_CASE("search: a found tweak switches like a group's row and the save writes it") {
    SearchingApp app;
    app.start();
    SearchView view = app.find(L"middle");
    REQUIRE(view.Rows.size() == 1);
    CHECK_FALSE(view.Rows[0].Item.Checked);

    const ListChange change = app.toggle(view.Rows[0].Item.Name, true, view.SmallImages);
    CHECK(change.NewImage == AppImageChecked);
    CHECK(change.Description == L"In the middle");
    CHECK(app.model.SettingsModified());
    CHECK(app.find(L"middle").Rows[0].Item.Checked);  // the next search shows the new state

    // The shared tweak switched from its search row reaches both of its entries.
    app.toggle(L"Shared", true, ImageListKind::AppImageList);
    for (int i = 0; i < app.model.FAppObjectsList.Count(); ++i)
        if (app.model.FAppObjectsList[i].AppName == L"Shared") CHECK(app.model.FAppObjectsList[i].SetValue);

    CHECK(app.model.SaveSettings().Succeeded());
    CHECK(regtest::getRaw(app.reg, kHkeyCurrentUser, kPolicies, L"Middle") == regtest::dword(1));
    CHECK(regtest::getRaw(app.reg, kHkeyCurrentUser, kPolicies, L"Shared") == regtest::dword(1));
}

TEST_CASE("search: every tweak of the shipped catalogue is found by its caption and by its value name") {
    SearchingApp app("resources/scheme.xml");
    app.start();
    TTweakSearch& search = app.search;
    int tweaks = 0;
    for (int i = 0; i < app.model.FAppObjectsList.Count(); ++i) {
        const TRestrListRec& entry = app.model.FAppObjectsList[i];
        if (entry.AType != L"CheckBox" || entry.GroupName == AppletGroupName) continue;
        ++tweaks;
        TAppObjectsRec object;
        REQUIRE(FindTweakObject(entry.AppName, entry.GroupName, object));
        for (const std::wstring& query : {getCaption(entry.AppName), object.AValue1}) {
            if (query.empty()) continue;
            CAPTURE(entry.AppName);
            const SearchView view = search.Find(app.model.FAppObjectsList, query, {});
            CHECK(std::any_of(view.Rows.begin(), view.Rows.end(),
                              [&](const SearchRow& r) { return r.Item.Name == entry.AppName; }));
        }
    }
    CHECK(tweaks >= 471);
}
