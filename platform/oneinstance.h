#pragma once
// One running copy per settings folder. Two copies on one quillmark.dat would each save
// their own stale view over the other's; the first start holds a named mutex derived from
// the folder, and a later start asks that copy's window to come to the front, then ends.
#include <windows.h>

#include <string>

#include "base/win/handles.h"

// The kernel object and window message name of a folder: the same for every spelling of its
// case and a trailing separator, and short enough for a kernel object's name.
std::wstring InstanceName(const std::wstring& dataFolder);

class InstanceLock {
public:
    explicit InstanceLock(const std::wstring& dataFolder);
    // False when another copy holds the folder.
    bool First() const { return first_; }

private:
    UniqueHandle mutex_;
    bool first_ = true;
};

// The message a main window registers for its folder and answers with InstanceAnswer.
UINT InstanceMessage(const std::wstring& dataFolder);
inline constexpr LRESULT InstanceAnswer = 0x514D;  // "QM"
// Asks the main window of the copy running on dataFolder to come to the front; true when one
// answered.
bool ActivateRunningCopy(const std::wstring& dataFolder);
