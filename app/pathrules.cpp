#include "app/pathrules.h"

namespace {

std::wstring withoutTrailingSeparator(std::wstring path) {
    while (path.size() > 1 && (path.back() == L'\\' || path.back() == L'/')) {
        const bool driveRoot = path.size() == 3 && path[1] == L':';
        if (driveRoot) break;
        path.pop_back();
    }
    return path;
}

std::wstring withoutQuotes(const std::wstring& text) {
    if (text.size() >= 2 && text.front() == L'"' && text.back() == L'"') return text.substr(1, text.size() - 2);
    return text;
}

std::size_t lastSeparator(const std::wstring& path, const wchar_t* separators) {
    return path.find_last_of(separators);
}

}  // namespace

std::wstring QuoteIfBlank(const std::wstring& path) {
    if (path.find(L' ') == std::wstring::npos || (!path.empty() && path.front() == L'"')) return path;
    return L"\"" + path + L"\"";
}

std::wstring FolderBrowserStart(const std::wstring& editText,
                                const std::function<bool(const std::wstring&)>& folderExists) {
    if (!editText.empty() && folderExists(editText)) return editText;
    return L"\\";
}

std::wstring FileDialogStartFolder(const std::wstring& editText) {
    const std::wstring path = withoutQuotes(editText);
    const std::size_t pos = lastSeparator(path, L"\\/");
    if (pos == std::wstring::npos) return {};
    // "C:\file" starts in "C:\", not in the drive's current folder.
    if (pos == 2 && path[1] == L':') return path.substr(0, 3);
    return path.substr(0, pos);
}

std::wstring ShortDialogFolder(const std::wstring& folder) {
    constexpr std::size_t maxPath = 260;
    std::wstring path = folder;
    while (path.size() >= maxPath) {
        const std::size_t pos = lastSeparator(path.substr(0, path.size() - 1), L"\\/");
        if (pos == std::wstring::npos) return {};
        // "C:\" rather than "C:", which names the drive's current folder.
        path = pos == 2 && path[1] == L':' ? path.substr(0, 3) : path.substr(0, pos);
    }
    return path;
}

std::wstring DroppedOnFolderEdit(const std::wstring& path, bool isFolder) {
    const std::wstring trimmed = withoutTrailingSeparator(path);
    if (isFolder) return trimmed;
    const std::size_t pos = lastSeparator(trimmed, L"\\/");
    if (pos == std::wstring::npos) return trimmed;
    return withoutTrailingSeparator(trimmed.substr(0, pos + 1));
}

std::wstring FileNamePart(const std::wstring& path) {
    const std::size_t pos = lastSeparator(path, L"\\/:");
    return pos == std::wstring::npos ? path : path.substr(pos + 1);
}

std::vector<std::wstring> SplitOpenDialogSelection(const std::wstring& buffer) {
    std::vector<std::wstring> parts;
    std::size_t pos = 0;
    while (pos < buffer.size()) {
        std::size_t end = buffer.find(L'\0', pos);
        if (end == std::wstring::npos) end = buffer.size();
        if (end == pos) break;
        parts.push_back(buffer.substr(pos, end - pos));
        pos = end + 1;
    }
    if (parts.size() <= 1) return parts;
    std::wstring folder = parts.front();
    if (folder.back() != L'\\') folder += L'\\';
    std::vector<std::wstring> paths;
    for (std::size_t i = 1; i < parts.size(); ++i) paths.push_back(folder + parts[i]);
    return paths;
}
