#include "base/win/phasetimes.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>

namespace {

// Plain data, opened at the first mark and never closed (each mark is flushed): nothing
// here needs a constructor, a destructor or a guard, so that the bench's probe links it
// without pulling in the C++ runtime. Marks come from the start-up's thread only.
struct PhaseLog {
    bool opened = false;
    std::FILE* file = nullptr;
    // Marks are counter readings less the origin, plus the origin's own distance from the
    // process's creation when the origin is this process's first mark.
    double originMicroseconds = 0;
    LARGE_INTEGER origin{}, frequency{};
};

PhaseLog phases;

PhaseLog& phaseLog()
{
    if (phases.opened) return phases;
    phases.opened = true;
    const wchar_t* path = _wgetenv(L"QM_PHASE_TIMES");
    if (!path || !*path) return phases;
    phases.file = _wfopen(path, L"a");
    if (!phases.file) return phases;
    QueryPerformanceFrequency(&phases.frequency);
    // The performance counter is one clock for every process: a reading the starting
    // process took puts the marks on its own time line.
    if (const wchar_t* origin = _wgetenv(L"QM_PHASE_ORIGIN"); origin && *origin) {
        phases.origin.QuadPart = static_cast<LONGLONG>(_wcstoui64(origin, nullptr, 10));
        return phases;
    }
    // Creation time is only known to 100 ns by the wall clock: anchored to it once.
    FILETIME created, exited, kernel, user, now;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    QueryPerformanceCounter(&phases.origin);
    GetSystemTimePreciseAsFileTime(&now);
    const auto ticks = [](const FILETIME& t) {
        return static_cast<double>((static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
    };
    phases.originMicroseconds = (ticks(now) - ticks(created)) / 10;
    return phases;
}

}  // namespace

bool phaseTimesEnabled()
{
    return phaseLog().file != nullptr;
}

void markPhase(const char* name)
{
    PhaseLog& log = phaseLog();
    if (!log.file) return;
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    const double microseconds =
        log.originMicroseconds +
        static_cast<double>(counter.QuadPart - log.origin.QuadPart) * 1e6 / static_cast<double>(log.frequency.QuadPart);
    // Whole microseconds written by hand: printf's floating point would pull the C library's
    // number formatting into the probe, which is meant to weigh what an empty window weighs.
    char digits[24];
    char* first = digits + sizeof digits;
    *--first = '\0';
    *--first = '\n';
    unsigned long long value = microseconds > 0 ? static_cast<unsigned long long>(microseconds + 0.5) : 0;
    do {
        *--first = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    *--first = '\t';
    std::fputs(name, log.file);
    std::fputs(first, log.file);
    std::fflush(log.file);
}
