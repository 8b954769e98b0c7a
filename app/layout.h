#pragma once
// The main window's layout in 96-DPI units, scaled to the window's DPI: along the top the
// user chooser (and, without administrator rights, the line that says so), below it the
// category panel beside the right-hand side, whose list stands above the description panel.
// The two split bars change the category width and the description height. Along the bottom
// the status line says what the last save did.

struct LayoutRect {
    int left = 0, top = 0, right = 0, bottom = 0;
    int width() const { return right - left; }
    int height() const { return bottom - top; }
    bool operator==(const LayoutRect&) const = default;
};

struct MainLayout {
    // In the window's client area. cmbUser's bottom is where its dropped list ends.
    LayoutRect lblUser, cmbUser, lblElevation, btnRestart;
    LayoutRect pnlCategories, categoriesSplitter, pnlRestrictions;
    // In pnlCategories: the search box above the tree.
    LayoutRect edtSearch, trvCategories;
    // In pnlRestrictions; pnlAdvanced takes the list's place.
    LayoutRect lstRestrList, optSplitter, pnlDescription;
    // In pnlDescription: the description, and under it one line of the Windows it works on.
    LayoutRect lblInfo, lblSupported, pnlAdditionalOpt;
    // The selected tweak's registry locations, below lblSupported: down to the panel's bottom,
    // or to the option frame's top while a frame is shown.
    LayoutRect edtLocation, edtLocationAboveFrame;
    // In the window's client area, below everything else.
    LayoutRect stbStatus;
};

namespace layout {
inline constexpr int ClientWidth = 654, ClientHeight = 462;
inline constexpr int CategoriesWidth = 233, CategoriesMinWidth = 150, RightMinWidth = 300;
inline constexpr int SplitterSize = 3, SplitterKeyStep = 8;  // an arrow key moves a bar this far
inline constexpr int InfoLeft = 11, InfoTop = 8, InfoHeight = 63, SupportedHeight = 15;
inline constexpr int AdditionalOptHeight = 117;
inline constexpr int FontPoints = 8;
inline constexpr int SearchHeight = 21, SearchGap = 3, LocationGap = 4, LocationMinHeight = 48;
inline constexpr int UserRowHeight = 30, ElevationRowHeight = 28, BandMargin = 8, LabelHeight = 15;
inline constexpr int StatusHeight = 20;
// The description panel never gets so short that an option frame covers the locations: the
// description, the Supported-on line, two lines of locations with their scroll bar and the frame
// always fit.
inline constexpr int DescriptionMinHeight =
    InfoTop + InfoHeight + SupportedHeight + LocationGap + LocationMinHeight + LocationGap + AdditionalOptHeight;
inline constexpr int DescriptionHeight = DescriptionMinHeight, ListMinHeight = 80;
// The smallest client area every pane fits in, the row about elevation included; small enough
// that the window fits a 1366x768 screen at 144 DPI above the taskbar.
inline constexpr int MinClientWidth = CategoriesMinWidth + SplitterSize + RightMinWidth;
inline constexpr int MinClientHeight =
    UserRowHeight + ElevationRowHeight + ListMinHeight + SplitterSize + DescriptionMinHeight + StatusHeight;
inline constexpr int UserLabelWidth = 92, UserComboWidth = 320, UserComboTop = 4, UserListHeight = 300;
inline constexpr int ButtonHeight = 23, RestartButtonWidth = 170;
}  // namespace layout

int scaleToDpi(int units, int dpi);

class MainLayoutModel {
public:
    // elevationLine: the row that says the process is not elevated is shown.
    MainLayout compute(int clientWidth, int clientHeight, int dpi, bool elevationLine = false) const;

    // The pointer's position along the bar's axis where the bar's leading edge should go:
    // x in the client area, y in pnlRestrictions. Kept within the minimum sizes.
    void dragCategoriesSplitter(int x, int clientWidth, int dpi);
    void dragDescriptionSplitter(int y, int restrictionsHeight, int dpi);

    int categoriesWidth() const { return categoriesWidth_; }
    int descriptionHeight() const { return descriptionHeight_; }

private:
    int categoriesWidth_ = layout::CategoriesWidth;      // 96-DPI units
    int descriptionHeight_ = layout::DescriptionHeight;  // 96-DPI units
};
