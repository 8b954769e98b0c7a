#pragma once
// One running copy per settings folder. Two copies on one quillmark.dat would each save
// their own stale view over the other's; the first start owns a named mutex derived from
// the folder, and a later start asks that copy's window to come to the front, then ends.
// A copy started by "Restart as administrator" waits instead until the copy that started
// it has let go of the mutex.
#include <windows.h>

#include <string>

#include "base/win/handles.h"

// The kernel object and window message name of a folder: the same for every spelling of its
// case and a trailing separator, and short enough for a kernel object's name.
std::wstring InstanceName(const std::wstring& dataFolder);

class InstanceLock {
public:
    explicit InstanceLock(const std::wstring& dataFolder);
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;
    // False when another copy holds the folder.
    bool First() const { return first_; }
    // Waits up to the given time for the copy holding the folder to end or let go; true when
    // this copy holds it now.
    bool WaitForRelease(DWORD milliseconds);

private:
    UniqueHandle mutex_;
    bool first_ = true;
    bool owned_ = false;
};

// The message a main window registers for its folder and answers with InstanceAnswer.
UINT InstanceMessage(const std::wstring& dataFolder);
inline constexpr LRESULT InstanceAnswer = 0x514D;  // "QM"
// Asks the main window of the copy running on dataFolder to come to the front; true when one
// answered.
bool ActivateRunningCopy(const std::wstring& dataFolder);
