// XM loader. Layout facts follow the XM format as FastTracker 2 writes it
// (little-endian; header size counted from offset 60; packed pattern cells;
// delta-coded sample data).

#include "music/xmloader.h"

#include "debuglog/log.h"
#include "music/player.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace music {

Sample EmptySample{};
Instrument EmptyInstrument{};

namespace {

struct SourceCallbacks {
    SourceOpen open;
    SourceClose close;
    SourceRead read;
    SourceSeek seek;
    SourceTell tell;
};
SourceCallbacks callbacks{};

const std::uint8_t* memoryBase = nullptr;
std::int32_t memorySize = 0;

struct MemorySource {
    std::int32_t length;
    std::int32_t position;
    const std::uint8_t* base;
};

constexpr char kMagic[] = "Extended Module: ";
constexpr int kMagicLength = 17;
constexpr std::uint16_t kVersion = 0x0104;
constexpr int kMaxPatterns = 256;
constexpr int kMaxRows = 256;
constexpr int kMaxInstruments = 128;

// Reads through the callbacks and remembers whether any read came up short.
// Short reads leave zeros in the destination (the loader's buffers and
// fields start zeroed), so what a file cut short lacks reads as zeros.
struct Reader {
    void* handle;
    std::int32_t size;
    bool complete = true;
    bool endLogged = false;

    std::uint32_t bytes(void* destination, std::uint32_t count) {
        const std::uint32_t got = callbacks.read(destination, count, handle);
        if (got != count) {
            complete = false;
        }
        return got;
    }
    std::uint8_t u8() {
        std::uint8_t v = 0;
        bytes(&v, 1);
        return v;
    }
    std::uint16_t u16() {
        std::uint8_t b[2] = {};
        bytes(b, 2);
        return static_cast<std::uint16_t>(b[0] | (b[1] << 8));
    }
    std::uint32_t u32() {
        std::uint8_t b[4] = {};
        bytes(b, 4);
        return static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
               (static_cast<std::uint32_t>(b[2]) << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
    }
    void seek(std::int64_t position) {
        position = std::clamp<std::int64_t>(position, 0, size);
        callbacks.seek(handle, static_cast<std::int32_t>(position), 0);
    }
    void skip(std::int32_t count) {
        const std::int64_t target = static_cast<std::int64_t>(tell()) + count;
        callbacks.seek(handle, count, 1);
        if (tell() != target) {
            complete = false;
        }
    }
    std::int32_t tell() { return callbacks.tell(handle); }
    std::int32_t left() { return std::max(0, size - tell()); }
};

char lastRefusal[160] = "";

bool refuse(const char* format, ...) __attribute__((format(printf, 1, 2)));
bool refuse(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vsnprintf(lastRefusal, sizeof lastRefusal, format, args);
    va_end(args);
    logPrintf("xm: %s", lastRefusal);
    return false;
}

// Logs the first place at which the file turned out to end early; what
// follows it reads as zeros (empty instruments, silent sample tails).
void noteEnd(Reader& in, const char* format, ...) __attribute__((format(printf, 2, 3)));
void noteEnd(Reader& in, const char* format, ...) {
    if (in.complete || in.endLogged) {
        return;
    }
    in.endLogged = true;
    char where[120];
    va_list args;
    va_start(args, format);
    std::vsnprintf(where, sizeof where, format, args);
    va_end(args);
    logPrintf("xm: the file ends inside %s; what is missing reads as empty", where);
}

// XM format: each cell is either a mask byte (bit 7 set; bits 0..4 say which of
// note, instrument, volume, effect, parameter follow) or a note byte followed
// by the four other fields. Returns the number of whole cells; the missing
// fields of a cell cut short stay 0, as the cells after it do (FastTracker 2
// and libopenmpt leave the cells that packed data lack empty).
std::uint32_t decodePattern(const std::uint8_t* packed, std::uint32_t size, NoteCell* cells, std::uint32_t count) {
    std::uint32_t at = 0;
    bool cut = false;
    auto next = [&](std::uint8_t& out) {
        if (at < size) {
            out = packed[at++];
        } else {
            cut = true;
        }
    };
    for (std::uint32_t i = 0; i < count; ++i) {
        if (at >= size) {
            return i;
        }
        NoteCell& cell = cells[i];
        const std::uint8_t b = packed[at++];
        if ((b & 0x80) != 0) {
            if ((b & 0x01) != 0) {
                next(cell.note);
            }
            if ((b & 0x02) != 0) {
                next(cell.instrument);
            }
            if ((b & 0x04) != 0) {
                next(cell.volume);
            }
            if ((b & 0x08) != 0) {
                next(cell.effect);
            }
            if ((b & 0x10) != 0) {
                next(cell.parameter);
            }
        } else {
            cell.note = b;
            next(cell.instrument);
            next(cell.volume);
            next(cell.effect);
            next(cell.parameter);
        }
        if (cell.note == 97) {
            cell.note = KEY_OFF;
        }
        if (cell.instrument > 128) {
            cell.instrument = 0;
        }
        if (cut) {
            return i;
        }
    }
    return count;
}

bool readPatterns(Reader& in, Module& m, int fileCount) {
    for (int p = 0; p < fileCount; ++p) {
        in.u32(); // header length: taken to be 9 bytes
        in.u8();  // packing type
        const std::uint32_t rows = in.u16();
        const std::uint32_t packedSize = in.u16();
        if (!in.complete) {
            return refuse("the file ends inside a pattern header");
        }
        if (rows == 0 || rows > kMaxRows) {
            return refuse("pattern row count out of range");
        }
        const std::uint32_t count = rows * static_cast<std::uint32_t>(m.channelCount);
        Pattern& pattern = m.patterns[p];
        pattern.rows = rows;
        pattern.cells = static_cast<NoteCell*>(std::calloc(count, sizeof(NoteCell)));
        if (pattern.cells == nullptr) {
            return refuse("out of memory");
        }
        if (packedSize == 0) {
            continue;
        }
        auto* packed = static_cast<std::uint8_t*>(std::malloc(packedSize));
        if (packed == nullptr) {
            return refuse("out of memory");
        }
        const std::uint32_t got = in.bytes(packed, packedSize);
        const std::uint32_t decoded = decodePattern(packed, got, pattern.cells, count);
        std::free(packed);
        noteEnd(in, "the data of pattern %d", p);
        if (decoded < count) {
            logPrintf("xm: pattern %d holds %u of its %u cells; the rest are empty", p, decoded, count);
        }
    }
    for (int p = fileCount; p < m.patternSlots; ++p) {
        m.patterns[p].rows = 64;
        m.patterns[p].cells =
            static_cast<NoteCell*>(std::calloc(64u * static_cast<unsigned>(m.channelCount), sizeof(NoteCell)));
        if (m.patterns[p].cells == nullptr) {
            return refuse("out of memory");
        }
    }
    return true;
}

// Envelope mends: coordinates that run backwards would never be met by the
// envelope's tick counter, values above 64 would overdrive the volume, and
// sustain or loop points beyond the last point would index past the table.
void mendEnvelope(EnvelopePoint* points, std::uint8_t count, std::uint8_t& type, std::uint8_t sustain,
                  std::uint8_t loopStart, std::uint8_t loopEnd) {
    for (int i = 0; i < count; ++i) {
        points[i].y = std::min<std::uint16_t>(points[i].y, 64);
        if (i > 0 && points[i].x < points[i - 1].x) {
            points[i].x = points[i - 1].x;
        }
    }
    if (count < 2) {
        type = 0;
    }
    if (sustain >= count) {
        type = static_cast<std::uint8_t>(type & ~kEnvelopeSustain);
    }
    if (loopStart > loopEnd || loopEnd >= count) {
        type = static_cast<std::uint8_t>(type & ~kEnvelopeLoop);
    }
}

void readEnvelope(Reader& in, EnvelopePoint* points) {
    for (int i = 0; i < kEnvelopePoints; ++i) {
        points[i].x = in.u16();
        points[i].y = in.u16();
    }
}

// ModPlug marks 4-bit ADPCM-packed 8-bit sample data with this value in
// the reserved byte of the sample header.
constexpr std::uint8_t kModPlugAdpcm = 0xAD;

// Reads a sample header; byteLength is the file's length of its data in bytes.
bool readSampleHeader(Reader& in, Sample& s, std::uint32_t& byteLength, int instrument) {
    s.length = in.u32();
    byteLength = s.length;
    s.loopStart = in.u32();
    s.loopLength = in.u32();
    s.defaultVolume = in.u8();
    s.finetune = static_cast<std::int8_t>(in.u8());
    s.loopMode = kLoopNone;
    s.bits = 8;
    const std::uint8_t type = in.u8();
    if ((type & 0x01) != 0) {
        s.loopMode = kLoopForward;
    }
    if ((type & 0x02) != 0) {
        s.loopMode = kLoopPingPong;
    }
    if ((type & 0x10) != 0) {
        s.bits = 16;
    }
    s.defaultPanning = in.u8();
    s.relativeNote = static_cast<std::int8_t>(in.u8());
    const std::uint8_t reserved = in.u8();
    in.skip(22); // name
    if (reserved == kModPlugAdpcm && s.bits == 8 && s.length != 0) {
        return refuse("instrument %d has ModPlug ADPCM-packed sample data, which is not supported", instrument + 1);
    }
    // Volumes above 64 would overdrive the voice; XM format caps them at 64.
    s.defaultVolume = std::min<std::uint8_t>(s.defaultVolume, 64);
    return true;
}

// Byte counts become counts of values.
void countValues(Sample& s) {
    if (s.loopMode == kLoopNone) {
        s.loopStart = 0;
        s.loopLength = s.length;
    }
    if (s.bits == 16) {
        s.length /= 2;
        s.loopStart /= 2;
        s.loopLength /= 2;
    }
}

// The loop is cut to the data, so that the mixer and the loop preparation
// below stay inside the buffer; an empty loop plays the whole sample once.
void clampLoop(Sample& s) {
    if (s.loopStart >= s.length) {
        s.loopStart = 0;
        s.loopLength = 0;
    }
    s.loopLength = std::min(s.loopLength, s.length - s.loopStart);
    if (s.loopLength == 0) {
        s.loopStart = 0;
        s.loopLength = s.length;
        s.loopMode = kLoopNone;
    }
}

// The compressed XM variant (OggMod) stores each sample as its decoded
// length (4 bytes) followed by an Ogg Vorbis stream.
bool isOggVorbis(const std::uint8_t* raw, std::uint32_t bytes) {
    return bytes >= 8 && std::memcmp(raw + 4, "OggS", 4) == 0;
}

// Reads the sample's byteLength bytes of data. A 16-bit sample of an odd byte
// length drops its last byte, and the data of the next sample starts where
// the file has it.
bool readSampleData(Reader& in, Sample& s, std::uint32_t byteLength, int instrument) {
    const std::int64_t start = in.tell();
    const std::uint32_t bytesPerValue = s.bits / 8u;
    const auto available = static_cast<std::uint32_t>(in.left()) / bytesPerValue;
    if (s.length > available) {
        in.complete = false;
        if (!in.endLogged) {
            in.endLogged = true;
            logPrintf("xm: the file ends inside the sample data of instrument %d (%u of %u values); the rest is silent",
                      instrument + 1, available, s.length);
        }
        s.length = available;
        clampLoop(s);
    }
    if (s.length == 0) {
        in.seek(start + byteLength);
        return true;
    }
    const std::size_t bufferBytes = static_cast<std::size_t>(s.length) * 2 + 16;
    auto* raw = static_cast<std::uint8_t*>(std::calloc(bufferBytes, 1));
    if (raw == nullptr) {
        return refuse("out of memory");
    }
    in.bytes(raw, s.length * bytesPerValue);
    in.seek(start + byteLength);
    if (isOggVorbis(raw, s.length * bytesPerValue)) {
        std::free(raw);
        return refuse("instrument %d has Ogg Vorbis compressed sample data (OggMod), which is not supported",
                      instrument + 1);
    }
    if (s.bits == 8) {
        s.data = static_cast<std::int16_t*>(std::calloc(bufferBytes, 1));
        if (s.data == nullptr) {
            std::free(raw);
            return refuse("out of memory");
        }
        for (std::uint32_t i = 0; i < s.length; ++i) {
            s.data[i] = static_cast<std::int16_t>(static_cast<std::uint16_t>(raw[i] << 8));
        }
        std::free(raw);
        s.bits = 16;
    } else {
        s.data = static_cast<std::int16_t*>(static_cast<void*>(raw));
        for (std::uint32_t i = 0; i < s.length; ++i) {
            s.data[i] = static_cast<std::int16_t>(raw[2 * i] | (raw[2 * i + 1] << 8));
        }
    }
    // XM format: values are stored as differences; 16-bit wrap-around sums
    // undo them (for 8-bit data this is 8-bit delta decoding scaled by 256).
    std::uint16_t sum = 0;
    for (std::uint32_t i = 0; i < s.length; ++i) {
        sum = static_cast<std::uint16_t>(sum + static_cast<std::uint16_t>(s.data[i]));
        s.data[i] = static_cast<std::int16_t>(sum);
    }
    // The interpolating mixer reads one value past the loop end.
    const std::uint32_t end = s.loopStart + s.loopLength;
    if (s.loopMode == kLoopPingPong) {
        s.data[end] = s.data[end - 1];
    } else if (s.loopMode == kLoopForward) {
        s.data[end] = s.data[s.loopStart];
    }
    return true;
}

// An instrument header cut short by the end of the file reads as zeros: the
// fields that are missing are 0 and its missing samples are empty (trackers
// and libopenmpt play such files).
bool readInstrument(Reader& in, Instrument& inst, int index, int count) {
    const std::int32_t start = in.tell();
    const std::uint32_t headerSize = in.u32();
    in.skip(23); // name and type
    const std::uint16_t sampleCount = in.u16();
    if (sampleCount > kSamplesPerInstrument) {
        return refuse("instrument %d has %u samples, more than 16", index + 1, sampleCount);
    }
    for (Sample*& slot : inst.samples) {
        slot = &EmptySample;
    }
    if (sampleCount == 0) {
        noteEnd(in, "instrument %d of %d", index + 1, count);
        in.seek(static_cast<std::int64_t>(start) + headerSize);
        return true;
    }
    in.u32(); // sample header size: taken to be 40 bytes
    in.bytes(inst.keyMap, kNotes);
    readEnvelope(in, inst.volumeEnvelope);
    readEnvelope(in, inst.panningEnvelope);
    inst.volumePointCount = in.u8();
    inst.panningPointCount = in.u8();
    inst.volumeSustainPoint = in.u8();
    inst.volumeLoopStart = in.u8();
    inst.volumeLoopEnd = in.u8();
    inst.panningSustainPoint = in.u8();
    inst.panningLoopStart = in.u8();
    inst.panningLoopEnd = in.u8();
    inst.volumeType = in.u8();
    inst.panningType = in.u8();
    inst.vibratoType = in.u8();
    inst.vibratoSweep = in.u8();
    inst.vibratoDepth = in.u8();
    inst.vibratoRate = in.u8();
    inst.fadeout = static_cast<std::uint16_t>(in.u16() * 2);
    noteEnd(in, "instrument %d of %d", index + 1, count);
    if (inst.volumePointCount > kEnvelopePoints || inst.panningPointCount > kEnvelopePoints) {
        return refuse("more than 12 envelope points");
    }
    mendEnvelope(inst.volumeEnvelope, inst.volumePointCount, inst.volumeType, inst.volumeSustainPoint,
                 inst.volumeLoopStart, inst.volumeLoopEnd);
    mendEnvelope(inst.panningEnvelope, inst.panningPointCount, inst.panningType, inst.panningSustainPoint,
                 inst.panningLoopStart, inst.panningLoopEnd);
    in.seek(static_cast<std::int64_t>(start) + headerSize);

    // The samples belong to the instrument from here on, so that freeModule
    // releases them whatever happens below.
    std::uint32_t byteLengths[kSamplesPerInstrument] = {};
    for (std::uint32_t i = 0; i < sampleCount; ++i) {
        auto* s = static_cast<Sample*>(std::calloc(1, sizeof(Sample)));
        if (s == nullptr) {
            return refuse("out of memory");
        }
        inst.samples[i] = s;
        inst.sampleCount = i + 1;
        if (!readSampleHeader(in, *s, byteLengths[i], index)) {
            return false;
        }
        noteEnd(in, "the sample headers of instrument %d of %d", index + 1, count);
        countValues(*s);
        clampLoop(*s);
    }
    for (std::uint32_t i = 0; i < sampleCount; ++i) {
        if (!readSampleData(in, *inst.samples[i], byteLengths[i], index)) {
            return false;
        }
    }
    return true;
}

bool readModule(Reader& in, Module& m) {
    char magic[kMagicLength] = {};
    in.seek(0);
    in.bytes(magic, kMagicLength);
    if (!in.complete || std::memcmp(magic, kMagic, kMagicLength) != 0) {
        return refuse("not an extended module");
    }
    // Versions before 0x0104 (FastTracker 2.0x) lay out patterns, instruments
    // and sample data differently; later ones keep the 0x0104 layout.
    in.seek(58);
    const std::uint16_t version = in.u16();
    if (!in.complete) {
        return refuse("the file ends inside the module header");
    }
    if (version < kVersion) {
        return refuse("XM version 0x%04X is not supported (version 0x%04X and later are)", version, kVersion);
    }
    m.tickHandler = playerTick;
    m.defaultGlobalVolume = 64;

    in.seek(60);
    const std::uint32_t headerSize = in.u32();
    const std::uint16_t songLength = in.u16();
    const std::uint16_t restart = in.u16();
    const std::uint16_t channels = in.u16();
    const std::uint16_t patternCount = in.u16();
    const std::uint16_t instrumentCount = in.u16();
    m.flags = in.u16();
    const std::uint16_t speed = in.u16();
    const std::uint16_t bpm = in.u16();
    in.bytes(m.orderTable, sizeof m.orderTable);
    if (!in.complete) {
        return refuse("the file ends inside the module header");
    }
    if (channels == 0 || channels > kMaxChannels) {
        return refuse("%u channels are not supported (1 to %d are)", channels, kMaxChannels);
    }
    if (songLength == 0 || songLength > 256) {
        return refuse("song length %u out of range (1 to 256)", songLength);
    }
    if (patternCount > kMaxPatterns || instrumentCount > kMaxInstruments) {
        return refuse("too many patterns or instruments");
    }
    m.songLength = static_cast<std::int16_t>(songLength);
    // A restart position past the end would name an order beyond the song.
    m.restartPosition = static_cast<std::int16_t>(restart < songLength ? restart : 0);
    m.channelCount = static_cast<std::int16_t>(channels);
    m.instrumentCount = static_cast<std::int16_t>(instrumentCount);
    m.defaultSpeed = static_cast<std::int16_t>(speed);
    // A tempo of 0 would give ticks of infinite length; FastTracker 2's default 125 stands in.
    m.defaultBpm = static_cast<std::int16_t>(bpm == 0 || bpm > 255 ? 125 : bpm);
    in.seek(60 + static_cast<std::int64_t>(headerSize));

    int largest = -1;
    for (int i = 0; i < m.songLength; ++i) {
        largest = std::max<int>(largest, m.orderTable[i]);
    }
    m.patternsUsed = largest + 1;
    m.patternSlots = std::max<int>(patternCount, m.patternsUsed);
    m.patterns = static_cast<Pattern*>(std::calloc(static_cast<std::size_t>(m.patternSlots), sizeof(Pattern)));
    if (m.patterns == nullptr) {
        return refuse("out of memory");
    }
    if (!readPatterns(in, m, patternCount)) {
        return false;
    }
    if (instrumentCount > 0) {
        m.instruments = static_cast<Instrument*>(std::calloc(instrumentCount, sizeof(Instrument)));
        if (m.instruments == nullptr) {
            return refuse("out of memory");
        }
    }
    for (int i = 0; i < instrumentCount; ++i) {
        for (Sample*& slot : m.instruments[i].samples) {
            slot = &EmptySample;
        }
    }
    for (int i = 0; i < instrumentCount; ++i) {
        if (!readInstrument(in, m.instruments[i], i, instrumentCount)) {
            return false;
        }
    }
    return true;
}

} // namespace

void setSourceCallbacks(SourceOpen open, SourceClose close, SourceRead read, SourceSeek seek, SourceTell tell) {
    if (open == nullptr || close == nullptr || read == nullptr || seek == nullptr || tell == nullptr) {
        callbacks = {};
        return;
    }
    callbacks = {open, close, read, seek, tell};
}

bool sourceCallbacksInstalled() {
    return callbacks.open != nullptr;
}

void setMemoryBlock(const void* base, std::size_t size) {
    memoryBase = static_cast<const std::uint8_t*>(base);
    memorySize = static_cast<std::int32_t>(std::min<std::size_t>(size, 0x7FFFFFFF));
}

void* memoryOpen(const char*) {
    auto* source = static_cast<MemorySource*>(std::calloc(1, sizeof(MemorySource)));
    if (source != nullptr) {
        source->length = memoryBase != nullptr ? memorySize : 0;
        source->base = memoryBase;
    }
    return source;
}

void memoryClose(void* handle) {
    std::free(handle);
}

std::uint32_t memoryRead(void* destination, std::uint32_t count, void* handle) {
    auto* source = static_cast<MemorySource*>(handle);
    const auto left = static_cast<std::uint32_t>(source->length - source->position);
    const std::uint32_t n = std::min(count, left);
    if (n > 0) {
        std::memcpy(destination, source->base + source->position, n);
    }
    source->position += static_cast<std::int32_t>(n);
    return n;
}

void memorySeek(void* handle, std::int32_t offset, std::uint8_t origin) {
    auto* source = static_cast<MemorySource*>(handle);
    std::int64_t position = source->position;
    if (origin == 0) {
        position = offset;
    } else if (origin == 1) {
        position += offset;
    } else if (origin == 2) {
        position = source->length;
    }
    // A negative target would let a read start before the block.
    source->position = static_cast<std::int32_t>(std::clamp<std::int64_t>(position, 0, source->length));
}

std::int32_t memoryTell(void* handle) {
    return static_cast<MemorySource*>(handle)->position;
}

void useMemorySource(const void* base, std::size_t size) {
    setMemoryBlock(base, size);
    setSourceCallbacks(memoryOpen, memoryClose, memoryRead, memorySeek, memoryTell);
}

const char* lastLoadRefusal() {
    return lastRefusal;
}

Module* loadModule() {
    lastRefusal[0] = '\0';
    if (!sourceCallbacksInstalled()) {
        refuse("no byte source is installed");
        return nullptr;
    }
    auto* m = static_cast<Module*>(std::calloc(1, sizeof(Module)));
    if (m == nullptr) {
        return nullptr;
    }
    void* handle = callbacks.open(nullptr);
    if (handle == nullptr) {
        std::free(m);
        refuse("the byte source does not open");
        return nullptr;
    }
    Reader in{handle, 0};
    callbacks.seek(handle, 0, 2);
    in.size = callbacks.tell(handle);
    const bool loaded = readModule(in, *m);
    callbacks.close(handle);
    if (!loaded) {
        freeModule(m);
        return nullptr;
    }
    return m;
}

namespace {

// Set by the audio output once it has played; the loader itself never plays.
ModuleReleaseHook releaseHook = nullptr;

} // namespace

void setModuleReleaseHook(ModuleReleaseHook hook) {
    releaseHook = hook;
}

void freeModule(Module* module) {
    if (module == nullptr) {
        return;
    }
    if (releaseHook != nullptr) {
        releaseHook(module);
    }
    for (int i = 0; module->instruments != nullptr && i < module->instrumentCount; ++i) {
        Instrument& inst = module->instruments[i];
        for (std::uint32_t s = 0; s < inst.sampleCount; ++s) {
            std::free(inst.samples[s]->data);
            std::free(inst.samples[s]);
        }
    }
    std::free(module->instruments);
    for (int p = 0; module->patterns != nullptr && p < module->patternSlots; ++p) {
        std::free(module->patterns[p].cells);
    }
    std::free(module->patterns);
    std::free(module);
}

} // namespace music
