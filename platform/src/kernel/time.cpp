// Clocks of the stand-in.
#include <sys/time.h>
#include <time.h>

#include "w32/kernel.h"

namespace {

// 100-nanosecond intervals between 1601-01-01 and 1970-01-01.
constexpr ULONGLONG kEpochDifference = 116444736000000000ULL;

void FillSystemTime(const struct tm& parts, long milliseconds, LPSYSTEMTIME out) {
    out->wYear = static_cast<WORD>(parts.tm_year + 1900);
    out->wMonth = static_cast<WORD>(parts.tm_mon + 1);
    out->wDayOfWeek = static_cast<WORD>(parts.tm_wday);
    out->wDay = static_cast<WORD>(parts.tm_mday);
    out->wHour = static_cast<WORD>(parts.tm_hour);
    out->wMinute = static_cast<WORD>(parts.tm_min);
    out->wSecond = static_cast<WORD>(parts.tm_sec);
    out->wMilliseconds = static_cast<WORD>(milliseconds);
}

}  // namespace

W32API ULONGLONG WINAPI GetTickCount64(void) {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<ULONGLONG>(now.tv_sec) * 1000ULL +
           static_cast<ULONGLONG>(now.tv_nsec / 1000000L);
}

W32API DWORD WINAPI GetTickCount(void) {
    return static_cast<DWORD>(GetTickCount64());
}

W32API void WINAPI GetSystemTime(LPSYSTEMTIME lpSystemTime) {
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    struct tm parts;
    gmtime_r(&now.tv_sec, &parts);
    FillSystemTime(parts, now.tv_nsec / 1000000L, lpSystemTime);
}

W32API void WINAPI GetLocalTime(LPSYSTEMTIME lpSystemTime) {
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    struct tm parts;
    localtime_r(&now.tv_sec, &parts);
    FillSystemTime(parts, now.tv_nsec / 1000000L, lpSystemTime);
}

W32API void WINAPI GetSystemTimeAsFileTime(LPFILETIME lpSystemTimeAsFileTime) {
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    ULONGLONG ticks = static_cast<ULONGLONG>(now.tv_sec) * 10000000ULL +
                      static_cast<ULONGLONG>(now.tv_nsec / 100) + kEpochDifference;
    lpSystemTimeAsFileTime->dwLowDateTime = static_cast<DWORD>(ticks);
    lpSystemTimeAsFileTime->dwHighDateTime = static_cast<DWORD>(ticks >> 32);
}

W32API LONG WINAPI CompareFileTime(const FILETIME* lpFileTime1, const FILETIME* lpFileTime2) {
    auto value = [](const FILETIME* time) {
        return (static_cast<ULONGLONG>(time->dwHighDateTime) << 32) | time->dwLowDateTime;
    };
    ULONGLONG first = value(lpFileTime1);
    ULONGLONG second = value(lpFileTime2);
    return first < second ? -1 : (first > second ? 1 : 0);
}

W32API BOOL WINAPI QueryPerformanceCounter(LARGE_INTEGER* lpPerformanceCount) {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    lpPerformanceCount->QuadPart = static_cast<LONGLONG>(now.tv_sec) * 1000000000LL + now.tv_nsec;
    return TRUE;
}

W32API BOOL WINAPI QueryPerformanceFrequency(LARGE_INTEGER* lpFrequency) {
    lpFrequency->QuadPart = 1000000000LL;
    return TRUE;
}

W32API LONG WINAPI InterlockedIncrement(LONG volatile* Addend) {
    return __atomic_add_fetch(Addend, 1, __ATOMIC_SEQ_CST);
}

W32API LONG WINAPI InterlockedDecrement(LONG volatile* Addend) {
    return __atomic_sub_fetch(Addend, 1, __ATOMIC_SEQ_CST);
}

W32API LONG WINAPI InterlockedExchange(LONG volatile* Target, LONG Value) {
    return __atomic_exchange_n(Target, Value, __ATOMIC_SEQ_CST);
}

W32API LONG WINAPI InterlockedExchangeAdd(LONG volatile* Addend, LONG Value) {
    return __atomic_fetch_add(Addend, Value, __ATOMIC_SEQ_CST);
}

W32API LONG WINAPI InterlockedCompareExchange(LONG volatile* Destination, LONG Exchange,
                                              LONG Comperand) {
    __atomic_compare_exchange_n(Destination, &Comperand, Exchange, false, __ATOMIC_SEQ_CST,
                                __ATOMIC_SEQ_CST);
    return Comperand;
}
