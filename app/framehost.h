#pragma once
// Which option frame the host shows, what it binds it to, and when a switched check box
// enables or disables it.
#include <optional>
#include <string>

#include "app/appobjects.h"

// In the order the names are tested.
enum class FrameKind { None, StringEdit, DirEdit, FileEdit, Drives, Applications };

// Exact, case-sensitive; None for every other value (group values, "frameCheckBox", ...).
FrameKind FrameKindOf(const std::wstring& AFrame);

// What the window does: destroy the shown frame, create Kind (nothing for None), call its
// SetValue(BindIndex) when BindIndex >= 0, then place it in pnlAdditionalOpt.
struct FrameRequest {
    FrameKind Kind = FrameKind::None;
    int BindIndex = -1;
};

class TFrameHost {
public:
    // Every request builds a fresh frame, even for the same entry.
    FrameRequest ShowOptionFrame(const std::wstring& AFrame, int ObjectIndex);
    // FormDestroy: the frame goes before the entries it refers to.
    void DestroyFrame();

    FrameKind ShownKind() const { return shown_; }
    const std::wstring& FLastFrameName() const { return lastFrameName_; }

    // The SetEnabled call SettingsChanged makes on the shown frame, if any. Called before
    // the list stores the new check state, so `not SetValue` is the state being switched to.
    std::optional<bool> EnableOnChange(const TAppObjectsList& entries, int ObjectIndex) const;

private:
    FrameKind shown_ = FrameKind::None;
    std::wstring lastFrameName_;
};
