// Wave-out audio: the subset of the platform's waveOut* calls the show uses,
// with the platform's names, structures, constants and result codes.
//
// This layer provides one device (WAVE_MAPPER) for 16-bit PCM, no callback,
// and plays one prepared header at a time, looping it while it carries
// WHDR_BEGINLOOP | WHDR_ENDLOOP (any other header plays once). Where it goes:
//   live mode:    an SDL audio device; when none opens, a null sink whose
//                 position advances with the wall clock (one log line says
//                 so; alsa-lib's own error lines are kept off stderr);
//   virtual mode: a sink whose position advances with the virtual clock and
//                 which can keep the PCM it plays (wavesink.h).
// Anything outside that subset is refused with an error result and a log line.
#pragma once

#include "platform/kernel/windef.h"

using DWORD_PTR = std::uintptr_t;
using MMRESULT = UINT;
struct HWAVEOUT__;
using HWAVEOUT = HWAVEOUT__*;

inline constexpr MMRESULT MMSYSERR_NOERROR = 0;
inline constexpr MMRESULT MMSYSERR_ERROR = 1;
inline constexpr MMRESULT MMSYSERR_BADDEVICEID = 2;
inline constexpr MMRESULT MMSYSERR_INVALHANDLE = 5;
inline constexpr MMRESULT MMSYSERR_NODRIVER = 6;
inline constexpr MMRESULT MMSYSERR_NOMEM = 7;
inline constexpr MMRESULT MMSYSERR_NOTSUPPORTED = 8;
inline constexpr MMRESULT MMSYSERR_INVALFLAG = 10;
inline constexpr MMRESULT MMSYSERR_INVALPARAM = 11;
inline constexpr MMRESULT WAVERR_BADFORMAT = 32;
inline constexpr MMRESULT WAVERR_STILLPLAYING = 33;
inline constexpr MMRESULT WAVERR_UNPREPARED = 34;

inline constexpr UINT WAVE_MAPPER = 0xFFFFFFFFu;
inline constexpr DWORD CALLBACK_NULL = 0;
inline constexpr WORD WAVE_FORMAT_PCM = 1;

inline constexpr DWORD WHDR_DONE = 0x01;
inline constexpr DWORD WHDR_PREPARED = 0x02;
inline constexpr DWORD WHDR_BEGINLOOP = 0x04;
inline constexpr DWORD WHDR_ENDLOOP = 0x08;
inline constexpr DWORD WHDR_INQUEUE = 0x10;

inline constexpr UINT TIME_MS = 0x01;
inline constexpr UINT TIME_SAMPLES = 0x02;
inline constexpr UINT TIME_BYTES = 0x04;

struct WAVEFORMATEX {
    WORD wFormatTag;
    WORD nChannels;
    DWORD nSamplesPerSec;
    DWORD nAvgBytesPerSec;
    WORD nBlockAlign;
    WORD wBitsPerSample;
    WORD cbSize;
};

struct WAVEHDR {
    LPSTR lpData;
    DWORD dwBufferLength;
    DWORD dwBytesRecorded;
    DWORD_PTR dwUser;
    DWORD dwFlags;
    DWORD dwLoops;
    WAVEHDR* lpNext;
    DWORD_PTR reserved;
};

struct MMTIME {
    UINT wType;
    union {
        DWORD ms;
        DWORD sample;
        DWORD cb;
        DWORD ticks;
    } u;
};

// Opens WAVE_MAPPER (or device 0) for 16-bit PCM of 1 or 2 channels; only CALLBACK_NULL.
MMRESULT waveOutOpen(HWAVEOUT* device, UINT deviceId, const WAVEFORMATEX* format, DWORD_PTR callback,
                     DWORD_PTR instance, DWORD flags);
// Marks the header prepared.
MMRESULT waveOutPrepareHeader(HWAVEOUT device, WAVEHDR* header, UINT size);
// Starts playing the prepared header; the position counts from this call.
// Refused while another header plays.
MMRESULT waveOutWrite(HWAVEOUT device, WAVEHDR* header, UINT size);
// TIME_BYTES (and TIME_SAMPLES, TIME_MS): played since the write; other types get TIME_BYTES.
// On an SDL device that is the byte estimated to be heard now: behind the bytes
// copied by SDL's buffer and the device's, moving on with the clock between
// SDL's callbacks, never backwards.
MMRESULT waveOutGetPosition(HWAVEOUT device, MMTIME* time, UINT size);
// Refused with WAVERR_STILLPLAYING while the header is queued.
MMRESULT waveOutUnprepareHeader(HWAVEOUT device, WAVEHDR* header, UINT size);
// Stops playing, marks the header done and sets the position back to 0.
MMRESULT waveOutReset(HWAVEOUT device);
// Refused with WAVERR_STILLPLAYING while a header is queued.
MMRESULT waveOutClose(HWAVEOUT device);
