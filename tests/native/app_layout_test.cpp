#include <doctest/doctest.h>

#include "app/layout.h"
#include "app/placement.h"

TEST_CASE("the initial layout at 96 and 192 DPI, with and without the line that says the process is not elevated")
{
    struct Case {
        int dpi, scale;
        bool elevationLine;
        int band;  // 96-DPI units above the panes
    };
    for (const Case c : {Case{96, 1, false, 30}, Case{192, 2, false, 30}, Case{96, 1, true, 58},
                         Case{192, 2, true, 58}}) {
        CAPTURE(c.dpi);
        CAPTURE(c.elevationLine);
        const int s = c.scale;
        const int w = layout::ClientWidth * s, h = layout::ClientHeight * s;
        const int top = c.band * s, ph = h - top;  // the panes' height
        const MainLayout l = MainLayoutModel().compute(w, h, c.dpi, c.elevationLine);
        CHECK(l.lblUser == LayoutRect{8 * s, 8 * s, 100 * s, 23 * s});
        CHECK(l.cmbUser == LayoutRect{100 * s, 4 * s, 420 * s, 304 * s});
        if (c.elevationLine) {
            CHECK(l.btnRestart == LayoutRect{w - 178 * s, 32 * s, w - 8 * s, 55 * s});
            CHECK(l.lblElevation == LayoutRect{8 * s, 36 * s, w - 186 * s, 51 * s});
        }
        CHECK(l.pnlCategories == LayoutRect{0, top, 233 * s, h});
        CHECK(l.categoriesSplitter == LayoutRect{233 * s, top, 236 * s, h});
        CHECK(l.pnlRestrictions == LayoutRect{236 * s, top, w, h});
        const int right = w - 236 * s;
        CHECK(l.lstRestrList == LayoutRect{0, 0, right, ph - 203 * s});
        CHECK(l.optSplitter == LayoutRect{0, ph - 203 * s, right, ph - 200 * s});
        CHECK(l.pnlDescription == LayoutRect{0, ph - 200 * s, right, ph});
        CHECK(l.lblInfo == LayoutRect{11 * s, 8 * s, right - 11 * s, 71 * s});
        CHECK(l.lblSupported == LayoutRect{11 * s, 71 * s, right - 11 * s, 86 * s});
        CHECK(l.pnlAdditionalOpt == LayoutRect{0, 83 * s, right, 200 * s});
        CHECK(l.edtSearch == LayoutRect{0, 0, 233 * s, 21 * s});
        CHECK(l.trvCategories == LayoutRect{0, 24 * s, 233 * s, ph});
        CHECK(l.edtLocation == LayoutRect{11 * s, 90 * s, right - 11 * s, 196 * s});
        // A frame reaches higher than the locations begin: the box closes rather than turning over.
        CHECK(l.edtLocationAboveFrame == LayoutRect{11 * s, 90 * s, right - 11 * s, 90 * s});
    }
}

TEST_CASE("dragging the split bars keeps the minimum sizes")
{
    const int w = 800, h = 600;
    struct Case {
        int pointer, categories;
    };
    for (const Case c : {Case{300, 300}, Case{40, 150}, Case{790, w - 3 - 300}}) {
        CAPTURE(c.pointer);
        MainLayoutModel m;
        m.dragCategoriesSplitter(c.pointer, w, 96);
        CHECK(m.compute(w, h, 96).pnlCategories.width() == c.categories);
    }
    struct VCase {
        int pointer, list;
    };
    const int panes = h - 30;  // below the chooser's row, as pnlRestrictions reports its height
    for (const VCase c : {VCase{250, 250}, VCase{20, 150}, VCase{590, panes - 3 - 150}}) {
        CAPTURE(c.pointer);
        MainLayoutModel m;
        m.dragDescriptionSplitter(c.pointer, panes, 96);
        const MainLayout l = m.compute(w, h, 96);
        CHECK(l.lstRestrList.height() == c.list);
        CHECK(l.pnlDescription.top == c.list + 3);
        CHECK(l.pnlDescription.bottom == panes);
    }
}

TEST_CASE("a dragged size is kept in 96-DPI units and shrinks with a narrower window")
{
    MainLayoutModel m;
    m.dragCategoriesSplitter(400, 1200, 192);
    CHECK(m.categoriesWidth() == 200);
    CHECK(m.compute(1200, 900, 96).pnlCategories.width() == 200);
    // The right side keeps its 300 as long as the category panel can give way.
    m.dragCategoriesSplitter(700, 1200, 96);
    CHECK(m.compute(700, 500, 96).pnlCategories.width() == 700 - 303);
}

TEST_CASE("placement values: the registry texts and back")
{
    WindowPlacementData d;
    d.showCmd = showcmd::Maximized;
    d.flags = 2;
    d.pixelsPerInch = 120;
    d.minPosition = {-32000, -32000};
    d.maxPosition = {-1, -1};
    d.normalPosition = {10, 20, 674, 521};
    const PlacementValues v = toPlacementValues(d);
    CHECK(*v.ShowCmd == 3);
    CHECK(*v.Flags == 2);
    CHECK(*v.PixelsPerInch == 120);
    CHECK(*v.MinMaxPos == L"-32000,-32000,-1,-1");
    CHECK(*v.NormPos == L"10,20,674,521");
    CHECK(fromPlacementValues(v) == d);
}

TEST_CASE("missing or malformed placement values restore nothing")
{
    const PlacementValues good = toPlacementValues({1, 0, 96, {0, 0}, {0, 0}, {10, 10, 500, 400}});
    REQUIRE(fromPlacementValues(good));
    struct Case {
        const char* name;
        void (*spoil)(PlacementValues&);
    };
    const Case cases[] = {
        {"no ShowCmd", [](PlacementValues& v) { v.ShowCmd.reset(); }},
        {"no NormPos", [](PlacementValues& v) { v.NormPos.reset(); }},
        {"three numbers", [](PlacementValues& v) { v.NormPos = L"1,2,3"; }},
        {"five numbers", [](PlacementValues& v) { v.MinMaxPos = L"1,2,3,4,5"; }},
        {"text", [](PlacementValues& v) { v.NormPos = L"a,b,c,d"; }},
        {"empty rectangle", [](PlacementValues& v) { v.NormPos = L"100,100,100,300"; }},
        {"zero resolution", [](PlacementValues& v) { v.PixelsPerInch = 0; }},
    };
    for (const Case& c : cases) {
        CAPTURE(c.name);
        PlacementValues v = good;
        c.spoil(v);
        CHECK_FALSE(fromPlacementValues(v));
    }
}

TEST_CASE("restoring a placement")
{
    const WindowPlacementData saved{showcmd::Minimized, 0, 96, {0, 0}, {0, 0}, {100, 50, 762, 550}};
    SUBCASE("a minimized window opens normal, at the same place")
    {
        const WindowPlacementData r = placementToRestore(saved, 96);
        CHECK(r.showCmd == showcmd::Normal);
        CHECK(r.normalPosition == saved.normalPosition);
    }
    SUBCASE("maximized stays maximized")
    {
        WindowPlacementData max = saved;
        max.showCmd = showcmd::Maximized;
        CHECK(placementToRestore(max, 96).showCmd == showcmd::Maximized);
    }
    SUBCASE("saved at another resolution: same place, size scaled")
    {
        const WindowPlacementData r = placementToRestore(saved, 144);
        CHECK(r.normalPosition == LayoutRect{100, 50, 100 + 993, 50 + 750});
        CHECK(r.pixelsPerInch == 144);
    }
}

TEST_CASE("the search box and the location text never turn inside out in a tiny window")
{
    for (const bool elevationLine : {false, true}) {
        const MainLayout l = MainLayoutModel().compute(10, 10, 96, elevationLine);
        for (const LayoutRect& r : {l.edtSearch, l.trvCategories, l.lblSupported, l.edtLocation, l.edtLocationAboveFrame, l.lblUser,
                                    l.cmbUser, l.pnlCategories}) {
            CHECK(r.width() >= 0);
            CHECK(r.height() >= 0);
        }
        if (elevationLine) CHECK(l.lblElevation.width() >= 0);
        CHECK(l.pnlCategories.bottom == 10);
    }
}
