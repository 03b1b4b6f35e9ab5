#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>

namespace {

DWORD WINAPI ReturnParameter(LPVOID parameter) {
    return static_cast<DWORD>(reinterpret_cast<uintptr_t>(parameter));
}

DWORD WINAPI WaitForEvent(LPVOID parameter) {
    return WaitForSingleObject(static_cast<HANDLE>(parameter), INFINITE) == WAIT_OBJECT_0 ? 7 : 9;
}

TEST(Threads, WaitEndsWithTheThreadAndGivesItsExitCode) {
    DWORD id = 0;
    HANDLE thread = CreateThread(nullptr, 0, ReturnParameter, reinterpret_cast<LPVOID>(42), 0, &id);
    ASSERT_NE(thread, nullptr);
    EXPECT_NE(id, 0u);
    EXPECT_NE(id, GetCurrentThreadId());
    EXPECT_EQ(WaitForSingleObject(thread, INFINITE), static_cast<DWORD>(WAIT_OBJECT_0));
    DWORD code = 0;
    ASSERT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, 42u);
    EXPECT_TRUE(CloseHandle(thread));
    EXPECT_FALSE(CloseHandle(thread));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(Threads, WaitTimesOutWhileTheThreadRunsAndTerminateEndsTheWait) {
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE thread = CreateThread(nullptr, 0, WaitForEvent, event, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    EXPECT_EQ(WaitForSingleObjectEx(thread, 20, FALSE), static_cast<DWORD>(WAIT_TIMEOUT));
    DWORD code = 0;
    GetExitCodeThread(thread, &code);
    EXPECT_EQ(code, static_cast<DWORD>(STILL_ACTIVE));
    EXPECT_TRUE(TerminateThread(thread, 0));
    EXPECT_EQ(WaitForSingleObject(thread, 0), static_cast<DWORD>(WAIT_OBJECT_0));
    GetExitCodeThread(thread, &code);
    EXPECT_EQ(code, 0u);
    // Let the thread itself finish before the event goes; its exit code stays 0.
    SetEvent(event);
    Sleep(20);
    GetExitCodeThread(thread, &code);
    EXPECT_EQ(code, 0u);
    CloseHandle(thread);
    CloseHandle(event);
}

TEST(Threads, SuspendedThreadRunsAfterResume) {
    HANDLE thread = CreateThread(nullptr, 0, ReturnParameter, reinterpret_cast<LPVOID>(5),
                                 CREATE_SUSPENDED, nullptr);
    EXPECT_EQ(WaitForSingleObject(thread, 20), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_EQ(ResumeThread(thread), 1u);
    EXPECT_EQ(WaitForSingleObject(thread, INFINITE), static_cast<DWORD>(WAIT_OBJECT_0));
    CloseHandle(thread);
}

TEST(Events, AutoResetReleasesOneWaitManualResetStaysSignalled) {
    HANDLE autoReset = CreateEventW(nullptr, FALSE, TRUE, nullptr);
    EXPECT_EQ(WaitForSingleObject(autoReset, 0), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_EQ(WaitForSingleObject(autoReset, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    HANDLE manual = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SetEvent(manual);
    EXPECT_EQ(WaitForSingleObject(manual, 0), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_EQ(WaitForSingleObject(manual, 0), static_cast<DWORD>(WAIT_OBJECT_0));
    ResetEvent(manual);
    EXPECT_EQ(WaitForSingleObject(manual, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    CloseHandle(autoReset);
    CloseHandle(manual);
}

TEST(Events, WaitForMultipleGivesTheIndexOrWaitsForAll) {
    HANDLE events[2] = {CreateEventW(nullptr, TRUE, FALSE, nullptr),
                        CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    SetEvent(events[1]);
    EXPECT_EQ(WaitForMultipleObjects(2, events, FALSE, 0), static_cast<DWORD>(WAIT_OBJECT_0 + 1));
    EXPECT_EQ(WaitForMultipleObjects(2, events, TRUE, 10), static_cast<DWORD>(WAIT_TIMEOUT));
    SetEvent(events[0]);
    EXPECT_EQ(WaitForMultipleObjects(2, events, TRUE, 0), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_EQ(WaitForSingleObject(nullptr, 0), WAIT_FAILED);
    CloseHandle(events[0]);
    CloseHandle(events[1]);
}

TEST(Handles, FitIn32BitsAndAreNeverReused) {
    HANDLE first = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    CloseHandle(first);
    HANDLE second = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    EXPECT_NE(first, second);
    auto value = reinterpret_cast<uintptr_t>(second);
    EXPECT_LE(value, 0xFFFFFFFFu);
    EXPECT_NE(value, 0x666u);
    EXPECT_NE(value, 0xFFFFu);
    CloseHandle(second);
}

TEST(Interlocked, OperationsReturnWindowsValues) {
    LONG volatile value = 5;
    EXPECT_EQ(InterlockedIncrement(&value), 6);
    EXPECT_EQ(InterlockedDecrement(&value), 5);
    EXPECT_EQ(InterlockedExchange(&value, 9), 5);
    EXPECT_EQ(InterlockedExchangeAdd(&value, 2), 9);
    EXPECT_EQ(InterlockedCompareExchange(&value, 1, 11), 11);
    EXPECT_EQ(value, 1);
    EXPECT_EQ(InterlockedCompareExchange(&value, 3, 7), 1);
    EXPECT_EQ(value, 1);
}

TEST(GlobalMemory, MoveableBlocksCountLocks) {
    HGLOBAL block = GlobalAlloc(GHND, 100);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(GlobalSize(block), 100u);
    auto* bytes = static_cast<unsigned char*>(GlobalLock(block));
    ASSERT_NE(bytes, nullptr);
    EXPECT_NE(static_cast<void*>(bytes), block);  // a moveable handle is not the address
    EXPECT_EQ(bytes[0], 0);
    EXPECT_EQ(bytes[99], 0);
    EXPECT_EQ(GlobalLock(block), bytes);
    EXPECT_EQ(GlobalFlags(block) & GMEM_LOCKCOUNT, 2u);
    EXPECT_TRUE(GlobalUnlock(block));
    EXPECT_FALSE(GlobalUnlock(block));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(NO_ERROR));
    EXPECT_EQ(GlobalHandle(bytes), block);
    EXPECT_EQ(GlobalFree(block), nullptr);
    EXPECT_EQ(GlobalSize(block), 0u);
    EXPECT_EQ(GlobalFree(block), block);  // a second free fails
}

TEST(GlobalMemory, FixedBlocksAreTheirOwnAddress) {
    HGLOBAL block = GlobalAlloc(GPTR, 16);
    EXPECT_EQ(GlobalLock(block), block);
    std::memset(block, 0xAB, 16);
    HGLOBAL grown = GlobalReAlloc(block, 32, GMEM_ZEROINIT);
    EXPECT_EQ(grown, nullptr);  // fixed blocks cannot move
    EXPECT_EQ(GlobalFree(block), nullptr);
}

TEST(GlobalMemory, ReallocKeepsTheHandleOfAMoveableBlock) {
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, 4);
    std::memcpy(GlobalLock(block), "abcd", 4);
    GlobalUnlock(block);
    EXPECT_EQ(GlobalReAlloc(block, 8, GMEM_ZEROINIT), block);
    EXPECT_EQ(GlobalSize(block), 8u);
    auto* bytes = static_cast<char*>(GlobalLock(block));
    EXPECT_EQ(std::string(bytes, 4), "abcd");
    EXPECT_EQ(bytes[7], 0);
    GlobalUnlock(block);
    GlobalFree(block);
}

TEST(Time, LocalAndSystemTimeAreValid) {
    SYSTEMTIME local = {}, utc = {};
    GetLocalTime(&local);
    GetSystemTime(&utc);
    EXPECT_GE(local.wYear, 2024);
    EXPECT_LE(local.wMilliseconds, 999);
    EXPECT_LE(utc.wHour, 23);
    EXPECT_GE(utc.wMonth, 1);
    DWORD before = GetTickCount();
    Sleep(5);
    EXPECT_GE(GetTickCount() - before, 5u);
}

TEST(Environment, ReadsVariablesAndReportsTheNeededSize) {
    setenv("W32_TEST_VALUE", "abc", 1);
    WCHAR small[2] = {};
    EXPECT_EQ(GetEnvironmentVariableW(u"W32_TEST_VALUE", small, 2), 4u);
    WCHAR value[8] = {};
    EXPECT_EQ(GetEnvironmentVariableW(u"W32_TEST_VALUE", value, 8), 3u);
    EXPECT_EQ(std::u16string(value), u"abc");
    EXPECT_EQ(GetEnvironmentVariableW(u"W32_TEST_MISSING", value, 8), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ENVVAR_NOT_FOUND));
}

}  // namespace
