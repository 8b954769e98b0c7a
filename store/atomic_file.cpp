#include "store/atomic_file.h"

#include "store/Encript.h"

#include <atomic>
#include <utility>

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace storefile {

namespace {

std::optional<std::size_t> g_writeBudget;
std::atomic<unsigned> g_tempCounter{0};

// Bytes this write may still put out before the injected fault; all of them when none is set.
std::size_t allowedNow(std::size_t wanted) {
    if (!g_writeBudget) return wanted;
    return wanted < *g_writeBudget ? wanted : *g_writeBudget;
}

void consumeBudget(std::size_t written) {
    if (g_writeBudget) *g_writeBudget -= written;
}

#ifdef _WIN32

std::string systemMessage(DWORD code) {
    wchar_t* buffer = nullptr;
    DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                      FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text = length ? std::wstring(buffer, length) : L"error " + std::to_wstring(code);
    if (buffer) LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' '))
        text.pop_back();
    return narrow(text);
}

[[noreturn]] void fail(const char* what, const std::wstring& path, DWORD code = GetLastError()) {
    throw EInOutError(std::string(what) + " " + narrow(path) + ": " + systemMessage(code));
}

class Handle {
public:
    explicit Handle(HANDLE h) : h_(h) {}
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() { reset(); }
    HANDLE get() const { return h_; }
    bool valid() const { return h_ != INVALID_HANDLE_VALUE; }
    // Closes now so that a failed close can be reported.
    bool close() { return CloseHandle(std::exchange(h_, INVALID_HANDLE_VALUE)) != 0; }
    void reset() { if (valid()) CloseHandle(std::exchange(h_, INVALID_HANDLE_VALUE)); }
private:
    HANDLE h_;
};

std::wstring tempPathFor(const std::wstring& path) {
    return path + L".~" + std::to_wstring(GetCurrentProcessId()) + L"." + std::to_wstring(++g_tempCounter);
}

void writeTemp(const std::wstring& temp, std::string_view bytes) {
    Handle file(CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) fail("Cannot create", temp);
    while (!bytes.empty()) {
        std::size_t chunk = allowedNow(bytes.size() < (1u << 20) ? bytes.size() : (1u << 20));
        if (chunk == 0) fail("Cannot write", temp, ERROR_DISK_FULL);
        DWORD written = 0;
        if (!WriteFile(file.get(), bytes.data(), static_cast<DWORD>(chunk), &written, nullptr)) fail("Cannot write", temp);
        if (written == 0) fail("Cannot write", temp, ERROR_WRITE_FAULT);
        consumeBudget(written);
        bytes.remove_prefix(written);
    }
    if (!FlushFileBuffers(file.get())) fail("Cannot flush", temp);
    if (!file.close()) fail("Cannot close", temp);
}

void replaceWith(const std::wstring& temp, const std::wstring& path) {
    // Windows refuses to replace a read-only file; Wine on a Unix file system would not, so
    // check it here and behave the same on both.
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        fail("Cannot replace", path, ERROR_ACCESS_DENIED);
    if (!MoveFileExW(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        fail("Cannot replace", path);
}

void removeTemp(const std::wstring& temp) { DeleteFileW(temp.c_str()); }

#else

std::string nativePath(const std::wstring& path) { return narrow(path); }

[[noreturn]] void fail(const char* what, const std::wstring& path, int code = errno) {
    throw EInOutError(std::string(what) + " " + narrow(path) + ": " + std::strerror(code));
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
    Fd file(::open(nativePath(temp).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (!file.valid()) fail("Cannot create", temp);
    while (!bytes.empty()) {
        std::size_t chunk = allowedNow(bytes.size());
        if (chunk == 0) fail("Cannot write", temp, ENOSPC);
        ssize_t written = ::write(file.get(), bytes.data(), chunk);
        if (written < 0) {
            if (errno == EINTR) continue;
            fail("Cannot write", temp);
        }
        consumeBudget(static_cast<std::size_t>(written));
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    if (::fsync(file.get()) != 0) fail("Cannot flush", temp);
    if (!file.close()) fail("Cannot close", temp);
}

void replaceWith(const std::wstring& temp, const std::wstring& path) {
    if (::rename(nativePath(temp).c_str(), nativePath(path).c_str()) != 0) fail("Cannot replace", path);
}

void removeTemp(const std::wstring& temp) { ::unlink(nativePath(temp).c_str()); }

#endif

}  // namespace

std::string narrow(const std::wstring& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = static_cast<char32_t>(text[i]);
        if (sizeof(wchar_t) == 2 && c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() &&
            static_cast<char32_t>(text[i + 1]) >= 0xDC00 && static_cast<char32_t>(text[i + 1]) < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<char32_t>(text[++i]) - 0xDC00);
        }
        if (c > 0x10FFFF || (c >= 0xD800 && c < 0xE000)) c = 0xFFFD;
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::string toAnsi(const std::wstring& text) {
#ifdef _WIN32
    if (text.empty()) return {};
    int size = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, "?", nullptr);
    std::string out(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(), size, "?", nullptr);
    return out;
#else
    std::string out;
    out.reserve(text.size());
    for (wchar_t c : text) out += static_cast<unsigned long>(c) <= 0xFF ? static_cast<char>(c) : '?';
    return out;
#endif
}

std::wstring fromAnsi(const std::string& bytes) {
#ifdef _WIN32
    if (bytes.empty()) return {};
    int size = MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), out.data(), size);
    return out;
#else
    std::wstring out;
    out.reserve(bytes.size());
    for (char c : bytes) out += static_cast<wchar_t>(static_cast<unsigned char>(c));
    return out;
#endif
}

std::optional<std::string> readAll(const std::wstring& path) {
    std::string content;
#ifdef _WIN32
    Handle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) {
        DWORD code = GetLastError();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return std::nullopt;
        fail("Cannot open", path, code);
    }
    char buffer[65536];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr)) fail("Cannot read", path);
        if (got == 0) break;
        content.append(buffer, got);
    }
#else
    Fd file(::open(nativePath(path).c_str(), O_RDONLY | O_CLOEXEC));
    if (!file.valid()) {
        if (errno == ENOENT) return std::nullopt;
        fail("Cannot open", path);
    }
    char buffer[65536];
    for (;;) {
        ssize_t got = ::read(file.get(), buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR) continue;
            fail("Cannot read", path);
        }
        if (got == 0) break;
        content.append(buffer, static_cast<std::size_t>(got));
    }
#endif
    return content;
}

void replaceAll(const std::wstring& path, std::string_view bytes) {
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

}  // namespace storefile
