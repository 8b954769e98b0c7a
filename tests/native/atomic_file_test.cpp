// The store's file primitives under faults: a save that fails at any step, and a process
// killed while it saves, leave the old file or the new one and never a mix.
#include <doctest/doctest.h>

#include <csignal>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

#include "store/atomic_file.h"
#include "store/Encript.h"
#include "tests/support/files.h"

namespace fs = std::filesystem;

namespace {

using TempDir = testsupport::TempFolder;
using testsupport::readBytes;

std::wstring markerEntry() { return ValidityMarker + L"=" + ValidityMarker; }

}  // namespace

TEST_CASE("a save that fails at any step leaves the old file whole, and a later save writes the new one") {
    for (bool scrambled : {true, false}) {
        for (storefile::WriteStep step : {storefile::WriteStep::Create, storefile::WriteStep::Write, storefile::WriteStep::Flush,
                                          storefile::WriteStep::Close, storefile::WriteStep::Replace}) {
            CAPTURE(scrambled);
            CAPTURE(static_cast<int>(step));
            TempDir dir;
            const std::wstring path = dir.file("quillmark.dat");
            TEncriptor store(path, scrambled);
            store.SetStr(L"AdminPass", L"old");
            REQUIRE(store.Flush(false));
            const std::string before = readBytes(path);
            const std::vector<std::wstring> saved = store.IDList;

            store.setList(L"userDisallowRun", std::vector<std::wstring>(500, L"C:\\a rather long path\\app.exe"));
            {
                storefile::ScopedStepFault fault(step);
                CHECK_THROWS_AS(store.Flush(true), EInOutError);
            }
            CHECK(readBytes(path) == before);
            CHECK(TEncriptor(path, scrambled).IDList == saved);
            CHECK(dir.count() == 1);  // no temporary file left behind
            CHECK(store.MayFlush);

            CHECK(store.Flush(false));
            CHECK(TEncriptor(path, scrambled).IDList == store.IDList);
            CHECK(dir.count() == 1);
        }
    }
    SUBCASE("a new store whose first save fails leaves no file at all") {
        TempDir dir;
        storefile::ScopedStepFault fault(storefile::WriteStep::Replace);
        CHECK_THROWS_AS(TEncriptor(dir.file("default.qmk"), true), EInOutError);
        CHECK(dir.count() == 0);
    }
}

TEST_CASE("a process killed while saving leaves the old list or the new one") {
    TempDir dir;
    const std::wstring path = dir.file("quillmark.dat");
    // Two lists of about a megabyte of file each, both with a wide character so both
    // the header and the plain form are exercised.
    std::vector<std::wstring> lists[2];
    for (int which = 0; which < 2; ++which) {
        lists[which].push_back(markerEntry());
        for (int i = 0; i < 4000; ++i)
            lists[which].push_back(L"list" + std::to_wstring(which) + L"_" + std::to_wstring(i) +
                                   (which ? L"=\x0416\x0437 path" : L"=C:\\Programs\\app.exe"));
    }
    {
        TEncriptor store(path, true);
        store.IDList = lists[0];
        store.Flush(true);
    }
    std::mt19937 random(11);
    int sawNew = 0, leftBehind = 0;
    for (int round = 0; round < 12; ++round) {
        CAPTURE(round);
        const pid_t child = ::fork();
        REQUIRE(child >= 0);
        if (child == 0) {
            TEncriptor store(path, true);
            for (int i = 0;; ++i) {
                store.IDList = lists[(i + round) % 2];
                store.Flush(true);
            }
        }
        ::usleep(20'000 + random() % 150'000);
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        REQUIRE(WIFSIGNALED(status));

        TEncriptor reloaded(path, true);
        const bool isOld = reloaded.IDList == lists[0], isNew = reloaded.IDList == lists[1];
        CHECK((isOld || isNew));
        sawNew += isNew;
        // The killed process may have left its temporary file; it is never read, and the
        // next save removes it.
        leftBehind += std::distance(fs::directory_iterator(dir.path), fs::directory_iterator()) > 1;
        reloaded.Flush(true);
        CHECK(std::distance(fs::directory_iterator(dir.path), fs::directory_iterator()) == 1);
    }
    MESSAGE("the second list was found after " << sawNew << " of 12 kills; " << leftBehind
                                               << " kills left a temporary file");
}
