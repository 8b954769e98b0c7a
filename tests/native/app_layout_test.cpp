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
        const int top = c.band * s, bottom = h - 20 * s, ph = bottom - top;  // the panes' height
        const MainLayout l = MainLayoutModel().compute(w, h, c.dpi, c.elevationLine);
        CHECK(l.lblUser == LayoutRect{8 * s, 8 * s, 100 * s, 23 * s});
        CHECK(l.cmbUser == LayoutRect{100 * s, 4 * s, 420 * s, 304 * s});
        if (c.elevationLine) {
            CHECK(l.btnRestart == LayoutRect{w - 178 * s, 32 * s, w - 8 * s, 55 * s});
            CHECK(l.lblElevation == LayoutRect{8 * s, 36 * s, w - 186 * s, 51 * s});
        }
        CHECK(l.pnlCategories == LayoutRect{0, top, 233 * s, bottom});
        CHECK(l.categoriesSplitter == LayoutRect{233 * s, top, 236 * s, bottom});
        CHECK(l.pnlRestrictions == LayoutRect{236 * s, top, w, bottom});
        CHECK(l.stbStatus == LayoutRect{0, bottom, w, h});
        const int right = w - 236 * s;
        CHECK(l.lstRestrList == LayoutRect{0, 0, right, ph - 262 * s});
        CHECK(l.optSplitter == LayoutRect{0, ph - 262 * s, right, ph - 259 * s});
        CHECK(l.pnlDescription == LayoutRect{0, ph - 259 * s, right, ph});
        CHECK(l.lblInfo == LayoutRect{11 * s, 8 * s, right - 11 * s, 71 * s});
        CHECK(l.lblSupported == LayoutRect{11 * s, 71 * s, right - 11 * s, 86 * s});
        CHECK(l.pnlAdditionalOpt == LayoutRect{0, 142 * s, right, 259 * s});
        CHECK(l.edtSearch == LayoutRect{0, 0, 233 * s, 21 * s});
        CHECK(l.trvCategories == LayoutRect{0, 24 * s, 233 * s, ph});
        CHECK(l.edtLocation == LayoutRect{11 * s, 90 * s, right - 11 * s, 255 * s});
        // With a frame shown, two lines of locations stay between the description and the frame.
        CHECK(l.edtLocationAboveFrame == LayoutRect{11 * s, 90 * s, right - 11 * s, 138 * s});
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
    const int panes = h - 30 - 20;  // between the chooser's row and the status line, as pnlRestrictions reports its height
    for (const VCase c : {VCase{250, 250}, VCase{20, 80}, VCase{590, panes - 3 - 259}}) {
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

static bool inside(const LayoutRect& r, int width, int height)
{
    return r.left >= 0 && r.top >= 0 && r.right <= width && r.bottom <= height && r.width() >= 0 && r.height() >= 0;
}

static bool overlap(const LayoutRect& a, const LayoutRect& b)
{
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

TEST_CASE("from the minimum size to a large screen, at every usual DPI: nothing overlaps, nothing is cut off")
{
    struct Size {
        const char* name;
        int width, height;  // 96-DPI units
    };
    const Size sizes[] = {{"minimum", layout::MinClientWidth, layout::MinClientHeight},
                          {"default", layout::ClientWidth, layout::ClientHeight},
                          {"wide and low", 1400, layout::MinClientHeight},
                          {"narrow and tall", layout::MinClientWidth, 1000},
                          {"maximised on 1920x1080", 1904, 1010}};
    for (const Size& size : sizes)
        for (const int dpi : {96, 120, 144, 192})
            for (const bool elevationLine : {false, true}) {
                CAPTURE(size.name);
                CAPTURE(dpi);
                CAPTURE(elevationLine);
                const auto s = [dpi](int units) { return scaleToDpi(units, dpi); };
                const int rounding = 3;  // each scaled term rounds on its own
                const int w = s(size.width), h = s(size.height);
                const MainLayout l = MainLayoutModel().compute(w, h, dpi, elevationLine);
                // The panes side by side under the band, filling the client area.
                for (const LayoutRect& r : {l.pnlCategories, l.categoriesSplitter, l.pnlRestrictions}) CHECK(inside(r, w, h));
                CHECK(l.pnlRestrictions.right == w);
                // The status line along the bottom, as high as its text, the panes right above it.
                CHECK(l.stbStatus == LayoutRect{0, h - s(layout::StatusHeight), w, h});
                CHECK(l.pnlCategories.bottom == l.stbStatus.top);
                CHECK(l.pnlRestrictions.bottom == l.stbStatus.top);
                CHECK(l.pnlCategories.top >= (elevationLine ? l.btnRestart.bottom : s(layout::UserRowHeight)));
                CHECK_FALSE(overlap(l.edtSearch, l.trvCategories));
                CHECK(inside(l.trvCategories, l.pnlCategories.width(), l.pnlCategories.height()));
                // The right-hand side: list, bar and description stacked, each with its share.
                const int rw = l.pnlRestrictions.width(), rh = l.pnlRestrictions.height();
                for (const LayoutRect& r : {l.lstRestrList, l.optSplitter, l.pnlDescription}) CHECK(inside(r, rw, rh));
                CHECK(l.lstRestrList.height() >= s(layout::ListMinHeight) - rounding);
                CHECK(l.pnlDescription.bottom == rh);
                CHECK_FALSE(overlap(l.lstRestrList, l.pnlDescription));
                // In the description panel: text, Supported-on line and locations readable with a frame shown.
                const int dw = l.pnlDescription.width(), dh = l.pnlDescription.height();
                for (const LayoutRect& r : {l.lblInfo, l.lblSupported, l.edtLocation, l.edtLocationAboveFrame, l.pnlAdditionalOpt})
                    CHECK(inside(r, dw, dh));
                CHECK(l.pnlAdditionalOpt.height() == s(layout::AdditionalOptHeight));
                CHECK(l.edtLocationAboveFrame.height() >= s(layout::LocationMinHeight) - rounding);
                CHECK_FALSE(overlap(l.edtLocationAboveFrame, l.pnlAdditionalOpt));
                CHECK_FALSE(overlap(l.lblSupported, l.edtLocationAboveFrame));
                CHECK_FALSE(overlap(l.lblInfo, l.lblSupported));
            }
}

TEST_CASE("a remembered window moved onto the nearest work area")
{
    const LayoutRect work{0, 0, 1366, 728};
    struct Case {
        const char* name;
        LayoutRect saved, expected;
    };
    const Case cases[] = {
        {"already on it", {100, 50, 800, 550}, {100, 50, 800, 550}},
        {"on a monitor to the right that is gone", {2000, 100, 2700, 600}, {666, 100, 1366, 600}},
        {"above and left of the screen", {-900, -400, -200, 100}, {0, 0, 700, 500}},
        {"below, under the taskbar", {100, 700, 800, 1200}, {100, 228, 800, 728}},
        {"larger than the work area", {-50, -50, 2000, 1000}, {0, 0, 1366, 728}},
    };
    for (const Case& c : cases) {
        CAPTURE(c.name);
        CHECK(onWorkArea(c.saved, work) == c.expected);
    }
    // A second monitor's work area does not start at zero.
    CHECK(onWorkArea({3000, 10, 3500, 410}, {1366, 0, 3286, 1040}) == LayoutRect{2786, 10, 3286, 410});
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
                                    l.cmbUser, l.pnlCategories, l.stbStatus}) {
            CHECK(r.width() >= 0);
            CHECK(r.height() >= 0);
        }
        if (elevationLine) CHECK(l.lblElevation.width() >= 0);
        CHECK(l.pnlCategories.bottom == 10);
    }
}
