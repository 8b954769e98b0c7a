#include "app/framehost.h"

FrameKind FrameKindOf(const std::wstring& AFrame) {
    static const struct {
        const wchar_t* name;
        FrameKind kind;
    } table[] = {
        {L"frameStringEdit", FrameKind::StringEdit},     {L"frameDirectoryEdit", FrameKind::DirEdit},
        {L"frameFileNameEdit", FrameKind::FileEdit},     {L"frameDrives", FrameKind::Drives},
        {L"frameApplications", FrameKind::Applications},
    };
    for (const auto& row : table)
        if (AFrame == row.name) return row.kind;
    return FrameKind::None;
}

FrameRequest TFrameHost::ShowOptionFrame(const std::wstring& AFrame, int ObjectIndex) {
    DestroyFrame();
    FrameRequest request;
    request.Kind = FrameKindOf(AFrame);
    if (request.Kind == FrameKind::None) return request;
    shown_ = request.Kind;
    lastFrameName_ = AFrame;
    request.BindIndex = ObjectIndex >= 0 ? ObjectIndex : -1;
    return request;
}

void TFrameHost::DestroyFrame() {
    shown_ = FrameKind::None;
    lastFrameName_.clear();
}

std::optional<bool> TFrameHost::EnableOnChange(const TAppObjectsList& entries, int ObjectIndex) const {
    if (ObjectIndex == -1 || shown_ == FrameKind::None || !entries.Valid(ObjectIndex)) return std::nullopt;
    const TRestrListRec& entry = entries[ObjectIndex];
    switch (FrameKindOf(entry.AFrame)) {
    case FrameKind::StringEdit:
    case FrameKind::DirEdit:
    case FrameKind::FileEdit:
    case FrameKind::Drives:
        return !entry.SetValue;
    case FrameKind::Applications:  // stays usable whatever its tweak's state
    case FrameKind::None:
        break;
    }
    return std::nullopt;
}
