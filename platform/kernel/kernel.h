// Kernel services: debug output, clocks, sleeping, threads and the last-error
// code, with the names, arguments and results of the platform calls.
//
// Clocks have two modes (see clock.h): the wall clock, and a virtual clock
// that the hosting executable drives. Every call below follows the mode in
// force.
#pragma once

#include "platform/kernel/windef.h"

// System error codes the layer sets (values from the platform's list).
inline constexpr DWORD ERROR_SUCCESS = 0;
inline constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
inline constexpr DWORD ERROR_INVALID_HANDLE = 6;
inline constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
inline constexpr DWORD ERROR_NOT_SUPPORTED = 50;
inline constexpr DWORD ERROR_INVALID_PARAMETER = 87;
inline constexpr DWORD ERROR_CALL_NOT_IMPLEMENTED = 120;
inline constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;
inline constexpr DWORD ERROR_MR_MID_NOT_FOUND = 317;
inline constexpr DWORD ERROR_CLASS_ALREADY_EXISTS = 1410;
inline constexpr DWORD ERROR_INVALID_WINDOW_HANDLE = 1400;
inline constexpr DWORD ERROR_CANNOT_FIND_WND_CLASS = 1407;
inline constexpr DWORD ERROR_RESOURCE_DATA_NOT_FOUND = 1812;
inline constexpr DWORD ERROR_RESOURCE_TYPE_NOT_FOUND = 1813;
inline constexpr DWORD ERROR_RESOURCE_NAME_NOT_FOUND = 1814;

// FormatMessageA flags.
inline constexpr DWORD FORMAT_MESSAGE_ALLOCATE_BUFFER = 0x00000100;
inline constexpr DWORD FORMAT_MESSAGE_IGNORE_INSERTS = 0x00000200;
inline constexpr DWORD FORMAT_MESSAGE_FROM_STRING = 0x00000400;
inline constexpr DWORD FORMAT_MESSAGE_FROM_HMODULE = 0x00000800;
inline constexpr DWORD FORMAT_MESSAGE_FROM_SYSTEM = 0x00001000;

// IsProcessorFeaturePresent's feature number for AVX2.
inline constexpr DWORD PF_AVX2_INSTRUCTIONS_AVAILABLE = 40;

inline constexpr WORD LANG_NEUTRAL = 0x00;
inline constexpr WORD SUBLANG_DEFAULT = 0x01;
constexpr DWORD MAKELANGID(WORD primary, WORD sub) {
    return static_cast<DWORD>((sub << 10) | primary);
}

// Thread priorities.
inline constexpr int THREAD_PRIORITY_NORMAL = 0;
inline constexpr int THREAD_PRIORITY_HIGHEST = 2;
inline constexpr int THREAD_PRIORITY_TIME_CRITICAL = 15;

inline constexpr DWORD INFINITE = 0xFFFFFFFF;
inline constexpr DWORD WAIT_OBJECT_0 = 0;
inline constexpr DWORD WAIT_TIMEOUT = 258;
inline constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;

using LPTHREAD_START_ROUTINE = DWORD (*)(LPVOID);
struct SECURITY_ATTRIBUTES;

// Writes the text to standard error in one write call, exactly as given.
void OutputDebugStringA(LPCSTR text);

// The counter frequency: 10,000,000 counts per second in both clock modes.
BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency);
// Counts since an arbitrary fixed origin; monotonic.
BOOL QueryPerformanceCounter(LARGE_INTEGER* count);
// Milliseconds since the clock's origin, wrapping at 2^32.
DWORD GetTickCount();
// Suspends the calling thread for at least the given milliseconds of the
// clock in force (see clock.h for the virtual clock's rules).
void Sleep(DWORD milliseconds);

// Starts a thread running start(parameter). Flags other than 0 are refused.
// The handle stays valid until CloseHandle.
HANDLE CreateThread(SECURITY_ATTRIBUTES* attributes, SIZE_T stackSize, LPTHREAD_START_ROUTINE start, LPVOID parameter,
                    DWORD creationFlags, LPDWORD threadId);
// Best effort: asks the scheduler for a real-time class for TIME_CRITICAL and
// HIGHEST; where the process may not raise priority the call still succeeds.
BOOL SetThreadPriority(HANDLE thread, int priority);
// Waits for a thread made by CreateThread to end (INFINITE or 0 only).
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);
// Releases a thread handle; waits for the thread to end if it still runs.
BOOL CloseHandle(HANDLE handle);

// The calling thread's last-error code.
DWORD GetLastError();
void SetLastError(DWORD code);

// FORMAT_MESSAGE_FROM_SYSTEM only: writes the system text of messageId.
// With FORMAT_MESSAGE_ALLOCATE_BUFFER, buffer is really a char** that
// receives a block to free with LocalFree. Returns the number of characters
// written, or 0 (last error ERROR_MR_MID_NOT_FOUND) for an unknown code.
DWORD FormatMessageA(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId, LPSTR buffer, DWORD size,
                     void* arguments);
// PF_AVX2_INSTRUCTIONS_AVAILABLE only: TRUE when the processor has AVX2 (and
// the build targets a processor that can have it); FALSE for any other feature.
BOOL IsProcessorFeaturePresent(DWORD feature);
// Marks a function the compiler may build with AVX2 instructions; call it
// only where IsProcessorFeaturePresent(PF_AVX2_INSTRUCTIONS_AVAILABLE) holds.
// Elsewhere (WebAssembly) the mark is empty and the function is plain code.
#if defined(__x86_64__) || defined(__i386__)
#define AVX2_FUNCTION __attribute__((target("avx2")))
#else
#define AVX2_FUNCTION
#endif

// The handle of the running program (name null) or null for any other name.
HMODULE GetModuleHandleA(LPCSTR moduleName);

// Frees a block that FormatMessageA allocated; returns nullptr.
HLOCAL LocalFree(HLOCAL memory);
