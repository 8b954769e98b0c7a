#include "app/layout.h"

#include <algorithm>

using namespace layout;

int scaleToDpi(int units, int dpi)
{
    return static_cast<int>((static_cast<long long>(units) * dpi + 48) / 96);
}

static int unscale(int pixels, int dpi)
{
    return static_cast<int>((static_cast<long long>(pixels) * 96 + dpi / 2) / dpi);
}

// The size a pane gets out of `total`: what it asks for, but leaving `otherMin` to the other
// side; its own minimum wins when both cannot be met.
static int clampPane(int wanted, int ownMin, int otherMin, int total)
{
    return std::max(ownMin, std::min(wanted, total - otherMin));
}

// The chooser row, and below it the row saying the process is not elevated.
static int placeBand(MainLayout& l, int clientWidth, int dpi, bool elevationLine)
{
    const auto s = [dpi](int units) { return scaleToDpi(units, dpi); };
    const int margin = s(BandMargin);
    const int right = std::max(margin, clientWidth - margin);
    const int comboLeft = std::min(right, margin + s(UserLabelWidth));
    l.lblUser = {margin, s(UserComboTop) + s(4), comboLeft, s(UserComboTop) + s(4) + s(LabelHeight)};
    l.cmbUser = {comboLeft, s(UserComboTop), std::min(right, comboLeft + s(UserComboWidth)),
                 s(UserComboTop) + s(UserListHeight)};
    int band = s(UserRowHeight);
    if (elevationLine) {
        const int buttonLeft = std::max(margin, right - s(RestartButtonWidth));
        l.btnRestart = {buttonLeft, band + s(2), right, band + s(2) + s(ButtonHeight)};
        l.lblElevation = {margin, band + s(6), std::max(margin, buttonLeft - margin), band + s(6) + s(LabelHeight)};
        band += s(ElevationRowHeight);
    }
    return band;
}

MainLayout MainLayoutModel::compute(int clientWidth, int clientHeight, int dpi, bool elevationLine) const
{
    const int bar = scaleToDpi(SplitterSize, dpi);
    MainLayout l;
    const int top = std::min(clientHeight, placeBand(l, clientWidth, dpi, elevationLine));
    const int statusTop = std::max(top, clientHeight - scaleToDpi(StatusHeight, dpi));
    l.stbStatus = {0, statusTop, clientWidth, std::max(statusTop, clientHeight)};
    clientHeight = statusTop - top;  // from here on the panes' height, between the band and the status line

    const int catWidth = clampPane(scaleToDpi(categoriesWidth_, dpi), scaleToDpi(CategoriesMinWidth, dpi),
                                   bar + scaleToDpi(RightMinWidth, dpi), clientWidth);
    l.pnlCategories = {0, top, catWidth, top + clientHeight};
    l.categoriesSplitter = {catWidth, top, catWidth + bar, top + clientHeight};
    l.pnlRestrictions = {catWidth + bar, top, std::max(clientWidth, catWidth + bar), top + clientHeight};
    const int searchHeight = std::min(scaleToDpi(SearchHeight, dpi), clientHeight);
    l.edtSearch = {0, 0, catWidth, searchHeight};
    l.trvCategories = {0, std::min(clientHeight, searchHeight + scaleToDpi(SearchGap, dpi)), catWidth, clientHeight};

    const int rightWidth = l.pnlRestrictions.width();
    const int descHeight = clampPane(scaleToDpi(descriptionHeight_, dpi), scaleToDpi(DescriptionMinHeight, dpi),
                                     bar + scaleToDpi(ListMinHeight, dpi), clientHeight);
    const int listBottom = std::max(0, clientHeight - descHeight - bar);
    l.lstRestrList = {0, 0, rightWidth, listBottom};
    l.optSplitter = {0, listBottom, rightWidth, listBottom + bar};
    l.pnlDescription = {0, listBottom + bar, rightWidth, std::max(clientHeight, listBottom + bar)};

    const int descWidth = l.pnlDescription.width();
    const int descH = l.pnlDescription.height();
    const int infoLeft = scaleToDpi(InfoLeft, dpi);
    const int infoTop = scaleToDpi(InfoTop, dpi);
    l.lblInfo = {infoLeft, infoTop, std::max(infoLeft, descWidth - infoLeft), infoTop + scaleToDpi(InfoHeight, dpi)};
    l.pnlAdditionalOpt = {0, std::max(0, descH - scaleToDpi(AdditionalOptHeight, dpi)), descWidth, descH};
    l.lblSupported = {infoLeft, l.lblInfo.bottom, l.lblInfo.right, l.lblInfo.bottom + scaleToDpi(SupportedHeight, dpi)};
    const int gap = scaleToDpi(LocationGap, dpi);
    const int locationTop = l.lblSupported.bottom + gap;
    l.edtLocation = {infoLeft, locationTop, l.lblInfo.right, std::max(locationTop, descH - gap)};
    l.edtLocationAboveFrame = {infoLeft, locationTop, l.lblInfo.right,
                               std::max(locationTop, l.pnlAdditionalOpt.top - gap)};
    return l;
}

void MainLayoutModel::dragCategoriesSplitter(int x, int clientWidth, int dpi)
{
    const int bar = scaleToDpi(SplitterSize, dpi);
    const int width = clampPane(x, scaleToDpi(CategoriesMinWidth, dpi), bar + scaleToDpi(RightMinWidth, dpi),
                                clientWidth);
    categoriesWidth_ = unscale(width, dpi);
}

void MainLayoutModel::dragDescriptionSplitter(int y, int restrictionsHeight, int dpi)
{
    // The bar's top edge at y leaves the description panel everything below the bar.
    const int bar = scaleToDpi(SplitterSize, dpi);
    const int listHeight = clampPane(y, scaleToDpi(ListMinHeight, dpi),
                                     bar + scaleToDpi(DescriptionMinHeight, dpi), restrictionsHeight);
    const int descHeight = std::max(scaleToDpi(DescriptionMinHeight, dpi), restrictionsHeight - listHeight - bar);
    descriptionHeight_ = unscale(descHeight, dpi);
}
