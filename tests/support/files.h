#pragma once
// Files for tests, natively and under Wine: a temporary folder of the test's own, whole
// files read and written as bytes, and the files of the source tree.
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstddef>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

#include "tests/support/where.h"

namespace testsupport {

namespace fs = std::filesystem;

// A folder below the system's temporary folder, named for the test, the process and a
// counter; created empty, removed with everything in it.
class TempFolder {
public:
    explicit TempFolder(std::string_view purpose = "test") : path(uniquePath(purpose)) {
        fs::remove_all(path);
        fs::create_directories(path);
    }
    ~TempFolder() {
        std::error_code ec;
        // A read-only file a test left would stop the removal on Windows.
        for (const fs::directory_entry& entry : fs::recursive_directory_iterator(path, ec))
            fs::permissions(entry.path(), fs::perms::owner_write, fs::perm_options::add, ec);
        fs::remove_all(path, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // A file in the folder as the wide path the program takes.
    std::wstring file(const fs::path& name) const { return (path / name).wstring(); }
    // The folder with its trailing separator, as the program keeps its data folder.
    std::wstring withSeparator() const { return (path / "").wstring(); }
    std::vector<std::wstring> names() const {
        std::vector<std::wstring> result;
        for (const fs::directory_entry& entry : fs::directory_iterator(path))
            result.push_back(entry.path().filename().wstring());
        std::sort(result.begin(), result.end());
        return result;
    }
    std::size_t count() const { return names().size(); }

    const fs::path path;

private:
    static fs::path uniquePath(std::string_view purpose) {
        static std::atomic<int> counter{0};
#ifdef _WIN32
        const unsigned long process = GetCurrentProcessId();
#else
        const unsigned long process = static_cast<unsigned long>(::getpid());
#endif
        return fs::temp_directory_path() /
               ("qm_" + std::string(purpose) + "_" + std::to_string(process) + "_" + std::to_string(++counter));
    }
};

inline std::string readBytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

inline void writeBytes(const fs::path& file, std::string_view bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// The source tree as CTest names it (QM_SOURCE_DIR), else as it was built from; under Wine
// its Unix path is reached through Wine's Z: drive.
inline fs::path sourceDir() {
    const char* dir = std::getenv("QM_SOURCE_DIR");
    std::string text = dir && *dir ? dir : QM_SOURCE_DIR;
#ifdef _WIN32
    if (!text.empty() && text[0] == '/') text = "Z:" + text;
#endif
    return fs::path(text);
}

// A file of the source tree, such as a fixture, by its path from the top.
inline std::string sourceFile(const std::string& relative, const Where& where = Where::current()) {
    const fs::path file = sourceDir() / fs::path(relative).make_preferred();
    std::ifstream in(file, std::ios::binary);
    require(static_cast<bool>(in), "cannot read " + relative, where);
    return {std::istreambuf_iterator<char>(in), {}};
}

}  // namespace testsupport
