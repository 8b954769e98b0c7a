#include "platform/oneinstance.h"

#include "base/crypto.h"
#include "base/text.h"

std::wstring InstanceName(const std::wstring& dataFolder)
{
    std::wstring folder = upperCase(dataFolder);
    while (!folder.empty() && (folder.back() == L'\\' || folder.back() == L'/')) folder.pop_back();
    const std::string utf8 = toUtf8(folder);
    const Bytes digest = portable::sha256(Bytes(utf8.begin(), utf8.end()));
    static const wchar_t digits[] = L"0123456789abcdef";
    std::wstring name = L"Quillmark-";
    for (std::size_t i = 0; i < 16; ++i) {
        name += digits[digest[i] >> 4];
        name += digits[digest[i] & 15];
    }
    return name;
}

InstanceLock::InstanceLock(const std::wstring& dataFolder)
    : mutex_(CreateMutexW(nullptr, TRUE, (L"Local\\" + InstanceName(dataFolder)).c_str()))
{
    // A mutex that cannot be made or opened at all (another user's copy in this session)
    // stops nobody: the store's own check still refuses to overwrite what another copy saved.
    first_ = !mutex_ || GetLastError() != ERROR_ALREADY_EXISTS;
    owned_ = mutex_ && first_;
}

InstanceLock::~InstanceLock()
{
    // Let a waiting copy go on at once rather than when this process has ended.
    if (owned_) ReleaseMutex(mutex_.get());
}

bool InstanceLock::WaitForRelease(DWORD milliseconds)
{
    if (first_) return true;
    // An owner that ended without letting go leaves the mutex abandoned: ours all the same.
    const DWORD waited = WaitForSingleObject(mutex_.get(), milliseconds);
    owned_ = first_ = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
    return first_;
}

UINT InstanceMessage(const std::wstring& dataFolder)
{
    return RegisterWindowMessageW(InstanceName(dataFolder).c_str());
}

bool ActivateRunningCopy(const std::wstring& dataFolder)
{
    struct Search {
        UINT message;
        bool answered = false;
    } search{InstanceMessage(dataFolder)};
    if (!search.message) return false;
    EnumWindows(
        [](HWND hwnd, LPARAM data) -> BOOL {
            auto& s = *reinterpret_cast<Search*>(data);
            wchar_t name[32] = {};
            if (!GetClassNameW(hwnd, name, 32) || std::wstring(name) != L"TfrmQuillmark") return TRUE;
            DWORD processId = 0;
            GetWindowThreadProcessId(hwnd, &processId);
            AllowSetForegroundWindow(processId);  // the other copy may then take the front
            DWORD_PTR answer = 0;
            if (SendMessageTimeoutW(hwnd, s.message, 0, 0, SMTO_ABORTIFHUNG, 5000, &answer) &&
                answer == static_cast<DWORD_PTR>(InstanceAnswer))
                s.answered = true;
            return !s.answered;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.answered;
}
