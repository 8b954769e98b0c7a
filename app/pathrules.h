#pragma once
// What the path editors do with a path, without a window: the quoting of file paths, the
// folder a browser starts in, dropped files, and the file names of a multiple selection.
#include <functional>
#include <string>
#include <vector>

// A path with a blank, not already quoted, enclosed in double quotes; others unchanged.
std::wstring QuoteIfBlank(const std::wstring& path);
// The folder browser starts at the edit's folder when it exists, else at the root of the
// current drive ("\").
std::wstring FolderBrowserStart(const std::wstring& editText,
                                const std::function<bool(const std::wstring&)>& folderExists);
// The file dialog starts in the folder of the file the edit names (quotes removed); empty
// when the text names no folder.
std::wstring FileDialogStartFolder(const std::wstring& editText);
// A folder the system's file and folder dialogs can start in: the folder itself when it is
// shorter than MAX_PATH (260 characters), else its nearest parent that is; empty when none
// is. Those dialogs copy a longer start folder into fixed buffers.
std::wstring ShortDialogFolder(const std::wstring& folder);
// A file dropped on the folder edit gives its folder, a folder its own path, both without
// the trailing "\" (a drive root keeps it: "C:" alone would name the drive's current folder).
std::wstring DroppedOnFolderEdit(const std::wstring& path, bool isFolder);
// The part after the last "\", "/" or ":".
std::wstring FileNamePart(const std::wstring& path);
// A multiple-selection result of the classic open dialog: "folder\0name\0name\0\0" for
// several files, "path\0\0" for one. The full paths in the dialog's order.
std::vector<std::wstring> SplitOpenDialogSelection(const std::wstring& buffer);
