// The user-interface layer on a page (canvashost.cpp), driven by
// dialog_chromium.mjs as a person would: the setup dialog's template is shown
// on its canvas while a thread (a fiber) polls every 5 ms; the driver clicks
// OK where this program says it is; after that click wave-out plays a looped
// block on Web Audio (webaudio.cpp) and the program reports its position;
// then the driver presses Escape, which the loop sees through
// GetAsyncKeyState. The program says what it saw on the console.
#include "platform/kernel/kernel.h"
#include "platform/kernel/runmode.h"
#include "platform/win32/dialog.h"
#include "platform/win32/user.h"
#include "platform/winmm/mmsystem.h"
#include "platform/winmm/wavesink.h"
#include "resources/dialogs/dialogs.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

int polls = 0;
bool stopPolling = false;

DWORD poll(LPVOID) {
    while (!stopPolling) {
        ++polls;
        Sleep(5);
    }
    return 0;
}

INT_PTR CALLBACK procedure(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) {
        // The show's procedure enables OK once a mode is chosen.
        EnableWindow(GetDlgItem(dialog, IDOK), TRUE);
        RECT window{};
        RECT ok{};
        GetWindowRect(dialog, &window);
        GetWindowRect(GetDlgItem(dialog, IDOK), &ok);
        std::printf("riza3v-test: ok button at %d %d\n", static_cast<int>((ok.left + ok.right) / 2 - window.left),
                    static_cast<int>((ok.top + ok.bottom) / 2 - window.top));
        return TRUE;
    }
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        EndDialog(dialog, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

} // namespace

int main() {
    platform::kernel::setRunMode(platform::kernel::RunMode::live);
    resources::installDialogResources();
    HANDLE thread = CreateThread(nullptr, 0, poll, nullptr, 0, nullptr);
    const INT_PTR chosen = DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(resources::kSetupDialogResource),
                                           nullptr, procedure, 0);
    std::printf("riza3v-test: dialog returned %d after %d polls\n", static_cast<int>(chosen), polls);

    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 2;
    format.nSamplesPerSec = 44100;
    format.wBitsPerSample = 16;
    format.nBlockAlign = 4;
    format.nAvgBytesPerSec = 44100 * 4;
    static std::vector<char> block(44100 * 4); // one second of silence, looped
    WAVEHDR header{};
    header.lpData = block.data();
    header.dwBufferLength = static_cast<DWORD>(block.size());
    header.dwFlags = WHDR_BEGINLOOP | WHDR_ENDLOOP;
    header.dwLoops = 0xFFFFFFFF;
    HWAVEOUT device = nullptr;
    waveOutOpen(&device, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL);
    waveOutPrepareHeader(device, &header, sizeof header);
    waveOutWrite(device, &header, sizeof header);
    Sleep(1000);
    MMTIME time{};
    time.wType = TIME_BYTES;
    waveOutGetPosition(device, &time, sizeof time);
    std::printf("riza3v-test: wave-out position %u bytes after 1 s, null sink %d\n", static_cast<unsigned>(time.u.cb),
                platform::winmm::waveOutUsesNullSink() ? 1 : 0);

    GetAsyncKeyState(VK_ESCAPE);
    while ((GetAsyncKeyState(VK_ESCAPE) & 1) == 0) {
        Sleep(10);
    }
    stopPolling = true;
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    std::printf("riza3v-test: escape seen, %d polls\n", polls);
    std::exit(1);
}
