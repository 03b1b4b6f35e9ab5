// Kernel objects (threads, events), waits, time, interlocked operations and
// global memory of the stand-in. Kernel handles are values of the session's
// handle space and are closed with CloseHandle.
#pragma once

#include "w32/types.h"

// Waits.
#define WAIT_OBJECT_0 0x00000000L
#define WAIT_ABANDONED 0x00000080L
#define WAIT_IO_COMPLETION 0x000000C0L
#define WAIT_TIMEOUT 258L
#define WAIT_FAILED 0xFFFFFFFFu
#define STILL_ACTIVE 259L
#define MAXIMUM_WAIT_OBJECTS 64

typedef DWORD(WINAPI* LPTHREAD_START_ROUTINE)(LPVOID lpThreadParameter);
#define CREATE_SUSPENDED 0x00000004

W32API BOOL WINAPI CloseHandle(HANDLE hObject);
W32API HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES lpThreadAttributes, SIZE_T dwStackSize,
                                  LPTHREAD_START_ROUTINE lpStartAddress, LPVOID lpParameter,
                                  DWORD dwCreationFlags, LPDWORD lpThreadId);
// TerminateThread cannot kill a POSIX thread safely: the stand-in marks the
// thread terminated (waits on it end, its exit code is set) and detaches it;
// the thread itself runs on until it returns or the process exits.
W32API BOOL WINAPI TerminateThread(HANDLE hThread, DWORD dwExitCode);
W32API BOOL WINAPI GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode);
W32API DWORD WINAPI ResumeThread(HANDLE hThread);
W32API HANDLE WINAPI CreateEventW(LPSECURITY_ATTRIBUTES lpEventAttributes, BOOL bManualReset,
                                  BOOL bInitialState, LPCWSTR lpName);
W32API BOOL WINAPI SetEvent(HANDLE hEvent);
W32API BOOL WINAPI ResetEvent(HANDLE hEvent);
W32API DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds);
W32API DWORD WINAPI WaitForSingleObjectEx(HANDLE hHandle, DWORD dwMilliseconds, BOOL bAlertable);
W32API DWORD WINAPI WaitForMultipleObjects(DWORD nCount, const HANDLE* lpHandles, BOOL bWaitAll,
                                           DWORD dwMilliseconds);
// Sleep handles no messages, as on Windows.
W32API void WINAPI Sleep(DWORD dwMilliseconds);
W32API DWORD WINAPI SleepEx(DWORD dwMilliseconds, BOOL bAlertable);

W32API DWORD WINAPI GetCurrentProcessId(void);
W32API DWORD WINAPI GetCurrentThreadId(void);
W32API HANDLE WINAPI GetCurrentProcess(void);
W32API HANDLE WINAPI GetCurrentThread(void);
W32API void WINAPI ExitProcess(UINT uExitCode);

// Time.
W32API DWORD WINAPI GetTickCount(void);
W32API ULONGLONG WINAPI GetTickCount64(void);
W32API void WINAPI GetSystemTime(LPSYSTEMTIME lpSystemTime);
W32API void WINAPI GetLocalTime(LPSYSTEMTIME lpSystemTime);
W32API void WINAPI GetSystemTimeAsFileTime(LPFILETIME lpSystemTimeAsFileTime);
// -1, 0 or 1 as the first time is earlier than, equal to or later than the second.
W32API LONG WINAPI CompareFileTime(const FILETIME* lpFileTime1, const FILETIME* lpFileTime2);
W32API BOOL WINAPI QueryPerformanceCounter(LARGE_INTEGER* lpPerformanceCount);
W32API BOOL WINAPI QueryPerformanceFrequency(LARGE_INTEGER* lpFrequency);

// Interlocked operations on 32-bit values.
W32API LONG WINAPI InterlockedIncrement(LONG volatile* Addend);
W32API LONG WINAPI InterlockedDecrement(LONG volatile* Addend);
W32API LONG WINAPI InterlockedExchange(LONG volatile* Target, LONG Value);
W32API LONG WINAPI InterlockedExchangeAdd(LONG volatile* Addend, LONG Value);
W32API LONG WINAPI InterlockedCompareExchange(LONG volatile* Destination, LONG Exchange,
                                              LONG Comperand);

// Global memory. GMEM_MOVEABLE blocks are reached through GlobalLock, which
// counts locks; GlobalFree of a locked block still frees it, as on Windows.
#define GMEM_FIXED 0x0000
#define GMEM_MOVEABLE 0x0002
#define GMEM_ZEROINIT 0x0040
#define GHND (GMEM_MOVEABLE | GMEM_ZEROINIT)
#define GPTR (GMEM_FIXED | GMEM_ZEROINIT)
#define GMEM_INVALID_HANDLE 0x8000
#define GMEM_LOCKCOUNT 0x00FF

W32API HGLOBAL WINAPI GlobalAlloc(UINT uFlags, SIZE_T dwBytes);
W32API HGLOBAL WINAPI GlobalReAlloc(HGLOBAL hMem, SIZE_T dwBytes, UINT uFlags);
W32API LPVOID WINAPI GlobalLock(HGLOBAL hMem);
W32API BOOL WINAPI GlobalUnlock(HGLOBAL hMem);
W32API HGLOBAL WINAPI GlobalFree(HGLOBAL hMem);
W32API SIZE_T WINAPI GlobalSize(HGLOBAL hMem);
W32API UINT WINAPI GlobalFlags(HGLOBAL hMem);
W32API HGLOBAL WINAPI GlobalHandle(LPCVOID pMem);

// Environment.
W32API DWORD WINAPI GetEnvironmentVariableW(LPCWSTR lpName, LPWSTR lpBuffer, DWORD nSize);
W32API DWORD WINAPI GetCurrentDirectoryW(DWORD nBufferLength, LPWSTR lpBuffer);
