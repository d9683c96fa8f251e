// Reading an XM module through five byte-source callbacks, the memory source
// over a block of bytes, and the release of a Module.
//
// The loader refuses (null) any input it cannot load safely: a wrong magic
// text, a version before 0x0104, more than 32 channels, a song length of 0 or
// above 256, more than 256 patterns or 128 instruments, patterns of 0 or more
// than 256 rows, a file that ends inside its module or pattern headers, more
// than 16 samples in an instrument, more than 12 envelope points, and the
// variants it cannot play: ModPlug ADPCM-packed and Ogg Vorbis compressed
// sample data. It mends what it can: loops are cut to the sample data,
// envelope indices beyond the points switch that envelope feature off, packed
// pattern data holding fewer cells than the pattern leaves the rest empty, a
// 16-bit sample of an odd byte length drops its last byte, and a file that
// ends inside its instruments or sample data reads the rest as zeros (empty
// instruments, shortened samples). Mends that lose data are logged.
#pragma once

#include "music/module.h"

#include <cstddef>
#include <cstdint>

namespace music {

using SourceOpen = void* (*)(const char* name);
using SourceClose = void (*)(void* handle);
using SourceRead = std::uint32_t (*)(void* destination, std::uint32_t count, void* handle);
// origin: 0 from the start, 1 from the current position, 2 to the end.
using SourceSeek = void (*)(void* handle, std::int32_t offset, std::uint8_t origin);
using SourceTell = std::int32_t (*)(void* handle);

// Installs all five, or clears all five when any is null.
void setSourceCallbacks(SourceOpen open, SourceClose close, SourceRead read, SourceSeek seek, SourceTell tell);
// True while all five callbacks are installed.
bool sourceCallbacksInstalled();

// The block that the memory source reads; set before its callbacks are installed.
void setMemoryBlock(const void* base, std::size_t size);
// The memory source operations (for setSourceCallbacks).
void* memoryOpen(const char* name);
void memoryClose(void* handle);
std::uint32_t memoryRead(void* destination, std::uint32_t count, void* handle);
void memorySeek(void* handle, std::int32_t offset, std::uint8_t origin);
std::int32_t memoryTell(void* handle);
// Installs the memory source over the block given.
void useMemorySource(const void* base, std::size_t size);

// Loads a module from the installed source; null when the source does not
// open or the data is refused.
Module* loadModule();
// Why the last loadModule returned null, naming what is not supported; empty
// after a load that succeeded.
const char* lastLoadRefusal();
// Stops playback of the module when it plays, then releases it. Null does nothing.
void freeModule(Module* module);

// freeModule calls the hook first. The audio output installs one that stops a
// playing module, so the loader needs no audio device of its own (tools that
// only render link no sound system).
using ModuleReleaseHook = void (*)(Module*);
void setModuleReleaseHook(ModuleReleaseHook hook);

} // namespace music
