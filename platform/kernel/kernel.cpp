// Kernel services every backend shares: debug output, the counter and tick
// count over the clock in force (clock.h), the last-error code and the system
// message texts. Threads, sleeping and the clocks themselves are in
// threads.cpp (desktop) and fibers.cpp (browser).

#include "platform/kernel/kernel.h"
#include "platform/kernel/clock.h"

#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace {

constexpr std::uint64_t kCountsPerSecond = 10'000'000;
constexpr std::uint64_t kNsPerCount = 1'000'000'000 / kCountsPerSecond;

thread_local DWORD lastError = ERROR_SUCCESS;

} // namespace

void OutputDebugStringA(LPCSTR text) {
    if (text == nullptr) {
        return;
    }
    std::size_t left = std::strlen(text);
    while (left > 0) {
        ssize_t n = ::write(STDERR_FILENO, text, left);
        if (n <= 0) {
            return;
        }
        text += n;
        left -= static_cast<std::size_t>(n);
    }
}

BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency) {
    if (frequency == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    frequency->QuadPart = static_cast<std::int64_t>(kCountsPerSecond);
    return TRUE;
}

BOOL QueryPerformanceCounter(LARGE_INTEGER* count) {
    if (count == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    count->QuadPart = static_cast<std::int64_t>(platform::kernel::readClockNs() / kNsPerCount);
    return TRUE;
}

DWORD GetTickCount() {
    return static_cast<DWORD>(platform::kernel::readClockNs() / 1'000'000);
}

BOOL IsProcessorFeaturePresent(DWORD feature) {
#if defined(__x86_64__) || defined(__i386__)
    if (feature == PF_AVX2_INSTRUCTIONS_AVAILABLE) {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0 ? TRUE : FALSE;
    }
#else
    (void)feature;
#endif
    return FALSE;
}

DWORD GetLastError() {
    return lastError;
}
void SetLastError(DWORD code) {
    lastError = code;
}

namespace {

struct SystemMessage {
    DWORD code;
    const char* text;
};

// Texts of the system's message table for the codes this layer sets.
constexpr SystemMessage kSystemMessages[] = {
    {ERROR_SUCCESS, "The operation completed successfully.\r\n"},
    {ERROR_FILE_NOT_FOUND, "The system cannot find the file specified.\r\n"},
    {ERROR_INVALID_HANDLE, "The handle is invalid.\r\n"},
    {ERROR_NOT_ENOUGH_MEMORY, "Not enough memory resources are available to process this command.\r\n"},
    {ERROR_NOT_SUPPORTED, "The request is not supported.\r\n"},
    {ERROR_INVALID_PARAMETER, "The parameter is incorrect.\r\n"},
    {ERROR_CALL_NOT_IMPLEMENTED, "This function is not supported on this system.\r\n"},
    {ERROR_MR_MID_NOT_FOUND,
     "The system cannot find message text for message number 0x%1 in the message file for %2.\r\n"},
    {ERROR_INVALID_WINDOW_HANDLE, "Invalid window handle.\r\n"},
    {ERROR_CANNOT_FIND_WND_CLASS, "Cannot find window class.\r\n"},
    {ERROR_CLASS_ALREADY_EXISTS, "Class already exists.\r\n"},
    {ERROR_RESOURCE_DATA_NOT_FOUND, "The specified image file did not contain a resource section.\r\n"},
    {ERROR_RESOURCE_TYPE_NOT_FOUND, "The specified resource type cannot be found in the image file.\r\n"},
    {ERROR_RESOURCE_NAME_NOT_FOUND, "The specified resource name cannot be found in the image file.\r\n"},
};

} // namespace

DWORD FormatMessageA(DWORD flags, LPCVOID, DWORD messageId, DWORD, LPSTR buffer, DWORD size, void*) {
    if ((flags & FORMAT_MESSAGE_FROM_SYSTEM) == 0 || buffer == nullptr) {
        OutputDebugStringA("FormatMessageA: only system messages are provided\n");
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const char* text = nullptr;
    for (const SystemMessage& m : kSystemMessages) {
        if (m.code == messageId) {
            text = m.text;
        }
    }
    if (text == nullptr) {
        SetLastError(ERROR_MR_MID_NOT_FOUND);
        return 0;
    }
    const std::size_t length = std::strlen(text);
    if ((flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) != 0) {
        auto* block = static_cast<char*>(std::malloc(length + 1));
        if (block == nullptr) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return 0;
        }
        std::memcpy(block, text, length + 1);
        *reinterpret_cast<char**>(buffer) = block;
        return static_cast<DWORD>(length);
    }
    if (size <= length) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(buffer, text, length + 1);
    return static_cast<DWORD>(length);
}

HLOCAL LocalFree(HLOCAL memory) {
    std::free(memory);
    return nullptr;
}

HMODULE GetModuleHandleA(LPCSTR moduleName) {
    if (moduleName != nullptr) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return nullptr;
    }
    // Any stable non-null value names the program itself; resources are looked up by id.
    static char self;
    return reinterpret_cast<HMODULE>(&self);
}
