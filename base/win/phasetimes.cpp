#include "base/win/phasetimes.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>

namespace {

struct PhaseLog {
    std::FILE* file = nullptr;
    // Creation time is only known to 100 ns by the wall clock; the marks' spacing comes from
    // the performance counter, anchored to the wall clock once.
    double anchorMicroseconds = 0;
    LARGE_INTEGER anchorCounter{}, frequency{};

    PhaseLog()
    {
        const wchar_t* path = _wgetenv(L"QM_PHASE_TIMES");
        if (!path || !*path) return;
        file = _wfopen(path, L"a");
        if (!file) return;
        FILETIME created, exited, kernel, user, now;
        GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
        QueryPerformanceFrequency(&frequency);
        QueryPerformanceCounter(&anchorCounter);
        GetSystemTimePreciseAsFileTime(&now);
        const auto ticks = [](const FILETIME& t) {
            return static_cast<double>((static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
        };
        anchorMicroseconds = (ticks(now) - ticks(created)) / 10;
    }
    ~PhaseLog()
    {
        if (file) std::fclose(file);
    }
};

PhaseLog& phaseLog()
{
    static PhaseLog log;
    return log;
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
        log.anchorMicroseconds +
        static_cast<double>(counter.QuadPart - log.anchorCounter.QuadPart) * 1e6 / static_cast<double>(log.frequency.QuadPart);
    std::fprintf(log.file, "%s\t%.0f\n", name, microseconds);
    std::fflush(log.file);
}
