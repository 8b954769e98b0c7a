#pragma once
// What the category tree and the tweak list show, and what a list change does, as data
// the window copies into its controls.
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/appobjects.h"
#include "app/framehost.h"
#include "app/supportedon.h"

// The platform's locale-aware caption order (<0, 0, >0); compareTextNoCase natively.
using CaptionCompare = std::function<int(const std::wstring&, const std::wstring&)>;

inline constexpr int ImageUnchecked = 2;  // img16: blank document
inline constexpr int ImageChecked = 21;   // img16: document with a check mark
inline constexpr int AppImageUnchecked = 0;  // AppImageList's copies of those two
inline constexpr int AppImageChecked = 1;

struct CategoryNode {
    std::wstring Caption;
    std::wstring Name;  // the group's scheme element name
    int Image = -1;     // img16, also the selected image
    std::vector<CategoryNode> Children;
};

// The group nodes below "TreeItem", sorted by caption at every level. The window selects
// the first root node, which shows that group. Without administrator rights the machine-wide
// branch "Group_WinCommonRestr" is left out.
std::vector<CategoryNode> BuildCategoryTree(bool isAdministrator, const CaptionCompare& compare);

enum class ImageListKind { Img16, Img32, AppImageList };
enum class ListViewStyle { LargeIcons, Report };

struct ListItemView {
    std::wstring Name;  // the item's data: how it finds its entry
    std::wstring Caption;  // with NoEffectSuffix when NoEffect
    bool Checked = false;
    int Image = 0;
    bool NoEffect = false;  // a tweak documented to do nothing on the running Windows: greyed
    bool NotConfigured = false;  // NotConfiguredAfterSave: the row's state reads NotConfiguredText
};

// The state column of a tweak whose values are all absent, as Group Policy's editor words it.
inline const wchar_t* const NotConfiguredText = L"Not configured";

// Which Windows runs the program, and whether tweaks without effect there are left out of
// the lists. They still read and write as before, so a profile for other machines can be made.
struct EffectView {
    std::optional<WindowsVersion> Running;  // none: every tweak counts as having an effect
    bool HideWithoutEffect = false;
};

// Marks a tweak row of `name` without effect on the running Windows; false when such a row
// is to be left out.
bool ApplyEffect(ListItemView& item, const EffectView& effect);
// Once the rows are sorted, so that the suffix never moves a row.
void AddNoEffectSuffix(ListItemView& item);

struct GroupView {
    // The advertising panel replaces the list, whose items are left as they were; only
    // Description and Frame apply then.
    bool Advertise = false;
    ListViewStyle View = ListViewStyle::Report;
    bool CheckBoxes = true;
    ImageListKind SmallImages = ImageListKind::Img16;  // large icons always come from img32
    std::wstring Description;
    std::wstring Supported;           // SupportedOnLine of the group
    std::vector<ListItemView> Items;  // sorted by caption
    FrameRequest Frame;               // ShowOptionFrame(AFrame, -1): empties the option panel
};

// Whether the group lists the Control Panel applets.
bool ShowsApplets(const std::wstring& groupName);

// While the window fills the list from this, it ignores the list's change reports.
GroupView ShowGroup(const TAppObjectsList& entries, TFrameHost& frames, const std::wstring& groupName,
                    const CaptionCompare& compare, const EffectView& effect = {});

// What the window does after a list change report, in this order: SetEnabled on the frame
// shown so far, the item's new image, lblInfo, then the frame request.
struct ListChange {
    std::optional<bool> EnableShownFrame;
    std::optional<int> NewImage;
    std::wstring Description;  // empty: lblInfo cleared
    std::wstring Supported;    // SupportedOnLine of the item, shown under the description
    std::optional<FrameRequest> Frame;
};

// Reports a setting change for an entry index and answers the SetEnabled call for the
// shown frame; TMainModel::SettingsChanged.
using SettingsChangedFn = std::function<std::optional<bool>(int ObjectIndex)>;

// A change report of the list (check state, selection or focus) for the item carrying
// itemName. SettingsChanged sees the entry's old state; the new one is stored after it, in
// every entry of that name so that a tweak listed in two groups keeps one state. Errors
// end the handling silently, keeping what was already done.
ListChange lstRestrListChange(TAppObjectsList& entries, TFrameHost& frames, const std::wstring& itemName,
                              bool checked, ImageListKind smallImages, const SettingsChangedFn& settingsChanged);

// A row's image for its check state: the check images of its image list; none for an applet,
// which keeps its own icon.
std::optional<int> CheckImage(const TRestrListRec& entry, ImageListKind smallImages, bool checked);

// Double click: in the large-icon view, with an item selected, the index of the first child
// of the selected tree node whose caption equals the item's exactly; -1: nothing to select.
int DblClickTarget(ListViewStyle view, const std::optional<std::wstring>& selectedCaption,
                   const std::vector<std::wstring>& childCaptions);
