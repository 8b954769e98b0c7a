#include "store/atomic_file.h"

#include <atomic>
#include <utility>

#include "base/text.h"

#ifdef _WIN32
#include <windows.h>

#include "base/win/handles.h"
#include "base/win/win32_error.h"
#else
#include <cerrno>
#include <climits>
#include <cstring>
#include <memory>
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>
#endif

namespace storefile {

namespace {

std::optional<std::size_t> g_writeBudget;
std::optional<WriteStep> g_failingStep;
std::atomic<unsigned> g_tempCounter{0};

// Bytes this write may still put out before the injected fault; all of them when none is set.
std::size_t allowedNow(std::size_t wanted) {
    if (!g_writeBudget) return wanted;
    return wanted < *g_writeBudget ? wanted : *g_writeBudget;
}

void consumeBudget(std::size_t written) {
    if (g_writeBudget) *g_writeBudget -= written;
}

bool failsAt(WriteStep step) { return g_failingStep == step; }

// Takes 1 to 10 decimal digits from the front of text.
std::optional<unsigned long long> takeNumber(std::wstring_view& text) {
    std::size_t digits = 0;
    while (digits < text.size() && text[digits] >= L'0' && text[digits] <= L'9') ++digits;
    if (digits == 0 || digits > 10) return {};
    unsigned long long value = 0;
    for (std::size_t i = 0; i < digits; ++i) value = value * 10 + static_cast<unsigned long long>(text[i] - L'0');
    text.remove_prefix(digits);
    return value;
}

// A temporary file is named "<file>.~<process id>.<counter>". Given what follows "<file>.~",
// the process id, or nothing when the name is not exactly of that form.
std::optional<unsigned long long> tempOwner(std::wstring_view suffix) {
    const std::optional<unsigned long long> pid = takeNumber(suffix);
    if (!pid || !suffix.starts_with(L'.')) return {};
    suffix.remove_prefix(1);
    if (!takeNumber(suffix) || !suffix.empty()) return {};
    return pid;
}

#ifdef _WIN32

[[noreturn]] void fail(const wchar_t* what, const std::wstring& path, DWORD code = GetLastError()) {
    throw EInOutError(what + (L" " + path) + L": " + systemErrorText(code));
}

std::wstring tempPathFor(const std::wstring& path) {
    return path + L".~" + std::to_wstring(GetCurrentProcessId()) + L"." + std::to_wstring(++g_tempCounter);
}

void writeTemp(const std::wstring& temp, std::string_view bytes) {
    if (failsAt(WriteStep::Create)) fail(L"Cannot create", temp, ERROR_ACCESS_DENIED);
    UniqueFile file(CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) fail(L"Cannot create", temp);
    if (failsAt(WriteStep::Write)) fail(L"Cannot write", temp, ERROR_WRITE_FAULT);
    while (!bytes.empty()) {
        std::size_t chunk = allowedNow(bytes.size() < (1u << 20) ? bytes.size() : (1u << 20));
        if (chunk == 0) fail(L"Cannot write", temp, ERROR_DISK_FULL);
        DWORD written = 0;
        if (!WriteFile(file.get(), bytes.data(), static_cast<DWORD>(chunk), &written, nullptr)) fail(L"Cannot write", temp);
        if (written == 0) fail(L"Cannot write", temp, ERROR_WRITE_FAULT);
        consumeBudget(written);
        bytes.remove_prefix(written);
    }
    if (failsAt(WriteStep::Flush) || !FlushFileBuffers(file.get()))
        fail(L"Cannot flush", temp, failsAt(WriteStep::Flush) ? ERROR_WRITE_FAULT : GetLastError());
    if (failsAt(WriteStep::Close)) fail(L"Cannot close", temp, ERROR_WRITE_FAULT);
    // Closed here so that a failed close is reported.
    if (!CloseHandle(file.release())) fail(L"Cannot close", temp);
}

void replaceWith(const std::wstring& temp, const std::wstring& path) {
    // Windows refuses to replace a read-only file; Wine on a Unix file system would not, so
    // check it here and behave the same on both.
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        fail(L"Cannot replace", path, ERROR_ACCESS_DENIED);
    if (failsAt(WriteStep::Replace)) fail(L"Cannot replace", path, ERROR_SHARING_VIOLATION);
    if (!MoveFileExW(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        fail(L"Cannot replace", path);
}

void removeTemp(const std::wstring& temp) { DeleteFileW(temp.c_str()); }

// Our own temporaries are still in use; so are those of any process that is running.
bool ownerGone(unsigned long long pid) {
    if (pid > MAXDWORD || pid == GetCurrentProcessId()) return false;
    const UniqueHandle owner(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, static_cast<DWORD>(pid)));
    if (!owner) return GetLastError() == ERROR_INVALID_PARAMETER;  // no such process
    return WaitForSingleObject(owner.get(), 0) == WAIT_OBJECT_0;  // it has ended
}

void removeStaleTemps(const std::wstring& path) {
    const std::size_t slash = path.find_last_of(L"\\/");
    const std::wstring folder = slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
    const std::wstring prefix = path.substr(folder.size()) + L".~";
    WIN32_FIND_DATAW data;
    const UniqueFind find(FindFirstFileW((path + L".~*").c_str(), &data));
    if (!find) return;
    do {
        // The pattern also matches short names; only the long name counts.
        const std::wstring name = data.cFileName;
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || name.size() < prefix.size() ||
            CompareStringOrdinal(name.c_str(), static_cast<int>(prefix.size()), prefix.c_str(),
                                 static_cast<int>(prefix.size()), TRUE) != CSTR_EQUAL)
            continue;
        const std::optional<unsigned long long> owner = tempOwner(std::wstring_view(name).substr(prefix.size()));
        if (owner && ownerGone(*owner)) DeleteFileW((folder + name).c_str());
    } while (FindNextFileW(find.get(), &data));
}

#else

std::string nativePath(const std::wstring& path) { return toUtf8(path); }

[[noreturn]] void fail(const wchar_t* what, const std::wstring& path, int code = errno) {
    throw EInOutError(what + (L" " + path) + L": " + fromUtf8(std::strerror(code)));
}

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() { reset(); }
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    // Closes now so that a failed close can be reported.
    bool close() { return ::close(std::exchange(fd_, -1)) == 0; }
    void reset() { if (valid()) ::close(std::exchange(fd_, -1)); }
private:
    int fd_;
};

std::wstring tempPathFor(const std::wstring& path) {
    return path + L".~" + std::to_wstring(getpid()) + L"." + std::to_wstring(++g_tempCounter);
}

void writeTemp(const std::wstring& temp, std::string_view bytes) {
    if (failsAt(WriteStep::Create)) fail(L"Cannot create", temp, EACCES);
    Fd file(::open(nativePath(temp).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (!file.valid()) fail(L"Cannot create", temp);
    if (failsAt(WriteStep::Write)) fail(L"Cannot write", temp, EIO);
    while (!bytes.empty()) {
        std::size_t chunk = allowedNow(bytes.size());
        if (chunk == 0) fail(L"Cannot write", temp, ENOSPC);
        ssize_t written = ::write(file.get(), bytes.data(), chunk);
        if (written < 0) {
            if (errno == EINTR) continue;
            fail(L"Cannot write", temp);
        }
        consumeBudget(static_cast<std::size_t>(written));
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    if (failsAt(WriteStep::Flush)) fail(L"Cannot flush", temp, EIO);
    if (::fsync(file.get()) != 0) fail(L"Cannot flush", temp);
    if (failsAt(WriteStep::Close)) fail(L"Cannot close", temp, EIO);
    if (!file.close()) fail(L"Cannot close", temp);
}

// The folder holding path, for syncing the rename itself.
std::string folderOf(const std::string& path) {
    std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

void replaceWith(const std::wstring& temp, const std::wstring& path) {
    if (failsAt(WriteStep::Replace)) fail(L"Cannot replace", path, EBUSY);
    if (::rename(nativePath(temp).c_str(), nativePath(path).c_str()) != 0) fail(L"Cannot replace", path);
    // The new name is in place; syncing the folder makes it outlast a power cut. Failing
    // that changes nothing the caller could act on, so it is not an error.
    Fd folder(::open(folderOf(nativePath(path)).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.valid()) ::fsync(folder.get());
}

void removeTemp(const std::wstring& temp) { ::unlink(nativePath(temp).c_str()); }

// Our own temporaries are still in use; so are those of any process that is running.
bool ownerGone(unsigned long long pid) {
    if (pid == 0 || pid > static_cast<unsigned long long>(INT_MAX) || pid == static_cast<unsigned long long>(getpid()))
        return false;
    return ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}

void removeStaleTemps(const std::wstring& path) {
    const std::string file = nativePath(path);
    const std::size_t slash = file.find_last_of('/');
    const std::string folder = slash == std::string::npos ? std::string() : file.substr(0, slash + 1);
    const std::string prefix = file.substr(folder.size()) + ".~";
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.empty() ? "." : folder.c_str()), ::closedir);
    if (!dir) return;
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string_view name = entry->d_name;
        if (!name.starts_with(prefix)) continue;
        std::wstring suffix;
        for (char c : name.substr(prefix.size())) suffix += static_cast<wchar_t>(static_cast<unsigned char>(c));
        const std::optional<unsigned long long> owner = tempOwner(suffix);
        // unlink refuses folders, so only a file of that name goes.
        if (owner && ownerGone(*owner)) ::unlink((folder + std::string(name)).c_str());
    }
}

#endif

constexpr std::string_view Utf8Mark = "\xEF\xBB\xBF";

}  // namespace

std::string toPlainText(const std::wstring& text) {
    bool lossless = true;
    std::string ansi = toAnsi(text, &lossless);
    // Text that begins like the mark is written with it, so that it reads back as it was.
    if (lossless && !ansi.starts_with(Utf8Mark)) return ansi;
    return std::string(Utf8Mark) + toUtf8(text);
}

std::wstring fromPlainText(const std::string& bytes) {
    if (bytes.starts_with(Utf8Mark)) return fromUtf8(std::string_view(bytes).substr(Utf8Mark.size()));
    return fromAnsi(bytes);
}

std::optional<std::string> readAll(const std::wstring& path) {
    std::string content;
#ifdef _WIN32
    const UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        DWORD code = GetLastError();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return std::nullopt;
        fail(L"Cannot open", path, code);
    }
    char buffer[65536];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr)) fail(L"Cannot read", path);
        if (got == 0) break;
        content.append(buffer, got);
    }
#else
    Fd file(::open(nativePath(path).c_str(), O_RDONLY | O_CLOEXEC));
    if (!file.valid()) {
        if (errno == ENOENT || errno == ENOTDIR) return std::nullopt;  // as Windows says "path not found"
        fail(L"Cannot open", path);
    }
    char buffer[65536];
    for (;;) {
        ssize_t got = ::read(file.get(), buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR) continue;
            fail(L"Cannot read", path);
        }
        if (got == 0) break;
        content.append(buffer, static_cast<std::size_t>(got));
    }
#endif
    return content;
}

void replaceAll(const std::wstring& path, std::string_view bytes) {
    removeStaleTemps(path);
    const std::wstring temp = tempPathFor(path);
    try {
        writeTemp(temp, bytes);
        replaceWith(temp, path);
    } catch (...) {
        removeTemp(temp);
        throw;
    }
}

ScopedWriteFault::ScopedWriteFault(std::size_t bytesBeforeFailure) { g_writeBudget = bytesBeforeFailure; }
ScopedWriteFault::~ScopedWriteFault() { g_writeBudget.reset(); }

ScopedStepFault::ScopedStepFault(WriteStep step) { g_failingStep = step; }
ScopedStepFault::~ScopedStepFault() { g_failingStep.reset(); }

}  // namespace storefile
