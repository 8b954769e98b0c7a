#include <doctest/doctest.h>

#include <algorithm>
#include <functional>

#include "app/runlists.h"
#include "tests/native/app_model_fixture.h"

using namespace apptest;
using regtest::dword;
using regtest::setRaw;

namespace {

std::vector<std::wstring> captions(const std::vector<CategoryNode>& nodes) {
    std::vector<std::wstring> out;
    for (const CategoryNode& n : nodes) out.push_back(n.Caption);
    return out;
}

std::vector<std::wstring> captions(const GroupView& view) {
    std::vector<std::wstring> out;
    for (const ListItemView& item : view.Items) out.push_back(item.Caption);
    return out;
}

const ListItemView* item(const GroupView& view, const std::wstring& name) {
    for (const ListItemView& i : view.Items)
        if (i.Name == name) return &i;
    return nullptr;
}

}  // namespace

TEST_CASE("entries: one per scheme element, depth first, then the applets, enumerated once") {
    App app;
    setRaw(app.reg, kHkeyCurrentUser, kPolicies, L"Alpha", dword(1));
    setRaw(app.reg, kHkeyLocalMachine, kMachine, L"MachineFlag", dword(1));
    app.start();

    const std::vector<std::wstring> expected = {
        L"Group_Advert", L"Group_WinCommonRestr", L"Group_MachineSystem", L"MachineFlag", L"Shared",
        L"Group_Control", L"Group_Display", L"Zeta", L"Alpha", L"Middle", L"TextTweak", L"DrivesTweak", L"CPApplets",
        L"Group_Network", L"Shared", L"DisallowRun", L"RestrictRun",
        L"C:\\Windows\\system32\\desk.cpl", L"::{GUID-MOUSE}\\mouse"};
    CHECK(app.names() == expected);
    // The first start records the applets in the undo snapshot, so it needs them at once.
    CHECK(app.applets.calls == 1);

    const TAppObjectsList& list = app.model.FAppObjectsList;
    CHECK(list[0].GroupName == L"TreeItem");
    CHECK(list[3].GroupName == L"Group_MachineSystem");
    CHECK(list[3].AType == L"CheckBox");
    CHECK(list[3].AFrame == L"frameCheckBox");
    CHECK(list[3].SetValue);
    CHECK(list[3].ACaption.empty());
    CHECK(app.entry(L"Alpha").SetValue);
    CHECK_FALSE(app.entry(L"Zeta").SetValue);
    // Groups carry their large icon; tweaks none.
    CHECK(app.entry(L"Group_Display").nImageIndex == 3);
    CHECK(app.entry(L"CPApplets").nImageIndex == 4);
    CHECK(app.entry(L"Zeta").nImageIndex == 0);

    SUBCASE("lookup ignores case and reaches the first of a duplicate name") {
        CHECK(list.IndexOf(L"alpha") == 8);
        CHECK(list.IndexOf(L"SHARED") == 4);
        CHECK(list.IndexOf(L"Nothing") == -1);
        CHECK(list.IndexOf(L"") == -1);
    }
    SUBCASE("shut-down frees the entries") {
        ClearAppObjects(app.model.FAppObjectsList);
        CHECK(app.model.FAppObjectsList.Count() == 0);
    }
}

TEST_CASE("the category tree: groups only, sorted by caption at every level") {
    SUBCASE("administrator") {
        App app;
        app.start(true);
        const auto& tree = app.model.CategoryTree();
        CHECK(captions(tree) == std::vector<std::wstring>{L"Advanced", L"Control Panel", L"Machine", L"Network"});
        CHECK(tree[0].Name == L"Group_Advert");
        CHECK(tree[0].Image == 1);
        CHECK(tree[0].Children.empty());
        CHECK(captions(tree[1].Children) == std::vector<std::wstring>{L"Control Panel Applets", L"Display"});
        CHECK(tree[1].Children[0].Name == L"CPApplets");
        CHECK(tree[1].Children[0].Image == 7);
        // Tweaks are not nodes.
        CHECK(tree[1].Children[1].Children.empty());
        CHECK(tree[3].Children.empty());
    }
    SUBCASE("not an administrator: no machine-wide branch, its entries are still there") {
        App app;
        app.start(false);
        CHECK(captions(app.model.CategoryTree()) == std::vector<std::wstring>{L"Advanced", L"Control Panel", L"Network"});
        CHECK(app.index(L"MachineFlag") == 3);
    }
    SUBCASE("the platform's order decides") {
        App app;
        app.model.CompareCaptions = [](const std::wstring& a, const std::wstring& b) { return b.compare(a); };
        app.start();
        CHECK(captions(app.model.CategoryTree()) == std::vector<std::wstring>{L"Network", L"Machine", L"Control Panel", L"Advanced"});
    }
}

TEST_CASE("what a group shows: the three list shapes and the advertising panel") {
    App app;
    setRaw(app.reg, kHkeyCurrentUser, kPolicies, L"Middle", dword(1));
    app.start();
    // Whatever frame was shown goes when a group is selected.
    app.toggle(L"TextTweak", false);
    REQUIRE(app.model.Frames.ShownKind() == FrameKind::StringEdit);

    SUBCASE("check boxes: the child tweaks sorted by caption, icon by state") {
        const GroupView view = app.model.ShowGroup(L"Group_Display");
        CHECK_FALSE(view.Advertise);
        CHECK(view.View == ListViewStyle::Report);
        CHECK(view.CheckBoxes);
        CHECK(view.SmallImages == ImageListKind::Img16);
        CHECK(view.Description == L"Display settings");
        CHECK(captions(view) ==
              std::vector<std::wstring>{L"Alpha tweak", L"Drives tweak", L"middle tweak", L"Text tweak", L"zeta tweak"});
        const ListItemView* middle = item(view, L"Middle");
        REQUIRE(middle);
        CHECK(middle->Checked);
        CHECK(middle->Image == 21);
        CHECK(item(view, L"Zeta")->Image == 2);
        CHECK_FALSE(item(view, L"Zeta")->Checked);
    }
    SUBCASE("a group of groups: large icons, no check boxes, the groups' own icons") {
        const GroupView view = app.model.ShowGroup(L"Group_Control");
        CHECK(view.View == ListViewStyle::LargeIcons);
        CHECK_FALSE(view.CheckBoxes);
        CHECK(captions(view) == std::vector<std::wstring>{L"Control Panel Applets", L"Display"});
        CHECK(item(view, L"Group_Display")->Image == 3);
        CHECK(item(view, L"CPApplets")->Image == 4);
    }
    SUBCASE("the applets: every applet entry, its caption and its icon") {
        const GroupView view = app.model.ShowGroup(L"CPApplets");
        CHECK(view.View == ListViewStyle::Report);
        CHECK(view.CheckBoxes);
        CHECK(view.SmallImages == ImageListKind::AppImageList);
        CHECK(view.Description == L"Hide applets");
        CHECK(captions(view) == std::vector<std::wstring>{L" Hide Display", L" Hide Mouse"});
        CHECK(view.Items[0].Checked);
        CHECK(view.Items[0].Image == 2);
        CHECK(view.Items[1].Image == 3);
    }
    SUBCASE("the advertising group") {
        const GroupView view = app.model.ShowGroup(L"Group_Advert");
        CHECK(view.Advertise);
        CHECK(view.Items.empty());
        CHECK(view.Description == L"About other products");
    }
    const GroupView again = app.model.ShowGroup(L"Group_Network");
    CHECK(again.Frame.Kind == FrameKind::None);
    CHECK(app.model.Frames.ShownKind() == FrameKind::None);
    CHECK(app.model.Frames.FLastFrameName().empty());
}

TEST_CASE("a re-selected group shows the edited states") {
    App app;
    app.start();
    app.model.ShowGroup(L"Group_Display");
    app.toggle(L"Zeta", true);
    const GroupView view = app.model.ShowGroup(L"Group_Display");
    CHECK(item(view, L"Zeta")->Checked);
    CHECK(item(view, L"Zeta")->Image == 21);
}

TEST_CASE("a list change: SettingsChanged sees the old state, then the new one is stored") {
    App app;
    app.start();
    const int zeta = app.index(L"Zeta");
    std::vector<bool> seen;
    const SettingsChangedFn recorder = [&](int index) {
        CHECK(index == zeta);
        seen.push_back(app.model.FAppObjectsList[index].SetValue);
        return app.model.SettingsChanged(index);
    };
    ListChange change = lstRestrListChange(app.model.FAppObjectsList, app.model.Frames, L"Zeta", true,
                                           ImageListKind::Img16, recorder);
    CHECK(seen == std::vector<bool>{false});
    CHECK(app.entry(L"Zeta").SetValue);
    CHECK(app.model.SettingsModified());
    CHECK(change.NewImage == 21);
    CHECK(change.Description == L"Last by caption");
    REQUIRE(change.Frame);
    CHECK(change.Frame->Kind == FrameKind::None);

    change = lstRestrListChange(app.model.FAppObjectsList, app.model.Frames, L"Zeta", false, ImageListKind::Img16,
                                recorder);
    CHECK(seen == std::vector<bool>{false, true});
    CHECK(change.NewImage == 2);
    CHECK_FALSE(app.entry(L"Zeta").SetValue);
}

TEST_CASE("a list change: the item's image by the list's image list") {
    struct Case {
        const char* name;
        const wchar_t* item;
        bool checked;
        ImageListKind images;
        std::optional<int> image;
        bool modified;
    };
    const Case cases[] = {
        {"tweak switched on", L"Zeta", true, ImageListKind::Img16, 21, true},
        {"tweak switched off", L"Middle", false, ImageListKind::Img16, 2, true},
        {"applet keeps its icon", L"::{GUID-MOUSE}\\mouse", true, ImageListKind::AppImageList, std::nullopt, true},
        {"tweak in an applet-image list, on", L"Zeta", true, ImageListKind::AppImageList, 1, true},
        {"tweak in an applet-image list, off", L"Middle", false, ImageListKind::AppImageList, 0, true},
        {"no switch, no new image", L"Zeta", false, ImageListKind::Img16, std::nullopt, false},
    };
    for (const Case& c : cases) {
        CAPTURE(c.name);
        App app;
        setRaw(app.reg, kHkeyCurrentUser, kPolicies, L"Middle", dword(1));
        app.start();
        const ListChange change = app.toggle(c.item, c.checked, c.images);
        CHECK(change.NewImage == c.image);
        CHECK(app.model.SettingsModified() == c.modified);
        CHECK(app.entry(c.item).SetValue == c.checked);
    }
}

TEST_CASE("a list change: selection without a switch, unknown names, swallowed errors") {
    App app;
    app.start();
    SUBCASE("selecting shows the description and the frame but changes nothing") {
        const ListChange change = app.toggle(L"TextTweak", false);
        CHECK_FALSE(app.model.SettingsModified());
        CHECK_FALSE(change.NewImage);
        CHECK_FALSE(change.EnableShownFrame);
        CHECK(change.Description == L"Carries a text");
        REQUIRE(change.Frame);
        CHECK(change.Frame->Kind == FrameKind::StringEdit);
        CHECK(change.Frame->BindIndex == app.index(L"TextTweak"));
    }
    SUBCASE("an applet's own description") {
        CHECK(app.toggle(L"C:\\Windows\\system32\\desk.cpl", true, ImageListKind::AppImageList).Description ==
              L"Display");
    }
    SUBCASE("a name without an entry only clears the description") {
        const ListChange change = app.toggle(L"NoSuchTweak", true);
        CHECK(change.Description.empty());
        CHECK_FALSE(change.Frame);
        CHECK_FALSE(app.model.SettingsModified());
        CHECK(app.toggle(L"", true).Description.empty());
    }
    SUBCASE("an error ends the handling silently, keeping what was done") {
        const ListChange change =
            lstRestrListChange(app.model.FAppObjectsList, app.model.Frames, L"Zeta", true, ImageListKind::Img16,
                               [](int) -> std::optional<bool> { throw std::runtime_error("boom"); });
        CHECK_FALSE(change.NewImage);
        CHECK_FALSE(change.Frame);
        CHECK_FALSE(app.entry(L"Zeta").SetValue);
    }
}

TEST_CASE("option frames: the class by exact name, bound only with an index") {
    struct Case {
        const wchar_t* frame;
        FrameKind kind;
    };
    const Case cases[] = {
        {L"frameStringEdit", FrameKind::StringEdit}, {L"frameDirectoryEdit", FrameKind::DirEdit},
        {L"frameFileNameEdit", FrameKind::FileEdit}, {L"frameDrives", FrameKind::Drives},
        {L"frameApplications", FrameKind::Applications}, {L"framestringedit", FrameKind::None},
        {L"frameCheckBox", FrameKind::None}, {L"frameToolbarButtons", FrameKind::None},
        {L"frameGroup", FrameKind::None}, {L"", FrameKind::None},
    };
    for (const Case& c : cases) {
        CAPTURE(doctest::StringMaker<std::wstring>::convert(c.frame));
        TFrameHost host;
        const FrameRequest bound = host.ShowOptionFrame(c.frame, 7);
        CHECK(bound.Kind == c.kind);
        CHECK(bound.BindIndex == (c.kind == FrameKind::None ? -1 : 7));
        CHECK(host.ShownKind() == c.kind);
        CHECK(host.FLastFrameName() == (c.kind == FrameKind::None ? L"" : c.frame));
        CHECK(host.ShowOptionFrame(c.frame, -1).BindIndex == -1);
    }
}

TEST_CASE("SettingsChanged: marks unsaved and enables the shown editor exactly when its tweak goes on") {
    App app;
    app.start();
    std::vector<bool> notified;
    app.model.OnModifiedChanged = [&](bool m) { notified.push_back(m); };

    SUBCASE("text and drive editors follow the switch; the text stays") {
        for (const wchar_t* name : {L"TextTweak", L"DrivesTweak"}) {
            app.entry(name).cValue = L"kept";
            app.toggle(name, false);  // selected first: its frame is shown
            CHECK(app.toggle(name, true).EnableShownFrame == true);
            CHECK(app.toggle(name, false).EnableShownFrame == false);
            CHECK(app.entry(name).cValue == L"kept");
        }
        CHECK(notified.size() == 4);
    }
    SUBCASE("the applications editor stays as it is") {
        app.toggle(L"DisallowRun", false);
        CHECK(app.model.Frames.ShownKind() == FrameKind::Applications);
        CHECK_FALSE(app.toggle(L"DisallowRun", true).EnableShownFrame);
        CHECK(app.model.SettingsModified());
    }
    SUBCASE("-1, or no frame shown: only the flag") {
        app.toggle(L"TextTweak", false);
        CHECK_FALSE(app.model.SettingsChanged(-1));
        app.model.ShowGroup(L"Group_Display");
        CHECK_FALSE(app.model.SettingsChanged(app.index(L"TextTweak")));
        CHECK(app.model.SettingsModified());
        CHECK(notified == std::vector<bool>{true, true});
    }
}

TEST_CASE("double click: only in the large-icon view, first child with exactly that caption") {
    const std::vector<std::wstring> children = {L"Display", L"Control Panel Applets", L"Display"};
    CHECK(DblClickTarget(ListViewStyle::LargeIcons, L"Display", children) == 0);
    CHECK(DblClickTarget(ListViewStyle::LargeIcons, L"Control Panel Applets", children) == 1);
    CHECK(DblClickTarget(ListViewStyle::LargeIcons, L"display", children) == -1);
    CHECK(DblClickTarget(ListViewStyle::LargeIcons, std::nullopt, children) == -1);
    CHECK(DblClickTarget(ListViewStyle::Report, L"Display", children) == -1);
}

TEST_CASE("the applets: enumerated when something first needs them, once; each place that needs them sees them") {
    const std::wstring desk = L"C:\\Windows\\system32\\desk.cpl";  // hidden by the fake enumeration
    struct Place {
        const char* name;
        std::function<bool(App&)> seesApplets;
    };
    const Place places[] = {
        {"their group shown",
         [&](App& app) { return item(app.model.ShowGroup(L"CPApplets"), desk) != nullptr; }},
        {"the search",
         [&](App& app) {
             const SearchView view = app.model.Search(L"display");
             return std::any_of(view.Rows.begin(), view.Rows.end(),
                                [&](const SearchRow& row) { return row.Item.Name == desk; });
         }},
        {"the pending changes",
         [&](App& app) {
             const std::vector<PendingChange> rows = app.model.PendingChanges(L"quillmark.exe");
             return std::any_of(rows.begin(), rows.end(), [&](const PendingChange& c) { return c.Name == desk; });
         }},
        {"the export",
         [&](App& app) {
             for (const ProfileKey& key : app.model.PlanExport(L"quillmark.exe").Keys)
                 for (const ProfileValue& value : key.Values)
                     if (value.Name == desk) return true;
             return false;
         }},
        {"the save",
         [&](App& app) {
             app.model.SaveSettings();
             return regtest::getRaw(app.reg, kHkeyCurrentUser, L"Control Panel\\don't load", desk) == regtest::sz(L"Yes");
         }},
        {"Undo all tweaks",
         [&](App& app) {
             // The first start recorded the applet as the registry had it: shown.
             UndoWindow window;
             window.askYesNo = [](const std::wstring&, const std::wstring&) { return true; };
             app.model.UndoAllTweaks(window);
             return app.index(desk) >= 0 && !app.entry(desk).SetValue;
         }},
    };
    for (const Place& place : places) {
        CAPTURE(std::string(place.name));
        App app;
        app.model.SaveSteps = DefaultSaveHooks(L"quillmark.exe");
        app.start();  // the first start, which writes the undo snapshot
        app.applets.calls = 0;
        app.start();  // a later one
        CHECK(app.applets.calls == 0);
        CHECK(app.index(desk) < 0);
        app.model.ShowGroup(L"Group_Display");
        CHECK(app.applets.calls == 0);

        CHECK(place.seesApplets(app));
        CHECK(app.applets.calls == 1);
        app.model.AllEntries();
        CHECK(app.applets.calls == 1);
        CHECK(app.names().size() == 19);
    }
}

TEST_CASE("the shipped catalogue: every element has an entry, the applets after them") {
    App app("resources/scheme.xml");
    app.start(false);
    const TAppObjectsList& list = app.model.FAppObjectsList;
    const int applets = static_cast<int>(app.applets.applets.size());
    CHECK(list.Count() == 512 + applets);

    const int first = list.IndexOf(app.applets.applets[0].path);
    CHECK(first == 512);
    for (int i = 0; i < list.Count(); ++i) CHECK((list[i].GroupName == L"CPApplets") == (i >= first));

    // The tweak listed twice has two entries; lookups reach the first.
    int copies = 0;
    for (int i = 0; i < list.Count(); ++i) copies += list[i].AppName == L"NoNetConnectDisconnect";
    CHECK(copies == 2);

    const auto& tree = app.model.CategoryTree();
    REQUIRE_FALSE(tree.empty());
    CHECK(tree[0].Caption == L"Advaced");
    for (const CategoryNode& root : tree) CHECK(root.Name != L"Group_WinCommonRestr");
    CHECK(app.model.ShowGroup(tree[0].Name).Advertise);
}

TEST_CASE("File > Export: only the tweaks changed since the entries were read, or every tweak as it stands") {
    App app;
    app.model.SaveSteps = DefaultSaveHooks(L"quillmark.exe");
    app.start();
    const auto valueNames = [&](ExportContent content) {
        std::vector<std::wstring> out;
        for (const ProfileKey& key : app.model.PlanExport(L"quillmark.exe", content).Keys)
            for (const ProfileValue& v : key.Values) out.push_back(v.Name);
        std::sort(out.begin(), out.end());
        return out;
    };
    CHECK(valueNames(ExportContent::Changed).empty());
    const std::vector<std::wstring> everything = valueNames(ExportContent::Everything);

    app.toggle(L"Zeta", true);
    CHECK(valueNames(ExportContent::Changed) == std::vector<std::wstring>{L"Zeta"});
    CHECK(valueNames(ExportContent::Everything).size() >= everything.size());
    REQUIRE(app.model.SaveSettings().Succeeded());
    CHECK(valueNames(ExportContent::Changed) == std::vector<std::wstring>{L"Zeta"});  // saved since start still counts
    app.toggle(L"Zeta", false);
    CHECK(valueNames(ExportContent::Changed).empty());  // back as it was read

    // An application list counts with its programs, not only its switch.
    CHECK_FALSE(app.model.ChangedSinceRead(L"DisallowRun"));
    AddRunListFiles(*SettingsStore, RunListBlock(CurrentUserName, L"DisallowRun"), {L"C:\\Tools\\game.exe"});
    CHECK(app.model.ChangedSinceRead(L"DisallowRun"));
    CHECK_FALSE(app.model.ChangedSinceRead(L"NoSuchTweak"));
}
